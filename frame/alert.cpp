// The alert: logs the message, shows it, and ends the program for fatal and crash codes.
// Until the popup exists it always uses the system message box.
#include "frame/alert.h"

#include "foundation/HL_THREAD.h"
#include "foundation/hl_memory.h"
#include "foundation/options.h"
#include "frame/hl_init.h"
#include "frame/hl_shutdown.h"
#include "platform/plat_system.h"

#include <cstdlib>

int gAlertShowing = 0;

std::string ALERT_location_text(const char* file, int line)
{
    std::string name = file ? file : "";
    size_t cut = name.find_last_of("/\\");
    if (cut != std::string::npos) name.erase(0, cut + 1);
    long long v = line;
    bool neg = v < 0;
    if (neg) v = -v;
    std::string digits = std::to_string(v % 100000000LL);
    return "(" + name + ":" + (neg ? "-" : "") + digits + ")";
}

static void log_alert(const std::string* lines, const std::string& where)
{
    for (int i = 0; i < 4; ++i) gLog << lines[i] << "\n";
    gLog << where << "\n";
    gLog.flush();
}

void MACIBM_alert(int /*popup_to_reopen*/, const std::string& line1, const std::string& line2,
                  const std::string& line3, const std::string& line4, int code, const char* file, int line)
{
    // Only the main thread shows alerts: another thread hands its alert over and, for fatal and
    // crash codes, ends there.
    if (THREAD_is_inited() && !THREAD_is_main_thread()) {
        THREAD_forward_exception(exce_class(line1, line2, line3, line4, file, line, code));
        return;
    }

    const std::string lines[4] = {line1, line2, line3, line4};
    const std::string where = ALERT_location_text(file, line);

    if (CMDLINE_has_option("--fps_test") || CMDLINE_has_option("--qa_script")) {
        log_alert(lines, where);
        if (code == t_fatal || code == t_crash) PLAT_exit_now(1);
        return;
    }

    const int nested = gAlertShowing;
    gAlertShowing = 1;

    std::string text = lines[0] + "\n\n" + lines[1] + "\n\n" + lines[2] + "\n\n" + lines[3];
    if (text.size() > 2000) text.resize(2000);
    PLAT_message_box("Hangaron Message", text);

    if (code == t_crash || (nested && code == t_note)) MEM_dump_info("MACIBM_alert (with code t_crash)");
    if (code != t_language || nested) {
        gLog << "\n";
        log_alert(lines, where);
    }
    if (code == t_fatal || code == t_crash || nested) {
        app_shutdown(0);
        gQuit = 1;
        if (code == t_crash || nested) PLAT_abort();
        exit(0);
    }
    gAlertShowing = 0;
}
