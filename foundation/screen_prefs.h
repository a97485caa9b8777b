// The display settings that the screen-resolution preference file keeps, as the preference code
// reaches them. Their owners live above the foundation: the frame's start-up sets the hook below;
// while it is null the screen-resolution file exchanges none of its tags.
#pragma once

// The live variables themselves, so that a read changes them in place.
struct PREF_screen_vars {
    int* windowed_w;  // the windowed client size asked for
    int* windowed_h;
    int* full_w;      // the full-screen mode
    int* full_h;
    int* full_hz;
    int* full_bits;
    int* full_screen; // 0 windowed, 1 full screen
    int* use_vsync1;  // the OpenGL settings' swap-interval wishes
    int* use_vsync2;
    int* fsaa_wanted; // the multisample request
    int* language;    // the UI language index
    int* second_wanted; // the window table's second-window flag
    int window_count;   // how many windows are open now
};

extern void (*gScreenVarsHook)(PREF_screen_vars& out);
