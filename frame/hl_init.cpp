// Start-up sequence of the application frame and its small shared helpers (see hl_init.h).
#include "frame/hl_init.h"

#include "foundation/crash_handler.h"
#include "foundation/options.h"
#include "foundation/paths.h"
#include "platform/plat_paths.h"

#include <ios>

std::string gAppFolder;
std::ofstream gLog;
int gQuit = 0;
int gUIReady = 0;

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

static void write_log_header()
{
    gLog << "Installer log.txt for " << CORVANE_VERSION_TEXT << " (build " << __DATE__ << " " << __TIME__ << ")\n\n";
    gLog.flush();
}

void hl_startup(int /*argc*/, const char** argv)
{
    CRASH_install_handler();
    hl_get_app_path(gAppFolder, 0);
    std::string log_path;
    FILE_get_special_dir(os_dir_this_app, log_path);
    hl_open_log(log_path + LOG_FILE_NAME);
    write_log_header();
    CMDLINE_parse(argv[0]);
    gLog.flush();
}
