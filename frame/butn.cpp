// Widgets and their labels (see butn.h): frames and panels cut from the sprite sheets, push
// buttons, check boxes and radio buttons, the keyboard focus ring and the one-line text field.
#include "frame/butn.h"

#include "foundation/alert.h"
#include "frame/clipboard.h"
#include "frame/cursor.h"
#include "frame/hl_event.h"
#include "frame/hl_init.h"
#include "frame/hl_keyboard.h"
#include "frame/hl_timer.h"
#include "frame/mbar.h"
#include "frame/text_engine.h"
#include "graphics/OGL_draw.h"
#include "graphics/OGL_font.h"
#include "graphics/OGL_view.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

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

// ---------------------------------------------------------------------------------------------
// Keyboard focus

BTN_key_queue gFieldKeys;
int gFocusId = 0;
std::vector<BTN_focus_entry> gFocusRing;

void BTN_focus_begin_frame()
{
    gFocusRing.clear();
}

void BTN_clear_focus()
{
    gFocusId = 0;
}

int BTN_register_focus(int id, int* chars, int* keys, int* flags, int* ids, int* count, int capacity, int mask,
                       int take)
{
    gFocusRing.push_back({id, chars, keys, flags, ids, count, capacity, mask});
    if (take) gFocusId = id;
    return gFocusId == id ? 1 : 0;
}

int BTN_key_class(int character, int key, int modifiers)
{
    switch (key) {
    case 8: return key_filter_delete;
    case 9: return key_filter_tab;
    case 13: return key_filter_enter;
    case 27: return key_filter_escape;
    case 46: return key_filter_delete;
    case 187: return key_filter_enter;
    default: break;
    }
    if (key >= 33 && key <= 40) return key_filter_move;
    const int c = character;
    if (c == '+' || c == '-') return key_filter_sign;
    if (c >= '0' && c <= '9') return key_filter_digits;
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return key_filter_letters;
    // The C classifiers are defined only for the unsigned-char range; everything above is text.
    if (c >= 128 || (c >= 0 && isprint(c))) return key_filter_printable;
    if ((key == 86 || key == 67 || key == 88 || key == 65) && (modifiers & 4)) return key_filter_clipboard;
    if (key == 45 && (modifiers & 1)) return key_filter_clipboard; // Shift+Insert pastes
    return key_filter_other;
}

// The focused widget's row of the ring drawn last, and its index; null when none holds the focus
// or the focused one was not drawn.
static const BTN_focus_entry* focused_entry(int* at)
{
    if (gFocusId == 0) return nullptr;
    for (*at = 0; *at < (int)gFocusRing.size(); ++*at)
        if (gFocusRing[(size_t)*at].id == gFocusId) return &gFocusRing[(size_t)*at];
    return nullptr;
}

// A Tab press that moves the focus on from this widget, which does not take Tab itself.
static bool moves_focus(const BTN_focus_entry& e, int key, int modifiers)
{
    return key == 9 && !(modifiers & 16) && !(e.mask & key_filter_tab);
}

int BTN_key_waits(int character, int key, int modifiers)
{
    int at = 0;
    const BTN_focus_entry* e = gPopup == 994 ? nullptr : focused_entry(&at);
    if (!e) return 0;
    const bool queued = !moves_focus(*e, key, modifiers) && (e->mask & BTN_key_class(character, key, modifiers));
    return queued ? *e->count >= e->capacity : *e->count > 0;
}

int BTN_handle_key(int character, int key, int modifiers)
{
    if (gPopup == 994) return 0; // the alert has Return and Escape whatever held the focus
    const bool tab_press = key == 9 && !(modifiers & 16);
    int at = 0;
    const BTN_focus_entry* e = focused_entry(&at);
    if (!e) {
        gFocusId = 0; // none, or the widget was not drawn last frame
        // Shift+Tab too starts at the first widget.
        if (tab_press && !gFocusRing.empty()) {
            gFocusId = gFocusRing[0].id;
            return 1;
        }
        return 0;
    }
    if (moves_focus(*e, key, modifiers)) {
        const int n = (int)gFocusRing.size();
        const int next = (at + ((modifiers & 1) ? n - 1 : 1)) % n;
        gFocusId = gFocusRing[(size_t)next].id;
        return 1;
    }
    if (!(e->mask & BTN_key_class(character, key, modifiers))) return 0;
    // The frame holds back the keys a full queue cannot take (BTN_key_waits); one that comes
    // all the same is dropped rather than written past the end, and counts as taken so that it
    // raises no flag and no binding.
    const int i = *e->count;
    if (i < 0 || i >= e->capacity) return 1;
    e->chars[i] = character;
    e->keys[i] = key;
    e->flags[i] = modifiers;
    e->ids[i] = gFocusId;
    *e->count = i + 1;
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Drawing on the sprite sheets and text

static const int kInterfaceSheet = 1020; // texture slots of the two sheets
static const int kElementsSheet = 1023;

// One quad of a sheet: window position (x0, y0)-(x1, y1), texture coordinates (s0, t0)-(s1, t1),
// with one texture unit and blending. Corners go lower-left, upper-left, upper-right, lower-right.
static void sheet_quad(int sheet, int colour, float alpha, float x0, float y0, float x1, float y1, float s0,
                       float t0, float s1, float t1)
{
    // The quad primitive adds the popup origin itself.
    x0 -= gPopupX;
    x1 -= gPopupX;
    y0 -= gPopupY;
    y1 -= gPopupY;
    OGL_draw_tex_quad(sheet, colour, alpha, x0, y0, s0, t0, x0, y1, s0, t1, x1, y1, s1, t1, x1, y0, s1, t0, 1, 1, 0);
}

// The tiles of a bar or a box are one batch: the quads sheet_quad would draw one by one, with
// the same state set once (see OGL_begin_tex_quads).
static void sheet_batch_begin(int sheet, int colour, float alpha)
{
    OGL_begin_tex_quads(sheet, colour, alpha, 1, 1, 0);
}

static void sheet_batch_quad(float x0, float y0, float x1, float y1, float s0, float t0, float s1, float t1)
{
    x0 -= gPopupX;
    x1 -= gPopupX;
    y0 -= gPopupY;
    y1 -= gPopupY;
    OGL_tex_quad_vertices(x0, y0, s0, t0, x0, y1, s0, t1, x1, y1, s1, t1, x1, y0, s1, t0);
}

static void draw_text(int colour, float x, float y, const std::string& text, float wrap, int align)
{
    if (!text.empty()) OGL_draw_string(colour, x, y, text, wrap, font_regular, (unsigned char)align);
}

// ---------------------------------------------------------------------------------------------
// Bars and boxes

// v mapped from [a0, a1] onto [b0, b1], clamped between b0 and b1; their middle when a0 is a1.
static float lerp_clamped(float a0, float b0, float a1, float b1, float v)
{
    if (a0 == a1) return (b0 + b1) * 0.5f;
    float t = b0 + (v - a0) / (a1 - a0) * (b1 - b0);
    const float lo = std::fmin(b0, b1), hi = std::fmax(b0, b1);
    return std::fmin(std::fmax(t, lo), hi);
}

// One axis of a three-slice layout: the spans of the low band, the middle tiles and the high
// band, each with its texel range. A middle tile that passes the high band is cut there.
struct slice_span {
    float p0, p1; // position
    float t0, t1; // texels
};

static int slice_axis(float start, float length, float tex, float size, float low, float high, int tiles,
                      slice_span* out, int max_out)
{
    int n = 0;
    const float mid = size - low - high;
    const float stop = start + length - high;
    if (n < max_out) out[n++] = {start, start + low, tex, tex + low};
    for (int i = 0; i <= tiles && n < max_out - 1; ++i) {
        float a = start + low + (float)i * mid, b = a + mid;
        float tb = tex + size - high;
        if (b > stop) {
            tb = lerp_clamped(a, tex + low, b, tex + size - high, stop);
            b = stop;
        }
        if (b <= a) break;
        out[n++] = {a, b, tex + low, tb};
    }
    if (n < max_out) out[n++] = {stop, start + length, tex + size - high, tex + size};
    return n;
}

// The most spans one axis can have: wider windows than this many tiles are not drawn whole.
static const int kMaxSpans = 256;

struct bar_style {
    int sheet;
    float cap, width, height, u, v;
};

static const bar_style* find_bar(int style)
{
    static const bar_style kBars[14] = {
        {kInterfaceSheet, 10, 100, 26, 1, 487},   {kInterfaceSheet, 20, 100, 26, 102, 487},
        {kInterfaceSheet, 10, 52, 26, 304, 486},  {kInterfaceSheet, 10, 52, 26, 304, 459},
        {kInterfaceSheet, 10, 28, 16, 112, 161},  {kInterfaceSheet, 10, 28, 16, 83, 161},
        {0, 0, 0, 0, 0, 0},                       {kInterfaceSheet, 10, 65, 24, 240, 242},
        {kInterfaceSheet, 7, 16, 16, 289, 219},   {kInterfaceSheet, 10, 51, 26, 262, 133},
        {kInterfaceSheet, 26, 68, 24, 357, 488},  {kElementsSheet, 16, 48, 31, 926, 192},
        {kElementsSheet, 16, 48, 31, 975, 192},   {kElementsSheet, 16, 48, 31, 877, 192},
    };
    if (style < 0 || style > 13 || style == 6) return nullptr;
    return &kBars[style];
}

void BTN_frame1(int style, float x, float y, float width, int colour)
{
    const bar_style* b = find_bar(style);
    if (!b) {
        MACIBM_alert(0, "Bad BTN_frame1 call!", "", "", "", t_crash, "butn", 517);
        return;
    }
    x = std::round(x); // halves away from zero, as is the half width below
    width = std::round(width / 2) * 2;
    if (style == 9 || style == 10) width += 4;
    if (style == 0 || style == 1) y -= 3;
    x += gPopupX;
    y += gPopupY;

    const float span = b->width - 2 * b->cap;
    const float left = x - width / 2;
    const int tiles = span > 0 ? (int)std::trunc((width - 2 * b->cap) / span) : 0;
    slice_span cols[kMaxSpans];
    const int n = slice_axis(left, width, b->u, b->width, b->cap, b->cap, tiles, cols, kMaxSpans);
    const float su = 1.0f / (b->sheet == kElementsSheet ? 1024 : 512);
    const float sv = 1.0f / (b->sheet == kElementsSheet ? 256 : 512);
    if (n <= 0) return;
    sheet_batch_begin(b->sheet, colour, 1.0f);
    for (int i = 0; i < n; ++i)
        sheet_batch_quad(cols[i].p0, y - b->height / 2, cols[i].p1, y + b->height / 2, cols[i].t0 * su, b->v * sv,
                         cols[i].t1 * su, (b->v + b->height) * sv);
    OGL_end_tex_quads();
}

struct box_style {
    int sheet;
    float u, v, tile, pad_x, pad_below, pad_above, side, bottom, top;
    int title_colour;
};

static const box_style* find_box(int style)
{
    static const box_style kBoxes[10] = {
        {kInterfaceSheet, 1, 358, 100, 9, 14, 4, 35, 30, 30, 49},
        {kInterfaceSheet, 102, 358, 100, 9, 14, 4, 35, 30, 30, 52},
        {kInterfaceSheet, 203, 358, 100, 9, 14, 4, 35, 30, 30, 52},
        {kInterfaceSheet, 304, 358, 100, 9, 14, 4, 35, 30, 30, 52},
        {kInterfaceSheet, 405, 358, 100, 9, 14, 4, 35, 30, 30, 56},
        {kInterfaceSheet, 1, 289, 68, 2, 2, 2, 23.8f, 20.4f, 20.4f, 52},
        {kInterfaceSheet, 70, 315, 42, 8, 13, 2, 20, 26, 14, 52},
        {kInterfaceSheet, 113, 315, 42, 8, 13, 2, 14.7f, 12.6f, 12.6f, 52},
        {kInterfaceSheet, 440, 12, 44, 6, 9, 4, 15.4f, 13.2f, 13.2f, 52},
        {kElementsSheet, 982, 2, 41, 1, 1, 1, 14.35f, 12.3f, 12.3f, 52},
    };
    if (style < 14 || style > 23) return nullptr;
    return &kBoxes[style - 14];
}

// Popups that have a title bar with close boxes: any but the whole window and 994 to 999.
static bool popup_has_close_boxes()
{
    return gPopup > 0 && !(gPopup >= 994 && gPopup <= 999);
}

void BTN_frame2(int style, float x, float y, float w, float h, const std::string& title, float alpha)
{
    const box_style* b = find_box(style);
    if (!b) {
        MACIBM_alert(0, "Bad BTN_frame2 call!", "", "", title, t_crash, "butn", 582);
        return;
    }
    const float title_x = style == 23 ? x + 10 : x + w / 2 - OGL_measure_string(title) / 2;
    const float title_y = style == 14 ? y + h - 13 : y + h - 16;

    const float left = gPopupX + x - b->pad_x, width = w + 2 * b->pad_x;
    const float bottom = gPopupY + y - b->pad_below, height = h + b->pad_below + b->pad_above;
    const float col_span = b->tile - 2 * b->side, row_span = b->tile - b->top - b->bottom;
    const int cols_n = col_span > 0 ? (int)std::trunc((width - 2 * b->side) / col_span) : 0;
    int rows_n = row_span > 0 ? (int)std::trunc((height - b->top - b->bottom) / row_span) : 0;
    if (rows_n < 1) rows_n = 0;
    slice_span cols[kMaxSpans], rows[kMaxSpans];
    const int nc = slice_axis(left, width, b->u, b->tile, b->side, b->side, cols_n, cols, kMaxSpans);
    const int nr = slice_axis(bottom, height, b->v, b->tile, b->bottom, b->top, rows_n, rows, kMaxSpans);
    const float su = 1.0f / (b->sheet == kElementsSheet ? 1024 : 512);
    const float sv = 1.0f / (b->sheet == kElementsSheet ? 128 : 512);
    if (nr > 0 && nc > 0) {
        sheet_batch_begin(b->sheet, 61, alpha);
        for (int r = 0; r < nr; ++r)
            for (int c = 0; c < nc; ++c)
                sheet_batch_quad(cols[c].p0, rows[r].p0, cols[c].p1, rows[r].p1, cols[c].t0 * su, rows[r].t0 * sv,
                                 cols[c].t1 * su, rows[r].t1 * sv);
        OGL_end_tex_quads();
    }

    draw_text(b->title_colour, title_x, title_y, title, 9999, 0);
    if (style == 14 && popup_has_close_boxes()) BTN_corner_boxes(0);
}

void BTN_window_frame(int look, int inner)
{
    BTN_frame2(look == 0 ? 15 : 14, 0, 0, gPopupW, gPopupH, gPopupTitle, 1.0f);
    if (inner == 1)
        BTN_frame1(1, gPopupW * 0.5f, gPopupH - 50, gPopupW, 61);
    else if (inner != 24)
        BTN_frame2(inner, 10, 10, gPopupW - 20, gPopupH - 40, "", 1.0f);
}

void BTN_panel(float reserve, int style, float x, float y, float w, float h, const std::string& title,
               float* out_right, float* out_top)
{
    if (x < 0) x = 10;
    if (y < 0) y = 10;
    if (w < 0) w = gPopupW - 10 - x;
    if (h < 0) h = gPopupH - 28 - y - reserve;
    BTN_frame2(style, x, y, w, h, title, 1.0f);
    if (out_right) *out_right = x + w + 10;
    if (out_top) *out_top = y + h + 10;
}

// ---------------------------------------------------------------------------------------------
// Sprites and widgets

void BTN_draw_sprite(float x, float y, float u, float v, float half_w, float half_h, int colour)
{
    const float s = 1.0f / 512;
    sheet_quad(kInterfaceSheet, colour, 1.0f, gPopupX + x - half_w, gPopupY + y - half_h, gPopupX + x + half_w,
               gPopupY + y + half_h, (u - half_w) * s, (v - half_h) * s, (u + half_w) * s, (v + half_h) * s);
}

// Widgets see the mouse only while no menu or pop-up list is open.
static bool mouse_free()
{
    return gMenus.open == -1;
}

static bool mouse_in(float x0, float y0, float x1, float y1)
{
    return gMouseX >= x0 && gMouseX <= x1 && gMouseY >= y0 && gMouseY <= y1;
}

int BTN_corner_boxes(int pressed)
{
    const float v = pressed ? 206 : 187;
    const float cx[2] = {16, gPopupW - 16};
    const float cy = gPopupH - 10;
    int hit = 0;
    for (float x : cx) {
        BTN_draw_sprite(x, cy, 129, v, 9, 9, 61);
        if (gMouseDown && mouse_in(x - 9, cy - 9, x + 9, cy + 9)) hit = 1;
    }
    return hit;
}

int BTN_push_button(float x, float y, float w, int down, int kind, const std::string& label,
                    const std::string& side_text)
{
    std::string text = label, face, second, help;
    BTN_split_label(text, face, second, help);
    if (w <= 0) w = OGL_measure_string(face) + 21;

    BTN_frame1(2, x, y, w, 61);
    if (down) BTN_frame1(3, x, y, w, 61);
    BTN_draw_label(x, y - 3, 1, face, kind == 2 && down);
    if (side_text != "-" && !side_text.empty()) draw_text(54, x + w / 2 + 10, y + 7, side_text, 500, 0);

    if (!mouse_free() || !mouse_in(x - w / 2, y - 10, x + w / 2, y + 10)) return 0;
    gHoverHelp = help;
    if (!gMouseDown) return 0;
    if (!down && kind != 0) {
        // The press shows before the caller acts on it, which may take a while.
        BTN_frame1(3, x, y, w, 61);
        BTN_draw_label(x, y - 3, 1, face, kind == 2);
        OGL_swap_buffers();
    }
    return 1;
}

int BTN_check_box(float x, float y, int* value, const std::string& label, int look)
{
    std::string text = label, left, right, help;
    BTN_split_label(text, left, right, help);
    const float u = look == 1 ? 92 : 148;
    const float v = look == 1 ? 132 : 187;
    BTN_draw_sprite(x, y + 3, u, v, 9, 9, 61);
    if (*value) BTN_draw_sprite(x, y + 3, u, v + 19, 9, 9, 61);
    BTN_draw_label(x - 12, y, 0, left, 0);
    BTN_draw_label(x + 12, y, 2, right, 0);

    if (!mouse_free() || !mouse_in(x - 8, y - 4, x + 8, y + 12)) return 0;
    gHoverHelp = help;
    if (!gMouseDown) return 0;
    *value = *value == 0 ? 1 : 0;
    return 1;
}

int BTN_radio_button(float x, float y, int* value, int choice, const std::string& label)
{
    int chosen = *value == choice ? 1 : 0;
    const int clicked = BTN_check_box(x, y, &chosen, label, 1);
    if (chosen) *value = choice;
    return clicked;
}

// ---------------------------------------------------------------------------------------------
// Text lists

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

BTN_list_edges BTN_text_list_edges(float x, float ws)
{
    // Bar style 10 draws the box four units wider than asked.
    const float half = (ws + 28 + 4) / 2;
    // The left text ends as far from the box as the right text starts from its other side,
    // instead of running into it.
    return {x + 10 - half, x + 10 + half, x - ws / 2 - 10, x + ws / 2 + 30};
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

    const BTN_list_edges edges = BTN_text_list_edges(x, ws);
    BTN_frame1(10, x + 10, y + 5, ws + 28, 61);
    BTN_draw_label(edges.left_end, y, 0, left, 0);
    BTN_draw_label(edges.right_start, y, 2, right, 0);

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

// ---------------------------------------------------------------------------------------------
// Text field: every field shares one text engine, which edits the focused field through the
// host record below.

struct BTN_field_host {
    int x = 0, y = 0;             // left edge and text height of the focused field
    std::string* text = nullptr;  // the caller's string
    int width = 0;
    int changed = 0;              // the engine replaced bytes during this call
    float scroll_x = 0, scroll_y = 0;
};

static TE_engine* gTextEngine = nullptr;
static BTN_field_host gFieldHost;
static int gLastFieldId = 0; // the field that had the focus last: a change is a focus arrival
// The field the focus last left, and its selection then, for keys it still has in the queue.
static int gLeftFieldId = 0, gLeftStart = 0, gLeftEnd = 0;

static const int kFieldKeyMask = 0x3f4;
static const float kFieldLine = 11;

static std::string& field_text()
{
    static std::string none;
    return gFieldHost.text ? *gFieldHost.text : none;
}

static void field_frame(TE_engine*, TE_rect* r)
{
    r->left = (float)gFieldHost.x;
    r->bottom = (float)gFieldHost.y - 2;
    r->right = (float)(gFieldHost.x + gFieldHost.width);
    r->top = r->bottom + kFieldLine;
}

// The frame moved by the scroll and made 1024 wider, so that a field's text never wraps.
static void field_text_rect(TE_engine* e, TE_rect* r)
{
    field_frame(e, r);
    r->left -= gFieldHost.scroll_x;
    r->right -= gFieldHost.scroll_x;
    r->bottom -= gFieldHost.scroll_y;
    r->top -= gFieldHost.scroll_y;
    r->right += 1024;
}

static void field_layout_changed(TE_engine*, float)
{
}

static void field_set_scroll(TE_engine*, float x, float y)
{
    gFieldHost.scroll_x = x;
    gFieldHost.scroll_y = y;
}

static void field_get_text(TE_engine*, const char** first, const char** end)
{
    const std::string& t = field_text();
    *first = t.data();
    *end = t.data() + t.size();
}

static void field_replace_text(TE_engine*, int from, int to, const char* first, const char* end)
{
    std::string& t = field_text();
    gFieldHost.changed = 1;
    const int len = (int)t.size();
    from = from < 0 ? 0 : from > len ? len : from;
    to = to < from ? from : to > len ? len : to;
    t.replace((size_t)from, (size_t)(to - from), first, (size_t)(end - first));
}

static float field_line_height(TE_engine*)
{
    return kFieldLine;
}

static float field_measure(TE_engine*, const char* first, const char* end)
{
    return OGL_measure_range(first, end);
}

static int field_fit_forward(TE_engine*, const char* first, const char* end, float width)
{
    return (int)(OGL_fit_range(first, end, width) - first);
}

static int field_fit_backward(TE_engine*, const char* first, const char* end, float width)
{
    return (int)(end - OGL_fit_range_back(first, end, width));
}

// The whole run at the field's own place; the engine's position is the same line.
static void field_draw_run(TE_engine*, const char* first, const char* end, float, float)
{
    OGL_draw_string(54, (float)gFieldHost.x - gFieldHost.scroll_x, (float)gFieldHost.y - gFieldHost.scroll_y,
                    std::string(first, end), 9999, font_regular, align_left);
}

// A zero-width rectangle is the caret, which pulses with the colour scheme.
static void field_draw_selection(TE_engine*, const TE_rect* r)
{
    if (r->right == r->left)
        OGL_draw_line(54, gInterface.pulse, r->left, r->bottom, r->right, r->top);
    else
        OGL_draw_rect(66, 1.0f, r->left, r->bottom, r->right - r->left, r->top - r->bottom);
}

static const char* field_next_word(TE_engine*, const char* p, const char* end)
{
    while (p < end && isspace((unsigned char)*p)) ++p;
    while (p < end && !isspace((unsigned char)*p)) ++p;
    return p;
}

static const char* field_next_char_ptr(TE_engine*, const char* p)
{
    const std::string& t = field_text();
    const int len = (int)t.size();
    long at = p - t.data();
    at = at < 0 ? 0 : at > len ? len : at;
    return t.data() + TE_utf8_next(t.data(), len, (int)at);
}

static int field_next_char(TE_engine*, int pos)
{
    const std::string& t = field_text();
    return TE_utf8_next(t.data(), (int)t.size(), pos);
}

static int field_prev_char(TE_engine*, int pos)
{
    const std::string& t = field_text();
    return TE_utf8_prev(t.data(), (int)t.size(), pos);
}

static const TE_callbacks BTN_text_field_callbacks = {
    field_frame,          field_text_rect,   field_layout_changed, field_set_scroll,
    field_get_text,       field_replace_text, field_line_height,   field_measure,
    field_fit_forward,    field_fit_backward, field_draw_run,      field_draw_selection,
    field_next_word,      field_next_char_ptr, field_next_char,    field_prev_char,
};

// The UTF-8 bytes of a typed character; 0 for what a one-line field must not hold: control
// characters other than Backspace and the arrows (8, 28 to 31, which the engine takes as keys),
// surrogates and code points past U+10FFFF.
static int field_encode(int c, char out[4])
{
    if (TE_is_control(c) && c != 8 && (c < 28 || c > 31)) return 0;
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return 0;
    if (c < 0x80) {
        out[0] = (char)c;
        return 1;
    }
    if (c < 0x800) {
        out[0] = (char)(0xC0 | (c >> 6));
        out[1] = (char)(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = (char)(0xE0 | (c >> 12));
        out[1] = (char)(0x80 | ((c >> 6) & 0x3F));
        out[2] = (char)(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = (char)(0xF0 | (c >> 18));
    out[1] = (char)(0x80 | ((c >> 12) & 0x3F));
    out[2] = (char)(0x80 | ((c >> 6) & 0x3F));
    out[3] = (char)(0x80 | (c & 0x3F));
    return 4;
}

static std::string field_selected_bytes()
{
    int s = 0, e = 0;
    TE_get_selection(gTextEngine, &s, &e);
    return field_text().substr((size_t)s, (size_t)(e - s));
}

// One queued key for the focused field.
static void field_key(int ch, int key, int flags)
{
    if (flags & key_flag_up) return;
    // Ctrl without Alt: AltGr, which is both, types characters on the same keys.
    const int plain_ctrl = (flags & (key_flag_control | key_flag_alt)) == key_flag_control;
    const int shift = flags & key_flag_shift;
    // The Ctrl keys the engine carries out itself: the word keys and Select All.
    const int engine_key = !plain_ctrl ? 0 : key == 37 ? TE_KEY_WORD_LEFT : key == 39 ? TE_KEY_WORD_RIGHT
                                     : key == 8 ? TE_KEY_DELETE_WORD_BACK : key == 46 ? TE_KEY_DELETE_WORD
                                     : key == 65 ? TE_KEY_SELECT_ALL : 0;
    if (engine_key) {
        TE_key(gTextEngine, engine_key, shift);
        return;
    }
    // Shift+Delete cuts and Shift+Insert pastes, as Ctrl+X and Ctrl+V do (AltGr+X and AltGr+V type).
    const int cut = plain_ctrl ? key == 88 : shift && key == 46, paste = plain_ctrl ? key == 86 : shift && key == 45;
    if (cut) {
        int s = 0, e = 0;
        TE_get_selection(gTextEngine, &s, &e);
        if (s == e) return;
        CLIP_put_text(field_selected_bytes());
        TE_key(gTextEngine, 8, 0);
        return;
    }
    if (plain_ctrl && key == 67) {
        CLIP_put_text(field_selected_bytes());
        return;
    }
    if (paste) {
        std::string pasted;
        if (!CLIP_get_text(pasted)) return;
        // Another program's text may hold line breaks, control bytes or broken UTF-8: the
        // proxy host goes into HTTP requests and the preference file.
        TE_clean_line_text(pasted);
        if (pasted.empty()) return;
        int s = 0, e = 0;
        TE_get_selection(gTextEngine, &s, &e);
        TE_text_replaced(gTextEngine, s, e, pasted.data(), pasted.data() + pasted.size());
        return;
    }
    // Keys that carry no character: Page Up and Page Down go as far as Home and End in one line.
    const int moving = key == 46 ? TE_KEY_DELETE : (key == 36 || key == 33) ? TE_KEY_HOME
                                                 : (key == 35 || key == 34) ? TE_KEY_END : 0;
    if (moving && (ch == 0 || TE_is_control(ch))) {
        TE_key(gTextEngine, moving, shift);
        return;
    }
    if (ch == 0) return;
    char bytes[4];
    const int n = field_encode(ch, bytes);
    if (n) TE_type_text(gTextEngine, n, bytes, shift);
}

// The engine's selection kept within the host's text (its caller may have changed it).
static void field_clamp_selection(int s, int e)
{
    const int len = (int)field_text().size();
    e = e < 0 ? 0 : e > len ? len : e;
    s = s < 0 ? 0 : s > e ? e : s;
    TE_set_selection(gTextEngine, s, e);
    TE_relayout(gTextEngine);
}

// Points the engine at a field that is not focused, for keys queued while it was. Returns 2 when
// another field's record and selection were put aside in kept and must come back afterwards.
static int field_borrow(int id, const BTN_field_host& self, BTN_field_host* kept, int* s, int* e)
{
    const bool own = gLastFieldId == id; // no field took the engine since
    *kept = gFieldHost;
    TE_get_selection(gTextEngine, s, e);
    gFieldHost.x = self.x;
    gFieldHost.y = self.y;
    gFieldHost.text = self.text;
    gFieldHost.width = self.width;
    if (own) {
        field_clamp_selection(*s, *e);
        return 1;
    }
    gFieldHost.scroll_x = gFieldHost.scroll_y = 0;
    // A field the focus only passed through by Tab had its whole text selected.
    const bool left = gLeftFieldId == id;
    field_clamp_selection(left ? gLeftStart : 0, left ? gLeftEnd : (int)self.text->size());
    return 2;
}

int BTN_text_field(float x, float y, std::string& text, unsigned max_length, const std::string& label, float width,
                   int want_focus)
{
    const int ix = (int)x, iy = (int)y;
    const int id = ix * 8192 + iy;
    if (!gTextEngine) gTextEngine = TE_create(BTN_text_field_callbacks, nullptr);

    // A press anywhere on the box drawn round the text takes the focus: the bar of the drawing
    // step shows from x - 8 to x + width + 4 and from y - 8 to y + 15. Where a field drawn later
    // covers the box, both take the press and the later one keeps the focus, as it is on top.
    const int clicked = gMenus.open == -1 && gMouseDown && x - 8 <= gMouseX && gMouseX <= x + width + 4 &&
                        y - 8 <= gMouseY && gMouseY <= y + 15;
    const int take = clicked || (want_focus && gFocusId == 0);
    BTN_key_queue& q = gFieldKeys;
    const int focused = BTN_register_focus(id, q.chars, q.keys, q.flags, q.ids, &q.count, BTN_FIELD_KEYS,
                                           kFieldKeyMask, take);
    gFieldHost.changed = 0;
    BTN_field_host self;
    self.x = ix;
    self.y = (int)(y - 1);
    self.text = &text;
    self.width = (int)width;

    const bool arrived = focused && gLastFieldId != id;
    if (focused) {
        int s = 0, e = 0;
        TE_get_selection(gTextEngine, &s, &e);
        if (arrived) {
            gLeftFieldId = gLastFieldId;
            gLeftStart = s;
            gLeftEnd = e;
            self.scroll_x = self.scroll_y = 0;
            if (!clicked) s = 0, e = (int)text.size();
        } else {
            self.scroll_x = gFieldHost.scroll_x;
            self.scroll_y = gFieldHost.scroll_y;
        }
        gFieldHost = self;
        gLastFieldId = id;
        field_clamp_selection(s, e);

        // Shift+click extends the selection, a double click selects a word; a click that
        // brings the focus only places the caret.
        if (gMouseDown && gMouseDoubleClick && !gMouseShift)
            TE_select_word(gTextEngine, gMouseX, gMouseY);
        else if (gMouseDown)
            TE_click(gTextEngine, gMouseX, gMouseY, gMouseShift && !arrived);
        // A drag follows the pointer up to where the button went up, the moves that come with the
        // release included; a press that has not moved keeps what it selected (a double click's word).
        else if ((gMouseHeld || gMouseUp) && gMouseMoveTime > gMouseDownTime)
            TE_drag(gTextEngine, gMouseX, gMouseY);
    }

    // A key goes to the field that had the focus when it came, also when a Tab in the same frame
    // moved the focus on. Other fields' entries wait for their own calls; from the frame after
    // its focus arrived, the focused field drops them (their field is no longer drawn).
    int live = 0, borrowed = 0, kept_s = 0, kept_e = 0;
    BTN_field_host kept;
    const int count = q.count < 0 ? 0 : q.count > BTN_FIELD_KEYS ? BTN_FIELD_KEYS : q.count;
    for (int i = 0; i < count; ++i) {
        if (q.ids[i] == 0) continue;
        if (q.ids[i] != id) {
            if (!focused || arrived) {
                ++live;
                continue;
            }
        } else if (q.chars[i] != 0 || q.keys[i] != 0) {
            if (!focused && !borrowed) borrowed = field_borrow(id, self, &kept, &kept_s, &kept_e);
            field_key(q.chars[i], q.keys[i], q.flags[i]);
        }
        q.chars[i] = q.keys[i] = q.flags[i] = q.ids[i] = 0;
    }
    if (live == 0) q.count = 0;
    const int changed = gFieldHost.changed;
    if (borrowed == 2) {
        if (gLeftFieldId == id) TE_get_selection(gTextEngine, &gLeftStart, &gLeftEnd);
        gFieldHost = kept;
        field_clamp_selection(kept_s, kept_e);
    }

    std::string lbl = label, left, right, help;
    BTN_split_label(lbl, left, right, help);
    BTN_frame1(9, x + width / 2 - 2, y + 3, width + 10, 61);
    BTN_draw_label(x - 12, y, 0, left, 0);
    BTN_draw_label(x + width + 6, y, 2, right, 0);

    OGL_set_scissor(x - 1, y - 3, width + 2, 11);
    if (focused)
        TE_draw(gTextEngine, 1);
    else
        OGL_draw_string(54, x, y - 1, text, 9999, font_regular, align_left);
    OGL_clear_scissor();

    if (x <= gMouseX && gMouseX <= x + width && y - 5 <= gMouseY && gMouseY <= y + 15) gHoverHelp = help;

    if (changed && text.size() > max_length) {
        // Never half a character: at most max_length bytes, cut where a character begins.
        text.resize(TE_cut_length(text, max_length));
        int s = 0, e = 0;
        TE_get_selection(gTextEngine, &s, &e);
        TE_set_selection(gTextEngine, s, e);
        TE_relayout(gTextEngine);
    }
    return changed;
}
