// What the fuzz targets share: a view over the input bytes and the alert that unwinds.
#pragma once
#include "foundation/xmap.h"

#include <cstddef>
#include <cstdint>

// Thrown by the stand-in alert for fatal and crash codes, which would end the program.
struct fuzz_alert {
    int code;
};

// Points the view at the bytes without mapping anything.
void fuzz_view(xmap_file& view, const uint8_t* data, size_t size);

// True for sides the readers accept but that are too large to decode many times a second (the
// limits themselves are tested with sides beyond them, which the readers turn away at once).
inline bool fuzz_too_slow(int64_t width, int64_t height)
{
    return width >= 1 && height >= 1 && width <= 16384 && height <= 16384 && width * height > (1 << 20);
}

// Reads every byte of a buffer, so that the sanitizer sees a buffer smaller than its image.
unsigned fuzz_touch(const unsigned char* p, int64_t n);
