// The frame timer driven by a stand-in clock: real time from the first tick, the frame-time
// limits, smoothing and the running and popup rules, the mouse press timing, double clicks as the
// frames take queued presses, and the pulsing colours. Each test runs in a process of its own, so
// each sees the timer's very first tick.
#include "frame/app_frame.h"
#include "frame/hl_colors.h"
#include "frame/hl_event.h"
#include "frame/hl_timer.h"
#include "graphics/OGL_view.h"
#include "graphics/hl_window.h"
#include "platform/plat_window.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>
#include <gtest/gtest.h>

namespace {

int64_t gFakeUs = 0;
int64_t fake_clock()
{
    return gFakeUs;
}

uint64_t gEventMs = 1000; // the events' clock

// The platform's queue: a pump takes what waits there in, one millisecond on, stamped then.
std::vector<PLAT_event> gWaiting;
int fake_pump()
{
    const int n = (int)gWaiting.size();
    if (n) ++gEventMs;
    for (PLAT_event& ev : gWaiting) ev.time_ms = gEventMs, hl_event_arrived(ev);
    gWaiting.clear();
    return n;
}
int gReleases = 0; // frames that took a release

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
        gEventClock = [] { return gEventMs; };
        gPumpEvents = fake_pump;
        // Each test begins with a view not yet shown, on the events' clock at its start.
        gEventMs = 1000;
        hl_view_changed();
        gPopup = 0;
        gWindowCount = 1;
        gMouseX = gMouseY = 100;
        gMouseHeld = gMouseDown = gMouseUp = 0;
        gMouseDownTime = gMouseMoveTime = 0;
    }
    void TearDown() override
    {
        gTimerClock = hl_timer_clock_us, gEventClock = PLAT_event_clock_ms, gPumpEvents = PLAT_pump_events;
    }
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
// taken, one digit each. A click at -1 is a Return key (a repeat at -2), a frame for itself: 'E'
// when it set the Return flag.
static std::string double_clicks(std::initializer_list<std::array<int64_t, 3>> clicks, double step,
                                 uint64_t base = 100000)
{
    static double t = 0;
    for (const auto& c : clicks)
        for (int up : {0, 40}) {
            PLAT_event ev;
            ev.kind = up ? PLAT_EV_BUTTON_UP : PLAT_EV_BUTTON_DOWN;
            ev.button = PLAT_BUTTON_LEFT;
            if (c[1] < 0) {
                ev.kind = up ? PLAT_EV_KEY_UP : PLAT_EV_KEY_DOWN;
                ev.vk = ev.ch = ev.ch_plain = ev.ch_shifted = 13;
                ev.repeat = c[1] == -2 && !up;
            }
            ev.time_ms = base + (uint64_t)(c[0] + up);
            ev.x = (int)c[1];
            ev.y = (int)c[2];
            hl_event_arrived(ev);
        }
    std::string taken;
    for (size_t i = 0; i < 2 * std::max<size_t>(clicks.size(), 1); ++i, t += step) {
        gFakeUs = kBootUs + (int64_t)std::llround(t * 1000000.0);
        hl_do_frame();
        if (gMouseDown) taken += (char)('0' + gMouseDoubleClick);
        gReleases += gMouseUp;
        if (gKeyEnter) taken += 'E';
    }
    return taken;
}

// A double click is judged by when and where its presses were made, however the frames that take
// them fall; its second press answers nothing once its first has changed the view.
TEST_F(Timer, DoubleClicksByThePressesOwnTimesAndPlaces)
{
    double_clicks({}, 0.01); // the window drawn, then shown
    // 300 ms apart with the 500 ms double-click time: a double click; 600 ms: not. 150 ms apart and
    // 4 pixels aside: one; 6 pixels aside, or in one column and 20 pixels up: none.
    EXPECT_EQ(double_clicks({{0, 100, 100}, {300, 100, 100}, {900, 100, 100}}, 0.01), "010");
    EXPECT_EQ(double_clicks({{1500, 100, 100}, {1650, 104, 96}, {1800, 110, 96}, {1950, 110, 116}}, 0.01), "0100");
    // 1000 ms apart, both taken after one slow frame: none; 100 ms apart and 5 pixels aside on both
    // axes, taken by frames 700 ms apart: one.
    EXPECT_EQ(double_clicks({{2000, 100, 100}, {3000, 100, 100}}, 0.001), "00");
    EXPECT_EQ(double_clicks({{4000, 100, 100}, {4100, 105, 95}}, 0.7), "01");
    // The first press changes the view: once it is drawn, the second, 200 ms later, answers
    // nothing, and a click the double-click time after that is taken.
    EXPECT_EQ(double_clicks({{6000, 100, 100}}, 0.01), "0");
    hl_view_changed();
    double_clicks({}, 0.01);
    EXPECT_EQ(double_clicks({{6200, 100, 100}, {6700, 100, 100}}, 0.01), "0");
    // Nor when the first press came before the view was shown: it was dropped, not taken.
    hl_view_changed();
    EXPECT_EQ(double_clicks({{7000, 100, 100}}, 0.01), "");
    EXPECT_EQ(double_clicks({{7200, 100, 100}, {7800, 100, 100}}, 0.01), "0");
}

// A view answers what was made after the pump that followed its first frame, on a clock that does
// not wrap; a view that asks takes no press or key within the double-click time of that moment, no
// second press of a double click, and no key repeat.
TEST_F(Timer, WhatAViewTakesAndAViewThatAsks)
{
    gEventMs = (1ull << 32) - 100; // shown 100 ms before 32 bits of milliseconds wrap
    double_clicks({}, 0.01);
    // Made at the moment of the pump that showed it: maybe before; a millisecond later: after.
    EXPECT_EQ(double_clicks({{0, 100, 100}}, 0.01, gEventMs), "");
    // A press that changes the view, as Next does, while the clock runs 100 ms a frame: the button
    // it held holds nothing, and the new view, shown by the next frame, takes no press made before.
    gAppFrameHook = [] { gEventMs += 100, gMouseDown ? hl_view_changed() : (void)0; };
    EXPECT_EQ(double_clicks({{1, 200, 100}}, 0.01, gEventMs), "0");
    EXPECT_EQ(gMouseHeld, 0);
    EXPECT_EQ(double_clicks({{-50, 300, 100}}, 0.01, gEventMs), "");
    // 25 days later (over 2^31 ms): taken.
    EXPECT_EQ(double_clicks({{25ll * 86400000, 100, 100}}, 0.01, gEventMs), "0");

    // A press waiting in the platform's queue when a view's first frame is presented may have been
    // made before: the pump after the presentation takes it in, and it answers nothing.
    hl_view_changed();
    gAppFrameHook = [] {
        PLAT_event ev;
        ev.kind = PLAT_EV_BUTTON_DOWN;
        ev.button = PLAT_BUTTON_LEFT;
        gWaiting.push_back(ev);
        gAppFrameHook = nullptr;
    };
    EXPECT_EQ(double_clicks({}, 0.01), "");

    gAppFrameHook = nullptr;
    gPopup = 994;
    hl_view_changed();
    hl_view_asks();
    // Return made before the note's first frame is no answer; the pump after it shows it.
    EXPECT_EQ(double_clicks({{-100, -1, 0}}, 0.01, gEventMs), "");
    // Within the double-click time of that moment no press (nor its release) or Return answers;
    // after it a fresh Return does, a repeat never.
    gReleases = 0;
    EXPECT_EQ(double_clicks({{200, -2, 0}, {300, -1, 0}, {499, 300, 100}, {500, -1, 0}, {600, -2, 0}}, 0.01, gEventMs),
              "E");
    EXPECT_EQ(gReleases, 0);
    // Then a press 127 pixels from one taken 300 ms before is taken; one 4 pixels from either is the
    // second press of a double click, refused. So is each of a run at one spot every 450 ms, until
    // a pause of the double-click time.
    EXPECT_EQ(double_clicks({{900, 200, 100}, {1200, 327, 100}, {1400, 331, 100}, {2000, 200, 100}, {2300, 204, 100}},
                            0.01, gEventMs),
              "000");
    EXPECT_EQ(double_clicks({{3000, 300, 100}, {3450, 300, 100}, {3900, 300, 100}, {4350, 300, 100}, {4850, 300, 100}},
                            0.01, gEventMs),
              "00");
    gPopup = 0;
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
