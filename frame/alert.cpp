// The alert's presenter: shows the message, logs it, and ends the program for fatal and crash
// codes. Until the popup exists it always uses the system message box.
#include "frame/alert.h"

#include "foundation/hl_memory.h"
#include "frame/hl_init.h"
#include "frame/hl_shutdown.h"
#include "platform/plat_system.h"

#include <cstdlib>

int gAlertShowing = 0;

void ALERT_present(int /*popup_to_reopen*/, const std::string (&lines)[4], int code, const std::string& where)
{
    const int nested = gAlertShowing;
    gAlertShowing = 1;

    std::string text = lines[0] + "\n\n" + lines[1] + "\n\n" + lines[2] + "\n\n" + lines[3];
    if (text.size() > 2000) text.resize(2000);
    PLAT_message_box("Hangaron Message", text);

    if (code == t_crash || (nested && code == t_note)) MEM_dump_info("MACIBM_alert (with code t_crash)");
    if (code != t_language || nested) {
        gLog << "\n";
        for (const std::string& l : lines) gLog << l << "\n";
        gLog << where << "\n";
        gLog.flush();
    }
    if (code == t_fatal || code == t_crash || nested) {
        app_shutdown(0);
        gQuit = 1;
        if (code == t_crash || nested) PLAT_abort();
        exit(0);
    }
    gAlertShowing = 0;
}
