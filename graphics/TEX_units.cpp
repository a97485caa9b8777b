// Texture-unit binding cache (see TEX_units.h).
#include "graphics/TEX_units.h"

TEX_unit_cache gTexUnitCache = {
    {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
};

void TEX_reset_bind_cache()
{
    for (int i = 0; i < 16; ++i) {
        gTexUnitCache.name[i] = -1;
        gTexUnitCache.mode[i] = -1;
    }
}
