// What each of the 16 texture units last had bound, so that binding the same again costs
// nothing. Binding itself is filled in by its own unit later; the reset is needed whenever
// another context becomes current.
#pragma once
#include <cstdint>

struct TEX_unit_cache {
    int32_t name[16]; // bound texture name per unit, -1 unknown
    int32_t mode[16]; // texture-environment mode per unit, -1 unknown
};

extern TEX_unit_cache gTexUnitCache;

// Forgets both tables, so the next binding on any unit reaches OpenGL.
void TEX_reset_bind_cache();
