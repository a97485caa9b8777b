// What each of the 16 texture units last had bound and which texture environment it was given,
// so that binding the same again costs no OpenGL call. All texture binding goes through
// TEX_bind_unit. Main thread (the OpenGL thread) only.
#pragma once
#include <GL/gl.h>
#include <cstdint>

struct TEX_unit_cache {
    int32_t name[16]; // bound texture name per unit, -1 unknown
    int32_t mode[16]; // texture-environment mode per unit, -1 unknown
};

extern TEX_unit_cache gTexUnitCache;

// The grey placeholder's texture name, and the one name the "perf/kill_tex" switch leaves alone.
const unsigned TEX_PLACEHOLDER_NAME = 3;
const unsigned TEX_KILL_TEX_SPARED = 1020;

// Environment modes: 0 is GL_MODULATE, 33 leaves the unit's environment alone, 1-6 and 14-32
// are combiner recipes (with the combine extension), anything else is set as GL_TEXTURE_ENV_MODE.
const int TEX_MODE_KEEP = 33;

// Binds name on the unit (0 to 15 cached; from 16 up bound without the cache; a negative unit is
// ignored) and sets the unit's environment; leaves unit 0 active. target is GL_TEXTURE_2D or
// GL_TEXTURE_3D.
void TEX_bind_unit(unsigned name, int unit, int mode, GLenum target);

// Forgets both tables, so the next binding on any unit reaches OpenGL.
void TEX_reset_bind_cache();
