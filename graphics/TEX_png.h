// The PNG reader: decodes a mapped PNG file with libpng into one 8-bit format, bottom row first,
// optionally gamma-corrected to the screen and padded to power-of-two sides.
#pragma once
#include "foundation/xmap.h"
#include "graphics/TEX_utils.h"

#include <string>

// Format rules: keep the wanted format; choose GL_RGB / GL_RGBA by the file's alpha; follow the file.
enum { TEX_rule_keep = 0, TEX_rule_alpha = 1, TEX_rule_file = 2 };

// PNG kinds stored with a texture.
enum {
    TEX_png_alpha_only = 1,
    TEX_png_plain = 2,
    TEX_png_normal_separate_alpha = 3,
    TEX_png_normal_high_precision = 4,
};

// Reads the PNG at the view's cursor. *pixels null: the reader allocates a zeroed buffer
// (malloc family; the caller frees it, also after a failure). Otherwise *pixels is the caller's
// buffer of pixels_size bytes, and a picture that would not fit it is refused. row_width pads rows
// to that many pixels (0: no padding; narrower than the picture: refused); pow2 pads rows and the
// row count to powers of two. wanted is GL_ALPHA, GL_RGB, GL_RGBA or GL_RG. kind may be null.
// 1 when read; 0 after a "PNG error!" alert (or for a view of fewer than 8 bytes).
int TEX_load_png(const std::string& name, xmap_file& view, unsigned char** pixels, int64_t pixels_size, int32_t wanted,
                 int32_t row_width, int pow2, int rule, int gamma_flag, TEX_image_info& info, uint8_t* kind);
