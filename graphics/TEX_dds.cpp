// The DDS reader (see TEX_dds.h).
#include "graphics/TEX_dds.h"

#include <cstring>

static const int64_t kHeaderBytes = 128;

static uint32_t le32(const char* p)
{
    const unsigned char* u = (const unsigned char*)p;
    return (uint32_t)u[0] | (uint32_t)u[1] << 8 | (uint32_t)u[2] << 16 | (uint32_t)u[3] << 24;
}

int TEX_parse_dds(const std::string&, xmap_file& view, const char** data, TEX_image_info& info, float& gamma)
{
    const char* start = view.begin;
    // Every field read lies in the header, so a shorter view is refused before any is read.
    if (!start || view.end - start < kHeaderBytes) return 0;
    if (memcmp(start, "DDS ", 4) != 0) return 0;

    const uint32_t pf_flags = le32(start + 80), caps = le32(start + 108), header_flags = le32(start + 8);
    info.format = 0;
    if (pf_flags & 0x4) {
        const char* fourcc = start + 84;
        if (memcmp(fourcc, "DXT1", 4) == 0) info.format = TEX_DXT1_RGB;
        else if (memcmp(fourcc, "DXT3", 4) == 0) info.format = TEX_DXT3;
        else if (memcmp(fourcc, "DXT5", 4) == 0) info.format = TEX_DXT5;
        else return 0;
    }
    if (pf_flags & 0x40) info.format = (pf_flags & 0x1) ? TEX_GL_BGRA : TEX_GL_BGR;
    if (!info.format) return 0;

    gamma = (caps & 0x8) ? 1.8f : 2.2f;
    info.width = (int32_t)le32(start + 16);
    info.height = (int32_t)le32(start + 12);
    info.row_pad = 0;
    info.has_mips = (header_flags & 0x20000) && (caps & 0x400000) ? 1 : 0;
    // The sizes are the file's word: the data they call for must be there. TEX_image_bytes is 0
    // for sides below 1 or beyond any texture.
    const int64_t need = TEX_image_bytes(info);
    if (need <= 0 || need > view.end - start - kHeaderBytes) return 0;
    *data = start + kHeaderBytes;
    return 1;
}
