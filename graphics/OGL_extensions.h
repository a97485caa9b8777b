// The graphics settings record: the driver's limits, the texture level, the swap and
// multisample settings. Driver detection itself is filled in by its own unit later.
#pragma once

struct OGL_settings {
    // Written by driver detection.
    float max_aniso = 0.0f;
    int max_tex_units = 0;
    int max_tex_image_units = 0;
    int max_tex_coords = 0;
    const char* gl_vendor = nullptr;
    const char* gl_renderer = nullptr;
    const char* gl_version = nullptr;
    const char* gl_extensions = nullptr;
    // Set by start-up and the window code.
    int texture_level = 0; // 0 to 5; 5 is full resolution
    int use_vsync1 = 0;    // swap interval = 2 x use_vsync2 + use_vsync1
    int use_vsync2 = 0;
    int fsaa_wanted = 0;   // 0 none, 1 to 4 ask for 2, 4, 8 or 16 samples
    int fsaa_achieved = 0; // the level the window got, 0 to 4
};

extern OGL_settings gGLSettings;
