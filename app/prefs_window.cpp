// Picture buttons and the preferences window (see prefs_window.h).
#include "app/prefs_window.h"

#include "engine/http.h"
#include "engine/update_state.h"
#include "engine/utils.h"
#include "foundation/quit.h"
#include "foundation/translation.h"
#include "frame/butn.h"
#include "frame/hl_colors.h"
#include "frame/hl_event.h"
#include "frame/hl_init.h"
#include "frame/hl_popup.h"
#include "graphics/OGL_back_tex.h"
#include "graphics/OGL_draw.h"
#include "graphics/OGL_view.h"

static const int kElementsSlot = 1023;
static const int kWhite = 117;

// Left edge of each picture on the sheet, pixels, by language (English, French, German, Russian,
// Italian, Spanish); picture i runs to the next row's edge.
static const int elements_u_table[8][6] = {
    {0, 0, 0, 0, 0, 0},           {56, 91, 96, 75, 54, 60},     {145, 172, 181, 144, 212, 156},
    {246, 284, 256, 211, 312, 269}, {357, 477, 422, 346, 480, 421}, {489, 695, 611, 422, 673, 606},
    {605, 874, 762, 501, 840, 789}, {691, 958, 859, 616, 921, 892}};

// The sheet's bands, lowest pixel row of each, 22 rows high.
static const float kBandNormal = 46, kBandHover = 0, kBandHeld = 23;

int BTN_elements_button(float x, float y, int picture, int align, int* out_width, int enabled, int look)
{
    const int lang = (gLanguage >= 0 && gLanguage <= 5) ? gLanguage : 0;
    if (picture < 0 || picture > 6) picture = 0;
    const int u0 = elements_u_table[picture][lang], u1 = elements_u_table[picture + 1][lang];
    const float w = (float)(u1 - u0);
    if (out_width) *out_width = (int)(w + 20);

    float left, right;
    if (align == -1) {
        left = (float)(int)(x - w);
        right = (float)(int)x;
    } else {
        left = (float)(int)(align == 0 ? x - w / 2 : x);
        right = (float)(int)(left + w);
    }
    const float top = y + 22;

    COL_set_color(kWhite, 1, 1, 1);
    const bool inside = gMouseX >= left && gMouseX <= right && gMouseY >= y && gMouseY <= top;
    int style = look == 2 ? 13 : 11;
    float band = kBandNormal;
    if (enabled && inside) {
        style = gMouseHeld ? 12 : 11;
        band = gMouseHeld ? kBandHeld : kBandHover;
    }
    BTN_frame1(style, (left + right) / 2, (y + top) / 2 - 0.5f, w + 20, 0);

    const float s0 = (float)u0 / 1024.0f, s1 = (float)u1 / 1024.0f;
    const float t0 = band / 128.0f, t1 = (band + 22) / 128.0f;
    OGL_draw_tex_quad(kElementsSlot, kWhite, look == 2 ? 0.5f : 1.0f, left, y, s0, t0, left, top, s0, t1, right, top,
                      s1, t1, right, y, s1, t0, 1, 1, 0);
    return gMouseDown && inside;
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
const prefs_places kPrefsPlaces = {250, 300, 140, 250, 85, 40, 20, 455};

void run_prefs_window()
{
    hl_open_window(kPrefsPopup);
    // A quit request closes the window as another window replacing it would.
    while (gPopup == kPrefsPopup && !gQuit) {
        OGL_fill_backdrop();
        BTN_window_frame(1, 24);
        float general_y = 0;
        BTN_panel(0, 16, -1, -1, -1, 70, LANG_translate("Proxy (if you are behind a firewall with a Proxy)"), nullptr,
                  &general_y);
        BTN_panel(0, 16, -1, general_y, -1, -1, LANG_translate("General Preferences"), nullptr, nullptr);

        // The list clamps what it is handed to its items, so it gets a copy: "ALL" (0) must not
        // turn into Macintosh by merely opening this window. While the platform is "ALL" an empty
        // first item stands for it, so no platform shows until the user picks one.
        const prefs_places& at = kPrefsPlaces;
        const int all = gTargetOS == 0;
        int os_item = gTargetOS - 1 + all;
        if (BTN_text_list(at.list_x, at.list_y, &os_item, (all ? "-" : "") + LANG_translate("Macintosh-Windows-Linux"),
                          LANG_translate("Operating System to download Corvane for:|(Install and copy the entire "
                                         "Corvane folder to another computer if you like)"),
                          '-'))
            gTargetOS = os_item + 1 - all;

        BTN_check_box(at.check_x, at.check_y, &gLogActions,
                      LANG_translate("|Log installer actions. Turn this on to output the installer file downloads and "
                                     "stuff to the file log.txt."),
                      0);
        BTN_text_field(at.field_x, at.host_y, gNet._proxy_host, 65, LANG_translate("-proxy host"), at.field_w, 1);
        BTN_text_field(at.field_x, at.port_y, gNet._proxy_port, 65, LANG_translate("-proxy port"), at.field_w, 1);
        gNet._proxy_port_int = prefs_port_number(gNet._proxy_port);

        hl_do_frame();
    }
    if (gQuit && gPopup == kPrefsPopup) hl_open_window(0);
}
