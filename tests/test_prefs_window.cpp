// The preferences window: the proxy port's text read as a number every frame, the target platform
// kept through a copy in a test program under Xvfb, and the real updater's window edited with
// xdotool, its proxy used by the next fetch and saved at the end.
#include "app/prefs_window.h"
#include "app/server_search.h"
#include "support/test_servers.h"
#include "support/test_support.h"
#include "support/wizard_run.h"

#include <gtest/gtest.h>

TEST(PrefsWindow, PortTexts)
{
    EXPECT_EQ(prefs_port_number(""), 0);
    EXPECT_EQ(prefs_port_number("8080"), 8080);
    EXPECT_EQ(prefs_port_number("+80"), 80);
    EXPECT_EQ(prefs_port_number("-80"), -80);
    EXPECT_EQ(prefs_port_number("80a"), -1);
    EXPECT_EQ(prefs_port_number(" 80"), -1);
    EXPECT_EQ(prefs_port_number("123456789"), 123456789);
    EXPECT_EQ(prefs_port_number("1234567890"), -1);
    EXPECT_EQ(prefs_port_number("0000000000"), -1);
    EXPECT_EQ(prefs_port_number("+"), -1);
    EXPECT_EQ(prefs_port_number("-"), -1);
}

namespace {

// The wizard's buttons in English (centres, UI units) and the preferences popup's origin in the
// 800 x 600 window: popup point (px, py) is UI point (50 + px, 110 + py).
const int kQuitX = 58, kPrefsX = 159, kNextX = 720, kButtonY = 23;
const int kPopupX = 50, kPopupY = 110;
const WR_rgb kWhite = {255, 255, 255};

bool prefs_shows(const WR_shot& s)
{
    // The popup's title bar where Welcome has its white page panel.
    return s.at(700, 480).sum() < 200;
}

bool welcome_shows(const WR_shot& s)
{
    return s.at(700, 480) == kWhite;
}

// Search for Updates current in the step list: its title in colour 77.
bool search_shows(const WR_shot& s)
{
    return s.exact(28, 195, 456, 471, WR_rgb{51, 51, 204}) > 5;
}

bool list_open(const WR_shot& s)
{
    // The pop-up list's dark ground over the white panel, just below the box.
    return s.at(kPopupX + 272, kPopupY + 293).sum() < 300;
}

// Opens the preferences window from Welcome and waits for it.
WR_shot open_prefs(WR_run& r, const std::string& name)
{
    EXPECT_TRUE(WR_click(r, kPrefsX, kButtonY));
    EXPECT_TRUE(WR_move(r, 5, 300));
    return WR_wait_for(r, name, prefs_shows);
}

bool log_has(const WR_run& r, const std::string& text, double timeout_s)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds((long)(timeout_s * 1000));
    for (int i = 0; i < 600; ++i) {
        if (WR_log(r).find(text) != std::string::npos) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        usleep(100 * 1000);
    }
    return false;
}

// The installer preference file as this scenario leaves it.
std::string saved_prefs(const std::string& port_text, int port)
{
    return "I\n10 version\n_stream_count 0\n_log_actions 1\n_proxy_host 127.0.0.1\n_proxy_port " + port_text +
           "\n_proxy_port_int " + std::to_string(port) + "\n_get_beta 0\n";
}

} // namespace

// Started with "--os=ALL", the window shows no item until one is picked: closing keeps the
// platform 0, also with its list left open, which does not come back with the window; picking
// "Linux" from the list makes it 3.
TEST(PrefsWindow, AllStaysUntilPicked)
{
    TS_xvfb x;
    ASSERT_TRUE(TS_xvfb_start(x, "1280x1024x24"));
    WR_run r;
    r.x = &x;
    r.dir = TS_new_dir("prefs-os");
    TS_sh("mkdir -p '" + r.dir + "shots'");
    ASSERT_TRUE(TS_start(r.proc, {CORVANE_PREFS_PROBE_EXE, "--os=ALL"}, TS_xvfb_env(x), r.dir));
    ASSERT_TRUE(TS_wait_for_output(r.proc, "target 0\n", 60)) << r.proc.out << r.proc.err;
    // No item's light text in the dark box, once the window's panel (at 650, 310) is drawn.
    const WR_shot all = WR_wait_for(r, "all", [](const WR_shot& s) { return s.at(650, 310).sum() > 600; });
    int ink = 0;
    for (int i = 0; i < 51 * 9; ++i) ink += all.at(kPopupX + 225 + i % 51, kPopupY + 299 + i / 51).sum() > 450;
    EXPECT_EQ(ink, 0) << all.png;
    ASSERT_TRUE(WR_click(r, kPopupX + 260, kPopupY + 305));
    ASSERT_TRUE(list_open(WR_wait_for(r, "left-open", list_open)));
    EXPECT_TRUE(WR_key(r, "Escape"));
    ASSERT_TRUE(TS_wait_for_output(r.proc, "closed 0\n", 30)) << r.proc.out;
    EXPECT_FALSE(list_open(WR_wait_for(r, "reopened", list_open, 1.5)));

    // Press on the box, hold while the list opens below it, let go over Linux, its fourth line.
    ASSERT_TRUE(WR_press(r, kPopupX + 260, kPopupY + 305));
    WR_shot s = WR_wait_for(r, "list", list_open);
    EXPECT_TRUE(list_open(s)) << s.png;
    ASSERT_TRUE(WR_move(r, kPopupX + 240, kPopupY + 267));
    ASSERT_TRUE(WR_release(r));
    s = WR_wait_for(r, "linux", [](const WR_shot& s) { return !list_open(s); });
    ASSERT_TRUE(WR_click(r, kPopupX + 684, kPopupY + 370)); // the right close box
    ASSERT_TRUE(TS_wait_for_output(r.proc, "closed 3\n", 30)) << r.proc.out;
    TS_result end = WR_finish(r, 30);
    EXPECT_EQ(end.exit_code, 0) << end.err;
}

// The real updater on Welcome: Preferences opens the window with its panels, list, check box and
// fields where they belong; Linux is picked, the log box ticked, the proxy typed, the close box
// and then Escape close it. The server list's fetch goes through nginx as a proxy request, and
// Quit saves the edits.
TEST(PrefsWindow, WizardEditsTheProxyAndTheNextFetchUsesIt)
{
    TS_xvfb x;
    ASSERT_TRUE(TS_xvfb_start(x, "1280x1024x24"));
    // The look-up host answers with one update server, which nginx does not know: the search
    // keeps asking for its release and stays on its page.
    TS_server nginx;
    const std::string lookup = TS_new_dir("lookup");
    TS_sh("mkdir -p '" + lookup + "_lookup_10_'");
    TS_write_file(lookup + "_lookup_10_/server_list_10.txt",
                  "I\n1000 Corvane server list\nSERVERS\nFINAL R\nSERVER s1.test\n/rel/R/\nx\n");
    ASSERT_TRUE(TS_nginx_start(nginx, {{LOOKUP_HOST, lookup}}));
    const std::string port = std::to_string(nginx.port);

    WR_run r;
    ASSERT_TRUE(WR_prepare(r, x, "prefs-wizard"));
    const std::string copy = TS_new_copy("Sim");
    ASSERT_TRUE(WR_launch(r, {copy})) << r.proc.err;
    ASSERT_TRUE(WR_move(r, 5, 300));
    WR_shot s = WR_wait_for(r, "welcome", welcome_shows);
    ASSERT_TRUE(welcome_shows(s)) << s.png;

    s = open_prefs(r, "prefs");
    ASSERT_TRUE(prefs_shows(s)) << s.png;
    // The backdrop is one flat colour around the popup.
    EXPECT_EQ(s.at(5, 300), s.at(795, 590)) << s.png;
    EXPECT_EQ(s.at(5, 300), s.at(30, 40)) << s.png;
    // Proxy panel (10, 10) 680 x 70 and general panel (10, 90) 680 x 262: white grounds, the
    // gap between them and the popup's edges beside them are not.
    EXPECT_EQ(s.at(kPopupX + 650, kPopupY + 30), kWhite) << s.png;
    EXPECT_EQ(s.at(kPopupX + 650, kPopupY + 200), kWhite) << s.png;
    EXPECT_NE(s.at(kPopupX + 650, kPopupY + 85), kWhite) << s.png;
    EXPECT_NE(s.at(kPopupX + 3, kPopupY + 200), kWhite) << s.png;
    EXPECT_NE(s.at(kPopupX + 697, kPopupY + 200), kWhite) << s.png;
    // Their titles centred above their tops.
    EXPECT_GT(s.ink(kPopupX + 200, kPopupX + 480, kPopupY + 60, kPopupY + 72, true), 100) << s.png;
    EXPECT_GT(s.ink(kPopupX + 280, kPopupX + 420, kPopupY + 332, kPopupY + 344, true), 60) << s.png;
    // The list's dark box near (260, 305) with "Windows" centred on 250 in light ink, the labels
    // beside it.
    EXPECT_LT(s.at(kPopupX + 290, kPopupY + 305).sum(), 300) << s.png;
    EXPECT_GT(s.ink(kPopupX + 225, kPopupX + 275, kPopupY + 298, kPopupY + 310, false), 30) << s.png;
    EXPECT_GT(s.ink(kPopupX + 100, kPopupX + 210, kPopupY + 290, kPopupY + 320, true), 100) << s.png;
    EXPECT_GT(s.ink(kPopupX + 310, kPopupX + 510, kPopupY + 290, kPopupY + 320, true), 100) << s.png;
    // The empty check box at (140, 253) and its label right of it.
    const int box_empty = s.ink(kPopupX + 132, kPopupX + 148, kPopupY + 245, kPopupY + 261, true);
    EXPECT_GT(box_empty, 20) << s.png;
    EXPECT_GT(s.ink(kPopupX + 155, kPopupX + 420, kPopupY + 240, kPopupY + 265, true), 100) << s.png;
    // The two fields on the lines y 40 and 20 from x 85, 455 wide: their boxes' edges cross the
    // column x 300, nothing is drawn right of them, and their labels stand left of them.
    auto not_white = [](WR_rgb c) { return c != kWhite; };
    for (int fy : {40, 20}) {
        EXPECT_GE(s.count(kPopupX + 300, kPopupX + 300, kPopupY + fy - 9, kPopupY + fy + 14, not_white), 2)
            << "field at " << fy << " " << s.png;
        EXPECT_EQ(s.count(kPopupX + 560, kPopupX + 640, kPopupY + fy - 5, kPopupY + fy + 10, not_white), 0)
            << "field at " << fy << " " << s.png;
        EXPECT_GT(s.ink(kPopupX + 15, kPopupX + 75, kPopupY + fy - 4, kPopupY + fy + 10, true), 20)
            << "field at " << fy << " " << s.png;
    }

    // Linux: press on the box, hold while the list opens with Windows (the default) on the box,
    // let go over the line below.
    ASSERT_TRUE(WR_press(r, kPopupX + 260, kPopupY + 305));
    s = WR_wait_for(r, "list", list_open);
    EXPECT_TRUE(list_open(s)) << s.png;
    ASSERT_TRUE(WR_move(r, kPopupX + 240, kPopupY + 295));
    ASSERT_TRUE(WR_release(r));
    // The log box, then the two fields.
    ASSERT_TRUE(WR_click(r, kPopupX + 140, kPopupY + 253));
    ASSERT_TRUE(WR_click(r, kPopupX + 100, kPopupY + 43));
    ASSERT_TRUE(WR_type(r, "127.0.0.1"));
    // The port's click and digits with the program held: one frame takes them all.
    kill(r.proc.pid, SIGSTOP);
    EXPECT_TRUE(WR_click(r, kPopupX + 100, kPopupY + 23) && WR_type(r, port));
    kill(r.proc.pid, SIGCONT);
    ASSERT_TRUE(WR_move(r, 5, 300));
    s = WR_wait_for(r, "edited", [](const WR_shot& s) {
        return s.ink(kPopupX + 85, kPopupX + 150, kPopupY + 36, kPopupY + 50, true) > 30 &&
               s.ink(kPopupX + 85, kPopupX + 120, kPopupY + 16, kPopupY + 30, true) > 15;
    });
    // Without the proxy the fetch below would leave this machine: stop here.
    ASSERT_GT(s.ink(kPopupX + 85, kPopupX + 150, kPopupY + 36, kPopupY + 50, true), 30) << s.png;
    EXPECT_GT(s.ink(kPopupX + 132, kPopupX + 148, kPopupY + 245, kPopupY + 261, true), box_empty + 10) << s.png;
    ASSERT_TRUE(WR_click(r, kPopupX + 684, kPopupY + 370)); // the right close box
    ASSERT_TRUE(WR_move(r, 5, 300));
    s = WR_wait_for(r, "closed", welcome_shows);
    ASSERT_TRUE(welcome_shows(s)) << s.png;

    // Once more: the edits show, and Escape closes it.
    s = open_prefs(r, "again");
    ASSERT_TRUE(prefs_shows(s)) << s.png;
    // "Linux" is narrower than "Windows": light ink only near the box's middle.
    EXPECT_LT(s.ink(kPopupX + 224, kPopupX + 232, kPopupY + 298, kPopupY + 310, false), 3) << s.png;
    EXPECT_GT(s.ink(kPopupX + 238, kPopupX + 262, kPopupY + 298, kPopupY + 310, false), 20) << s.png;
    EXPECT_GT(s.ink(kPopupX + 132, kPopupX + 148, kPopupY + 245, kPopupY + 261, true), box_empty + 10) << s.png;
    ASSERT_TRUE(WR_key(r, "Escape"));
    s = WR_wait_for(r, "escaped", welcome_shows);
    ASSERT_TRUE(welcome_shows(s)) << s.png;

    // Next: Search for Updates asks the look-up host through the proxy.
    ASSERT_TRUE(WR_click(r, kNextX, kButtonY));
    const std::string request = std::string("\"GET http://") + LOOKUP_HOST + SERVER_LIST_PATH + " HTTP/1.1\"";
    bool proxied = false;
    for (int i = 0; i < 300 && !proxied; ++i) {
        for (const std::string& line : TS_nginx_access_lines(nginx))
            proxied |= line.find(std::string(" ") + LOOKUP_HOST + " 200 ") != std::string::npos &&
                       line.find(request) != std::string::npos;
        if (!proxied) usleep(100 * 1000);
    }
    EXPECT_TRUE(proxied) << TS_read_file(nginx.dir + "access.log");
    ASSERT_TRUE(WR_click(r, kQuitX, kButtonY));
    TS_result end = WR_finish(r, 60);
    EXPECT_FALSE(end.timed_out);
    EXPECT_EQ(end.exit_code, 0) << end.err;
    EXPECT_EQ(TS_read_file(r.data + "Corvane Installer.prf"), saved_prefs(port, nginx.port));
}

// "80a" with the number of a valid port beside it, as an older file might hold: the open window
// reads the text again, so -1 is saved, and the next fetch warns and takes port 80 (of 127.0.0.1).
TEST(PrefsWindow, APortTextThatIsNoNumberIsSavedAsMinusOne)
{
    TS_xvfb x;
    ASSERT_TRUE(TS_xvfb_start(x, "1280x1024x24"));
    WR_run r;
    ASSERT_TRUE(WR_prepare(r, x, "prefs-80a"));
    TS_write_file(r.data + "Corvane Installer.prf", saved_prefs("80a", 8080));
    ASSERT_TRUE(WR_launch(r, {TS_new_copy("Sim")})) << r.proc.err;
    ASSERT_TRUE(WR_move(r, 5, 300));
    WR_shot s = WR_wait_for(r, "welcome", welcome_shows);
    s = open_prefs(r, "prefs");
    ASSERT_TRUE(prefs_shows(s)) << s.png;
    ASSERT_TRUE(WR_key(r, "Escape"));
    s = WR_wait_for(r, "escaped", welcome_shows);
    ASSERT_TRUE(welcome_shows(s)) << s.png;
    // Quit only once Search for Updates is on screen: a press made before it answers nothing.
    ASSERT_TRUE(WR_click_until(r, kNextX, kButtonY, WR_shows(r, "search", search_shows)));
    EXPECT_TRUE(log_has(r, "WARNING: the proxy port -1 is outside 1 to 65535; port 80 is used.\n", 30));
    ASSERT_TRUE(WR_click_until(r, kQuitX, kButtonY, [&r](double wait_s) {
        TS_wait_for_output(r.proc, "\x01never", wait_s); // until both its outputs close at its end
        return r.proc.out_fd < 0 && r.proc.err_fd < 0;
    }));
    TS_result end = WR_finish(r, 60);
    EXPECT_EQ(end.exit_code, 0) << end.err;
    EXPECT_EQ(TS_read_file(r.data + "Corvane Installer.prf"), saved_prefs("80a", -1));
}
