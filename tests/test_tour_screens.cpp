// A tour of every screen the updater shows, in four languages: the real program under Xvfb
// with Mesa walked from Welcome through the preferences window, Pick Destination and its alert,
// Search for Updates, Check Disk Space, the changed-file questions, Install Updates with a server
// whose reply is held, the stop question and that server resting after its failure, to Finish,
// on a release from scripts/make-release. Each screen is kept under shots/ to be looked at and
// checked at a few pixels: the current step's title, the page title's ink, the buttons' states,
// and that no text runs out of its panel (Russian texts are the longest).
#include "app/server_search.h"
#include "support/test_servers.h"
#include "support/wizard_run.h"

#include <gtest/gtest.h>
#include <functional>
#include <ostream>

namespace {

const WR_rgb kTitle77 = {51, 51, 204}; // the current step's title
const WR_rgb kNavy = {23, 40, 60};     // an enabled picture button's words
const int kQuestionRight = 782;        // right of the two-button question

// The language and its picture buttons' centres (Quit, Preferences, Back, Next at y 23).
struct Lang {
    const char* env;
    int quit, prefs, back, next;
    int last_back, last_quit; // on Finish, where Next shows the Quit picture
};
void PrintTo(const Lang& l, std::ostream* os)
{
    *os << "LANG=" << l.env;
}

bool current(const WR_shot& s, int row)
{
    return s.exact(28, 195, 476 - 20 * row, 491 - 20 * row, kTitle77) > 5;
}
bool enabled(const WR_shot& s, int x)
{
    return s.exact(x - 20, x + 20, 14, 32, kNavy) > 10;
}
// A modal screen hides the wizard: no step title in colour 77, one plain ground at the corners.
bool modal(const WR_shot& s)
{
    return s.exact(28, 195, 370, 491, kTitle77) == 0 && s.at(5, 5) == s.at(795, 5) && s.at(5, 5) == s.at(5, 595);
}
bool alert_shows(const WR_shot& s)
{
    return s.at(300, 420).sum() < 200; // the title band, left of its word
}
// Whether the changed-file question's three lines differ between the shots: another question
// is drawn, not the last one's frame still on screen.
bool other_question(const WR_shot& a, const WR_shot& b)
{
    for (int y = 300; y <= 340; ++y)
        for (int xx = 40; xx <= 760; ++xx)
            if (a.at(xx, y) != b.at(xx, y)) return true;
    return false;
}

class TourScreens : public WR_screens<Lang> {
protected:

    // A wizard page: the step in `row` current, a title centred on 500, Back and Next as said,
    // and the backdrop untouched right of the page panel and between the panels.
    void expect_page(const WR_shot& s, int row, bool back, bool next)
    {
        Lang l = GetParam();
        if (row == 5) l.back = l.last_back, l.next = l.last_quit;
        EXPECT_TRUE(current(s, row)) << s.png;
        const WR_shot::Box t = s.extent(214, 786, 472, 500, [](WR_rgb c) { return c.sum() < 300; });
        EXPECT_GT(t.right - t.left, 30) << "title " << s.png;
        EXPECT_NEAR((t.left + t.right) / 2.0, 500, 6) << "title " << s.png;
        EXPECT_EQ(enabled(s, l.back), back) << "Back " << s.png;
        EXPECT_EQ(enabled(s, l.next), next) << "Next " << s.png;
        int stray = 0;
        for (int y = 40; y < 510; ++y)
            for (int xx = 201; xx < 800; xx = xx == 208 ? 791 : xx + 1)
                stray += !s.at(xx, y).near(picture.at(xx, y), 3);
        EXPECT_LT(stray, 5) << "drawn outside the panels " << s.png;
    }
    // A modal screen: nothing but its opaque ground right of `edge`.
    static void expect_modal_within(const WR_shot& s, int edge)
    {
        const WR_rgb ground = s.at(799, 300);
        EXPECT_EQ(s.count(edge, 799, 0, 599, [&](WR_rgb c) { return !c.near(ground, 8); }), 0) << s.png;
    }
};

} // namespace

TEST_P(TourScreens, EveryPageTheAlertAndThePreferences)
{
    const Lang l = GetParam();
    // The sample release: s1 serves it, s2 fails (the fault server holds its 404 page until the
    // test lets it go), and the look-up host answers 503 until the test hands it the server list.
    TS_server nginx, fault;
    ASSERT_TRUE(TS_fault_server_start(fault));
    WR_run r;
    ASSERT_TRUE(WR_prepare(r, x, "tour"));
    const std::string rel = r.dir + "release/", copy = rel + "copy/", elsewhere = r.dir + "elsewhere/";
    const TS_result made = TS_run({"/usr/bin/python3", TS_MAKE_RELEASE, rel, "--files", "60", "--server", "s1.corvane.test",
                                   "--server=s2.corvane.test=/held/4096/"},
                                  {}, 300);
    ASSERT_EQ(made.exit_code, 0) << made.err;
    const std::string forward = "http://127.0.0.1:" + std::to_string(fault.port);
    ASSERT_TRUE(TS_nginx_start(nginx, {{LOOKUP_HOST, forward}, {"s1.corvane.test", rel + "www/release"},
                                       {"s2.corvane.test", forward}}));
    // A second copy, so Pick Destination shows its two-sentence text.
    const std::string other = r.dir + "other/";
    TS_sh("mkdir -p '" + elsewhere + "' && cd '" + r.dir + "' && mkdir -p other/Airfoils other/Instructions "
          "other/Output other/Resources");
    // The port's text too: the preferences window reads the number from it.
    const std::string port = std::to_string(nginx.port);
    TS_write_file(r.data + "corvane_install_10.txt", copy + "\n" + other + "\n");
    TS_write_file(r.data + "Corvane Installer.prf",
                  "I\n10 version\n_proxy_host 127.0.0.1\n_proxy_port " + port + "\n_proxy_port_int " + port + "\n");
    WR_stand_in(r, "zenity", "echo '" + elsewhere + "'");
    // A file where one of the simulator's folders belongs: the alert whose first line wraps.
    TS_write_file(copy + "Output/FMS plans", "");
    ASSERT_TRUE(WR_launch(r, {}, {{"LANG", l.env}})) << r.proc.err;
    ASSERT_TRUE(WR_move(r, 500, 250));

    WR_shot s = WR_wait_for(r, "1-welcome", [&](const WR_shot& s) { return current(s, 0) && enabled(s, l.next); });
    expect_page(s, 0, false, true);
    EXPECT_TRUE(enabled(s, l.quit) && enabled(s, l.prefs)) << s.png;
    EXPECT_GT(s.ink(262, 786, 380, 420, true), 100) << "beta label " << s.png;

    // The preferences window (700 x 380 at (50, 110)): its title bar where the page panel was.
    // Each click holds the pointer where it pressed until its effect shows; only then does the
    // pointer move off, so that the screenshot shows no button under it.
    const auto prefs_open = [](const WR_shot& s) { return s.at(700, 480).sum() < 200; };
    ASSERT_TRUE(WR_click_until(r, l.prefs, 23, WR_shows(r, "1-preferences", prefs_open)));
    ASSERT_TRUE(WR_move(r, 5, 300));
    s = WR_wait_for(r, "1-preferences", prefs_open);
    ASSERT_LT(s.at(700, 480).sum(), 200) << s.png;
    expect_modal_within(s, 760);
    EXPECT_GT(s.ink(60, 740, 120, 480, true), 1000) << s.png;
    ASSERT_TRUE(WR_key(r, "Escape"));
    s = WR_wait_for(r, "1-welcome-again", [&](const WR_shot& s) { return current(s, 0); });

    const auto pick = [&](const WR_shot& s) { return current(s, 1); };
    ASSERT_TRUE(WR_click_until(r, l.next, 23, WR_shows(r, "2-pick-destination", pick)));
    ASSERT_TRUE(WR_move(r, 500, 250));
    s = WR_wait_for(r, "2-pick-destination", pick);
    expect_page(s, 1, true, false);
    // The release's copy chosen; then Find It (its edges' grey, right of the question under the
    // two copies) with a folder inside no copy: the alert.
    const auto chosen = [&](const WR_shot& s) { return current(s, 1) && enabled(s, l.next); };
    ASSERT_TRUE(WR_click_until(r, 250, 403, WR_shows(r, "2-pick-chosen", chosen)));
    const WR_shot::Box b = s.extent(300, 780, 341, 365, [](WR_rgb c) { return c == WR_rgb{200, 204, 210}; });
    ASSERT_TRUE(WR_click_until(r, (b.left + b.right) / 2, 353, WR_shows(r, "3-alert", alert_shows)));
    ASSERT_TRUE(WR_move(r, 500, 150));
    s = WR_wait_for(r, "3-alert", alert_shows);
    ASSERT_TRUE(alert_shows(s)) << s.png;
    expect_modal_within(s, 620);
    for (int i = 0; i < 4; ++i) EXPECT_GT(s.ink(200, 600, 380 - 40 * i, 396 - 40 * i, true), 30) << i << s.png;
    ASSERT_TRUE(WR_asks(r));
    ASSERT_TRUE(WR_click_until(r, 400, 188, WR_shows(r, "2-pick-again", chosen)));
    ASSERT_TRUE(WR_move(r, 500, 150));
    s = WR_wait_for(r, "2-pick-again", chosen);
    ASSERT_FALSE(alert_shows(s)) << s.png;
    EXPECT_EQ(s.at(250, 403), kNavy) << "the copy marked " << s.png;

    // Search for Updates while the look-up host answers 503: the contacting sentence, no bar.
    const auto searching = [](const WR_shot& s) { return current(s, 2); };
    ASSERT_TRUE(WR_click_until(r, l.next, 23, WR_shows(r, "4-search", searching)));
    ASSERT_TRUE(WR_move(r, 500, 250));
    s = WR_wait_for(r, "4-search-contacting", [&](const WR_shot& s) {
        return current(s, 2) && s.ink(228, 772, 400, 452, true) > 100 && TS_fault_requests(fault).size() >= 2;
    });
    expect_page(s, 2, true, false);
    EXPECT_GT(s.ink(228, 772, 400, 452, true), 100) << s.png;

    // The list arrives; the scan ends on Check Disk Space with enough space.
    TS_serve_file(fault.dir + "lookup.txt", TS_read_file(rel + "www/lookup/_lookup_10_/server_list_10.txt"));
    s = WR_wait_for(r, "5-check-disk-space", [&](const WR_shot& s) { return current(s, 3) && enabled(s, l.next); }, 90);
    expect_page(s, 3, true, true);
    EXPECT_GT(s.ink(228, 772, 300, 452, true), 300) << s.png;

    // Next: the release replaces one file the user changed and deletes another; each question
    // hides the wizard and is answered with its first button once it is drawn. The answer shows
    // as the next question's line in the log, then as the folder alert.
    ASSERT_TRUE(WR_click(r, l.next, 23));
    const std::string log = r.dir + "prog/" + TS_LOG_NAME;
    const std::string asked[] = {"File: " + copy + "Instructions/user/notes.txt",
                                 "File: " + copy + "Resources/user/tweaks.txt"};
    for (int q = 0; q < 2; ++q) {
        ASSERT_TRUE(TS_wait_for_file_text(r.proc, log, asked[q], 60));
        const WR_shot before = s;
        s = WR_wait_for(r, "6-question-" + std::to_string(q + 1),
                        [&](const WR_shot& s) { return modal(s) && other_question(s, before); });
        ASSERT_TRUE(modal(s) && other_question(s, before)) << s.png;
        expect_modal_within(s, kQuestionRight);
        const std::function<bool(double)> answered =
            q == 1 ? WR_shows(r, "6-answered", alert_shows)
                   : [&](double wait_s) { return TS_wait_for_file_text(r.proc, log, asked[1], wait_s); };
        ASSERT_TRUE(WR_asks(r));
        ASSERT_TRUE(WR_click_until(r, 121, 280, answered)) << s.png;
        ASSERT_TRUE(WR_move(r, 500, 250));
    }
    s = WR_wait_for(r, "6-folder-alert", alert_shows);
    ASSERT_TRUE(alert_shows(s)) << s.png;
    EXPECT_EQ(s.ink(200, 600, 380, 381, true), 0) << "text over the divider " << s.png;
    const auto installing = [](const WR_shot& s) { return current(s, 4); };
    ASSERT_TRUE(WR_asks(r));
    ASSERT_TRUE(WR_click_until(r, 400, 188, WR_shows(r, "7-installing", installing)));
    ASSERT_TRUE(WR_move(r, 500, 250));
    // Installing while s2's page is held: the install stays under way until the test lets it go,
    // and the page text names both servers.
    const auto held = [&] {
        for (const TS_request& q : TS_fault_requests(fault))
            if (q.bytes.find("/held/") != std::string::npos) return true;
        return false;
    };
    for (int i = 0; i < 600 && !held(); ++i) usleep(100 * 1000);
    ASSERT_TRUE(held());
    s = WR_wait_for(r, "7-install-updates", [&](const WR_shot& s) {
        return current(s, 4) && s.ink(228, 772, 360, 452, true) > 400;
    }, 60);
    expect_page(s, 4, true, false);
    EXPECT_FALSE(enabled(s, l.prefs)) << s.png;
    // Quit asks first; Continue goes on.
    ASSERT_TRUE(WR_click_until(r, l.quit, 23, WR_shows(r, "7-stop-question", modal)));
    ASSERT_TRUE(WR_move(r, 500, 250));
    s = WR_wait_for(r, "7-stop-question", modal);
    ASSERT_TRUE(modal(s)) << s.png;
    expect_modal_within(s, kQuestionRight);
    ASSERT_TRUE(WR_asks(r));
    ASSERT_TRUE(WR_click_until(r, 146, 228, WR_shows(r, "7-going-on", installing)));
    ASSERT_TRUE(WR_move(r, 500, 250));
    // s2's page ends: it failed, and rests while s1 fetches its file.
    TS_write_file(fault.dir + "release", "");
    ASSERT_TRUE(TS_wait_for_file_text(r.proc, r.dir + "prog/" + TS_LOG_NAME, "server     =s2.corvane.test", 60));
    WR_screenshot(r, "7-install-resting"); // to be looked at: the rest lasts only 30 s

    // Finish: Next drawn as Quit, no Quit or Preferences on the left, the launch choice.
    ASSERT_TRUE(TS_wait_for_file_text(r.proc, r.dir + "prog/" + TS_LOG_NAME, "Finish: ", 150));
    s = WR_wait_for(r, "8-finish", [&](const WR_shot& s) { return current(s, 5); });
    expect_page(s, 5, false, true);
    for (int bx : {l.quit, l.prefs}) EXPECT_TRUE(s.at(bx, 23).near(picture.at(bx, 23), 3)) << bx << s.png;
    EXPECT_GT(s.ink(380, 620, 340, 360, true), 50) << "the choice " << s.png;
    ASSERT_TRUE(WR_click(r, l.last_quit, 23));
    const TS_result end = WR_finish(r, 60);
    EXPECT_EQ(end.exit_code, 0) << end.err;
}

INSTANTIATE_TEST_SUITE_P(Languages, TourScreens,
                         testing::Values(Lang{"en_US.UTF-8", 58, 159, 595, 720, 640, 742},
                                         Lang{"ru_RU.UTF-8", 67, 192, 639, 737, 631, 733},
                                         Lang{"fr_FR.UTF-8", 75, 193, 587, 714, 608, 724},
                                         Lang{"de_DE.UTF-8", 78, 204, 622, 732, 601, 722}),
                         [](const testing::TestParamInfo<Lang>& i) { return std::string(i.param.env, 2); });
