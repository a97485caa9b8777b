// Popup windows (see hl_popup.h).
#include "frame/hl_popup.h"

#include "foundation/translation.h"
#include "frame/butn.h"
#include "frame/cursor.h"
#include "frame/hl_event.h"
#include "frame/mbar.h"
#include "graphics/OGL_back_tex.h"
#include "graphics/OGL_font.h"
#include "graphics/OGL_view.h"
#include "graphics/hl_window.h"

#include <cmath>

static const hl_popup_info kPopups[] = {
    {1, "EULA", 500, 300},
    {2, "Prefs", 700, 380},
    {992, "Livery", 900, 760},
    {993, "Version and Updates", 600, 400},
    {994, "BE ADVISED", 420, 260},
    {995, "SAY INTENTIONS", 300, 166},
    {996, "SAY INTENTIONS", 750, 146},
    {997, "SAY INTENTIONS", 700, 206},
    {998, "Open", 561, 474},
    {999, "Save", 330, 474},
};

const hl_popup_info* hl_find_popup(int id)
{
    for (const hl_popup_info& p : kPopups)
        if (p.id == id) return &p;
    return nullptr;
}

// One axis: centred to the nearest pixel (halves away from zero), then whole units, at least 0.
static float center_axis(float window, float size, float scale)
{
    const float px = std::round((window - size * scale) * 0.5f);
    const float units = std::trunc(px / scale);
    return units > 0 ? units : 0;
}

void hl_center_popup(int win_w, int win_h, float pw, float ph, float scale, float* x, float* y)
{
    float w = (float)win_w;
    const float h = (float)win_h;
    if (w > 2 * h && w < 3 * h) w = w / 2;
    *x = center_axis(w, pw, scale);
    *y = center_axis(h, ph, scale);
}

void hl_open_window(int id)
{
    BTN_focus_begin_frame();
    gLayoutReady = 1;
    hl_draw_cursor(gHoverHelp, id);
    // Without a window there is no context to load a projection into.
    if (gWindows.window[gWindows.current]) OGL_set_projection(2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1.0f, 0, 1);

    gPopupOpen = 0;
    gPopupW = (float)gWindowW;
    gPopupH = (float)gWindowH;
    if (const hl_popup_info* p = hl_find_popup(id)) {
        gPopupTitle = LANG_translate(p->title);
        gPopupW = p->w;
        gPopupH = p->h;
        gPopupOpen = 1;
    }

    // A press made before this popup is drawn does not answer it.
    if (id != gPopup) hl_view_changed();
    BTN_clear_focus();
    gMenus.open = -1;
    // A drop-down list belongs to the window it was opened in: once that window closes (Escape
    // and Return close it without a press), the list must not come back open with it.
    if (id != gPopup) MENU_clear_dropdown_owner();
    gPopup = id;

    hl_center_popup(gWindowW, gWindowH, gPopupW, gPopupH, gUIScale, &gPopupX, &gPopupY);

    // A press that opened this popup must not count as a press inside it.
    gMouseHeld = 0;
    gMouseDown = 0;
    gMouseWheel = 0;

    MENU_clear_rects();
}

void hl_open_window_at_pointer(int id)
{
    hl_open_window(id);
    // The pointer often rests where one of the dialog's buttons comes up (it was last measured in
    // the wizard's window or another dialog), and the click may come without a move: in the
    // changed-file question that click decides whether a user's file is overwritten. Closing
    // measures it for the wizard's window again.
    hl_mouse_follow_popup();
}

// ---------------------------------------------------------------------------------------------
// The engine's two questions, drawn in their popups

const hl_button_place kModifiedFileButtons[5] = {{96, 53, 160}, {96, 28, 160}, {308, 53, 260}, {308, 28, 260},
                                                  {584, 28, 200}};
const hl_button_place kTwoChoicesButtons[2] = {{96, 56, 100}, {96, 31, 100}};

static void draw_text(float x, float y, const std::string& text, float wrap)
{
    OGL_draw_string(52, x, y, text, wrap, font_regular, align_left);
}

// The changed-file question's path line: there is no room for a second one between the lines
// above and below it.
std::string hl_one_line_path(const std::string& path, float width)
{
    if (OGL_count_lines(path, width) <= 1) return path;
    static const std::string kEllipsis = "\xE2\x80\xA6";
    const char* const begin = path.c_str();
    const char* const end = begin + path.size();
    const size_t slash = path.rfind('/');
    const char* const name = slash == std::string::npos ? begin : begin + slash + 1;
    std::string fitted;
    // Pieces measured apart can come out wider together, where a blank rounds the pen up to a
    // whole unit: each pass leaves a unit less room.
    for (float room = width - OGL_measure_string(kEllipsis); room > 0; room -= 1) {
        const float folder_room = room - OGL_measure_range(name, end);
        if (folder_room < 0) {
            fitted = kEllipsis + std::string(OGL_fit_range_back(name, end, room), end);
        } else {
            // Half the room for the folder's start, the rest for the folders nearest the file.
            const char* head = OGL_fit_range(begin, name, folder_room / 2);
            const char* tail = OGL_fit_range_back(head, name, folder_room - OGL_measure_range(begin, head));
            fitted = std::string(begin, head) + kEllipsis + std::string(tail, end);
        }
        if (OGL_measure_string(fitted) <= width) break;
    }
    return fitted;
}

int install_modified_file_frame(const std::string& line1, const std::string& path, const std::string& line3,
                                const std::vector<std::string>& labels)
{
    // A click on one of the user's files is never one meant for the page before.
    hl_view_asks();
    OGL_fill_backdrop();
    BTN_window_frame(1, 24);
    const float wrap = gPopupW - 40;
    draw_text(20, 100, line1, wrap);
    draw_text(20, 90, hl_one_line_path(path, wrap), wrap);
    draw_text(20, 80, line3, wrap);

    // Labels come as act, keep, act for the folder, keep for the folder, cancel.
    static const int kAnswers[5] = {1, 2, 4, 5, 3};
    int answer = 0;
    for (size_t i = 0; i < 5; ++i) {
        const std::string& label = i < labels.size() ? labels[i] : std::string();
        const hl_button_place& b = kModifiedFileButtons[i];
        // Every button is drawn; the first one clicked wins.
        if (BTN_push_button(b.x, b.y, b.w, 0, 1, label, "-") && !answer) answer = kAnswers[i];
    }
    if (!answer) hl_do_frame();
    return answer;
}

int install_two_choices_frame(const std::string& top, const std::string& label1, const std::string& text1,
                              const std::string& label2, const std::string& text2)
{
    hl_view_asks();
    OGL_fill_backdrop();
    BTN_window_frame(1, 24);
    draw_text(20, 160, top, gPopupW - 40);
    draw_text(150, 53, text1, gPopupW - 210);
    draw_text(150, 28, text2, gPopupW - 210);
    const hl_button_place* b = kTwoChoicesButtons;
    if (BTN_push_button(b[0].x, b[0].y, b[0].w, 0, 1, label1, "-")) return 1;
    if (BTN_push_button(b[1].x, b[1].y, b[1].w, 0, 1, label2, "-")) return 2;
    hl_do_frame();
    return 0;
}
