// Start-up of the application frame and the small helpers it shares: the program's folder,
// the log stream, the quit flag and the file-name part of a path. These shared ones, and the
// loader context, are declared in the foundation headers below, where the lower layers use them.
#pragma once
#include "foundation/app_folder.h"
#include "foundation/gl_handoff.h"
#include "foundation/log.h"
#include "foundation/quit.h"
#include "foundation/version.h"

#include <string>

#define LOG_FILE_NAME "Corvane Installer Log.txt"

extern int gUIReady;           // 1 once the window can show popups
extern int gLanguage;          // UI language index 0 to 5 (see LANG_table), -1 while not known

// Opens the log at this path, replacing an older file; a failed open is silent.
void hl_open_log(const std::string& path);
void hl_close_log();

// Registers the window class "Hangaron" with its window procedure; no window exists without it.
void hl_register_window_class();
void hl_unregister_window_class();

// 1 at start-up: picks full screen when the desktop is smaller than 1024 x 768 and switches to it;
// 0 at shutdown: back to windowed and the desktop's own mode.
void hl_fit_window_to_screen(int starting);
extern int gDesktopColorBits; // the desktop's bits per pixel, as the last fit read them

// argc/argv as the runtime hands them; the first element is the command-line text.
void hl_startup(int argc, const char** argv);
