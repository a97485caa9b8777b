// Fuzz target of the BMP reader in each output format, with and without padding.
#include "fuzz_support.h"
#include "graphics/TEX_bmp.h"

#include <cstdlib>

static volatile unsigned gSink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size >= 26) {
        auto le32 = [&](size_t at) {
            return (int32_t)(data[at] | data[at + 1] << 8 | data[at + 2] << 16 | (uint32_t)data[at + 3] << 24);
        };
        if (fuzz_too_slow(le32(18), le32(22))) return 0;
    }
    static const struct {
        int32_t wanted, row_width;
        int pow2;
    } ways[] = {{TEX_GL_RGB, 0, 0}, {TEX_GL_RGBA, 0, 1}, {TEX_GL_ALPHA, 100, 0}, {TEX_GL_RGBA, 2048, 0}};
    static unsigned char* scratch = (unsigned char*)malloc(1 << 16);
    for (int i = 0; i < 4; ++i) {
        xmap_file view;
        fuzz_view(view, data, size);
        unsigned char* px = i == 3 ? scratch : nullptr;
        TEX_image_info info;
        int ok = 0;
        try {
            ok = TEX_load_bmp("fuzz", view, &px, 1 << 16, ways[i].wanted, ways[i].row_width, ways[i].pow2, info);
        } catch (const fuzz_alert&) {
        }
        if (ok) {
            const int64_t rows = ways[i].pow2 ? TEX_next_pow2(info.height) : info.height;
            gSink = fuzz_touch(px, rows * (info.width * TEX_bytes_per_pixel(info.format) + info.row_pad));
        }
        if (px != scratch) free(px);
    }
    return 0;
}
