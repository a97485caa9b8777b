// The text field in the real window under Xvfb with Mesa: a test program draws the preferences
// window's two fields and a narrow one in popup 2; xdotool types, moves, clicks and drags, xclip
// reads and fills the X clipboard, and the test checks the caller's strings byte by byte and the
// screen pixel by pixel.
#include "support/test_support.h"

#include <chrono>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <thread>

namespace {

std::string hex(const std::string& s)
{
    static const char* d = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out += d[c >> 4];
        out += d[c & 15];
    }
    return out.empty() ? "-" : out;
}

std::string unhex(const std::string& h)
{
    std::string out;
    if (h == "-") return out;
    for (size_t i = 0; i + 1 < h.size(); i += 2) out += (char)std::stoi(h.substr(i, 2), nullptr, 16);
    return out;
}

const int kHostId = 85 * 8192 + 40, kPortId = 85 * 8192 + 20, kNarrowId = 85 * 8192 + 200;
const std::string kZhe = "\xD0\x96", kzhe = "\xD0\xB6", kEacute = "\xC3\xA9";

class TextField : public testing::Test {
protected:
    TS_xvfb x;
    TS_proc p;
    std::string dir;
    int ox = 0, oy = 0; // popup 2's origin in the window, which lies at the screen's corner
    int c66[3] = {0, 0, 0};
    int syncs = 0, holds = 0;
    size_t mark = 0;

    void SetUp() override
    {
        ASSERT_TRUE(TS_xvfb_start(x, "1280x1024x24")) << "Xvfb did not start";
        dir = TS_new_dir("field");
        // The Polish layout, whose AltGr (the third level) types ą, ć, ź and „ on A, C, X and V;
        // it types ASCII as the US layout does.
        TS_result r = TS_run({"setxkbmap", "pl"}, TS_xvfb_env(x), 30);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        // Keys for é and Ж before the program starts: xdotool would otherwise remap a spare key
        // for each such character while it types, and a busy program could read a key press
        // with the map already changed for the next one.
        r = TS_run({"xmodmap", "-e", "keycode 192 = eacute Eacute", "-e", "keycode 193 = Cyrillic_zhe Cyrillic_ZHE"},
                   TS_xvfb_env(x), 30);
        ASSERT_EQ(r.exit_code, 0) << r.err;
    }
    void TearDown() override
    {
        if (p.pid > 0) {
            xdo({"key", "Escape"});
            TS_finish(p, 30);
        }
    }

    void start(const std::string& host, const std::string& port, const std::string& narrow)
    {
        auto env = TS_xvfb_env(x);
        env["FIELD_HOST"] = hex(host);
        env["FIELD_PORT"] = hex(port);
        env["FIELD_NARROW"] = hex(narrow);
        ASSERT_TRUE(TS_start(p, {CORVANE_FIELD_PROBE_EXE}, env, dir));
        ASSERT_TRUE(TS_wait_for_output(p, " c66=", 60)) << p.out << p.err;
        ASSERT_TRUE(TS_wait_for_output(p, "\n", 5));
        const size_t at = p.out.find("ready popup=");
        ASSERT_EQ(sscanf(p.out.c_str() + at, "ready popup=%d,%d c54=%*d,%*d,%*d c66=%d,%d,%d", &ox, &oy, &c66[0],
                         &c66[1], &c66[2]),
                  5)
            << p.out;
        mark = p.out.size();
        move(300, 300);
    }

    void xdo(const std::vector<std::string>& args)
    {
        std::vector<std::string> argv = {"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        auto env = TS_xvfb_env(x);
        env["LC_ALL"] = "C.UTF-8"; // xdotool reads typed text in the locale's encoding
        TS_result r = TS_run(argv, env, 30);
        EXPECT_EQ(r.exit_code, 0) << r.err;
    }
    void key(const std::string& k) { xdo({"key", "--delay", "20", k}); }
    void type(const std::string& text) { xdo({"type", "--delay", "20", text}); }
    // Popup point (ux, uy) is screen (ox + ux, 599 - oy - uy); the pointer first moves beside it,
    // so the window sees a move even when it already was there.
    void move(int ux, int uy)
    {
        const int sx = ox + ux, sy = 599 - oy - uy;
        xdo({"mousemove", std::to_string(sx + 1), std::to_string(sy)});
        xdo({"mousemove", std::to_string(sx), std::to_string(sy)});
    }
    void click(int ux, int uy)
    {
        move(ux, uy);
        xdo({"click", "1"});
    }

    // Everything typed so far has reached the fields: the program answers F12 after the
    // frame's fields have taken the keys that came before it.
    std::string sync()
    {
        key("F12");
        const std::string line = "sync " + std::to_string(++syncs) + "\n";
        EXPECT_TRUE(TS_wait_for_output(p, line, 30)) << p.out;
        const std::string news = p.out.substr(mark);
        mark = p.out.size();
        return news;
    }
    // What is sent next comes in one frame: the program holds its next pump for a second.
    void hold()
    {
        key("F3");
        EXPECT_TRUE(TS_wait_for_output(p, "hold " + std::to_string(++holds) + "\n", 30)) << p.out;
    }
    // The fields' strings and the focus after a sync.
    std::map<std::string, std::string> state()
    {
        sync();
        std::map<std::string, std::string> m;
        const size_t at = p.out.rfind("state focus=");
        if (at == std::string::npos) return m;
        std::istringstream in(p.out.substr(at, p.out.find('\n', at) - at));
        std::string word;
        in >> word;
        while (in >> word) {
            const size_t eq = word.find('=');
            m[word.substr(0, eq)] = word.substr(eq + 1);
        }
        m["host"] = unhex(m["host"]);
        m["port"] = unhex(m["port"]);
        m["narrow"] = unhex(m["narrow"]);
        return m;
    }
    std::string host() { return state()["host"]; }
    std::string port() { return state()["port"]; }
    std::string narrow() { return state()["narrow"]; }
    int focus() { return std::stoi(state()["focus"]); }

    // The CLIPBOARD selection as xclip reads it (the program answers from its frames).
    std::string clip_out() { return TS_run({"xclip", "-o", "-selection", "clipboard"}, TS_xvfb_env(x), 30).out; }
    // xclip takes the CLIPBOARD with these bytes and keeps serving them in the background; its
    // child takes it after the parent has ended, so the bytes are there once xclip reads them.
    void clip_in(const std::string& bytes)
    {
        TS_write_file(dir + "clip.bin", bytes);
        TS_sh("DISPLAY=" + x.display + " xclip -selection clipboard -i '" + dir + "clip.bin' >/dev/null 2>&1");
        std::string got;
        for (int i = 0; i < 100 && (got = clip_out()) != bytes; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(got, bytes);
    }

    TS_shot shot(const std::string& name) { return TS_screenshot(x, dir + name + ".png", 800, 600); }
    // The pixel at popup point (ux, uy).
    void px(const TS_shot& s, int ux, int uy, int c[3]) { s.rgb_at(ox + ux, 599 - oy - uy, c); }
    std::string pxs(const TS_shot& s, int ux, int uy) { return s.at(ox + ux, 599 - oy - uy); }
    // Pixels of colour 66 in the popup box (x0, y0)-(x1, y1), ends included, and their columns.
    int selected(const TS_shot& s, int x0, int y0, int x1, int y1, int* left = nullptr, int* right = nullptr)
    {
        int n = 0;
        if (left) *left = 9999;
        if (right) *right = -1;
        for (int yy = y0; yy <= y1; ++yy)
            for (int xx = x0; xx <= x1; ++xx) {
                int c[3];
                px(s, xx, yy, c);
                if (abs(c[0] - c66[0]) <= 2 && abs(c[1] - c66[1]) <= 2 && abs(c[2] - c66[2]) <= 2) {
                    ++n;
                    if (left && xx < *left) *left = xx;
                    if (right && xx > *right) *right = xx;
                }
            }
        return n;
    }
    // Pixels that differ between two shots in the popup box.
    int differ(const TS_shot& a, const TS_shot& b, int x0, int y0, int x1, int y1)
    {
        int n = 0;
        for (int yy = y0; yy <= y1; ++yy)
            for (int xx = x0; xx <= x1; ++xx) n += pxs(a, xx, yy) != pxs(b, xx, yy);
        return n;
    }
};

} // namespace

// Typing ASCII, accented and Cyrillic text, Backspace over two-byte characters, Left and Right,
// Shift+arrows, copy, cut and paste through the X clipboard, Tab selecting a whole field, and
// the length limit with a Cyrillic character at it.
TEST_F(TextField, TypingMovingSelectingClipboardAndTheLimit)
{
    start("", "8080", "");
    // The host field asks for the focus and gets it; the port field, drawn after it, does not.
    EXPECT_EQ(focus(), kHostId);

    // Nothing on the clipboard: a paste changes nothing and reports no change.
    key("ctrl+v");
    std::string news = sync();
    EXPECT_EQ(news.find("changed"), std::string::npos) << news;

    type("ab" + kEacute + kZhe + kzhe);
    EXPECT_EQ(host(), "ab" + kEacute + kZhe + kzhe);
    key("BackSpace");
    EXPECT_EQ(host(), "ab" + kEacute + kZhe);
    key("Left");
    key("Left");
    type("X");
    EXPECT_EQ(host(), "abX" + kEacute + kZhe);
    key("Right");
    key("shift+Right");
    type("Y");
    EXPECT_EQ(host(), "abX" + kEacute + "Y");
    EXPECT_EQ(port(), "8080");

    // Shift+Left twice selects "éY"; copy puts its UTF-8 bytes on the X clipboard.
    key("shift+Left");
    key("shift+Left");
    key("ctrl+c");
    sync();
    EXPECT_EQ(clip_out(), kEacute + "Y");
    // The selection shows in colour 66 over the host field's line only, from after "abX"; as it
    // reaches the end of the line it runs on to the field's clipped right edge.
    TS_shot sel = shot("selection");
    ASSERT_TRUE(sel.ok());
    int left = 0, right = 0;
    EXPECT_GT(selected(sel, 85, 37, 540, 47, &left, &right), 50);
    EXPECT_GT(left, 100);
    EXPECT_LT(left, 115);
    EXPECT_EQ(right, 540);
    EXPECT_EQ(selected(sel, 85, 37, left - 1, 47), 0);
    EXPECT_EQ(selected(sel, 0, 0, 699, 36) + selected(sel, 0, 49, 699, 379), 0);

    // Cut with a selection; cut with an empty one leaves the clipboard alone; copy with an empty
    // selection empties it, so a paste then inserts nothing.
    key("ctrl+x");
    EXPECT_EQ(host(), "abX");
    EXPECT_EQ(clip_out(), kEacute + "Y");
    key("ctrl+x");
    EXPECT_EQ(host(), "abX");
    EXPECT_EQ(clip_out(), kEacute + "Y");
    key("ctrl+v");
    key("ctrl+v");
    EXPECT_EQ(host(), "abX" + kEacute + "Y" + kEacute + "Y");
    key("ctrl+c");
    sync();
    EXPECT_EQ(clip_out(), "");
    key("ctrl+v");
    news = sync();
    EXPECT_EQ(news.find("changed"), std::string::npos) << news;
    const std::string text = "abX" + kEacute + "Y" + kEacute + "Y";
    EXPECT_EQ(host(), text);

    // Home and End go to the text's ends; Delete takes the character after the caret (both bytes
    // of é), or the selection; with Shift, Home, End, Page Up, Page Down and Down select to an end
    // and move the caret's end of a selection, not the end it began at. Ctrl+Left and Ctrl+Right
    // go by words, Ctrl+Backspace and Ctrl+Delete delete by words, Shift+Delete cuts, Shift+Insert
    // pastes, the keypad's Delete without Num Lock deletes, Ctrl+A selects everything. A click
    // beyond the text with Shift selects from the caret; a double click selects the last word,
    // also when both its presses wait through one held frame. AltGr, though it comes as Ctrl and
    // Alt, is no Ctrl key: with Backspace, Left, Delete and Right it goes by characters, with X,
    // C, V and A it types the layout's characters. An entry 'text is typed.
    const std::string ag = "ISO_Level3_Shift+";
    const std::vector<std::pair<std::vector<std::string>, std::string>> edits = {
        {{"Home", "Q"}, "Q" + text},
        {{"End", "Z"}, "Q" + text + "Z"},
        {{"Home", "Delete", "End", "Delete", "Left", "Delete"}, text},
        {{"Home", "Right", "Right", "Right", "Delete"}, "abXY" + kEacute + "Y"},
        {{"Home", "shift+Right", "Delete", "Down", "Z"}, "bXY" + kEacute + "YZ"},
        {{"Home", "Right", "shift+End", "Delete"}, "b"},
        {{"c", "d", "Left", "shift+Home", "Delete"}, "d"},
        {{"Home", "Q", "shift+Down", "R"}, "QR"},
        {{"Page_Up", "P", "Page_Down", "S"}, "PQRS"},
        {{"Left", "shift+Page_Up", "Delete"}, "S"},
        {{"Home", "shift+Page_Down", "Delete"}, ""},
        {{"'ab cd ef", "ctrl+Left", "ctrl+Left", "Z"}, "ab Zcd ef"},
        {{"Home", "ctrl+Right", "ctrl+Right", "Y"}, "ab ZcdY ef"},
        {{"ctrl+BackSpace"}, "ab  ef"},
        {{"Home", "ctrl+Delete", "X"}, "X  ef"},
        {{"Home", "shift+Right", "shift+Delete", "End", "ctrl+v"}, "  efX"},
        {{"Home", "shift+Insert"}, "X  efX"},
        {{"ctrl+a", "'abcdef", "shift+Left", "shift+Left", "shift+Home", "Q"}, "Q"},
        {{"'bcdef", "Home", "shift+Right", "shift+Right", "shift+End", "R"}, "R"},
        {{"'st", "Home", "KP_Delete"}, "st"},
        {{"Home", "Right", "shift+click", "Z"}, "sZ"},
        {{"' bc", "double-click", "Q"}, "sZ Q"},
        {{"ctrl+a", "'ab cd ef", ag + "BackSpace", ag + "Left", ag + "Left", ag + "Delete", "Home", ag + "Right",
          "shift+Right", ag + "x", ag + "c", ag + "v", ag + "a"},
         "a\xC5\xBA\xC4\x87\xE2\x80\x9E\xC4\x85 cde"},
        {{"ctrl+a", "Delete"}, ""},
    };
    for (const auto& [keys, after] : edits) {
        for (const std::string& k : keys) {
            if (k == "shift+click" || k == "double-click") {
                sync(); // the field takes a frame's click before its keys
                move(500, 43);
                // Both presses of the double click wait through one held frame.
                if (k == "double-click") hold();
                xdo(k == "shift+click" ? std::vector<std::string>{"keydown", "shift", "click", "1", "keyup", "shift"}
                                       : std::vector<std::string>{"click", "--repeat", "2", "--delay", "0", "1"});
                sync(); // the pointer leaves after the frame that took the click
                move(300, 300);
            } else {
                k.size() == 1 || k[0] == '\'' ? type(k.substr(k[0] == '\'')) : key(k);
            }
        }
        EXPECT_EQ(host(), after) << keys.front() << "..." << keys.back();
    }
    EXPECT_EQ(clip_out(), "X"); // what Shift+Delete cut: AltGr+C and AltGr+X neither copied nor cut
    type(text);
    EXPECT_EQ(host(), text);

    // Another program's text loses its line breaks, control bytes and broken UTF-8.
    clip_in("p\nq\r\x01r\x7Fs\xFF\xC3(t\xD0\x96\xC2\x85\xC2\x9F\xE2\x80\xA8\xE2\x80\xA9");
    key("ctrl+v");
    type("\xE2\x80\xA8"); // typed, a line separator goes too
    const std::string typed = "abX" + kEacute + "Y" + kEacute + "Y" + "pqrs(t" + kZhe;
    EXPECT_EQ(host(), typed);

    // Tab moves the focus to the port field and selects its whole text, drawn in colour 66 from
    // the field's left edge; typing replaces it.
    hold(); // the w is the host's
    xdo({"key", "--delay", "0", "w", "Tab"});
    EXPECT_EQ(focus(), kPortId);
    EXPECT_EQ(host(), typed + "w");
    TS_shot tab = shot("tab");
    EXPECT_GT(selected(tab, 85, 17, 540, 27, &left, &right), 50);
    EXPECT_EQ(left, 85);
    EXPECT_EQ(selected(tab, 0, 29, 699, 379), 0);
    // 64 bytes, then a Cyrillic character that would end at byte 66: the limit of 65 cuts the
    // whole character, and the call still reports the change.
    const std::string a64(64, 'a');
    type(a64);
    EXPECT_EQ(port(), a64);
    type(kZhe);
    news = sync();
    EXPECT_NE(news.find("changed port"), std::string::npos) << news;
    EXPECT_EQ(port(), a64);
    type("b" + kEacute);
    EXPECT_EQ(port(), a64 + "b");
    // Shift+Tab goes back and selects the host text; the other field kept every byte.
    hold(); // a Backspace in the frame is still the port's
    xdo({"key", "--delay", "0", "BackSpace", "shift+Tab"});
    EXPECT_EQ(focus(), kHostId);
    EXPECT_EQ(port(), a64);
    key("ctrl+c");
    sync();
    EXPECT_EQ(clip_out(), typed + "w");
    // Escape is not the field's: it closes the popup, and the program ends.
    key("Escape");
    EXPECT_TRUE(TS_wait_for_output(p, "shut down\n", 30)) << p.out;
    EXPECT_EQ(TS_finish(p, 30).exit_code, 0);
}

// A click places the caret, a drag selects, a click elsewhere gives the focus back to the field
// that asks for it, the caller's shortened text clamps the selection, and a narrow field scrolls
// with its caret, clips at its scissor box and shows its start again when the focus returns.
TEST_F(TextField, MouseScrollingClippingAndThePulsingCaret)
{
    start("", "8080", "");
    // The empty host field's caret stands at its left edge and pulses between colour 54 and the
    // field's ground.
    std::set<std::string> caret;
    for (int i = 0; i < 12 && caret.size() < 2; ++i) {
        TS_shot s = shot("caret");
        ASSERT_TRUE(s.ok());
        caret.insert(pxs(s, 85, 42));
        std::this_thread::sleep_for(std::chrono::milliseconds(70));
    }
    EXPECT_GE(caret.size(), 2u);

    type("proxy.example");
    click(86, 43);
    type("Q");
    EXPECT_EQ(host(), "Qproxy.example");
    click(500, 43);
    type("!");
    EXPECT_EQ(host(), "Qproxy.example!");
    // Dragging from the left edge to beyond the text selects all of it. The widgets poll the
    // mouse once a frame, so each step waits for a frame of its own.
    move(86, 43);
    xdo({"mousedown", "1"});
    sync();
    move(120, 44);
    hold(); // the last step comes with the release, and still counts
    move(500, 44);
    xdo({"mouseup", "1"});
    key("ctrl+c");
    sync();
    EXPECT_EQ(clip_out(), "Qproxy.example!");
    // The caller cuts its text to two bytes: the selection is clamped before the next key.
    key("F2");
    type("Z");
    EXPECT_EQ(host(), "Z");
    EXPECT_EQ(focus(), kHostId);

    // Keys typed into the host field just before a press on the narrow field go to the host,
    // also when the press comes in the same frame: never into the narrow field, whose text
    // the shared engine holds by then.
    move(90, 203);
    xdo({"key", "--delay", "0", "x", "y", "z", "mousedown", "1"});
    xdo({"mouseup", "1"});
    EXPECT_EQ(focus(), kNarrowId);
    EXPECT_EQ(narrow(), "");
    const std::string h = host();
    EXPECT_EQ(h, "Zxyz");
    move(300, 300);
    TS_shot empty = shot("narrow-empty");
    const std::string letters = "abcdefghijklmnopqrstuvwxyz";
    type(letters);
    EXPECT_EQ(narrow(), letters);
    TS_shot scrolled = shot("narrow-scrolled");
    // Inside the scissor box (columns 84 to 125, rows 197 to 207) the text shows; beside it the
    // picture is that of the empty field, though the text runs on far past both edges.
    EXPECT_GT(differ(empty, scrolled, 84, 197, 125, 207), 40);
    EXPECT_EQ(differ(empty, scrolled, 126, 190, 200, 215), 0);
    EXPECT_EQ(differ(empty, scrolled, 30, 190, 83, 215), 0);
    EXPECT_EQ(differ(empty, scrolled, 84, 208, 125, 215), 0);

    // Unfocused, the field draws its text from the start; the scrolled picture is another.
    click(300, 300);
    EXPECT_EQ(focus(), kHostId);
    TS_shot start = shot("narrow-start");
    EXPECT_GT(differ(start, scrolled, 87, 197, 124, 207), 40);
    // Focus back by a click at its left edge: scroll 0, caret at 0, the start shows again.
    click(85, 203);
    move(300, 300);
    EXPECT_EQ(focus(), kNarrowId);
    TS_shot back = shot("narrow-back");
    EXPECT_EQ(differ(start, back, 87, 197, 124, 207), 0);
    // Right through the whole text scrolls along with the caret.
    for (int i = 0; i < 26; ++i) key("Right");
    sync();
    TS_shot end = shot("narrow-end");
    EXPECT_GT(differ(start, end, 87, 197, 124, 207), 40);
    type("!");
    EXPECT_EQ(narrow(), letters + "!");
    EXPECT_EQ(host(), h);
    EXPECT_EQ(port(), "8080");
    // The port box takes a press on its lowest drawn row and on its top one, over the host box.
    for (const int uy : {11, 34}) {
        click(300, uy);
        EXPECT_EQ(focus(), kPortId) << uy;
    }
    // All in one held frame: a double click selects the digits (its release drags nothing); 60
    // characters, with their releases twice what the key queue holds, replace them whole; Home,
    // then Delete deletes and Return closes the popup.
    const std::string sixty = letters + letters + letters.substr(0, 8);
    std::vector<std::string> all = {"click", "--repeat", "2", "--delay", "0", "1", "key", "--delay", "1"};
    for (char c : sixty) all.push_back({c});
    all.insert(all.end(), {"Home", "Delete", "Return"});
    move(88, 20);
    hold();
    xdo(all);
    EXPECT_TRUE(TS_wait_for_output(p, "shut down\n", 30)) << p.out;
    EXPECT_NE(p.out.find("port=" + hex(sixty.substr(1)) + " "), std::string::npos) << p.out.substr(mark);
}
