// Driver detection on Mesa's software OpenGL under Xvfb: the capability log line for line, the
// entry points found, and what Mesa's overrides of vendor, renderer, version and extensions and
// the capability switches make of it, with the alerts and exit codes of automation mode.
#include "graphics/OGL_extensions.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <vector>

namespace {

const char* kLog = "Corvane Installer Log.txt";

// The capability log's labels, in their order.
const std::vector<std::string> kLabels = {
    "OpenGL Vendor    : ", "OpenGL Render    : ", "OpenGL Version   : ", "OpenGL Extensions: ",
    "threaded_avail   : ", "tex_clamp_avail  : ", "add_env_avail    : ", "combine_avail    : ",
    "dis_fog_avail    : ", "instance_avail   : ", "two-sided stencil: ", "separate stencil : ",
    "tex_comp_avail   : ", "vbo_avail        : ", "pbo_avail        : ", "automini_avail   : ",
    "aniso_avail      : ", "fsaa_avail       : ", "occlude_avail    : ", "sprites_avail    : ",
    "sblend_avail     : ", "vprog_avail      : ", "fprog_avail      : ", "depth_tex_avail  : ",
    "shad_objs_avail  : ", "vshader_avail    : ", "fshader_avail    : ", "glsl_avail       : ",
    "first-gen shaders: ", "gshader_avail    : ", "buniform_avail   : ", "shad_lod_avail   : ",
    "gpu_shad4_avail  : ", "framebuf_avail   : ", "frameblit_avail  : ", "drawbuf_avail    : ",
    "drawbuf2_avail   : ", "tex_float_avail  : ", "non_pots_avail   : ", "packed_stencil   : ",
    "texture_rg       : ", "framebuffer_srgb : ", "max tex units    : ", "max iso filtering: ",
    "max texture size : ", "max point size   : ", "idx in vram      : ", "use_vsync1       : ",
    "use_vsync2       : "};

struct ProbeRun {
    TS_result r;
    std::string log;
};

// One number of the probe's "after detection:" line.
std::string after(const ProbeRun& run, const std::string& name)
{
    std::istringstream in(TS_value(run.r.out, "after detection: "));
    std::string key, v;
    while (in >> key >> v)
        if (key == name) return v;
    return "<none>";
}

bool ends_with(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class Detect : public testing::Test {
protected:
    static std::unique_ptr<TS_xvfb> x;
    static void SetUpTestSuite()
    {
        x = std::make_unique<TS_xvfb>();
        if (!TS_xvfb_start(*x, "1280x1024x24")) x.reset();
    }
    static void TearDownTestSuite() { x.reset(); }
    void SetUp() override { ASSERT_TRUE(x) << "Xvfb did not start"; }

    // The probe makes its window and runs detection in automation mode.
    ProbeRun detect(std::vector<std::string> args, std::map<std::string, std::string> env = {})
    {
        args.insert(args.begin(), "--detect");
        return probe(args, env);
    }

    ProbeRun probe(std::vector<std::string> args, std::map<std::string, std::string> env = {})
    {
        ProbeRun run;
        std::string dir = TS_new_dir("probe");
        args.insert(args.begin(), {CORVANE_WINDOW_PROBE_EXE, "--frames=1", "--qa_script"});
        env["DISPLAY"] = x->display;
        env["WAYLAND_DISPLAY"] = "";
        env["LIBGL_ALWAYS_SOFTWARE"] = "1";
        run.r = TS_run(args, env, 60, dir);
        run.log = TS_read_file(dir + kLog);
        return run;
    }
};

std::unique_ptr<TS_xvfb> Detect::x;

} // namespace

TEST_F(Detect, MesaCapabilityLogLineForLine)
{
    ProbeRun run = detect({"--threads"});
    ASSERT_EQ(run.r.exit_code, 0) << run.r.out << run.r.err;
    const std::string& log = run.log;

    // The 49 lines in one block, each label in its place.
    size_t start = log.find(kLabels[0]);
    ASSERT_NE(start, std::string::npos) << log;
    std::istringstream in(log.substr(start));
    std::string line;
    for (const std::string& label : kLabels) {
        ASSERT_TRUE(std::getline(in, line)) << label;
        EXPECT_EQ(line.compare(0, label.size(), label), 0) << "expected " << label << " got " << line;
    }
    EXPECT_EQ(TS_count(log, "WARNING"), 0) << log;

    const std::string version = TS_value(log, "OpenGL Version   : ");
    const std::string text = version.substr(0, version.rfind(" ("));
    EXPECT_EQ(version, text + " (" + std::to_string(OGL_parse_version(text.c_str())) + ")");
    EXPECT_GE(OGL_parse_version(text.c_str()), 300) << version; // Mesa's software renderer
    EXPECT_NE(TS_value(log, "OpenGL Extensions: ").find(" GL_ARB_multitexture "), std::string::npos);
    EXPECT_EQ(TS_value(log, "threaded_avail   : "), "0");
    EXPECT_EQ(TS_value(log, "vbo_avail        : "), "1");
    EXPECT_EQ(TS_value(log, "sblend_avail     : "), "1/1");
    EXPECT_EQ(TS_value(log, "idx in vram      : "), "1");
    EXPECT_TRUE(ends_with(TS_value(log, "max texture size : "), " (hardware limit)"));
    // Floats in the log stream's fixed format.
    EXPECT_NE(TS_value(log, "max iso filtering: ").find('.'), std::string::npos);
    EXPECT_EQ(TS_value(log, "max iso filtering: ").size() - TS_value(log, "max iso filtering: ").find('.'), 7u);
    EXPECT_EQ(TS_value(log, "use_vsync1       : "), "0");

    // The entry points found are the driver's working functions; the pool has no workers.
    EXPECT_NE(run.r.out.find("active texture works: yes\n"), std::string::npos) << run.r.out;
    EXPECT_NE(run.r.out.find("buffer objects work: yes\n"), std::string::npos) << run.r.out;
    EXPECT_EQ(after(run, "threaded_avail"), "0");
    EXPECT_NE(run.r.out.find("workers: 0\n"), std::string::npos) << run.r.out;
    EXPECT_NE(log.find("use_vsync2       : 0\nCPU count        : "), std::string::npos);
    EXPECT_TRUE(ends_with(log, "Clean exit from threads.\n"));
}

TEST_F(Detect, VendorWorkaroundsUnderMesaOverrides)
{
    const std::string intel = "Disabling VBOs for Intel hardware.\nDisabling PBOs because VBOs are not available.  "
                              "This probably means that VBOs are disabled for compatibility reasons.\n";
    ProbeRun run = detect({}, {{"force_gl_vendor", "Intel"}});
    EXPECT_EQ(run.r.exit_code, 0) << run.r.err;
    EXPECT_NE(run.log.find(intel + "OpenGL Vendor    : Intel\n"), std::string::npos) << run.log;
    EXPECT_EQ(TS_value(run.log, "vbo_avail        : "), "0");
    EXPECT_EQ(TS_value(run.log, "pbo_avail        : "), "0");
    EXPECT_NE(run.r.out.find("bind buffer entry point: no\n"), std::string::npos) << run.r.out;

    for (const char* keep : {"--use_vbos", "--no_workaround"}) {
        run = detect({keep}, {{"force_gl_vendor", "Intel"}});
        EXPECT_EQ(TS_count(run.log, "Disabling"), 0) << keep;
        EXPECT_EQ(TS_value(run.log, "vbo_avail        : "), "1") << keep;
    }
    run = detect({}, {{"force_gl_vendor", "Intel Corporation"}});
    EXPECT_EQ(TS_count(run.log, "Disabling"), 0);

    std::map<std::string, std::string> wildcat = {{"force_gl_vendor", "3Dlabs"}, {"force_gl_renderer", "Wildcat Realizm"}};
    run = detect({}, wildcat);
    EXPECT_EQ(run.r.exit_code, 0) << run.r.err;
    EXPECT_NE(run.log.find("Disabling GLSL for Wildcat Realizm drivers.\nOpenGL Vendor    : 3Dlabs\n"
                           "OpenGL Render    : Wildcat Realizm\n"),
              std::string::npos)
        << run.log;
    EXPECT_EQ(TS_value(run.log, "glsl_avail       : ").substr(0, 2), "0 ");
    run = detect({"--use_glsl"}, wildcat);
    EXPECT_EQ(TS_count(run.log, "Disabling"), 0);
    EXPECT_EQ(after(run, "glsl_avail"), "1");
}

TEST_F(Detect, DriverAlertsUnderMesaOverrides)
{
    const std::string fatal = "You do not have OpenGL drivers installed!\n"
                              "First, try updating or re-installing your graphics drivers.\n"
                              "If this does not help, check your graphics card specifications.\n"
                              "For tech support, email support@corvane-sim.com\n(OGL_extensions:882)\n";
    ProbeRun run = detect({}, {{"force_gl_renderer", "GDI Generic"}});
    EXPECT_EQ(run.r.exit_code, 1) << run.r.out << run.r.err;
    EXPECT_TRUE(ends_with(run.log, "use_vsync2       : 0\n" + fatal)) << run.log;
    EXPECT_EQ(run.r.out.find("after detection"), std::string::npos);

    run = detect({"--force_run"}, {{"force_gl_renderer", "GDI Generic"}});
    EXPECT_EQ(run.r.exit_code, 0) << run.r.out << run.r.err;
    EXPECT_NE(run.log.find("use_vsync2       : 0\nYou do not have OpenGL drivers installed!\n"
                           "Your system does not meet Corvane's hardware requirements.\n"
                           "You have used the force-run command inline option to run Corvane anyway, but it may "
                           "crash.\nGo to www.corvane-sim.com/support for system requirements and tech support "
                           "information.\n(OGL_extensions:882)\n"),
              std::string::npos)
        << run.log;
    EXPECT_NE(run.r.out.find("after detection"), std::string::npos);

    for (const char* soft : {"Generic", "Mesa GLX Indirect"}) {
        run = detect({}, {{"force_gl_renderer", soft}});
        EXPECT_EQ(run.r.exit_code, 0) << run.r.err;
        EXPECT_NE(run.log.find("use_vsync2       : 0\nI can not find a 3-D accelerator card that can handle OpenGL "
                               "that has correctly installed drivers.\n"),
                  std::string::npos)
            << soft << run.log;
        EXPECT_NE(run.log.find("cards.\n(OGL_extensions:895)\n"), std::string::npos) << soft;
    }

    // Old drivers of shader cards: the log still shows GLSL, the program then goes without it.
    run = detect({}, {{"force_gl_vendor", "ATI Technologies Inc."}, {"MESA_GL_VERSION_OVERRIDE", "1.5"}});
    EXPECT_EQ(run.r.exit_code, 0) << run.r.err;
    EXPECT_EQ(TS_value(run.log, "glsl_avail       : ").substr(0, 2), "1 ");
    EXPECT_NE(run.log.find("use_vsync2       : 0\n"
                           "You have a newer ATI graphics card with pixel shaders, but you do not have new drivers.\n"
                           "Corvane may run slower, crash, or show artifacts if you do not update your drivers.\n\n"
                           "Please go to www.amd.com/support and download the latest drivers for your graphics card!\n"
                           "(OGL_extensions:909)\n"),
              std::string::npos)
        << run.log;
    EXPECT_EQ(after(run, "glsl_avail"), "0");

    run = detect({}, {{"force_gl_vendor", "NVIDIA Corporation"}, {"MESA_GL_VERSION_OVERRIDE", "1.5"}});
    EXPECT_EQ(run.r.exit_code, 0) << run.r.err;
    EXPECT_NE(run.log.find("You have a newer nVidia graphics card with pixel shaders, but you do not have new drivers.\n"
                           "Corvane may run slower, crash, or show artifacts if you do not update your drivers.\n\n"
                           "Please go to www.nvidia.com/drivers an download the latest drivers for your graphics card!\n"
                           "(OGL_extensions:919)\n"),
              std::string::npos)
        << run.log;
    EXPECT_EQ(TS_value(run.log, "first-gen shaders: "), "1"); // no second-generation fragment programs
    EXPECT_EQ(after(run, "glsl_avail"), "0");
}

TEST_F(Detect, VersionAndExtensionOverrides)
{
    // OpenGL 1.1: the 3D-texture calls came with 1.2, so they count as missing; only logged.
    ProbeRun run = detect({}, {{"MESA_GL_VERSION_OVERRIDE", "1.1"}});
    EXPECT_EQ(run.r.exit_code, 0) << run.r.err;
    EXPECT_TRUE(ends_with(TS_value(run.log, "OpenGL Version   : "), " (110)"));
    for (const char* p : {"glTexImage3D", "glTexSubImage3D", "glCopyTexSubImage3D"})
        EXPECT_NE(run.log.find(std::string("WARNING: extension missing proc ") + p +
                               ".  This is a problem with your video driver.\n"),
                  std::string::npos)
            << p;
    EXPECT_EQ(TS_count(run.log, "WARNING: extension missing proc"), 3) << run.log;
    EXPECT_EQ(TS_value(run.log, "separate stencil : "), "0");
    EXPECT_EQ(TS_value(run.log, "gshader_avail    : "), "0");
    EXPECT_NE(run.r.out.find("active texture works: yes\n"), std::string::npos); // by its extension

    // A version that promises the indexed draw buffers, without the extension that names them.
    run = detect({}, {{"MESA_GL_VERSION_OVERRIDE", "3.0"}, {"MESA_EXTENSION_OVERRIDE", "-GL_EXT_draw_buffers2"}});
    EXPECT_EQ(run.r.exit_code, 0) << run.r.err;
    EXPECT_EQ(TS_count(run.log, "WARNING: extension missing proc"), 6) << run.log;
    EXPECT_NE(run.log.find("WARNING: extension missing proc glColorMaskIndexedEXT.  This is a problem with your video "
                           "driver.\n"),
              std::string::npos);
    EXPECT_EQ(TS_value(run.log, "drawbuf2_avail   : "), "0");

    run = detect({}, {{"MESA_GL_VERSION_OVERRIDE", "4.5"},
                      {"MESA_EXTENSION_OVERRIDE", "-GL_EXT_texture_filter_anisotropic -GL_ARB_vertex_buffer_object"}});
    EXPECT_EQ(run.r.exit_code, 0) << run.r.err;
    EXPECT_EQ(TS_value(run.log, "aniso_avail      : "), "0");
    EXPECT_EQ(TS_value(run.log, "max iso filtering: "), "1.000000");
    // The buffer calls are core in 4.5: found under their plain names.
    EXPECT_EQ(TS_value(run.log, "vbo_avail        : "), "1");
    EXPECT_NE(run.r.out.find("buffer objects work: yes\n"), std::string::npos) << run.r.out;
}

TEST_F(Detect, CapabilitySwitches)
{
    ProbeRun base = detect({});
    ASSERT_EQ(base.r.exit_code, 0) << base.r.err;
    const std::string units = TS_value(base.log, "max tex units    : ");
    const std::string limits = units.substr(units.find(' ')); // " (image units/coordinates)"

    ProbeRun run = detect({"--no_vbos"});
    EXPECT_EQ(run.r.exit_code, 0);
    EXPECT_EQ(TS_value(run.log, "vbo_avail        : "), "0");
    EXPECT_EQ(TS_value(run.log, "pbo_avail        : "), "0");
    EXPECT_EQ(TS_count(run.log, "Disabling"), 0);
    EXPECT_NE(run.r.out.find("bind buffer entry point: yes\n"), std::string::npos); // loaded before the switch

    run = detect({"--use_vbos", "--no_threaded_ogl", "--force_run"}); // nothing to change on this driver
    EXPECT_EQ(run.r.exit_code, 0);
    EXPECT_EQ(run.log.substr(run.log.find(kLabels[0])), base.log.substr(base.log.find(kLabels[0])));

    run = detect({"--limited_glsl"});
    EXPECT_EQ(TS_value(run.log, "first-gen shaders: "), "1");
    run = detect({"--limited_glsl", "--unlimited_glsl"});
    EXPECT_EQ(TS_value(run.log, "first-gen shaders: "), "0");

    run = detect({"--num_units=2"});
    EXPECT_EQ(TS_value(run.log, "max tex units    : "), "2" + limits);
    // Raised to the image units after the log, since GLSL is there.
    const std::string image_units = limits.substr(2, limits.find('/') - 2);
    EXPECT_EQ(after(run, "max_tex_units"), image_units);
    run = detect({"--num_units=2", "--no_glsl"});
    EXPECT_EQ(after(run, "max_tex_units"), "2");
}

TEST_F(Detect, ThreadAskingForOpenGLSharesTheMainContextsObjects)
{
    // Before detection clears threaded OpenGL, a thread that asks gets a context of its own that
    // sees the main context's objects, and the main thread gets its context back.
    ProbeRun run = probe({"--thread_gl", "--threads"});
    EXPECT_EQ(run.r.exit_code, 0) << run.r.out << run.r.err;
    EXPECT_NE(run.r.out.find("thread context: yes\nthread sees main texture: yes\nthread exit code: 7\n"
                             "main context back: yes\n"),
              std::string::npos)
        << run.r.out;
    EXPECT_EQ(TS_count(run.log, "Could not"), 0) << run.log;
    EXPECT_EQ(TS_count(run.log, "problem setting up OpenGL"), 0) << run.log;
    // A failed step is logged with the reason in words.
    run = probe({"--thread_gl", "--thread_gl_no_window", "--threads"});
    EXPECT_NE(run.r.out.find("thread context: no\n"), std::string::npos) << run.r.out;
    EXPECT_EQ(TS_count(run.log, "Could not create/get compatible DC: there is no main window\n"), 1) << run.log;
}
