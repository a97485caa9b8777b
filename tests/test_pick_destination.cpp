// The Pick Destination page in the real program under Xvfb with Mesa, on simulator copies the
// test builds, with a stand-in zenity first on PATH that records its arguments and answers as the
// test says: copies listed and marked, the question and "Find It" below them, Next dimmed until a
// copy is chosen, a copy found from its "Resources" folder and registered once, the alert for a
// folder inside no copy and for "/", a cancel, and the dialog's title in German.
#include "support/wizard_run.h"

#include <gtest/gtest.h>

namespace {

const WR_rgb kNavy = {23, 40, 60};     // a marked radio box's dot; an enabled picture button's words
const WR_rgb kTitle77 = {51, 51, 204}; // the current step's title
const WR_rgb kEdge = {200, 204, 210};  // the long top and bottom edges of a push button

bool marked(const WR_shot& s, int i)
{
    return s.at(250, 403 - 25 * i) == kNavy;
}
bool next_enabled(const WR_shot& s)
{
    return s.exact(680, 765, 14, 32, kNavy) > 10;
}

// The centre of the push button right of the question under n copies, from the rows its edges
// cover (the page frame at x 790 has their colour too); y -1 when there is none.
std::pair<int, int> find_it_button(const WR_shot& s, int n)
{
    int x = -1, y0 = -1, y1 = -1;
    for (int y = 383 - 25 * n; y <= 423 - 25 * n; ++y) {
        const WR_shot::Box b = s.extent(400, 780, y, y, [](WR_rgb p) { return p == kEdge; });
        if (b.right - b.left < 60) continue;
        x = (b.left + b.right) / 2;
        (y0 < 0 ? y0 : y1) = y;
    }
    return {x, y0 < 0 ? -1 : (y0 + y1 + 1) / 2};
}

struct PickRun {
    WR_run r;
    std::string sims;
};

// A copy of the simulator: a folder with the four subfolders.
std::string make_copy(const std::string& sims, const std::string& name)
{
    for (const char* sub : {"Airfoils", "Instructions", "Output", "Resources"})
        TS_sh("mkdir -p '" + sims + name + "/" + sub + "'");
    return sims + name + "/";
}

// Prepares the run, lets make write the copies and the registry, starts the program and goes from
// Welcome to Pick Destination with Next; the pointer goes away so nothing shows hovered.
WR_shot start(PickRun& p, const TS_xvfb& x, const std::string& name, const std::string& lang,
              const std::function<std::string(const std::string& sims)>& make)
{
    EXPECT_TRUE(WR_prepare(p.r, x, name));
    p.sims = p.r.dir + "sims/";
    const std::string d = p.r.dir;
    TS_sh("mkdir -p '" + p.sims + "elsewhere'");
    WR_stand_in(p.r, "zenity",
                "{ printf '%s\\n' \"$@\"; echo ---; } >> '" + d + "args.txt'\ncat '" + d + "answer.txt'\necho >> '" +
                    d + "ends.txt'\nexit \"$(cat '" + d + "status.txt')\"");
    TS_write_file(d + "args.txt", "");
    TS_write_file(d + "ends.txt", "");
    TS_write_file(p.r.data + "corvane_install_10.txt", make(p.sims));
    EXPECT_TRUE(WR_launch(p.r, {}, {{"LANG", lang}})) << p.r.proc.err;
    WR_wait_for(p.r, "welcome", [](const WR_shot& s) { return s.exact(28, 195, 476, 491, kTitle77) > 5; });
    EXPECT_TRUE(WR_click(p.r, 740, 23)); // Next, in every language
    EXPECT_TRUE(WR_move(p.r, 500, 150));
    return WR_wait_for(p.r, name, [](const WR_shot& s) { return s.exact(28, 195, 456, 471, kTitle77) > 5; });
}

// The dialogs started so far, the arguments of each.
std::vector<std::string> calls(const PickRun& p)
{
    std::vector<std::string> out;
    const std::string all = TS_read_file(p.r.dir + "args.txt");
    for (size_t at = 0, end; (end = all.find("---\n", at)) != std::string::npos; at = end + 4)
        out.push_back(all.substr(at, end - at));
    return out;
}
std::string dialog_args(const std::string& title, const std::string& start)
{
    return "--file-selection\n--directory\n--title=" + title + "\n" + (start.empty() ? "" : "--filename=" + start + "\n");
}

// The dialogs that have given their answer and ended, as the stand-in records them.
size_t ends(const PickRun& p)
{
    return (size_t)TS_count(TS_read_file(p.r.dir + "ends.txt"), "\n");
}

// Clicks "Find It" under n copies with the stand-in answering out and status, until it has
// recorded dialog number `call`, then waits for that dialog's end. A press made while the previous
// dialog was open, or before the page is on screen again after it, answers nothing: the click is
// repeated until a dialog starts, and presses that come while it is open count for nothing.
void find_it(PickRun& p, const WR_shot& s, int n, const std::string& out, int status, size_t call)
{
    TS_write_file(p.r.dir + "answer.txt", out);
    TS_write_file(p.r.dir + "status.txt", std::to_string(status));
    const auto b = find_it_button(s, n);
    ASSERT_GE(b.second, 0) << s.png;
    ASSERT_TRUE(WR_click_until(p.r, b.first, b.second, [&](double wait_s) {
        for (int i = 0; i < 100 && i * 0.1 < wait_s && calls(p).size() < call; ++i) usleep(100 * 1000);
        return calls(p).size() >= call;
    }));
    ASSERT_TRUE(WR_move(p.r, 500, 150));
    for (int i = 0; i < 300 && ends(p) < call; ++i) usleep(100 * 1000);
    ASSERT_EQ(ends(p), call);
    ASSERT_EQ(calls(p).size(), call);
}

// The alert for a folder inside no copy (popup 420 x 260 at (190, 170), lines at y 385 down by 40):
// its second line as wide as the folder's text; Understood brings back copy 0 marked.
void alert_then_understood(PickRun& p, const std::string& name, int lo, int hi)
{
    WR_shot s = WR_wait_for(p.r, name, [](const WR_shot& s) { return s.at(400, 420).sum() < 200; });
    ASSERT_LT(s.at(400, 420).sum(), 200) << "no alert " << s.png;
    const WR_shot::Box line2 = s.extent(200, 600, 340, 356, [](WR_rgb c) { return c.sum() < 450; });
    EXPECT_GE(line2.right - line2.left, lo) << s.png;
    EXPECT_LE(line2.right - line2.left, hi) << s.png;
    for (int i : {0, 2, 3}) EXPECT_GT(s.ink(200, 600, 380 - 40 * i, 396 - 40 * i, true), 50) << i << s.png;
    ASSERT_TRUE(WR_asks(p.r));
    ASSERT_TRUE(WR_click(p.r, 400, 188));
    ASSERT_TRUE(WR_move(p.r, 500, 150));
    s = WR_wait_for(p.r, name + "-understood", [](const WR_shot& s) { return marked(s, 0); });
    EXPECT_TRUE(marked(s, 0) && next_enabled(s)) << "the previous choice comes back " << s.png;
}

} // namespace

TEST(PickDestination, CopiesFindItAndTheAlert)
{
    TS_xvfb x;
    ASSERT_TRUE(TS_xvfb_start(x, "1280x1024x24"));
    const char kTitle[] = "Please select your Corvane 10 folder.";

    // No copy (the registry names only a folder that is gone): the question on the baseline at
    // y 400, Find It centred at y 403 right of it, nothing above them, Next dimmed.
    PickRun p;
    std::string gone, copy;
    WR_shot s = start(p, x, "none", "en_US.UTF-8", [&](const std::string& sims) {
        gone = sims + "gone/";
        copy = make_copy(sims, "Corvane 10");
        return gone + "\n";
    });
    EXPECT_FALSE(next_enabled(s)) << s.png;
    const WR_shot::Box q = s.extent(230, 560, 380, 430, [](WR_rgb c) { return c.sum() < 450; });
    EXPECT_TRUE(q.bottom >= 395 && q.bottom <= 400 && q.top >= 407 && q.top <= 412) << q.bottom << " " << q.top;
    EXPECT_EQ(find_it_button(s, 0).second, 403) << s.png;
    EXPECT_GT(find_it_button(s, 0).first, q.right + 40) << s.png;
    EXPECT_EQ(s.ink(230, 770, 415, 432, true), 0) << s.png;

    // Its "Resources" folder finds the copy: registered, listed and marked, Next enabled.
    find_it(p, s, 0, copy + "Resources\n", 0, 1);
    s = WR_wait_for(p.r, "found", [](const WR_shot& s) { return marked(s, 0); });
    EXPECT_TRUE(marked(s, 0) && next_enabled(s)) << s.png;
    EXPECT_EQ(find_it_button(s, 1).second, 378) << s.png;
    EXPECT_EQ(TS_read_file(p.r.data + "corvane_install_10.txt"), gone + "\n" + copy + "\n");

    // The copy itself again, then a folder inside no copy, then "/", then a cancel.
    find_it(p, s, 1, copy + "\n", 0, 2);
    find_it(p, s, 1, p.sims + "elsewhere\n", 0, 3);
    alert_then_understood(p, "alert-elsewhere", 100, 400);
    EXPECT_EQ(TS_read_file(p.r.data + "corvane_install_10.txt"), gone + "\n" + copy + "\n") << "listed only once";
    find_it(p, s, 1, "/\n", 0, 4);
    alert_then_understood(p, "alert-root", 1, 12);
    find_it(p, s, 1, "", 1, 5);
    // Quit, again until the program ends: the press may come before the page is back on screen.
    ASSERT_TRUE(WR_click_until(p.r, 57, 23, [&p](double wait_s) {
        TS_wait_for_output(p.r.proc, "\x01never", wait_s); // until both its outputs close at its end
        return p.r.proc.out_fd < 0 && p.r.proc.err_fd < 0;
    }));
    EXPECT_EQ(WR_finish(p.r, 60).exit_code, 0);
    EXPECT_EQ(TS_read_file(p.r.data + "corvane_install_10.txt"), gone + "\n" + copy + "\n");
    const std::vector<std::string> c = calls(p);
    ASSERT_EQ(c.size(), 5u);
    EXPECT_EQ(c[0], dialog_args(kTitle, ""));
    for (size_t i = 1; i < c.size(); ++i) EXPECT_EQ(c[i], dialog_args(kTitle, copy)) << i;
    const std::string log = WR_log(p.r);
    EXPECT_NE(log.find("\nYou selected the folder path:\n" + p.sims +
                       "elsewhere/\nBut it does not appear to be an installed copy of Corvane 10.\nPlease be sure to "
                       "select the folder that contains the Corvane application.\n(main:405)\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\nYou selected the folder path:\n/\nBut it does not appear"), std::string::npos);

    // Two copies: two sentences of text, neither marked, Next dimmed; a click marks the second.
    PickRun two;
    s = start(two, x, "two", "en_US.UTF-8", [](const std::string& sims) {
        return make_copy(sims, "Corvane A") + "\n" + make_copy(sims, "Corvane B") + "\n";
    });
    EXPECT_FALSE(marked(s, 0) || marked(s, 1) || next_enabled(s)) << s.png;
    EXPECT_GT(s.ink(230, 770, 424, 434, true), 20) << "a second line of text " << s.png;
    EXPECT_GT(s.ink(262, 500, 373, 387, true), 50) << "the second path " << s.png;
    EXPECT_EQ(find_it_button(s, 2).second, 353) << s.png;
    ASSERT_TRUE(WR_click(two.r, 250, 378));
    ASSERT_TRUE(WR_move(two.r, 500, 150));
    s = WR_wait_for(two.r, "second", [](const WR_shot& s) { return marked(s, 1); });
    EXPECT_TRUE(marked(s, 1) && !marked(s, 0) && next_enabled(s)) << s.png;
    EXPECT_EQ(WR_close(two.r, 60).exit_code, 0);

    // One copy, in German: marked from the start, one sentence, Next enabled; the dialog's title
    // is translated and it starts in the copy; a cancel keeps it.
    PickRun one;
    std::string a;
    s = start(one, x, "one", "de_DE.UTF-8", [&](const std::string& sims) { return (a = make_copy(sims, "A")) + "\n"; });
    EXPECT_TRUE(marked(s, 0) && next_enabled(s)) << s.png;
    EXPECT_EQ(s.ink(230, 770, 424, 434, true), 0) << s.png;
    find_it(one, s, 1, "", 1, 1);
    s = WR_wait_for(one.r, "one-cancelled", [](const WR_shot& s) { return marked(s, 0); });
    EXPECT_TRUE(marked(s, 0)) << s.png;
    EXPECT_EQ(WR_close(one.r, 60).exit_code, 0);
    EXPECT_EQ(calls(one), std::vector<std::string>{dialog_args("Bitte wählen Sie Ihren Corvane-10-Ordner.", a)});
}
