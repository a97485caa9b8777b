// The frame's loader context, as the thread framework asks for it on a new thread that shares
// the main window's OpenGL objects. The frame's start-up unit fills it in.
#pragma once

struct PLAT_gl_context;
// On the calling (new) thread: makes an OpenGL context sharing the main window's objects and
// makes it current; 1 on success, 0 (with a log line) on failure. The argument is not read: the
// main context comes from the window table.
int make_loader_gl_context(PLAT_gl_context* main_context);
