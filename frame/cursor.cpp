// The mouse cursor and hover help (see cursor.h).
#include "frame/cursor.h"

#include "frame/butn.h"
#include "frame/hl_event.h"
#include "frame/hl_timer.h"
#include "graphics/OGL_draw.h"
#include "graphics/OGL_font.h"
#include "graphics/OGL_view.h"
#include "platform/plat_cursor.h"

#include <cmath>

std::string gHoverHelp;
int gCursorShown = 1;
int gCursorLeftAlone = 0;

// ---------------------------------------------------------------------------------------------
// Drawing

static void draw_help_frame(float x, float y, float w, float h)
{
    BTN_frame2(17, x, y, w, h, "", 1.0f);
}

static void draw_help_text(float x, float y, const std::string& text)
{
    OGL_draw_string(56, x, y, text, 394, font_regular, align_left);
}

// ---------------------------------------------------------------------------------------------

hl_help_place hl_help_box_place(size_t bytes, float mouse_x, float mouse_y, float popup_x, float popup_y,
                                float win_w, float win_h)
{
    hl_help_place p;
    p.h = (float)(bytes / 50) * 10 + 20;
    if (p.h < 60) p.h = 60;
    if (p.h > 300) p.h = 300;
    // Inside the window whatever popup the pointer is in; the right and top bounds win.
    p.x = std::fmin(std::fmax(mouse_x - 400 - 15, 10 - popup_x), win_w - 10 - popup_x - 400);
    p.y = std::fmin(std::fmax(mouse_y + 15, 10 - popup_y), win_h - 20 - popup_y - p.h);
    return p;
}

// A cell of the interface sheet drawn as the pointer: columns c0..c1 and rows r0..r1 in sheet
// pixels, and the offset of its hot spot.
struct drawn_cursor {
    int c0, c1, r0, r1, dx, dy;
};

static const drawn_cursor kDrawn[] = {
    {199, 261, 328, 357, 0, 0},  {199, 230, 328, 357, 6, 1},  {230, 261, 328, 357, -1, 1},
    {199, 261, 291, 327, 0, 0},  {199, 230, 291, 327, 1, 1},  {230, 261, 291, 327, 0, 1},
    {262, 326, 310, 357, 0, 0},  {262, 294, 310, 357, -3, 1}, {294, 326, 310, 357, 5, 1},
    {487, 506, 309, 357, 0, 0},  {487, 506, 309, 333, 1, -5}, {487, 506, 333, 357, 1, 5},
    {262, 326, 291, 309, 0, 0},  {262, 294, 291, 309, 0, 0},  {294, 326, 291, 309, 0, 0},
    {328, 358, 325, 355, 0, 0},  {328, 358, 293, 323, 0, 0},  {168, 198, 325, 355, 0, 0},
    {168, 198, 293, 323, 0, 0},  {199, 239, 250, 290, 0, 0},  {456, 486, 325, 355, 0, 0},
    {424, 454, 325, 355, 0, 0},
};
static const int kFirstDrawn = 3;
static const int kLastDrawn = kFirstDrawn + (int)(sizeof(kDrawn) / sizeof(kDrawn[0])) - 1;

static void draw_sheet_cursor(int kind)
{
    if (kind < kFirstDrawn || kind > kLastDrawn) return;
    drawn_cursor d = kDrawn[kind - kFirstDrawn];
    // The two button cursors show their pressed cell while a button is held.
    if ((kind == 18 || kind == 19) && gMouseHeld) d.c0 += 32, d.c1 += 32;
    const float w = (float)(d.c1 - d.c0), h = (float)(d.r1 - d.r0);
    const float a = std::round(w / 2), a2 = w - a, b = std::round(h / 2), b2 = h - b;
    const float X = gMouseX + 2 - (float)d.dx, Y = gMouseY - 4 - (float)d.dy;
    const float s0 = (float)d.c0 / 512, s1 = (float)d.c1 / 512, t0 = (float)d.r0 / 512, t1 = (float)d.r1 / 512;
    OGL_draw_tex_quad(1020, 61, 1.0f, X - a, Y - b, s0, t0, X - a, Y + b2, s0, t1, X + a2, Y + b2, s1, t1, X + a2,
                      Y - b, s1, t0, 1, 1, 0);
}

void hl_draw_cursor(std::string& help, int popup_id)
{
    const float idle = gTimer.hl_timer_real_time - gMouseMoveTime;
    if (!help.empty() && idle > 1.0f) {
        const hl_help_place p = hl_help_box_place(help.size(), gMouseX, gMouseY, gPopupX, gPopupY,
                                                  (float)gWindowW / gUIScale, (float)gWindowH / gUIScale);
        draw_help_frame(p.x - 10, p.y - 10, 420, p.h + 20);
        draw_help_text(p.x + 3, p.y + p.h - 11, help);
    }
    help.clear();

    // An idle main window loses its pointer; the next movement brings it back.
    if (idle > 10.0f && popup_id == 0) gCursorKind = 2;
    // The alert and the dialogs always show the arrow.
    if (popup_id >= 992 && popup_id <= 999) gCursorKind = 0;

    if (gCursorKind >= 2 && gCursorShown == 1) {
        gCursorShown = 0;
        PLAT_cursor_show(0);
    } else if (gCursorKind < 2 && gCursorShown == 0) {
        gCursorShown = 1;
        PLAT_cursor_show(1);
    }

    if (gCursorLeftAlone == 1 && gCursorKind != 1) {
        gCursorLeftAlone = 0;
        PLAT_cursor_set_arrow();
    } else if (gCursorLeftAlone == 0 && gCursorKind == 1) {
        gCursorLeftAlone = 1;
    }

    draw_sheet_cursor(gCursorKind);
}
