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

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <thread>

namespace {

struct Queue {
    std::unique_ptr<int[]> chars{new int[64]}, keys{new int[64]}, flags{new int[64]}, ids{new int[64]};
    int count = 0;
    int reg(int id, int mask, int take = 0)
    {
        return BTN_register_focus(id, chars.get(), keys.get(), flags.get(), ids.get(), &count, 64, mask, take);
    }
};

PLAT_event key_event(int kind, int vk, int scan, int ch, int plain, int shifted, int mods = 0)
{
    PLAT_event ev;
    ev.kind = kind;
    ev.vk = vk;
    ev.pc_scan = scan;
    ev.ch = ch;
    ev.ch_plain = plain;
    ev.ch_shifted = shifted;
    ev.mods = mods;
    return ev;
}

} // namespace

TEST(KeyCodes, FreeCodesKeyClassesAndTheFocusRules)
{
    // 79 free codes in increasing order; scan codes from 79 on continue behind the table's 189.
    const std::vector<int32_t>& f = gKeyboard.free_codes;
    ASSERT_EQ(f.size(), 79u);
    EXPECT_EQ(gKeyboard.highest_code, 189);
    const std::vector<int32_t> head = {1, 2, 3, 4, 5, 6, 7, 10, 11, 14};
    EXPECT_EQ(std::vector<int32_t>(f.begin(), f.begin() + 10), head);
    EXPECT_EQ(f[21], 26);
    EXPECT_EQ(f[22], 28);
    EXPECT_EQ(f[26], 58);
    EXPECT_EQ(f[33], 91);
    EXPECT_EQ(f[38], 108);
    EXPECT_EQ(f[78], 175);
    EXPECT_EQ(KEY_free_code(gKeyboard, 39), 136); // the key right of L
    EXPECT_EQ(KEY_free_code(gKeyboard, 33), 91);  // the F key
    EXPECT_EQ(KEY_free_code(gKeyboard, 79), 190);
    EXPECT_EQ(KEY_free_code(gKeyboard, 0x7D), 236);
    EXPECT_STREQ(KEY_key_name_of(188), "Numpad-Enter");
    EXPECT_EQ(KEY_key_name_of(136), nullptr);

    // Classes: keys first, then characters; codes from 128 up are text without the C classifier.
    EXPECT_EQ(BTN_key_class(8, 8, 8), 0x4);
    EXPECT_EQ(BTN_key_class('-', 177, 8), 0x80);
    EXPECT_EQ(BTN_key_class(28, 37, 8), 0x10);
    EXPECT_EQ(BTN_key_class(0, 187, 8), 0x2);
    EXPECT_EQ(BTN_key_class(' ', 32, 8), 0x100);
    EXPECT_EQ(BTN_key_class(200, 0, 8), 0x100);
    EXPECT_EQ(BTN_key_class(0x1F600, 0, 8), 0x100);
    EXPECT_EQ(BTN_key_class(3, 67, 12), 0x200);
    EXPECT_EQ(BTN_key_class(0, 67, 8), 0x400);
    EXPECT_EQ(BTN_key_class(0, 112, 8), 0x400);

    gPopup = 0;
    Queue a, b;
    // No focus: Shift+Tab takes the first of the ring; a Tab release is never a move.
    BTN_focus_begin_frame();
    BTN_clear_focus();
    a.reg(11, 0x3f4);
    b.reg(12, 0x3f4);
    EXPECT_EQ(BTN_handle_key(9, 9, 16 | 1), 0);
    EXPECT_EQ(BTN_handle_key(9, 9, 8 | 1), 1);
    EXPECT_EQ(gFocusId, 11);
    EXPECT_EQ(BTN_handle_key(9, 9, 8 | 1), 1); // wraps back to the last
    EXPECT_EQ(gFocusId, 12);
    EXPECT_EQ(BTN_handle_key(13, 13, 8), 0); // a field leaves Return to the popup
    // The alert gets every key whatever held the focus.
    gPopup = 994;
    EXPECT_EQ(BTN_handle_key('x', 88, 8), 0);
    gPopup = 0;

    // A widget that takes Tab keeps the focus on Tab; a ring of one keeps it too.
    BTN_focus_begin_frame();
    a.reg(11, 0x7ff);
    EXPECT_EQ(a.reg(12, 0x3f4), 1);
    EXPECT_EQ(BTN_handle_key(9, 9, 8), 1);
    EXPECT_EQ(gFocusId, 11);
    BTN_focus_begin_frame();
    EXPECT_EQ(a.reg(11, 0x7fe), 1);
    EXPECT_EQ(BTN_handle_key(9, 9, 8), 1);
    EXPECT_EQ(gFocusId, 11);
    // 100 keys between two drains: the first 64 queued, the rest dropped but still taken.
    a.count = 0;
    for (int i = 0; i < 100; ++i) EXPECT_EQ(BTN_handle_key('a' + i % 26, 65 + i % 26, 8), 1) << i;
    EXPECT_EQ(a.count, 64);
    EXPECT_EQ(a.chars[63], 'a' + 63 % 26);
    EXPECT_EQ(a.ids[63], 11);
    // The shared field queue the same way, through the translation: no flag, no binding.
    BTN_focus_begin_frame();
    gFieldKeys.count = 0;
    BTN_register_focus(5, gFieldKeys.chars, gFieldKeys.keys, gFieldKeys.flags, gFieldKeys.ids, &gFieldKeys.count,
                       64, 0x3f4, 1);
    CMD_init_builtin(0);
    gKeyDelete = 0;
    for (int i = 0; i < 100; ++i) KEY_handle_message(key_event(PLAT_EV_KEY_DOWN, 8, 0x0E, 0, 8, 8));
    EXPECT_EQ(gFieldKeys.count, 64);
    EXPECT_EQ(gKeyDelete, 0);
    KEY_handle_message(key_event(PLAT_EV_KEY_DOWN, 39 /*Right*/, 0x4D, 0, 0, 0, PLAT_MOD_SHIFT));
    EXPECT_EQ(gKeyboard.bindings[11].held, 0); // taken by the full queue: no binding
    gFieldKeys.count = 0;

    // A widget no longer drawn loses the focus on the next key, which then goes on as unfocused.
    BTN_focus_begin_frame();
    EXPECT_EQ(BTN_handle_key('x', 88, 8), 0);
    EXPECT_EQ(gFocusId, 0);

    // Translation without a widget: a release reports its press's character; text without a key
    // is coded from its character or 0; a character beyond U+FFFF stays whole.
    KEY_handle_message(key_event(PLAT_EV_KEY_DOWN, 0, 0x1E, 'A', 'a', 'A', PLAT_MOD_SHIFT));
    EXPECT_EQ(gKeyboard.last_code, 65);
    EXPECT_EQ(gKeyboard.last_char, 'A');
    EXPECT_EQ(gKeyboard.last_mods, 1);
    BTN_focus_begin_frame();
    a.count = 0;
    EXPECT_EQ(a.reg(11, 0x7fe, 1), 1);
    KEY_handle_message(key_event(PLAT_EV_KEY_UP, 0, 0x1E, 'a', 'a', 'A', PLAT_MOD_SHIFT));
    PLAT_event text = key_event(PLAT_EV_KEY_DOWN, 0, 0, 0x1F600, 0x1F600, 0x1F600);
    text.text_only = 1;
    KEY_handle_message(text);
    text.ch = text.ch_plain = text.ch_shifted = '/';
    KEY_handle_message(text);
    ASSERT_EQ(a.count, 3);
    EXPECT_EQ(a.chars[0], 'A');
    EXPECT_EQ(a.flags[0], 16 | 1);
    EXPECT_EQ(a.keys[1], 0);
    EXPECT_EQ(a.chars[1], 0x1F600);
    EXPECT_EQ(a.keys[2], 184);
    BTN_clear_focus();
}

namespace {

std::map<std::string, std::string> env_for(const TS_xvfb& x)
{
    return {{"DISPLAY", x.display}, {"WAYLAND_DISPLAY", ""}, {"LIBGL_ALWAYS_SOFTWARE", "1"}, {"SDL_VIDEODRIVER", ""}};
}

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
        ASSERT_TRUE(TS_start(p, {CORVANE_KEYS_PROBE_EXE}, env_for(x), dir));
        ASSERT_TRUE(TS_wait_for_output(p, "ready\n", 60)) << p.out << p.err;
        TS_result r = TS_run({"xdotool", "search", "--name", "Hangaron"}, env_for(x), 20);
        std::istringstream in(r.out);
        in >> win;
        ASSERT_FALSE(win.empty());
        // Keys go to the window under the pointer (no window manager).
        run({"xdotool", "mousemove", "--window", win, "20", "20"});
        mark = p.out.size();
    }
    void TearDown() override
    {
        if (p.pid > 0) {
            TS_run({CORVANE_X_CLOSE_EXE, win}, env_for(x), 20);
            TS_finish(p, 20);
        }
    }
    void run(const std::vector<std::string>& argv)
    {
        TS_result r = TS_run(argv, env_for(x), 20);
        ASSERT_EQ(r.exit_code, 0) << r.err;
    }
    void keys(const std::vector<std::string>& names)
    {
        std::vector<std::string> argv = {"xdotool", "key", "--delay", "20"};
        argv.insert(argv.end(), names.begin(), names.end());
        run(argv);
    }
    void layout(const std::string& name) { run({"setxkbmap", "-display", x.display, name}); }
    // Waits until text shows after the mark; the mark then moves past it.
    bool expect(const std::string& text, double timeout_s = 15)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds((long)(timeout_s * 1000));
        for (;;) {
            size_t at = p.out.find(text, mark);
            if (at != std::string::npos) {
                mark = at + text.size();
                return true;
            }
            if (std::chrono::steady_clock::now() > deadline) return false;
            TS_wait_for_output(p, "\x01never", 0.1);
        }
    }
    // The box (0, 1, 2) drawn filled, -1 for none, -2 for more than one.
    int filled_box(const std::string& name)
    {
        const std::string png = dir + name + ".png";
        TS_result r = TS_run({"import", "-window", win, png}, env_for(x), 60);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        TS_result c = TS_run({"convert", png, "-depth", "8", "rgb:" + dir + name + ".rgb"}, {}, 60);
        EXPECT_EQ(c.exit_code, 0) << c.err;
        const std::string rgb = TS_read_file(dir + name + ".rgb");
        if (rgb.size() != (size_t)800 * 600 * 3) return -3;
        int found = -1;
        const int xs[3] = {100, 340, 580};
        for (int b = 0; b < 3; ++b) {
            int marked = 0;
            for (int y = 410; y < 450; ++y)
                for (int x0 = xs[b] + 10; x0 < xs[b] + 110; ++x0) {
                    const size_t o = ((size_t)(599 - y) * 800 + x0) * 3;
                    marked += !((unsigned char)rgb[o] == 51 && (unsigned char)rgb[o + 1] == 76 &&
                                (unsigned char)rgb[o + 2] == 102);
                }
            if (marked > 3900) found = found == -1 ? b : -2;
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
    // Box 101 takes every key but Tab, so it reports what the translation made of each.
    struct {
        const char* key;
        const char* down; // "ch=C code=K flags=F" of the key-down
    } cases[] = {
        {"a", "ch=97 code=65 flags=8"},        {"shift+z", "ch=90 code=90 flags=9"},
        {"5", "ch=53 code=53 flags=8"},        {"equal", "ch=61 code=176 flags=8"},
        {"minus", "ch=45 code=177 flags=8"},   {"bracketright", "ch=93 code=178 flags=8"},
        {"bracketleft", "ch=91 code=179 flags=8"}, {"apostrophe", "ch=39 code=180 flags=8"},
        {"semicolon", "ch=59 code=181 flags=8"}, {"backslash", "ch=92 code=182 flags=8"},
        {"comma", "ch=44 code=183 flags=8"},   {"slash", "ch=47 code=184 flags=8"},
        {"period", "ch=46 code=185 flags=8"},  {"grave", "ch=96 code=186 flags=8"},
        {"space", "ch=32 code=32 flags=8"},    {"Return", "ch=13 code=13 flags=8"},
        {"Escape", "ch=27 code=27 flags=8"},   {"BackSpace", "ch=8 code=8 flags=8"},
        {"Delete", "ch=0 code=46 flags=8"},    {"Home", "ch=0 code=36 flags=8"},
        {"End", "ch=0 code=35 flags=8"},       {"Prior", "ch=0 code=33 flags=8"},
        {"Next", "ch=0 code=34 flags=8"},      {"Left", "ch=28 code=37 flags=8"},
        {"Up", "ch=30 code=38 flags=8"},       {"Right", "ch=29 code=39 flags=8"},
        {"Down", "ch=31 code=40 flags=8"},     {"ctrl+c", "ch=3 code=67 flags=12"},
        {"ctrl+v", "ch=22 code=86 flags=12"},  {"ctrl+x", "ch=24 code=88 flags=12"},
    };
    for (const auto& c : cases) {
        keys({c.key});
        EXPECT_TRUE(expect(std::string("key 101 ") + c.down + "\n")) << c.key << "\n" << p.out.substr(mark);
    }
    for (int i = 1; i <= 12; ++i) {
        if (i == 10) continue;
        keys({"F" + std::to_string(i)});
        EXPECT_TRUE(expect("key 101 ch=0 code=" + std::to_string(111 + i) + " flags=8\n")) << i;
    }
    // The keypad's digits with Num Lock; its navigation keys without.
    keys({"Num_Lock"});
    for (int d = 0; d <= 9; ++d) {
        static const char* const kPad[10] = {"KP_Insert", "KP_End",  "KP_Down", "KP_Next",  "KP_Left",
                                             "KP_Begin",  "KP_Right", "KP_Home", "KP_Up", "KP_Prior"};
        keys({kPad[d]});
        EXPECT_TRUE(expect("key 101 ch=" + std::to_string('0' + d) + " code=" + std::to_string(96 + d) + " flags=8\n"))
            << d << p.out.substr(mark);
    }
    keys({"Num_Lock", "KP_End"});
    EXPECT_TRUE(expect("key 101 ch=0 code=35 flags=8\n"));
    EXPECT_TRUE(expect("key 101 ch=0 code=35 flags=16\n"));

    // Shift alone, F10 and Alt keys give nothing; a release reports its press's character.
    const size_t before = mark;
    keys({"shift", "F10", "alt+q", "shift+a"});
    EXPECT_TRUE(expect("key 101 ch=65 code=65 flags=9\n"));
    const std::string between = p.out.substr(before, mark - before);
    EXPECT_EQ(TS_count(between, "key 101"), 2) << between; // the Alt+q release, then A's press
    EXPECT_NE(between.find("ch=113 code=81 flags=16"), std::string::npos) << between;

    // A held key: the first press carries 8, the repeats nothing, the release 16.
    run({"xdotool", "keydown", "b"});
    EXPECT_TRUE(expect("key 101 ch=98 code=66 flags=8\n"));
    EXPECT_TRUE(expect("key 101 ch=98 code=66 flags=0\n"));
    EXPECT_TRUE(expect("key 101 ch=98 code=66 flags=0\n"));
    run({"xdotool", "keyup", "b"});
    EXPECT_TRUE(expect("key 101 ch=98 code=66 flags=16\n"));

    // Accented and Cyrillic text on a layout without those keys: characters without a key.
    // xdotool reads its text in the locale's encoding.
    std::map<std::string, std::string> env = env_for(x);
    env["LC_ALL"] = "C.UTF-8";
    TS_result typed = TS_run({"xdotool", "type", "--delay", "30", "éж"}, env, 20);
    EXPECT_EQ(typed.exit_code, 0) << typed.err;
    EXPECT_TRUE(expect("key 101 ch=233 code=0 flags=8\n")) << p.out.substr(mark);
    EXPECT_TRUE(expect("key 101 ch=1078 code=0 flags=8\n")) << p.out.substr(mark);

    // German: the key right of L types ö and gets the free code of scan code 39; Y and Z swap;
    // AltGr+Q types @ as Ctrl+Alt.
    layout("de");
    keys({"odiaeresis", "z", "at"});
    EXPECT_TRUE(expect("key 101 ch=246 code=136 flags=8\n")) << p.out.substr(mark);
    EXPECT_TRUE(expect("key 101 ch=122 code=90 flags=8\n")) << p.out.substr(mark);
    EXPECT_TRUE(expect("key 101 ch=64 code=81 flags=14\n")) << p.out.substr(mark);
    // Russian: the same key is ж with the same free code; the F key's "а" is 91.
    layout("ru");
    keys({"Cyrillic_zhe", "Cyrillic_a"});
    EXPECT_TRUE(expect("key 101 ch=1078 code=136 flags=8\n")) << p.out.substr(mark);
    EXPECT_TRUE(expect("key 101 ch=1072 code=91 flags=8\n")) << p.out.substr(mark);
    layout("us");
    keys({"semicolon"});
    EXPECT_TRUE(expect("key 101 ch=59 code=181 flags=8\n")) << p.out.substr(mark);
    // Nothing a box took raised a frame flag.
    EXPECT_EQ(TS_count(p.out, "enter\n") + TS_count(p.out, "escape\n") + TS_count(p.out, "delete\n"), 0) << p.out;
}

TEST_F(KeyboardX, BindingsPopupsAndTheFocusRing)
{
    // The 26 default bindings in the table's order.
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
    EXPECT_TRUE(expect("held 1=1\n"));
    EXPECT_TRUE(expect("held 1=0\n"));
    EXPECT_TRUE(expect("held 10=1\n"));
    EXPECT_TRUE(expect("held 10=0\n"));

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
    EXPECT_EQ(TS_count(p.out, "held 0=1"), 2) << p.out; // none from under popup 999

    // Tab walks the ring in drawing order and wraps both ways.
    keys({"Tab"});
    ASSERT_TRUE(expect("focus 101\n"));
    EXPECT_EQ(filled_box("tab-1"), 0);
    keys({"Tab"});
    ASSERT_TRUE(expect("focus 102\n"));
    EXPECT_EQ(filled_box("tab-2"), 1);
    // Box 102 takes what a text field takes: Delete yes (no flag), Return no (the flag).
    keys({"Delete", "Return"});
    EXPECT_TRUE(expect("key 102 ch=0 code=46 flags=8\n"));
    EXPECT_TRUE(expect("enter\n"));
    keys({"Tab"});
    ASSERT_TRUE(expect("focus 103\n"));
    keys({"Tab"});
    ASSERT_TRUE(expect("focus 101\n"));
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
    keys({"shift+Tab"});
    ASSERT_TRUE(expect("focus 103\n"));
    keys({"alt+h"});
    keys({"x"});
    ASSERT_TRUE(expect("focus 0\n"));
    EXPECT_EQ(filled_box("hidden"), -1);
    EXPECT_EQ(TS_count(p.out, "delete\n"), 0);
}
