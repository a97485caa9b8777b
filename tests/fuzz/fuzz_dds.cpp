// Fuzz target of the DDS reader and of the buffer operations the loader runs on what it finds:
// the data is copied at the size the header calls for, flipped with gamma, and the uncompressed
// kinds are bled, turned into normal maps and downsampled.
#include "fuzz_support.h"
#include "graphics/COL_scheme.h"
#include "graphics/TEX_dds.h"

#include <cstdlib>
#include <cstring>

static volatile unsigned gSink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    xmap_file view;
    fuzz_view(view, data, size);
    const char* pixels = nullptr;
    TEX_image_info info;
    float gamma = 0;
    if (!TEX_parse_dds("fuzz", view, &pixels, info, gamma)) return 0;
    const int64_t bytes = TEX_image_bytes(info);
    unsigned char* copy = (unsigned char*)malloc((size_t)bytes);
    if (!copy) return 0;
    memcpy(copy, pixels, (size_t)bytes);
    gSink = (unsigned)TEX_flip_image(info, copy, gamma == 1.8f ? gInterface.gamma_18 : gInterface.gamma_22);
    if (info.format == TEX_GL_BGRA || info.format == TEX_GL_BGR) {
        TEX_image_info level = info;
        level.has_mips = 0;
        TEX_make_normal_map(copy, level, 1.0f);
        if (info.format == TEX_GL_BGRA) {
            level.format = TEX_GL_RGBA;
            TEX_bleed_alpha(level, copy);
        }
        TEX_downsample(level, copy, info.width > 1 ? 2 : 1, info.height > 1 ? 2 : 1);
    }
    gSink = fuzz_touch(copy, bytes);
    free(copy);
    return 0;
}
