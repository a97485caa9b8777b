// The OpenGL state cache, the texture-unit cache with its combiner recipes, the render options and
// the texture manager: in process where no OpenGL is needed, otherwise through texture_probe in a
// window under Xvfb with Mesa's software OpenGL (and apitrace to see which calls reach OpenGL).
#include "foundation/tunables.h"
#include "graphics/OGL_extensions.h"
#include "graphics/OGL_state.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
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
        run.r = TS_run(args, env(), 120, run.dir);
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
    ASSERT_EQ(sections.size(), 21u) << dump.out.substr(0, 4000);
    for (size_t i = 0; i + 1 < sections.size(); i += 2) {
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
    for (size_t i = 10; i < 20; i += 2) {
        const std::string& last = sections[i].back();
        if (i != 10) {
            EXPECT_TRUE(has(last, "glActiveTextureARB(texture = GL_TEXTURE0)")) << i << last;
        }
    }
}
