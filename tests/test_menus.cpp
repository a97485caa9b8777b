// Menus, pop-up lists, text lists and the cursor in one window under Xvfb (the widgets draw on
// the interface sheet): presses and releases go through the window procedure as the desktop
// would send them, the clock is set by hand, and the platform's pointer calls are counted.
#include "foundation/alert.h"
#include "frame/butn.h"
#include "frame/cursor.h"
#include "frame/hl_event.h"
#include "frame/hl_init.h"
#include "frame/hl_timer.h"
#include "frame/mbar.h"
#include "graphics/OGL_font.h"
#include "graphics/OGL_view.h"
#include "platform/plat_cursor.h"
#include "platform/plat_window.h"
#include "support/test_support.h"
#include "support/ui_window_suite.h"

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

std::vector<int> gCommands;
void record_command(int32_t id)
{
    gCommands.push_back(id);
}

const int kWinH = 600;

void move_to(float x, float y)
{
    PLAT_event e;
    e.kind = PLAT_EV_MOUSE_MOVE;
    e.x = (int)(x + gPopupX);
    e.y = kWinH - (int)(y + gPopupY);
    hl_window_proc(e);
}

// The left button going down or up at (x, y).
void left_button(PLAT_event_kind kind, float x, float y)
{
    move_to(x, y);
    PLAT_event e;
    e.kind = kind;
    e.button = PLAT_BUTTON_LEFT;
    hl_window_proc(e);
}

void press(float x, float y) { left_button(PLAT_EV_BUTTON_DOWN, x, y); }
void release(float x, float y) { left_button(PLAT_EV_BUTTON_UP, x, y); }

void at_time(float t)
{
    gTimer.hl_timer_real_time = t;
}

MENU_item item(const char* label, int id, int l, int b, int r, int t)
{
    MENU_item it;
    it.label = label;
    it.id = id;
    it.left = (int16_t)l, it.bottom = (int16_t)b, it.right = (int16_t)r, it.top = (int16_t)t;
    return it;
}

class Menus : public UI_window_suite<Menus> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ready) << "no window under Xvfb";
        gWindowW = 800;
        gWindowH = kWinH;
        gUIScale = 1;
        gPopup = 0;
        gPopupX = gPopupY = 0;
        gPopupW = 800;
        gPopupH = 600;
        gLanguage = 0;
        gMouseDown = gMouseUp = 0;
        gMenus = MENU_table();
        MENU_init(1);
        gMenuCommandHook = record_command;
        gCommands.clear();
        at_time(100);
        gMouseDownTime = 0;
    }
};

// One frame's worth of a text list's call, as the widgets run it after the window procedure.

int list_frame(float x, float y, int* sel, const std::string& items, const std::string& label = "")
{
    const int r = BTN_text_list(x, y, sel, items, label, '-');
    gMouseDown = 0;
    gMouseUp = 0;
    return r;
}

struct alert_raised {
    std::string first, where;
    int code;
};
void throwing_presenter(int, const std::string (&lines)[4], int code, const std::string& where)
{
    throw alert_raised{lines[0], where, code};
}

} // namespace

TEST_F(Menus, TableTitlesItemsSeparatorsAndTheCommandHandler)
{
    ASSERT_EQ(gMenus.entries.size(), 1520u);
    MENU_init(0); // any other flag leaves the table alone
    ASSERT_EQ(gMenus.entries.size(), 1520u);
    EXPECT_EQ(gMenus.entries[7].parent, -1);
    EXPECT_TRUE(gMenus.entries[7].name.empty());

    MENU_entry& file = gMenus.entries[0];
    file.name = "File";
    file.left = 0, file.bottom = 580, file.right = 50, file.top = 600;
    file.items = {item("Open", 11, 0, 560, 150, 575), item("-", 0, 0, 548, 150, 560),
                  item("=Recent", 12, 0, 536, 150, 548), item("Quit", 13, 0, 524, 150, 536)};
    MENU_entry& edit = gMenus.entries[1];
    edit.name = "Edit";
    edit.left = 60, edit.bottom = 580, edit.right = 110, edit.top = 600;
    edit.items = {item("Copy", 21, 60, 560, 210, 575)};

    // A free entry's zero rectangle is no title: a press at the window's corner closes nothing.
    gMenus.open = 1;
    press(0, 0);
    EXPECT_EQ(gMenus.open, -1);
    EXPECT_EQ(gMouseDown, 1);

    // A press on a title opens it and uses the press up; a quick release in place leaves it open.
    press(20, 590);
    EXPECT_EQ(gMenus.open, 0);
    EXPECT_EQ(gMouseDown, 0);
    EXPECT_EQ(gMousePressX, 20);
    release(21, 591);
    EXPECT_EQ(gMenus.open, 0);
    // Hover over the other title switches to it, as the frame does every frame.
    move_to(80, 590);
    ASSERT_TRUE(MENU_mouse_over_title());
    MENU_press();
    EXPECT_EQ(gMenus.open, 1);
    EXPECT_FALSE(MENU_mouse_over_title());
    move_to(20, 590);
    MENU_press();
    EXPECT_EQ(gMenus.open, 0);

    // Separators and "=" lines are never chosen; the press on them closes the menu.
    press(30, 550);
    EXPECT_EQ(gMenus.open, -1);
    EXPECT_TRUE(gCommands.empty());
    press(20, 590);
    press(30, 540);
    EXPECT_EQ(gMenus.open, -1);
    EXPECT_TRUE(gCommands.empty());

    // A press on an item gives its id to the application and uses the press up.
    press(20, 590);
    press(30, 530);
    EXPECT_EQ(gMenus.open, -1);
    EXPECT_EQ(gMouseDown, 0);
    ASSERT_EQ(gCommands, std::vector<int>({13}));

    // Dragging from the title and releasing over an item chooses it; releasing on the open title
    // after a second closes it.
    at_time(200);
    press(20, 590);
    at_time(200.2f);
    release(30, 565);
    EXPECT_EQ(gCommands, std::vector<int>({13, 11}));
    press(20, 590);
    at_time(201.5f);
    release(20, 590);
    EXPECT_EQ(gMenus.open, -1);

    // Pressing the open title again closes it; the bar's titles are hit only without a popup.
    press(20, 590);
    press(20, 590);
    EXPECT_EQ(gMenus.open, -1);
    gPopup = 2;
    press(40, 590);
    EXPECT_EQ(gMenus.open, -1);
    EXPECT_EQ(gMouseDown, 1);

    // A popup opening marks the reserved entry's rectangle empty.
    MENU_clear_rects();
    const MENU_entry& list = gMenus.entries[MENU_POPUP_LIST];
    EXPECT_EQ(list.left, -1);
    EXPECT_EQ(list.top, -1);
    MENU_table small;
    gMenus = small;
    MENU_clear_rects(); // a table not yet made is left alone
    EXPECT_TRUE(gMenus.entries.empty());
}

TEST_F(Menus, PopupListLinesAndKeepingInView)
{
    const std::string labels[4] = {"Alpha", "Beta", "Gamma", "Delta"};
    int anchor = 1;
    MENU_popup_list(100, 300, 80, 3, labels, anchor);
    const MENU_entry& e = gMenus.entries[MENU_POPUP_LIST];
    EXPECT_EQ(gMenus.open, MENU_POPUP_LIST);
    EXPECT_EQ(e.left, 58);
    EXPECT_EQ(e.right, 144);
    EXPECT_EQ(e.bottom, 300 - 2 * 12);
    EXPECT_EQ(e.top, 300 - 24 + 48);
    ASSERT_EQ(e.items.size(), 4u);
    // The anchor's line sits at y; the lines before it above.
    EXPECT_EQ(e.items[1].bottom, 297);
    EXPECT_EQ(e.items[1].top, 309);
    EXPECT_EQ(e.items[0].bottom, 309);
    EXPECT_EQ(e.items[3].bottom, 273);
    EXPECT_EQ(e.items[2].label, "Gamma");
    EXPECT_EQ(anchor, 1);

    // Near the bottom edge the list rises a line per frame until its last line is inside.
    anchor = 0;
    std::vector<int> seen;
    for (int frame = 0; frame < 6; ++frame) {
        MENU_popup_list(100, 20, 80, 3, labels, anchor);
        seen.push_back(anchor);
    }
    EXPECT_EQ(seen, std::vector<int>({1, 2, 2, 2, 2, 2}));
    EXPECT_GE(e.items[3].bottom, 0);
    // Near the top edge it sinks.
    anchor = 3;
    MENU_popup_list(100, 595, 80, 3, labels, anchor);
    EXPECT_EQ(anchor, 2);

    // A list that cannot fit stops at the ends of its range instead of leaving it.
    gPopupH = 30;
    const std::string many[10] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
    anchor = 9;
    for (int frame = 0; frame < 40; ++frame) {
        MENU_popup_list(100, 25, 40, 9, many, anchor);
        ASSERT_GE(anchor, 0);
        ASSERT_LE(anchor, 9);
    }
    // Too close to the bottom edge for even its last line: it rises to its end and stays.
    gPopupH = 600;
    anchor = 0;
    for (int frame = 0; frame < 40; ++frame) MENU_popup_list(100, 1, 40, 2, many, anchor);
    EXPECT_EQ(anchor, 2);

    // A list shown before start-up made the table makes it rather than write past it.
    gMenus = MENU_table();
    anchor = 0;
    MENU_popup_list(100, 300, 40, 0, labels, anchor);
    EXPECT_EQ(gMenus.entries.size(), 1520u);
}

TEST_F(Menus, TextListOpensChoosesAndKeepsItsValueUntilAChoice)
{
    const float x = 300, y = 200;
    const int id = BTN_text_list_id(x, y);
    EXPECT_EQ(id, (int)(200 * 1024 + 300));

    // Clamping: below 0 and past the last item; an empty text is one empty item; a separator at
    // the end adds an empty last item.
    int sel = -4;
    list_frame(x, y, &sel, "A-B-C");
    EXPECT_EQ(sel, 0);
    sel = 9;
    list_frame(x, y, &sel, "A-B-C");
    EXPECT_EQ(sel, 2);
    list_frame(x, y, &sel, "");
    EXPECT_EQ(sel, 0);
    sel = 5;
    list_frame(x, y, &sel, "A-B-");
    EXPECT_EQ(sel, 2);

    // A press on the box opens the list, uses the press up and records it for the release rule.
    sel = 1;
    press(x + 10, y + 3);
    MENU_clear_dropdown_owner();
    EXPECT_EQ(gMouseDown, 1);
    at_time(300);
    EXPECT_EQ(BTN_text_list(x, y, &sel, "A-B-C", "", '-'), 0);
    EXPECT_EQ(gMouseDown, 0);
    EXPECT_EQ(gMenus.dropdown_owner, id);
    EXPECT_EQ(gMenus.open, MENU_POPUP_LIST);
    EXPECT_EQ(gMouseDownTime, 300);
    EXPECT_EQ(gMousePressX, x + 10);
    // The selected line lies over the box.
    const MENU_entry& e = gMenus.entries[MENU_POPUP_LIST];
    EXPECT_EQ(e.items[1].bottom, 197);
    EXPECT_EQ(e.items[1].label, "B");

    // A quick click in place leaves it open; no help is set while it shows.
    at_time(300.2f);
    release(x + 10, y + 3);
    EXPECT_EQ(gMenus.open, MENU_POPUP_LIST);
    gHoverHelp.clear();
    int other = 0;
    list_frame(500, 100, &other, "X-Y", "{help}");
    EXPECT_TRUE(gHoverHelp.empty());
    list_frame(x, y, &sel, "A-B-C");

    // A second press on a line chooses it: the next call writes it and returns 1 once.
    press(x, 187);
    MENU_clear_dropdown_owner();
    EXPECT_EQ(gMouseDown, 0);
    EXPECT_EQ(gMenus.open, -1);
    EXPECT_EQ(gMenus.chosen_owner, id);
    EXPECT_EQ(gMenus.chosen_index, 2);
    EXPECT_EQ(list_frame(x, y, &sel, "A-B-C"), 1);
    EXPECT_EQ(sel, 2);
    EXPECT_EQ(list_frame(x, y, &sel, "A-B-C"), 0);
    EXPECT_EQ(gMenus.open, -1);

    // Held for a second, the release chooses the line under the pointer; so does a release after
    // moving 3 units.
    for (int way = 0; way < 2; ++way) {
        at_time(400 + 10 * way);
        press(x + 10, y + 3);
        MENU_clear_dropdown_owner();
        list_frame(x, y, &sel, "A-B-C");
        at_time(way == 0 ? 401.0f : 410.1f);
        release(x + 10, way == 0 ? y + 3 : y + 22);
        EXPECT_EQ(list_frame(x, y, &sel, "A-B-C"), 1) << way;
        EXPECT_EQ(sel, way == 0 ? 2 : 0) << way;
    }

    // A press outside closes the list without a choice.
    press(x + 10, y + 3);
    MENU_clear_dropdown_owner();
    list_frame(x, y, &sel, "A-B-C");
    press(700, 500);
    MENU_clear_dropdown_owner();
    EXPECT_EQ(gMenus.open, -1);
    EXPECT_EQ(list_frame(x, y, &sel, "A-B-C"), 0);
    EXPECT_EQ(sel, 0);
    EXPECT_EQ(gMenus.chosen_owner, 0);

    // The caller that edits a value whose 0 is no item passes a copy and keeps 0 through an open
    // and a close without a choice.
    int target = 0;
    auto copy_caller = [&]() {
        int copy = target - 1;
        if (list_frame(x, y, &copy, "Macintosh-Windows-Linux")) target = copy + 1;
    };
    press(x + 10, y + 3);
    MENU_clear_dropdown_owner();
    copy_caller();
    EXPECT_EQ(gMenus.open, MENU_POPUP_LIST);
    copy_caller();
    EXPECT_EQ(target, 0);
    press(700, 500);
    MENU_clear_dropdown_owner();
    copy_caller();
    EXPECT_EQ(target, 0);
    press(x + 10, y + 3);
    MENU_clear_dropdown_owner();
    copy_caller();
    press(x, y - 22);
    MENU_clear_dropdown_owner();
    copy_caller();
    EXPECT_EQ(target, 3);

    // The help text of the box, only while no list shows.
    gHoverHelp.clear();
    move_to(x + 10, y);
    list_frame(x, y, &sel, "A-B-C", "left|right{the help");
    EXPECT_EQ(gHoverHelp, "the help");

    // 300 items are the most; one more separator is a crash alert.
    std::string items(299, '-');
    sel = 400;
    list_frame(x, y, &sel, items);
    EXPECT_EQ(sel, 299);
    ALERT_set_presenter(throwing_presenter);
    bool raised = false;
    try {
        list_frame(x, y, &sel, items + "-");
    } catch (const alert_raised& a) {
        raised = true;
        EXPECT_EQ(a.first, "BTN_text_list overflow!");
        EXPECT_EQ(a.where, "(butn:978)");
        EXPECT_EQ(a.code, t_crash);
    }
    ALERT_set_presenter(nullptr);
    EXPECT_TRUE(raised);

    // The press area is the widest item's measured width plus 30 around x + 10, edges included,
    // whatever the language draws.
    gLanguage = 2;
    const float w = std::trunc(OGL_measure_string("Macintosh"));
    ASSERT_GT(w, 20);
    for (float dx : {-w / 2 - 15 - 0.5f, -w / 2 - 15, w / 2 + 15, w / 2 + 15 + 0.5f}) {
        gMenus.dropdown_owner = 0;
        gMenus.open = -1;
        gMouseX = x + 10 + dx;
        gMouseY = y + 8;
        gMouseDown = 1;
        list_frame(x, y, &sel, "Mac-Macintosh-Win");
        EXPECT_EQ(gMenus.dropdown_owner == id, std::fabs(dx) <= w / 2 + 15) << dx;
    }
    gLanguage = 0;

    // Width factors by language: German 100 draws 90, a product not above 20 draws 20.
    EXPECT_EQ(BTN_text_list_width(100, 0), 100);
    EXPECT_EQ(BTN_text_list_width(100, 2), 90);
    EXPECT_FLOAT_EQ(BTN_text_list_width(100, 1), 95);
    EXPECT_EQ(BTN_text_list_width(21, 3), 20);
    EXPECT_EQ(BTN_text_list_width(20, 0), 20);
}

TEST_F(Menus, CursorShowsAndHidesOnceAndPlacesTheHelpBox)
{
    const PLAT_cursor_counts before = PLAT_cursor_get_counts();
    gMouseMoveTime = 100;
    std::string help;
    // A frame's cursor drawing with the pointer kind the frame asked for.
    auto draw = [&](int kind, int popup) {
        gCursorKind = kind;
        hl_draw_cursor(help, popup);
    };
    // Frames over an idle main window: the pointer hides once after 10 s, shows once on a move.
    for (int f = 0; f <= 300; ++f) {
        at_time(100 + f * 0.05f);
        draw(0, 0);
    }
    EXPECT_EQ(gCursorShown, 0);
    PLAT_cursor_counts c = PLAT_cursor_get_counts();
    EXPECT_EQ(c.hides - before.hides, 1);
    EXPECT_EQ(c.shows - before.shows, 0);
    // Inside a popup it never hides; popups 992 to 999 bring the arrow back at once.
    draw(0, 2);
    EXPECT_EQ(gCursorShown, 1);
    draw(0, 0);
    EXPECT_EQ(gCursorShown, 0);
    draw(2, 994);
    EXPECT_EQ(gCursorShown, 1);
    gMouseMoveTime = gTimer.hl_timer_real_time;
    for (int f = 0; f < 5; ++f) draw(0, 0);
    c = PLAT_cursor_get_counts();
    EXPECT_EQ(c.shows - before.shows, 2);
    EXPECT_EQ(c.hides - before.hides, 2);
    EXPECT_EQ(c.repeats, 0);

    // Kind 1 leaves the pointer alone; leaving kind 1 sets the arrow once.
    const int arrows = c.arrows;
    draw(1, 0);
    EXPECT_EQ(gCursorLeftAlone, 1);
    draw(0, 0);
    hl_draw_cursor(help, 0);
    EXPECT_EQ(gCursorLeftAlone, 0);
    EXPECT_EQ(PLAT_cursor_get_counts().arrows - arrows, 1);
    // Motion sets the arrow only while the kind is 0.
    move_to(10, 10);
    EXPECT_EQ(PLAT_cursor_get_counts().arrows - arrows, 2);
    gCursorKind = 2;
    move_to(11, 10);
    EXPECT_EQ(PLAT_cursor_get_counts().arrows - arrows, 2);

    // The help text is used up every time.
    help = "some help";
    hl_draw_cursor(help, 0);
    EXPECT_TRUE(help.empty());

    // Heights by length; the box to the lower left, kept 10 units inside the window.
    const size_t bytes[] = {1, 249, 250, 300, 1399, 1400, 5000};
    const float heights[] = {60, 60, 70, 80, 290, 300, 300};
    for (size_t i = 0; i < 7; ++i)
        EXPECT_EQ(hl_help_box_place(bytes[i], 500, 300, 0, 0, 800, 600).h, heights[i]) << bytes[i];
    hl_help_place p = hl_help_box_place(10, 500, 300, 0, 0, 800, 600);
    EXPECT_EQ(p.x, 85);
    EXPECT_EQ(p.y, 315);
    p = hl_help_box_place(10, 5, 2, 0, 0, 800, 600);
    EXPECT_EQ(p.x, 10);
    EXPECT_EQ(p.y, 17);
    p = hl_help_box_place(10, 790, 595, 0, 0, 800, 600);
    EXPECT_EQ(p.x, 375);
    EXPECT_EQ(p.y, 520);
    // In a popup the same bounds hold in window terms.
    p = hl_help_box_place(10, 5, 5, 50, 110, 800, 600);
    EXPECT_EQ(p.x, -40);
    EXPECT_EQ(p.y, 20);
}
