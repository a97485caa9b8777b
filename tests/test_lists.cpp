// Text lists, hover help and the pointer in the real window under Xvfb with Mesa: a test program
// runs the frame with lists in the main window and in popup 2, xdotool presses, holds, drags and
// types, and the test reads what the program printed, the pointer image through XFixes and the
// screen.
#include "support/test_support.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <thread>

namespace {

class Lists : public testing::Test {
protected:
    TS_xvfb x;
    TS_proc p;
    std::string win, dir;
    size_t mark = 0; // where the output not yet looked at begins

    void SetUp() override
    {
        ASSERT_TRUE(TS_xvfb_start(x, "1280x1024x24")) << "Xvfb did not start";
        dir = TS_new_dir("lists");
    }
    void TearDown() override
    {
        if (p.pid > 0) {
            TS_run({CORVANE_X_CLOSE_EXE, win}, TS_xvfb_env(x), 20);
            TS_finish(p, 20);
        }
    }

    void xdo(const std::vector<std::string>& args)
    {
        std::vector<std::string> argv = {"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        TS_result r = TS_run(argv, TS_xvfb_env(x), 20);
        ASSERT_EQ(r.exit_code, 0) << r.err;
    }
    // Pointer to (x, y) in the window's UI units (y up from the bottom of the 800 x 600 window).
    void move(int ux, int uy) { xdo({"mousemove", "--window", win, std::to_string(ux), std::to_string(600 - uy)}); }
    void click(int ux, int uy)
    {
        move(ux, uy);
        xdo({"click", "1"});
    }
    void pause(double s) { std::this_thread::sleep_for(std::chrono::milliseconds((long)(s * 1000))); }

    // Waits until text shows in the output after the mark; the mark then moves past it.
    bool expect_line(const std::string& text, double timeout_s = 10) { return TS_wait_after(p, mark, text, timeout_s); }
    // A click at (ux, uy), then text shows as expect_line waits for it.
    bool click_shows(int ux, int uy, const std::string& text) { return click(ux, uy), expect_line(text); }
    // The output that arrived after the mark within s seconds (the mark moves to its end).
    std::string settle(double s)
    {
        TS_wait_for_output(p, "\x01never", s);
        std::string rest = p.out.substr(mark);
        mark = p.out.size();
        return rest;
    }

    std::string pointer()
    {
        TS_result r = TS_run({CORVANE_X_CURSOR_EXE}, TS_xvfb_env(x), 20);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        return r.out;
    }
    // The window's picture as 8-bit RGB rows from the top; the PNG stays to be looked at.
    struct Shot {
        std::string rgb;
        // Pixels in the UI rectangle (x0, y0)-(x1, y1), ends included, that are not the
        // program's clear colour.
        int marked(int x0, int y0, int x1, int y1) const
        {
            int n = 0;
            for (int y = y0; y <= y1; ++y)
                for (int x = x0; x <= x1; ++x) {
                    const size_t o = ((size_t)(599 - y) * 800 + x) * 3;
                    if (o + 2 >= rgb.size()) return -1;
                    n += !((unsigned char)rgb[o] == 51 && (unsigned char)rgb[o + 1] == 76 &&
                           (unsigned char)rgb[o + 2] == 102);
                }
            return n;
        }
        // The lowest and the highest marked UI row of column x between rows y0 and y1, or -1.
        int low_row(int x, int y0, int y1) const
        {
            for (int y = y0; y <= y1; ++y)
                if (marked(x, y, x, y) > 0) return y;
            return -1;
        }
        int high_row(int x, int y0, int y1) const
        {
            for (int y = y1; y >= y0; --y)
                if (marked(x, y, x, y) > 0) return y;
            return -1;
        }
        // The rightmost marked UI column of row y between columns x0 and x1, or -1.
        int right_col(int y, int x0, int x1) const
        {
            for (int x = x1; x >= x0; --x)
                if (marked(x, y, x, y) > 0) return x;
            return -1;
        }
    };
    Shot shot(const std::string& name)
    {
        const std::string png = dir + name + ".png";
        TS_result r = TS_run({"import", "-window", win, png}, TS_xvfb_env(x), 60);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        TS_result c = TS_run({"convert", png, "-depth", "8", "rgb:" + dir + name + ".rgb"}, {}, 60);
        EXPECT_EQ(c.exit_code, 0) << c.err;
        Shot s;
        s.rgb = TS_read_file(dir + name + ".rgb");
        EXPECT_EQ(s.rgb.size(), (size_t)800 * 600 * 3);
        return s;
    }

    // Pixels marked where the help boxes of these tests lie, in a screenshot taken while the
    // program is held before it said "tip shown" (it says so before it draws the box). Held later,
    // it proves nothing, and a move by a unit from (ux, uy) starts the rest anew; -1 when no try did.
    int box_before_tip(const std::string& name, int ux, int uy)
    {
        for (int i = 0; i < 10; ++i) {
            kill(p.pid, SIGSTOP);
            const Shot s = shot(name);
            const bool shown = settle(0.05).find("tip shown\n") != std::string::npos;
            kill(p.pid, SIGCONT);
            if (!shown) return s.marked(260, 320, 490, 590);
            move(ux + (i + 1) % 2, uy);
            if (!expect_line("tip gone\n")) return -1;
        }
        return -1;
    }

    // A screenshot of the help box that the rest just brought: taken once the program has said
    // "tip shown", again until the box is in the picture (the word comes before its frame is
    // presented), at most 20 times within 10 s.
    Shot tip_shot(const std::string& name)
    {
        EXPECT_TRUE(expect_line("tip shown\n")) << p.out;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        Shot s = shot(name);
        for (int i = 0; i < 20 && s.low_row(300, 0, 599) < 0 && std::chrono::steady_clock::now() < until; ++i)
            s = shot(name);
        return s;
    }

    static bool hidden(const std::string& img) { return img.find("opaque=0\n") != std::string::npos; }

    void start()
    {
        ASSERT_TRUE(TS_start(p, {CORVANE_LIST_PROBE_EXE}, TS_xvfb_env(x), dir));
        ASSERT_TRUE(TS_wait_for_output(p, "ready\n", 60)) << p.out << p.err;
        TS_result r = TS_run({"xdotool", "search", "--name", "Hangaron"}, TS_xvfb_env(x), 20);
        std::istringstream in(r.out);
        in >> win;
        ASSERT_FALSE(win.empty());
        mark = p.out.size();
    }
};

} // namespace

TEST_F(Lists, ChoosingClosingAndThePointerInTheMainWindowAndPopup2)
{
    start();
    // Outside the window the root window's pointer; over it the arrow, not a hidden one.
    xdo({"mousemove", "1200", "1000"});
    const std::string root = pointer();
    move(100, 100);
    pause(0.3);
    const std::string arrow = pointer();
    EXPECT_NE(arrow, root);
    EXPECT_FALSE(hidden(arrow)) << arrow;

    // A press on the box opens the list with its value's line over it; the widget drawn over the
    // box after the list does not see that press.
    const Shot closed = shot("list-closed");
    EXPECT_EQ(closed.marked(176, 419, 230, 430), 0);
    EXPECT_GT(closed.marked(180, 397, 220, 408), 20); // "Beta" in the box
    ASSERT_TRUE(click_shows(210, 403, "list A open value=1\n")) << p.out;
    pause(0.2);
    const Shot open = shot("list-open");
    EXPECT_GT(open.marked(176, 419, 230, 430), 20);  // the list and "Alpha" above the box
    EXPECT_GT(open.marked(180, 373, 240, 384), 20);  // "Delta" two lines below
    EXPECT_EQ(open.marked(180, 330, 240, 350), 0);   // nothing after the last line
    // The quick click left the list open: a second press on a line chooses it, once.
    ASSERT_TRUE(click_shows(210, 380, "choice A 3\nlist A closed value=3\n")) << p.out;
    // Held for a second, the release chooses the line under the pointer.
    move(210, 403);
    xdo({"mousedown", "1"});
    ASSERT_TRUE(expect_line("list A open value=3\n")) << p.out;
    pause(1.2);
    move(210, 440);
    pause(0.2);
    xdo({"mouseup", "1"});
    ASSERT_TRUE(expect_line("choice A 0\n")) << p.out;
    // Moved 3 units or more before a quick release: the release chooses too.
    move(210, 403);
    xdo({"mousedown", "1"});
    ASSERT_TRUE(expect_line("list A open value=0\n")) << p.out;
    move(210, 392);
    xdo({"mouseup", "1"});
    ASSERT_TRUE(expect_line("choice A 1\n")) << p.out;
    // While it shows, a press on its line over the widget drawn after it chooses the line and
    // reaches no widget, and widgets under the pointer set no help.
    ASSERT_TRUE(click_shows(210, 403, "list A open value=1\n")) << p.out;
    ASSERT_TRUE(click_shows(210, 403, "choice A 1\n")) << p.out;
    ASSERT_TRUE(click_shows(210, 403, "list A open value=1\n")) << p.out;
    move(510, 460);
    EXPECT_EQ(settle(0.5).find("help"), std::string::npos);
    // A press outside closes it without a choice.
    click(650, 100);
    const std::string rest = settle(0.5);
    EXPECT_NE(rest.find("list A closed value=1\n"), std::string::npos) << rest;
    EXPECT_EQ(rest.find("choice"), std::string::npos) << rest;
    EXPECT_EQ(p.out.find("after clicked"), std::string::npos) << p.out;

    // The help of a check box shows only after the pointer rests more than a second, and goes
    // with the next move. Its box (x, y, h) has its frame from y - 10 to y + h + 10 less the
    // artwork's own margin; h follows the length, y = mouse y + 15 at most 580 - h, x = mouse x
    // - 415 at least 10.
    move(510, 460);
    EXPECT_TRUE(expect_line("help help text help t\n")) << p.out;
    EXPECT_EQ(box_before_tip("help-early", 510, 460), 0);
    const int bytes[4] = {249, 250, 300, 1400};
    const int height[4] = {60, 70, 80, 300};
    const int box_y[4] = {475, 425, 375, 280};
    int margin_below = 0, margin_above = 0, right_at_95 = 0;
    for (int i = 0; i < 4; ++i) {
        move(510, 460 - 50 * i);
        const Shot s = tip_shot("help-" + std::to_string(bytes[i]));
        const int low = s.low_row(300, 0, 599), high = s.high_row(300, 0, 599);
        if (i == 0) {
            margin_below = low - (box_y[0] - 10);
            margin_above = (box_y[0] + height[0] + 10) - high;
            right_at_95 = s.right_col(low + 20, 300, 799);
            EXPECT_GE(margin_below, -14);
            EXPECT_LE(margin_below, 6);
            EXPECT_GE(margin_above, -4);
            EXPECT_LE(margin_above, 6);
        }
        EXPECT_EQ(low, box_y[i] - 10 + margin_below) << bytes[i];
        EXPECT_EQ(high, box_y[i] + height[i] + 10 - margin_above) << bytes[i];
    }
    // Near the window's bottom-left corner x stays at 10: the frame's right edge lies 85 units
    // left of where it was for x = 95.
    move(15, 15);
    const Shot corner = tip_shot("help-corner");
    EXPECT_EQ(corner.low_row(300, 0, 599), 30 - 10 + margin_below);
    EXPECT_EQ(corner.right_col(30 - 10 + margin_below + 20, 100, 799), right_at_95 - 85);
    settle(0.05);
    move(511, 310);
    ASSERT_TRUE(expect_line("tip gone\n")) << p.out;
    EXPECT_EQ(box_before_tip("help-moved", 511, 310), 0);

    // The caller that passes a copy keeps 0 through an open and a close without a choice, and
    // takes a choice.
    ASSERT_TRUE(click_shows(210, 303, "target 0 open\n")) << p.out;
    ASSERT_TRUE(click_shows(650, 100, "target 0\n")) << p.out;
    ASSERT_TRUE(click_shows(210, 303, "target 0 open\n")) << p.out;
    ASSERT_TRUE(click_shows(210, 303 - 24, "target 3\n")) << p.out;

    // Idle for more than 10 s the pointer hides over the main window; a move shows the arrow.
    move(400, 200);
    pause(11);
    EXPECT_TRUE(hidden(pointer()));
    EXPECT_TRUE(expect_line("cursor shown=0")) << p.out;
    move(401, 200);
    pause(0.3);
    EXPECT_EQ(pointer(), arrow);
    // Hidden again, popup 994 brings the arrow back without a move.
    pause(11);
    EXPECT_TRUE(hidden(pointer()));
    xdo({"key", "x"});
    ASSERT_TRUE(expect_line("popup 994\n")) << p.out;
    pause(0.3);
    EXPECT_EQ(pointer(), arrow);
    xdo({"key", "z"});
    ASSERT_TRUE(expect_line("popup 0\n")) << p.out;
    pause(0.3);
    EXPECT_TRUE(hidden(pointer()));
    // Popup 2 never hides it, however long the pointer rests.
    xdo({"key", "p"});
    ASSERT_TRUE(expect_line("popup 2\n")) << p.out;
    pause(0.3);
    EXPECT_EQ(pointer(), arrow);


    // Popup 2 (700 x 380) sits at (50, 110). A list opened at its bottom edge rises a line per
    // frame until its last line is inside, its value never past its last item.
    ASSERT_TRUE(click_shows(410, 133, "list B open value=1\n")) << p.out;
    ASSERT_TRUE(expect_line("list B open value=4\n")) << p.out;
    pause(0.3);
    settle(0.3);
    EXPECT_EQ(p.out.find("list B open value=5"), std::string::npos) << p.out;
    const Shot rising = shot("popup-list");
    EXPECT_GT(rising.marked(360, 115, 440, 187), 100);
    EXPECT_EQ(rising.marked(300, 0, 500, 99), 0); // only the frame's margin passes the edge
    ASSERT_TRUE(click_shows(410, 133, "choice B 4\n")) << p.out;

    // Escape closes popup 2 together with the list open in it.
    ASSERT_TRUE(click_shows(410, 363, "list P open value=0\n")) << p.out;
    xdo({"key", "Escape"});
    ASSERT_TRUE(expect_line("popup 0\n")) << p.out;
    pause(0.3);
    const Shot after = shot("popup-closed");
    EXPECT_EQ(after.marked(300, 220, 460, 380), 0);

    // Show and hide alternate: the platform never got the same call twice in a row.
    EXPECT_NE(p.out.find("repeats=0"), std::string::npos);
    EXPECT_EQ(p.out.find("repeats=1"), std::string::npos) << p.out;
}
