// The BMP reader (uncompressed 24-bit files, magenta as the transparent key) and the reader of
// a BMP or PNG picture file by its first bytes.
#pragma once
#include "foundation/xmap.h"
#include "graphics/TEX_utils.h"

#include <string>

// Reads the BMP at the view's cursor into GL_ALPHA, GL_RGB or GL_RGBA, bottom row first, with
// the colours re-mapped to the screen gamma. The pixel buffer, its size and the padding work as
// for TEX_load_png. 1 when read; 0 for an empty view and for a header that cannot describe a
// texture (with a log line). Other depths and compressed files raise fatal alerts.
int TEX_load_bmp(const std::string& name, xmap_file& view, unsigned char** pixels, int64_t pixels_size, int32_t wanted,
                 int32_t row_width, int pow2, TEX_image_info& info);

// Reads a BMP or PNG file (by its first bytes) without power-of-two padding; 1 read, 0 not.
int TEX_load_image_file(const std::string& path, unsigned char** pixels, int64_t pixels_size, int32_t wanted,
                        int32_t row_width, int rule, int gamma_flag, TEX_image_info& info);
