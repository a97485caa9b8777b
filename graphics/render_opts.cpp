// The render options (see render_opts.h). Nothing changes them after the reset; the tunable
// registry only offers them by name.
#include "graphics/render_opts.h"

#include "foundation/tunables.h"

#include <cmath>

#define RENO_INT(field) static TunableRec sReno_##field(&gGLSettings.field, "reno/" #field, 5);

// Registration order is the order the registry shows them in.
RENO_INT(draw_for_05)
static TunableRec sReno_LOD_bias_rat(&gGLSettings.LOD_bias_rat, "reno/LOD_bias_rat", 5);
RENO_INT(draw_objs_06)
RENO_INT(draw_vecs_03)
RENO_INT(draw_detail_apt_03)
RENO_INT(draw_cars_05)
RENO_INT(draw_planet)
RENO_INT(draw_view_ind)
RENO_INT(draw_gload)
RENO_INT(aniso_filter)
RENO_INT(comp_texes)
RENO_INT(sloped_runways)
RENO_INT(diff_FOV)
RENO_INT(master_view_setting)
RENO_INT(draw_reflect_water05)
RENO_INT(draw_volume_fog01)
RENO_INT(draw_per_pix_liting)
RENO_INT(draw_HDR)
RENO_INT(draw_scattering)
RENO_INT(draw_water3d)
RENO_INT(draw_fft_water)
RENO_INT(use_bump_maps)
RENO_INT(use_detail_textures)

#undef RENO_INT

void OGL_settings::RENO_reset_options()
{
    // The shader-dependent options need real GLSL hardware, not the first generation of it.
    const int shaders = gCaps.glsl_avail && !gCaps.first_gen_shaders ? 1 : 0;
    // Truncated toward zero; a NaN or negative driver answer gives no anisotropy.
    float aniso = std::trunc(max_aniso);
    aniso_filter = aniso >= 4.0f ? 4 : (aniso >= 1.0f ? (int)aniso : 0);
    draw_for_05 = 1;
    LOD_bias_rat = 1.0f;
    draw_objs_06 = 1;
    draw_vecs_03 = 1;
    draw_detail_apt_03 = shaders;
    draw_cars_05 = 0;
    draw_planet = 1;
    draw_view_ind = 1;
    draw_gload = 1;
    comp_texes = 1;
    sloped_runways = 1;
    draw_reflect_water05 = 0;
    draw_volume_fog01 = shaders;
    draw_per_pix_liting = shaders;
    draw_HDR = 0;
    draw_scattering = 0;
    draw_water3d = 0;
    draw_fft_water = 0;
    use_bump_maps = 1;
    use_detail_textures = 1;
}
