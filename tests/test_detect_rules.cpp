// Driver detection against a made-up driver, for the drivers that Mesa cannot pretend to be:
// the version parser, which spellings of an entry point count, missing entry points, native
// program limits, texts the driver does not give, and drivers too old for multitexturing.
#include "foundation/options.h"
#include "frame/hl_init.h"
#include "graphics/OGL_extensions.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct fake_driver {
    const char* vendor = "Fake Vendor";
    const char* renderer = "Fake Renderer";
    const char* version = "1.5";
    const char* extensions = "GL_ARB_multitexture";
    const char* glsl = "1.20";
    std::map<GLenum, GLint> ints = {{GL_MAX_TEXTURE_UNITS, 4}, {GL_MAX_TEXTURE_IMAGE_UNITS_ARB, 16},
                                    {GL_MAX_TEXTURE_COORDS_ARB, 8}, {GL_MAX_TEXTURE_SIZE, 4096}};
    GLint fp_native = 500, vp_native = 500;
    std::set<std::string> missing; // entry points the driver does not have
    std::vector<std::string> asked; // every name looked up, in order
} gFake;

const GLubyte* fake_string(GLenum name)
{
    const char* t = nullptr;
    if (name == GL_VENDOR) t = gFake.vendor;
    if (name == GL_RENDERER) t = gFake.renderer;
    if (name == GL_VERSION) t = gFake.version;
    if (name == GL_EXTENSIONS) t = gFake.extensions;
    if (name == GL_SHADING_LANGUAGE_VERSION_ARB) t = gFake.glsl;
    return (const GLubyte*)t;
}

void fake_integer(GLenum name, GLint* out)
{
    auto it = gFake.ints.find(name);
    if (it != gFake.ints.end()) *out = it->second;
}

void fake_float(GLenum name, GLfloat* out)
{
    if (name == GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT) out[0] = 8.0f;
    if (name == GL_POINT_SIZE_RANGE) {
        out[0] = 1.0f;
        out[1] = 64.0f;
    }
}

void APIENTRY fake_program_iv(GLenum target, GLenum pname, GLint* out)
{
    if (pname == GL_MAX_PROGRAM_NATIVE_INSTRUCTIONS_ARB)
        *out = target == GL_FRAGMENT_PROGRAM_ARB ? gFake.fp_native : gFake.vp_native;
    else
        *out = 7;
}

void APIENTRY fake_any()
{
}

void* fake_proc(const char* name)
{
    gFake.asked.push_back(name);
    if (gFake.missing.count(name)) return nullptr;
    if (std::string(name) == "glGetProgramivARB") return (void*)&fake_program_iv;
    return (void*)&fake_any;
}

void use_fake(const fake_driver& d)
{
    gFake = d;
    gOGLDriver = {fake_string, fake_integer, fake_float, fake_proc};
}

// Runs detection on the fake driver in automation mode (alerts only log) and returns the log.
std::string detect(const fake_driver& d, std::vector<std::string> options = {})
{
    use_fake(d);
    gCaps = OGL_caps();
    gGLSettings = OGL_settings();
    gOptions.opts.clear();
    gOptions.opts["--qa_script"] = "";
    for (const std::string& o : options) {
        size_t eq = o.find('=');
        gOptions.opts[o.substr(0, eq)] = eq == std::string::npos ? "" : o.substr(eq + 1);
    }
    std::string path = TS_new_dir("detect") + "log.txt";
    hl_open_log(path);
    gCaps.OGL_init_extensions();
    hl_close_log();
    return TS_read_file(path);
}

const char* kShaderCard = "GL_ARB_multitexture GL_ARB_vertex_program GL_ARB_fragment_program GL_ARB_shader_objects "
                          "GL_ARB_vertex_shader GL_ARB_fragment_shader GL_ARB_shading_language_100";

} // namespace

TEST(DetectRules, VersionNumbers)
{
    EXPECT_EQ(OGL_parse_version("2.1.2 NVIDIA 190.38"), 210);
    EXPECT_EQ(OGL_parse_version("3.2.0"), 320);
    EXPECT_EQ(OGL_parse_version("4.5 (Compatibility Profile) Mesa 22.3.6"), 450);
    EXPECT_EQ(OGL_parse_version("1.10"), 200); // read as 1 and 10
    EXPECT_EQ(OGL_parse_version("1.5 Mesa"), 150);
    EXPECT_EQ(OGL_parse_version(" 1. 4"), 140); // blanks as the "%d" pattern takes them
    EXPECT_EQ(OGL_parse_version("OpenGL 2.0"), 100);
    EXPECT_EQ(OGL_parse_version("2."), 100);
    EXPECT_EQ(OGL_parse_version(""), 100);
    EXPECT_EQ(OGL_parse_version(nullptr), 100);
    EXPECT_EQ(OGL_parse_version("99999999999999.9"), INT_MAX); // no overflow
    EXPECT_EQ(OGL_parse_version("-99999999999999.9"), INT_MIN);
}

TEST(DetectRules, AnEntryPointCountsOnlyWhenTheDriverDefinesItsSpelling)
{
    const char* vbo = "GL_ARB_vertex_buffer_object";
    EXPECT_TRUE(OGL_proc_covered("glBindBufferARB", 100, vbo));
    EXPECT_FALSE(OGL_proc_covered("glBindBufferARB", 450, "GL_ARB_vertex_buffer_object_rgb32")); // whole names only
    EXPECT_TRUE(OGL_proc_covered("glBindBuffer", 150, ""));
    EXPECT_FALSE(OGL_proc_covered("glBindBuffer", 140, vbo));
    EXPECT_FALSE(OGL_proc_covered("glIsRenderbufferARB", 450, "GL_ARB_framebuffer_object")); // no such function
    EXPECT_TRUE(OGL_proc_covered("glIsRenderbufferEXT", 100, "GL_EXT_framebuffer_object"));
    EXPECT_TRUE(OGL_proc_covered("glIsRenderbuffer", 210, "GL_ARB_framebuffer_object"));
    EXPECT_TRUE(OGL_proc_covered("glIsRenderbuffer", 300, ""));
    EXPECT_FALSE(OGL_proc_covered("glGetProgramiv", 450, "")); // another function of that name
    EXPECT_TRUE(OGL_proc_covered("glTexImage3D", 120, ""));
    EXPECT_FALSE(OGL_proc_covered("glTexImage3D", 110, "GL_EXT_texture3D"));
    EXPECT_FALSE(OGL_proc_covered("glColorMaskIndexed", 450, "GL_EXT_draw_buffers2"));
    EXPECT_TRUE(OGL_proc_covered("glVertexAttribDivisor", 330, ""));
    EXPECT_FALSE(OGL_proc_covered("glDrawArraysInstanced", 300, "GL_ARB_instanced_arrays"));
    EXPECT_FALSE(OGL_proc_covered("glFooBarARB", 450, "GL_ARB_foo_bar"));
    EXPECT_FALSE(OGL_proc_covered(nullptr, 450, ""));

    // The look-ups: an EXT name as ARB first, then as given, then bare; only defined spellings
    // reach the driver, and a name it lacks falls through to the next spelling.
    fake_driver d;
    d.version = "1.5";
    d.extensions = "GL_ARB_multitexture GL_ARB_vertex_buffer_object GL_EXT_framebuffer_object";
    d.missing = {"glBindBufferARB"};
    std::string log = detect(d);
    EXPECT_NE(gCaps.glBindBufferARB, nullptr);
    EXPECT_NE(gCaps.glIsRenderbufferEXT, nullptr);
    std::vector<std::string> want = {"glBindBufferARB", "glBindBuffer", "glDeleteBuffersARB"};
    ASSERT_GE(gFake.asked.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(gFake.asked.begin(), gFake.asked.begin() + 3), want);
    for (const std::string& n : gFake.asked) EXPECT_NE(n, "glIsRenderbufferARB");
    EXPECT_EQ(TS_count(log, "WARNING: extension missing proc"), 0) << log;
}

TEST(DetectRules, MissingEntryPointsClearTheirGroupOnly)
{
    fake_driver d;
    d.version = "1.4";
    d.extensions = "GL_ARB_multitexture GL_ARB_occlusion_query";
    d.missing = {"glGenQueriesARB", "glActiveTextureARB", "glActiveTexture"}; // core since 1.3: asked for too
    std::string log = detect(d);
    EXPECT_NE(log.find("WARNING: extension missing proc glActiveTextureARB.  This is a problem with your video "
                       "driver.\nWARNING: extension missing proc glGenQueriesARB.  This is a problem with your video "
                       "driver.\nOpenGL Vendor"),
              std::string::npos)
        << log;
    EXPECT_EQ(TS_count(log, "WARNING: extension missing proc"), 2);
    EXPECT_EQ(TS_value(log, "occlude_avail    : "), "0");
    EXPECT_EQ(gCaps.glGenQueriesARB, nullptr);
    EXPECT_NE(gCaps.glDeleteQueriesARB, nullptr);
    EXPECT_NE(gCaps.glGetQueryObjectuivARB, nullptr);
    EXPECT_EQ(corvane::glActiveTextureARB, nullptr);
    EXPECT_NE(corvane::glClientActiveTextureARB, nullptr);
    EXPECT_EQ(gCaps.multitex_avail, 1);
    // Version 1.4 has no 3D textures of its own, but they are core since 1.2.
    EXPECT_NE(corvane::glTexImage3D, nullptr);
}

TEST(DetectRules, VersionThresholdsAndSubstringExtensions)
{
    fake_driver d;
    d.version = "1.3";
    d.extensions = "GL_ARB_depth_texture GL_ARB_shadow_ambient";
    std::string log = detect(d);
    EXPECT_EQ(gCaps.multitex_avail, 1);
    for (const char* l : {"add_env_avail    : ", "combine_avail    : ", "tex_comp_avail   : ", "fsaa_avail       : ",
                          "depth_tex_avail  : "})
        EXPECT_EQ(TS_value(log, l), "1") << l;
    EXPECT_EQ(TS_value(log, "automini_avail   : "), "0");
    EXPECT_EQ(TS_value(log, "OpenGL Version   : "), "1.3 (130)");
    EXPECT_EQ(TS_value(log, "max iso filtering: "), "1.000000"); // no anisotropic filtering
    EXPECT_EQ(TS_value(log, "max tex units    : "), "4 (4/4)");
    EXPECT_EQ(TS_value(log, "max texture size : "), "4096 (hardware limit)");
    EXPECT_EQ(TS_value(log, "max point size   : "), "64.000000");
    EXPECT_EQ(TS_value(log, "glsl_avail       : "), "0 (n/a/0)");
    EXPECT_EQ(TS_value(log, "threaded_avail   : "), "0");
    EXPECT_EQ(TS_value(log, "idx in vram      : "), "1");

    d.ints[GL_MAX_TEXTURE_UNITS] = 0;
    log = detect(d, {"--use_shader_lod"});
    EXPECT_EQ(TS_value(log, "max tex units    : "), "1 (0/0)");
    EXPECT_EQ(TS_value(log, "shad_lod_avail   : "), "1");
}

TEST(DetectRules, NativeProgramLimitsAndShaderFlags)
{
    fake_driver d;
    d.vendor = "Some Vendor";
    d.extensions = kShaderCard;
    d.fp_native = 64;
    std::string log = detect(d);
    EXPECT_EQ(TS_value(log, "fprog_avail      : "), "1 (64/7/7/7)");
    EXPECT_EQ(TS_value(log, "vprog_avail      : "), "1 (500)");
    EXPECT_EQ(TS_value(log, "first-gen shaders: "), "1");
    EXPECT_EQ(TS_value(log, "glsl_avail       : "), "1 (1.20/120)");
    EXPECT_EQ(TS_value(detect(d, {"--unlimited_glsl"}), "first-gen shaders: "), "0"); // the switches come later

    d.fp_native = 0;
    d.glsl = "1.30";
    log = detect(d);
    EXPECT_EQ(TS_value(log, "fprog_avail      : "), "0 (0/7/7/7)");
    EXPECT_EQ(TS_value(log, "glsl_avail       : "), "1 (1.30/100)");
    log = detect(d, {"--use_fprogs"});
    EXPECT_EQ(TS_value(log, "fprog_avail      : "), "1 (0/7/7/7)");
    EXPECT_EQ(TS_value(log, "first-gen shaders: "), "1");

    // Without vertex programs the fragment programs go too; switching them off afterwards does not.
    d.fp_native = 500;
    d.glsl = nullptr;
    d.missing = {"glIsProgramARB"};
    log = detect(d);
    EXPECT_EQ(TS_value(log, "vprog_avail      : "), "0 (0)");
    EXPECT_EQ(TS_value(log, "fprog_avail      : "), "0 (0/0/0/0)");
    EXPECT_EQ(TS_value(log, "glsl_avail       : "), "1 (<null string>/100)");
    d.missing.clear();
    log = detect(d, {"--no_vshaders", "--num_units=2"});
    EXPECT_EQ(TS_value(log, "vprog_avail      : "), "0 (500)");
    EXPECT_EQ(TS_value(log, "fprog_avail      : "), "1 (500/7/7/7)");
    EXPECT_EQ(TS_value(log, "max tex units    : "), "2 (16/8)");
    EXPECT_EQ(gGLSettings.max_tex_units, 16); // raised after the log for GLSL

    // Shader objects missing: the shaders and GLSL that need them go.
    d.missing = {"glGetHandleARB"};
    log = detect(d, {"--num_units"});
    EXPECT_EQ(TS_value(log, "shad_objs_avail  : "), "0");
    EXPECT_EQ(TS_value(log, "vshader_avail    : "), "0 (0/0/0/0/0/0)");
    EXPECT_EQ(TS_value(log, "glsl_avail       : "), "0 (n/a/0)");
    EXPECT_EQ(TS_value(log, "max tex units    : "), "0 (16/8)");
    EXPECT_EQ(gGLSettings.max_tex_units, 0);
}

TEST(DetectRules, UnfitDriversWithForceRunGetANoteAndGoOn)
{
    fake_driver d;
    d.renderer = "GDI Generic";
    d.version = "1.1";
    d.extensions = "";
    // Forced: a note, and detection goes on (the fatal form is tested on Mesa).
    std::string log;
    log = detect(d, {"--force_run"});
    EXPECT_NE(log.find("use_vsync2       : 0\n"
                       "Your graphics hardware cannot support Corvane. Corvane requires a graphics card with 16 MB of "
                       "VRAM and multitexturing.\n"
                       "Your system does not meet Corvane's hardware requirements.\n"
                       "You have used the force-run command inline option to run Corvane anyway, but it may crash.\n"
                       "Go to www.corvane-sim.com/support for system requirements and tech support information.\n"
                       "(OGL_extensions:882)\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(TS_count(log, "(OGL_extensions:"), 1); // "GDI Generic" is no software-renderer name

    d.extensions = "GL_ARB_multitexture";
    log = detect(d, {"--force_run"});
    EXPECT_NE(log.find("You do not have OpenGL drivers installed!\nYour system does not meet"), std::string::npos)
        << log;

    // Texts the driver does not give are empty, and detection gets through.
    fake_driver none;
    none.vendor = none.renderer = none.version = none.extensions = nullptr;
    log = detect(none, {"--force_run"});
    EXPECT_NE(log.find("\nOpenGL Vendor    : \nOpenGL Render    : \nOpenGL Version   :  (100)\nOpenGL Extensions: \n"),
              std::string::npos)
        << log;
    EXPECT_EQ(TS_count(log, "cannot support Corvane"), 1);
}
