// The movie recorder's cost per frame beside ffmpeg's own screen recorder, in one run: records
// 600 frames of an 800 x 600 window of changing bands and reports the main thread's time per
// frame (screen copy, frame quad, read-back) and the compression thread's (convert, encode,
// write); then, with the window still changing, `ffmpeg -f x11grab` records 600 frames of the
// same display as MJPEG 320 wide into a .mov, and its CPU time per frame is reported.
// Run under an X server (bench/movie_record.sh starts Xvfb); the movie goes beside the program.
#include "foundation/HL_THREAD.h"
#include "foundation/app_folder.h"
#include "foundation/frame_clock.h"
#include "foundation/options.h"
#include "frame/hl_init.h"
#include "frame/hl_shutdown.h"
#include "graphics/OGL_extensions.h"
#include "graphics/OGL_view.h"
#include "graphics/hl_window.h"
#include "graphics/qtim.h"
#include "graphics/tman.h"
#include "platform/plat_window.h"

#include <GL/gl.h>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

static const int kFrames = 600;

static void draw_bands(int frame)
{
    static const float colors[6][3] = {{0.8f, 0.2f, 0.2f}, {0.2f, 0.7f, 0.2f}, {0.2f, 0.3f, 0.8f},
                                       {0.9f, 0.8f, 0.2f}, {0.2f, 0.7f, 0.8f}, {0.7f, 0.2f, 0.7f}};
    glEnable(GL_SCISSOR_TEST);
    const int bands = 12, h = gWindowH / bands + 1;
    for (int i = 0; i < bands; ++i) {
        const float* c = colors[(i + frame / 2) % 6];
        glScissor((frame * 3 + i * 37) % 200, i * h, gWindowW, h);
        glClearColor(c[0], c[1], c[2], 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glDisable(GL_SCISSOR_TEST);
}

static double cpu_seconds(const rusage& u)
{
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int main(int argc, char** argv)
{
    hl_set_hooks(); // the lower layers reach the frame as start-up links them
    std::string cmd = CMDLINE_text_from_argv(argc, argv);
    hl_get_app_path(gAppFolder, 0);
    hl_open_log(gAppFolder + LOG_FILE_NAME);
    CMDLINE_parse(cmd.c_str());
    THREAD_init();
    hl_register_window_class();
    gWindowedW = 800;
    gWindowedH = 600;
    gGLSettings.texture_level = 5;
    hl_fit_window_to_screen(1);
    if (!gWindows.hl_create_gl_window(0)) {
        fprintf(stderr, "no window\n");
        return 1;
    }
    gWindows.hl_set_window_count(1);
    hl_update_layout();
    gCaps.OGL_init_extensions();
    gGLSettings.RENO_reset_options();
    gTextures.init();
    if (!gMovieRecorder.available) {
        fprintf(stderr, "FFmpeg has no MJPEG encoder or mov muxer\n");
        return 1;
    }

    // A frame time of one whole period: every frame after the first is grabbed.
    QT_recorder* r = &gMovieRecorder;
    int frame = 0;
    for (; frame < 10; ++frame) {
        PLAT_pump_events();
        draw_bands(frame);
        gTimer.hl_timer_frame_time = 0.05f;
        QT_movie_tick(r);
    }
    QT_movie_toggle(r, 1);
    int64_t main_us = 0;
    int grabs = 0;
    for (int i = 0; i < 20 * kFrames && r->frames_queued < kFrames; ++i, ++frame) {
        PLAT_pump_events();
        draw_bands(frame);
        gTimer.hl_timer_frame_time = 0.05f;
        const int before = r->frames_queued;
        const int64_t t0 = hl_timer_clock_us();
        QT_capture_screen(r);
        const int64_t t1 = hl_timer_clock_us();
        OGL_swap_buffers();
        const int64_t t2 = hl_timer_clock_us();
        QT_grab_frame(r, 0.05f);
        const int64_t t3 = hl_timer_clock_us();
        if (r->frames_queued != before) {
            main_us += (t1 - t0) + (t3 - t2);
            ++grabs;
        }
    }
    QT_movie_toggle(r, 0);
    const int queued = r->frames_queued;
    printf("recorder: %d frames 320x240\n", queued);
    printf("  main thread (copy, quad, read back): %.3f ms per frame\n", grabs ? main_us / 1000.0 / grabs : 0.0);
    printf("  compression thread (convert, encode, write): %.3f ms per frame\n",
           queued ? r->compress_us.load() / 1000.0 / queued : 0.0);
    printf("  together: %.3f ms per frame\n",
           (grabs ? main_us / 1000.0 / grabs : 0.0) + (queued ? r->compress_us.load() / 1000.0 / queued : 0.0));
    fflush(stdout);

    // ffmpeg records the same display while the window keeps changing.
    const char* display = getenv("DISPLAY");
    const std::string input = std::string(display ? display : ":0") + "+0,0";
    const std::string out = gAppFolder + "x11grab.mov";
    const std::string frames = std::to_string(kFrames);
    const char* args[] = {"ffmpeg", "-v", "error", "-y", "-f", "x11grab", "-framerate", "60", "-video_size", "800x600",
                          "-i", input.c_str(), "-frames:v", frames.c_str(), "-vf", "scale=320:-2", "-c:v", "mjpeg",
                          "-q:v", "3", "-f", "mov", out.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "ffmpeg", nullptr, nullptr, (char* const*)args, environ) != 0) {
        fprintf(stderr, "could not start ffmpeg\n");
        return 1;
    }
    const int64_t start = hl_timer_clock_us();
    int status = 0;
    for (;;) {
        PLAT_pump_events();
        draw_bands(frame++);
        gTimer.hl_timer_frame_time = 0.016f;
        QT_movie_tick(r);
        if (waitpid(pid, &status, WNOHANG) == pid) break;
        usleep(5000);
        if (hl_timer_clock_us() - start > 120 * 1000000LL) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
    }
    rusage child;
    getrusage(RUSAGE_CHILDREN, &child);
    const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    printf("ffmpeg -f x11grab: %s, %d frames 320x240\n", ok ? "ok" : "failed", kFrames);
    printf("  CPU time (user + system): %.3f ms per frame\n", cpu_seconds(child) * 1000.0 / kFrames);

    hl_fit_window_to_screen(0);
    app_shutdown(1);
    return ok ? 0 : 1;
}
