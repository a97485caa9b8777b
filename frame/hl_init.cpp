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
#include "graphics/OGL_extensions.h"
#include "graphics/OGL_font.h"
#include "graphics/OGL_view.h"
#include "graphics/hl_monitor.h"
#include "graphics/hl_window.h"
#include "graphics/startup_message.h"
#include "platform/plat_paths.h"
#include "platform/plat_window.h"

#include <algorithm>
#include <cerrno>
#include <ios>
#include <vector>

std::string gAppFolder;
std::ofstream gLog;
int gQuit = 0;
int gUIReady = 0;
int gDesktopColorBits = 0;
int gLanguage = -1;

void hl_get_app_path(std::string& out, int want_file)
{
    // The program file's path is used as the system gives it (no separator rewriting on Linux).
    out = PLAT_exe_path();
    if (want_file) return;
    if (out.size() > 3) {
        size_t slash = out.rfind('/');
        if (slash != std::string::npos) out.erase(slash + 1);
    }
}

void FILE_split_path(std::string& out, const std::string& path)
{
    out.clear();
    if (path.empty()) return;
    long i = (long)path.size() - 1;
    if (path.size() >= 3 && (path[(size_t)i] == '/' || path[(size_t)i] == '\\')) --i;
    while (i >= 1 && path[(size_t)i] != '/' && path[(size_t)i] != '\\') --i;
    if (path[(size_t)i] == '/' || path[(size_t)i] == '\\')
        out = path.substr((size_t)i + 1);
    else
        out = path;
}

void hl_open_log(const std::string& path)
{
    if (gLog.is_open()) gLog.close();
    gLog.clear();
    gLog.open(path, std::ios::out | std::ios::trunc);
    CRASH_set_log_path(path.c_str());
    gLog.setf(std::ios::fixed, std::ios::floatfield);
    gLog.clear();
}

void hl_close_log()
{
    if (gLog.is_open()) {
        gLog.flush();
        gLog.close();
    }
}

void hl_register_window_class()
{
    PLAT_register_window_class("Hangaron", hl_window_proc);
}

void hl_unregister_window_class()
{
    PLAT_unregister_window_class("Hangaron");
}

void hl_fit_window_to_screen(int starting)
{
    if (!starting) {
        hl_set_window_mode(0);
    } else {
        // An unreadable desktop counts as large enough, so the window stays as asked.
        int w = 1024, h = 768, bits = gFullScreenBits, hz = gFullScreenHz;
        hl_get_desktop_mode(&w, &h, &bits, &hz);
        if (w < 1024 || h < 768) {
            gFullScreen = 1;
            if (gFullScreenW < 1024 || gFullScreenH < 768) {
                if (gFullScreenW < 1024) gFullScreenW = 1024;
                if (gFullScreenH < 768) gFullScreenH = 768;
                gFullScreenBits = bits;
                gFullScreenHz = hz;
            }
        }
        if (gFullScreen) hl_set_window_mode(2);
    }
    hl_get_desktop_mode(nullptr, nullptr, &gDesktopColorBits, nullptr);
}

int make_loader_gl_context(PLAT_gl_context* /*main_context*/)
{
    // The main thread has let go of its context for the hand-over: it is made current here for
    // a moment, so that the new context can share its objects, and then replaced by the new one.
    PLAT_window* w = gWindows.window[0];
    if (!w || PLAT_gl_make_current(w, gWindows.context[0]) != 0) {
        gLog << "Could not create/get compatible DC: " << (unsigned)errno << "\n";
        gLog.flush();
        return 0;
    }
    PLAT_gl_context* c = PLAT_gl_create_context(w, 1);
    if (!c) {
        PLAT_gl_make_current(nullptr, nullptr);
        gLog << "Could not make loader gl context: " << (unsigned)errno << "\n";
        gLog.flush();
        return 0;
    }
    if (hl_make_current(w, c) != 0) {
        PLAT_gl_make_current(nullptr, nullptr);
        PLAT_gl_delete_context(c);
        gLog << "Could not set loader ctx: " << (unsigned)errno << "\n";
        gLog.flush();
        return 0;
    }
    return 1;
}

static void write_log_header()
{
    gLog << "Installer log.txt for " << CORVANE_VERSION_TEXT << " (build " << __DATE__ << " " << __TIME__ << ")\n\n";
    gLog.flush();
}

void hl_startup(int /*argc*/, const char** argv)
{
    // Before anything can raise one, the frame takes over showing alerts.
    ALERT_set_presenter(ALERT_present);
    gFontFrameLink.language = &gLanguage;
    gFontFrameLink.ui_ready = &gUIReady;
    CRASH_install_handler();
    xmap_set_granularity(PLAT_map_granularity());
    hl_get_app_path(gAppFolder, 0);
    std::string log_path;
    FILE_get_special_dir(os_dir_this_app, log_path);
    hl_open_log(log_path + LOG_FILE_NAME);
    MEM_set_log_stream(&gLog);
    write_log_header();
    CMDLINE_parse(argv[0]);
    gLog.flush();
    THREAD_init();

    gLanguage = -1;
    gLanguage = LANG_choose_language();
    gGLSettings.texture_level = 5;

    // Here come the window and its OpenGL context, then driver detection
    // (gCaps.OGL_init_extensions), the render options (gGLSettings.RENO_reset_options) and the
    // texture manager (gTextures.init). Start-up does not make the window yet, so the program runs
    // without a display. Detection always clears threaded_avail, which gives the worker pool no
    // workers; until it runs here, start-up clears the flag itself. When the window creation
    // lands, call those three right behind it and drop this line.
    gCaps.threaded_avail = 0;
    THREAD_init_workers();

    // Language check: a language that is not selectable is replaced by the only selectable one,
    // else nothing is known. The language chooser, which would then ask the user, needs the
    // window; until it exists an unknown language is English.
    std::vector<int> languages;
    LANG_get_languages(languages);
    if (std::find(languages.begin(), languages.end(), gLanguage) == languages.end())
        gLanguage = languages.size() == 1 ? languages[0] : -1;
    if (gLanguage < 0) gLanguage = 0;

    // Late in start-up: the registries filled during static construction, then the "--dref:"
    // options (which change nothing here), then the default key bindings.
    TUNABLE_init();
    DBG_activate_all();
    CMDLINE_apply_drefs();
    CMD_init_builtin(0);

    load_installer_text();
}

// The start-up screen comes with the start-up sequence; until then there is nothing to draw on.
void draw_startup_message(const std::string&, float*)
{
}
