// Menus and pop-up lists (see mbar.h).
#include "frame/mbar.h"

#include "frame/butn.h"
#include "frame/hl_event.h"
#include "frame/hl_timer.h"
#include "graphics/OGL_draw.h"
#include "graphics/OGL_font.h"
#include "graphics/OGL_view.h"

#include <cmath>

MENU_table gMenus;
void (*gMenuCommandHook)(int32_t id) = nullptr;

// ---------------------------------------------------------------------------------------------
// Drawing

static void draw_box(int style, float x, float y, float w, float h)
{
    BTN_frame2(style, x, y, w, h, "", 1.0f);
}

static void draw_bar(float x, float y, float w)
{
    BTN_frame1(0, x, y, w, 61);
}

static void draw_text(int colour, float x, float y, const std::string& text)
{
    OGL_draw_string(colour, x, y, text, 9999, font_regular, align_left);
}

// The sub-menu arrow: a 9 x 9 cell of the interface sheet centred at (x, y).
static void draw_arrow(float x, float y)
{
    BTN_draw_sprite(x, y, 167, 187, 4.5f, 4.5f, 61);
}

// ---------------------------------------------------------------------------------------------
// Hit tests

template <class R> static bool holds(const R& r, float x, float y)
{
    return r.left <= x && x <= r.right && r.bottom <= y && y <= r.top;
}

static bool choosable(const MENU_item& it)
{
    return !it.label.empty() && it.label[0] != '-' && it.label[0] != '=';
}

// The title under the pointer among entries that can be hit now (top-level ones and the open
// menu's sub-menus), or -1. Free entries have no title: their zero rectangle would catch the
// popup's corner.
static int title_under_mouse()
{
    const int n = (int)gMenus.entries.size() < MENU_POPUP_LIST ? (int)gMenus.entries.size() : MENU_POPUP_LIST;
    for (int i = 0; i < n; ++i) {
        const MENU_entry& e = gMenus.entries[(size_t)i];
        if (e.name.empty()) continue;
        if (e.parent != -1 && e.parent != gMenus.open) continue;
        if (holds(e, gMouseX, gMouseY)) return i;
    }
    return -1;
}

void MENU_init(int first)
{
    if (first != 1) return;
    gMenus.entries.clear();
    gMenus.entries.resize(MENU_ENTRY_COUNT);
}

int MENU_mouse_over_title()
{
    if (gMenus.open == -1) return 0;
    const int n = (int)gMenus.entries.size() < MENU_POPUP_LIST ? (int)gMenus.entries.size() : MENU_POPUP_LIST;
    for (int i = 0; i < n; ++i) {
        const MENU_entry& e = gMenus.entries[(size_t)i];
        if (i == gMenus.open || e.name.empty() || e.parent != -1) continue;
        if (holds(e, gMouseX, gMouseY)) return 1;
    }
    return 0;
}

void MENU_press()
{
    if (gPopup == 0) {
        const int hit = title_under_mouse();
        if (hit >= 0) {
            gMenus.open = hit == gMenus.open ? -1 : hit;
            gMouseDownTime = gTimer.hl_timer_real_time;
            gMousePressX = gMouseX;
            gMousePressY = gMouseY;
            gMouseDown = 0;
            return;
        }
    }
    if (!MENU_hit_item()) gMenus.open = -1;
}

void MENU_release()
{
    if (gPopup == 0) {
        const int hit = title_under_mouse();
        if (hit >= 0) {
            if (hit == gMenus.open) gMenus.open = -1;
            return;
        }
    }
    MENU_hit_item();
}

int MENU_hit_item()
{
    if (gMenus.open < 0 || gMenus.open >= (int)gMenus.entries.size()) return 0;
    const std::vector<MENU_item>& items = gMenus.entries[(size_t)gMenus.open].items;
    for (size_t i = 0; i < items.size(); ++i) {
        if (!choosable(items[i]) || !holds(items[i], gMouseX, gMouseY)) continue;
        if (gMenus.open == MENU_POPUP_LIST) {
            gMenus.chosen_index = (int32_t)i;
            gMenus.chosen_owner = gMenus.dropdown_owner;
            gMenus.dropdown_owner = 0;
        } else {
            if (gMenuCommandHook) gMenuCommandHook(items[i].id);
        }
        gMenus.open = -1;
        gMouseDown = 0;
        return 1;
    }
    return 0;
}

static int16_t whole(float v)
{
    return (int16_t)std::trunc(v);
}

void MENU_popup_list(float x, float y, float width, int last_index, const std::string* labels, int& anchor)
{
    if (last_index < 0) last_index = 0;
    // The table is made at start-up; a list shown before that makes it rather than write past it.
    if (gMenus.entries.size() < (size_t)MENU_ENTRY_COUNT) gMenus.entries.resize(MENU_ENTRY_COUNT);
    MENU_entry& e = gMenus.entries[MENU_POPUP_LIST];
    gMenus.open = MENU_POPUP_LIST;
    e.parent = -1;
    e.left = (int16_t)(whole(x - width / 2) - 2);
    e.right = (int16_t)(whole(x + width / 2) + 4);
    e.bottom = whole(y - (float)(last_index - anchor) * 12);
    e.top = (int16_t)(e.bottom + (last_index + 1) * 12);

    e.items.resize((size_t)last_index + 1);
    for (int i = 0; i <= last_index; ++i) {
        MENU_item& it = e.items[(size_t)i];
        it.left = e.left;
        it.right = e.right;
        it.bottom = whole(y - (float)(i - anchor) * 12 - 3);
        it.top = whole(y - (float)(i - anchor) * 12 + 12 - 3);
        it.label = labels[i];
        it.id = 0;
    }

    // One line per frame towards the inside; a list that cannot fit stops at either end rather
    // than take its button's selection out of range.
    if (e.items[(size_t)last_index].bottom < 0) ++anchor;
    if (e.items[0].top > gPopupH) --anchor;
    if (anchor > last_index) anchor = last_index;
    if (anchor < 0) anchor = 0;
}

void MENU_clear_dropdown_owner()
{
    gMenus.dropdown_owner = 0;
}

void MENU_clear_rects()
{
    if (gMenus.entries.size() <= (size_t)MENU_POPUP_LIST) return;
    MENU_entry& e = gMenus.entries[MENU_POPUP_LIST];
    e.left = e.bottom = e.right = e.top = (int16_t)-1;
}

// ---------------------------------------------------------------------------------------------
// Drawing

void MENU_draw_bar()
{
    if (gMenus.open == -1 || gMenus.open == MENU_POPUP_LIST) return;
    const float ww = (float)gWindowW / gUIScale, wh = (float)gWindowH / gUIScale;
    draw_bar(ww / 2, wh - 9, ww);
    const size_t n = gMenus.entries.size() < (size_t)MENU_POPUP_LIST ? gMenus.entries.size() : MENU_POPUP_LIST;
    for (size_t i = 0; i < n; ++i) {
        const MENU_entry& e = gMenus.entries[i];
        if (e.parent == -1 && !e.name.empty()) draw_text(47, e.left + 10, e.bottom + 5, e.name);
    }
}

void MENU_draw()
{
    if (gMenus.open < 0 || gMenus.open >= (int)gMenus.entries.size()) return;
    const MENU_entry& e = gMenus.entries[(size_t)gMenus.open];
    const bool list = gMenus.open == MENU_POPUP_LIST;

    float l = 0, b = 0, r = 0, t = 0;
    bool any = false;
    const MENU_item* hover = nullptr;
    for (const MENU_item& it : e.items) {
        if (it.label.empty()) continue;
        if (!any) {
            l = it.left, r = it.right, b = it.bottom, t = it.top;
            any = true;
        }
        l = std::fmin(l, it.left), r = std::fmax(r, it.right);
        b = std::fmin(b, it.bottom), t = std::fmax(t, it.top);
        // The top edge belongs to the line above.
        if (choosable(it) && it.left <= gMouseX && gMouseX <= it.right && it.bottom <= gMouseY && gMouseY < it.top)
            hover = &it;
    }
    if (any) b -= 2, t += 2;

    draw_box(20, l, b, r - l, t - b);
    if (!list && e.parent == -1) OGL_draw_rect(45, 0.25f, e.left, e.bottom, e.right - e.left, e.top - e.bottom);
    if (hover)
        OGL_draw_rect(45, 0.25f, hover->left, hover->bottom, hover->right - hover->left, hover->top - hover->bottom);

    int16_t column = e.items.empty() ? 0 : e.items[0].left;
    for (const MENU_item& it : e.items) {
        if (it.left != column) {
            OGL_draw_line(44, 1.0f, it.left - 1, b, it.left - 1, t);
            OGL_draw_line(46, 1.0f, it.left, b, it.left, t);
            column = it.left;
        }
        if (it.label.empty()) continue;
        if (it.label[0] == '-') {
            OGL_draw_line(44, 1.0f, it.left, it.bottom + 1, it.right - 1, it.bottom + 1);
            OGL_draw_line(46, 1.0f, it.left, it.bottom, it.right - 1, it.bottom);
        } else {
            draw_text(47, it.left + (list ? 3 : 18), it.bottom + 2, it.label);
        }
    }

    for (size_t i = 0; i < gMenus.entries.size(); ++i)
        if (gMenus.entries[i].parent == gMenus.open) draw_arrow(r - 8, gMenus.entries[i].bottom + 6);
}
