// Keyboard translation, key bindings and the focus ring. In-process: the free codes, the key
// classes and the focus rules on queues of exactly 64 entries (a write past one shows under
// AddressSanitizer). Under Xvfb with Mesa: a test program runs the real frame with three focusable
// boxes, xdotool presses and types on the US, German and Russian layouts, and the test reads the
// keys the boxes took, the frame's flags, the bindings' held state and screenshots.
#include "frame/butn.h"
#include "frame/hl_event.h"
#include "frame/hl_keyboard.h"
#include "graphics/OGL_view.h"
#include "platform/plat_window.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <memory>
#include <sstream>

namespace {

struct Queue {
    std::unique_ptr<int[]> chars{new int[64]}, keys{new int[64]}, flags{new int[64]}, ids{new int[64]};
    int count = 0;
    int reg(int id, int mask, int take = 0)
    {
        return BTN_register_focus(id, chars.get(), keys.get(), flags.get(), ids.get(), &count, 64, mask, take);
    }
};

void translate(int kind, int vk, int scan, int ch, int plain, int shifted, int mods = 0, int text_only = 0)
{
    PLAT_event ev;
    ev.kind = kind;
    ev.vk = vk;
    ev.pc_scan = scan;
    ev.ch = ch;
    ev.ch_plain = plain;
    ev.ch_shifted = shifted;
    ev.mods = mods;
    ev.text_only = text_only;
    KEY_handle_message(ev);
}

} // namespace

TEST(KeyCodes, FreeCodesKeyClassesAndAFullQueue)
{
    std::vector<int32_t> free;
    for (int c = 1; c <= 175; ++c)
        if (c <= 7 || c == 10 || c == 11 || (c >= 14 && c <= 26) || (c >= 28 && c <= 31) || (c >= 58 && c <= 64) ||
            (c >= 91 && c <= 95) || c == 108 || c >= 136)
            free.push_back(c);
    EXPECT_EQ(gKeyboard.free_codes, free);
    EXPECT_EQ(free.size(), 79u);
    EXPECT_EQ(KEY_free_code(gKeyboard, 39), 136); // the key right of L
    EXPECT_EQ(KEY_free_code(gKeyboard, 33), 91);  // the F key
    EXPECT_EQ(KEY_free_code(gKeyboard, 79), 190);
    EXPECT_STREQ(KEY_key_name_of(188), "Numpad-Enter");

    // Keys first, then characters; codes from 128 up are text without the C classifier.
    const int classes[][4] = {{8, 8, 8, 0x4},      {'-', 177, 8, 0x80}, {28, 37, 8, 0x10},     {0, 187, 8, 0x2},
                              {' ', 32, 8, 0x100}, {200, 0, 8, 0x100}, {0x1F600, 0, 8, 0x100}, {3, 67, 12, 0x200},
                              {0, 67, 8, 0x400},   {0, 112, 8, 0x400}, {'7', 103, 8, 0x40},
                              {1, 65, 12, 0x200},  {0, 45, 9, 0x200},  {0, 45, 8, 0x400}};
    for (const auto& c : classes) EXPECT_EQ(BTN_key_class(c[0], c[1], c[2]), c[3]) << c[0] << " " << c[1];

    gPopup = 0;
    Queue a;
    // A Tab release moves nothing; a widget taking Tab, and a ring of one, keep the focus.
    BTN_focus_begin_frame();
    EXPECT_EQ(a.reg(11, 0x7ff, 1), 1);
    a.reg(12, 0x3f4);
    EXPECT_EQ(BTN_handle_key(9, 9, 16), 1); // queued: 11 takes Tab
    EXPECT_EQ(BTN_handle_key(9, 9, 8), 1);
    EXPECT_EQ(gFocusId, 11);
    BTN_focus_begin_frame();
    a.reg(11, 0x7fe);
    EXPECT_EQ(BTN_handle_key(9, 9, 16), 0);
    EXPECT_EQ(BTN_handle_key(9, 9, 8 | 1), 1);
    EXPECT_EQ(gFocusId, 11);
    // The alert gets every key whatever held the focus.
    gPopup = 994;
    EXPECT_EQ(BTN_handle_key('x', 88, 8), 0);
    gPopup = 0;
    // 100 keys between two drains: the first 64 queued, the rest dropped but still taken.
    a.count = 0;
    for (int i = 0; i < 100; ++i) EXPECT_EQ(BTN_handle_key('a' + i % 26, 65 + i % 26, 8), 1) << i;
    EXPECT_EQ(a.count, 64);
    EXPECT_EQ(a.chars[63], 'a' + 63 % 26);
    EXPECT_EQ(a.ids[63], 11);

    // The fields' shared queue through the translation: a full queue raises no flag, no binding.
    BTN_focus_begin_frame();
    gFieldKeys.count = 0;
    BTN_register_focus(5, gFieldKeys.chars, gFieldKeys.keys, gFieldKeys.flags, gFieldKeys.ids, &gFieldKeys.count,
                       64, 0x3f4, 1);
    CMD_init_builtin(0);
    gKeyDelete = 0;
    for (int i = 0; i < 100; ++i) translate(PLAT_EV_KEY_DOWN, 8, 0x0E, 0, 8, 8);
    translate(PLAT_EV_KEY_DOWN, 39, 0x4D, 0, 0, 0, PLAT_MOD_SHIFT);
    EXPECT_EQ(gFieldKeys.count, 64);
    EXPECT_EQ(gKeyDelete, 0);
    EXPECT_EQ(gKeyboard.bindings[11].held, 0); // Shift+Right
    gFieldKeys.count = 0;

    // A release reports its press's character; text without a key is coded from its character
    // or 0; a character beyond U+FFFF stays whole.
    BTN_clear_focus();
    translate(PLAT_EV_KEY_DOWN, 0, 0x1E, 'A', 'a', 'A', PLAT_MOD_SHIFT);
    EXPECT_EQ(gKeyboard.last_code, 65);
    BTN_focus_begin_frame();
    a.count = 0;
    a.reg(11, 0x7fe, 1);
    translate(PLAT_EV_KEY_UP, 0, 0x1E, 'a', 'a', 'A', PLAT_MOD_SHIFT);
    translate(PLAT_EV_KEY_DOWN, 0, 0, 0x1F600, 0x1F600, 0x1F600, 0, 1);
    translate(PLAT_EV_KEY_DOWN, 0, 0, '/', '/', '/', 0, 1);
    ASSERT_EQ(a.count, 3);
    EXPECT_EQ(a.chars[0], 'A');
    EXPECT_EQ(a.flags[0], 16 | 1);
    EXPECT_EQ(a.keys[1], 0);
    EXPECT_EQ(a.chars[1], 0x1F600);
    EXPECT_EQ(a.keys[2], 184);
    BTN_clear_focus();
}

namespace {

class KeyboardX : public testing::Test {
protected:
    TS_xvfb x;
    TS_proc p;
    std::string win, dir;
    size_t mark = 0;

    void SetUp() override
    {
        ASSERT_TRUE(TS_xvfb_start(x, "1280x1024x24")) << "Xvfb did not start";
        dir = TS_new_dir("keys");
        ASSERT_TRUE(TS_start(p, {CORVANE_KEYS_PROBE_EXE}, TS_xvfb_env(x), dir));
        ASSERT_TRUE(TS_wait_for_output(p, "ready\n", 60)) << p.out << p.err;
        win = TS_find_window(x, "Hangaron", 20);
        ASSERT_FALSE(win.empty());
        // Keys go to the window under the pointer (no window manager).
        run({"xdotool", "mousemove", "--window", win, "20", "20"});
        mark = p.out.size();
    }
    void TearDown() override
    {
        if (p.pid > 0) {
            TS_close_window(x, win);
            TS_finish(p, 20);
        }
    }
    void run(const std::vector<std::string>& argv)
    {
        std::map<std::string, std::string> env = TS_xvfb_env(x);
        env["LC_ALL"] = "C.UTF-8"; // xdotool reads typed text in the locale's encoding
        TS_result r = TS_run(argv, env, 20);
        ASSERT_EQ(r.exit_code, 0) << r.err;
    }
    void keys(const std::vector<std::string>& names)
    {
        std::vector<std::string> argv = {"xdotool", "key", "--delay", "20"};
        argv.insert(argv.end(), names.begin(), names.end());
        run(argv);
    }
    // Waits until text shows after the mark; the mark then moves past it.
    bool expect(const std::string& text) { return TS_wait_after(p, mark, text, 15); }
    // Presses each key and expects box 101's record of its press: "CHAR CODE FLAGS".
    void press_expect(const std::vector<std::pair<std::string, std::string>>& cases)
    {
        for (const auto& c : cases) {
            keys({c.first});
            std::istringstream in(c.second);
            std::string ch, code, flags;
            in >> ch >> code >> flags;
            EXPECT_TRUE(expect("key 101 ch=" + ch + " code=" + code + " flags=" + flags + "\n"))
                << c.first << "\n" << p.out.substr(mark);
        }
    }
    // The box (0, 1, 2) drawn filled, -1 for none, -2 for more than one.
    int filled_box(const std::string& name)
    {
        const TS_shot s = TS_screenshot(x, dir + name + ".png", 800, 600);
        if (!s.ok()) return -3;
        int found = -1;
        for (int b = 0; b < 3; ++b) {
            int marked = 0;
            for (int y = 410; y < 450; ++y)
                for (int ux = 110 + 240 * b; ux < 210 + 240 * b; ++ux) marked += s.ui(ux, y) != "51,76,102";
            if (marked == 4000) found = found == -1 ? b : -2;
            else EXPECT_EQ(marked, 0) << name << " box " << b;
        }
        return found;
    }
};

} // namespace

TEST_F(KeyboardX, CodesCharactersAndFlagsOnThreeLayouts)
{
    keys({"Tab"});
    ASSERT_TRUE(expect("focus 101\n"));
    // Box 101 takes every key but Tab, so it shows what the translation made of each; nothing it
    // took raises a frame flag.
    press_expect({{"a", "97 65 8"},          {"shift+z", "90 90 9"},     {"5", "53 53 8"},
                  {"equal", "61 176 8"},     {"minus", "45 177 8"},      {"bracketright", "93 178 8"},
                  {"bracketleft", "91 179 8"}, {"apostrophe", "39 180 8"}, {"semicolon", "59 181 8"},
                  {"backslash", "92 182 8"}, {"comma", "44 183 8"},      {"slash", "47 184 8"},
                  {"period", "46 185 8"},    {"grave", "96 186 8"},      {"space", "32 32 8"},
                  {"Return", "13 13 8"},     {"Escape", "27 27 8"},      {"BackSpace", "8 8 8"},
                  {"Delete", "0 46 8"},      {"Home", "0 36 8"},         {"End", "0 35 8"},
                  {"Prior", "0 33 8"},       {"Next", "0 34 8"},         {"Left", "28 37 8"},
                  {"Up", "30 38 8"},         {"Right", "29 39 8"},       {"Down", "31 40 8"},
                  {"ctrl+c", "3 67 12"},     {"ctrl+v", "22 86 12"},     {"ctrl+x", "24 88 12"},
                  {"F1", "0 112 8"},         {"F9", "0 120 8"},          {"F11", "0 122 8"},
                  {"F12", "0 123 8"}});
    // The keypad's digits with Num Lock; its navigation keys without.
    keys({"Num_Lock"});
    press_expect({{"KP_Insert", "48 96 8"}, {"KP_End", "49 97 8"},   {"KP_Down", "50 98 8"}, {"KP_Next", "51 99 8"},
                  {"KP_Left", "52 100 8"},  {"KP_Begin", "53 101 8"}, {"KP_Right", "54 102 8"},
                  {"KP_Home", "55 103 8"},  {"KP_Up", "56 104 8"},    {"KP_Prior", "57 105 8"},
                  {"KP_Delete", "46 110 8"}});
    keys({"Num_Lock"});
    press_expect({{"KP_End", "0 35 8"}});
    EXPECT_TRUE(expect("key 101 ch=0 code=35 flags=16\n"));

    // Shift alone, F10 and Alt keys give nothing (the Alt+q release comes after Alt's).
    const size_t before = mark;
    keys({"shift", "F10", "alt+q", "shift+a"});
    EXPECT_TRUE(expect("key 101 ch=65 code=65 flags=9\n"));
    EXPECT_EQ(p.out.substr(before, mark - before), "key 101 ch=113 code=81 flags=16\nkey 101 ch=65 code=65 flags=9\n");

    // A held key: the first press carries 8, the repeats nothing, the release 16.
    run({"xdotool", "keydown", "b"});
    EXPECT_TRUE(expect("key 101 ch=98 code=66 flags=8\n"));
    EXPECT_TRUE(expect("key 101 ch=98 code=66 flags=0\nkey 101 ch=98 code=66 flags=0\n"));
    run({"xdotool", "keyup", "b"});
    EXPECT_TRUE(expect("key 101 ch=98 code=66 flags=16\n"));

    // Accented and Cyrillic text on a layout without those keys: characters without a key. Each
    // goes on a spare key that the program knows no key for, and stays there until the program
    // has taken it (xdotool type binds a spare key for a moment only).
    for (const auto& [sym, ch] : {std::pair<std::string, std::string>{"eacute", "233"}, {"Cyrillic_zhe", "1078"}}) {
        run({"xmodmap", "-display", x.display, "-e", "keycode 202 = " + sym});
        keys({sym});
        EXPECT_TRUE(expect("key 101 ch=" + ch + " code=0 flags=8\n")) << sym << "\n" << p.out.substr(mark);
    }

    // German: the key right of L types ö with the free code of scan code 39; Y and Z swap;
    // AltGr+Q types @ as Ctrl+Alt. Russian: that key is ж, the F key's "а" 91.
    run({"setxkbmap", "-display", x.display, "de"});
    press_expect({{"odiaeresis", "246 136 8"}, {"z", "122 90 8"}, {"at", "64 81 14"}});
    // The first code in the list that either character names: ',' shifts to ';', ';' to '.'.
    press_expect({{"comma", "44 181 8"}, {"7", "55 184 8"}, {"0", "48 176 8"}});
    run({"setxkbmap", "-display", x.display, "fr"});
    press_expect({{"semicolon", "59 185 8"}});
    run({"setxkbmap", "-display", x.display, "ru"});
    press_expect({{"Cyrillic_zhe", "1078 136 8"}, {"Cyrillic_a", "1072 91 8"}});
    run({"setxkbmap", "-display", x.display, "us"});
    press_expect({{"semicolon", "59 181 8"}});
    EXPECT_EQ(TS_count(p.out, "enter\n") + TS_count(p.out, "escape\n") + TS_count(p.out, "delete\n"), 0) << p.out;
}

TEST_F(KeyboardX, BindingsPopupsAndTheFocusRing)
{
    EXPECT_NE(p.out.find("bindings 26: 32/1 32/4 37/0 39/0 38/0 40/0 185/0 183/0 176/0 177/0 37/1 39/1 38/1 40/1 "
                         "185/1 183/1 176/1 177/1 82/0 70/0 81/0 69/0 82/1 70/1 81/1 69/1\n"),
              std::string::npos)
        << p.out;
    EXPECT_EQ(filled_box("none"), -1);

    // Shift+Space holds the screenshot binding; its release clears it, also after Shift went up.
    run({"xdotool", "keydown", "shift", "keydown", "space"});
    EXPECT_TRUE(expect("held 0=1\n"));
    run({"xdotool", "keyup", "space", "keyup", "shift"});
    EXPECT_TRUE(expect("held 0=0\n"));
    run({"xdotool", "keydown", "shift", "keydown", "space", "keyup", "shift"});
    EXPECT_TRUE(expect("held 0=1\n"));
    run({"xdotool", "keyup", "space"});
    EXPECT_TRUE(expect("held 0=0\n"));
    keys({"ctrl+space", "shift+Left"});
    EXPECT_TRUE(expect("held 1=1\nheld 1=0\n"));
    EXPECT_TRUE(expect("held 10=1\nheld 10=0\n"));

    // Popup 999 changes no binding; Escape closes popup 2 and only flags 994.
    keys({"alt+3"});
    ASSERT_TRUE(expect("popup 999\n"));
    keys({"shift+space", "alt+1"});
    ASSERT_TRUE(expect("popup 2\n"));
    keys({"Escape"});
    ASSERT_TRUE(expect("popup 0\n"));
    keys({"alt+2"});
    ASSERT_TRUE(expect("popup 994\n"));
    keys({"Escape"});
    EXPECT_TRUE(expect("escape\n"));
    keys({"alt+0"});
    ASSERT_TRUE(expect("popup 0\n"));
    EXPECT_EQ(TS_count(p.out, "popup 994\n"), 1);
    EXPECT_EQ(TS_count(p.out, "held 0=1"), 2) << p.out;

    // Tab walks the ring in drawing order and wraps both ways.
    keys({"Tab"});
    ASSERT_TRUE(expect("focus 101\n"));
    EXPECT_EQ(filled_box("tab-1"), 0);
    keys({"Tab"});
    ASSERT_TRUE(expect("focus 102\n"));
    EXPECT_EQ(filled_box("tab-2"), 1);
    // Box 102 takes what a text field takes: Delete (no flag), not Return (the flag).
    keys({"Delete"});
    EXPECT_TRUE(expect("key 102 ch=0 code=46 flags=8\n"));
    keys({"Return"}); // in one frame with the Delete it would wait until the box had drawn that
    EXPECT_TRUE(expect("enter\n"));
    keys({"Tab", "Tab"});
    ASSERT_TRUE(expect("focus 103\nfocus 101\n"));
    EXPECT_EQ(filled_box("tab-wrapped"), 0);
    keys({"shift+Tab"});
    ASSERT_TRUE(expect("focus 103\n"));
    EXPECT_EQ(filled_box("shift-tab-wrapped"), 2);
    // A click clears the focus; Shift+Tab then takes the first.
    run({"xdotool", "click", "1"});
    ASSERT_TRUE(expect("focus 0\n"));
    EXPECT_EQ(filled_box("clicked"), -1);
    keys({"shift+Tab"});
    ASSERT_TRUE(expect("focus 101\n"));
    EXPECT_EQ(filled_box("shift-tab-first"), 0);
    // A focused box that is no longer drawn loses the focus on the next key.
    keys({"shift+Tab", "alt+h"});
    ASSERT_TRUE(expect("focus 103\nhidden\n")); // drawn without it before the next key comes
    keys({"x"});
    ASSERT_TRUE(expect("focus 0\n"));
    EXPECT_EQ(filled_box("hidden"), -1);
    EXPECT_EQ(TS_count(p.out, "delete\n"), 0);
}
