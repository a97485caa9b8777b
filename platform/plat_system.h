// Small facts and services of the running system: the message box, the display, process ends.
#pragma once
#include <cstddef>
#include <string>

// True when a graphical display is named in the environment.
bool PLAT_has_display();

// Shows a modal message box with one OK button; writes caption and text to standard error
// when no display can be opened.
void PLAT_message_box(const char* caption, const std::string& text);
// The same box without the fallback: false (and nothing written) when no display can be opened.
bool PLAT_show_message_box(const char* caption, const std::string& text);

// The user's interface language as a lower-case ISO 639 code, from the first of LANGUAGE (its
// first entry), LC_ALL, LC_MESSAGES and LANG that is set and not empty: "fr" for "fr_FR.UTF-8".
// "en" when that value is "C" or "POSIX" (with or without a suffix) or none is set; "" when the
// value does not begin with a language code.
std::string PLAT_ui_language_code();

// printf into a buffer of n bytes (cut to fit, always terminated) with the "C" numeric rules,
// whatever locale the process runs in: "1.0 GB", never "1,0 GB". The result is vsnprintf's.
int PLAT_format_c(char* buf, size_t n, const char* format, ...) __attribute__((format(printf, 3, 4)));

// From here on SIGINT and SIGTERM only ask the program to quit: the signal is noted, and the next
// event pump hands it to the window procedure as a close request (PLAT_EV_CLOSE), so the program
// shuts down in order.
void PLAT_catch_quit_signals();
// The signal that asked the program to quit, 0 while none came.
int PLAT_quit_signal();
// True once for each quit signal not yet handed on (for the event pump).
bool PLAT_take_quit_request();

// Ends the process at once with this code (no static destructors, no shutdown).
[[noreturn]] void PLAT_exit_now(int code);

// Ends the process abnormally on purpose: SIGABRT goes back to its default action first,
// so the crash handler writes no report for it.
[[noreturn]] void PLAT_abort();
