// The OpenGL state cache, the texture-unit cache with its combiner recipes, the render options and
// the texture manager: in process where no OpenGL is needed, otherwise through texture_probe in a
// window under Xvfb with Mesa's software OpenGL (and apitrace to see which calls reach OpenGL).
#include "foundation/tunables.h"
#include "graphics/OGL_extensions.h"
#include "graphics/OGL_state.h"
#include "graphics/tman.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>

namespace {

const char* kLog = "Corvane Installer Log.txt";

struct ProbeRun {
    TS_result r;
    std::string log;
    std::string dir;
};

class Textures : public testing::Test {
protected:
    static std::unique_ptr<TS_xvfb> x;
    static void SetUpTestSuite()
    {
        x = std::make_unique<TS_xvfb>();
        if (!TS_xvfb_start(*x, "1280x1024x24")) x.reset();
    }
    static void TearDownTestSuite() { x.reset(); }
    void SetUp() override { ASSERT_TRUE(x) << "Xvfb did not start"; }

    std::map<std::string, std::string> env() const
    {
        return {{"DISPLAY", x->display}, {"WAYLAND_DISPLAY", ""}, {"LIBGL_ALWAYS_SOFTWARE", "1"}};
    }

    // The probe in automation mode (alerts only log); prefix runs it under another program.
    ProbeRun probe(std::vector<std::string> args, std::vector<std::string> prefix = {})
    {
        ProbeRun run;
        run.dir = TS_new_dir("probe");
        args.insert(args.begin(), {CORVANE_TEXTURE_PROBE_EXE, "--qa_script"});
        args.insert(args.begin(), prefix.begin(), prefix.end());
        std::map<std::string, std::string> e = env();
        // apitrace preloads its tracer ahead of the address sanitizer's runtime.
        if (!prefix.empty()) {
            const char* asan = getenv("ASAN_OPTIONS");
            e["ASAN_OPTIONS"] = std::string(asan ? asan : "") + ":verify_asan_link_order=0";
        }
        run.r = TS_run(args, e, 120, run.dir);
        run.log = TS_read_file(run.dir + kLog);
        return run;
    }
};

std::unique_ptr<TS_xvfb> Textures::x;

bool has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(RenderOptions, PublishedInOrderAndResetFromTheDriver)
{
    // Registered during static construction, newest first on the chain.
    const char* names[] = {"reno/draw_for_05", "reno/LOD_bias_rat", "reno/draw_objs_06", "reno/draw_vecs_03",
                           "reno/draw_detail_apt_03", "reno/draw_cars_05", "reno/draw_planet", "reno/draw_view_ind",
                           "reno/draw_gload", "reno/aniso_filter", "reno/comp_texes", "reno/sloped_runways",
                           "reno/diff_FOV", "reno/master_view_setting", "reno/draw_reflect_water05",
                           "reno/draw_volume_fog01", "reno/draw_per_pix_liting", "reno/draw_HDR",
                           "reno/draw_scattering", "reno/draw_water3d", "reno/draw_fft_water", "reno/use_bump_maps",
                           "reno/use_detail_textures"};
    std::vector<const TunableRec*> reno;
    int guard = 0;
    for (const TunableRec* r = TUNABLE_chain_head(); r && guard < 100000; r = r->next, ++guard)
        if (std::string(r->name).rfind("reno/", 0) == 0) reno.insert(reno.begin(), r);
    ASSERT_EQ(reno.size(), 23u);
    for (size_t i = 0; i < 23; ++i) {
        EXPECT_STREQ(reno[i]->name, names[i]);
        EXPECT_EQ(reno[i]->flags, 5) << names[i];
        const bool is_float = i == 1;
        EXPECT_EQ(reno[i]->float_ptr != nullptr, is_float) << names[i];
        EXPECT_EQ(reno[i]->int_ptr != nullptr, !is_float) << names[i];
    }
    EXPECT_EQ(reno[1]->float_ptr, &gGLSettings.LOD_bias_rat);
    EXPECT_EQ(reno[10]->int_ptr, &gGLSettings.comp_texes);

    // Zero until the reset.
    EXPECT_EQ(gGLSettings.comp_texes, 0);
    EXPECT_EQ(gGLSettings.LOD_bias_rat, 0.0f);

    struct Case {
        float aniso;
        int glsl, first_gen, aniso_filter, shaders;
    } cases[] = {{16.0f, 1, 0, 4, 1}, {2.0f, 1, 1, 2, 0}, {1.0f, 0, 0, 1, 0}, {0.0f, 0, 1, 0, 0}, {3.9f, 1, 0, 3, 1}};
    for (const Case& c : cases) {
        gGLSettings = OGL_settings();
        gGLSettings.max_aniso = c.aniso;
        gGLSettings.diff_FOV = 0;
        gCaps.glsl_avail = c.glsl;
        gCaps.first_gen_shaders = c.first_gen;
        gGLSettings.RENO_reset_options();
        const OGL_settings& s = gGLSettings;
        EXPECT_EQ(s.aniso_filter, c.aniso_filter) << c.aniso;
        EXPECT_EQ(s.draw_detail_apt_03, c.shaders) << c.glsl << c.first_gen;
        EXPECT_EQ(s.draw_volume_fog01, c.shaders);
        EXPECT_EQ(s.draw_per_pix_liting, c.shaders);
        EXPECT_EQ(s.diff_FOV, 0);
        EXPECT_EQ(s.master_view_setting, 0);
        EXPECT_EQ(s.LOD_bias_rat, 1.0f);
        const int ones[] = {s.draw_for_05, s.draw_objs_06, s.draw_vecs_03, s.draw_planet, s.draw_view_ind,
                            s.draw_gload, s.comp_texes, s.sloped_runways, s.use_bump_maps, s.use_detail_textures};
        for (int v : ones) EXPECT_EQ(v, 1);
        const int zeros[] = {s.draw_cars_05, s.draw_reflect_water05, s.draw_HDR, s.draw_scattering, s.draw_water3d,
                             s.draw_fft_water};
        for (int v : zeros) EXPECT_EQ(v, 0);
    }
    gCaps = OGL_caps();
    gGLSettings = OGL_settings();

    // The arithmetic helpers of the state unit.
    EXPECT_EQ(clamp_int(-3, 0, 8), 0);
    EXPECT_EQ(clamp_int(12, 0, 8), 8);
    EXPECT_EQ(clamp_float(0.5f, 0.01f, 1.0f), 0.5f);
    EXPECT_FLOAT_EQ(interp_clamped(0.0f, 0.2f, 0.5f, 1.0f, 0.25f), 0.6f);
    EXPECT_FLOAT_EQ(interp_clamped(0.0f, 0.8f, 0.5f, 0.0f, 0.9f), 0.0f);
    EXPECT_FLOAT_EQ(interp_clamped(0.0f, 0.8f, 0.5f, 0.0f, -1.0f), 0.8f);
    EXPECT_FLOAT_EQ(interp_clamped(1.0f, 0.2f, 1.0f, 0.6f, 7.0f), 0.4f);
}

TEST(TextureNames, DotDotFoldsWholeComponentsOnly)
{
    const std::pair<const char*, const char*> cases[] = {
        {"a/b/../c.png", "a/c.png"},     {"x/a/b/../../c.png", "x/c.png"}, {"a/b/..x/c.png", "a/b/..x/c.png"},
        {"a/../c.png", "a/../c.png"},     {"/b/../c.png", "/c.png"},        {"a/b/..", "a"},
        {"x/a/../../c.png", "x/../c.png"}, {"..", ".."},                    {"", ""},
    };
    for (const auto& [in, want] : cases) EXPECT_EQ(tman_fold_dotdot(in), want) << in;
}

TEST_F(Textures, CachesAgreeWithOpenGLAfterARandomRunAndRecipesAreAsSpecified)
{
    ProbeRun run = probe({"--scenario=state", "--seed=7", "--steps=4000"});
    ASSERT_EQ(run.r.exit_code, 0) << run.r.out << run.r.err;
    const std::string& out = run.r.out;
    EXPECT_TRUE(has(out, "combine: 1\n")) << out;
    EXPECT_TRUE(has(out, "random steps: 4000 mismatches: 0\n")) << out;
    EXPECT_TRUE(has(out, "blend mode 5: gl 11 cached 00\n")) << out;
    EXPECT_TRUE(has(out, "kill_tex 57 binds: 3\n")) << out;
    EXPECT_TRUE(has(out, "kill_tex 1020 binds: 1020\n")) << out;
    EXPECT_TRUE(has(out, "without entry point: unit 2 cached -1 bound 0 texturing 100\n")) << out;
    EXPECT_TRUE(has(out, "gl errors: none\n")) << out;
    // The colour scheme's gains (not for raw colours), monochrome and red shift.
    EXPECT_TRUE(has(out, "colour plain: 0.200 0.400 0.600\n"
                         "colour gain: 0.500 0.400 0.200\n"
                         "colour gain raw: 1.000 0.400 0.200\n"
                         "colour monochrome: 0.000 0.600 0.000\n"
                         "colour red shift: 0.400 0.150 0.050\n"
                         "colour full red shift: 0.600 0.000 0.000\n"))
        << out;

    // What OpenGL holds after each recipe; a colour the recipe does not set stays grey.
    const std::string g = "colour 0.5 0.5 0.5 0.5", w = "colour 1 1 1 1", k = "colour 0 0 0 0";
    const std::map<int, std::string> recipes = {
        {1, "ADD(P.rgb, T.rgb) REPLACE(P.a) scale 1 1 " + g},
        {2, "ADD(P.rgb, T.rgb) ADD(P.a, T.a) scale 1 1 " + g},
        {3, "INTERPOLATE(P.rgb, T.rgb, K.rgb) REPLACE(P.a) scale 1 1 " + g},
        {4, "INTERPOLATE(P.rgb, T.rgb, K.rgb) INTERPOLATE(P.a, T.a, K.a) scale 1 1 " + g},
        {5, "MODULATE(P.rgb, K.rgb) REPLACE(P.a) scale 4 1 " + g},
        {6, "MODULATE(P.rgb, K.rgb) MODULATE(P.a, K.a) scale 4 4 " + g},
        {14, "MODULATE(P.rgb, T.rgb) REPLACE(T.a) scale 1 1 " + g},
        {15, "REPLACE(P.rgb) SUBTRACT(T.a, P.a) scale 1 4 " + g},
        {16, "REPLACE(P.rgb) MODULATE(P.1-a, T.a) scale 1 1 " + g},
        {17, "MODULATE(P.rgb, P.1-a) REPLACE(K.a) scale 1 1 " + w},
        {18, "REPLACE(P.rgb) REPLACE(P.a) scale 1 1 " + g},
        {19, "REPLACE(P.rgb) REPLACE(K.a) scale 1 1 " + w},
        {20, "MODULATE(P.rgb, T.rgb) REPLACE(K.a) scale 1 1 " + w},
        {21, "MODULATE(P.rgb, T.rgb) REPLACE(P.a) scale 1 1 " + g},
        {22, "REPLACE(T.a) REPLACE(K.a) scale 1 1 " + w},
        {23, "REPLACE(P.rgb) REPLACE(T.a) scale 1 1 " + g},
        {24, "INTERPOLATE(T.rgb, P.rgb, T.a) REPLACE(P.a) scale 1 1 " + g},
        {25, "INTERPOLATE(T.rgb, P.rgb, P.a) REPLACE(P.a) scale 1 1 " + g},
        {26, "MODULATE(P.rgb, T.a) REPLACE(P.a) scale 1 1 " + g},
        {27, "INTERPOLATE(T.rgb, P.rgb, K.rgb) INTERPOLATE(T.a, P.a, K.a) scale 1 1 " + g},
        {28, "INTERPOLATE(T.rgb, K.rgb, T.a) REPLACE(P.a) scale 1 1 " + g},
        {29, "MODULATE(P.rgb, Q.rgb) REPLACE(P.a) scale 1 1 " + g},
        {30, "MODULATE(P.rgb, K.rgb) MODULATE(P.a, K.a) scale 1 1 " + g},
        {31, "INTERPOLATE(P.rgb, K.rgb, T.rgb) REPLACE(P.a) scale 1 1 " + k},
        {32, "INTERPOLATE(Q.rgb, K.rgb, T.rgb) REPLACE(T.a) scale 1 1 " + k},
    };
    for (const auto& [mode, text] : recipes)
        EXPECT_TRUE(has(out, "recipe " + std::to_string(mode) + ": " + text + "\n")) << mode << "\n" << out;
}

TEST_F(Textures, ARepeatedCallReachesOpenGLOnce)
{
    // Each state or bind call twice in a row with glFinish before each: the trace shows the
    // first call's OpenGL work and nothing at all for the second.
    ProbeRun run = probe({"--scenario=repeat"}, {"apitrace", "trace", "-o", "calls.trace"});
    ASSERT_EQ(run.r.exit_code, 0) << run.r.out << run.r.err;
    ASSERT_TRUE(has(run.r.out, "repeat pairs: 10\n")) << run.r.out;
    TS_result dump = TS_run({"apitrace", "dump", "--color=never", run.dir + "calls.trace"}, {}, 120);
    ASSERT_EQ(dump.exit_code, 0) << dump.err;

    std::vector<std::vector<std::string>> sections;
    std::istringstream in(dump.out);
    std::string line;
    bool started = false;
    while (std::getline(in, line)) {
        if (has(line, " glFinish(")) {
            started = true;
            sections.emplace_back();
        } else if (started && has(line, " gl") && !has(line, "glX")) {
            sections.back().push_back(line);
        }
    }
    ASSERT_EQ(sections.size(), 22u) << dump.out.substr(0, 4000);
    for (size_t i = 0; i < 20; i += 2) {
        EXPECT_FALSE(sections[i].empty()) << "pair " << i / 2;
        EXPECT_TRUE(sections[i + 1].empty()) << "pair " << i / 2 << ": " << sections[i + 1][0];
    }
    // The state calls touch only what changed, and unit 0 is active after every bind.
    const std::string first = [&] {
        std::string s;
        for (const std::string& l : sections[0]) s += l.substr(l.find(' ') + 1) + "\n";
        return s;
    }();
    EXPECT_EQ(TS_count(first, "glEnable(cap = GL_TEXTURE_2D)"), 4) << first;
    EXPECT_TRUE(has(first, "glActiveTextureARB(texture = GL_TEXTURE2)\nglEnable(cap = GL_TEXTURE_2D)\n"
                           "glActiveTextureARB(texture = GL_TEXTURE0)\n"))
        << first;
    // The colour call: opaque above alpha 0.99, given as an explicit alpha of 1.
    ASSERT_EQ(sections[20].size(), 2u);
    EXPECT_TRUE(has(sections[20][0], "glColor4f(red = 0.25, green = 0.5, blue = 0.75, alpha = 1)"))
        << sections[20][0];
    EXPECT_TRUE(has(sections[20][1], "glColor4f(red = 0.25, green = 0.5, blue = 0.75, alpha = 0.99)"))
        << sections[20][1];
    for (size_t i = 10; i < 20; i += 2) {
        const std::string& last = sections[i].back();
        if (i != 10) {
            EXPECT_TRUE(has(last, "glActiveTextureARB(texture = GL_TEXTURE0)")) << i << last;
        }
    }
}

TEST_F(Textures, RangeAlertsOfTheManagerAndTheLoader)
{
    struct Case {
        const char* which;
        const char* text;
    } cases[] = {
        {"ref_high", "Trying to bind too low or high a manual_ref!\nhigh.png\nvalue:\n1064\n(tman:77)\n"},
        {"ref_low", "Trying to bind too low or high a manual_ref!\nlow.png\nvalue:\n-1\n(tman:77)\n"},
        {"load_time", "Trying to create an invalid texture load_time!\nlate.png\nvalue:\n3\n(tman:76)\n"},
        {"bind_empty", "Null texture - how?\n\nref=  1040\n\n(tman:230)\n"},
        {"unload_dynamic", "Error: dynamic textures should be released, not unloaded.\n\n1070.000000\n\n(tman:483)\n"},
        {"filter", "Trying to bind an invalid filter type!\nflags.png\nvalue:\n4194305\n(TEX_obj:48)\n"},
        {"color", "BAD color enum for tman - see tman for valid colors!  We cannot pass 0.\ncolour.png\nvalue:\n0\n"
                  "(TEX_obj:359)\n"},
        {"fatal", "Trying to load a texture that you do not have!\nThis smacks of a mis-installed copy of Corvane!\n"
                  "Get a new download from www.corvane-sim.com. The missing file is:\nResources/bitmaps/none.png\n"
                  "(TEX_obj:514)\n"},
        {"buffer", "Error: texture buffer has non-power-of-2 dims\nscratch_array-odd\n\n\n(TEX_obj:195)\n"},
    };
    for (const Case& c : cases) {
        ProbeRun run = probe({"--scenario=alert", std::string("--which=") + c.which});
        EXPECT_EQ(run.r.exit_code, 1) << c.which << run.r.out << run.r.err;
        EXPECT_FALSE(has(run.r.out, "no alert")) << c.which;
        EXPECT_TRUE(has(run.log, c.text)) << c.which << "\n" << run.log;
    }
    // The last fixed slot is in range: a missing file there is no alert, just nothing loaded.
    ProbeRun run = probe({"--scenario=alert", "--which=ref_last"});
    EXPECT_EQ(run.r.exit_code, 0) << run.r.out << run.r.err;
    EXPECT_TRUE(has(run.r.out, "slot 1063 gives: 0\nno alert\n")) << run.r.out;
}

namespace {

// A picture made by ImageMagick; PNGs without gamma chunks, so the loader assumes gamma 1/1.8.
void convert(std::vector<std::string> args, const std::string& out)
{
    args.insert(args.begin(), "convert");
    if (out.size() > 4 && out.compare(out.size() - 4, 4, ".png") == 0)
        args.insert(args.end(), {"-define", "png:exclude-chunks=gAMA,cHRM,sRGB,bKGD,iCCP,tIME,date"});
    args.push_back(out);
    TS_result r = TS_run(args, {}, 60);
    ASSERT_EQ(r.exit_code, 0) << out << r.err;
}

// A line of the probe's output that begins with the label.
std::string line_of(const std::string& out, const std::string& label)
{
    size_t at = out.find(label);
    if (at == std::string::npos) return "<none>";
    size_t end = out.find('\n', at);
    return out.substr(at, end - at);
}

} // namespace

TEST_F(Textures, ManagerSlotsReloadsFailuresAndFlags)
{
    std::string d = TS_new_dir("pictures");
    TS_sh("mkdir -p '" + d + "tex/a'");
    convert({"-size", "64x64", "gradient:red-blue"}, d + "tex/a/c.png");
    convert({"-size", "64x64", "xc:rgb(200,40,40)"}, d + "fixed.png");
    convert({"-size", "64x64", "xc:rgb(40,40,200)"}, d + "fixed2.png");
    convert({"-size", "2x2", "xc:rgb(10,250,10)", "-type", "TrueColor"}, d + "two.png");
    convert({"-size", "512x512", "gradient:white-black"}, d + "big.png");
    convert({"-size", "1x1", "xc:rgb(1,2,3)"}, d + "one.png");
    convert({"-size", "64x64", "xc:rgb(1,2,3)"}, "PNG32:" + d + "small3d.png");
    convert({"-size", "128x128", "gradient:red-blue"}, "PNG32:" + d + "big3d.png");
    convert({"-size", "2049x2", "xc:red"}, d + "wide.png");
    convert({"-size", "2x2049", "xc:red"}, d + "tall.png");
    convert({"-size", "2048x64", "gradient:white-black"}, d + "long.png");
    convert({"-size", "64x2048", "gradient:white-black"}, d + "high.png");

    ProbeRun run = probe({"--scenario=manager", "--dir=" + d}, {"apitrace", "trace", "-o", "manager.trace"});
    ASSERT_EQ(run.r.exit_code, 0) << run.r.out << run.r.err;
    const std::string& out = run.r.out;
    ASSERT_TRUE(has(out, "manager done\n")) << out;

    // The grey placeholder: slot 3, OpenGL name 3, a 2 x 2 RGB picture.
    EXPECT_EQ(line_of(out, "placeholder:"), "placeholder: slot 3 2x2 loaded 2x2 format 0x1907 bytes 12 file 0 refs 1");
    EXPECT_EQ(line_of(out, "placeholder name:"), "placeholder name: 3 loaded 1");
    // Dynamic slots from 1064; "a/b/../c.png" and "a/c.png" are one slot, two references, one load.
    EXPECT_EQ(line_of(out, "same slot:"), "same slot: 1064 1064 name kept 1");
    EXPECT_EQ(line_of(out, "shared:"), "shared: slot 1064 64x64 loaded 64x64 format 0x1907 bytes 12288 file 1 refs 2");
    EXPECT_EQ(line_of(out, "dynamic slots:"), "dynamic slots: 1065 1066 gap reused 1065");
    EXPECT_EQ(line_of(out, "failed dynamic:"), "failed dynamic: slot 1066 2x2 loaded 2x2 format 0x1907 bytes 0 file 1 refs 1");
    EXPECT_EQ(line_of(out, "empty name:"), "empty name: 0");
    // A fixed slot reloaded keeps its OpenGL name.
    EXPECT_EQ(line_of(out, "fixed again:"), "fixed again: 1030 name kept 1");
    EXPECT_EQ(line_of(out, "failed fixed:"), "failed fixed: 0");
    EXPECT_EQ(line_of(out, "after failure:"), "after failure: 1032");
    // Each missing kind raised once, shown once, never pending again.
    EXPECT_EQ(line_of(out, "pending:"), "pending: 111");
    EXPECT_EQ(line_of(out, "pending after frames:"), "pending after frames: 000");
    // Scratch textures need a slot and fit the buffer; a slot that changes kind loads as its new kind.
    EXPECT_EQ(line_of(out, "scratch without slot:"), "scratch without slot: 0 slots 1067");
    EXPECT_EQ(line_of(out, "scratch too large:"), "scratch too large: 0 object 0");
    EXPECT_EQ(line_of(out, "buffer:"), "buffer: 1038");
    EXPECT_EQ(line_of(out, "buffer to file: slot"), "buffer to file: slot 1038 64x64 loaded 64x64 format 0x1908 bytes 16384 file 1 refs 1");
    EXPECT_EQ(line_of(out, "depth mips:"), "depth mips: 1043");
    EXPECT_EQ(line_of(out, "file to buffer: slot"), "file to buffer: slot 1038 4x4 loaded 4x4 format 0x1908 bytes 64 file 0 refs 1");
    // Resolution level 4: 512 x 512 uploads as 256 x 256, 1 x 1 stays, full resolution stays full.
    EXPECT_EQ(line_of(out, "level 4 big:"), "level 4 big: slot 1039 256x256 loaded 256x256 format 0x1907 bytes 196608 file 1 refs 1");
    EXPECT_EQ(line_of(out, "level 4 one:"), "level 4 one: slot 1040 1x1 loaded 1x1 format 0x1907 bytes 3 file 1 refs 1");
    EXPECT_EQ(line_of(out, "level 4 full:"), "level 4 full: slot 1041 512x512 loaded 512x512 format 0x1907 bytes 786432 file 1 refs 1");
    // Under a driver limit of 1024, 2048 x 64 and 64 x 2048 are halved on both sides.
    EXPECT_EQ(line_of(out, "small limit wide:"), "small limit wide: slot 1046 1024x32 loaded 1024x32 format 0x1907 bytes 98304 file 1 refs 1");
    EXPECT_EQ(line_of(out, "small limit tall:"), "small limit tall: slot 1047 32x1024 loaded 32x1024 format 0x1907 bytes 98304 file 1 refs 1");
    EXPECT_EQ(line_of(out, "3d small:"), "3d small: 0");
    EXPECT_EQ(line_of(out, "3d:"), "3d: 1042");
    EXPECT_EQ(line_of(out, "3d depth:"), "3d depth: 8");
    EXPECT_EQ(line_of(out, "past the largest side:"), "past the largest side: 0 0");
    EXPECT_EQ(line_of(out, "resource:"), "resource: 1024");
    EXPECT_EQ(line_of(out, "resource: slot"), "resource: slot 1024 64x64 loaded 64x64 format 0x1907 bytes 12288 file 1 refs 1");
    EXPECT_EQ(line_of(out, "unloaded:"), "unloaded: slot empty 1 texture exists 0");

    // Failed loads: policy 0 says nothing; 1 to 3 log the file; each overlay message once.
    const std::string& log = run.log;
    EXPECT_FALSE(has(log, "missing-one.png")) << log;
    EXPECT_FALSE(has(log, "missing.png.")) << log;
    for (const char* f : {"lost-scenery.png", "lost-aircraft.png", "lost-other.png", "lost-other-2.png"})
        EXPECT_EQ(TS_count(log, std::string("WARNING: we are missing the texture: ") + d + f + ".\n"), 1) << f;
    EXPECT_EQ(TS_count(log, "Some scenery textures could not be loaded.\n"), 1) << log;
    EXPECT_EQ(TS_count(log, "Some textures for the aircraft you selected could not be loaded.\n"), 1) << log;
    EXPECT_EQ(TS_count(log, "Some textures could not be loaded.\n"), 1) << log;
    EXPECT_TRUE(has(log, "Some textures could not be loaded.\nThis may be an installation problem.  Run the "
                         "installer/updater again to get these missing textures.\nPlease see the log.txt file for a "
                         "detailed list of missing files.\n\n(hl_event:103)\n"))
        << log;
    EXPECT_TRUE(has(log, "WARNING: the scratch texture scratch_array-big is larger than its buffer.\n")) << log;
    // Too wide or too tall, a picture is only noted: the program goes on.
    EXPECT_TRUE(has(log, "Too large a texture!\nI can't load this!\n\n" + d + "wide.png\n(TEX_obj:440)\n")) << log;
    EXPECT_TRUE(has(log, "Too large a texture!\nI can't load this!\n\n" + d + "tall.png\n(TEX_obj:441)\n")) << log;

    // The trace: the fixed slot's second load is the one sub-image update of the run; after the
    // failed load the 2 x 2 picture is uploaded anew.
    TS_result dump = TS_run({"apitrace", "dump", "--color=never", run.dir + "manager.trace"}, {}, 120);
    ASSERT_EQ(dump.exit_code, 0) << dump.err;
    EXPECT_EQ(TS_count(dump.out, " glTexSubImage2D("), 1) << dump.out.substr(0, 3000);
    EXPECT_TRUE(has(dump.out, "glTexSubImage2D(target = GL_TEXTURE_2D, level = 0, xoffset = 0, yoffset = 0, width = 64, "
                              "height = 64, format = GL_RGB"))
        << dump.out.substr(0, 3000);
    size_t from = dump.out.find(" glFinish(");
    size_t to = dump.out.find(" glFinish(", from + 1);
    ASSERT_NE(to, std::string::npos);
    const std::string failure_part = dump.out.substr(from, to - from);
    EXPECT_TRUE(has(failure_part, "glTexImage2D(target = GL_TEXTURE_2D, level = 0, internalformat = GL_RGB, width = 2, "
                                  "height = 2"))
        << failure_part;
}

TEST_F(Textures, ReloadOnAThreadWithASharedContext)
{
    std::string d = TS_new_dir("pictures");
    convert({"-size", "64x64", "xc:rgb(200,40,40)"}, d + "fixed.png");
    convert({"-size", "64x64", "xc:rgb(40,40,200)"}, d + "fixed2.png");
    ProbeRun run = probe({"--scenario=thread", "--threads", "--dir=" + d});
    ASSERT_EQ(run.r.exit_code, 0) << run.r.out << run.r.err;
    const std::string& out = run.r.out;
    EXPECT_TRUE(has(out, "thread context: yes\nthread load: 1030\n")) << out;
    // A fresh name is published; the old one lives until the next frame's flush deletes it.
    EXPECT_TRUE(has(out, "fresh name: 1\n")) << out;
    EXPECT_TRUE(has(out, "before flush: old 1 new 1\n")) << out;
    EXPECT_TRUE(has(out, "after flush: old 0 new 1\n")) << out;
    // The new picture is what binds: 40 and 200 made for gamma 1.8, shown at 2.5, are 67 and 214.
    EXPECT_TRUE(has(out, "drawn: 67,67,214\n")) << out;
}

namespace {

// ImageMagick's own decoding of a picture: RGBA bytes, top row first.
struct Decoded {
    int w = 0, h = 0;
    std::string rgba;
    int at(int x, int y_from_top, int c) const { return (unsigned char)rgba[((size_t)y_from_top * w + x) * 4 + c]; }
};

Decoded decode(const std::string& file, int w, int h)
{
    Decoded d;
    TS_result r = TS_run({"convert", file, "-depth", "8", "rgba:-"}, {}, 60);
    if (r.exit_code == 0 && r.out.size() == (size_t)w * h * 4) {
        d.w = w;
        d.h = h;
        d.rgba = r.out;
    }
    return d;
}

// A colour byte made for gamma `from`, shown on the 2.5 screen.
int through_gamma(int v, double from)
{
    return v == 0 ? 0 : (int)(255.0 * std::pow(v / 255.0, from / 2.5) + 0.5);
}

// The colour of texel (x, y from the top) of level 0 of a DXT file as the loader hands it to
// OpenGL: the block's two end colours each through the gamma table (expanded to 8 bits, mapped,
// packed again), then the block's palette. block_bytes 8 for DXT1, 16 for DXT5.
void dxt_texel(const std::string& file, int width, int x, int y, int block_bytes, double gamma, int rgb[3])
{
    const size_t at = 128 + ((size_t)(y / 4) * (width / 4) + x / 4) * block_bytes + (block_bytes == 16 ? 8 : 0);
    auto u8 = [&](size_t i) { return (int)(unsigned char)file[at + i]; };
    const int c0 = u8(0) | u8(1) << 8, c1 = u8(2) | u8(3) << 8;
    const int index = (u8(4 + y % 4) >> (2 * (x % 4))) & 3;
    int end[2][3];
    for (int e = 0; e < 2; ++e) {
        const int c = e ? c1 : c0;
        int r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
        int v[3] = {r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2};
        for (int ch = 0; ch < 3; ++ch) v[ch] = through_gamma(v[ch], gamma);
        r = v[0] >> 3, g = v[1] >> 2, b = v[2] >> 3;
        end[e][0] = r << 3 | r >> 2;
        end[e][1] = g << 2 | g >> 4;
        end[e][2] = b << 3 | b >> 2;
    }
    for (int ch = 0; ch < 3; ++ch) {
        const int a = end[0][ch], b = end[1][ch];
        if (index < 2)
            rgb[ch] = index ? b : a;
        else if (c0 > c1)
            rgb[ch] = index == 2 ? (2 * a + b) / 3 : (a + 2 * b) / 3;
        else
            rgb[ch] = index == 2 ? (a + b) / 2 : 0;
    }
}

// The gamma a DDS file was made for: 1.8 with capability flag 0x8, else 2.2.
double dds_gamma(const std::string& file)
{
    std::string bytes = TS_read_file(file);
    if (bytes.size() < 112) return 0;
    return (bytes[108] & 0x8) ? 1.8 : 2.2;
}

} // namespace

TEST_F(Textures, PicturesDrawAtOneToOneAsImageMagickDecodesThem)
{
    std::string d = TS_new_dir("pictures");
    convert({"-size", "64x64", "gradient:rgba(255,40,0,1.0)-rgba(0,90,255,0.3)"}, "PNG32:" + d + "rgba.png");
    convert({"-size", "64x64", "gradient:white-black", "-define", "png:color-type=0"}, d + "grey.png");
    convert({"-size", "100x60", "gradient:yellow-blue", "-colors", "12"}, "PNG8:" + d + "pal.png");
    convert({"-size", "64x64", "gradient:green-white", "-fill", "magenta", "-draw", "rectangle 0,0 15,15", "-alpha",
             "off", "-type", "TrueColor"},
            "BMP3:" + d + "key.bmp");
    // DDS pictures of four solid quadrants, so that DXT keeps their colours, bright enough that
    // the gamma on the 16-bit end colours costs no more than a step of them.
    const std::vector<std::string> quads = {"-size", "32x32", "xc:rgba(220,110,110,1)", "xc:rgba(110,220,110,0.5)",
                                            "+append", "(", "-size", "32x32", "xc:rgba(110,110,220,1)",
                                            "xc:rgba(230,230,120,0.75)", "+append", ")", "-append"};
    auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> a = quads;
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    };
    convert(with({"-alpha", "off", "-define", "dds:compression=dxt1"}), "DDS:" + d + "dxt1.dds");
    convert({"-size", "64x64", "xc:rgb(90,90,250)"}, d + "dxt1.png"); // beside the DXT1 file
    convert(with({"-define", "dds:compression=dxt5"}), "DDS:" + d + "dxt5.dds");
    convert(with({"-define", "dds:compression=none"}), "DDS:" + d + "none.dds");
    // A DDS file cut inside its data is not read.
    TS_write_file(d + "cut.dds", TS_read_file(d + "dxt5.dds").substr(0, 1000));

    TS_proc p;
    std::string dir = TS_new_dir("probe");
    ASSERT_TRUE(TS_start(p, {CORVANE_TEXTURE_PROBE_EXE, "--qa_script", "--scenario=draw", "--dir=" + d}, env(), dir));
    ASSERT_TRUE(TS_wait_for_output(p, "ready\n", 60)) << p.out << p.err;
    TS_result shot = TS_run({"import", "-window", "root", dir + "screen.png"}, env(), 60);
    ASSERT_EQ(shot.exit_code, 0) << shot.err;
    TS_result raw = TS_run({"convert", dir + "screen.png", "-depth", "8", "rgb:-"}, {}, 60);
    ASSERT_EQ(raw.out.size(), 1280u * 1024u * 3u);
    TS_write_file(dir + "stop", "");
    TS_result end = TS_finish(p, 30);
    EXPECT_EQ(end.exit_code, 0) << end.out << end.err;
    const std::string& out = p.out;

    // What each request became.
    EXPECT_TRUE(has(out, "rgba: slot 1043 64x64 loaded 64x64 format 0x1908")) << out;
    EXPECT_TRUE(has(out, "grey: slot 1044 64x64 loaded 64x64 format 0x1907")) << out;
    EXPECT_TRUE(has(out, "palette: slot 1045 100x60 loaded 128x64 format 0x1907")) << out;
    EXPECT_TRUE(has(out, "bmp: slot 1046 64x64 loaded 64x64 format 0x1908")) << out;
    EXPECT_TRUE(has(out, "dxt1: slot 1047 64x64 loaded 64x64 format 0x83f0")) << out; // the DDS beside the PNG
    EXPECT_TRUE(has(out, "dxt5: slot 1048 64x64 loaded 64x64 format 0x83f3")) << out;
    EXPECT_TRUE(has(out, "none: slot 1049 64x64 loaded 64x64 format 0x80e1")) << out;
    EXPECT_TRUE(has(out, "missing load: 0\n")) << out;
    EXPECT_TRUE(has(out, "dxt1 png: slot 1051 64x64 loaded 64x64 format 0x1908")) << out; // no DDS preference
    EXPECT_TRUE(has(out, "float: slot 1052 64x64 loaded 64x64 format 0x1907")) << out;
    EXPECT_TRUE(has(out, "cut load: 0\n")) << out;
    EXPECT_TRUE(has(out, "without compressed upload: 0\n")) << out;
    std::string log = TS_read_file(dir + kLog);
    EXPECT_EQ(TS_count(log, "WARNING: texture " + d + "pal.png has a size that is not a power of 2; it may not render "
                            "correctly.\n"),
              1)
        << log;

    // Screen pixel of UI (x, y) from the window's bottom-left corner.
    auto screen = [&](int x, int y, int c) { return (unsigned char)raw.out[(((size_t)(599 - y)) * 1280 + x) * 3 + c]; };
    struct Check {
        const char* label;
        std::string file;
        int x, y, w, h;  // where the picture's texels lie on the window
        double gamma;    // what its colours were made for
        bool blended;    // drawn with its alpha over black
        int tolerance;
        int block_bytes; // DXT: the colours come from the blocks through the gamma
    } checks[] = {
        {"rgba", d + "rgba.png", 10, 20, 64, 64, 1.8, true, 2, 0},
        {"grey", d + "grey.png", 90, 20, 64, 64, 1.8, false, 1, 0},
        {"palette", d + "pal.png", 170, 20, 100, 60, 1.8, false, 1, 0},
        {"bmp", d + "key.bmp", 310, 20, 64, 64, 1.8, true, 1, 0},
        {"dxt1", d + "dxt1.dds", 390, 20, 64, 64, dds_gamma(d + "dxt1.dds"), true, 3, 8},
        {"dxt5", d + "dxt5.dds", 470, 20, 64, 64, dds_gamma(d + "dxt5.dds"), true, 3, 16},
        {"none", d + "none.dds", 550, 20, 64, 64, dds_gamma(d + "none.dds"), true, 2, 0},
        {"dxt1 png", d + "dxt1.png", 10, 120, 64, 64, 1.8, true, 1, 0},
        {"float", d + "grey.png", 90, 120, 64, 64, 1.8, false, 1, 0},
    };
    for (const Check& c : checks) {
        Decoded img = decode(c.file, c.w, c.h);
        ASSERT_EQ(img.w, c.w) << c.label;
        int bad = 0;
        for (int ty = 1; ty < c.h; ty += 6)
            for (int tx = 1; tx < c.w; tx += 6) {
                const int top = c.h - 1 - ty;
                const int a = img.at(tx, top, 3);
                const bool key = c.file.find(".bmp") != std::string::npos && img.at(tx, top, 0) == 255 &&
                                 img.at(tx, top, 1) == 0 && img.at(tx, top, 2) == 255;
                int dxt[3] = {0, 0, 0}, plain[3] = {0, 0, 0};
                if (c.block_bytes) {
                    const std::string bytes = TS_read_file(c.file);
                    dxt_texel(bytes, c.w, tx, top, c.block_bytes, c.gamma, dxt);
                    // Without gamma the blocks decode as ImageMagick decodes them.
                    dxt_texel(bytes, c.w, tx, top, c.block_bytes, 2.5, plain);
                    for (int ch = 0; ch < 3; ++ch)
                        if (std::abs(plain[ch] - img.at(tx, top, ch)) > 1 && bad++ < 5)
                            ADD_FAILURE() << c.label << " block decoding differs from ImageMagick at " << tx << "," << top;
                }
                for (int ch = 0; ch < 3; ++ch) {
                    int want = c.block_bytes ? dxt[ch] : through_gamma(img.at(tx, top, ch), c.gamma);
                    if (c.blended) want = key ? 0 : (want * a + 127) / 255;
                    const int got = screen(c.x + tx, c.y + ty, ch);
                    if (std::abs(got - want) > c.tolerance && bad++ < 5)
                        ADD_FAILURE() << c.label << " texel " << tx << "," << ty << " channel " << ch << ": " << got
                                      << " want " << want;
                }
            }
    }
    // The palette picture's padding to 128 x 64 is black; the missing picture draws the grey placeholder.
    EXPECT_EQ(screen(170 + 110, 20 + 10, 0), 0);
    EXPECT_EQ(screen(170 + 10, 20 + 62, 2), 0);
    for (int ch = 0; ch < 3; ++ch) {
        EXPECT_EQ(screen(630 + 30, 20 + 30, ch), 130) << ch;
        EXPECT_EQ(screen(170 + 30, 120 + 30, ch), 130) << ch; // the cut DDS file
    }
}
