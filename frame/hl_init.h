// Start-up of the application frame and the small helpers it shares: the program's folder,
// the log stream, the quit flag and the file-name part of a path.
#pragma once
#include <fstream>
#include <string>

#define CORVANE_VERSION_TEXT "Corvane Web Updater 3.00r1"
#define LOG_FILE_NAME "Corvane Installer Log.txt"

extern std::string gAppFolder; // the program's folder, ends in '/'; set once at start-up
extern std::ofstream gLog;     // the log file, rewritten at every start
extern int gQuit;              // 0 while the program runs
extern int gUIReady;           // 1 once the window can show popups
extern int gLanguage;          // UI language index 0 to 5 (see LANG_table), -1 while not known

void hl_get_app_path(std::string& out, int want_file);
void FILE_split_path(std::string& out, const std::string& path);

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

struct PLAT_gl_context;
// On the calling (new) thread: makes an OpenGL context sharing the main window's objects and
// makes it current; 1 on success, 0 (with a log line) on failure. The argument is not read: the
// main context comes from the window table.
int make_loader_gl_context(PLAT_gl_context* main_context);

// argc/argv as the runtime hands them; the first element is the command-line text.
void hl_startup(int argc, const char** argv);

// Draws the framed start-up message screen with the text (and a progress bar when progress is
// given) and presents it at once.
void draw_startup_message(const std::string& text, float* progress);
