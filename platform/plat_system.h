// Small facts and services of the running system: the message box, the display, process ends.
#pragma once
#include <cstddef>
#include <string>

// True when a graphical display is named in the environment.
bool PLAT_has_display();

// Shows a modal message box with one OK button: zenity's (SDL's where zenity cannot be started).
// False, and nothing shown, when no display can be opened or the box could not show. A quit
// request (PLAT_quit_requested) closes the box: it never outlives the program.
bool PLAT_show_message_box(const char* caption, const std::string& text);

// The user's interface language as a lower-case ISO 639 code, from the first of LANGUAGE (its
// first entry), LC_ALL, LC_MESSAGES and LANG that is set and not empty: "fr" for "fr_FR.UTF-8".
// "en" when that value is "C" or "POSIX" (with or without a suffix) or none is set; "" when the
// value does not begin with a language code.
std::string PLAT_ui_language_code();

// printf into a buffer of n bytes (cut to fit, always terminated) with the "C" numeric rules,
// whatever locale the process runs in: "1.0 GB", never "1,0 GB". The result is vsnprintf's.
int PLAT_format_c(char* buf, size_t n, const char* format, ...) __attribute__((format(printf, 3, 4)));

// From here on SIGINT, SIGTERM and SIGHUP (the terminal closed) only ask the program to quit: the
// signal is noted, and the next event pump hands it to the window procedure as a close request
// (PLAT_EV_CLOSE), so the program shuts down in order. A signal the program was started with
// ignored (nohup, a script's background job) stays ignored.
void PLAT_catch_quit_signals();
// The signal that asked the program to quit, 0 while none came.
int PLAT_quit_signal();
// True once for each quit signal not yet handed on (for the event pump).
bool PLAT_take_quit_request();
// Notes a close request of the window system (the close box), handed on by the event pump.
void PLAT_note_close_request();
// True once a quit signal came or the window system asked to close: what the program waits on
// (a dialog program, the message box) is ended then.
bool PLAT_quit_requested();

// Ends the process at once with this code (no static destructors, no shutdown); the run's
// private temporary folder still goes.
[[noreturn]] void PLAT_exit_now(int code);

// Ends the process abnormally on purpose: SIGABRT goes back to its default action first,
// so the crash handler writes no report for it.
[[noreturn]] void PLAT_abort();
