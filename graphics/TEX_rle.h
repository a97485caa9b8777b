// Run-length-coded 32-bit images held in memory: a large picture is encoded once in strips and
// any rectangle of whole strips is decoded or blended into a plain pixel buffer.
//
// The stream is 32-bit words, rows top first, each row cut into strips that no run crosses:
//   n > 0  followed by n pixels: a literal run
//   n < 0  followed by one pixel: that pixel -n times
//   0      end of data: every pixel from here on reads as 0
// Pixels are RGBA bytes as the image readers deliver them: red in bits 0-7, alpha in 24-31.
#pragma once
#include "graphics/TEX_utils.h"

#include <cstdint>

// One heap block of words with no header; the caller frees it with free(). The encoded width,
// the strip width and the number of rows are the caller's to keep.
using RLE_image = int32_t*;

// Encodes the source (width, height and row_pad of info; 4-byte pixels) as enc_w pixels a row
// (enc_w / strip_w whole strips) and stores a new block through out (null when no memory).
// Pixels of a source row beyond enc_w are left out; a source narrower than a strip is padded
// with transparent black; fewer rows than enc_h end with the end word.
void RLE_encode_image(const TEX_image_info& info, const void* pixels, int enc_w, int enc_h, int strip_w,
                      RLE_image* out);

// Decodes a width x height rectangle into out (rows packed). lead is the number of stream
// pixels before its first pixel (row x enc_w + column), gap the pixels between two of its rows
// (enc_w - width). Past the end word everything is 0.
void RLE_decode_rect(const int32_t* image, int64_t lead, int64_t gap, int width, int height, uint32_t* out);

// As RLE_decode_rect, blending onto the pixels already in out with coverage 0 to 255; pixels of a
// run of transparent black are left alone, and the end word ends the whole operation.
void RLE_blend_rect(const int32_t* image, int64_t lead, int64_t gap, int width, int height, uint32_t* out,
                    int coverage);

// Blends one source pixel onto *dst by its alpha times coverage; the alpha adds up.
void RLE_blend_pixel(uint32_t* dst, uint32_t src, int coverage);
