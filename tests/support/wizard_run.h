// Running the real updater's wizard under Xvfb for GUI scenarios: a scratch folder per run, the
// pointer moved and pressed in the wizard's own coordinates, screenshots read pixel by pixel.
//
// Use:
//   TS_xvfb x;  ASSERT_TRUE(TS_xvfb_start(x, "1280x1024x24"));
//   WR_run r;   ASSERT_TRUE(WR_start(r, x, "welcome", {"/some/folder"}, {{"LANG", "ru_RU.UTF-8"}}));
//   WR_shot s = WR_wait_for(r, "first", [](const WR_shot& s) { return s.at(58, 23).g > 100; });
//   WR_click(r, 719, 23);                          // Next, in UI units
//   TS_result end = WR_finish(r, 60);              // or WR_close(r) first
//
// Each run gets its own folder below the test program's scratch folder (WR_run::dir) holding
//   prog/    a copy of the updater (its log "Corvane Installer Log.txt" lands there),
//   home/    HOME,  data/  XDG_DATA_HOME (preferences and install registry: WR_run::data),
//   tmp/     TMPDIR,  shots/  every screenshot as NAME.png (look at them when a check fails),
//   bin/     first on PATH: stand-ins such as zenity or xdg-open written with WR_stand_in.
// Files a scenario needs before the start (a registry, preferences) go into r.data after
// WR_prepare and before WR_launch; WR_start does both at once.
//
// Coordinates: the window is 800 x 600 at the screen's top-left corner (Xvfb has no window
// manager). UI point (ux, uy), from the window's bottom-left corner with y upwards, is screen
// pixel (ux, 599 - uy). WR_shot::at takes UI coordinates too, so a test reads a pixel where the
// program drew it. The program redraws every frame; WR_wait_for takes screenshots until a
// condition holds (bounded by time and count), which is how a test waits for a frame showing
// the effect of its input, never by sleeping.
#pragma once
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

struct WR_rgb {
    int r = -1, g = -1, b = -1;
    int sum() const { return r + g + b; }
    bool operator==(const WR_rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const WR_rgb& o) const { return !(*this == o); }
    bool near(const WR_rgb& o, int tol) const
    {
        return std::abs(r - o.r) <= tol && std::abs(g - o.g) <= tol && std::abs(b - o.b) <= tol;
    }
    std::string str() const { return std::to_string(r) + "," + std::to_string(g) + "," + std::to_string(b); }
};

// The window's 800 x 600 pixels as 8-bit RGB rows from the top.
struct WR_shot {
    std::string rgb;
    std::string png; // where the picture was kept
    bool ok() const { return rgb.size() == 800u * 600u * 3u; }
    // The pixel at UI (ux, uy); r == -1 outside the window or without a picture.
    WR_rgb at(int ux, int uy) const
    {
        WR_rgb c;
        if (!ok() || ux < 0 || ux >= 800 || uy < 0 || uy >= 600) return c;
        const size_t o = ((size_t)(599 - uy) * 800 + (size_t)ux) * 3;
        c.r = (unsigned char)rgb[o];
        c.g = (unsigned char)rgb[o + 1];
        c.b = (unsigned char)rgb[o + 2];
        return c;
    }
    // Pixels of the box (ends included) for which pred holds.
    int count(int x0, int x1, int y0, int y1, const std::function<bool(WR_rgb)>& pred) const
    {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                if (pred(at(x, y))) ++n;
        return n;
    }
    // Pixels of the box (ends included) of exactly the colour c.
    int exact(int x0, int x1, int y0, int y1, WR_rgb c) const
    {
        return count(x0, x1, y0, y1, [c](WR_rgb p) { return p == c; });
    }
    // Text ink in a box: pixels clearly darker than the light ground (dark) or lighter than a dark one.
    int ink(int x0, int x1, int y0, int y1, bool dark) const
    {
        return count(x0, x1, y0, y1, [dark](WR_rgb c) { return c.r >= 0 && (dark ? c.sum() < 450 : c.sum() > 500); });
    }
    // Lowest and highest UI row and leftmost and rightmost column of the pixels for which pred
    // holds in the box; all -1 when none does.
    struct Box {
        int left = -1, right = -1, bottom = -1, top = -1;
    };
    Box extent(int x0, int x1, int y0, int y1, const std::function<bool(WR_rgb)>& pred) const
    {
        Box b;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                if (!pred(at(x, y))) continue;
                if (b.left < 0 || x < b.left) b.left = x;
                if (x > b.right) b.right = x;
                if (b.bottom < 0 || y < b.bottom) b.bottom = y;
                if (y > b.top) b.top = y;
            }
        return b;
    }
};

struct WR_run {
    const TS_xvfb* x = nullptr;
    std::string dir;     // the run's folder (ends in '/')
    std::string program; // dir + "prog/corvane-updater"
    std::string data;    // XDG_DATA_HOME (ends in '/')
    std::string tmp;     // TMPDIR (ends in '/')
    TS_proc proc;
    int shots = 0;
    size_t asked = 0; // the log up to the last view that asked and was on screen (WR_asks)
};

// The environment of a run: Mesa on x, the user's folders in the run's folder, English unless
// extra says otherwise.
inline std::map<std::string, std::string> WR_env(const WR_run& r, const std::map<std::string, std::string>& extra = {})
{
    std::map<std::string, std::string> env = TS_xvfb_env(*r.x);
    env["HOME"] = r.dir + "home";
    env["XDG_DATA_HOME"] = r.data;
    env["XDG_CONFIG_HOME"] = r.dir + "config";
    env["TMPDIR"] = r.tmp;
    const char* path = getenv("PATH");
    env["PATH"] = r.dir + "bin:" + (path ? path : "/usr/bin:/bin");
    env["LANG"] = "en_US.UTF-8";
    env["LANGUAGE"] = "";
    env["LC_ALL"] = "";
    env["LC_MESSAGES"] = "";
    for (const auto& e : extra) env[e.first] = e.second;
    return env;
}

// background.png as the 800 x 600 window shows it: the picture's bottom-left 800 x 600 texels.
inline WR_shot WR_backdrop_picture()
{
    WR_shot picture;
    const std::string raw = TS_scratch() + "backdrop-picture.rgb";
    TS_run({"convert", std::string(CORVANE_TEST_SOURCE_DIR) + "/../resources/background.png", "-crop", "800x600+0+424",
            "+repage", "-depth", "8", "rgb:" + raw});
    picture.rgb = TS_read_file(raw);
    return picture;
}

// A suite of wizard screens run once per parameter (a language): one Xvfb for the suite and the
// backdrop picture to compare the screens' untouched parts with.
template <class Param> class WR_screens : public testing::TestWithParam<Param> {
protected:
    static TS_xvfb x;
    static WR_shot picture;
    static void SetUpTestSuite()
    {
        if (!TS_xvfb_start(x, "1280x1024x24")) return;
        picture = WR_backdrop_picture();
    }
    static void TearDownTestSuite() { TS_xvfb_stop(x); }
    void SetUp() override
    {
        ASSERT_FALSE(x.display.empty()) << "no Xvfb";
        ASSERT_TRUE(picture.ok());
    }
};
template <class Param> TS_xvfb WR_screens<Param>::x;
template <class Param> WR_shot WR_screens<Param>::picture;

// Makes the run's folders and copies the program; nothing is started.
inline bool WR_prepare(WR_run& r, const TS_xvfb& x, const std::string& name)
{
    r.x = &x;
    r.dir = TS_new_dir(name);
    r.data = r.dir + "data/";
    r.tmp = r.dir + "tmp/";
    r.program = r.dir + "prog/corvane-updater";
    TS_sh("mkdir -p '" + r.dir + "prog' '" + r.dir + "home' '" + r.data + "' '" + r.tmp + "' '" + r.dir + "config' '" +
          r.dir + "shots' '" + r.dir + "bin'");
    TS_sh(std::string("cp '") + CORVANE_UPDATER_EXE + "' '" + r.program + "'");
    return access(r.program.c_str(), X_OK) == 0;
}

// A program the updater finds first on PATH (a stand-in for zenity or xdg-open): a /bin/sh
// script with that body. A stand-in that records its arguments can write them, one a line, with
//   for a in "$@"; do printf '%s\n' "$a"; done >> "$0.args"
// and the test reads r.dir + "bin/NAME.args".
inline void WR_stand_in(const WR_run& r, const std::string& name, const std::string& body)
{
    TS_write_script(r.dir + "bin/" + name, body + "\n");
}

inline std::string WR_log(const WR_run& r)
{
    return TS_read_file(r.dir + "prog/" + TS_LOG_NAME);
}

// Starts the prepared program with its arguments and waits until start-up is over (the log
// holds the OS-folder lines) and its window shows.
inline bool WR_launch(WR_run& r, const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {},
                      double timeout_s = 90)
{
    std::vector<std::string> argv = {r.program};
    argv.insert(argv.end(), args.begin(), args.end());
    r.asked = 0;
    if (!TS_start(r.proc, argv, WR_env(r, env), r.dir)) return false;
    if (!TS_wait_for_file_text(r.proc, r.dir + "prog/" + TS_LOG_NAME, "os_dir_prefs\t", timeout_s)) return false;
    return !TS_find_window(*r.x, "Hangaron", 30).empty();
}

inline bool WR_start(WR_run& r, const TS_xvfb& x, const std::string& name, const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env = {})
{
    return WR_prepare(r, x, name) && WR_launch(r, args, env);
}

inline bool WR_xdo(const WR_run& r, const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    return TS_run(argv, TS_xvfb_env(*r.x), 20).exit_code == 0;
}

// Moves the pointer to UI (ux, uy); it passes beside the point first, so the window sees a move
// even when the pointer already was there.
inline bool WR_move(const WR_run& r, int ux, int uy)
{
    const std::string sx = std::to_string(ux), sy = std::to_string(599 - uy);
    return WR_xdo(r, {"mousemove", std::to_string(ux + 1), sy}) && WR_xdo(r, {"mousemove", sx, sy});
}
inline bool WR_press(const WR_run& r, int ux, int uy)
{
    return WR_move(r, ux, uy) && WR_xdo(r, {"mousedown", "1"});
}
inline bool WR_release(const WR_run& r)
{
    return WR_xdo(r, {"mouseup", "1"});
}
inline bool WR_click(const WR_run& r, int ux, int uy)
{
    return WR_move(r, TS_apart(ux), uy) && WR_xdo(r, {"click", "1"});
}

// Waits until the next view that asks (an alert, a note, a question) has been on screen for the
// double-click time, so that a click answers it.
inline bool WR_asks(WR_run& r, double timeout_s = 60)
{
    return TS_wait_asking(r.proc, r.dir + "prog/" + TS_LOG_NAME, r.asked, timeout_s);
}

// Keys and text as xdotool names and types them ("Return", "ctrl+v").
inline bool WR_key(const WR_run& r, const std::string& key)
{
    return WR_xdo(r, {"key", key});
}
inline bool WR_type(const WR_run& r, const std::string& text)
{
    return WR_xdo(r, {"type", "--delay", "20", text});
}

// One screenshot of the window, kept as shots/NAME.png.
inline WR_shot WR_screenshot(WR_run& r, const std::string& name)
{
    WR_shot s;
    s.png = r.dir + "shots/" + name + ".png";
    const std::string raw = r.dir + "shots/" + name + ".rgb";
    if (TS_run({"import", "-window", "root", "-crop", "800x600+0+0", "+repage", s.png}, TS_xvfb_env(*r.x), 60)
            .exit_code != 0)
        return s;
    if (TS_run({"convert", s.png, "-depth", "8", "rgb:" + raw}, {}, 60).exit_code != 0) return s;
    s.rgb = TS_read_file(raw);
    unlink(raw.c_str());
    ++r.shots;
    return s;
}

// Screenshots until ok holds (at most 60 of them and timeout_s seconds); the last one comes back
// either way, so the test's own checks report what was there.
inline WR_shot WR_wait_for(WR_run& r, const std::string& name, const std::function<bool(const WR_shot&)>& ok,
                           double timeout_s = 30)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds((long)(timeout_s * 1000));
    WR_shot s;
    for (int i = 0; i < 60; ++i) {
        s = WR_screenshot(r, name);
        if (s.ok() && ok(s)) break;
        if (std::chrono::steady_clock::now() > deadline) break;
        usleep(100 * 1000);
    }
    return s;
}

// Clicks at UI (ux, uy), again until took(wait_s) sees the click's effect (see TS_act_until); the
// caller moves the pointer on only after that. A slow frame takes the press together with the
// moves sent after it, and would find the pointer where they left it, not on the button.
inline bool WR_click_until(const WR_run& r, int ux, int uy, const std::function<bool(double wait_s)>& took,
                           double timeout_s = 60)
{
    return TS_act_until([&](double) { WR_click(r, ux, uy); }, took, timeout_s);
}
// A took for WR_click_until: a screenshot (kept as NAME.png) for which ok holds within wait_s.
inline std::function<bool(double)> WR_shows(WR_run& r, const std::string& name,
                                            const std::function<bool(const WR_shot&)>& ok)
{
    return [&r, name, ok](double wait_s) {
        const WR_shot s = WR_wait_for(r, name, ok, wait_s);
        return s.ok() && ok(s);
    };
}

// Waits for the program's end (killing it after timeout_s) and collects its output.
inline TS_result WR_finish(WR_run& r, double timeout_s = 60)
{
    return TS_finish(r.proc, timeout_s);
}

// Closes the window as a window manager would, then waits for the end.
inline TS_result WR_close(WR_run& r, double timeout_s = 60)
{
    const std::string id = TS_find_window(*r.x, "Hangaron", 10);
    if (!id.empty()) TS_close_window(*r.x, id);
    return WR_finish(r, timeout_s);
}
