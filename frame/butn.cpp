// Widgets and their labels (see butn.h).
#include "frame/butn.h"

#include "foundation/alert.h"
#include "frame/cursor.h"
#include "frame/hl_event.h"
#include "frame/hl_init.h"
#include "frame/hl_timer.h"
#include "frame/mbar.h"
#include "graphics/OGL_font.h"

#include <cmath>
#include <cstdlib>

// Removes one blank directly before (before = true) or after each occurrence of the marker.
static void drop_blank_beside(std::string& label, char marker, bool before)
{
    for (size_t i = 0; i + 1 < label.size(); ++i) {
        if (before && label[i] == ' ' && label[i + 1] == marker)
            label.erase(i, 1);
        else if (!before && label[i] == marker && label[i + 1] == ' ')
            label.erase(i + 1, 1);
    }
}

void BTN_split_label(std::string& label, std::string& first, std::string& second, std::string& help)
{
    drop_blank_beside(label, '|', true);
    drop_blank_beside(label, '|', false);
    drop_blank_beside(label, '{', true);
    drop_blank_beside(label, '{', false);

    const size_t len = label.size();
    size_t brace = label.rfind('{');
    if (brace == std::string::npos) brace = len;
    // The help part runs to the end of the label, so a '|' inside it splits nothing.
    size_t bar = brace == 0 ? std::string::npos : label.rfind('|', brace - 1);
    if (bar == std::string::npos) bar = brace;

    first = label.substr(0, bar);
    second = bar < brace ? label.substr(bar + 1, brace - bar - 1) : std::string();
    help = brace < len ? label.substr(brace + 1) : std::string();
}

int BTN_label_lines(const std::string& text, int align, std::string& first, std::string& second)
{
    std::string s = text;
    size_t limit = 12;
    if (!s.empty() && s[0] == '-') {
        limit = 9999;
        s.erase(0, 1);
    }
    first = s;
    second.clear();
    if (align == 1 || s.size() <= limit) return 0;

    // The candidate nearest the middle wins, measured against the current choice's second-line
    // start; a blank is dropped, a '-' or '/' stays at the end of the first line.
    const long len = (long)s.size(), mid = len / 2;
    long first_end = -1, second_start = 0;
    for (long i = 0; i < len; ++i) {
        const char c = s[(size_t)i];
        if (c != ' ' && c != '-' && c != '/') continue;
        if (labs(i - mid) < labs(second_start - mid)) {
            first_end = c == ' ' ? i : i + 1;
            second_start = i + 1;
        }
    }
    if (first_end <= 0 || first_end >= len - 1 || second_start <= 0 || second_start >= len - 1) return 0;
    first = s.substr(0, (size_t)first_end);
    second = s.substr((size_t)second_start);
    return 1;
}

void BTN_draw_label(float x, float y, int align, const std::string& text, int highlight)
{
    if (text.empty()) return;
    std::string first, second;
    const int broken = BTN_label_lines(text, align, first, second);
    if (broken) y += 5;
    const unsigned char how = align == 0 ? align_right : align == 1 ? align_center : align_left;
    const int colour = highlight ? 95 : 52;
    OGL_draw_string(colour, x, y - 1, first, 9999, font_regular, how);
    if (broken) OGL_draw_string(colour, x, y - 11, second, 9999, font_regular, how);
}

// No widget takes the focus yet.
void BTN_focus_begin_frame()
{
}

// No widget holds the focus yet.
void BTN_clear_focus()
{
}

// The close boxes are drawn from the interface artwork, which is not loaded yet.
void BTN_corner_boxes(int)
{
}

// ---------------------------------------------------------------------------------------------
// Text lists. The box's bar comes with the widget unit.

static void list_box(float, float, float)
{
}

int BTN_text_list_id(float x, float y)
{
    return (int)std::trunc(y * 1024 + x);
}

float BTN_text_list_width(float w, int language)
{
    static const float kFactor[6] = {1.0f, 0.95f, 0.9f, 0.9f, 0.95f, 0.95f};
    if (language <= 0 || language > 5) return w;
    const float ws = w * kFactor[language];
    return ws > 20 ? ws : 20;
}

// Lists are short: more items than this is a caller's fault.
static const int kMaxListItems = 300;

int BTN_text_list(float x, float y, int* selection, const std::string& items, const std::string& label,
                  char separator)
{
    std::string text = label, left, right, help;
    BTN_split_label(text, left, right, help);

    // This runs every frame: the table keeps its strings' storage between calls.
    static std::string table[kMaxListItems];
    int last = 0;
    table[0].clear();
    for (char c : items) {
        if (c != separator) {
            table[last] += c;
            continue;
        }
        if (++last >= kMaxListItems) {
            MACIBM_alert(0, "BTN_text_list overflow!", items, "", label, t_crash, "butn", 978);
            return 0;
        }
        table[last].clear();
    }

    if (*selection < 0) *selection = 0;
    if (*selection > last) *selection = last;

    float w = 20;
    for (int i = 0; i <= last; ++i) w = std::fmax(w, std::trunc(OGL_measure_string(table[i])));
    const float ws = BTN_text_list_width(w, gLanguage);

    list_box(x + 10, y + 5, ws + 28);
    BTN_draw_label(x - ws / 2 - 5, y, 0, left, 0);
    BTN_draw_label(x + ws / 2 + 30, y, 2, right, 0);

    const int id = BTN_text_list_id(x, y);
    const bool over = x + 10 - w / 2 - 15 <= gMouseX && gMouseX <= x + 10 + w / 2 + 15 && y - 2 <= gMouseY &&
                      gMouseY <= y + 8;
    if (gMouseDown && gMenus.dropdown_owner != id && over) {
        gMouseDownTime = gTimer.hl_timer_real_time;
        gMousePressX = gMouseX;
        gMousePressY = gMouseY;
        // The press is used up: no widget drawn later in this frame sees it.
        gMouseDown = 0;
        gMenus.dropdown_owner = id;
    }

    int chosen = 0;
    if (gMenus.chosen_owner == id) {
        *selection = gMenus.chosen_index < 0 ? 0 : gMenus.chosen_index > last ? last : gMenus.chosen_index;
        gMenus.chosen_owner = 0;
        chosen = 1;
    }

    if (gMenus.dropdown_owner == id) {
        MENU_popup_list(x, y, w, last, table, *selection);
    } else {
        OGL_draw_string(47, x, y, table[*selection], 9999, font_regular, align_center);
        // An open menu or list keeps the help of what lies under it.
        if (over && gMenus.open == -1) gHoverHelp = help;
    }
    return chosen;
}
