// Texture objects and their loader (see TEX_obj.h).
#include "graphics/TEX_obj.h"

#include "foundation/FILE_ops.h"
#include "foundation/HL_THREAD.h"
#include "foundation/alert.h"
#include "foundation/log.h"
#include "foundation/xmap.h"
#include "graphics/COL_scheme.h"
#include "graphics/OGL_extensions.h"
#include "graphics/OGL_state.h"
#include "graphics/TEX_bmp.h"
#include "graphics/TEX_dds.h"
#include "graphics/TEX_png.h"
#include "graphics/TEX_units.h"
#include "graphics/tman.h"

#include <GL/glext.h>
#include <cstdlib>
#include <cstring>

UTL_queue<unsigned>* gTexDeleteQueue = nullptr;

static const char kProductHost[] = "www.corvane-sim.com";
static const int kMaxSide = 2048;

// The OpenGL thread owns the main context: the thread framework is not running, or this is the
// main thread.
static bool on_gl_thread()
{
    return !THREAD_is_inited() || THREAD_is_main_thread();
}

static bool is_pow2(int v)
{
    return v > 0 && (v & (v - 1)) == 0;
}

static void range_alert(const char* message, const std::string& name, double value, int line)
{
    MACIBM_alert(0, message, name, "value:", str_printf_float("%1.0f", (float)value), t_crash, "TEX_obj", line);
}

void TEX_init_delete_queue()
{
    if (!gTexDeleteQueue) gTexDeleteQueue = QUEUE_create<unsigned>();
}

void TEX_flush_deleted_textures()
{
    if (!gTexDeleteQueue) return;
    int deleted = 0;
    while (unsigned name = QUEUE_pop(gTexDeleteQueue, 0)) {
        glDeleteTextures(1, &name);
        ++deleted;
    }
    if (deleted) TEX_reset_bind_cache();
}

// An OpenGL name the object lets go of: deleted at once on the OpenGL thread, else queued for the
// frame. 0 is no name and 3 belongs to the placeholder.
static void release_gl_name(unsigned name)
{
    if (name == 0 || name == TEX_PLACEHOLDER_NAME) return;
    if (on_gl_thread()) {
        glDeleteTextures(1, &name);
        TEX_reset_bind_cache();
    } else if (gTexDeleteQueue) {
        QUEUE_push(gTexDeleteQueue, name);
    }
}

TEX_obj::TEX_obj(int ref, unsigned name, const std::string& n, int ft, unsigned char policy)
    : tex_name(n), from_file(1), manual_ref(ref), filter_type(ft), missing_policy(policy),
      target((ft & TEX_3D) ? GL_TEXTURE_3D : GL_TEXTURE_2D)
{
    gl_name.store(name);
}

TEX_obj::TEX_obj(int ref, unsigned name, int ft, unsigned char* px, int w, int h, const std::string& n)
    : tex_name(n), from_file(0), pixels(px), manual_ref(ref), width(w), height(h), filter_type(ft),
      missing_policy(tman_missing_fatal), target((ft & TEX_3D) ? GL_TEXTURE_3D : GL_TEXTURE_2D)
{
    gl_name.store(name);
    if ((!is_pow2(w) || !is_pow2(h)) && ft == 0)
        MACIBM_alert(0, "Error: texture buffer has non-power-of-2 dims", tex_name, "", "", t_fatal, "TEX_obj", 195);
}

TEX_obj::~TEX_obj()
{
    release_gl_name(gl_name.load());
    if (pixels && pixels != gScratchPixels) free(pixels);
}

int32_t TEX_obj::run(int32_t)
{
    load();
    int expected = 1;
    queued.compare_exchange_strong(expected, 0);
    ref_count.fetch_sub(1);
    return 0;
}

const char* TEX_obj::name()
{
    return tex_name.c_str();
}

void TEX_obj::bind(int unit, int mode)
{
    int expected = 1;
    const bool is_loaded = loaded.compare_exchange_strong(expected, 1);
    const unsigned name = is_loaded && byte_size > 0 ? gl_name.load() : TEX_PLACEHOLDER_NAME;
    TEX_bind_unit(name, unit, mode, target);
}

int TEX_obj::retain()
{
    int n = ref_count.fetch_add(1) + 1;
    if (n < 1) MACIBM_alert(0, "Ref count never went positive", tex_name, "", "", t_crash, "TEX_obj", 267);
    return n;
}

void TEX_obj::queue_load(UTL_threadpool* pool)
{
    int expected = 0;
    if (!queued.compare_exchange_strong(expected, 1)) return;
    retain();
    pool->submit(this, 0);
}

void TEX_obj::set_name(const std::string& n, unsigned char policy)
{
    tex_name = n;
    missing_policy = policy;
    from_file = 1;
}

void TEX_obj::set_buffer(unsigned char* px, int w, int h)
{
    if (pixels && pixels != px && pixels != gScratchPixels) free(pixels);
    pixels = px;
    width = w;
    height = h;
    missing_policy = tman_missing_fatal;
    from_file = 0;
    if ((!is_pow2(w) || !is_pow2(h)) && filter_type == 0)
        MACIBM_alert(0, "Error: texture buffer has non-power-of-2 dims", tex_name, "", "", t_fatal, "TEX_obj", 1015);
}

void TEX_obj::check_filter_type()
{
    if (filter_type < 0 || filter_type >= TEX_FILTER_LIMIT)
        range_alert("Trying to bind an invalid filter type!", tex_name, filter_type, 48);
}

void TEX_obj::check_size(double side)
{
    if (side < 1 || side > kMaxSide)
        range_alert("Trying to create a texture either less than 1 or greater than 2048!", tex_name, side, 50);
}

void TEX_obj::check_hw_size(double side)
{
    if (side < 1 || side > gCaps.max_tex_size)
        range_alert("Trying to create a texture either less than 1 or greater than the hw size!", tex_name, side, 51);
}

float TEX_obj::choose_scale(float maximum, int w, int h)
{
    // A side below 1 would make the factor infinite and the halving below endless.
    if (w < 1 || h < 1) {
        check_size(w < h ? w : h);
        return 1.0f;
    }
    float s = tman_res_scale();
    if (filter_type & TEX_RES_DOUBLE) s = clamp_float(s * 2.0f, 0.0f, 1.0f);
    if (filter_type & TEX_RES_HALF) s = clamp_float(s / 2.0f, 0.0f, 1.0f);
    if (filter_type & TEX_RES_FULL) s = 1.0f;
    if (maximum < s) s = maximum;
    if (s < 1.0f / w) s = 1.0f / w;
    if (s < 1.0f / h) s = 1.0f / h;
    while ((w * s > gCaps.max_tex_size || h * s > gCaps.max_tex_size) && s > 0.0f) s *= 0.5f;
    width = (int)(w * s);
    height = (int)(h * s);
    check_size(w);
    check_size(h);
    check_size(width);
    check_size(height);
    return s;
}

// The format asked of the readers and the PNG format rule, by colour enum.
static void color_request(int color, const std::string& name, GLenum* format, int* rule)
{
    *rule = 0;
    switch (color) {
    case 0:
        MACIBM_alert(0, "BAD color enum for tman - see tman for valid colors!  We cannot pass 0.", name, "value:",
                     "0", t_crash, "TEX_obj", 359);
        *format = GL_RGB;
        break;
    case tman_rgb: *format = GL_RGB; break;
    case tman_rgba: *format = GL_RGBA; break;
    case tman_alpha: *format = GL_ALPHA; break;
    case tman_as_file: *format = GL_RGB; *rule = 2; break;
    case tman_rgb_or_rgba: *format = GL_RGB; *rule = 1; break;
    case tman_rgba_or_rgb: *format = GL_RGBA; *rule = 1; break;
    case tman_depth: *format = GL_DEPTH_COMPONENT; break;
    case tman_bgra: *format = GL_BGRA; break;
    case tman_red: *format = GL_RED; break;
    case tman_rg: *format = GL_RG; break;
    default: *format = GL_RGB; break;
    }
}

static bool is_compressed(int format)
{
    return format >= GL_COMPRESSED_RGB_S3TC_DXT1_EXT && format <= GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
}

static bool starts_with(const std::string& s, const char* prefix)
{
    return s.compare(0, strlen(prefix), prefix) == 0;
}

// The file to open for a texture name: the name with its extension replaced by ".dds", ".png"
// and ".bmp" in the preferred order, the first that exists; else the name itself.
static std::string find_image_file(const std::string& name, int filter_type)
{
    if (starts_with(name, "RESOURCE:")) return name;
    std::string base = name;
    if (base.size() > 4 && base[base.size() - 4] == '.') base.resize(base.size() - 4);
    const bool dds_first = gCaps.tex_comp_avail && !(filter_type & TEX_NO_DDS) && gGLSettings.comp_texes;
    static const char* const kDdsFirst[3] = {".dds", ".png", ".bmp"};
    static const char* const kPngFirst[3] = {".png", ".dds", ".bmp"};
    const char* const* order = dds_first ? kDdsFirst : kPngFirst;
    for (int i = 0; i < 3; ++i) {
        std::string candidate = base + order[i];
        if (candidate.size() > 499) continue;
        if (FILE_exists(candidate)) return candidate;
    }
    return name;
}

int TEX_obj::fail(unsigned char* temp)
{
    width = height = loaded_width = loaded_height = 2;
    byte_size = 0;
    format = GL_RGB;
    int expected = 0;
    loaded.compare_exchange_strong(expected, 1);
    switch (missing_policy) {
    case tman_missing_scenery: gTextures.note_missing_scenery(); break;
    case tman_missing_aircraft: gTextures.note_missing_aircraft(); break;
    case tman_missing_other: gTextures.note_missing_other(); break;
    case tman_missing_fatal:
        MACIBM_alert(0, "Trying to load a texture that you do not have!",
                     "This smacks of a mis-installed copy of Corvane!",
                     std::string("Get a new download from ") + kProductHost + ". The missing file is:", tex_name,
                     t_fatal, "TEX_obj", 514);
        break;
    default: break;
    }
    if (missing_policy >= tman_missing_scenery && missing_policy <= tman_missing_fatal)
        gLog << "WARNING: we are missing the texture: " << tex_name << ".\n";
    free(temp);
    return 0;
}

int TEX_obj::read_file(GLenum asked, int rule, TEX_image_info& img, unsigned char** out)
{
    const float maximum = 1.0f; // no object of this program maps its name to a scaled path
    const std::string path = find_image_file(tex_name, filter_type);
    xmap_file view(path);
    const int64_t size = view.begin ? view.end - view.begin : 0;
    int read = 0;
    bool dds = false;
    float file_gamma = 2.2f;
    const char* dds_data = nullptr;
    if (size >= 8) {
        if (memcmp(view.begin, "DDS ", 4) == 0) {
            read = TEX_parse_dds(tex_name, view, &dds_data, img, file_gamma) && img.has_mips;
            // Only a picture whose whole chain lies inside the file, and DXT data only when the
            // driver takes compressed uploads.
            if (read) {
                const int64_t need = TEX_image_bytes(img);
                if (need <= 0 || need > size - 128) read = 0;
            }
            if (read && is_compressed(img.format) && !gCaps.glCompressedTexImage2DARB) read = 0;
            dds = read != 0;
        }
        png_kind = 2;
        if (!read && memcmp(view.begin, "BM", 2) == 0) {
            view.cursor = view.begin;
            read = TEX_load_bmp(tex_name, view, out, 0, (int32_t)asked, 0, 1, img);
        }
        static const unsigned char kPngSig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        if (!read && memcmp(view.begin, kPngSig, 8) == 0) {
            view.cursor = view.begin;
            read = TEX_load_png(tex_name, view, out, 0, (int32_t)asked, 0, 1, rule, (filter_type & TEX_NO_GAMMA) ? 0 : 1, img,
                                &png_kind);
        }
        if (read && (img.width < 1 || img.height < 1)) read = 0;
        if (read && img.width > kMaxSide) {
            MACIBM_alert(0, "Too large a texture!", "I can't load this!", "", path, t_note, "TEX_obj", 440);
            read = 0;
        } else if (read && img.height > kMaxSide) {
            MACIBM_alert(0, "Too large a texture!", "I can't load this!", "", path, t_note, "TEX_obj", 441);
            read = 0;
        }
        if (read) {
            const float s = choose_scale(maximum, img.width, img.height);
            float d = 1.0f / s;
            if (!dds) {
                if ((!is_pow2(img.width) || !is_pow2(img.height)) && !(filter_type & (TEX_ANY_SIZE | TEX_ANY_SIZE_2)))
                    gLog << "WARNING: texture " << tex_name
                         << " has a size that is not a power of 2; it may not render correctly.\n";
                // The readers padded rows and row count to powers of two: the padding becomes texels.
                img.width = TEX_next_pow2(img.width);
                img.height = TEX_next_pow2(img.height);
                img.row_pad = 0;
                if (d != 1.0f) {
                    const int k = (int)d;
                    TEX_downsample(img, *out, img.width < k ? img.width : k, img.height < k ? img.height : k);
                }
            } else if (!is_pow2(img.width) || !is_pow2(img.height)) {
                MACIBM_alert(0, "Error: the texture", tex_name, "is DDS but its size is not power of 2.", "", t_fatal,
                             "TEX_obj", 451);
                read = 0;
            } else {
                // Levels above the wanted resolution are skipped, not decoded.
                TEX_image_info level = img;
                level.has_mips = 0;
                const char* src = dds_data;
                while (d > 1.0f && (level.width > 1 || level.height > 1)) {
                    src += TEX_image_bytes(level);
                    if (level.width > 1) level.width /= 2;
                    if (level.height > 1) level.height /= 2;
                    d *= 0.5f;
                }
                img.width = level.width;
                img.height = level.height;
                const int64_t bytes = TEX_image_bytes(img);
                if (!*out) *out = (unsigned char*)malloc(bytes > 0 ? bytes : 1);
                if (!*out || bytes <= 0) {
                    read = 0;
                } else {
                    memcpy(*out, src, bytes);
                    const uint8_t* table = nullptr;
                    if (!(filter_type & TEX_NO_GAMMA)) {
                        if (file_gamma == 1.8f && gInterface.gamma != 1.8f)
                            table = gInterface.gamma_18;
                        else if (file_gamma == 2.2f && gInterface.gamma != 2.2f)
                            table = gInterface.gamma_22;
                    }
                    if (TEX_flip_image(img, *out, table) && img.format == GL_COMPRESSED_RGB_S3TC_DXT1_EXT)
                        img.format = GL_COMPRESSED_RGBA_S3TC_DXT1_EXT;
                    img.width = width;
                    img.height = height;
                }
            }
        }
    }
    view.close();
    return read;
}

// The internal format and the data format and type of an upload.
static void upload_formats(int filter_type, int format, GLint* internal, GLenum* data_format, GLenum* type)
{
    *internal = format;
    *data_format = format;
    if (format == GL_BGRA) *internal = GL_RGBA;
    if (format == GL_BGR) *internal = GL_RGB;
    if (filter_type & TEX_FLOAT16) {
        switch (format) {
        case GL_RED: *internal = GL_R16F; break;
        case GL_ALPHA: *internal = GL_ALPHA16F_ARB; break;
        case GL_RGB: *internal = GL_RGB16F_ARB; break;
        case GL_RGBA: *internal = GL_RGBA16F_ARB; break;
        case GL_RG: *internal = GL_RG16F; break;
        }
    }
    if (filter_type & TEX_INT16) {
        switch (format) {
        case GL_RED: *internal = GL_R16I; *data_format = GL_RED_INTEGER; break;
        case GL_ALPHA: *internal = GL_ALPHA16I_EXT; *data_format = GL_ALPHA_INTEGER_EXT; break;
        case GL_RGB: *internal = GL_RGB16I; *data_format = GL_RGB_INTEGER; break;
        case GL_RGBA: *internal = GL_RGBA16I; *data_format = GL_RGBA_INTEGER; break;
        case GL_RG: *internal = GL_RG16I; *data_format = GL_RG_INTEGER; break;
        }
    }
    if (format == GL_DEPTH_COMPONENT) *internal = GL_DEPTH_COMPONENT24;
    if (filter_type & TEX_SIZED8) {
        if (format == GL_RGB) *internal = GL_RGB8;
        if (format == GL_RGBA) *internal = GL_RGBA8;
    }
    // The readers and the buffers always hold bytes, also under the float request: the driver
    // converts them into the float internal format.
    *type = GL_UNSIGNED_BYTE;
}

int TEX_obj::load()
{
    ++load_count;
    check_filter_type();
    GLenum asked = GL_RGB;
    int rule = 0;
    color_request(filter_type & TEX_COLOR_MASK, tex_name, &asked, &rule);

    TEX_image_info img;
    unsigned char* data = nullptr; // the pixels to upload
    unsigned char* temp = nullptr; // what this load frees at its end
    if (from_file == 0) {
        check_hw_size(width);
        check_hw_size(height);
        data = pixels;
        if (pixels && pixels != gScratchPixels) {
            temp = pixels;
            pixels = nullptr;
        }
        img.format = asked;
        img.width = width;
        img.height = height;
        img.row_pad = 0;
        img.has_mips = 0;
    } else if (from_file == 1) {
        if (!read_file(asked, rule, img, &temp)) return fail(temp);
        data = temp;
    } else {
        return fail(nullptr);
    }

    const bool compressed = is_compressed(img.format);
    // A 3-D texture takes 64 x 32 x 8 texels from the image.
    if (target == GL_TEXTURE_3D) {
        const int bpp = TEX_bytes_per_pixel(img.format);
        if (!corvane::glTexImage3D || !data || bpp <= 0 || TEX_image_bytes(img) < (int64_t)64 * 32 * 8 * bpp)
            return fail(temp);
    }
    if (compressed && !gCaps.glCompressedTexImage2DARB) return fail(temp);

    if (from_file == 1 && img.format == GL_RGBA && !img.has_mips && data) TEX_bleed_alpha(img, data);
    if ((filter_type & TEX_NORMAL_MAP) && data) TEX_make_normal_map(data, img, 1.0f);

    GLint internal = 0;
    GLenum data_format = 0, type = 0;
    upload_formats(filter_type, img.format, &internal, &data_format, &type);

    const bool gl_thread = on_gl_thread();
    const bool mipmaps = (filter_type & TEX_MIPMAP) != 0;
    const bool hw_mips = mipmaps && gCaps.automini_avail && !compressed && !(filter_type & TEX_SIZED8);
    const bool sw_mips = mipmaps && !img.has_mips && !hw_mips;
    int was_loaded = 1;
    // Only over a texture that an earlier load really uploaded (a failed load uploads nothing).
    const bool subimage = loaded.compare_exchange_strong(was_loaded, 1) && gl_thread && byte_size > 0 &&
                          (int)format == img.format && loaded_width == img.width && loaded_height == img.height &&
                          (!mipmaps || hw_mips) && gCaps.subtex_avail;

    loaded_width = img.width;
    loaded_height = img.height;
    format = img.format;
    byte_size = (int)TEX_image_bytes(img);

    unsigned current = gl_name.load();
    unsigned name = current;
    if (current == 0) {
        glGenTextures(1, &name);
        unsigned expected = 0;
        if (gl_name.compare_exchange_strong(expected, name)) current = name;
    } else if (!gl_thread) {
        glGenTextures(1, &name);
    }

    if (gl_thread) {
        TEX_bind_unit(name, 0, 0, target);
    } else {
        // A loader context of its own starts with the default row alignment of 4.
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glBindTexture(target, name);
    }

    if (target == GL_TEXTURE_3D) {
        corvane::glTexImage3D(GL_TEXTURE_3D, 0, internal, 64, 32, 8, 0, data_format, type, data);
    } else {
        if (hw_mips) glTexParameteri(target, GL_GENERATE_MIPMAP, 1);
        TEX_image_info level = img;
        level.has_mips = 0;
        const unsigned char* p = data;
        for (int l = 0;; ++l) {
            const int64_t level_bytes = TEX_image_bytes(level);
            if (compressed)
                gCaps.glCompressedTexImage2DARB(target, l, data_format, level.width, level.height, 0,
                                                (GLsizei)level_bytes, p);
            else if (!subimage)
                glTexImage2D(target, l, internal, level.width, level.height, 0, data_format, type, p);
            else if (p)
                glTexSubImage2D(target, l, 0, 0, level.width, level.height, data_format, type, p);
            if (level.width == 1 && level.height == 1) break;
            if (img.has_mips && mipmaps) {
                if (p) p += level_bytes;
                if (level.width > 1) level.width /= 2;
                if (level.height > 1) level.height /= 2;
            } else if (sw_mips) {
                if (p) {
                    TEX_downsample(level, (unsigned char*)p, level.width > 1 ? 2 : 1, level.height > 1 ? 2 : 1);
                } else {
                    if (level.width > 1) level.width /= 2;
                    if (level.height > 1) level.height /= 2;
                }
            } else {
                break;
            }
        }
    }

    if (compressed) {
        GLint is_comp = 0, comp_size = 0;
        glGetTexLevelParameteriv(target, 0, GL_TEXTURE_COMPRESSED, &is_comp);
        if (is_comp) {
            glGetTexLevelParameteriv(target, 0, GL_TEXTURE_COMPRESSED_IMAGE_SIZE, &comp_size);
            byte_size = (int)(comp_size * (mipmaps ? 1.33 : 1.0));
        }
    }

    const GLint clamp = gCaps.tex_clamp_avail ? GL_CLAMP_TO_EDGE : GL_CLAMP;
    glTexParameteri(target, GL_TEXTURE_WRAP_S, (filter_type & (TEX_CLAMP | TEX_CLAMP_S)) ? clamp : GL_REPEAT);
    glTexParameteri(target, GL_TEXTURE_WRAP_T, (filter_type & TEX_CLAMP) ? clamp : GL_REPEAT);
    if (target == GL_TEXTURE_3D) glTexParameteri(target, GL_TEXTURE_WRAP_R, (filter_type & TEX_CLAMP) ? clamp : GL_REPEAT);
    if (gCaps.aniso_avail) glTexParameterf(target, GL_TEXTURE_MAX_ANISOTROPY_EXT, 1.0f);
    if (filter_type & TEX_NEAREST) {
        glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    } else if (mipmaps) {
        glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    } else {
        glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    }
    if (img.format == GL_DEPTH_COMPONENT) {
        glTexParameteri(target, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_R_TO_TEXTURE);
        glTexParameteri(target, GL_TEXTURE_COMPARE_FUNC, GL_LEQUAL);
    }

    if (!gl_thread) glBindTexture(target, 0);
    glFlush();

    // A name made for this upload replaces the object's; readers see either the old or the new.
    if (name != current) {
        unsigned old = gl_name.load();
        while (!gl_name.compare_exchange_weak(old, name)) {
        }
        release_gl_name(old);
    }

    int expected = 0;
    loaded.compare_exchange_strong(expected, 1);
    free(temp);
    return 1;
}
