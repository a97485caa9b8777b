// The decoded-image descriptor that the image readers fill and the texture loader uploads, and
// the in-place operations on a pixel buffer: sizes, downsampling, the bottom-up flip (with its
// DXT block kernels and gamma), alpha bleeding and normal maps.
#pragma once
#include <cstdint>

// OpenGL format enums the readers and the loader use, so that this header needs no GL header.
enum {
    TEX_GL_RED = 0x1903,
    TEX_GL_ALPHA = 0x1906,
    TEX_GL_RGB = 0x1907,
    TEX_GL_RGBA = 0x1908,
    TEX_GL_BGR = 0x80E0,
    TEX_GL_BGRA = 0x80E1,
    TEX_GL_RG = 0x8227,
    TEX_DXT1_RGB = 0x83F0,
    TEX_DXT1_RGBA = 0x83F1,
    TEX_DXT3 = 0x83F2,
    TEX_DXT5 = 0x83F3,
};

// Largest side and largest buffer any reader accepts: sizes stay far from overflow and a
// hostile header cannot make a reader allocate without bound.
const int32_t TEX_MAX_SIDE = 16384;
const int64_t TEX_MAX_BYTES = 256ll << 20;

struct TEX_image_info {
    int32_t format = 0;   // OpenGL format enum of the pixels
    int32_t width = 0;    // level 0, pixels
    int32_t height = 0;   // level 0, rows
    int32_t row_pad = 0;  // bytes after every row, on every level; 0 for compressed and depth data
    int32_t has_mips = 0; // 1: every level down to 1 x 1 follows level 0 in the buffer
};

// Bytes of level 0, or of the whole chain with has_mips. 0 for an unknown format, for a side
// below 1 or above TEX_MAX_SIDE, and for a row_pad outside 0 to 16 x TEX_MAX_SIDE.
int64_t TEX_image_bytes(const TEX_image_info& info);

// Bytes per pixel of an uncompressed format, 0 for others (and for the block formats).
int TEX_bytes_per_pixel(int32_t format);

// Shrinks the image in place by integer factors (box filter); leftover columns and rows go.
void TEX_downsample(TEX_image_info& info, unsigned char* pixels, int x_factor, int y_factor);

// Turns every level upside down, re-mapping colour bytes through gamma (256 entries) when it is
// not null. 1 when some DXT1 block uses its transparent colour.
int TEX_flip_image(const TEX_image_info& info, unsigned char* pixels, const uint8_t* gamma);
int TEX_flip_level(int32_t format, unsigned char* pixels, int32_t width, int32_t height, int64_t level_bytes,
                   const uint8_t* gamma);

// The block kernels of the flip, each over `blocks` blocks of one block row.
int TEX_flip_dxt1_blocks(unsigned char* blocks, int count, const uint8_t* gamma, int seen_transparent);
int TEX_flip_dxt3_blocks(unsigned char* blocks, int count, const uint8_t* gamma);
int TEX_flip_dxt5_blocks(unsigned char* blocks, int count, const uint8_t* gamma);
// Reverses the four 12-bit rows of a DXT5 alpha index field (6 bytes).
void TEX_flip_dxt5_alpha(unsigned char* bits);
// Re-maps the two colours of an 8-byte DXT colour block, keeping its mode and its pixels' meaning.
void TEX_gamma_dxt_colors(unsigned char* block, const uint8_t* gamma);
void TEX_swap_bytes(unsigned char* a, unsigned char* b, int64_t count);

// Gives fully transparent RGBA pixels the mean colour of their visible 5 x 5 neighbours.
void TEX_bleed_alpha(const TEX_image_info& info, unsigned char* pixels);

// Writes the slopes of the height in the third byte into the first two bytes (3- and 4-byte
// formats only; other images stay as they are).
void TEX_make_normal_map(unsigned char* pixels, const TEX_image_info& info, float k);

// Padding shared by the readers. The smallest power of two >= n (n >= 1, n <= TEX_MAX_SIDE).
int32_t TEX_next_pow2(int32_t n);
