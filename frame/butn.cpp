// Widgets and their labels (see butn.h).
#include "frame/butn.h"

#include "foundation/alert.h"
#include "frame/cursor.h"
#include "frame/hl_event.h"
#include "frame/hl_init.h"
#include "frame/hl_timer.h"
#include "frame/mbar.h"

#include <cmath>

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
// Text lists. Drawing comes with the widget and text units.

static void list_box(float, float, float)
{
}

static void list_label(float, float, int, const std::string&)
{
}

static void list_text(float, float, const std::string&)
{
}

static float list_measure(const std::string&)
{
    return 0;
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
    for (int i = 0; i <= last; ++i) w = std::fmax(w, std::trunc(list_measure(table[i])));
    const float ws = BTN_text_list_width(w, gLanguage);

    list_box(x + 10, y + 5, ws + 28);
    list_label(x - ws / 2 - 5, y, 0, left);
    list_label(x + ws / 2 + 30, y, 2, right);

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
        list_text(x, y, table[*selection]);
        // An open menu or list keeps the help of what lies under it.
        if (over && gMenus.open == -1) gHoverHelp = help;
    }
    return chosen;
}
