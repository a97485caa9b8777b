// Launch-to-first-frame timer for bench/startup_first_frame.sh: starts the program RUNS times on
// the display in DISPLAY and measures, per run, the time from the start of the process until its
// window "Hangaron" is mapped and until the window first shows drawn pixels (its centre is no
// longer black), then closes the window as a window manager does and waits for the end.
// Usage: first_frame RUNS PROGRAM [ARGS...]   Prints one line per run and the medians.
#include "bench_support.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using Clock = std::chrono::steady_clock;

// Windows come and go while the tree is walked: a vanished one is simply not the one looked for.
static int ignore_x_error(Display*, XErrorEvent*)
{
    return 0;
}

static Window find_named(Display* d, Window w, const char* name)
{
    char* got = nullptr;
    if (XFetchName(d, w, &got) && got) {
        const bool same = strcmp(got, name) == 0;
        XFree(got);
        if (same) return w;
    }
    Window root, parent, *kids = nullptr;
    unsigned n = 0;
    if (!XQueryTree(d, w, &root, &parent, &kids, &n)) return 0;
    Window found = 0;
    for (unsigned i = 0; i < n && !found; ++i) found = find_named(d, kids[i], name);
    if (kids) XFree(kids);
    return found;
}

static bool centre_drawn(Display* d, Window w)
{
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable) return false;
    XImage* img = XGetImage(d, w, a.width / 2, a.height / 2, 1, 1, AllPlanes, ZPixmap);
    if (!img) return false;
    const unsigned long px = XGetPixel(img, 0, 0);
    XDestroyImage(img);
    return (px & 0xFFFFFF) != 0;
}

static void close_window(Display* d, Window w)
{
    XEvent ev;
    memset(&ev, 0, sizeof ev);
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSendEvent(d, w, False, NoEventMask, &ev);
    XSync(d, False);
}

static double median(std::vector<double> v)
{
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

static double ms_since(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: first_frame RUNS PROGRAM [ARGS...]\n");
        return 2;
    }
    const int runs = atoi(argv[1]);
    Display* d = XOpenDisplay(nullptr);
    if (!d || runs < 1) {
        fprintf(stderr, "first_frame: no display or no runs\n");
        return 2;
    }
    XSetErrorHandler(ignore_x_error);
    std::vector<double> mapped, drawn;
    for (int run = 0; run < runs; ++run) {
        const Clock::time_point t0 = Clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            const int null = open("/dev/null", O_RDWR);
            dup2(null, 1);
            dup2(null, 2);
            execv(argv[2], argv + 2);
            _exit(127);
        }
        if (pid < 0) return 1;
        double t_map = -1, t_draw = -1;
        Window w = 0;
        // Each run is bounded: 20 s to show a drawn frame.
        while (ms_since(t0) < 20000) {
            if (!w) w = find_named(d, DefaultRootWindow(d), "Hangaron");
            if (w) {
                XWindowAttributes a;
                if (t_map < 0 && XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable) t_map = ms_since(t0);
                if (t_map >= 0 && centre_drawn(d, w)) {
                    t_draw = ms_since(t0);
                    break;
                }
            }
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) break;
            usleep(500);
        }
        if (w) close_window(d, w);
        int status = 0;
        for (int i = 0; i < 200 && waitpid(pid, &status, WNOHANG) == 0; ++i) usleep(50 * 1000);
        if (waitpid(pid, &status, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        printf("run %2d: window mapped %8.1f ms, first frame %8.1f ms\n", run + 1, t_map, t_draw);
        if (t_map >= 0) mapped.push_back(t_map);
        if (t_draw >= 0) drawn.push_back(t_draw);
    }
    printf("median of %d runs: window mapped %.1f ms (%zu runs), first frame on screen %.1f ms (%zu runs); %s\n",
           runs, median(mapped), mapped.size(), median(drawn), drawn.size(), BENCH_load().c_str());
    XCloseDisplay(d);
    return drawn.size() == (size_t)runs ? 0 : 1;
}
