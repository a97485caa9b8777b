// The frame timer driven by a stand-in clock: real time from the first tick, the frame-time
// limits, smoothing and the running and popup rules, the mouse press timing, double clicks as the
// frames take queued presses, and the pulsing colours. Each test runs in a process of its own, so
// each sees the timer's very first tick.
#include "frame/hl_colors.h"
#include "frame/hl_event.h"
#include "frame/hl_timer.h"
#include "graphics/OGL_view.h"
#include "graphics/hl_window.h"
#include "platform/plat_window.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <gtest/gtest.h>

namespace {

int64_t gFakeUs = 0;
int64_t fake_clock()
{
    return gFakeUs;
}

// The clock has run 7.5 s before the first frame, as when the checksum workers read it early.
const int64_t kBootUs = 7500000;

// One frame at t seconds after the first, with the input the window procedure left.
void tick_at(double t, int down = 0, int up = 0)
{
    gFakeUs = kBootUs + (int64_t)std::llround(t * 1000000.0);
    gMouseDown = down;
    gMouseUp = up;
    gTimer.hl_timer_update();
}

class Timer : public testing::Test {
protected:
    void SetUp() override
    {
        gTimerClock = fake_clock;
        gPopup = 0;
        gWindowCount = 1;
        gMouseX = gMouseY = 100;
        gMouseHeld = gMouseDown = gMouseUp = 0;
        gMouseDownTime = gMouseMoveTime = 0;
    }
    void TearDown() override { gTimerClock = hl_timer_clock_us; }
};

float smooth(float old, float dt)
{
    return 0.75f * old + 0.25f * dt;
}

} // namespace

TEST_F(Timer, RealTimeAndFrameTimesFollowTheRunningAndPopupRules)
{
    EXPECT_EQ(gTimer.hl_timer_frame_time, 0.02f);
    EXPECT_EQ(gTimer.sim_frame_time, 0.02f);
    EXPECT_EQ(gTimer.time_ratio, 1.0f);

    // First frame: real time 0; the gap from the rule's start counts as the shortest frame.
    tick_at(0);
    EXPECT_EQ(gTimer.hl_timer_real_time, 0.0f);
    float want = smooth(0.02f, kTimerMinFrame);
    EXPECT_FLOAT_EQ(gTimer.hl_timer_frame_time, want);
    EXPECT_FLOAT_EQ(gTimer.sim_frame_time, want);

    // A 0.2 s frame counts as the longest frame; a 0.0001 s frame as the shortest.
    tick_at(0.2);
    EXPECT_FLOAT_EQ(gTimer.hl_timer_real_time, 0.2f);
    want = smooth(want, 0.05025126f);
    EXPECT_FLOAT_EQ(gTimer.hl_timer_frame_time, want);
    tick_at(0.2001);
    want = smooth(want, 0.0010001f);
    EXPECT_FLOAT_EQ(gTimer.hl_timer_frame_time, want);
    EXPECT_FLOAT_EQ(gTimer.sim_frame_time, want);
    // A frame inside the limits is smoothed as it is.
    tick_at(0.2301);
    want = smooth(want, 0.03f);
    EXPECT_NEAR(gTimer.hl_timer_frame_time, want, 1e-6);

    // A popup of its own size: frame times are the last frame's, unsmoothed.
    gPopup = 2;
    tick_at(0.2401);
    EXPECT_NEAR(gTimer.hl_timer_frame_time, 0.01f, 1e-5); // since the popup rule's last look
    EXPECT_NEAR(gTimer.sim_frame_time, 0.01f, 1e-5);
    tick_at(0.2601);
    EXPECT_NEAR(gTimer.hl_timer_frame_time, 0.02f, 1e-5);
    tick_at(1.0);
    EXPECT_FLOAT_EQ(gTimer.hl_timer_frame_time, kTimerMaxFrame);

    // The alert and the dialogs freeze both frame times; real time goes on.
    for (int popup : {994, 997, 999}) {
        gPopup = popup;
        tick_at(popup - 990.0); // 4, 7 and 9 s
        EXPECT_FLOAT_EQ(gTimer.hl_timer_frame_time, kTimerMaxFrame) << popup;
        EXPECT_FLOAT_EQ(gTimer.sim_frame_time, kTimerMaxFrame) << popup;
        EXPECT_FLOAT_EQ(gTimer.hl_timer_real_time, popup - 990.0f);
    }

    // With two windows a dialog does not stop the running rule, whose clock was kept up to date:
    // no jump after the long dialog.
    gWindowCount = 2;
    tick_at(9.02);
    want = smooth(kTimerMaxFrame, 0.02f);
    EXPECT_NEAR(gTimer.hl_timer_frame_time, want, 1e-5);
    gWindowCount = 1;

    // Back on the main window: smoothing again from the last value.
    gPopup = 0;
    tick_at(9.03);
    want = smooth(want, 0.01f);
    EXPECT_NEAR(gTimer.hl_timer_frame_time, want, 1e-5);
    EXPECT_NEAR(gTimer.sim_frame_time, want, 1e-5);
}

TEST_F(Timer, QuickClicksAndHolds)
{
    tick_at(0);
    tick_at(5.0);

    // Press at 10.0, release at 10.2: a quick click.
    tick_at(10.0, 1);
    EXPECT_EQ(gMouseHeld, 1);
    EXPECT_FLOAT_EQ(gMouseDownTime, 10.0f);
    EXPECT_FLOAT_EQ(gMouseMoveTime, 10.0f);
    EXPECT_EQ(gMouseHeldQuarter, 0);
    tick_at(10.2, 0, 1);
    EXPECT_EQ(gMouseQuickClick, 1);
    EXPECT_EQ(gMouseHeld, 0);
    tick_at(10.21);
    EXPECT_EQ(gMouseQuickClick, 0); // one frame only

    // Press at 20.0, release at 20.3: not quick.
    tick_at(20.0, 1);
    tick_at(20.3, 0, 1);
    EXPECT_EQ(gMouseQuickClick, 0);

    // Holding from 30.0: a quarter after 30.25, a second after 31.0; on the release frame the
    // quarter is cleared and the second still reads 1, on the next frame both read 0.
    tick_at(30.0, 1);
    tick_at(30.25);
    EXPECT_EQ(gMouseHeldQuarter, 0);
    tick_at(30.26);
    EXPECT_EQ(gMouseHeldQuarter, 1);
    EXPECT_EQ(gMouseHeldSecond, 0);
    tick_at(31.0);
    EXPECT_EQ(gMouseHeldSecond, 0);
    tick_at(31.01);
    EXPECT_EQ(gMouseHeldQuarter, 1);
    EXPECT_EQ(gMouseHeldSecond, 1);
    tick_at(31.5, 0, 1);
    EXPECT_EQ(gMouseHeldQuarter, 0);
    EXPECT_EQ(gMouseHeldSecond, 1);
    EXPECT_EQ(gMouseHeld, 0);
    tick_at(31.52);
    EXPECT_EQ(gMouseHeldQuarter, 0);
    EXPECT_EQ(gMouseHeldSecond, 0);

    // A press and its release in one frame.
    tick_at(40.0, 1, 1);
    EXPECT_EQ(gMouseHeld, 0);
    EXPECT_EQ(gMouseQuickClick, 0); // measured from the previous press, at 30.0
}

// Clicks made at ms on the event clock at pixel (x, y), released 40 ms later, queued as the window
// delivers them, then two frames a click, step seconds apart: the double-click flag of each press
// taken, one digit each.
static std::string double_clicks(std::initializer_list<std::array<int, 3>> clicks, double step)
{
    static const unsigned base = PLAT_event_clock_ms() + 100000; // made after the view was drawn
    static double t = 0;
    for (const auto& c : clicks)
        for (int up : {0, 40}) {
            PLAT_event ev;
            ev.kind = up ? PLAT_EV_BUTTON_UP : PLAT_EV_BUTTON_DOWN;
            ev.button = PLAT_BUTTON_LEFT;
            ev.time_ms = base + (unsigned)(c[0] + up);
            ev.x = c[1];
            ev.y = c[2];
            hl_event_arrived(ev);
        }
    std::string taken;
    for (size_t i = 0; i < 2 * std::max<size_t>(clicks.size(), 1); ++i, t += step) {
        gFakeUs = kBootUs + (int64_t)std::llround(t * 1000000.0);
        hl_do_frame();
        if (gMouseDown) taken += (char)('0' + gMouseDoubleClick);
    }
    return taken;
}

// A double click is judged by when and where its presses were made, however the frames that take
// them fall; its second press answers nothing once its first has changed the view.
TEST_F(Timer, DoubleClicksByThePressesOwnTimesAndPlaces)
{
    double_clicks({}, 0.01); // the window drawn, then shown
    // 300 ms apart with the 500 ms double-click time: a double click; 600 ms: not. 150 ms apart,
    // but 3 pixels aside, or in one column and 20 pixels up: none.
    EXPECT_EQ(double_clicks({{0, 100, 100}, {300, 100, 100}, {900, 100, 100}}, 0.01), "010");
    EXPECT_EQ(double_clicks({{1500, 100, 100}, {1650, 103, 100}, {1800, 103, 120}}, 0.01), "000");
    // 1000 ms apart, both taken after one slow frame: none; 100 ms apart, taken by frames 700 ms
    // apart: one.
    EXPECT_EQ(double_clicks({{2000, 100, 100}, {3000, 100, 100}}, 0.001), "00");
    EXPECT_EQ(double_clicks({{4000, 100, 100}, {4100, 100, 100}}, 0.7), "01");
    // The first press changes the view: once it is drawn, the second, 200 ms later, answers
    // nothing, and a click 600 ms after the first is taken.
    EXPECT_EQ(double_clicks({{6000, 100, 100}}, 0.01), "0");
    hl_view_changed();
    double_clicks({}, 0.01);
    EXPECT_EQ(double_clicks({{6200, 100, 100}, {6600, 100, 100}}, 0.01), "0");
}

TEST_F(Timer, PointerStillnessAndPulsingColours)
{
    // Black until the first frame.
    for (int i = 93; i <= 98; ++i)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(gColors[i][c], 0.0f) << i;

    tick_at(0); // the first tick always counts as a move
    EXPECT_FLOAT_EQ(gMouseMoveTime, 0.0f);
    tick_at(1.0);
    EXPECT_FLOAT_EQ(gMouseMoveTime, 0.0f);
    gMouseX += 0.5f; // half a unit is no move
    tick_at(2.0);
    EXPECT_FLOAT_EQ(gMouseMoveTime, 0.0f);
    gMouseY -= 0.6f;
    tick_at(3.0);
    EXPECT_FLOAT_EQ(gMouseMoveTime, 3.0f);
    tick_at(4.0);
    EXPECT_FLOAT_EQ(gMouseMoveTime, 3.0f);

    for (double t : {4.0, 4.1, 4.2, 4.3}) {
        tick_at(t);
        const float p = (float)(std::sin(t * 15) * 0.2 + 0.8);
        EXPECT_NEAR(gInterface.pulse, p, 1e-5) << t;
        const float want[6][3] = {{p, p, p},
                                  {p, 0.5f * p, 0},
                                  {p, 0.3f * p, 0.3f * p},
                                  {0.3f * p, 0.3f * p, p},
                                  {0.2f * p, 0.8f * p, 0.2f * p},
                                  {0.7f * p, 0.7f * p, 0.2f * p}};
        for (int i = 0; i < 6; ++i)
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(gColors[93 + i][c], want[i][c], 1e-5) << 93 + i << " " << c;
    }
    EXPECT_FLOAT_EQ(gColors[92][0], 0.44f); // its neighbours stay
    EXPECT_FLOAT_EQ(gColors[99][0], 1.0f);
    EXPECT_GE(gInterface.pulse, 0.6f);
    EXPECT_LE(gInterface.pulse, 1.0f);
}
