// Popups laid out and centred in the window, what opening one resets, the message-box text, and,
// in a real window under Xvfb (the widgets draw on the interface sheet), the keys the frame reads
// for popups and the widgets' hit-testing edges.
#include "frame/alert.h"
#include "frame/butn.h"
#include "frame/cursor.h"
#include "frame/hl_event.h"
#include "frame/hl_keyboard.h"
#include "frame/hl_popup.h"
#include "frame/mbar.h"
#include "graphics/OGL_font.h"
#include "graphics/OGL_view.h"
#include "platform/plat_window.h"
#include "support/test_support.h"
#include "support/ui_window_suite.h"

#include <gtest/gtest.h>
#include <cstdlib>
#include <memory>

namespace {

class PopupWindow : public UI_window_suite<PopupWindow> {};

} // namespace

static void open_in(int win_w, int win_h, int id)
{
    gWindowW = win_w;
    gWindowH = win_h;
    hl_open_window(id);
}

TEST(Popup, CentredAsLaidOut)
{
    struct Case {
        int win_w, win_h, id;
        float x, y, w, h;
    };
    const Case cases[] = {
        {1024, 768, 994, 302, 254, 420, 260},
        {1024, 768, 2, 162, 194, 700, 380},
        {800, 600, 994, 190, 170, 420, 260},
        {800, 600, 996, 25, 227, 750, 146},
        {800, 600, 997, 50, 197, 700, 206},
        // Two screens side by side: centred on the left one.
        {2560, 1024, 994, 430, 382, 420, 260},
        // Exactly two or three times as wide is one screen.
        {2048, 1024, 994, 814, 382, 420, 260},
        {3072, 1024, 994, 1326, 382, 420, 260},
        // Larger than the window: origin 0 on that axis.
        {600, 300, 992, 0, 0, 900, 760},
        {1000, 300, 2, 150, 0, 700, 380},
        // An odd margin rounds its half away from zero.
        {801, 601, 994, 191, 171, 420, 260},
        // Ids without a size of their own keep the whole window.
        {800, 600, 0, 0, 0, 800, 600},
        {800, 600, 5, 0, 0, 800, 600},
    };
    for (const Case& c : cases) {
        open_in(c.win_w, c.win_h, c.id);
        const std::string what = std::to_string(c.win_w) + "x" + std::to_string(c.win_h) + " popup " + std::to_string(c.id);
        EXPECT_EQ(gPopup, c.id) << what;
        EXPECT_EQ(gPopupX, c.x) << what;
        EXPECT_EQ(gPopupY, c.y) << what;
        EXPECT_EQ(gPopupW, c.w) << what;
        EXPECT_EQ(gPopupH, c.h) << what;
        EXPECT_EQ(gPopupOpen, hl_find_popup(c.id) ? 1 : 0) << what;
    }
}

TEST(Popup, OpeningResetsThePreviousPopupsInput)
{
    gMouseHeld = 1;
    gMouseDown = 1;
    gMouseWheel = 3;
    gMenus.open = 7;
    gLayoutReady = 0;
    open_in(800, 600, 997);
    EXPECT_EQ(gMouseHeld, 0);
    EXPECT_EQ(gMouseDown, 0);
    EXPECT_EQ(gMouseWheel, 0);
    EXPECT_EQ(gMenus.open, -1);
    EXPECT_EQ(gLayoutReady, 1);
    EXPECT_EQ(gPopupTitle, "SAY INTENTIONS");
    open_in(800, 600, 994);
    EXPECT_EQ(gPopupTitle, "BE ADVISED");
    // The whole window leaves the title as it was.
    open_in(800, 600, 0);
    EXPECT_EQ(gPopupTitle, "BE ADVISED");
    EXPECT_EQ(gPopupOpen, 0);
}

TEST_F(PopupWindow, PressInTheCloseBoxClosesThePopup)
{
    // A press inside the box closes the popup, which also drops the Return and Escape flags.
    gWindowH = 600;
    gPopup = 2;
    gPopupX = 50;
    gPopupY = 110;
    gPopupW = 700;
    gPopupH = 380;
    PLAT_event m;
    m.kind = PLAT_EV_MOUSE_MOVE;
    m.x = 50 + 5;
    m.y = 600 - (110 + 375);
    hl_window_proc(m);
    gKeyEnter = gKeyEscape = 1;
    PLAT_event b;
    b.kind = PLAT_EV_BUTTON_DOWN;
    b.button = PLAT_BUTTON_LEFT;
    hl_window_proc(b);
    EXPECT_EQ(gPopup, 0);
    EXPECT_EQ(gKeyEnter, 0);
    EXPECT_EQ(gKeyEscape, 0);
    hl_open_window_at_pointer(0); // unlike the close box, measures the mouse from the window's corner
    EXPECT_EQ(gMouseX, 55);
    gPopup = 994;
    gKeyEnter = 1;
    hl_window_proc(b);
    EXPECT_EQ(gKeyEnter, 1);
    EXPECT_EQ(gPopup, 994);
}

static void key(int kind, int symbol)
{
    PLAT_event ev;
    ev.kind = kind;
    ev.key = symbol;
    ev.vk = symbol == PLAT_KEY_DELETE ? 46 : symbol == PLAT_KEY_KP_ENTER ? 13 : symbol < 128 && symbol != 'a' ? symbol : 0;
    ev.ch_plain = symbol == 'a' ? 'a' : 0;
    hl_window_proc(ev);
}

static void clear_keys()
{
    gKeyEnter = gKeyEscape = gKeyDelete = 0;
}

TEST_F(PopupWindow, ReturnAndEscapeCloseOrdinaryPopupsAndStayWithTheAlert)
{
    open_in(800, 600, 2);
    clear_keys();
    key(PLAT_EV_KEY_UP, PLAT_KEY_ESCAPE);
    EXPECT_EQ(gKeyEscape, 0);
    EXPECT_EQ(gPopup, 2);
    key(PLAT_EV_KEY_DOWN, PLAT_KEY_ESCAPE);
    EXPECT_EQ(gPopup, 0); // closed, and the close takes the flags with it
    EXPECT_EQ(gKeyEscape, 0);

    open_in(800, 600, 2);
    key(PLAT_EV_KEY_DOWN, PLAT_KEY_KP_ENTER);
    EXPECT_EQ(gPopup, 0);

    for (int id : {994, 996, 997}) {
        open_in(800, 600, id);
        clear_keys();
        key(PLAT_EV_KEY_DOWN, PLAT_KEY_RETURN);
        key(PLAT_EV_KEY_DOWN, PLAT_KEY_ESCAPE);
        EXPECT_EQ(gPopup, id);
        EXPECT_EQ(gKeyEnter, 1);
        EXPECT_EQ(gKeyEscape, 1);
    }

    open_in(800, 600, 0);
    clear_keys();
    key(PLAT_EV_KEY_DOWN, PLAT_KEY_BACKSPACE);
    EXPECT_EQ(gKeyDelete, 1);
    clear_keys();
    key(PLAT_EV_KEY_DOWN, PLAT_KEY_DELETE);
    EXPECT_EQ(gKeyDelete, 1);
    key(PLAT_EV_KEY_DOWN, 'a');
    EXPECT_EQ(gKeyEnter + gKeyEscape, 0);
}

TEST(Popup, MessageBoxTextIsCutBetweenCharacters)
{
    const std::string lines[4] = {"one", "", "three", "four"};
    EXPECT_EQ(ALERT_message_box_text(lines, 2000), "one\n\n\n\nthree\n\nfour");
    // "é" is two bytes and "€" three: no limit may leave half of one behind.
    const std::string accents[4] = {"aé€é", "b", "", ""};
    const std::string whole = ALERT_message_box_text(accents, 2000);
    EXPECT_EQ(whole, "aé€é\n\nb"); // no blank lines below the last text
    const char* cuts[] = {"", "a", "a", "a\xc3\xa9", "a\xc3\xa9", "a\xc3\xa9", "a\xc3\xa9\xe2\x82\xac",
                          "a\xc3\xa9\xe2\x82\xac", "a\xc3\xa9\xe2\x82\xac\xc3\xa9"};
    for (size_t limit = 0; limit < sizeof cuts / sizeof cuts[0]; ++limit)
        EXPECT_EQ(ALERT_message_box_text(accents, limit), cuts[limit]) << limit;
    EXPECT_EQ(ALERT_message_box_text(accents, whole.size()), whole);
}

// The changed-file question's path on its one line: the path's start, the file's own folder and
// its name, with one "…" between, however many lines the whole path would take.
TEST(Popup, LongPathKeepsItsStartItsFolderAndItsName)
{
    const float width = hl_find_popup(996)->w - 40;
    const std::string start = "/home/pilot/Corvane 10/", own = "/Earth nav data/apt.dat", dots = "\xE2\x80\xA6";
    for (int lines : {2, 3, 5}) {
        std::string folders = start + "Custom Scenery";
        for (int i = 0; i < 500 && OGL_count_lines(folders + "/Pack " + std::to_string(i) + own, width) <= lines; ++i)
            folders += "/Pack " + std::to_string(i);
        const std::string path = folders + own, shown = hl_one_line_path(path, width);
        ASSERT_EQ(OGL_count_lines(path, width), lines) << path;
        EXPECT_TRUE(OGL_count_lines(shown, width) == 1 && OGL_measure_string(shown) <= width) << shown;
        const size_t cut = shown.find(dots);
        ASSERT_NE(cut, std::string::npos) << shown;
        EXPECT_EQ(shown.find(dots, cut + 1), std::string::npos) << shown;
        EXPECT_EQ(path.compare(0, cut, shown, 0, cut), 0) << shown;
        EXPECT_GE(cut, start.size()) << shown;
        const std::string tail = shown.substr(cut + dots.size());
        EXPECT_TRUE(tail.size() >= own.size() && path.compare(path.size() - tail.size(), tail.size(), tail) == 0 &&
                    tail.compare(tail.size() - own.size(), own.size(), own) == 0)
            << shown;
    }
}

// Mouse in popup units, pressed this frame or not.
static void mouse(float x, float y, int down)
{
    gMouseX = x;
    gMouseY = y;
    gMouseDown = down;
}

TEST_F(PopupWindow, WidgetEdges)
{
    open_in(800, 600, 994);
    gMenus.open = -1;
    // A push button 100 wide at (200, 50) takes x 150 to 250 and y 40 to 60, edges included.
    struct Probe {
        float x, y;
        int hit;
    };
    const Probe button[] = {{150, 50, 1}, {250, 50, 1}, {200, 40, 1}, {200, 60, 1}, {149.9f, 50, 0},
                            {250.1f, 50, 0}, {200, 39.9f, 0}, {200, 60.1f, 0}};
    for (const Probe& p : button) {
        gHoverHelp.clear();
        mouse(p.x, p.y, 1);
        EXPECT_EQ(BTN_push_button(200, 50, 100, 1, 1, "Go{help text", "-"), p.hit) << p.x << "," << p.y;
        EXPECT_EQ(gHoverHelp, p.hit ? "help text" : "") << p.x << "," << p.y;
    }
    // Under the mouse without a press: the help text, no click.
    mouse(200, 50, 0);
    EXPECT_EQ(BTN_push_button(200, 50, 100, 1, 1, "Go{help text", "-"), 0);
    EXPECT_EQ(gHoverHelp, "help text");
    // While a menu is open no widget sees the mouse.
    gHoverHelp.clear();
    gMenus.open = 3;
    mouse(200, 50, 1);
    EXPECT_EQ(BTN_push_button(200, 50, 100, 1, 1, "Go{help text", "-"), 0);
    int v = 0;
    EXPECT_EQ(BTN_check_box(200, 50, &v, "x", 0), 0);
    EXPECT_EQ(gHoverHelp, "");
    gMenus.open = -1;

    // A check box at (100, 100) takes x 92 to 108 and y 96 to 112, and flips its value.
    const Probe box[] = {{92, 96, 1}, {108, 112, 1}, {91.9f, 100, 0}, {100, 112.1f, 0}, {100, 95.9f, 0}};
    for (const Probe& p : box) {
        int value = 5;
        mouse(p.x, p.y, 1);
        EXPECT_EQ(BTN_check_box(100, 100, &value, "left|right{box help", 0), p.hit) << p.x << "," << p.y;
        EXPECT_EQ(value, p.hit ? 0 : 5);
    }
    int value = 0;
    mouse(100, 100, 1);
    EXPECT_EQ(BTN_check_box(100, 100, &value, "x", 0), 1);
    EXPECT_EQ(value, 1);

    // Radio buttons: clicking another one chooses it; clicking the chosen one returns 1 and
    // leaves the value alone.
    int lang = 3;
    mouse(100, 100, 1);
    EXPECT_EQ(BTN_radio_button(100, 100, &lang, 1, "French"), 1);
    EXPECT_EQ(lang, 1);
    EXPECT_EQ(BTN_radio_button(100, 100, &lang, 1, "French"), 1);
    EXPECT_EQ(lang, 1);
    EXPECT_EQ(BTN_radio_button(100, 120, &lang, 2, "German"), 0);
    EXPECT_EQ(lang, 1);

    // The close boxes of a title bar: 18 x 18 around (16, h - 10) and (w - 16, h - 10).
    open_in(800, 600, 2);
    mouse(16 + 9, 380 - 10 - 9, 1);
    EXPECT_EQ(BTN_corner_boxes(0), 1);
    mouse(700 - 16 - 9, 380 - 10 + 9, 1);
    EXPECT_EQ(BTN_corner_boxes(1), 1);
    mouse(16 + 9.5f, 370, 1);
    EXPECT_EQ(BTN_corner_boxes(0), 0);
    mouse(16, 370, 0);
    EXPECT_EQ(BTN_corner_boxes(0), 0);
    open_in(800, 600, 0);
}
