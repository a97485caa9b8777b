// Test program: opens the window as start-up does (log, options, threads, window, driver
// detection), draws coloured bands that change every 8 frames, and drives the movie recorder's
// tick with a frame time of 0.016 s: some frames idle, then a recording, stopped as asked.
// It prints what the tests check to stdout.
//
// Options (besides the program's own, such as --qa_script):
//   --window=WxH        windowed size (default 800x600)
//   --warm=N            frames before the recording starts (default 12)
//   --record=N          frames recorded (default 80)
//   --stop=how          toggle (default), state2 (the stop asked through state 2), quit (ends
//                       the program while recording)
//   --again             a second recording after the first (stopped by toggle)
//   --hold              the compression thread waits at the second recording's first frame
//                       record until the recorder has dropped a grab for want of a record (at
//                       the latest until that recording's last frame); the first recording's
//                       shots need their records back
//   --popup=X,Y         a popup origin in UI units while recording
//   --background        background_capture on
//   --shots=K           at the first frame of each of the first K patterns recorded, prints
//                       "shot P" and waits (at most 30 s) for a file "go_P" in the working folder,
//                       then (as long again at most) for every frame record to come back
//   --pace=MS           sleeps MS milliseconds after every frame
//   --file_limit=BYTES  the largest file the process may write (writes beyond it fail)
#include "probe_common.h"
#include "foundation/HL_THREAD.h"
#include "foundation/UTL_thread.h"
#include "foundation/app_folder.h"
#include "foundation/frame_clock.h"
#include "foundation/options.h"
#include "foundation/quit.h"
#include "frame/hl_init.h"
#include "frame/hl_shutdown.h"
#include "graphics/OGL_extensions.h"
#include "graphics/OGL_view.h"
#include "graphics/hl_window.h"
#include "graphics/qtim.h"
#include "graphics/tman.h"
#include "platform/plat_window.h"

#include <GL/gl.h>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

static const unsigned char kColors[6][3] = {{200, 40, 40},  {40, 180, 60},  {50, 70, 210},
                                            {230, 200, 40}, {40, 190, 200}, {190, 60, 190}};

static void fill(int x, int y, int w, int h, const unsigned char* c)
{
    glScissor(x, y, w, h);
    glClearColor(c[0] / 255.0f, c[1] / 255.0f, c[2] / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

// Pattern p: four bands from the top in colours p, p+1, p+2, p+3 (of six), so no pattern is
// another one upside down, and a white block at the top left.
static void draw_pattern(int p)
{
    glEnable(GL_SCISSOR_TEST);
    const int w = gWindowW, h = gWindowH, band = h / 4;
    for (int i = 0; i < 4; ++i) {
        const int top = h - i * band;
        const int bottom = i == 3 ? 0 : top - band;
        fill(0, bottom, w, top - bottom, kColors[(p + i) % 6]);
    }
    const unsigned char white[3] = {255, 255, 255};
    fill(0, h - h / 8, w / 4, h / 8, white);
    glDisable(GL_SCISSOR_TEST);
}

static int gTick = 0;
static int gShotsLeft = 0;
static int gPace = 0;
static bool gRecording = false;

static void wait_for_go(int pattern)
{
    const std::string go = "go_" + std::to_string(pattern);
    for (int i = 0; i < 3000 && access(go.c_str(), F_OK) != 0; ++i) usleep(10000);
    // Every frame record back from the compression thread, so the grabs that follow find one.
    for (int i = 0; i < 3000 && gMovieRecorder.frames_handed_back.load() < gMovieRecorder.frames_queued; ++i)
        usleep(10000);
}

// --hold: once armed, the compression thread waits at the next record it takes until the main
// thread lets it go.
static UTL_semaphore* gRelease = nullptr;
static std::atomic<int> gHoldArmed{0};
static bool gHolding = false; // armed or held, and not yet let go
static int gDropsBeforeHold = 0;

static void hold_compression()
{
    if (gHoldArmed.exchange(0)) SEM_wait(gRelease, 30000);
}

static void release_compression()
{
    if (!gHolding) return;
    gHolding = false;
    SEM_signal(gRelease);
}

static void frame()
{
    PLAT_pump_events();
    const int pattern = gTick / 8;
    draw_pattern(pattern);
    const int queued = gMovieRecorder.frames_queued;
    gTimer.hl_timer_frame_time = 0.016f;
    QT_movie_tick(&gMovieRecorder);
    if (gMovieRecorder.frames_queued != queued)
        say("queued tick " + std::to_string(gTick) + " pattern " + std::to_string(pattern));
    if (gHolding && gMovieRecorder.frames_dropped > gDropsBeforeHold) {
        say("compression let go at tick " + std::to_string(gTick));
        release_compression();
    }
    if (gRecording && gShotsLeft > 0 && gTick % 8 == 0) {
        --gShotsLeft;
        say("shot " + std::to_string(pattern));
        wait_for_go(pattern);
    }
    ++gTick;
    if (gPace) usleep(gPace * 1000);
}

static int gDropped = 0; // grabs of the last recording that found no frame record

// A recording of n frames; returns the frames handed to the compression thread.
static int record(int n, const std::string& stop, bool hold = false)
{
    const int before = gMovieRecorder.frames_queued;
    const int dropped = gMovieRecorder.frames_dropped;
    if (hold) {
        gDropsBeforeHold = dropped;
        gHolding = true;
        gHoldArmed = 1;
    }
    QT_movie_toggle(&gMovieRecorder, 1);
    say("state after start: " + std::to_string(gMovieRecorder.state.load()) + " height " +
        std::to_string(gMovieRecorder.height));
    gRecording = true;
    for (int i = 0; i < n && !gQuit; ++i) frame();
    release_compression();
    gRecording = false;
    gDropped = gMovieRecorder.frames_dropped - dropped;
    if (stop == "quit") return gMovieRecorder.frames_queued - before;
    if (stop == "state2") {
        gMovieRecorder.state = 2;
        for (int i = 0; i < 100 && gMovieRecorder.state.load() != 0; ++i) frame();
    } else {
        QT_movie_toggle(&gMovieRecorder, 0);
    }
    say("state after stop: " + std::to_string(gMovieRecorder.state.load()));
    return gMovieRecorder.frames_queued - before;
}

int main(int argc, char** argv)
{
    hl_set_hooks(); // the lower layers reach the frame as start-up links them
    std::string cmd = CMDLINE_text_from_argv(argc, argv);
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return 2;
    hl_get_app_path(gAppFolder, 0);
    hl_open_log(std::string(cwd) + "/" + LOG_FILE_NAME);
    CMDLINE_parse(cmd.c_str());
    if (CMDLINE_has_option("--file_limit")) {
        // A write beyond the limit then fails with EFBIG instead of ending the process.
        signal(SIGXFSZ, SIG_IGN);
        rlimit lim;
        lim.rlim_cur = lim.rlim_max = (rlim_t)atoll(CMDLINE_get_option("--file_limit").c_str());
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    THREAD_init();
    int w = 800, h = 600;
    if (CMDLINE_has_option("--window")) {
        std::string v = CMDLINE_get_option("--window");
        w = atoi(v.c_str());
        size_t x = v.find('x');
        h = x == std::string::npos ? 0 : atoi(v.c_str() + x + 1);
    }
    gGLSettings.texture_level = 5;
    probe_make_window(w, h);
    say("size: " + std::to_string(gWindowW) + "x" + std::to_string(gWindowH) + " available " +
        std::to_string(gMovieRecorder.available) + " pbo " + std::to_string(gCaps.pbo_avail));

    gShotsLeft = opt_int("--shots", 0);
    if (CMDLINE_has_option("--hold")) {
        SEM_create(&gRelease, 0);
        gMovieCompressHook = hold_compression;
    }
    gPace = opt_int("--pace", 0);
    gMovieRecorder.background_capture = CMDLINE_has_option("--background") ? 1 : 0;
    if (CMDLINE_has_option("--popup")) {
        std::string v = CMDLINE_get_option("--popup");
        gPopupX = (float)atof(v.c_str());
        size_t comma = v.find(',');
        gPopupY = comma == std::string::npos ? 0 : (float)atof(v.c_str() + comma + 1);
    }

    const std::string stop = CMDLINE_has_option("--stop") ? CMDLINE_get_option("--stop") : "toggle";
    for (int i = opt_int("--warm", 12); i > 0; --i) frame();
    int n = record(opt_int("--record", 80), stop);
    say("recording 1 frames queued: " + std::to_string(n) + " dropped: " + std::to_string(gDropped));
    if (stop != "quit" && CMDLINE_has_option("--again")) {
        for (int i = 0; i < 8; ++i) frame();
        n = record(opt_int("--record", 80), "toggle", CMDLINE_has_option("--hold"));
        say("recording 2 frames queued: " + std::to_string(n) + " dropped: " + std::to_string(gDropped));
    }
    say("compress us per frame: " +
        std::to_string(gMovieRecorder.compress_us.load() / (gMovieRecorder.frames_queued ? gMovieRecorder.frames_queued : 1)));
    hl_fit_window_to_screen(0);
    app_shutdown(1);
    say("shut down");
    return 0;
}
