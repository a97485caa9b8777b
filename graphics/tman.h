// The texture manager: the one place where the program asks for a texture and later binds it. A
// texture is known by its slot (manual_ref): 1 to 1063 chosen by the caller, 1064 and up handed
// out per texture name. It owns the slot table, the name map of the dynamic slots, the grey
// placeholder of slot 3, the shared scratch pixel buffer and the missing-texture flags that the
// frame's overlay reports.
#pragma once
#include "foundation/UTL_thread.h"
#include "graphics/TEX_obj.h"

#include <atomic>
#include <string>
#include <unordered_map>
#include <vector>

const int TMAN_PLACEHOLDER_REF = 3;
const int TMAN_LAST_FIXED_REF = 1063;
const int TMAN_FIRST_DYNAMIC_REF = 1064;

// The scratch pixel buffer: a producer writes pixels here, sets the two sides and asks for a
// texture whose name begins with "scratch_array". Never freed, never owned by a texture. Main
// thread only.
const int TMAN_SCRATCH_BYTES = 16777216;
extern unsigned char* gScratchPixels;
extern int gScratchWidth, gScratchHeight;

class tman {
public:
    tman();
    ~tman();
    tman(const tman&) = delete;
    tman& operator=(const tman&) = delete;

    // Start-up, main thread, with the OpenGL context current: the deletion queue and the grey
    // placeholder.
    void init();
    // The slot number, or 0 when nothing was loaded. load_time 0 to 2 (every load is made at once;
    // 2 may show the "Loading bitmap" screen).
    int load_bitmap(unsigned char policy, int manual_ref, int filter_type, unsigned char load_time,
                    const std::string& name);
    void bind_tex(int manual_ref, int unit, int mode);
    void unload_tex(int manual_ref);
    TEX_obj* get_tex(int manual_ref);
    bool is_loaded(int manual_ref);

    void note_missing_scenery();
    void note_missing_aircraft();
    void note_missing_other();
    // Non-zero while the flag is raised and its message not yet shown.
    int missing_scenery_pending();
    int missing_aircraft_pending();
    int missing_other_pending();
    // Marks the flag's message as shown; no flag is ever lowered, so each shows once per run.
    void ack_missing_scenery();
    void ack_missing_aircraft();
    void ack_missing_other();

    void check_load_time(unsigned char load_time, const std::string& name);
    void check_manual_ref(int manual_ref, const std::string& name);
    int load_from_buffer(int manual_ref, int filter_type, unsigned char* pixels, int width, int height,
                         const std::string& name);
    int load_manual(unsigned char policy, int manual_ref, int filter_type, unsigned char load_time,
                    const std::string& name);
    TEX_obj* load_dynamic(unsigned char policy, int filter_type, unsigned char load_time, const std::string& name);

    std::vector<TEX_obj*> slots;               // indexed by manual_ref; null is an empty slot
    std::unordered_map<std::string, int> names; // dynamic slots by their folded name
    TEX_obj* placeholder = nullptr;
    // scenery raised, scenery shown, aircraft raised, aircraft shown, other raised, other shown
    std::atomic<int> missing[6];
    UTL_mutex lock;

private:
    void grow(int manual_ref);
};

extern tman gTextures;

// The resolution factor of the texture level of the graphics settings: 5 gives 1.0, each level
// below halves it; an unknown level gives 1.0.
float tman_res_scale();

// The number printed with the printf pattern, at most 499 characters.
std::string str_printf_float(const char* pattern, float value);

// "a/b/../c" -> "a/c": folds whole ".." components out of a texture name.
std::string tman_fold_dotdot(const std::string& name);
