// Texture-unit binding cache and the combiner recipes of the environment modes (see TEX_units.h).
#include "graphics/TEX_units.h"

#include "foundation/tunables.h"
#include "graphics/OGL_extensions.h"

TEX_unit_cache gTexUnitCache = {
    {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
};

// Debugging switch: non-zero draws every texture but the interface sheet as the grey placeholder.
float gPerfKillTex = 0.0f;
static TunableRec sKillTex(&gPerfKillTex, "perf/kill_tex", 5);

void TEX_reset_bind_cache()
{
    for (int i = 0; i < 16; ++i) {
        gTexUnitCache.name[i] = -1;
        gTexUnitCache.mode[i] = -1;
    }
}

// One combiner argument: source and operand.
struct TEX_arg {
    GLenum source, operand;
};

struct TEX_recipe {
    int mode;
    GLenum rgb_func;
    int rgb_args;
    TEX_arg rgb[3];
    GLenum alpha_func;
    int alpha_args;
    TEX_arg alpha[3];
    int set_color;
    GLfloat color[4];
    GLfloat rgb_scale, alpha_scale; // 0 leaves the scale at 1
};

#define P_RGB {GL_PREVIOUS, GL_SRC_COLOR}
#define P_A {GL_PREVIOUS, GL_SRC_ALPHA}
#define P_1A {GL_PREVIOUS, GL_ONE_MINUS_SRC_ALPHA}
#define T_RGB {GL_TEXTURE, GL_SRC_COLOR}
#define T_A {GL_TEXTURE, GL_SRC_ALPHA}
#define K_RGB {GL_CONSTANT, GL_SRC_COLOR}
#define K_A {GL_CONSTANT, GL_SRC_ALPHA}
#define Q_RGB {GL_PRIMARY_COLOR, GL_SRC_COLOR}
#define NONE {0, 0}

static const TEX_recipe kRecipes[] = {
    {1, GL_ADD, 2, {P_RGB, T_RGB, NONE}, GL_REPLACE, 1, {P_A, NONE, NONE}, 0, {}, 0, 0},
    {2, GL_ADD, 2, {P_RGB, T_RGB, NONE}, GL_ADD, 2, {P_A, T_A, NONE}, 0, {}, 0, 0},
    {3, GL_INTERPOLATE, 3, {P_RGB, T_RGB, K_RGB}, GL_REPLACE, 1, {P_A, NONE, NONE}, 0, {}, 0, 0},
    {4, GL_INTERPOLATE, 3, {P_RGB, T_RGB, K_RGB}, GL_INTERPOLATE, 3, {P_A, T_A, K_A}, 0, {}, 0, 0},
    {5, GL_MODULATE, 2, {P_RGB, K_RGB, NONE}, GL_REPLACE, 1, {P_A, NONE, NONE}, 0, {}, 4, 0},
    {6, GL_MODULATE, 2, {P_RGB, K_RGB, NONE}, GL_MODULATE, 2, {P_A, K_A, NONE}, 0, {}, 4, 4},
    {14, GL_MODULATE, 2, {P_RGB, T_RGB, NONE}, GL_REPLACE, 1, {T_A, NONE, NONE}, 0, {}, 0, 1},
    {15, GL_REPLACE, 1, {P_RGB, NONE, NONE}, GL_SUBTRACT, 2, {T_A, P_A, NONE}, 0, {}, 0, 4},
    {16, GL_REPLACE, 1, {P_RGB, NONE, NONE}, GL_MODULATE, 2, {P_1A, T_A, NONE}, 0, {}, 0, 0},
    {17, GL_MODULATE, 2, {P_RGB, P_1A, NONE}, GL_REPLACE, 1, {K_A, NONE, NONE}, 1, {1, 1, 1, 1}, 0, 0},
    {18, GL_REPLACE, 1, {P_RGB, NONE, NONE}, GL_REPLACE, 1, {P_A, NONE, NONE}, 0, {}, 0, 0},
    {19, GL_REPLACE, 1, {P_RGB, NONE, NONE}, GL_REPLACE, 1, {K_A, NONE, NONE}, 1, {1, 1, 1, 1}, 0, 0},
    {20, GL_MODULATE, 2, {P_RGB, T_RGB, NONE}, GL_REPLACE, 1, {K_A, NONE, NONE}, 1, {1, 1, 1, 1}, 0, 0},
    {21, GL_MODULATE, 2, {P_RGB, T_RGB, NONE}, GL_REPLACE, 1, {P_A, NONE, NONE}, 0, {}, 0, 1},
    {22, GL_REPLACE, 1, {T_A, NONE, NONE}, GL_REPLACE, 1, {K_A, NONE, NONE}, 1, {1, 1, 1, 1}, 0, 0},
    {23, GL_REPLACE, 1, {P_RGB, NONE, NONE}, GL_REPLACE, 1, {T_A, NONE, NONE}, 0, {}, 0, 0},
    {24, GL_INTERPOLATE, 3, {T_RGB, P_RGB, T_A}, GL_REPLACE, 1, {P_A, NONE, NONE}, 0, {}, 0, 0},
    {25, GL_INTERPOLATE, 3, {T_RGB, P_RGB, P_A}, GL_REPLACE, 1, {P_A, NONE, NONE}, 0, {}, 0, 0},
    {26, GL_MODULATE, 2, {P_RGB, T_A, NONE}, GL_REPLACE, 1, {P_A, NONE, NONE}, 0, {}, 0, 0},
    {27, GL_INTERPOLATE, 3, {T_RGB, P_RGB, K_RGB}, GL_INTERPOLATE, 3, {T_A, P_A, K_A}, 0, {}, 0, 0},
    {28, GL_INTERPOLATE, 3, {T_RGB, K_RGB, T_A}, GL_REPLACE, 1, {P_A, NONE, NONE}, 0, {}, 0, 0},
    {29, GL_MODULATE, 2, {P_RGB, Q_RGB, NONE}, GL_REPLACE, 1, {P_A, NONE, NONE}, 0, {}, 0, 0},
    {30, GL_MODULATE, 2, {P_RGB, K_RGB, NONE}, GL_MODULATE, 2, {P_A, K_A, NONE}, 0, {}, 0, 0},
    {31, GL_INTERPOLATE, 3, {P_RGB, K_RGB, T_RGB}, GL_REPLACE, 1, {P_A, NONE, NONE}, 1, {0, 0, 0, 0}, 0, 0},
    {32, GL_INTERPOLATE, 3, {Q_RGB, K_RGB, T_RGB}, GL_REPLACE, 1, {T_A, NONE, NONE}, 1, {0, 0, 0, 0}, 0, 0},
};

#undef P_RGB
#undef P_A
#undef P_1A
#undef T_RGB
#undef T_A
#undef K_RGB
#undef K_A
#undef Q_RGB
#undef NONE

static const TEX_recipe* find_recipe(int mode)
{
    for (const TEX_recipe& r : kRecipes)
        if (r.mode == mode) return &r;
    return nullptr;
}

static void apply_recipe(const TEX_recipe& r)
{
    static const GLenum kSrcRgb[3] = {GL_SOURCE0_RGB, GL_SOURCE1_RGB, GL_SOURCE2_RGB};
    static const GLenum kOpRgb[3] = {GL_OPERAND0_RGB, GL_OPERAND1_RGB, GL_OPERAND2_RGB};
    static const GLenum kSrcA[3] = {GL_SOURCE0_ALPHA, GL_SOURCE1_ALPHA, GL_SOURCE2_ALPHA};
    static const GLenum kOpA[3] = {GL_OPERAND0_ALPHA, GL_OPERAND1_ALPHA, GL_OPERAND2_ALPHA};
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, r.rgb_func);
    for (int i = 0; i < r.rgb_args; ++i) {
        glTexEnvi(GL_TEXTURE_ENV, kSrcRgb[i], r.rgb[i].source);
        glTexEnvi(GL_TEXTURE_ENV, kOpRgb[i], r.rgb[i].operand);
    }
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, r.alpha_func);
    for (int i = 0; i < r.alpha_args; ++i) {
        glTexEnvi(GL_TEXTURE_ENV, kSrcA[i], r.alpha[i].source);
        glTexEnvi(GL_TEXTURE_ENV, kOpA[i], r.alpha[i].operand);
    }
    if (r.set_color) glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, r.color);
    if (r.rgb_scale != 0) glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, r.rgb_scale);
    if (r.alpha_scale != 0) glTexEnvf(GL_TEXTURE_ENV, GL_ALPHA_SCALE, r.alpha_scale);
}

static void set_env(int mode)
{
    glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, 1.0f);
    glTexEnvf(GL_TEXTURE_ENV, GL_ALPHA_SCALE, 1.0f);
    const TEX_recipe* r = gCaps.combine_avail ? find_recipe(mode) : nullptr;
    if (r)
        apply_recipe(*r);
    else
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, mode);
}

void TEX_bind_unit(unsigned name, int unit, int mode, GLenum target)
{
    if (unit < 0) return;
    // Without the multi-texture entry point only unit 0 exists.
    if (unit > 0 && !corvane::glActiveTextureARB) return;
    if (mode == 0) mode = GL_MODULATE;
    if (gPerfKillTex != 0.0f && name != TEX_KILL_TEX_SPARED) name = TEX_PLACEHOLDER_NAME;

    if (unit >= 16) {
        corvane::glActiveTextureARB(GL_TEXTURE0 + unit);
        glBindTexture(target, name);
        if (mode != TEX_MODE_KEEP) set_env(mode);
        corvane::glActiveTextureARB(GL_TEXTURE0);
        return;
    }

    if (gTexUnitCache.name[unit] == (int32_t)name && gTexUnitCache.mode[unit] == mode) return;
    if (unit > 0) corvane::glActiveTextureARB(GL_TEXTURE0 + unit);
    if (gTexUnitCache.name[unit] != (int32_t)name) {
        glBindTexture(target, name);
        gTexUnitCache.name[unit] = (int32_t)name;
    }
    if (mode != TEX_MODE_KEEP && mode != gTexUnitCache.mode[unit]) {
        gTexUnitCache.mode[unit] = mode;
        set_env(mode);
    }
    if (unit > 0) corvane::glActiveTextureARB(GL_TEXTURE0);
}
