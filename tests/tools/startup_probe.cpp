// Test program: the real start-up, then what a test asks for, printing what it checks to stdout.
//   (no option)       prints the colour table's interface entries and the language, then runs
//                     frames until the window is closed and shuts down as the program does
//   --progress=P      draws the start-up screen with progress P (or, with "none", without one,
//                     three times) and waits without drawing again until the window is closed
//   --alert=fatal     runs a few frames, then raises a fatal alert (crash: a crash alert)
//   --refuse_loader   asks for the loader context six times on the main thread: without the main
//                     window, with the first to fourth OpenGL call refused, and with nothing
//                     refused; prints the six results
#include "probe_common.h"
#include "foundation/options.h"
#include "frame/alert.h"
#include "frame/hl_event.h"
#include "frame/hl_init.h"
#include "frame/hl_shutdown.h"
#include "graphics/COL_scheme.h"
#include "platform/plat_window.h"

#include <cstdio>
#include <cstdlib>
#include <string>

// The loader context, asked for on the main thread, which then takes its own context back.
static int gRefuse = 0, gCalls = 0; // the OpenGL call to refuse (0: none), the calls so far
static void refuse_loader_steps()
{
    std::string results = "loader contexts:";
    PLAT_window* main_window = gWindows.window[0];
    PLAT_gl_refuse_hook = [](const char*) { return (int)(++gCalls == gRefuse); };
    for (int k = 0; k <= 5; ++k) {
        gRefuse = k % 5;
        gCalls = 0;
        gWindows.window[0] = k ? main_window : nullptr;
        results += " " + std::to_string(make_loader_gl_context(nullptr));
        gRefuse = 0;
        gWindows.window[0] = main_window;
        hl_make_current(main_window, gWindows.context[0]);
    }
    PLAT_gl_refuse_hook = nullptr;
    say(results);
}

static int byte_of(float v)
{
    return (int)(v * 255.0f + 0.5f);
}

int main(int argc, char** argv)
{
    const std::string cmd = CMDLINE_text_from_argv(argc, argv);
    const char* args[1] = {cmd.c_str()};
    hl_startup(1, args);

    std::string colors = "colors:";
    for (int i = 43; i <= 56; ++i)
        colors += " " + std::to_string(i) + "=" + std::to_string(byte_of(gColors[i][0])) + "," +
                  std::to_string(byte_of(gColors[i][1])) + "," + std::to_string(byte_of(gColors[i][2]));
    say(colors);
    say("color 48 exact: " + std::string(gColors[48][0] == (gColors[47][0] + gColors[44][0]) / 2.0f &&
                                                 gColors[48][1] == (gColors[47][1] + gColors[44][1]) / 2.0f &&
                                                 gColors[48][2] == (gColors[47][2] + gColors[44][2]) / 2.0f
                                             ? "yes"
                                             : "no"));
    say("language: " + std::to_string(gLanguage));
    if (CMDLINE_has_option("--refuse_loader")) refuse_loader_steps();

    if (CMDLINE_has_option("--progress")) {
        const std::string v = CMDLINE_get_option("--progress");
        if (v == "none") {
            for (int i = 0; i < 3; ++i) draw_startup_message("Counted screen.", nullptr);
        } else {
            float p = strtof(v.c_str(), nullptr);
            draw_startup_message("Progress " + v + ".", &p);
        }
        say("ready");
        // No frame runs: the start-up screen stays as drawn.
        while (!gQuit) {
            if (PLAT_pump_events() == 0) PLAT_wait_event(16);
        }
    } else if (CMDLINE_has_option("--alert")) {
        for (int i = 0; i < 3; ++i) hl_do_frame();
        say("ready");
        const bool crash = CMDLINE_get_option("--alert") == "crash";
        MACIBM_alert(0, crash ? "Probe crash." : "Probe fatal.", "", "", "", crash ? t_crash : t_fatal, "startup_probe",
                     crash ? 3 : 2);
        say("the alert returned");
        return 5;
    } else {
        say("ready");
        while (!gQuit) hl_do_frame();
    }
    app_shutdown(1);
    return 0;
}
