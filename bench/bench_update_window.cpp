// The whole update through the real window, timed from inside: the program's own start-up, frame
// loop and wizard (WinMain) run here, and the frame timer's clock hook, read once per frame, takes
// the time and the main thread's CPU time of every frame. It stands in for the user: after two
// seconds of idle frames on Welcome it moves on to Search for Updates, presses Next on Check Disk
// Space, and ends the program on Finish. Run by bench/update_window.sh, which makes the release,
// serves it with nginx, registers the copy and writes the proxy preferences.
// Prints: the longest frame during the scan and during the install, the idle frame's CPU time on
// Welcome, and the seconds from Next on Check Disk Space to Finish.
#include "app/main.h"
#include "app/wizard.h"
#include "foundation/quit.h"
#include "frame/hl_timer.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

int64_t now_us()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int64_t)t.tv_sec * 1000000 + t.tv_nsec / 1000;
}

int64_t cpu_us()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (int64_t)t.tv_sec * 1000000 + t.tv_nsec / 1000;
}

struct Phase {
    const char* name;
    std::vector<double> wall_ms, cpu_ms;
};

Phase sWelcome{"Welcome (idle)", {}, {}}, sScan{"Search for Updates (scan)", {}, {}},
    sInstall{"Install Updates", {}, {}};
int64_t sLastWall = -1, sLastCpu = 0, sWelcomeSince = -1, sNextAt = -1, sFinishAt = -1;
StepFunc sLastStep = nullptr;

// Called by the frame timer's tick, once per frame: the time since the previous tick is that
// frame's length (its idle wait included), and the step that frame ran is gCurStep as it stood.
int64_t clock_hook()
{
    const int64_t wall = now_us(), cpu = cpu_us();
    if (sLastWall >= 0) {
        Phase* p = sLastStep == step_welcome          ? &sWelcome
                   : sLastStep == step_search_updates ? &sScan
                   : sLastStep == step_install_updates ? &sInstall
                                                       : nullptr;
        if (p) {
            p->wall_ms.push_back((wall - sLastWall) / 1000.0);
            p->cpu_ms.push_back((cpu - sLastCpu) / 1000.0);
        }
    }
    sLastWall = wall;
    sLastCpu = cpu;

    // The user's clicks, each once the page it answers has been drawn.
    if (gCurStep == step_welcome && sLastStep == step_welcome) {
        if (sWelcomeSince < 0) sWelcomeSince = wall;
        if (wall - sWelcomeSince > 2000000) gCurStep = step_search_updates;
    } else if (gCurStep == step_check_disk_space && sLastStep == step_check_disk_space && sNextAt < 0) {
        sNextAt = wall;
        gCurStep = step_install_updates;
    } else if (gCurStep == step_finish && sFinishAt < 0) {
        sFinishAt = wall;
    } else if (gCurStep == step_finish && sLastStep == step_finish) {
        gQuit = 1;
    }
    sLastStep = gCurStep;
    return hl_timer_clock_us();
}

void report(const Phase& p)
{
    if (p.wall_ms.empty()) {
        printf("%-28s no frames\n", p.name);
        return;
    }
    std::vector<double> w = p.wall_ms, c = p.cpu_ms;
    std::sort(w.begin(), w.end());
    std::sort(c.begin(), c.end());
    printf("%-28s %6zu frames  longest %7.2f ms  median %6.2f ms  CPU median %6.3f ms  CPU longest %7.2f ms\n",
           p.name, w.size(), w.back(), w[w.size() / 2], c[c.size() / 2], c.back());
}

} // namespace

int main()
{
    gTimerClock = clock_hook;
    const int rc = WinMain("");
    printf("\n");
    report(sWelcome);
    report(sScan);
    report(sInstall);
    if (sNextAt >= 0 && sFinishAt >= 0)
        printf("Next on Check Disk Space to Finish: %.2f s\n", (sFinishAt - sNextAt) / 1e6);
    else
        printf("the update did not reach Finish\n");
    return rc;
}
