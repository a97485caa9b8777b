// Driver detection: the capability record, the entry points, the capability log, the vendor
// workarounds, the capability switches and the driver alerts (see OGL_extensions.h).
#include "graphics/OGL_extensions.h"

#include "foundation/alert.h"
#include "foundation/log.h"
#include "foundation/options.h"
#include "foundation/pref.h"
#include "foundation/translation.h"
#include "foundation/tunables.h"
#include "platform/plat_window.h"

#include <climits>
#include <cstring>
#include <string>

OGL_caps gCaps;
OGL_settings gGLSettings;

namespace corvane {
#define OGL_DEFINE_GLOBAL_PROC(group, source, type, name) type name = nullptr;
OGL_GLOBAL_PROCS(OGL_DEFINE_GLOBAL_PROC)
#undef OGL_DEFINE_GLOBAL_PROC
} // namespace corvane

// Registered for the tools that list tunables; nothing reads it.
static TunableRec sFlushPerFrame("fbo/flush_per_frame", 2, (int32_t)0);

// Addresses the user is sent to by the driver alerts.
static const char* const kSupportWeb = "www.corvane-sim.com/support";
static const char* const kSupportMail = "support@corvane-sim.com";
static const char* const kProductWeb = "www.corvane-sim.com";
static const char* const kAtiWeb = "www.amd.com/support";
static const char* const kNvidiaWeb = "www.nvidia.com/drivers";

// ---- the driver ----

static const GLubyte* real_get_string(GLenum name)
{
    return glGetString(name);
}

static void real_get_integer(GLenum name, GLint* out)
{
    glGetIntegerv(name, out);
}

static void real_get_float(GLenum name, GLfloat* out)
{
    glGetFloatv(name, out);
}

OGL_driver_calls gOGLDriver = {real_get_string, real_get_integer, real_get_float, PLAT_gl_get_proc_address};

// A driver text, "" where the driver gives none.
static const char* driver_text(GLenum name)
{
    const GLubyte* t = gOGLDriver.get_string(name);
    return t ? (const char*)t : "";
}

// ---- version number ----

// Reads an int as "%d" does (blanks, one sign, at least one digit), saturating instead of
// overflowing; moves p past it.
static bool scan_int(const char*& p, long long& out)
{
    const char* s = p;
    while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
    bool negative = false;
    if (*s == '+' || *s == '-') negative = *s++ == '-';
    if (*s < '0' || *s > '9') return false;
    long long v = 0;
    for (; *s >= '0' && *s <= '9'; ++s)
        if (v < 1000000000LL) v = v * 10 + (*s - '0');
    out = negative ? -v : v;
    p = s;
    return true;
}

int OGL_parse_version(const char* text)
{
    if (!text) text = "";
    const char* p = text;
    long long major = 0, minor = 0;
    if (scan_int(p, major) && *p == '.') {
        ++p;
        if (scan_int(p, minor)) {
            long long v = 100 * major + 10 * minor;
            if (v > INT_MAX) v = INT_MAX;
            if (v < INT_MIN) v = INT_MIN;
            return (int)v;
        }
    }
    static const struct {
        const char* text;
        int version;
    } kKnown[] = {{"1.1", 110}, {"1.2", 120}, {"1.3", 130}, {"1.4", 140}, {"1.5", 150}, {"2.0", 200}, {"2.1", 210}};
    for (const auto& k : kKnown)
        if (strncmp(text, k.text, 3) == 0) return k.version;
    return 100;
}

// ---- entry points ----

namespace {

// What defines each spelling of the names of one source: the ARB-suffixed name, the
// EXT-suffixed name, and the bare name (from a core version, or from extensions that bring the
// bare names).
struct source_rule {
    const char* arb;
    const char* ext;
    int core;
    const char* bare_ext1;
    const char* bare_ext2;
};

source_rule rule_of(int source)
{
    switch (source) {
    case OGL_SRC_VBO: return {"GL_ARB_vertex_buffer_object", nullptr, 150, nullptr, nullptr};
    case OGL_SRC_VPROG: return {"GL_ARB_vertex_program", nullptr, 200, nullptr, nullptr};
    // The program-object names of the assembly programs have no core twins (the core names of
    // the same spelling, glGetProgramiv and glIsProgram, do other things).
    case OGL_SRC_VPROG_ONLY: return {"GL_ARB_vertex_program", nullptr, 0, nullptr, nullptr};
    case OGL_SRC_MULTITEX: return {"GL_ARB_multitexture", nullptr, 130, nullptr, nullptr};
    case OGL_SRC_CORE12: return {nullptr, nullptr, 120, nullptr, nullptr};
    case OGL_SRC_QUERY: return {"GL_ARB_occlusion_query", nullptr, 150, nullptr, nullptr};
    case OGL_SRC_SHOBJ: return {"GL_ARB_shader_objects", nullptr, 200, nullptr, nullptr};
    case OGL_SRC_SHOBJ_ONLY: return {"GL_ARB_shader_objects", nullptr, 0, nullptr, nullptr};
    case OGL_SRC_GEOM:
        return {"GL_ARB_geometry_shader4", "GL_EXT_geometry_shader4", 410, "GL_ARB_get_program_binary",
                "GL_ARB_separate_shader_objects"};
    case OGL_SRC_BUNIF: return {nullptr, "GL_EXT_bindable_uniform", 0, nullptr, nullptr};
    case OGL_SRC_VSHADER: return {"GL_ARB_vertex_shader", nullptr, 200, nullptr, nullptr};
    case OGL_SRC_FBO: return {nullptr, "GL_EXT_framebuffer_object", 300, "GL_ARB_framebuffer_object", nullptr};
    case OGL_SRC_BLIT: return {nullptr, "GL_EXT_framebuffer_blit", 300, "GL_ARB_framebuffer_object", nullptr};
    case OGL_SRC_TEXCOMP: return {"GL_ARB_texture_compression", nullptr, 130, nullptr, nullptr};
    case OGL_SRC_BLENDEQ: return {nullptr, "GL_EXT_blend_equation_separate", 200, nullptr, nullptr};
    case OGL_SRC_DRAWBUF: return {"GL_ARB_draw_buffers", nullptr, 200, nullptr, nullptr};
    case OGL_SRC_DRAWBUF2: return {nullptr, "GL_EXT_draw_buffers2", 0, nullptr, nullptr};
    case OGL_SRC_BLENDFUNC: return {nullptr, "GL_EXT_blend_func_separate", 140, nullptr, nullptr};
    case OGL_SRC_GPUSH4: return {nullptr, "GL_EXT_gpu_shader4", 300, nullptr, nullptr};
    case OGL_SRC_DRAWINST: return {"GL_ARB_draw_instanced", nullptr, 310, nullptr, nullptr};
    case OGL_SRC_DIVISOR: return {"GL_ARB_instanced_arrays", nullptr, 330, nullptr, nullptr};
    case OGL_SRC_STENCIL2: return {nullptr, "GL_EXT_stencil_two_side", 0, nullptr, nullptr};
    case OGL_SRC_CORE20: return {nullptr, nullptr, 200, nullptr, nullptr};
    default: return {nullptr, nullptr, 0, nullptr, nullptr};
    }
}

struct proc_entry {
    int group;
    int source;
    const char* name;
    void (*store)(OGL_caps& caps, void* address);
};

#define OGL_CAPS_ENTRY(g, s, type, n) {g, s, #n, [](OGL_caps& c, void* p) { c.n = reinterpret_cast<type>(p); }},
#define OGL_GLOBAL_ENTRY(g, s, type, n) {g, s, #n, [](OGL_caps&, void* p) { corvane::n = reinterpret_cast<type>(p); }},
const proc_entry kProcs[] = {OGL_CAPS_PROCS(OGL_CAPS_ENTRY) OGL_GLOBAL_PROCS(OGL_GLOBAL_ENTRY)};
#undef OGL_CAPS_ENTRY
#undef OGL_GLOBAL_ENTRY

enum { form_arb, form_ext, form_bare };

bool ends_with(const char* s, size_t n, const char* suffix)
{
    return n >= 3 && strcmp(s + n - 3, suffix) == 0;
}

// The name as a whole word of the space-separated list.
bool ext_listed(const char* list, const char* name)
{
    if (!list || !name) return false;
    const size_t n = strlen(name);
    for (const char* p = strstr(list, name); p; p = strstr(p + 1, name)) {
        const bool starts = p == list || p[-1] == ' ';
        const bool ends = p[n] == 0 || p[n] == ' ';
        if (starts && ends) return true;
    }
    return false;
}

// What detection read from the driver, for judging look-ups; before detection the current
// context is asked on the spot.
int sDetectedVersion = -1;

} // namespace

int OGL_proc_covered(const char* name, int version, const char* extensions)
{
    if (!name) return 0;
    if (!extensions) extensions = "";
    const size_t len = strlen(name);
    for (const proc_entry& e : kProcs) {
        const size_t n = strlen(e.name);
        const bool arb = ends_with(e.name, n, "ARB"), ext = ends_with(e.name, n, "EXT");
        int form = -1;
        if (len == n && strcmp(name, e.name) == 0)
            form = arb ? form_arb : ext ? form_ext : form_bare;
        else if (ext && len == n && strncmp(name, e.name, n - 3) == 0 && strcmp(name + n - 3, "ARB") == 0)
            form = form_arb;
        else if ((arb || ext) && len == n - 3 && strncmp(name, e.name, len) == 0)
            form = form_bare;
        if (form < 0) continue;
        const source_rule r = rule_of(e.source);
        bool covered = false;
        if (form == form_arb) covered = r.arb && ext_listed(extensions, r.arb);
        if (form == form_ext) covered = r.ext && ext_listed(extensions, r.ext);
        if (form == form_bare)
            covered = (r.core && version >= r.core) || ext_listed(extensions, r.bare_ext1) ||
                      ext_listed(extensions, r.bare_ext2);
        if (covered) return 1;
    }
    return 0;
}

void* OGL_get_proc(const char* name)
{
    if (!name) return nullptr;
    int version;
    const char* extensions;
    if (sDetectedVersion >= 0 && gGLSettings.gl_extensions) {
        version = sDetectedVersion;
        extensions = gGLSettings.gl_extensions;
    } else {
        version = OGL_parse_version(driver_text(GL_VERSION));
        extensions = driver_text(GL_EXTENSIONS);
    }
    auto look_up = [&](const std::string& n) -> void* {
        if (!OGL_proc_covered(n.c_str(), version, extensions)) return nullptr;
        return gOGLDriver.get_proc(n.c_str());
    };
    const std::string s = name;
    const size_t n = s.size();
    const bool ext = ends_with(name, n, "EXT"), arb = ends_with(name, n, "ARB");
    void* p = nullptr;
    if (ext && (p = look_up(s.substr(0, n - 3) + "ARB"))) return p;
    if ((p = look_up(s))) return p;
    if (ext || arb) return look_up(s.substr(0, n - 3));
    return nullptr;
}

// ---- detection ----

OGL_caps::OGL_caps()
{
#define OGL_CLEAR_GLOBAL_PROC(group, source, type, name) corvane::name = nullptr;
    OGL_GLOBAL_PROCS(OGL_CLEAR_GLOBAL_PROC)
#undef OGL_CLEAR_GLOBAL_PROC
}

void OGL_caps::OGL_setup_failed_alert()
{
    if (!threaded_avail) return;
    threaded_avail = 0;
    MACIBM_alert(0, LANG_translate("There was a problem setting up OpenGL."),
                 LANG_translate("You can still fly, but you may experience pauses during flight while scenery loads."), "",
                 LANG_translate("(Please send your log.txt file to Veltrano for debugging purposes.)"), t_note,
                 "OGL_extensions", 931);
}

static int* group_flag(OGL_caps& c, int group)
{
    switch (group) {
    case 1: return &c.vbo_avail;
    case 2: return &c.vprog_avail;
    case 4: return &c.occlude_avail;
    case 5: return &c.shad_objs_avail;
    case 6: return &c.gshader_avail;
    case 7: return &c.buniform_avail;
    case 8: return &c.vshader_avail;
    case 9: return &c.framebuf_avail;
    case 10: return &c.frameblit_avail;
    case 11: return &c.tex_comp_avail;
    case 12: return &c.sblende_avail;
    case 13: return &c.drawbuf_avail;
    case 14: return &c.drawbuf2_avail;
    case 15: return &c.sblendf_avail;
    case 16: return &c.gpu_shad4_avail;
    case 17: return &c.instance_avail;
    case 18: return &c.two_side_stencil;
    case 19: return &c.sep_stencil;
    default: return nullptr; // group 3 guards no flag
    }
}

// Looks up one group of entry points unless its flag is already clear; a missing name is logged
// and clears the flag, and the rest of the group is still looked up.
static void load_group(OGL_caps& c, int group)
{
    int* flag = group_flag(c, group);
    if (flag && !*flag) return;
    // The instancing group keeps the divisor first among its fields but looks it up last.
    for (int divisor_pass = 0; divisor_pass < 2; ++divisor_pass)
        for (const proc_entry& e : kProcs) {
            if (e.group != group || (e.source == OGL_SRC_DIVISOR) != (divisor_pass == 1)) continue;
            void* p = OGL_get_proc(e.name);
            e.store(c, p);
            if (p) continue;
            gLog << "WARNING: extension missing proc " << e.name << ".  This is a problem with your video driver.\n";
            if (flag) *flag = 0;
        }
}

static int flag(bool b)
{
    return b ? 1 : 0;
}

void OGL_caps::OGL_init_extensions()
{
    OGL_settings& s = gGLSettings;

    // 1, 2: the driver's texts and its version number.
    s.gl_vendor = driver_text(GL_VENDOR);
    s.gl_renderer = driver_text(GL_RENDERER);
    s.gl_version = driver_text(GL_VERSION);
    s.gl_extensions = driver_text(GL_EXTENSIONS);
    const int version = OGL_parse_version(s.gl_version);
    sDetectedVersion = version;
    // A plain substring search, as the flags have always been decided.
    auto has = [&](const char* e) { return strstr(s.gl_extensions, e) != nullptr; };

    // 3: the flags by their rules.
    multitex_avail = flag(version >= 130 || has("GL_ARB_multitexture"));
    tex_clamp_avail = flag(version >= 120 || has("GL_EXT_texture_edge_clamp") || has("GL_SGIS_texture_edge_clamp"));
    add_env_avail = flag(version >= 130 || has("GL_ARB_texture_env_add") || has("GL_EXT_texture_env_add"));
    combine_avail = flag(version >= 130 || has("GL_ARB_texture_env_combine") || has("GL_EXT_texture_env_combine"));
    dis_fog_avail = flag(has("GL_NV_fog_distance"));
    instance_avail = flag(version >= 400 || has("GL_ARB_instanced_arrays"));
    two_side_stencil = flag(has("GL_EXT_stencil_two_side"));
    sep_stencil = flag(version >= 200);
    tex_comp_avail = flag(version >= 130 || has("GL_ARB_texture_compression"));
    vbo_avail = flag(version >= 150 || has("GL_ARB_vertex_buffer_object"));
    pbo_avail = flag(version >= 210 || has("GL_ARB_pixel_buffer_object"));
    vprog_avail = flag(has("GL_ARB_vertex_program"));
    fprog_avail = flag(has("GL_ARB_fragment_program"));
    automini_avail = flag(version >= 140 || has("GL_SGIS_generate_mipmap"));
    aniso_avail = flag(has("GL_EXT_texture_filter_anisotropic"));
    fsaa_avail = flag(version >= 130 || has("GL_ARB_multisample"));
    sprites_avail = flag(version >= 200 || has("GL_ARB_point_sprite"));
    depth_tex_avail = flag(version >= 140 || (has("GL_ARB_depth_texture") && has("GL_ARB_shadow")));
    occlude_avail = flag(version >= 150 || has("GL_ARB_occlusion_query"));
    shad_objs_avail = flag(version >= 200 || has("GL_ARB_shader_objects"));
    vshader_avail = flag(version >= 200 || has("GL_ARB_vertex_shader"));
    fshader_avail = flag(version >= 200 || has("GL_ARB_fragment_shader"));
    gshader_avail = flag(version >= 320 || has("GL_ARB_geometry_shader4") || has("GL_EXT_geometry_shader4"));
    buniform_avail = flag(has("GL_EXT_bindable_uniform"));
    glsl_avail = flag(version >= 200 || has("GL_ARB_shading_language_100"));
    shad_lod_avail = flag(version >= 300 || has("GL_ARB_shader_texture_lod"));
    gpu_shad4_avail = flag(has("GL_EXT_gpu_shader4"));
    framebuf_avail = flag(version >= 300 || has("GL_EXT_framebuffer_object") || has("GL_ARB_framebuffer_object"));
    frameblit_avail = flag(version >= 300 || has("GL_EXT_framebuffer_blit") || has("GL_ARB_framebuffer_object"));
    sblendf_avail = flag(version >= 140 || has("GL_EXT_blend_func_separate"));
    sblende_avail = flag(version >= 200 || has("GL_EXT_blend_equation_separate"));
    drawbuf_avail = flag(version >= 200 || has("GL_ARB_draw_buffers"));
    drawbuf2_avail = flag(version >= 300 || has("GL_EXT_draw_buffers2"));
    packed_stencil = flag(version >= 300 || has("GL_EXT_packed_depth_stencil"));
    texture_rg = flag(version >= 300 || has("GL_ARB_texture_rg"));
    framebuffer_srgb = flag(version >= 300 || has("GL_ARB_framebuffer_sRGB") || has("GL_EXT_framebuffer_sRGB"));
    tex_float_avail = flag(version >= 300 || has("GL_ARB_texture_float"));
    non_pots_avail = flag(version >= 200 || has("GL_ARB_texture_non_power_of_two"));

    // 4: vendor workarounds.
    const bool no_workaround = CMDLINE_has_option("--no_workaround");
    if (vbo_avail && strcmp(s.gl_vendor, "Intel") == 0 && !no_workaround && !CMDLINE_has_option("--use_vbos")) {
        gLog << "Disabling VBOs for Intel hardware.\n";
        vbo_avail = 0;
    }
    if (glsl_avail && strcmp(s.gl_vendor, "3Dlabs") == 0 && strcmp(s.gl_renderer, "Wildcat Realizm") == 0 &&
        !no_workaround && !CMDLINE_has_option("--use_glsl")) {
        gLog << "Disabling GLSL for Wildcat Realizm drivers.\n";
        glsl_avail = 0;
    }
    if (glsl_avail && strstr(s.gl_vendor, "NVIDIA") && !has("GL_NV_fragment_program2")) first_gen_shaders = 1;

    // 5: the entry points; pixel buffers need the buffer-object calls.
    load_group(*this, 1);
    if (pbo_avail && !vbo_avail) {
        gLog << "Disabling PBOs because VBOs are not available.  This probably means that VBOs are disabled for "
                "compatibility reasons.\n";
        pbo_avail = 0;
    }
    for (int g = 2; g <= 19; ++g) load_group(*this, g);

    // 6: what depends on what.
    if (fprog_avail && !vprog_avail) fprog_avail = 0;
    if (fshader_avail && !shad_objs_avail) fshader_avail = 0;
    if (vshader_avail && !shad_objs_avail) vshader_avail = 0;
    if (gshader_avail && !shad_objs_avail) gshader_avail = 0;
    if (glsl_avail && !vshader_avail) glsl_avail = 0;
    if (glsl_avail && !fshader_avail) glsl_avail = 0;

    // 7: the programs' native limits.
    GLint fp_native = 0, fp_alu = 0, fp_tex = 0, fp_indirect = 0, vp_native = 0;
    if (fprog_avail) {
        if (glGetProgramivARB) {
            glGetProgramivARB(GL_FRAGMENT_PROGRAM_ARB, GL_MAX_PROGRAM_NATIVE_INSTRUCTIONS_ARB, &fp_native);
            glGetProgramivARB(GL_FRAGMENT_PROGRAM_ARB, GL_MAX_PROGRAM_NATIVE_ALU_INSTRUCTIONS_ARB, &fp_alu);
            glGetProgramivARB(GL_FRAGMENT_PROGRAM_ARB, GL_MAX_PROGRAM_NATIVE_TEX_INSTRUCTIONS_ARB, &fp_tex);
            glGetProgramivARB(GL_FRAGMENT_PROGRAM_ARB, GL_MAX_PROGRAM_NATIVE_TEX_INDIRECTIONS_ARB, &fp_indirect);
        }
        if (fp_native == 0 && !CMDLINE_has_option("--use_fprogs")) fprog_avail = 0;
        if (fp_native < 100) first_gen_shaders = 1;
    }
    if (vprog_avail) {
        if (glGetProgramivARB)
            glGetProgramivARB(GL_VERTEX_PROGRAM_ARB, GL_MAX_PROGRAM_NATIVE_INSTRUCTIONS_ARB, &vp_native);
        if (vp_native == 0 && !CMDLINE_has_option("--use_vprogs")) vprog_avail = 0;
    }

    // 8: the shader limits for the log, and the shading language's version.
    GLint v_attribs = 0, v_uniforms = 0, varyings = 0, combined_units = 0, v_tex_units = 0, f_uniforms = 0;
    if (vshader_avail) {
        gOGLDriver.get_integer(GL_MAX_VERTEX_ATTRIBS_ARB, &v_attribs);
        gOGLDriver.get_integer(GL_MAX_VERTEX_UNIFORM_COMPONENTS_ARB, &v_uniforms);
        gOGLDriver.get_integer(GL_MAX_VARYING_FLOATS_ARB, &varyings);
        gOGLDriver.get_integer(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS_ARB, &combined_units);
        gOGLDriver.get_integer(GL_MAX_VERTEX_TEXTURE_IMAGE_UNITS_ARB, &v_tex_units);
    }
    if (fshader_avail) gOGLDriver.get_integer(GL_MAX_FRAGMENT_UNIFORM_COMPONENTS_ARB, &f_uniforms);
    glsl_version = 0;
    std::string glsl_text = "n/a";
    if (glsl_avail) {
        glsl_version = 100;
        const GLubyte* t = gOGLDriver.get_string(GL_SHADING_LANGUAGE_VERSION_ARB);
        if (!t) {
            glsl_text = "<null string>";
        } else {
            glsl_text = (const char*)t;
            if (glsl_text.compare(0, 4, "1.10") == 0) glsl_version = 110;
            if (glsl_text.compare(0, 4, "1.20") == 0) glsl_version = 120;
        }
    }

    // 9: the limits.
    s.max_tex_units = 0;
    s.max_aniso = 1.0f;
    gOGLDriver.get_integer(GL_MAX_TEXTURE_UNITS, &s.max_tex_units);
    s.max_tex_image_units = s.max_tex_units;
    if (fprog_avail) {
        s.max_tex_image_units = 0;
        gOGLDriver.get_integer(GL_MAX_TEXTURE_IMAGE_UNITS_ARB, &s.max_tex_image_units);
    }
    s.max_tex_coords = s.max_tex_units;
    if (vprog_avail) {
        s.max_tex_coords = 0;
        gOGLDriver.get_integer(GL_MAX_TEXTURE_COORDS_ARB, &s.max_tex_coords);
    }
    if (aniso_avail) gOGLDriver.get_float(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &s.max_aniso);
    max_tex_size = 0;
    gOGLDriver.get_integer(GL_MAX_TEXTURE_SIZE, &max_tex_size);
    GLfloat point_sizes[2] = {0.0f, 0.0f};
    gOGLDriver.get_float(GL_POINT_SIZE_RANGE, point_sizes);
    if (s.max_tex_units == 0) s.max_tex_units = 1;
    // Used as given; the per-unit tables bound it themselves.
    if (CMDLINE_has_option("--num_units")) s.max_tex_units = PREF_parse_int(CMDLINE_get_option("--num_units"));

    // 10: the capability switches, in this order, so that the later of two opposites wins.
    if (CMDLINE_has_option("--limited_glsl")) first_gen_shaders = 1;
    if (CMDLINE_has_option("--unlimited_glsl")) first_gen_shaders = 0;
    if (CMDLINE_has_option("--no_vbos")) vbo_avail = pbo_avail = 0;
    if (CMDLINE_has_option("--no_pbos")) pbo_avail = 0;
    if (CMDLINE_has_option("--no_sprites")) sprites_avail = 0;
    if (CMDLINE_has_option("--no_pixel_counters")) occlude_avail = 0;
    if (CMDLINE_has_option("--no_idx_vram")) idx_in_vram = 0;
    if (CMDLINE_has_option("--no_subtex")) subtex_avail = 0;
    if (CMDLINE_has_option("--no_aniso_filtering")) {
        aniso_avail = 0;
        s.max_aniso = 1.0f;
    }
    if (CMDLINE_has_option("--no_hw_mipmap")) automini_avail = 0;
    if (CMDLINE_has_option("--no_vshaders")) vprog_avail = 0;
    if (CMDLINE_has_option("--no_fshaders")) fprog_avail = 0;
    if (CMDLINE_has_option("--no_glsl")) glsl_avail = 0;
    if (CMDLINE_has_option("--no_shader_lod")) shad_lod_avail = 0;
    if (CMDLINE_has_option("--no_gpu_shader4")) gpu_shad4_avail = 0;
    if (CMDLINE_has_option("--use_shader_lod")) shad_lod_avail = 1;
    if (CMDLINE_has_option("--no_fbos")) framebuf_avail = 0;
    if (CMDLINE_has_option("--no_fbo_blit")) frameblit_avail = 0;
    if (CMDLINE_has_option("--no_threaded_ogl")) threaded_avail = 0;
    if (CMDLINE_has_option("--no_sblendf")) sblendf_avail = 0;
    if (CMDLINE_has_option("--no_sblende")) sblende_avail = 0;
    if (CMDLINE_has_option("--no_instancing")) instance_avail = 0;
    if (CMDLINE_has_option("--no_tex_rg")) texture_rg = 0;
    if (CMDLINE_has_option("--no_srgb")) framebuffer_srgb = 0;
    // No worker thread shares the main context in this program.
    threaded_avail = 0;

    // 11: the capability log.
    gLog << "OpenGL Vendor    : " << s.gl_vendor << "\n";
    gLog << "OpenGL Render    : " << s.gl_renderer << "\n";
    gLog << "OpenGL Version   : " << s.gl_version << " (" << version << ")\n";
    gLog << "OpenGL Extensions: " << s.gl_extensions << "\n";
    gLog << "threaded_avail   : " << threaded_avail << "\n";
    gLog << "tex_clamp_avail  : " << tex_clamp_avail << "\n";
    gLog << "add_env_avail    : " << add_env_avail << "\n";
    gLog << "combine_avail    : " << combine_avail << "\n";
    gLog << "dis_fog_avail    : " << dis_fog_avail << "\n";
    gLog << "instance_avail   : " << instance_avail << "\n";
    gLog << "two-sided stencil: " << two_side_stencil << "\n";
    gLog << "separate stencil : " << sep_stencil << "\n";
    gLog << "tex_comp_avail   : " << tex_comp_avail << "\n";
    gLog << "vbo_avail        : " << vbo_avail << "\n";
    gLog << "pbo_avail        : " << pbo_avail << "\n";
    gLog << "automini_avail   : " << automini_avail << "\n";
    gLog << "aniso_avail      : " << aniso_avail << "\n";
    gLog << "fsaa_avail       : " << fsaa_avail << "\n";
    gLog << "occlude_avail    : " << occlude_avail << "\n";
    gLog << "sprites_avail    : " << sprites_avail << "\n";
    gLog << "sblend_avail     : " << sblendf_avail << "/" << sblende_avail << "\n";
    gLog << "vprog_avail      : " << vprog_avail << " (" << vp_native << ")\n";
    gLog << "fprog_avail      : " << fprog_avail << " (" << fp_native << "/" << fp_alu << "/" << fp_tex << "/"
         << fp_indirect << ")\n";
    gLog << "depth_tex_avail  : " << depth_tex_avail << "\n";
    gLog << "shad_objs_avail  : " << shad_objs_avail << "\n";
    gLog << "vshader_avail    : " << vshader_avail << " (" << v_attribs << "/" << v_uniforms << "/" << varyings << "/"
         << combined_units << "/" << v_tex_units << "/" << f_uniforms << ")\n";
    gLog << "fshader_avail    : " << fshader_avail << " (" << f_uniforms << ")\n";
    gLog << "glsl_avail       : " << glsl_avail << " (" << glsl_text << "/" << glsl_version << ")\n";
    gLog << "first-gen shaders: " << first_gen_shaders << "\n";
    gLog << "gshader_avail    : " << gshader_avail << "\n";
    gLog << "buniform_avail   : " << buniform_avail << "\n";
    gLog << "shad_lod_avail   : " << shad_lod_avail << "\n";
    gLog << "gpu_shad4_avail  : " << gpu_shad4_avail << "\n";
    gLog << "framebuf_avail   : " << framebuf_avail << "\n";
    gLog << "frameblit_avail  : " << frameblit_avail << "\n";
    gLog << "drawbuf_avail    : " << drawbuf_avail << "\n";
    gLog << "drawbuf2_avail   : " << drawbuf2_avail << "\n";
    gLog << "tex_float_avail  : " << tex_float_avail << "\n";
    gLog << "non_pots_avail   : " << non_pots_avail << "\n";
    gLog << "packed_stencil   : " << packed_stencil << "\n";
    gLog << "texture_rg       : " << texture_rg << "\n";
    gLog << "framebuffer_srgb : " << framebuffer_srgb << "\n";
    gLog << "max tex units    : " << s.max_tex_units << " (" << s.max_tex_image_units << "/" << s.max_tex_coords << ")\n";
    gLog << "max iso filtering: " << s.max_aniso << "\n";
    gLog << "max texture size : " << max_tex_size << " (hardware limit)\n";
    gLog << "max point size   : " << point_sizes[1] << "\n";
    gLog << "idx in vram      : " << idx_in_vram << "\n";

    // 12: shaders may sample from every image unit.
    if (glsl_avail && s.max_tex_image_units > s.max_tex_units) s.max_tex_units = s.max_tex_image_units;

    // 13.
    gLog << "use_vsync1       : " << s.use_vsync1 << "\n";
    gLog << "use_vsync2       : " << s.use_vsync2 << "\n";
    gLog.flush();

    // 14: drivers that cannot run the program; the last problem found is the one shown.
    std::string problem;
    if (strcmp(s.gl_renderer, "GDI Generic") == 0) problem = LANG_translate("You do not have OpenGL drivers installed!");
    if (!multitex_avail && version < 121)
        problem = LANG_translate("Your graphics hardware cannot support Corvane. Corvane requires a graphics card with "
                                 "16 MB of VRAM and multitexturing.");
    if (!problem.empty()) {
        if (CMDLINE_has_option("--force_run"))
            MACIBM_alert(0, problem, LANG_translate("Your system does not meet Corvane's hardware requirements."),
                         LANG_translate("You have used the force-run command inline option to run Corvane anyway, but "
                                        "it may crash."),
                         LANG_substitute_1(LANG_translate("Go to %1:url% for system requirements and tech support "
                                                          "information."),
                                           kSupportWeb),
                         t_note, "OGL_extensions", 882);
        else
            MACIBM_alert(0, problem, LANG_translate("First, try updating or re-installing your graphics drivers."),
                         LANG_translate("If this does not help, check your graphics card specifications."),
                         LANG_substitute_1(LANG_translate("For tech support, email %1:email%"), kSupportMail), t_fatal,
                         "OGL_extensions", 882);
    }

    // Software renderers run, slowly.
    if (strcmp(s.gl_renderer, "GENERIC") == 0 || strcmp(s.gl_renderer, "Generic") == 0 ||
        strcmp(s.gl_renderer, "generic") == 0 || strcmp(s.gl_renderer, "Mesa GLX Indirect") == 0)
        MACIBM_alert(0,
                     LANG_translate("I can not find a 3-D accelerator card that can handle OpenGL that has correctly "
                                    "installed drivers."),
                     LANG_translate("I will still let you run the simulator, but the frame rate will NOT allow for a good "
                                    "simulation."),
                     LANG_translate("For you to fly realistically, you must use Corvane version Rozerir, or get a 3-D "
                                    "accelerator card that can handle OpenGL."),
                     LANG_substitute_1(LANG_translate("See %1:url% for a list of the currently-compatible 3-D video "
                                                      "cards."),
                                       kProductWeb),
                     t_note, "OGL_extensions", 895);

    // Old drivers of shader cards: GLSL stays off (after the log, which still shows it on).
    if (strcmp(s.gl_vendor, "ATI Technologies Inc.") == 0 && version == 150 && glsl_avail) {
        MACIBM_alert(0,
                     LANG_translate("You have a newer ATI graphics card with pixel shaders, but you do not have new "
                                    "drivers."),
                     LANG_translate("Corvane may run slower, crash, or show artifacts if you do not update your drivers."),
                     "",
                     LANG_substitute_1(LANG_translate("Please go to %1:url% and download the latest drivers for your "
                                                      "graphics card!"),
                                       kAtiWeb),
                     t_note, "OGL_extensions", 909);
        glsl_avail = 0;
    }
    if (strcmp(s.gl_vendor, "NVIDIA Corporation") == 0 && version == 150 && glsl_avail) {
        MACIBM_alert(0,
                     LANG_translate("You have a newer nVidia graphics card with pixel shaders, but you do not have new "
                                    "drivers."),
                     LANG_translate("Corvane may run slower, crash, or show artifacts if you do not update your drivers."),
                     "",
                     LANG_substitute_1(LANG_translate("Please go to %1:url% an download the latest drivers for your "
                                                      "graphics card!"),
                                       kNvidiaWeb),
                     t_note, "OGL_extensions", 919);
        glsl_avail = 0;
    }
}
