// What the thread framework needs of the window and the driver to give a new thread an OpenGL
// context sharing the main window's objects. Their owners (the graphics' window table and driver
// capabilities, the frame's loader context) live above the foundation: the frame's start-up fills
// these in, all at once. While threaded_avail is null, threaded OpenGL counts as unavailable and
// no other entry is called.
#pragma once

struct PLAT_gl_context;

struct THREAD_gl_hooks {
    // Driver detection's threaded_avail: worker threads may share the main context.
    int (*threaded_avail)() = nullptr;
    // Clears threaded_avail and tells the user, once, with a note.
    void (*setup_failed_alert)() = nullptr;
    // The main window's OpenGL context; null before the window exists.
    PLAT_gl_context* (*main_context)() = nullptr;
    // Makes no context current on the calling thread; 0 on success.
    int (*release_context)() = nullptr;
    // Makes the main window's context current on the calling thread; 0 on success.
    int (*make_main_current)() = nullptr;
    // On the calling (new) thread: makes an OpenGL context sharing the main window's objects and
    // makes it current; 1 on success, 0 (with a log line) on failure. The argument is not read:
    // the main context comes from the window table.
    int (*make_loader_context)(PLAT_gl_context* main_context) = nullptr;
};
extern THREAD_gl_hooks gThreadGL;
