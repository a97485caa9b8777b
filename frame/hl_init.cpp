// Start-up sequence of the application frame and its small shared helpers (see hl_init.h).
#include "frame/hl_init.h"

#include "frame/alert.h"
#include "foundation/HL_THREAD.h"
#include "foundation/crash_handler.h"
#include "foundation/debug_cmds.h"
#include "foundation/hl_memory.h"
#include "foundation/options.h"
#include "foundation/paths.h"
#include "foundation/translation.h"
#include "foundation/tunables.h"
#include "frame/hl_commands.h"
#include "frame/hl_shutdown.h"
#include "foundation/xmap.h"
#include "platform/plat_map.h"
#include "frame/hl_event.h"
#include "graphics/OGL_back_tex.h"
#include "graphics/OGL_extensions.h"
#include "graphics/OGL_font.h"
#include "graphics/OGL_view.h"
#include "graphics/hl_monitor.h"
#include "graphics/hl_window.h"
#include "frame/butn.h"
#include "frame/hl_colors.h"
#include "frame/hl_popup.h"
#include "frame/mbar.h"
#include "graphics/TEX_png.h"
#include "graphics/tman.h"
#include "platform/plat_clock.h"
#include "platform/plat_fileio.h"
#include "platform/plat_sysinfo.h"
#include "platform/plat_window.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ios>
#include <vector>

int gUIReady = 0;
int gDesktopColorBits = 0;
int gLanguage = -1;
int gCaseSensitive = 1;
int gStartupScreens = 0;

// The descriptor that holds the open log's lock; -1 while none is held.
static int sLogLock = -1;

static void let_go_of_log()
{
    if (sLogLock >= 0) PLAT_out_close(sLogLock);
    sLogLock = -1;
    // A crash from here on has no log of its own to append to.
    CRASH_set_log_path(nullptr);
}

int hl_open_log(const std::string& path)
{
    if (gLog.is_open()) gLog.close();
    let_go_of_log();
    gLog.clear();
    int err = 0;
    // Emptied only once it is held: the log of an updater that runs is left as it is.
    const int taken = PLAT_take_file(path, sLogLock, err);
    if (taken == 1) {
        gLog.open(path, std::ios::out | std::ios::app);
        CRASH_set_log_path(path.c_str());
    }
    gLog.setf(std::ios::fixed, std::ios::floatfield);
    gLog.clear();
    if (taken != 1) gLog.setstate(std::ios::failbit);
    return taken;
}

void hl_close_log()
{
    if (gLog.is_open()) {
        gLog.flush();
        gLog.close();
    }
    let_go_of_log();
}

void hl_register_window_class()
{
    PLAT_register_window_class("Hangaron", hl_event_arrived);
}

void hl_unregister_window_class()
{
    PLAT_unregister_window_class("Hangaron");
}

// Without its full-screen mode the window would be larger than the desktop, with the wizard's
// buttons beyond its lower edge; the windowed size is kept where it fits. what says why: "has no"
// or "refused its".
static void keep_window_on_desktop(int w, int h, const char* what)
{
    if (gWindowedW > w || gWindowedH > h) return;
    gLog << "The desktop is " << w << "x" << h << " and " << what << " " << gFullScreenW << "x" << gFullScreenH
         << " mode: the window stays " << gWindowedW << "x" << gWindowedH << ", not full screen.\n";
    hl_set_window_mode(0);
}

void hl_fit_window_to_screen(int starting)
{
    if (!starting) {
        hl_set_window_mode(0);
    } else {
        // An unreadable desktop counts as large enough, so the window stays as asked.
        int w = 1024, h = 768, bits = gFullScreenBits, hz = gFullScreenHz;
        hl_get_desktop_mode(&w, &h, &bits, &hz);
        const int small = w < 1024 || h < 768;
        if (small) {
            gFullScreen = 1;
            if (gFullScreenW < 1024 || gFullScreenH < 768) {
                if (gFullScreenW < 1024) gFullScreenW = 1024;
                if (gFullScreenH < 768) gFullScreenH = 768;
                gFullScreenBits = bits;
                gFullScreenHz = hz;
                // The larger size seldom comes at the desktop's own rate and depth: the nearest
                // the monitor offers for it is taken.
                hl_nearest_display_mode(0, gFullScreenW, gFullScreenH, &gFullScreenBits, &gFullScreenHz);
            }
        }
        if (gFullScreen) hl_set_window_mode(2);
        if (small && !hl_pending_display_mode(nullptr, nullptr, nullptr, nullptr))
            keep_window_on_desktop(w, h, "has no");
    }
    hl_get_desktop_mode(nullptr, nullptr, &gDesktopColorBits, nullptr);
}

void hl_display_mode_refused()
{
    int w = 1024, h = 768;
    hl_get_desktop_mode(&w, &h, nullptr, nullptr);
    if (gFullScreenW > w || gFullScreenH > h) keep_window_on_desktop(w, h, "refused its");
}

// One failed step of the loader context: its text and the system's reason on one log line.
static int loader_gl_failed(const char* text, const char* reason)
{
    gLog << text << reason << "\n";
    gLog.flush();
    return 0;
}

int make_loader_gl_context(PLAT_gl_context* /*main_context*/)
{
    PLAT_window* w = gWindows.window[0];
    if (!w) return loader_gl_failed("Could not create/get compatible DC: ", "there is no main window");
    if (PLAT_gl_use_window_format(w) != 0)
        return loader_gl_failed("Could not set pixel format on worker DC: ", PLAT_gl_error());
    // The main thread has let go of its context for the hand-over: it is made current here for
    // a moment, so that the new context can share its objects, and then replaced by the new one.
    if (PLAT_gl_make_current(w, gWindows.context[0]) != 0)
        return loader_gl_failed("Could not share lists: ", PLAT_gl_error());
    PLAT_gl_context* c = PLAT_gl_create_context(w, 1);
    if (!c) {
        const std::string reason = PLAT_gl_error();
        PLAT_gl_make_current(nullptr, nullptr);
        return loader_gl_failed("Could not make loader gl context: ", reason.c_str());
    }
    if (hl_make_current(w, c) != 0) {
        const std::string reason = PLAT_gl_error();
        PLAT_gl_make_current(nullptr, nullptr);
        PLAT_gl_delete_context(c);
        return loader_gl_failed("Could not set loader ctx: ", reason.c_str());
    }
    return 1;
}

void hl_write_log_header(std::ostream& log, const PLAT_system_info& sys, const std::string& app_folder,
                         const std::string& log_folder)
{
    log << "Installer log.txt for " << CORVANE_VERSION_TEXT << " compiled on " << __DATE__ << " " << __TIME__
        << "\n\n";
    log << "This log file is generated automatically by Veltrano applications and contains diagnostics about your "
           "graphics hardware, installation, and any error conditions.\n";
    log << "If you need to contact tech support or file a bug, please send us this file. NOTE: this file is "
           "rewritten every time you start ANY of your Hangaron applications.\n\n";
    log << "If you got a hard system crash and want to report this to Veltrano, then be sure to send your "
           "crash_report.txt file generated by the crash as well!\n\n";
    log << sys.sysname << " " << sys.major << "." << sys.minor << " (build " << sys.patch << "/" << sys.machine
        << ") " << sys.version << "\n";
    log << "CPU type: " << sys.cpu_family << "\n";
    if (sys.total_memory >= 4294967295ull)
        log << "Physical Memory: more than 4 GB.\n";
    else
        log << "Physical Memory: " << sys.total_memory << "\n";
    // Every processor's line begins "CPU 0: ", as support has always read it.
    for (const PLAT_cpu_info& cpu : sys.cpus) {
        log << "CPU 0: ";
        if (cpu.has_name) log << cpu.name << " ";
        if (cpu.has_mhz) log << " Speed (mhz): " << cpu.mhz;
        log << "\n";
    }
    log << "\nHangaron folder:'" << app_folder << "', case sensitive=" << gCaseSensitive << "\n\n";
    // Support is asked for this file: it may not lie beside the program.
    log << "Log folder:'" << log_folder << "'\n\n";
    log.flush();
}

int hl_interface_color_samples(const unsigned char* rgba, int width, int height, hl_color_sample out[HL_COLOR_SAMPLES])
{
    // Picture coordinates from the top-left corner, in the order the colours are set.
    static const struct {
        int index, x, y;
    } kPixels[HL_COLOR_SAMPLES - 1] = {{43, 319, 356}, {44, 319, 364}, {45, 319, 372}, {46, 319, 380},
                                       {47, 319, 388}, {49, 319, 396}, {50, 319, 404}, {51, 319, 412},
                                       {52, 319, 420}, {54, 319, 428}, {55, 319, 436}, {56, 319, 444},
                                       {53, 395, 396}};
    if (!rgba || width != HL_INTERFACE_SIDE || height != HL_INTERFACE_SIDE) return 0;
    for (int i = 0; i < HL_COLOR_SAMPLES - 1; ++i) {
        // The reader stores the bottom row first.
        const unsigned char* p = rgba + ((size_t)(HL_INTERFACE_SIDE - 1 - kPixels[i].y) * HL_INTERFACE_SIDE +
                                         (size_t)kPixels[i].x) * 4;
        out[i] = {kPixels[i].index, p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f};
    }
    const hl_color_sample& c47 = out[4];
    const hl_color_sample& c44 = out[1];
    out[HL_COLOR_SAMPLES - 1] = {48, (c47.r + c44.r) / 2.0f, (c47.g + c44.g) / 2.0f, (c47.b + c44.b) / 2.0f};
    return 1;
}

void hl_load_interface_picture(const std::string& path, xmap_file& view, TEX_image_info& info)
{
    unsigned char* pixels = gScratchPixels;
    int ok = 0;
    if (view.map(path))
        ok = TEX_load_png(path, view, &pixels, TMAN_SCRATCH_BYTES, TEX_GL_RGBA, 0, 0, TEX_rule_keep, 0, info, nullptr);
    // The colours are sampled at fixed places, so a picture of another size cannot be used.
    if (!ok || info.width != HL_INTERFACE_SIDE || info.height != HL_INTERFACE_SIDE)
        MACIBM_alert(0, "I cannot open the graphics interface file!",
                     "It seems that you have moved this program out of the Hangaron folder!",
                     "NO! NO! Create a shortcut if you want, but do not move the Corvane application itself out of "
                     "the Hangaron folder that it came in!",
                     "", t_fatal, "hl_init", 878);
}

static void set_interface_colors(const hl_color_sample* samples)
{
    for (int i = 0; i < HL_COLOR_SAMPLES; ++i) COL_set_color(samples[i].index, samples[i].r, samples[i].g, samples[i].b);
}

// Set once start-up has opened its first popup: before that there is no view to draw in.
static int gStartupScreenReady = 0;

void draw_startup_message(const std::string& text, float* progress)
{
    if (!gStartupScreenReady) return;
    const float x0 = gLayoutLeft;
    OGL_fill_backdrop();
    BTN_frame2(18, x0 + 10, 31, 460, 200, "", 1.0f);
    OGL_draw_string(61, x0 + 22, 210, CORVANE_WEB_HOST, 440, 0, 0);
    // A progress that is not a number counts as none done.
    float p = progress ? *progress : (float)(gStartupScreens++) / 100.0f;
    if (!(p >= 0.02f)) p = 0.02f;
    if (p > 1.0f) p = 1.0f;
    const float left = x0 + 8, right = x0 + 1024 - 8, width = right - left;
    const int fill = OGL_trunc(p * width + left);
    BTN_frame1(4, (left + right) / 2, 15, width, 61);
    BTN_frame1(5, (left + (float)fill) / 2, 15, (float)fill - left, 61);
    OGL_draw_string(73, x0 + 22, 60, text, 440, 0, 0);
    OGL_swap_buffers();
}

// The runtime's generator, from which the server choice draws: seeded from the microsecond
// clock, and a clock-dependent number of values thrown away.
static void seed_random()
{
    const uint32_t seed = (uint32_t)(uint64_t)PLAT_clock_us();
    srand(seed);
    for (uint32_t i = 0, n = seed % 1000; i < n; ++i) (void)rand();
}

static void language_check()
{
    // A language that is not selectable is replaced by the only selectable one, else it is asked.
    std::vector<int> languages;
    LANG_get_languages(languages);
    if (std::find(languages.begin(), languages.end(), gLanguage) == languages.end())
        gLanguage = languages.size() == 1 ? languages[0] : -1;
    if (gLanguage < 0) {
        gLanguage = 0;
        MACIBM_alert(-1, "-", "-", "-", "-", t_language, "hl_init", 940);
    }
}

// The log of another updater is not this one's to write: whoever started this one learns where
// its own log is, or that it has none.
static void tell_log_place(const std::string& held, const std::string& used)
{
    const std::string text = "The log " + held + " is in use by another updater; " +
                             (used.empty() ? std::string("this one writes no log.") : "this one's log is " + used) +
                             "\n";
    fputs(text.c_str(), stderr);
    fflush(stderr);
}

void hl_startup(int /*argc*/, const char** argv)
{
    hl_set_hooks();
    // Before anything can raise one, the frame takes over showing alerts.
    ALERT_set_presenter(ALERT_present);
    gFontFrameLink.language = &gLanguage;
    gFontFrameLink.ui_ready = &gUIReady;
    CRASH_install_handler();
    hl_register_window_class();
    // No system dialogs to switch off on Linux; only the mapping granularity is taken.
    xmap_set_granularity(PLAT_map_granularity());
    hl_get_app_path(gAppFolder, 0);

    std::string log_folder;
    FILE_get_special_dir(os_dir_this_app, log_folder);
    std::string held = log_folder + LOG_FILE_NAME;
    int taken = hl_open_log(held);
    // An installed program's folder is seldom the user's to write, and the log there may be held
    // by another updater run from the same folder (one with another data folder): the log goes
    // beside the preferences then, in the data folder that this updater alone runs with.
    if (taken != 1) {
        const int beside = taken;
        FILE_get_special_dir(os_dir_prefs, log_folder);
        taken = hl_open_log(log_folder + LOG_FILE_NAME);
        if (taken == 0 && beside != 0) held = log_folder + LOG_FILE_NAME;
        if (beside == 0 || taken == 0) tell_log_place(held, taken == 1 ? log_folder + LOG_FILE_NAME : "");
    }
    MEM_set_log_stream(&gLog);
    PLAT_system_info sys;
    PLAT_get_system_info(sys);
    hl_write_log_header(gLog, sys, gAppFolder, log_folder);

    CMDLINE_parse(argv[0]);
    gLog.flush();
    THREAD_init();

    gWindowedW = 800;
    gWindowedH = 600;
    gGLSettings.texture_level = 5;
    gGLSettings.fsaa_wanted = 0;
    gLanguage = -1;
    gLanguage = LANG_choose_language();

    hl_fit_window_to_screen(1);
    if (!gWindows.hl_create_gl_window(0))
        MACIBM_alert(0, "I could not set up the graphics for Corvane! I hope your monitor is at 1024x768 or higher! It "
                        "must be!",
                     "You do not meet the system requirements or you do not have OpenGL drivers or you entered a bad "
                     "resolution in Corvane!",
                     "You need at least 256 meg of RAM, 16 meg of VRAM, and OpenGl drivers for your 3-D accelerator "
                     "card!",
                     "If you reset the resolution, you can try launching Corvane again, since I am resetting Corvane "
                     "to default resolution now.",
                     t_fatal, "hl_init", 815);
    // The second-monitor preference is not read by this program: one window.
    gWindows.hl_set_window_count(1);
    hl_update_layout();
    gCaps.OGL_init_extensions();
    gGLSettings.RENO_reset_options();
    // The scratch pointer already names the manager's static buffer.
    gTextures.init();
    THREAD_init_workers();
    seed_random();
    gTextures.load_bitmap(4, 1024, 0x90242, 2, "RESOURCE:map.png");
    gTextures.load_bitmap(4, 1025, 0x90241, 2, "RESOURCE:background.png");

    xmap_file interface_view;
    TEX_image_info info;
    hl_load_interface_picture("RESOURCE:interface.png", interface_view, info);
    gScratchWidth = info.width;
    gScratchHeight = info.height;
    gTextures.load_bitmap(0, 1020, 0x80242, 2, "scratch_array-interface");
    hl_color_sample samples[HL_COLOR_SAMPLES];
    if (hl_interface_color_samples(gScratchPixels, info.width, info.height, samples)) set_interface_colors(samples);

    MENU_init(1);
    hl_open_window(-1);
    gStartupScreenReady = 1;
    hl_update_layout();
    gUIReady = 1;
    language_check();
    draw_startup_message("Will init plugins.", nullptr);

    // The registries filled during static construction, then the "--dref:" options (which change
    // nothing here), then the default key bindings.
    TUNABLE_init();
    DBG_activate_all();
    CMDLINE_apply_drefs();
    CMD_init_builtin(0);

    load_installer_text();
    draw_startup_message("Starting application.", nullptr);
    interface_view.close();
}
