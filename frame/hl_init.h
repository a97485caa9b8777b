// Start-up of the application frame. The program's folder, the log stream and the quit flag that
// it sets up live in the foundation, where every layer reaches them; their headers come in below.
#pragma once
#include "foundation/app_folder.h"
#include "foundation/log.h"
#include "foundation/quit.h"
#include "foundation/version.h"

#include <ostream>
#include <string>

#define LOG_FILE_NAME "Corvane Installer Log.txt"

struct PLAT_gl_context;
struct PLAT_system_info;
struct TEX_image_info;
struct xmap_file;

extern int gUIReady;           // 1 once the window can show popups
extern int gLanguage;          // UI language index 0 to 5 (see LANG_table), -1 while not known
extern int gCaseSensitive;     // 1: file names differ by case, as on Linux file systems
extern int gStartupScreens;    // start-up screens drawn without a progress value of their own

// Opens the log at this path, replacing an older file, and holds it (a lock) until it is closed,
// so that no other updater empties it or writes into it meanwhile. 1 opened; 0 another process
// holds it, -1 it cannot be opened: both leave the stream failed, and every write is dropped.
int hl_open_log(const std::string& path);
void hl_close_log();

// Registers the window class "Hangaron" with its window procedure; no window exists without it.
void hl_register_window_class();
void hl_unregister_window_class();

// 1 at start-up: picks full screen when the desktop is smaller than 1024 x 768 and switches to it;
// 0 at shutdown: back to windowed and the desktop's own mode.
void hl_fit_window_to_screen(int starting);
extern int gDesktopColorBits; // the desktop's bits per pixel, as the last fit read them
// The hook for a full-screen mode the screen refused as the main window got it: where that size
// is larger than the desktop, the window becomes the windowed one if that fits, with a log line.
void hl_display_mode_refused();

// On the calling (new) thread: makes an OpenGL context sharing the main window's objects and
// makes it current; 1 on success, 0 (with a log line) on failure. The argument is not read: the
// main context comes from the window table. The thread framework reaches it through gThreadGL
// (foundation/gl_handoff.h).
int make_loader_gl_context(PLAT_gl_context* main_context);

// Draws the framed start-up message screen with the text (and a progress bar when progress is
// given) and presents it at once. The texture manager reaches it through gStartupMessageHook
// (graphics/startup_message.h).
void draw_startup_message(const std::string& text, float* progress);

// The log's header and the system report, everything written before the options are echoed;
// the report ends with the folder that holds the log.
void hl_write_log_header(std::ostream& log, const PLAT_system_info& sys, const std::string& app_folder,
                         const std::string& log_folder);

// One colour the start-up takes from the interface picture.
struct hl_color_sample {
    int index;     // entry of the colour table
    float r, g, b; // 0 to 1
};
const int HL_INTERFACE_SIDE = 512; // the interface picture's width and height
const int HL_COLOR_SAMPLES = 14;   // thirteen pixels and colour 48, the mean of 47 and 44
// The samples in the order they are set, from the decoded interface picture (RGBA bytes, bottom
// row first, rows packed); 0 and nothing filled unless the picture is 512 x 512.
int hl_interface_color_samples(const unsigned char* rgba, int width, int height,
                               hl_color_sample out[HL_COLOR_SAMPLES]);

// Views the interface picture and decodes it as RGBA, bottom row first, into the texture
// manager's scratch buffer; a missing, broken or not 512 x 512 picture ends the program with the
// fatal alert. The view stays open for the caller to close.
void hl_load_interface_picture(const std::string& path, xmap_file& view, TEX_image_info& info);

// Points the hooks of the layers below at the frame's answers (frame/hl_hooks.cpp). Start-up
// calls it first; a program that runs parts of the frame without hl_startup calls it itself.
void hl_set_hooks();

// argc/argv as the runtime hands them; the first element is the command-line text.
void hl_startup(int argc, const char** argv);
