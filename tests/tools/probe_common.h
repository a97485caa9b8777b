// What the window test programs share: a line to the test on standard output, the options they
// read, the log in the working folder, and the window as start-up makes it.
#pragma once
#include "foundation/options.h"
#include "frame/hl_init.h"
#include "frame/hl_shutdown.h"
#include "graphics/OGL_extensions.h"
#include "graphics/hl_window.h"
#include "graphics/OGL_view.h"
#include "graphics/render_opts.h"
#include "graphics/tman.h"
#include "platform/plat_window.h"
#include "ui_window.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

// The tests read the program's answers line by line, so every line goes out at once.
inline void say(const std::string& line)
{
    fprintf(stdout, "%s\n", line.c_str());
    fflush(stdout);
}

inline int opt_int(const char* name, int def)
{
    if (!CMDLINE_has_option(name)) return def;
    return atoi(CMDLINE_get_option(name).c_str());
}

inline std::string opt_str(const char* name)
{
    return CMDLINE_has_option(name) ? CMDLINE_get_option(name) : std::string();
}

// The working folder, ending in '/', with the log opened in it; empty when it cannot be read.
inline std::string probe_open_log()
{
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return std::string();
    std::string folder = std::string(cwd) + "/";
    hl_open_log(folder + LOG_FILE_NAME);
    return folder;
}

// A test program's start: the lower layers' hooks into the frame as start-up links them, the log
// opened in the working folder and the command line read. The folder; empty, with the command
// line unread, when the folder cannot be read.
inline std::string probe_begin(int argc, char** argv)
{
    hl_set_hooks();
    const std::string cmd = CMDLINE_text_from_argv(argc, argv);
    const std::string folder = probe_open_log();
    if (!folder.empty()) CMDLINE_parse(cmd.c_str());
    return folder;
}

// The window class with the frame's procedure and a window as UI_make_gl_window makes it; the
// program ends when it cannot be made.
inline void probe_make_window(int w, int h)
{
    hl_register_window_class();
    if (!UI_make_gl_window(w, h)) {
        say("window: failed");
        app_shutdown(1);
        exit(1);
    }
}

// The interface test programs' start: probe_begin, then the 800 x 600 interface
// window (ui_window.h) with proc as its window procedure; false, with the test told, when the
// window cannot be made.
inline bool probe_start_ui(int argc, char** argv, PLAT_window_proc proc)
{
    gAppFolder = probe_begin(argc, argv);
    if (gAppFolder.empty()) return false;
    PLAT_register_window_class("Hangaron", proc);
    if (!UI_open_window()) {
        say("window: failed");
        return false;
    }
    return true;
}
