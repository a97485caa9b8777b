// Message box, display test and process ends (see plat_system.h).
#include "platform/plat_system.h"

#include <SDL.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

bool PLAT_has_display()
{
    const char* d = getenv("DISPLAY");
    const char* w = getenv("WAYLAND_DISPLAY");
    return (d && d[0]) || (w && w[0]);
}

void PLAT_message_box(const char* caption, const std::string& text)
{
    if (PLAT_has_display() &&
        SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, caption, text.c_str(), nullptr) == 0)
        return;
    fprintf(stderr, "%s\n\n%s\n", caption, text.c_str());
    fflush(stderr);
}

void PLAT_exit_now(int code)
{
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
