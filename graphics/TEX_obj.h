// Texture objects of the texture manager and their loader: a texture made from a file name (DDS,
// PNG or BMP, or an embedded "RESOURCE:" file) or over a pixel buffer, scaled to the resolution
// the settings allow, converted and uploaded with its mip levels; a load that cannot find its
// image turns the object into a 2 x 2 substitute and acts on its missing policy. A load may run as
// a worker-pool job; OpenGL names freed away from the OpenGL thread wait in a deletion queue that
// the frame drains.
#pragma once
#include "foundation/UTL_thread.h"
#include "foundation/thread_pool.h"
#include "graphics/TEX_utils.h"

#include <GL/gl.h>
#include <atomic>
#include <cstdint>
#include <string>

// Request flags (filter_type); the low four bits are the colour enum.
enum {
    TEX_COLOR_MASK = 0x0F,
    TEX_3D = 0x10,            // GL_TEXTURE_3D, uploaded as 64 x 32 x 8 texels
    TEX_MIPMAP = 0x20,
    TEX_NEAREST = 0x40,
    TEX_NO_DDS = 0x200,       // no preference for DDS files
    TEX_CLAMP = 0x400,        // clamp S and T (and R)
    TEX_CLAMP_S = 0x800,
    TEX_FLOAT16 = 0x1000,     // 16-bit float internal formats, GL_FLOAT data
    TEX_INT16 = 0x2000,       // 16-bit integer formats
    TEX_SIZED8 = 0x4000,      // GL_RGB8 / GL_RGBA8; no hardware mipmaps
    TEX_ANY_SIZE = 0x8000,    // no warning for sides that are not powers of two
    TEX_ANY_SIZE_2 = 0x10000, // the same
    TEX_RES_DOUBLE = 0x20000,
    TEX_RES_HALF = 0x40000,
    TEX_RES_FULL = 0x80000,   // full resolution whatever the level
    TEX_NO_GAMMA = 0x100000,
    TEX_NORMAL_MAP = 0x200000,
    TEX_FILTER_LIMIT = 0x400000, // valid flags lie below this
};

// The colour enum (low four bits of filter_type).
enum tman_color {
    tman_rgb = 1,
    tman_rgba = 2,
    tman_alpha = 3,
    tman_as_file = 4,
    tman_rgb_or_rgba = 5,
    tman_rgba_or_rgb = 6,
    tman_depth = 7,
    tman_bgra = 8,
    tman_red = 9,
    tman_rg = 10,
};

// What a failed load does after the object became the substitute.
enum tman_missing_policy {
    tman_missing_nothing = 0,
    tman_missing_scenery = 1,
    tman_missing_aircraft = 2,
    tman_missing_other = 3,
    tman_missing_fatal = 4,
};

// OpenGL names waiting for deletion on the OpenGL thread.
extern UTL_queue<unsigned>* gTexDeleteQueue;

class TEX_obj : public UTL_pool_task {
public:
    // From a name: from file 1, no pixels, sides 0.
    TEX_obj(int manual_ref, unsigned gl_name, const std::string& name, int filter_type, unsigned char missing_policy);
    // Over a pixel buffer: from file 0, policy 4. A buffer that is not the scratch buffer is taken
    // over (freed by the first load).
    TEX_obj(int manual_ref, unsigned gl_name, int filter_type, unsigned char* pixels, int width, int height,
            const std::string& name);
    ~TEX_obj() override;

    // The load job on a worker; returns 0 so that the pool leaves the object alone.
    int32_t run(int32_t thread_number) override;
    const char* name() override;

    // 1 loaded, 0 became the substitute.
    int load();
    // Binds the texture, or the grey placeholder while it is not loaded or is the substitute.
    void bind(int unit, int mode);
    int retain();
    void queue_load(UTL_threadpool* pool);
    void set_name(const std::string& name, unsigned char missing_policy);
    void set_buffer(unsigned char* pixels, int width, int height);
    // The resolution factor for this request; stores the scaled sides as width and height.
    float choose_scale(float maximum, int width, int height);

    void check_filter_type();
    void check_size(double side);
    void check_hw_size(double side);

    std::string tex_name;           // the texture name or path ("scratch_array..." for scratch textures)
    unsigned char from_file = 1;    // 1 made from a name, 0 over a pixel buffer
    unsigned char* pixels = nullptr; // a buffer texture's pixels until its first load
    int manual_ref = 0;
    std::atomic<unsigned> gl_name{0}; // 0 none yet, 3 for the placeholder; replaced by compare-exchange
    int width = 0, height = 0;        // buffer sides, or the file's sides after scaling
    int loaded_width = 0, loaded_height = 0;
    int byte_size = 0;                // 0 after a failed load: nothing of this load is in OpenGL
    GLenum format = GL_RGBA;          // the pixel format of the last upload
    int filter_type = 0;
    unsigned char missing_policy = 0;
    GLenum target = GL_TEXTURE_2D;
    unsigned char png_kind = 0;
    std::atomic<int> loaded{0};
    std::atomic<unsigned> load_count{0}; // loads begun: a picture kept from this texture is stale once it moves
    std::atomic<int> queued{0};
    std::atomic<int> ref_count{1};

private:
    // The substitute path of a failed load; frees temp.
    int fail(unsigned char* temp);
    // Finds, reads and scales the image file; the pixels land in *pixels_out (allocated here).
    int read_file(GLenum asked, int rule, TEX_image_info& image, unsigned char** pixels_out);
};

// Creates gTexDeleteQueue (the texture manager's start).
void TEX_init_delete_queue();
// Deletes the texture names that other threads queued for deletion; main thread, once a frame.
void TEX_flush_deleted_textures();
