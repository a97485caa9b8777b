// Image sizes and the in-place buffer operations (see TEX_utils.h).
#include "graphics/TEX_utils.h"

#include "foundation/alert.h"

#include <squish.h>

// Bytes per pixel and whether rows carry row_pad, per format; 0 bytes for unknown formats.
struct TEX_size_rule {
    int bytes;
    int padded;
    int squish_flags; // non-zero: a DXT kind, sized by libsquish
};

static TEX_size_rule size_rule(int32_t format)
{
    switch (format) {
    case 0x1903: case 0x1906: case 0x84E9:
        return {1, 1, 0};
    case 0x803E: case 0x8227: case 0x822A: case 0x822D: case 0x8233: case 0x881C: case 0x8D8A:
        return {2, 1, 0};
    case 0x1907: case 0x8051: case 0x80E0:
        return {3, 1, 0};
    case 0x1908: case 0x8058: case 0x80E1: case 0x822C: case 0x822E: case 0x822F: case 0x8239: case 0x8816:
    case 0x8D94: case 0x8D97:
        return {4, 1, 0};
    case 0x8054: case 0x881B: case 0x8D89:
        return {6, 1, 0};
    case 0x805B: case 0x8228: case 0x8230: case 0x881A: case 0x8D88:
        return {8, 1, 0};
    case 0x8815: case 0x8D98:
        return {12, 1, 0};
    case 0x8814: case 0x8D99:
        return {16, 1, 0};
    case 0x1902: return {4, 0, 0};
    case 0x81A5: return {2, 0, 0};
    case 0x81A6: return {3, 0, 0};
    case 0x81A7: return {4, 0, 0};
    case 0x83F0: case 0x83F1: case 0x84ED: case 0x84EE:
        return {0, 0, squish::kDxt1};
    case 0x83F2: return {0, 0, squish::kDxt3};
    case 0x83F3: return {0, 0, squish::kDxt5};
    default:
        return {0, 0, 0};
    }
}

int TEX_bytes_per_pixel(int32_t format)
{
    return size_rule(format).bytes;
}

int32_t TEX_next_pow2(int32_t n)
{
    int32_t p = 1;
    while (p < n && p < (1 << 30)) p <<= 1;
    return p;
}

int64_t TEX_image_bytes(const TEX_image_info& info)
{
    const TEX_size_rule rule = size_rule(info.format);
    if (!rule.bytes && !rule.squish_flags) return 0;
    // Hostile or broken descriptors end here, so the loop below always reaches 1 x 1 and
    // libsquish only ever sees sides it can size without overflow.
    if (info.width < 1 || info.height < 1 || info.width > TEX_MAX_SIDE || info.height > TEX_MAX_SIDE) return 0;
    if (info.row_pad < 0 || info.row_pad > 16 * TEX_MAX_SIDE) return 0;
    int64_t w = info.width, h = info.height, total = 0;
    for (;;) {
        if (rule.squish_flags)
            total += squish::GetStorageRequirements((int)w, (int)h, rule.squish_flags);
        else
            total += h * (rule.bytes * w + (rule.padded ? info.row_pad : 0));
        if ((w == 1 && h == 1) || !info.has_mips) break;
        if (w > 1) w /= 2;
        if (h > 1) h /= 2;
    }
    return total;
}

void TEX_downsample(TEX_image_info& info, unsigned char* pixels, int x_factor, int y_factor)
{
    int bytes = 0;
    switch (info.format) {
    case TEX_GL_ALPHA: case TEX_GL_RED: bytes = 1; break;
    case TEX_GL_RG: bytes = 2; break;
    case TEX_GL_RGB: case TEX_GL_BGR: bytes = 3; break;
    case TEX_GL_RGBA: case TEX_GL_BGRA: bytes = 4; break;
    default:
        // Any other format goes up to OpenGL as one unsigned byte per texel.
        bytes = size_rule(info.format).bytes > 0 ? 1 : 0;
        break;
    }
    if (!pixels || x_factor < 1 || y_factor < 1 || info.width < 1 || info.height < 1 || info.row_pad < 0) return;
    if (!bytes) {
        // Blocks or an unknown layout cannot be summed, but the sides still shrink, so a mip chain ends.
        info.width /= x_factor;
        info.height /= y_factor;
        return;
    }
    int shift = 0;
    while ((1 << shift) < x_factor && shift < 30) ++shift;
    int sy = 0;
    while ((1 << sy) < y_factor && sy < 30) ++sy;
    shift += sy;
    const int64_t new_w = info.width / x_factor, new_h = info.height / y_factor;
    const int64_t src_row = (int64_t)info.width * bytes + info.row_pad;
    unsigned char* out = pixels;
    for (int64_t oy = 0; oy < new_h; ++oy) {
        for (int64_t ox = 0; ox < new_w; ++ox) {
            for (int c = 0; c < bytes; ++c) {
                uint64_t sum = 0;
                for (int64_t by = 0; by < y_factor; ++by) {
                    const unsigned char* src = pixels + (oy * y_factor + by) * src_row + ox * x_factor * bytes + c;
                    for (int64_t bx = 0; bx < x_factor; ++bx) sum += src[bx * bytes];
                }
                *out++ = (unsigned char)(sum >> shift);
            }
        }
        out += info.row_pad;
    }
    info.width = (int32_t)new_w;
    info.height = (int32_t)new_h;
}

void TEX_swap_bytes(unsigned char* a, unsigned char* b, int64_t count)
{
    for (int64_t i = 0; i < count; ++i) {
        unsigned char t = a[i];
        a[i] = b[i];
        b[i] = t;
    }
}

static uint16_t get16(const unsigned char* p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

static void put16(unsigned char* p, uint16_t v)
{
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
}

static uint16_t gamma_565(uint16_t c, const uint8_t* gamma)
{
    const int r = c >> 11 & 31, g = c >> 5 & 63, b = c & 31;
    const int r8 = gamma[r << 3 | r >> 2], g8 = gamma[g << 2 | g >> 4], b8 = gamma[b << 3 | b >> 2];
    return (uint16_t)((r8 >> 3) << 11 | (g8 >> 2) << 5 | (b8 >> 3));
}

void TEX_gamma_dxt_colors(unsigned char* block, const uint8_t* gamma)
{
    const uint16_t c0 = get16(block), c1 = get16(block + 2);
    const bool three_colour = c0 <= c1;
    const uint16_t m0 = gamma_565(c0, gamma), m1 = gamma_565(c1, gamma);
    if ((m0 <= m1) == three_colour) {
        put16(block, m0);
        put16(block + 2, m1);
        return;
    }
    uint16_t n0 = m1, n1 = m0;
    if (m0 == m1) {
        // A four-colour block needs colour 0 above colour 1: move them one step apart.
        const int g = n0 >> 5 & 63, b = n0 & 31, r = n0 >> 11;
        if (g < 63) n0 = (uint16_t)(n0 + (1 << 5));
        else if (b < 31) n0 = (uint16_t)(n0 + 1);
        else if (r < 31) n0 = (uint16_t)(n0 + (1 << 11));
        else if ((n1 >> 5 & 63) > 0) n1 = (uint16_t)(n1 - (1 << 5));
        else if ((n1 & 31) > 0) n1 = (uint16_t)(n1 - 1);
        else if ((n1 >> 11) > 0) n1 = (uint16_t)(n1 - (1 << 11));
    }
    for (int i = 4; i < 8; ++i) {
        if (!three_colour) {
            block[i] ^= 0x55;
            continue;
        }
        unsigned char v = block[i];
        for (int s = 0; s < 8; s += 2)
            if ((v >> s & 3) < 2) v ^= (unsigned char)(1 << s);
        block[i] = v;
    }
    put16(block, n0);
    put16(block + 2, n1);
}

int TEX_flip_dxt1_blocks(unsigned char* blocks, int count, const uint8_t* gamma, int seen_transparent)
{
    for (int i = 0; i < count; ++i) {
        unsigned char* b = blocks + 8 * i;
        TEX_swap_bytes(b + 4, b + 7, 1);
        TEX_swap_bytes(b + 5, b + 6, 1);
        if (!seen_transparent && get16(b) <= get16(b + 2)) {
            for (int k = 4; k < 8 && !seen_transparent; ++k)
                for (int s = 0; s < 8; s += 2)
                    if ((b[k] >> s & 3) == 3) seen_transparent = 1;
        }
        if (gamma) TEX_gamma_dxt_colors(b, gamma);
    }
    return seen_transparent;
}

int TEX_flip_dxt3_blocks(unsigned char* blocks, int count, const uint8_t* gamma)
{
    for (int i = 0; i < count; ++i) {
        unsigned char* b = blocks + 16 * i;
        TEX_swap_bytes(b, b + 6, 2);
        TEX_swap_bytes(b + 2, b + 4, 2);
        TEX_swap_bytes(b + 12, b + 15, 1);
        TEX_swap_bytes(b + 13, b + 14, 1);
        if (gamma) TEX_gamma_dxt_colors(b + 8, gamma);
    }
    return 0;
}

void TEX_flip_dxt5_alpha(unsigned char* bits)
{
    uint64_t v = 0;
    for (int i = 0; i < 6; ++i) v |= (uint64_t)bits[i] << (8 * i);
    uint64_t out = 0;
    for (int row = 0; row < 4; ++row) out |= (v >> (12 * row) & 0xFFF) << (12 * (3 - row));
    for (int i = 0; i < 6; ++i) bits[i] = (unsigned char)(out >> (8 * i));
}

int TEX_flip_dxt5_blocks(unsigned char* blocks, int count, const uint8_t* gamma)
{
    for (int i = 0; i < count; ++i) {
        unsigned char* b = blocks + 16 * i;
        TEX_flip_dxt5_alpha(b + 2);
        TEX_swap_bytes(b + 12, b + 15, 1);
        TEX_swap_bytes(b + 13, b + 14, 1);
        if (gamma) TEX_gamma_dxt_colors(b + 8, gamma);
    }
    return 0;
}

int TEX_flip_level(int32_t format, unsigned char* pixels, int32_t width, int32_t height, int64_t level_bytes,
                   const uint8_t* gamma)
{
    int bytes = 0, block = 0;
    switch (format) {
    case TEX_GL_ALPHA: bytes = 1; break;
    case TEX_GL_RGB: case TEX_GL_BGR: bytes = 3; break;
    case TEX_GL_RGBA: case TEX_GL_BGRA: bytes = 4; break;
    case TEX_DXT1_RGB: case TEX_DXT1_RGBA: block = 8; break;
    case TEX_DXT3: case TEX_DXT5: block = 16; break;
    default:
        MACIBM_alert(0, "Illegal format!", "", "", "", t_crash, "TEX_utils", 541);
        return 0;
    }
    if (!pixels || width < 1 || height < 1 || level_bytes <= 0) return 0;

    if (bytes) {
        const int64_t row = level_bytes / height;
        if (row < (int64_t)width * bytes) return 0; // the size does not describe these sides
        if (gamma && bytes > 1)
            for (int64_t y = 0; y < height; ++y) {
                unsigned char* p = pixels + y * row;
                for (int64_t x = 0; x < width; ++x, p += bytes) {
                    p[0] = gamma[p[0]];
                    p[1] = gamma[p[1]];
                    p[2] = gamma[p[2]];
                }
            }
        for (int64_t i = 0; i < height / 2; ++i) TEX_swap_bytes(pixels + i * row, pixels + (height - 1 - i) * row, row);
        return 0;
    }

    const int64_t per_row = width / 4, rows = height / 4, row_bytes = per_row * block;
    if (per_row == 0 || rows == 0 || rows * row_bytes > level_bytes) return 0;
    int seen = 0;
    auto kernel = [&](unsigned char* r) {
        if (block == 8) seen = TEX_flip_dxt1_blocks(r, (int)per_row, gamma, seen);
        else if (format == TEX_DXT3) TEX_flip_dxt3_blocks(r, (int)per_row, gamma);
        else TEX_flip_dxt5_blocks(r, (int)per_row, gamma);
    };
    for (int64_t i = 0; i < rows / 2; ++i) {
        unsigned char* a = pixels + i * row_bytes;
        unsigned char* b = pixels + (rows - 1 - i) * row_bytes;
        kernel(a);
        kernel(b);
        TEX_swap_bytes(a, b, row_bytes);
    }
    if (rows % 2) kernel(pixels + rows / 2 * row_bytes);
    return seen;
}

int TEX_flip_image(const TEX_image_info& info, unsigned char* pixels, const uint8_t* gamma)
{
    TEX_image_info level = info;
    level.has_mips = 0;
    int32_t w = info.width, h = info.height;
    int result = 0;
    for (;;) {
        level.width = w;
        level.height = h;
        const int64_t bytes = TEX_image_bytes(level);
        result |= TEX_flip_level(info.format, pixels, w, h, bytes, gamma);
        // A side below 1 never halves to 1, and an unsized level has no successor to find.
        if (bytes <= 0 || (w == 1 && h == 1) || !info.has_mips) break;
        pixels += bytes;
        if (w > 1) w /= 2;
        if (h > 1) h /= 2;
    }
    return result;
}

void TEX_bleed_alpha(const TEX_image_info& info, unsigned char* pixels)
{
    if (!pixels || info.format != TEX_GL_RGBA || info.width < 1 || info.height < 1) return;
    const int64_t w = info.width, h = info.height;
    for (int64_t y = 0; y < h; ++y)
        for (int64_t x = 0; x < w; ++x) {
            unsigned char* p = pixels + (y * w + x) * 4;
            if (p[3] != 0) continue;
            // Only visible pixels count, and bleeding never makes one, so the order of work
            // cannot change a result.
            uint64_t sum[3] = {0, 0, 0}, n = 0;
            for (int64_t yy = y - 2; yy <= y + 2; ++yy)
                for (int64_t xx = x - 2; xx <= x + 2; ++xx) {
                    if (yy < 0 || yy >= h || xx < 0 || xx >= w) continue;
                    const unsigned char* q = pixels + (yy * w + xx) * 4;
                    if (q[3] == 0) continue;
                    sum[0] += q[0];
                    sum[1] += q[1];
                    sum[2] += q[2];
                    ++n;
                }
            if (!n) continue;
            for (int c = 0; c < 3; ++c) p[c] = (unsigned char)(sum[c] / n);
        }
}

static unsigned char slope_byte(float k, float delta)
{
    float v = (k * delta + 1.0f) * 127.5f;
    if (v < 0) v = 0;
    if (v > 255) v = 255;
    return (unsigned char)(int)v;
}

void TEX_make_normal_map(unsigned char* pixels, const TEX_image_info& info, float k)
{
    int bytes = 0;
    switch (info.format) {
    case TEX_GL_RGB: case 0x8051: case TEX_GL_BGR: bytes = 3; break;
    case TEX_GL_RGBA: case 0x8058: case TEX_GL_BGRA: bytes = 4; break;
    default: return;
    }
    if (!pixels || info.width < 1 || info.height < 1 || info.row_pad < 0) return;
    const int64_t w = info.width, h = info.height, row = w * bytes + info.row_pad;
    auto height_at = [&](int64_t x, int64_t y) { return pixels[y * row + x * bytes + 2] / 255.0f; };
    for (int64_t y = 0; y < h; ++y)
        for (int64_t x = 0; x < w; ++x) {
            const float here = height_at(x, y);
            unsigned char* p = pixels + y * row + x * bytes;
            p[0] = slope_byte(k, height_at((x + 1) % w, y) - here);
            p[1] = slope_byte(k, height_at(x, (y + 1) % h) - here);
        }
}
