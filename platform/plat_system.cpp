// Message box, display test and process ends (see plat_system.h).
#include "platform/plat_system.h"

#include "platform/plat_paths.h"
#include "platform/plat_process.h"

#include <SDL.h>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include <unistd.h>

bool PLAT_has_display()
{
    const char* d = getenv("DISPLAY");
    const char* w = getenv("WAYLAND_DISPLAY");
    return (d && d[0]) || (w && w[0]);
}

bool PLAT_show_message_box(const char* caption, const std::string& text)
{
    if (!PLAT_has_display() || PLAT_quit_requested()) return false;
    // zenity run by ourselves rather than by SDL, so that a quit request can end it: SDL waits for
    // the box without a way out.
    std::string out;
    int status = -1;
    const int err = PLAT_run_modal({"zenity", "--info", "--no-markup", "--title=" + std::string(caption),
                                    "--text=" + text},
                                   &out, &status);
    if (err == ENOENT)
        return SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, caption, text.c_str(), nullptr) == 0;
    // 0 is OK, 1 the window closed; anything else is zenity's own failure (no display).
    return err == ECANCELED || (err == 0 && (status == 0 || status == 1));
}

// Written by the handler, on whatever thread the signal lands; read by the main thread.
static volatile sig_atomic_t sQuitSignal = 0;
static volatile sig_atomic_t sQuitPending = 0;
static volatile sig_atomic_t sCloseRequested = 0;

static void note_quit_signal(int signo)
{
    sQuitSignal = signo;
    sQuitPending = 1;
}

void PLAT_catch_quit_signals()
{
    // SDL's own handlers would do the same through its quit event; ours stay in place.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    struct sigaction sa = {};
    sa.sa_handler = note_quit_signal;
    sigemptyset(&sa.sa_mask);
    // Reads and writes under way go on: the quit is taken between frames.
    sa.sa_flags = SA_RESTART;
    for (int signo : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old = {};
        if (sigaction(signo, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(signo, &sa, nullptr);
    }
}

int PLAT_quit_signal()
{
    return sQuitSignal;
}

bool PLAT_take_quit_request()
{
    if (!sQuitPending) return false;
    sQuitPending = 0;
    return true;
}

void PLAT_note_close_request()
{
    sCloseRequested = 1;
}

bool PLAT_quit_requested()
{
    return sQuitSignal != 0 || sCloseRequested != 0;
}

std::string PLAT_ui_language_code()
{
    static const char* const vars[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    std::string value;
    for (const char* name : vars) {
        const char* v = getenv(name);
        if (!v || !v[0]) continue;
        value = v;
        // LANGUAGE is a list of preferences separated by ':'; the first one counts.
        if (name == vars[0]) value = value.substr(0, value.find(':'));
        if (!value.empty()) break;
    }
    if (value.empty()) return "en";
    // A locale name is language[_territory][.codeset][@modifier].
    const std::string base = value.substr(0, value.find_first_of("_.@"));
    if (base == "C" || base == "POSIX") return "en";
    std::string code;
    for (char c : base) {
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
        if (c < 'a' || c > 'z') return "";
        code += c;
    }
    if (code.size() < 2 || code.size() > 3) return "";
    return code;
}

void PLAT_exit_now(int code)
{
    PLAT_remove_private_temp_dir();
    fflush(stdout);
    fflush(stderr);
    _exit(code);
}

void PLAT_abort()
{
    struct sigaction sa = {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGABRT, &sa, nullptr);
    fflush(stdout);
    fflush(stderr);
    abort();
}

int PLAT_format_c(char* buf, size_t n, const char* format, ...)
{
    // The thread's own locale is switched for the one call, so other threads and the process
    // locale are left alone; without a "C" locale object the call runs in whatever is current.
    static const locale_t c_numeric = newlocale(LC_NUMERIC_MASK, "C", (locale_t)0);
    const locale_t old = c_numeric ? uselocale(c_numeric) : (locale_t)0;
    va_list args;
    va_start(args, format);
    const int r = vsnprintf(buf, n, format, args);
    va_end(args);
    if (old) uselocale(old);
    return r;
}
