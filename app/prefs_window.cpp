// Picture buttons and the preferences window (see prefs_window.h).
#include "app/prefs_window.h"

#include "engine/http.h"
#include "engine/modal_frame.h"
#include "engine/update_state.h"
#include "engine/utils.h"
#include "foundation/translation.h"
#include "frame/butn.h"
#include "graphics/OGL_back_tex.h"

int BTN_elements_button(float, float, int, int, int* out_width, int, int)
{
    if (out_width) *out_width = 0;
    return 0;
}

int prefs_port_number(const std::string& text)
{
    if (text.empty()) return 0;
    if (!is_signed_digits(text)) return -1;
    size_t i = 0;
    int sign = 1;
    if (text[0] == '+' || text[0] == '-') {
        sign = text[0] == '-' ? -1 : 1;
        i = 1;
    }
    // Nine digits always fit an int; more are refused rather than wrapped.
    const size_t digits = text.size() - i;
    if (digits == 0 || digits > 9) return -1;
    int value = 0;
    for (; i < text.size(); ++i) value = value * 10 + char_digit_value(text[i]);
    return sign * value;
}

static const int kPrefsPopup = 2;

void run_prefs_window()
{
    hl_open_window(kPrefsPopup);
    while (gPopup == kPrefsPopup) {
        OGL_fill_backdrop();
        BTN_window_frame(1, 24);
        float general_y = 0;
        BTN_panel(0, 16, -1, -1, -1, 70, LANG_translate("Proxy (if you are behind a firewall with a Proxy)"), nullptr,
                  &general_y);
        BTN_panel(0, 16, -1, general_y, -1, -1, LANG_translate("General Preferences"), nullptr, nullptr);

        // The list clamps what it is handed to its items, so it gets a copy: "ALL" (0) must not
        // turn into Macintosh by merely opening this window.
        int os_item = gTargetOS - 1;
        if (BTN_text_list(250, 300, &os_item, LANG_translate("Macintosh-Windows-Linux"),
                          LANG_translate("Operating System to download Corvane for:|(Install and copy the entire "
                                         "Corvane folder to another computer if you like)"),
                          '-'))
            gTargetOS = os_item + 1;

        BTN_check_box(140, 250, &gLogActions,
                      LANG_translate("|Log installer actions. Turn this on to output the installer file downloads and "
                                     "stuff to the file log.txt."),
                      0);
        BTN_text_field(85, 40, gNet._proxy_host, 65, LANG_translate("-proxy host"), 455, 1);
        BTN_text_field(85, 20, gNet._proxy_port, 65, LANG_translate("-proxy port"), 455, 1);
        gNet._proxy_port_int = prefs_port_number(gNet._proxy_port);

        hl_do_frame();
    }
}
