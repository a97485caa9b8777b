// The program's top-level window with its OpenGL context, and an optional second window to the
// right of it whose context shares objects with the first.
#pragma once
#include "platform/plat_window.h"

#include <string>

struct hl_gl_windows {
    PLAT_gl_format pixel_format;       // the surface format both windows use
    int current = 0;                   // the window that OGL_swap_buffers presents
    PLAT_window* window[2] = {};       // 0 the main window, 1 the second; null means none
    PLAT_gl_context* context[2] = {};  // their contexts (the window is its own drawable)
    int second_wanted = 0;             // the second-window wish; nothing here sets it

    // Makes window n (0 main, 1 second) with its context and leaves a context current;
    // 1 on success, 0 on any failure (whatever was made stays in the table).
    int hl_create_gl_window(int n);
    // n < 0: the window count. Otherwise switches between one and two windows, stores n as the
    // count and returns 0.
    int hl_set_window_count(int n);
    // Releases window n's context and destroys the window.
    void hl_destroy_gl_window(int n);
    PLAT_gl_context* hl_get_gl_context();
};

extern hl_gl_windows gWindows;
extern int gWindowCreated; // set by the window procedure when a window has been made
extern int gWindowCount;   // how many OpenGL windows are open

// Makes the context current on the window and forgets the texture bindings, which belonged to
// whatever was current before. 0 or -1.
int hl_make_current(PLAT_window* w, PLAT_gl_context* c);

// The window's position, client size and style, before anything is made: reads the monitor,
// the offset options and the display state, applies the 1024 x 768 fallback (with its log line)
// and sets gWindowW and gWindowH.
void hl_plan_window(int n, int* x, int* y, int* bordered);

// The multisample levels from the highest wanted down to 1, each tried while the previous one
// failed; returns the level achieved, 0 when none. try_samples answers whether a surface with
// that many samples exists.
int hl_choose_multisample(int fsaa_wanted, int can_choose, int (*try_samples)(int samples, void* data), void* data);

// Sets the swap interval from the vsync settings. set_interval answers as
// PLAT_gl_set_swap_interval does: the warning is logged when the entry point is missing, a line
// of its own when the driver refuses the interval.
void hl_set_swap_interval(int (*set_interval)(int interval));

// "--monitor_offset_x" style values: leading blanks, one sign, digits up to the first other
// character; 0 when no digit comes; bounded to the int range.
int hl_parse_offset(const std::string& text);
