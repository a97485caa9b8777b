// The PNG reader (see TEX_png.h). libpng reports errors by jumping back to the recovery point
// in TEX_load_png: the frames it jumps over hold nothing with a destructor, and the one local
// that changes after the recovery point is set is volatile.
#include "graphics/TEX_png.h"

#include "foundation/alert.h"
#include "foundation/log.h"
#include "graphics/COL_scheme.h"

#include <png.h>

#include <cstdlib>
#include <cstring>

static const char* view_label(png_structp png)
{
    const xmap_file* view = (const xmap_file*)png_get_io_ptr(png);
    return view ? view->label.c_str() : "";
}

static void TEX_png_read(png_structp png, png_bytep dest, png_size_t length)
{
    xmap_file* view = (xmap_file*)png_get_io_ptr(png);
    if (!view->cursor || length > (png_size_t)(view->end - view->cursor))
        png_error(png, "PNG Read Error, overran end of buffer!");
    memcpy(dest, view->cursor, length);
    view->cursor += length;
}

static void TEX_png_error(png_structp png, png_const_charp message)
{
    { // the alert's texts are destroyed here, before the jump leaves this frame
        MACIBM_alert(0, "PNG error!", message ? message : "", view_label(png), "", t_note, "TEX_png", 18);
    }
    png_longjmp(png, 1);
}

static void TEX_png_warning(png_structp png, png_const_charp message)
{
    gLog << "PNG warning! " << (message ? message : "") << ", " << view_label(png) << "\n";
}

// libpng itself needs rows, the inflate state and side chunks: far below this. Its chunk readers
// take a side chunk's length on trust, so a larger request is a hostile length, and refusing it
// makes libpng skip the chunk or fail the file instead of taking gigabytes.
static const png_alloc_size_t kLibpngMaxAlloc = 8 << 20;

static png_voidp TEX_png_malloc(png_structp, png_alloc_size_t size)
{
    return size > kLibpngMaxAlloc ? nullptr : malloc(size);
}

static void TEX_png_free(png_structp, png_voidp p)
{
    free(p);
}

// The PNG kind, from the first non-empty "comment" text.
static uint8_t png_kind_of(png_structp png, png_infop inf)
{
    png_textp texts = nullptr;
    int count = 0;
    png_get_text(png, inf, &texts, &count);
    for (int i = 0; i < count; ++i) {
        if (strcmp(texts[i].key, "comment") != 0 || !texts[i].text || !texts[i].text[0]) continue;
        if (strstr(texts[i].text, "NORMAL_SEPARATE_ALPHA")) return TEX_png_normal_separate_alpha;
        if (strstr(texts[i].text, "NORMAL_HIGH_PRECISION")) return TEX_png_normal_high_precision;
        break;
    }
    return TEX_png_plain;
}

struct TEX_png_request {
    unsigned char** pixels;
    int64_t pixels_size;
    int32_t wanted, row_width;
    int pow2, rule, gamma_flag;
    TEX_image_info* info;
    uint8_t* kind;
};

// Everything after the recovery point; any libpng call in here may jump back to it. The row
// table goes to *rows as soon as it exists, so that the recovery point can free it.
static int decode(png_structp png, png_infop inf, const TEX_png_request& rq, png_bytep* volatile* rows)
{
    png_read_info(png, inf);
    png_uint_32 width = 0, height = 0;
    int depth = 0, color_type = 0;
    png_get_IHDR(png, inf, &width, &height, &depth, &color_type, nullptr, nullptr, nullptr);
    // libpng 1.6 sets up interlace handling only once it knows the file is interlaced.
    png_set_interlace_handling(png);

    TEX_image_info& info = *rq.info;
    info.format = rq.wanted;
    info.width = (int32_t)width;
    info.height = (int32_t)height;
    info.row_pad = 0;
    info.has_mips = 0;

    const bool has_trns = png_get_valid(png, inf, PNG_INFO_tRNS) != 0;
    if (color_type == PNG_COLOR_TYPE_PALETTE && depth <= 8) png_set_expand(png);
    if (color_type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand(png);
    if (has_trns) png_set_expand(png);
    if (depth == 16) png_set_strip_16(png);
    if (depth < 8) png_set_packing(png);
    const bool alpha = (color_type & PNG_COLOR_MASK_ALPHA) || has_trns;
    const bool colour = (color_type & PNG_COLOR_MASK_COLOR) != 0;

    if (rq.rule == TEX_rule_alpha) {
        if (info.format == TEX_GL_RGB && alpha) info.format = TEX_GL_RGBA;
        else if (info.format == TEX_GL_RGBA && !alpha) info.format = TEX_GL_RGB;
    } else if (rq.rule == TEX_rule_file) {
        info.format = alpha ? TEX_GL_RGBA : colour ? TEX_GL_RGB : TEX_GL_ALPHA;
    }
    const int32_t out = info.format;
    if (out == TEX_GL_RGBA && !alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    if (out != TEX_GL_RGBA && alpha) png_set_strip_alpha(png);
    if (out != TEX_GL_ALPHA && !colour) png_set_gray_to_rgb(png);
    if (out == TEX_GL_ALPHA && colour) png_set_rgb_to_gray(png, 1, -1.0, -1.0);
    if (out != TEX_GL_ALPHA && rq.gamma_flag) {
        double file_gamma = 0;
        if (!png_get_gAMA(png, inf, &file_gamma) || file_gamma <= 0) file_gamma = 1.0 / 1.8;
        png_set_gamma(png, gInterface.gamma, file_gamma);
    }

    if (rq.kind) {
        *rq.kind = png_kind_of(png, inf);
        if (out == TEX_GL_ALPHA) *rq.kind = TEX_png_alpha_only;
    }

    int bytes = 0;
    switch (out) {
    case TEX_GL_ALPHA: bytes = 1; break;
    case TEX_GL_RGB: case TEX_GL_RG: bytes = 3; break; // GL_RG is decoded as RGB and packed after
    case TEX_GL_RGBA: bytes = 4; break;
    default:
        MACIBM_alert(0, "Illegal bits per pixel", "", "", "", t_crash, "TEX_png", 171);
        return 0;
    }

    // libpng's user limits have bounded both sides to TEX_MAX_SIDE.
    int64_t pad_pixels = 0;
    if (rq.row_width) {
        if (rq.row_width < info.width) png_error(png, "Picture is wider than the rows it is to be read into");
        pad_pixels = rq.row_width - info.width;
    }
    if (rq.pow2) pad_pixels = TEX_next_pow2(info.width) - info.width;
    const int64_t row_bytes = bytes * (int64_t)info.width + pad_pixels * bytes;
    const int64_t rows_total = rq.pow2 ? TEX_next_pow2(info.height) : info.height;
    const int64_t total = rows_total * row_bytes;
    if (total > TEX_MAX_BYTES) png_error(png, "Picture too large for a texture");
    if (*rq.pixels && total > rq.pixels_size) png_error(png, "Picture does not fit the buffer it is to be read into");
    info.row_pad = (int32_t)(pad_pixels * bytes);

    png_read_update_info(png, inf);
    // What libpng will write per row must be exactly the picture's part of our row.
    if (png_get_rowbytes(png, inf) != (png_size_t)(bytes * (int64_t)info.width))
        png_error(png, "Unexpected row size after the transforms");

    png_bytep* table = (png_bytep*)malloc(sizeof(png_bytep) * (size_t)info.height);
    if (!table) png_error(png, "Out of memory");
    *rows = table;
    const bool clear = rq.pow2 && (pad_pixels || rows_total > info.height);
    if (!*rq.pixels) {
        *rq.pixels = (unsigned char*)calloc((size_t)total, 1);
        if (!*rq.pixels) png_error(png, "Out of memory");
    } else if (clear) {
        memset(*rq.pixels, 0, (size_t)total);
    }
    unsigned char* buf = *rq.pixels;
    for (int64_t i = 0; i < info.height; ++i) table[i] = buf + (info.height - 1 - i) * row_bytes;
    png_read_image(png, table);

    if (out == TEX_GL_RG) {
        // Packed row by row in place: a packed byte never lies past the one it comes from.
        const int64_t row2 = 2 * (int64_t)info.width + 2 * pad_pixels;
        for (int64_t y = 0; y < info.height; ++y) {
            const unsigned char* src = buf + y * row_bytes;
            unsigned char* dst = buf + y * row2;
            for (int64_t x = 0; x < info.width; ++x) {
                dst[2 * x] = src[3 * x];
                dst[2 * x + 1] = src[3 * x + 1];
            }
            if (pad_pixels) memset(dst + 2 * (int64_t)info.width, 0, (size_t)(2 * pad_pixels));
        }
        if (clear) memset(buf + info.height * row2, 0, (size_t)((rows_total - info.height) * row2));
        info.row_pad = (int32_t)(2 * pad_pixels);
    }
    return 1;
}

int TEX_load_png(const std::string& name, xmap_file& view, unsigned char** pixels, int64_t pixels_size, int32_t wanted,
                 int32_t row_width, int pow2, int rule, int gamma_flag, TEX_image_info& info, uint8_t* kind)
{
    // libpng 1.6 refuses older version strings, so the header's own is passed.
    png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, TEX_png_error, TEX_png_warning, nullptr,
                                               TEX_png_malloc, TEX_png_free);
    if (!png) {
        MACIBM_alert(0, "PING-FILE ERROR!", "!png_ptr", name, "", t_crash, "TEX_png", 58);
        return 0;
    }
    png_infop inf = png_create_info_struct(png);
    if (!inf) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        MACIBM_alert(0, "PING-FILE ERROR!", "!info_ptr", name, "", t_crash, "TEX_png", 63);
        return 0;
    }
    if (!view.cursor || view.end - view.cursor < 8) {
        png_destroy_read_struct(&png, &inf, nullptr);
        return 0;
    }
    if (png_sig_cmp((png_const_bytep)view.cursor, 0, 8) != 0) {
        png_destroy_read_struct(&png, &inf, nullptr);
        MACIBM_alert(0, "PING-FILE ERROR!", "is_png=!png_sig_cmp(png_io_buf,0,8)", name, "", t_crash, "TEX_png", 77);
        return 0;
    }
    png_set_interlace_handling(png);

    png_bytep* volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        free((void*)rows);
        png_structp p = png;
        png_infop i = inf;
        png_destroy_read_struct(&p, &i, nullptr);
        return 0;
    }
    png_set_read_fn(png, &view, TEX_png_read);
    png_set_sig_bytes(png, 8);
    view.cursor += 8;
    // Over-large sides are reported like any other bad file, before anything is allocated.
    png_set_user_limits(png, TEX_MAX_SIDE, TEX_MAX_SIDE);

    const TEX_png_request rq = {pixels, pixels_size, wanted, row_width, pow2, rule, gamma_flag, &info, kind};
    const int ok = decode(png, inf, rq, &rows);
    free((void*)rows);
    png_destroy_read_struct(&png, &inf, nullptr);
    return ok;
}
