// The frame timer (see hl_timer.h).
#include "frame/hl_timer.h"

#include "frame/butn.h"
#include "frame/hl_colors.h"
#include "frame/hl_event.h"
#include "frame/hl_init.h"
#include "graphics/OGL_view.h"
#include "graphics/hl_window.h"

#include <cmath>

int64_t (*gTimerClock)() = hl_timer_clock_us;

// What the tick keeps between frames beside the timer object.
static struct {
    int ticked = 0;              // the first tick has run
    double start_offset = 0;     // seconds on the clock at the first tick
    float running_last = 0;      // real time last seen by the running rule
    float popup_last = 0;        // real time last seen by the popup rule
    float last_x = 999, last_y = 999; // the pointer at the previous tick
} gTick;

static float clamp_frame(float dt)
{
    if (dt < kTimerMinFrame) return kTimerMinFrame;
    if (dt > kTimerMaxFrame) return kTimerMaxFrame;
    return dt;
}

// The alert and the dialogs 994 to 999 freeze both frame times while they are open on one window.
static void update_frame_time(hl_timer& t)
{
    const float now = t.hl_timer_real_time;
    const int running = gPopup == 0 || gWindows.hl_set_window_count(-1) == 2;
    const int popup_frame = !running && !(gPopup >= 994 && gPopup <= 999);

    if (running) {
        float dt = clamp_frame(now - gTick.running_last);
        t.hl_timer_frame_time = 0.75f * t.hl_timer_frame_time + 0.25f * dt;
        t.sim_frame_time = clamp_frame(t.hl_timer_frame_time * t.time_ratio);
    }
    // Kept up to date while the rule rests, so no jump follows a dialog.
    gTick.running_last = now;

    if (popup_frame) {
        float dt = clamp_frame(now - gTick.popup_last);
        t.hl_timer_frame_time = dt;
        t.sim_frame_time = dt;
    }
    gTick.popup_last = now;
}

// The press time compared below is the previous press's until a new press stores its own.
static void update_mouse_timing(float now)
{
    gMouseHeldQuarter = gMouseHeld && now > gMouseDownTime + 0.25f;
    gMouseHeldSecond = gMouseHeld && now > gMouseDownTime + 1.0f;
    gMouseQuickClick = gMouseUp && now < gMouseDownTime + 0.25f;

    if (gMouseDown) {
        gMouseHeld = 1;
        gMouseMoveTime = gMouseDownTime = now;
        // A click anywhere takes the focus away; the widget under the pointer may take it back.
        BTN_clear_focus();
    }
    if (gMouseUp) {
        gMouseHeld = 0;
        gMouseHeldQuarter = 0;
    }

    if (std::fabs(gMouseX - gTick.last_x) > 0.5f || std::fabs(gMouseY - gTick.last_y) > 0.5f) gMouseMoveTime = now;
    gTick.last_x = gMouseX;
    gTick.last_y = gMouseY;
}

static void update_pulse(float now)
{
    const float p = std::sin(now * 15.0f) * 0.2f + 0.8f;
    COL_set_color(93, p, p, p);
    COL_set_color(94, p, 0.5f * p, 0);
    COL_set_color(95, p, 0.3f * p, 0.3f * p);
    COL_set_color(96, 0.3f * p, 0.3f * p, p);
    COL_set_color(97, 0.2f * p, 0.8f * p, 0.2f * p);
    COL_set_color(98, 0.7f * p, 0.7f * p, 0.2f * p);
    gInterface.pulse = p;
}

void hl_timer::hl_timer_update()
{
    // Real time starts at the first tick, not at the clock's first reading, which other code
    // (the checksum workers) may have taken long before.
    const double clock_s = (double)gTimerClock() / 1000000.0;
    if (!gTick.ticked) {
        gTick.ticked = 1;
        gTick.start_offset = clock_s;
    }
    hl_timer_real_time = (float)(clock_s - gTick.start_offset);

    update_frame_time(*this);
    update_mouse_timing(hl_timer_real_time);
    update_pulse(hl_timer_real_time);
}
