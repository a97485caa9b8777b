// The real window under Xvfb with Mesa's software OpenGL: its size and place on large and small
// screens, the log lines, the pixels of a drawn frame, the initial OpenGL state, full-screen
// modes, multisampling, the second window, and closing the window to end the frame loop.
#include "support/test_support.h"
#include "support/wizard_run.h"

#include <gtest/gtest.h>
#include <initializer_list>
#include <map>
#include <sstream>

namespace {

const char* kLog = "Corvane Installer Log.txt";
const char* kVsyncWarning =
    "Warning: unable to set vsync - your video card's driver does not support setting v-sync from Corvane.\n";

struct WinInfo {
    bool found = false;
    int x = 0, y = 0, w = 0, h = 0;
    std::string id;
    std::string raw;
};

int field(const std::string& text, const std::string& label)
{
    size_t at = text.find(label);
    if (at == std::string::npos) return -99999;
    return atoi(text.c_str() + at + label.size());
}

WinInfo xwininfo(const TS_xvfb& x)
{
    WinInfo info;
    TS_result r = TS_run({"xwininfo", "-name", "Hangaron"}, TS_xvfb_env(x), 20);
    info.raw = r.out + r.err;
    if (r.exit_code != 0) return info;
    info.found = true;
    info.x = field(r.out, "Absolute upper-left X:");
    info.y = field(r.out, "Absolute upper-left Y:");
    info.w = field(r.out, "Width:");
    info.h = field(r.out, "Height:");
    size_t at = r.out.find("Window id: ");
    if (at != std::string::npos) {
        std::istringstream in(r.out.substr(at + 11));
        in >> info.id;
    }
    return info;
}

// The window was found at (x, y) and is w x h.
testing::AssertionResult placed(const WinInfo& w, int x, int y, int width, int height)
{
    if (w.found && w.x == x && w.y == y && w.w == width && w.h == height) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "window at " << w.x << "," << w.y << " " << w.w << "x" << w.h << "\n"
                                       << w.raw;
}

// Every one of the parts is in out; a failure names each part missing.
testing::AssertionResult has_all(const std::string& out, std::initializer_list<const char*> parts)
{
    std::string missing;
    for (const char* part : parts)
        if (out.find(part) == std::string::npos) missing += std::string("no ") + part + "\n";
    if (missing.empty()) return testing::AssertionSuccess();
    return testing::AssertionFailure() << missing << "in\n" << out;
}

// The probe, running in its own folder (where its log lands) until it has drawn a few frames.
struct Probe {
    TS_proc proc;
    std::string dir;
    bool ready = false;
};

// modes: the display modes the screen says it offers, the desktop's first (the probe's --modes).
void start_probe(Probe& p, const TS_xvfb& x, std::vector<std::string> args, const std::string& modes = "")
{
    p.dir = TS_new_dir("probe");
    args.insert(args.begin(), CORVANE_WINDOW_PROBE_EXE);
    if (!modes.empty()) args.push_back("--modes=" + modes);
    ASSERT_TRUE(TS_start(p.proc, args, TS_xvfb_env(x), p.dir));
    p.ready = TS_wait_for_output(p.proc, "ready\n", 60);
    ASSERT_TRUE(p.ready) << p.proc.out << p.proc.err;
}

// The probe started as above and run to its end.
TS_result run_probe(Probe& p, const TS_xvfb& x, std::vector<std::string> args, const std::string& modes = "")
{
    start_probe(p, x, std::move(args), modes);
    return TS_finish(p.proc, 60);
}

// Asks the window to close as a window manager would and waits for the probe to end.
TS_result close_probe(Probe& p, const TS_xvfb& x, const WinInfo& w)
{
    TS_result c = TS_run({CORVANE_X_CLOSE_EXE, w.id}, TS_xvfb_env(x), 20);
    EXPECT_EQ(c.exit_code, 0) << c.err;
    return TS_finish(p.proc, 60);
}

class Window : public testing::Test {
protected:
    TS_xvfb x;
    void start_x(const std::string& screen) { ASSERT_TRUE(TS_xvfb_start(x, screen)) << "Xvfb did not start"; }
};

} // namespace

TEST_F(Window, LargeScreenWindowDrawsInUIUnitsAndClosingEndsTheLoop)
{
    start_x("1280x1024x24");
    Probe p;
    start_probe(p, x, {});
    WinInfo w = xwininfo(x);
    ASSERT_TRUE(w.found) << w.raw;
    EXPECT_TRUE(placed(w, 0, 0, 800, 600));

    TS_shot s = TS_screenshot(x, p.dir + "screen.png", 1280, 1024);
    ASSERT_TRUE(s.ok());
    // UI (ux, uy) from the window's bottom-left corner is screen (ux, 599 - uy).
    auto ui = [&](int ux, int uy) { return s.at(w.x + ux, w.y + 599 - uy); };
    const std::string clear = "51,102,153", red = "255,0,0", blue = "0,0,255";
    EXPECT_EQ(ui(5, 5), clear);
    EXPECT_EQ(ui(795, 595), clear);
    EXPECT_EQ(ui(200, 100), red); // the quad from (100, 50) to (300, 150)
    EXPECT_EQ(ui(101, 51), red);
    EXPECT_EQ(ui(298, 148), red);
    EXPECT_EQ(ui(200, 160), clear);
    EXPECT_EQ(ui(200, 40), clear);
    EXPECT_EQ(ui(450, 100), clear); // wound the other way: culled
    EXPECT_EQ(ui(625, 75), blue);   // only the scissor box (600, 50)-(650, 100) of the blue quad
    EXPECT_EQ(ui(575, 75), clear);
    EXPECT_EQ(ui(625, 120), clear);
    EXPECT_EQ(s.at(900, 300), "0,0,0"); // the screen beside the window

    TS_result r = close_probe(p, x, w);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_TRUE(has_all(r.out, {"frames: 1 quit: 1\n", "shut down\n"}));
    EXPECT_FALSE(xwininfo(x).found);

    std::string log = TS_read_file(p.dir + kLog);
    EXPECT_EQ(TS_count(log, kVsyncWarning), 1) << log; // Mesa under Xvfb takes no swap interval
    EXPECT_EQ(log.find("The window was last"), std::string::npos) << log;
}

TEST_F(Window, InitialOpenGLStateAndTwoDView)
{
    start_x("1280x1024x24");
    Probe p;
    TS_result r = run_probe(p, x, {"--report", "--frames=5"});
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    const char* lines[] = {
        "window: created\n",
        "bind cache reset: yes\n",
        "size: 800x600\n",
        "gl viewport: 0 0 800 600\n",
        "gl projection: 0.002500 0.003333 -1.000000 -1.000000 -1.000000 -0.000000\n",
        "gl front face cw: 1\n",
        "gl cull back: 1\n",
        "gl depth func lequal: 1\n",
        "gl depth write: 0\n",
        "gl unpack alignment: 1\n",
        "gl pack alignment: 1\n",
        "gl blend func: 1\n",
        "gl alpha func greater: 1\n",
        "gl enabled cull/dither/color material/vertex array: 1111\n",
        "gl disabled scissor/stencil/logic op/normalize/blend/depth test: 000000\n",
        "fsaa achieved: 0\n",
        "gl multisample: 1 samples 0\n",
    };
    for (const char* l : lines) EXPECT_NE(r.out.find(l), std::string::npos) << l << r.out;
}

TEST_F(Window, TooLargeWindowFallsBackTo1024By768)
{
    start_x("1280x1024x24");
    Probe p;
    start_probe(p, x, {"--window=1600x1200"});
    WinInfo w = xwininfo(x);
    ASSERT_TRUE(w.found) << w.raw;
    EXPECT_TRUE(placed(w, 0, 0, 1024, 768));
    TS_result r = close_probe(p, x, w);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_TRUE(has_all(TS_read_file(p.dir + kLog), {"The window was last: 1600,1200 and my monitor is 1280,1024.  "
                                                     "Setting window to 1024x768 it fits on screen.\n"}));
}

TEST_F(Window, MonitorOffsetsPlaceTheWindow)
{
    start_x("1280x1024x24");
    Probe p;
    start_probe(p, x, {"--monitor_offset_x=100", "--monitor_offset_y=40"});
    WinInfo w = xwininfo(x);
    ASSERT_TRUE(w.found) << w.raw;
    EXPECT_TRUE(placed(w, 100, 40, 800, 600));
    TS_result r = close_probe(p, x, w);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

TEST_F(Window, SmallScreenAsksForFullScreenWithoutBreaking)
{
    start_x("800x600x24");
    Probe p;
    start_probe(p, x, {});
    // Full screen at 1024 x 768 is asked for; Xvfb has no such mode, so the display stays as it
    // is and the window keeps its 800 x 600, which fits (borderless, as high as the screen).
    EXPECT_TRUE(has_all(p.proc.out, {"full screen flag: 0\n", "mode pending: 0\n"}));
    WinInfo w = xwininfo(x);
    ASSERT_TRUE(w.found) << w.raw;
    EXPECT_TRUE(placed(w, 0, 0, 800, 600));
    TS_shot s = TS_screenshot(x, p.dir + "screen.png", 800, 600);
    ASSERT_TRUE(s.ok());
    EXPECT_EQ(s.at(0, 0), "51,102,153");
    EXPECT_EQ(s.at(799, 599), "51,102,153");

    TS_result r = close_probe(p, x, w);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_TRUE(has_all(r.out, {"after restore full screen flag: 0\n", "shut down\n"}));
    std::string log = TS_read_file(p.dir + kLog);
    EXPECT_EQ(log.find("The window was last"), std::string::npos) << log; // 800 x 600 is not larger

    // Wide enough but too low, 1280 x 720: the real program's window lies inside the screen and
    // its wizard shows whole, buttons included: Next reaches Pick Destination.
    TS_xvfb_stop(x);
    start_x("1280x720x24");
    WR_run app;
    ASSERT_TRUE(WR_prepare(app, x, "small-screen"));
    TS_write_file(app.data + "corvane_install_10.txt", TS_new_dir("Sim Copy") + "\n");
    ASSERT_TRUE(WR_launch(app, {})) << app.proc.err;
    w = xwininfo(x);
    EXPECT_TRUE(w.found && w.x >= 0 && w.y >= 0 && w.x + w.w <= 1280 && w.y + w.h <= 720) << w.raw;
    // The step list's current title (colour 77) in the row from y, and Quit's and Next's words (navy).
    auto shows = [](const WR_shot& s, int y) {
        auto has = [&](int x0, int y0, WR_rgb c) { return s.exact(x0, x0 + 40, y0, y0 + 15, c) > 5; };
        return has(28, y, {51, 51, 204}) && has(38, 16, {23, 40, 60}) && has(699, 16, {23, 40, 60});
    };
    EXPECT_TRUE(shows(WR_wait_for(app, "welcome", [&](const WR_shot& s) { return shows(s, 476); }), 476));
    ASSERT_TRUE(WR_click(app, 719, 23) && WR_move(app, 500, 250));
    EXPECT_TRUE(shows(WR_wait_for(app, "pick", [&](const WR_shot& s) { return shows(s, 456); }), 456));
    EXPECT_EQ(TS_count(WR_log(app), "The desktop is 1280x720 and has no 1024x768 mode: the window stays 800x600, "
                                    "not full screen.\n"),
              1);
    ASSERT_TRUE(WR_click(app, 58, 23));
    EXPECT_EQ(WR_finish(app, 60).exit_code, 0);

    // 1024 x 768 is listed but the screen does not take it: the same window, inside the screen.
    Probe q;
    start_probe(q, x, {}, "1280x720x24x60,1024x768x24x60");
    EXPECT_NE(q.proc.out.find("mode pending: 1\n"), std::string::npos) << q.proc.out;
    EXPECT_NE(q.proc.out.find("size: 800x600\n"), std::string::npos) << q.proc.out; // what it draws into
    w = xwininfo(x);
    EXPECT_TRUE(w.w == 800 && w.h == 600 && w.x >= 0 && w.y >= 0 && w.x + 800 <= 1280 && w.y + 600 <= 720) << w.raw;
    EXPECT_EQ(close_probe(q, x, w).exit_code, 0);
    log = TS_read_file(q.dir + kLog);
    EXPECT_EQ(log.find("has no 1024x768 mode"), std::string::npos) << log;
    EXPECT_EQ(TS_count(log, "The desktop is 1280x720 and refused its 1024x768 mode: the window stays 800x600, not "
                            "full screen.\n"),
              1);
    // A desktop at 75 Hz takes 1024 x 768 at the 60 Hz on offer; the modes as wide but lower, even
    // at the desktop's rate or listed first, are not it.
    TS_xvfb_stop(x);
    start_x("1024x768x24");
    r = run_probe(q, x, {"--frames=5"}, "832x624x24x75,1024x600x24x60,1024x600x24x75,1024x768x24x60");
    EXPECT_TRUE(has_all(r.out, {"mode pending: 1\n", "fullscreen window: 1\nwindow rect: 0 0 1024 768\n"}));
    EXPECT_EQ(TS_read_file(q.dir + kLog).find("has no 1024x768 mode"), std::string::npos);
    // A screen of 1024 x 600 takes that mode, which is still not the 1024 x 768 asked for.
    TS_xvfb_stop(x);
    start_x("1024x600x24");
    r = run_probe(q, x, {"--frames=5"}, "1024x600x24x60,1024x768x24x60");
    EXPECT_NE(r.out.find("size: 800x600\nfsaa achieved: 0\nfullscreen window: 0\n"), std::string::npos) << r.out;
    EXPECT_EQ(TS_count(TS_read_file(q.dir + kLog), "The desktop is 1024x600 and refused its 1024x768 mode"), 1);

    // Xorg's dummy driver at 800 x 600 lists 1024 x 768 without the memory for it: an X error in the switch.
    const char* xorg = "Section \"Device\"\n Identifier \"c\"\n Driver \"dummy\"\n VideoRam 2000\nEndSection\n"
                       "Section \"ServerFlags\"\n Option \"AutoAddDevices\" \"false\"\nEndSection\n";
    if (!TS_xvfb_start(x, "", 20, xorg))
        GTEST_SKIP() << "Xorg with the dummy video driver did not start: see its log in " << TS_scratch() << "xorg-*/";
    auto xrandr = [&](const std::string& a) { return TS_sh("DISPLAY=" + x.display + " timeout 20 xrandr " + a); };
    xrandr("--newmode 1024x768 65 1024 1048 1184 1344 768 771 777 806");
    xrandr("--addmode DUMMY0 1024x768");
    // xrandr marks the output's mode with '*', in the 800 x 600 row above the 1024 x 768 one.
    auto desktop_mode_set = [&] { const std::string m = xrandr(""); return m.find('*') < m.find("\n   1024x768 "); };
    start_probe(q, x, {});
    EXPECT_NE(q.proc.out.find("mode pending: 1\nwindow: created\n"), std::string::npos) << q.proc.out;
    EXPECT_NE(q.proc.out.find("size: 800x600\nfsaa achieved: 0\nfullscreen window: 0\nwindow rect: 0 0 800 600\n"),
              std::string::npos);
    EXPECT_TRUE(desktop_mode_set()) << xrandr("");
    EXPECT_EQ(close_probe(q, x, xwininfo(x)).exit_code, 0);
    EXPECT_EQ(TS_count(TS_read_file(q.dir + kLog), "The desktop is 800x600 and refused its 1024x768 mode: the window "
                                                   "stays 800x600, not full screen.\n"),
              1);
    EXPECT_TRUE(desktop_mode_set()) << xrandr("");
}

TEST_F(Window, TinyScreenLogsTheFallback)
{
    start_x("640x480x24");
    Probe p;
    TS_result r = run_probe(p, x, {"--frames=5"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    // Not even 800 x 600 fits: full screen at 1024 x 768 all the same.
    EXPECT_TRUE(has_all(r.out, {"full screen flag: 1\n", "size: 1024x768\n"}));
    EXPECT_TRUE(has_all(TS_read_file(p.dir + kLog), {"The window was last: 800,600 and my monitor is 640,480.  "
                                                     "Setting window to 1024x768 it fits on screen.\n"}));
}

TEST_F(Window, ExactFullScreenModeReachesTheWindowAndIsRestored)
{
    start_x("1280x1024x24");
    Probe p;
    TS_result r = run_probe(p, x, {"--fullscreen=desktop", "--frames=5"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_TRUE(has_all(r.out, {"mode pending: 1\n", "fullscreen window: 1\n", "size: 1280x1024\n",
                                "after restore fullscreen window: 0\n"}));

    // A mode the screen does not have leaves the display alone.
    Probe q;
    r = run_probe(q, x, {"--fullscreen=1280x1024x24x75", "--frames=5"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_TRUE(has_all(r.out, {"mode pending: 0\n", "fullscreen window: 0\n"}));
}

TEST_F(Window, MultisampleLadderRemakesTheWindow)
{
    start_x("1280x1024x24");
    for (int wanted : {1, 4}) {
        Probe p;
        TS_result r = run_probe(p, x, {"--fsaa=" + std::to_string(wanted), "--report", "--frames=5"});
        ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
        int achieved = field(r.out, "fsaa achieved: ");
        EXPECT_GE(achieved, 1) << r.out;
        EXPECT_LE(achieved, wanted) << r.out;
        // The surface has at least the samples asked for (Mesa offers only 4).
        EXPECT_NE(r.out.find("gl multisample: 1 samples "), std::string::npos) << r.out;
        EXPECT_GE(field(r.out, "gl multisample: 1 samples "), 2 << (achieved - 1)) << r.out;
        EXPECT_NE(r.out.find("size: 800x600\n"), std::string::npos) << r.out;
        // The window was made twice, and warned each time.
        EXPECT_EQ(TS_count(TS_read_file(p.dir + kLog), kVsyncWarning), 1);
    }
}

TEST_F(Window, SecondWindowOpensBesideTheFirstAndCloses)
{
    start_x("1280x1024x24");
    Probe p;
    TS_result r = run_probe(p, x, {"--two", "--frames=5"});
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("count: 2\nsecond window: yes\nsecond rect: 800 0 800 600\nbind cache reset: yes\n"
                         "count: 1\nsecond window: no\nbind cache reset: yes\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(TS_count(TS_read_file(p.dir + kLog), kVsyncWarning), 2);
}

TEST_F(Window, NoWindowWithoutTheWindowClass)
{
    start_x("1280x1024x24");
    std::string dir = TS_new_dir("probe");
    TS_result r = TS_run({CORVANE_WINDOW_PROBE_EXE, "--no_window_class", "--frames=3"}, TS_xvfb_env(x), 60, dir);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("window: failed\n"), std::string::npos) << r.out;
}
