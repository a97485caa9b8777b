// The DDS reader: describes the pixel data of a mapped DDS file without copying or decoding it.
#pragma once
#include "foundation/xmap.h"
#include "graphics/TEX_utils.h"

#include <string>

// 1 when the view holds a DDS picture this program can use, with every byte its header calls for;
// data then points 128 bytes into the view (valid while the view is) and gamma is the gamma the
// picture was made for (1.8 or 2.2). 0 otherwise. The name is not used.
int TEX_parse_dds(const std::string& name, xmap_file& view, const char** data, TEX_image_info& info, float& gamma);
