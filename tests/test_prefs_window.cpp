// The preferences window: the proxy port's text read as a number every frame, the target platform
// kept through a copy in a test program under Xvfb, and the real updater's window edited with
// xdotool, its proxy used by the next fetch and saved at the end.
#include "app/prefs_window.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

TEST(PrefsWindow, PortTexts)
{
    EXPECT_EQ(prefs_port_number(""), 0);
    EXPECT_EQ(prefs_port_number("8080"), 8080);
    EXPECT_EQ(prefs_port_number("+80"), 80);
    EXPECT_EQ(prefs_port_number("-80"), -80);
    EXPECT_EQ(prefs_port_number("80a"), -1);
    EXPECT_EQ(prefs_port_number(" 80"), -1);
    EXPECT_EQ(prefs_port_number("123456789"), 123456789);
    EXPECT_EQ(prefs_port_number("1234567890"), -1);
    EXPECT_EQ(prefs_port_number("0000000000"), -1);
    EXPECT_EQ(prefs_port_number("+"), -1);
    EXPECT_EQ(prefs_port_number("-"), -1);
}

// Screen pixel (sx, sy) of the 800 x 600 window at the screen's corner, dark (the open list)?
static bool dark_at(const TS_shot& s, int sx, int sy)
{
    int c[3] = {255, 255, 255};
    s.rgb_at(sx, sy, c);
    return c[0] + c[1] + c[2] < 300;
}

// Started with "--os=ALL", the window shows the first item without choosing it: closing keeps the
// platform 0; picking "Linux" from the list makes it 3. The popup is 700 x 380 at (50, 110) of the
// window, so its list box is at screen (310, 184) and its right close box at (734, 119).
TEST(PrefsWindow, AllStaysUntilPicked)
{
    TS_xvfb x;
    ASSERT_TRUE(TS_xvfb_start(x, "1280x1024x24"));
    const std::string dir = TS_new_dir("prefs-os");
    TS_proc p;
    ASSERT_TRUE(TS_start(p, {CORVANE_PREFS_PROBE_EXE, "--os=ALL"}, TS_xvfb_env(x), dir));
    ASSERT_TRUE(TS_wait_for_output(p, "target 0\n", 60)) << p.out << p.err;
    auto xdo = [&](const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        return TS_run(argv, TS_xvfb_env(x), 20).exit_code == 0;
    };
    EXPECT_TRUE(xdo({"key", "Escape"}));
    ASSERT_TRUE(TS_wait_for_output(p, "closed 0\n", 30)) << p.out;

    // Press on the box, hold while the list opens, let go over its third line.
    EXPECT_TRUE(xdo({"mousemove", "311", "184", "mousemove", "310", "184", "mousedown", "1"}));
    TS_shot open;
    for (int i = 0; i < 60 && !(open.ok() && dark_at(open, 322, 206)); ++i)
        open = TS_screenshot(x, dir + "list-open.png", 800, 600);
    EXPECT_TRUE(dark_at(open, 322, 206)) << dir << "list-open.png";
    EXPECT_TRUE(xdo({"mousemove", "290", "200", "mousemove", "290", "212", "mouseup", "1"}));
    TS_shot picked;
    for (int i = 0; i < 60 && !(picked.ok() && !dark_at(picked, 322, 206)); ++i)
        picked = TS_screenshot(x, dir + "linux.png", 800, 600);
    EXPECT_TRUE(xdo({"mousemove", "734", "119", "click", "1"}));
    ASSERT_TRUE(TS_wait_for_output(p, "closed 3\n", 30)) << p.out;
    TS_result r = TS_finish(p, 30);
    EXPECT_EQ(r.exit_code, 0) << r.err;
}
