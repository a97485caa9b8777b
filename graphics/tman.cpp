// The texture manager (see tman.h).
#include "graphics/tman.h"

#include "foundation/alert.h"
#include "foundation/frame_clock.h"
#include "foundation/log.h"
#include "graphics/OGL_extensions.h"
#include "graphics/startup_message.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

tman gTextures;
void (*gStartupMessageHook)(const std::string& text, float* progress) = nullptr;

alignas(16) static unsigned char sScratch[TMAN_SCRATCH_BYTES];
unsigned char* gScratchPixels = sScratch;
int gScratchWidth = 0, gScratchHeight = 0;

// The clock reading of the previous load_bitmap, for the "Loading bitmap" screen.
static double sLastLoadSeconds = 0.0;

std::string str_printf_float(const char* pattern, float value)
{
    char buf[500];
    snprintf(buf, sizeof buf, pattern, (double)value);
    return buf;
}

float tman_res_scale()
{
    switch (gGLSettings.texture_level) {
    case 5: return 1.0f;
    case 4: return 0.5f;
    case 3: return 0.25f;
    case 2: return 0.125f;
    case 1: return 0.0625f;
    case 0: return 0.03125f;
    default: return 1.0f;
    }
}

// Finds "/.." as a whole component (followed by '/' or the end) at or after from.
static size_t find_dotdot(const std::string& s, size_t from)
{
    for (size_t p = s.find("/..", from); p != std::string::npos; p = s.find("/..", p + 1))
        if (p + 3 == s.size() || s[p + 3] == '/') return p;
    return std::string::npos;
}

std::string tman_fold_dotdot(const std::string& name)
{
    std::string s = name;
    size_t from = 1;
    for (;;) {
        size_t p = find_dotdot(s, from);
        if (p == std::string::npos || p == 0) break;
        size_t q = s.rfind('/', p - 1);
        if (q == std::string::npos) break;
        s.erase(q, p + 3 - q);
        from = q;
    }
    return s;
}

static bool is_scratch_name(const std::string& name)
{
    return name.compare(0, 13, "scratch_array") == 0;
}

tman::tman()
{
    MUTEX_init(&lock);
    for (auto& f : missing) f.store(0);
}

tman::~tman()
{
    MUTEX_destroy(&lock);
}

void tman::init()
{
    TEX_init_delete_queue();
    // A 2 x 2 grey RGB image.
    memset(gScratchPixels, 130, 12);
    gScratchWidth = 2;
    gScratchHeight = 2;
    load_bitmap(0, TMAN_PLACEHOLDER_REF, 0x201, 2, "scratch_array-blank_gray");
    placeholder = get_tex(TMAN_PLACEHOLDER_REF);
}

void tman::grow(int manual_ref)
{
    if ((int)slots.size() < manual_ref + 1) slots.resize(manual_ref + 1, nullptr);
}

void tman::check_load_time(unsigned char load_time, const std::string& name)
{
    if (load_time > 2)
        MACIBM_alert(0, "Trying to create an invalid texture load_time!", name, "value:",
                     str_printf_float("%1.0f", load_time), t_crash, "tman", 76);
}

void tman::check_manual_ref(int manual_ref, const std::string& name)
{
    if (manual_ref < 0 || manual_ref > TMAN_LAST_FIXED_REF)
        MACIBM_alert(0, "Trying to bind too low or high a manual_ref!", name, "value:",
                     str_printf_float("%1.0f", (float)manual_ref), t_crash, "tman", 77);
}

int tman::load_bitmap(unsigned char policy, int manual_ref, int filter_type, unsigned char load_time,
                      const std::string& name)
{
    if (name.empty()) return 0;

    const double now = hl_timer_clock_us() / 1000000.0;
    const bool due = now > sLastLoadSeconds + 1.0;
    sLastLoadSeconds = now;
    const bool quiet_ref = manual_ref == 0 || manual_ref == 3 || manual_ref == 995 || manual_ref == 1020 ||
                           (manual_ref >= 1027 && manual_ref <= 1042);
    if (due && load_time == 2 && !is_scratch_name(name) && !quiet_ref)
        if (gStartupMessageHook) gStartupMessageHook("Loading bitmap " + name + ".", nullptr);

    check_load_time(load_time, name);
    check_manual_ref(manual_ref, name);
    if (load_time > 2 || manual_ref < 0 || manual_ref > TMAN_LAST_FIXED_REF) return 0; // alerts end the program

    if (is_scratch_name(name))
        return load_from_buffer(manual_ref, filter_type, gScratchPixels, gScratchWidth, gScratchHeight, name);
    if (manual_ref != 0) return load_manual(policy, manual_ref, filter_type, 2, name);
    TEX_obj* t = load_dynamic(policy, filter_type, 2, name);
    return t ? t->manual_ref : 0;
}

int tman::load_from_buffer(int manual_ref, int filter_type, unsigned char* pixels, int width, int height,
                           const std::string& name)
{
    // A scratch texture needs a fixed slot, and the buffer holds no more than its 16 MiB.
    if (manual_ref <= 0) return 0;
    if (pixels == gScratchPixels &&
        (width < 0 || height < 0 || (int64_t)width * height * 4 > (int64_t)TMAN_SCRATCH_BYTES)) {
        gLog << "WARNING: the scratch texture " << name << " is larger than its buffer.\n";
        return 0;
    }
    MUTEX_lock(&lock);
    grow(manual_ref);
    TEX_obj* t = slots[manual_ref];
    if (!t) {
        t = new TEX_obj(manual_ref, manual_ref == TMAN_PLACEHOLDER_REF ? 3 : 0, filter_type, pixels, width, height,
                        name);
        slots[manual_ref] = t;
    } else {
        t->set_buffer(pixels, width, height);
    }
    MUTEX_unlock(&lock);
    return t->load() ? manual_ref : 0;
}

int tman::load_manual(unsigned char policy, int manual_ref, int filter_type, unsigned char /*load_time*/,
                      const std::string& name)
{
    if (name.empty()) return 0;
    MUTEX_lock(&lock);
    grow(manual_ref);
    TEX_obj* t = slots[manual_ref];
    if (!t) {
        t = new TEX_obj(manual_ref, manual_ref == TMAN_PLACEHOLDER_REF ? 3 : 0, name, filter_type, policy);
        slots[manual_ref] = t;
    } else {
        t->set_name(name, policy);
    }
    MUTEX_unlock(&lock);
    return t->load() ? manual_ref : 0;
}

TEX_obj* tman::load_dynamic(unsigned char policy, int filter_type, unsigned char /*load_time*/,
                            const std::string& name)
{
    if (name.empty()) return nullptr;
    const std::string folded = tman_fold_dotdot(name);

    MUTEX_lock(&lock);
    auto found = names.find(folded);
    if (found != names.end()) {
        TEX_obj* t = slots[found->second];
        t->retain();
        MUTEX_unlock(&lock);
        return t;
    }
    int slot = -1;
    for (int i = TMAN_FIRST_DYNAMIC_REF; i < (int)slots.size(); ++i)
        if (!slots[i]) {
            slot = i;
            break;
        }
    if (slot < 0) slot = std::max(TMAN_FIRST_DYNAMIC_REF, (int)slots.size());
    grow(slot);
    names[folded] = slot;
    TEX_obj* t = new TEX_obj(slot, 0, folded, filter_type, policy);
    slots[slot] = t;
    MUTEX_unlock(&lock);

    t->load();
    return t;
}

TEX_obj* tman::get_tex(int manual_ref)
{
    MUTEX_lock(&lock);
    TEX_obj* t = manual_ref >= 0 && manual_ref < (int)slots.size() ? slots[manual_ref] : nullptr;
    MUTEX_unlock(&lock);
    return t;
}

bool tman::is_loaded(int manual_ref)
{
    TEX_obj* t = get_tex(manual_ref);
    if (!t) return false;
    int expected = 1;
    return t->loaded.compare_exchange_strong(expected, 1);
}

void tman::bind_tex(int manual_ref, int unit, int mode)
{
    TEX_obj* t = get_tex(manual_ref);
    if (!t) {
        MACIBM_alert(0, "Null texture - how?", "", str_printf_float("ref=%6.0f", (float)manual_ref), "", t_crash,
                     "tman", 230);
        return;
    }
    t->bind(unit, mode);
}

void tman::unload_tex(int manual_ref)
{
    if (manual_ref > TMAN_LAST_FIXED_REF) {
        TEX_obj* t = get_tex(manual_ref);
        MACIBM_alert(0, "Error: dynamic textures should be released, not unloaded.", t ? t->tex_name : "",
                     str_printf_float("%f", (float)manual_ref), "", t_crash, "tman", 483);
        return;
    }
    TEX_obj* t = get_tex(manual_ref);
    if (!t) return;
    MUTEX_lock(&lock);
    slots[manual_ref] = nullptr;
    MUTEX_unlock(&lock);
    if (t == placeholder) placeholder = nullptr;
    delete t;
}

// A flag pair: raised (index 2k) and shown (2k + 1).
static void raise_flag(std::atomic<int>& f)
{
    int expected = 0;
    f.compare_exchange_strong(expected, 1);
}

static int read_flag(std::atomic<int>& f)
{
    int expected = 1;
    return f.compare_exchange_strong(expected, 1) ? 1 : 0;
}

void tman::note_missing_scenery() { raise_flag(missing[0]); }
void tman::note_missing_aircraft() { raise_flag(missing[2]); }
void tman::note_missing_other() { raise_flag(missing[4]); }

int tman::missing_scenery_pending() { return read_flag(missing[0]) && !read_flag(missing[1]); }
int tman::missing_aircraft_pending() { return read_flag(missing[2]) && !read_flag(missing[3]); }
int tman::missing_other_pending() { return read_flag(missing[4]) && !read_flag(missing[5]); }

void tman::ack_missing_scenery() { raise_flag(missing[1]); }
void tman::ack_missing_aircraft() { raise_flag(missing[3]); }
void tman::ack_missing_other() { raise_flag(missing[5]); }
