// The alert's presenter: standard error and the system message box before the window can show
// popups, while another alert is showing or after a quit signal, otherwise popup 994 with its own
// frame loop (also the language chooser); then the log lines and, by code, the memory report,
// the stack crawl and the end of the program.
#include "frame/alert.h"

#include "foundation/crash_handler.h"
#include "foundation/hl_memory.h"
#include "foundation/quit.h"
#include "foundation/translation.h"
#include "frame/butn.h"
#include "frame/hl_event.h"
#include "frame/hl_init.h"
#include "frame/hl_popup.h"
#include "frame/hl_shutdown.h"
#include "graphics/OGL_back_tex.h"
#include "graphics/OGL_font.h"
#include "graphics/OGL_view.h"
#include "platform/plat_system.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

int gAlertShowing = 0;

static const int kAlertPopup = 994;

void ALERT_line_places(const std::string (&texts)[5], float popup_w, ALERT_place (&places)[5])
{
    // The texts' own places: the title band, then every 40 units; the location text lowest.
    static const float kPlace[5] = {215, 175, 135, 95, 55};
    // Two lines below the title band: capitals reach 8 units above their baseline, and the line
    // between would cross the divider.
    const float below_divider = kPlace[0] - 20;
    float free_y = kPlace[0];
    for (int i = 0; i < 5; ++i) {
        places[i].lines = OGL_count_lines(texts[i], popup_w * 0.9f);
        float y = kPlace[i] < free_y ? kPlace[i] : free_y;
        if (i == 0 && places[i].lines > 1) y = below_divider;
        places[i].y = y;
        if (places[i].lines > 0) free_y = y - 10 * (float)(places[i].lines + 1);
    }
}

// The backdrop, the window, its panel and, but in the language chooser, the lines of text (with
// the location for the codes that end the program).
static void draw_alert(const std::string (&lines)[4], int code, const std::string& where)
{
    OGL_fill_backdrop();
    BTN_window_frame(1, 24);
    BTN_panel(0, 16, 10, 35, -1, -1, "", nullptr, nullptr);
    if (code == t_language) return;
    const bool located = code == t_fatal || code == t_crash;
    const std::string texts[5] = {lines[0], lines[1], lines[2], lines[3], located ? where : std::string()};
    ALERT_place places[5];
    ALERT_line_places(texts, gPopupW, places);
    for (int i = 0; i < 5; ++i)
        OGL_draw_string(52, gPopupW * 0.5f, places[i].y, texts[i], gPopupW * 0.9f, font_regular, align_center);
}

// Popup 994 until the user accepts: the button, Return, or Escape (not in the language chooser).
// A quit request that comes while it shows accepts it too, so that the program can end: also a
// second close request after the one that raised the alert (preferences that cannot be saved).
static void alert_popup(int popup_to_reopen, const std::string (&lines)[4], int code, const std::string& where)
{
    OGL_reset_drawing_state();
    const float mouse_x = gMouseX, mouse_y = gMouseY;
    // A quit that came before the alert (Finish, say) leaves it to the user: it tells of the end.
    const int quit_before = gQuit, closes_before = gCloseRequests;
    // An alert that follows another in the same place sees no move before the click on its button.
    hl_open_window_at_pointer(kAlertPopup);
    hl_view_asks();
    while (gPopup == kAlertPopup) {
        draw_alert(lines, code, where);
        std::string label;
        if (code == t_language) {
            std::vector<int> languages;
            LANG_get_languages(languages);
            for (size_t i = 0; i < languages.size(); ++i)
                BTN_radio_button(gPopupW / 2 - 25, 180 - 20 * (float)i, &gLanguage, languages[i],
                                 LANG_get_label(languages[i]));
            // Shown from the second pass on: the frame above was drawn with the old title.
            gPopupTitle = "Language/";
            label = "Accept";
        } else {
            label = LANG_translate("Understood");
        }
        const int clicked = BTN_push_button(gPopupW / 2, 18, 0, 0, 1, label, "-");
        const bool quit = (gQuit && !quit_before) || gCloseRequests != closes_before || PLAT_quit_signal();
        if (clicked || quit || gKeyEnter || (code != t_language && gKeyEscape)) {
            gKeyEnter = 0;
            gKeyEscape = 0;
            // The popup stays open behind the shutdown.
            if (code == t_fatal || code == t_crash) return;
            hl_open_window(popup_to_reopen);
            gMouseX = mouse_x;
            gMouseY = mouse_y;
        }
        if (gPopup == kAlertPopup) hl_do_frame();
    }
}

static void write_stack_crawl()
{
    FILE* f = fopen("stack_crawl.txt", "a");
    if (!f) return;
    CRASH_write_stack_crawl(f, nullptr, nullptr);
    fclose(f);
}

void ALERT_present(int popup_to_reopen, const std::string (&lines)[4], int code, const std::string& where)
{
    const int nested = gAlertShowing;
    gAlertShowing = 1;

    // After a quit signal nobody may be there to click (a logout, a closed terminal): the alert
    // only goes to standard error and the log.
    if (!gUIReady || nested || PLAT_quit_signal()) {
        ALERT_to_standard_error(lines, where);
        (void)PLAT_show_message_box("Hangaron Message", ALERT_message_box_text(lines, ALERT_MESSAGE_BOX_LIMIT));
    } else if (!(lines[0].empty() && lines[1].empty() && lines[2].empty() && lines[3].empty())) {
        alert_popup(popup_to_reopen, lines, code, where);
    }

    if (code != t_language || nested) {
        if (code == t_crash || (nested && code == t_note)) MEM_dump_info("MACIBM_alert (with code t_crash)");
        gLog << "\n";
        for (const std::string& l : lines) gLog << l << "\n";
        gLog << where << "\n";
        gLog.flush();
    }
    if (code == t_crash) write_stack_crawl();
    if (code == t_fatal || code == t_crash || nested) {
        app_shutdown(0);
        gQuit = 1;
        // An abnormal end: SIGABRT, which the crash handler leaves alone.
        if (code == t_crash || nested) PLAT_abort();
        ALERT_exit_after_fatal();
    }
    gAlertShowing = 0;
}
