// The BMP reader and the picture-file reader (see TEX_bmp.h).
#include "graphics/TEX_bmp.h"

#include "foundation/alert.h"
#include "foundation/log.h"
#include "graphics/COL_scheme.h"
#include "graphics/TEX_png.h"

#include <cstdlib>
#include <cstring>

// A header field counts only when it lies wholly inside the file; otherwise it reads as 0.
static uint32_t field(const xmap_file& view, int64_t offset, int size)
{
    if (view.end - view.cursor < offset + size) return 0;
    const unsigned char* p = (const unsigned char*)view.cursor + offset;
    uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

static int refuse(const std::string& name, const char* why)
{
    gLog << "WARNING: the bitmap " << name << " is not read: " << why << "\n";
    return 0;
}

int TEX_load_bmp(const std::string& name, xmap_file& view, unsigned char** pixels, int64_t pixels_size, int32_t wanted,
                 int32_t row_width, int pow2, TEX_image_info& info)
{
    if (!view.cursor || view.cursor >= view.end) return 0;
    int bytes = 0;
    switch (wanted) {
    case TEX_GL_ALPHA: bytes = 1; break;
    case TEX_GL_RGB: bytes = 3; break;
    case TEX_GL_RGBA: bytes = 4; break;
    default:
        MACIBM_alert(0, "Illegal desired format for bmp.", name, "", "", t_fatal, "TEX_bmp", 29);
        return 0;
    }
    view.byte_swap = 0;
    const uint32_t data_offset = field(view, 10, 4);
    const int32_t width = (int32_t)field(view, 18, 4);
    const int32_t height = (int32_t)field(view, 22, 4);
    const uint32_t depth = field(view, 28, 2);
    const uint32_t compression = field(view, 30, 4);
    if (depth != 24)
        MACIBM_alert(0, "Wrong bitmap color depth for texture!", "We need 24-bit color.", "", name, t_fatal, "TEX_bmp",
                     50);
    if (compression != 0) MACIBM_alert(0, "Bitmap is compressed!", "", "", name, t_fatal, "TEX_bmp", 51);
    if (depth != 24 || compression != 0) return 0;
    // A height below 1 is a top-down file; neither it nor an empty or huge picture is a texture.
    if (width < 1 || height < 1 || width > TEX_MAX_SIDE || height > TEX_MAX_SIDE)
        return refuse(name, "its sides are outside 1 to 16384");
    if (row_width && row_width < width) return refuse(name, "it is wider than the rows it is to be read into");

    int64_t pad_pixels = row_width ? row_width - width : 0;
    if (pow2) pad_pixels = TEX_next_pow2(width) - width;
    const int64_t row_bytes = bytes * ((int64_t)width + pad_pixels);
    const int64_t rows_total = pow2 ? TEX_next_pow2(height) : height;
    const int64_t total = rows_total * row_bytes;
    if (total > TEX_MAX_BYTES) return refuse(name, "it is too large for a texture");
    if (*pixels && total > pixels_size) return refuse(name, "it does not fit the buffer it is to be read into");

    info.width = width;
    info.height = height;
    info.format = wanted;
    info.has_mips = 0;
    info.row_pad = (int32_t)(pad_pixels * bytes);
    if (!*pixels) {
        // Zeroed, so that rows missing from a cut file come out black.
        *pixels = (unsigned char*)calloc((size_t)total, 1);
        if (!*pixels) return refuse(name, "out of memory");
    } else if (pow2 && (pad_pixels || rows_total > height)) {
        memset(*pixels, 0, (size_t)total);
    }

    const uint8_t* table = gInterface.gamma == 1.8f ? nullptr : gInterface.gamma_18;
    const unsigned char* file = (const unsigned char*)view.cursor;
    const int64_t file_bytes = view.end - view.cursor;
    const int64_t src_row = (3 * (int64_t)width + 3) & ~(int64_t)3;
    for (int64_t y = 0; y < height; ++y) {
        unsigned char* out = *pixels + y * row_bytes;
        for (int64_t x = 0; x < width; ++x, out += bytes) {
            const int64_t at = (int64_t)data_offset + y * src_row + 3 * x;
            if (at + 3 > file_bytes) continue;
            const unsigned char b = file[at], g = file[at + 1], r = file[at + 2];
            if (bytes == 1) {
                out[0] = (unsigned char)((b + g + r) / 3);
                continue;
            }
            if (bytes == 4 && b == 255 && g == 0 && r == 255) {
                out[0] = out[1] = out[2] = out[3] = 0;
                continue;
            }
            out[0] = table ? table[r] : r;
            out[1] = table ? table[g] : g;
            out[2] = table ? table[b] : b;
            if (bytes == 4) out[3] = 255;
        }
    }
    return 1;
}

int TEX_load_image_file(const std::string& path, unsigned char** pixels, int64_t pixels_size, int32_t wanted,
                        int32_t row_width, int rule, int gamma_flag, TEX_image_info& info)
{
    xmap_file view(path);
    if (!view.begin || view.end - view.begin < 8) return 0;
    int ok = 0;
    if (view.begin[0] == 'B' && view.begin[1] == 'M')
        ok = TEX_load_bmp(path, view, pixels, pixels_size, wanted, row_width, 0, info);
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!ok && memcmp(view.begin, signature, 8) == 0)
        ok = TEX_load_png(path, view, pixels, pixels_size, wanted, row_width, 0, rule, gamma_flag, info, nullptr);
    return ok;
}
