// Fuzz target of the PNG reader: every input is read in the ways the program asks for pictures.
#include "fuzz_support.h"
#include "graphics/TEX_png.h"

#include <cstdlib>
#include <cstring>

static volatile unsigned gSink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The callers test the signature before they call the reader.
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size < 8 || memcmp(data, signature, 8) != 0) return 0;
    if (size >= 24) {
        auto be32 = [&](size_t at) {
            return (int64_t)data[at] << 24 | data[at + 1] << 16 | data[at + 2] << 8 | data[at + 3];
        };
        if (fuzz_too_slow(be32(16), be32(20))) return 0;
    }
    static const struct {
        int32_t wanted, row_width;
        int rule, gamma, pow2;
    } ways[] = {{TEX_GL_RGBA, 0, TEX_rule_keep, 1, 1},
                {TEX_GL_RGB, 64, TEX_rule_alpha, 0, 0},
                {TEX_GL_RG, 0, TEX_rule_keep, 0, 1},
                {TEX_GL_ALPHA, 0, TEX_rule_file, 1, 0},
                {TEX_GL_RGBA, 2048, TEX_rule_keep, 1, 0}};
    static unsigned char* scratch = (unsigned char*)malloc(1 << 16);
    for (int i = 0; i < 5; ++i) {
        xmap_file view;
        fuzz_view(view, data, size);
        // The last way reads into a caller's buffer, as the back picture does.
        unsigned char* px = i == 4 ? scratch : nullptr;
        TEX_image_info info;
        uint8_t kind = 0;
        int ok = 0;
        try {
            ok = TEX_load_png("fuzz", view, &px, 1 << 16, ways[i].wanted, ways[i].row_width, ways[i].pow2, ways[i].rule,
                              ways[i].gamma, info, &kind);
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
