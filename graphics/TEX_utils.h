// The image descriptor that the image readers fill and the texture loader reads. Only the
// descriptor exists yet; the buffer operations are filled in by their own unit later.
#pragma once
#include <cstdint>

struct TEX_image_info {
    int32_t format = 0;   // OpenGL format enum of the pixels
    int32_t width = 0;    // level 0, pixels
    int32_t height = 0;   // level 0, rows
    int32_t row_pad = 0;  // bytes after every row, on every level; 0 for compressed and depth data
    int32_t has_mips = 0; // 1: every level down to 1 x 1 follows level 0 in the buffer
};
