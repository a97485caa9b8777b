// The alert, the language chooser and the engine's two questions in the real window under Xvfb
// with Mesa: each is looked at in a screenshot (backdrop around a centred popup, frame, title,
// texts and buttons) and answered with xdotool, one run of the test program walking through all
// of them, plus a crash alert and an alert raised inside an alert.
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <thread>

namespace {

const char* kLog = "Corvane Installer Log.txt";
const char kOther[] = "0123456789abcdef0123456789abcdef"; // a signature no local file has

// The popups' origins in the 800 x 600 window.
struct Origin {
    int x, y;
};
const Origin kAlert = {190, 170};    // 420 x 260
const Origin kModified = {25, 227};  // 750 x 146
const Origin kTwo = {50, 197};       // 700 x 206

struct ProbeRun {
    TS_proc proc;
    std::string dir;
    const TS_xvfb* x = nullptr;
};

void start(ProbeRun& r, const TS_xvfb& x, std::vector<std::string> args)
{
    r.x = &x;
    r.dir = TS_new_dir("popups");
    args.insert(args.begin(), CORVANE_POPUP_PROBE_EXE);
    ASSERT_TRUE(TS_start(r.proc, args, TS_xvfb_env(x), r.dir));
    ASSERT_TRUE(TS_wait_for_output(r.proc, "ready\n", 60)) << r.proc.out << r.proc.err;
}

bool wait_for(ProbeRun& r, const std::string& text)
{
    return TS_wait_for_output(r.proc, text, 30);
}

void xdo(ProbeRun& r, const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    TS_result res = TS_run(argv, TS_xvfb_env(*r.x), 20);
    EXPECT_EQ(res.exit_code, 0) << res.err;
}

// The window lies at the screen's top-left corner: popup point (ux, uy) of a popup at o is screen
// (o.x + ux, 599 - o.y - uy). The pointer first moves beside the point, so the window sees a move
// even when it already was there.
void move(ProbeRun& r, Origin o, int ux, int uy)
{
    const int sx = o.x + ux, sy = 599 - o.y - uy;
    xdo(r, {"mousemove", std::to_string(sx + 1), std::to_string(sy)});
    xdo(r, {"mousemove", std::to_string(sx), std::to_string(sy)});
}

void click(ProbeRun& r, Origin o, int ux, int uy)
{
    move(r, o, ux, uy);
    xdo(r, {"click", "1"});
}

void key(ProbeRun& r, const std::string& name)
{
    xdo(r, {"key", name});
}

// Nothing new is printed for a while: the window is still waiting for an answer.
bool still_waiting(ProbeRun& r, const std::string& text)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    return !TS_wait_for_output(r.proc, text, 0.2);
}

std::string read_log(const ProbeRun& r)
{
    return TS_read_file(r.dir + kLog);
}

// The window's 800 x 600 pixels as 8-bit RGB rows from the top; the PNG is kept beside them.
using Shot = TS_shot;

Shot screenshot(const ProbeRun& r, const std::string& name)
{
    return TS_screenshot(*r.x, r.dir + name + ".png", 800, 600);
}

// Ink of text in a box of the window (UI rows y0 to y1, columns x0 to x1, ends included): dark
// pixels on a light ground, or light ones on a dark ground.
struct Ink {
    int count = 0, left = 9999, right = -1, bottom = 9999, top = -1;
    std::string extreme; // the darkest (or lightest) pixel
};

Ink ink(const Shot& s, int x0, int x1, int y0, int y1, bool dark)
{
    Ink k;
    int best = dark ? 9999 : -1;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const std::string c = s.ui(x, y);
            int r = 0, g = 0, b = 0;
            if (sscanf(c.c_str(), "%d,%d,%d", &r, &g, &b) != 3) continue;
            const int sum = r + g + b;
            if (dark ? sum >= 450 : sum <= 500) continue;
            ++k.count;
            k.left = std::min(k.left, x);
            k.right = std::max(k.right, x);
            k.bottom = std::min(k.bottom, y);
            k.top = std::max(k.top, y);
            if (dark ? sum < best : sum > best) {
                best = sum;
                k.extreme = c;
            }
        }
    return k;
}

const std::string kText = "49,57,71";    // colour 52, the texts
const std::string kTitle = "241,241,241"; // colour 49, the title of a window with a title band

// A line of text drawn with its baseline at UI y, centred on x (left-aligned from x when left is
// set): its ink lies on that line in the text colour.
void expect_line(const Shot& s, int x, int y, bool left, const std::string& what)
{
    const Ink k = ink(s, left ? x - 10 : 30, 770, y - 4, y + 11, true);
    EXPECT_GT(k.count, 20) << what;
    EXPECT_EQ(k.extreme, kText) << what;
    if (left)
        EXPECT_NEAR(k.left, x + 1, 2) << what;
    else
        EXPECT_NEAR(k.left + k.right, 2 * x - 1, 3) << what;
}

const std::string kBackdrop = "68,85,105"; // colour 43 of the interface sheet
const std::string kTitleBand = "23,40,60";
const std::string kWhite = "255,255,255";

// Takes screenshots until the probe (a pixel) shows, for at most ten seconds.
Shot wait_for_screen(const ProbeRun& r, const std::string& name, int ux, int uy, const std::string& rgb)
{
    Shot s;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    do {
        s = screenshot(r, name);
        if (s.ui(ux, uy) == rgb) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < until);
    return s;
}

// The backdrop fills the window around a popup of w x h centred at its origin o, whose frame
// reaches a few units beyond it, with the dark title band at its top.
void expect_popup(const Shot& s, Origin o, int w, int h, const std::string& what)
{
    ASSERT_TRUE(s.ok()) << what;
    for (auto p : {std::pair<int, int>{1, 1}, {798, 598}, {1, 598}, {798, 1}, {o.x - 12, o.y + h / 2},
                   {o.x + w + 11, o.y + h / 2}, {o.x + w / 2, o.y - 17}, {o.x + w / 2, o.y + h + 6}})
        EXPECT_EQ(s.ui(p.first, p.second), kBackdrop) << what << " at " << p.first << "," << p.second;
    int left = -1, right = -1, bottom = -1, top = -1;
    for (int x = 0; x < 800; ++x)
        if (s.ui(x, o.y + h / 2) != kBackdrop) (left < 0 ? left : right) = x;
    for (int y = 0; y < 600; ++y)
        if (s.ui(o.x + w / 2, y) != kBackdrop) (bottom < 0 ? bottom : top) = y;
    // Centred across: the frame's edges lie as far left of the popup as right of it.
    EXPECT_NEAR(left + right, 2 * o.x + w - 1, 1) << what;
    EXPECT_GE(left, o.x - 9) << what;
    EXPECT_LE(left, o.x) << what;
    EXPECT_GE(bottom, o.y - 14) << what;
    EXPECT_LE(bottom, o.y) << what;
    EXPECT_GE(top, o.y + h - 10) << what;
    EXPECT_LE(top, o.y + h + 4) << what;
    EXPECT_EQ(s.ui(o.x + 20, o.y + h - 10), kTitleBand) << what;
}

// A push button centred at (x, y) of the popup at o, w wide: its white face ends at its edges.
void expect_button(const Shot& s, Origin o, int x, int y, int w, const std::string& what)
{
    EXPECT_EQ(s.ui(o.x + x - w / 2 + 4, o.y + y + 8), kWhite) << what;
    EXPECT_EQ(s.ui(o.x + x + w / 2 - 5, o.y + y + 8), kWhite) << what;
    EXPECT_NE(s.ui(o.x + x - w / 2 - 3, o.y + y + 8), kWhite) << what;
    EXPECT_NE(s.ui(o.x + x + w / 2 + 2, o.y + y + 8), kWhite) << what;
}

// Waits until the log holds n "File: " lines (one per question asked).
bool wait_for_questions(const ProbeRun& r, int n)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < until) {
        if (TS_count(read_log(r), "File: ") >= n) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::string rec(const std::string& path, const std::string& sig)
{
    return "FILE 1 0 0 10 20 " + sig + " " + path + "\n";
}

// An install folder whose files the user changed, in four folders, and its directory file.
std::string make_install(const std::string& root, std::string& directory)
{
    // Deep enough that every path asked about is 160 characters long.
    const std::string install =
        root + "Games/Corvane 10/Custom Scenery/" + std::string(std::max(1, 120 - (int)root.size()), 'x') + "/";
    for (const char* f : {"dirA/f1", "dirA/f2", "dirB/f3", "dirB/f4", "dirC/f5", "dirC/f6", "dirD/f7"}) {
        TS_sh("mkdir -p '" + install + std::string(f).substr(0, 4) + "'");
        TS_write_file(install + f, std::string("changed by the user: ") + f);
    }
    directory = root + "directory.txt";
    TS_write_file(directory, std::string("I\n1000 Corvane release\nINSTALLER\n") + rec("dirA/f1", kOther) +
                                 rec("dirA/f2", kOther) + rec("dirB/f3", kOther) + rec("dirB/f4", kOther) +
                                 rec("dirC/f5", "GONE") + rec("dirC/f6", "GONE") + rec("dirD/f7", kOther) +
                                 rec("dirD/f8", kOther));
    return install;
}

// The child is still running (not yet ended, not a zombie).
bool running(pid_t pid)
{
    const std::string stat = TS_read_file("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

class PopupScreens : public testing::Test {
protected:
    TS_xvfb x;
    void SetUp() override { ASSERT_TRUE(TS_xvfb_start(x, "1280x1024x24")) << "Xvfb did not start"; }
};

} // namespace

TEST_F(PopupScreens, AlertsChooserAndQuestionsAnswerTheirButtonsAndKeys)
{
    std::string directory;
    const std::string install = make_install(TS_new_dir("install-root"), directory);
    ProbeRun r;
    start(r, x, {"--scene=dialogs", "--install=" + install, "--directory=" + directory});

    // A note: Understood, then Return, then Escape accept it; each goes back to the whole window.
    ASSERT_TRUE(wait_for(r, "alert note-click\n"));
    Shot s = wait_for_screen(r, "note", kAlert.x + 20, kAlert.y + 250, kTitleBand);
    expect_popup(s, kAlert, 420, 260, "note");
    EXPECT_EQ(s.ui(400, 300), kWhite); // the panel
    // The title in its band, the four lines 40 apart, centred, and no location line.
    const Ink title = ink(s, 200, 600, kAlert.y + 242, kAlert.y + 262, false);
    EXPECT_EQ(title.extreme, kTitle);
    EXPECT_NEAR(title.left + title.right, 799, 3);
    for (int i = 0; i < 4; ++i) expect_line(s, 400, kAlert.y + 215 - 40 * i, false, "note line " + std::to_string(i));
    EXPECT_EQ(ink(s, 200, 600, kAlert.y + 45, kAlert.y + 80, true).count, 0);
    EXPECT_EQ(ink(s, 200, 600, kAlert.y + 184, kAlert.y + 210, true).count, 0); // between the lines
    // Understood, sized to its label and centred under the panel.
    int face_left = -1, face_right = -1;
    for (int x = 300; x < 500; ++x)
        if (s.ui(x, kAlert.y + 26) == kWhite) (face_left < 0 ? face_left : face_right) = x;
    EXPECT_NEAR(face_left + face_right, 799, 1);
    EXPECT_GT(face_right - face_left, 10);
    click(r, kAlert, 210, 18);
    ASSERT_TRUE(wait_for(r, "returned note-click popup 0\n")) << r.proc.out;
    // The next one in the same place takes a click without the pointer moving.
    ASSERT_TRUE(wait_for(r, "alert note-click-again\n"));
    xdo(r, {"click", "1"});
    ASSERT_TRUE(wait_for(r, "returned note-click-again popup 0\n")) << r.proc.out;
    ASSERT_TRUE(wait_for(r, "alert note-return\n"));
    move(r, kAlert, 100, 100);
    key(r, "Return");
    ASSERT_TRUE(wait_for(r, "returned note-return popup 0\n")) << r.proc.out;
    ASSERT_TRUE(wait_for(r, "alert note-escape\n"));
    key(r, "Escape");
    ASSERT_TRUE(wait_for(r, "returned note-escape popup 0\n")) << r.proc.out;

    // The language chooser: Escape leaves it open; a radio button, then Accept.
    ASSERT_TRUE(wait_for(r, "alert language\n"));
    // Six radio buttons from (185, 180) down, 20 apart; the mark shows on English.
    const std::string mark = "144,226,187";
    auto radio = [&](const Shot& shot, int i) { return shot.ui(kAlert.x + 181, kAlert.y + 183 - 20 * i); };
    s = wait_for_screen(r, "chooser", kAlert.x + 181, kAlert.y + 183, mark);
    expect_popup(s, kAlert, 420, 260, "chooser");
    for (int i = 1; i < 6; ++i) EXPECT_EQ(radio(s, i), kWhite) << i;
    key(r, "Escape");
    EXPECT_TRUE(still_waiting(r, "language: ")) << r.proc.out;
    click(r, kAlert, 185, 164); // French, the second of six
    s = wait_for_screen(r, "chooser-french", kAlert.x + 181, kAlert.y + 163, mark);
    EXPECT_EQ(radio(s, 1), mark);
    EXPECT_EQ(radio(s, 0), kWhite);
    click(r, kAlert, 210, 18);
    ASSERT_TRUE(wait_for(r, "language: 1 popup -1\n")) << r.proc.out;
    // Again: it opens on the language chosen, and Return accepts it.
    ASSERT_TRUE(wait_for(r, "alert language-again\n"));
    s = wait_for_screen(r, "chooser-again", kAlert.x + 181, kAlert.y + 163, mark);
    EXPECT_EQ(radio(s, 0), kWhite);
    xdo(r, {"mousemove", "121", "319", "key", "Return"}); // to rest over the next question's first button
    ASSERT_TRUE(wait_for(r, "language-again: 1 popup -1\n")) << r.proc.out;

    // The modified-file questions: every answer once; folder answers are not asked again.
    ASSERT_TRUE(wait_for(r, "question decide\n"));
    int third_line_end[2] = {0, 0};
    Shot forms[2]; // the install form, then the delete form
    const struct {
        int x, y;
    } answers[5] = {{96, 53}, {96, 28}, {308, 53}, {308, 28}, {584, 28}}; // 1, 2, 4, 5 then 3 (cancel)
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(wait_for_questions(r, i + 1)) << read_log(r);
        if (i == 0 || i == 3) {
            // The install form, then (for a file no longer used) the delete form.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            const std::string name = i == 0 ? "modified-install" : "modified-delete";
            s = wait_for_screen(r, name, kModified.x + 20, kModified.y + 136, kTitleBand);
            expect_popup(s, kModified, 750, 146, name);
            for (int b = 0; b < 5; ++b) {
                const int widths[5] = {160, 160, 260, 260, 200};
                expect_button(s, kModified, answers[b].x, answers[b].y, widths[b], name + " button " + std::to_string(b));
                // The label centred on its button.
                const int bx = kModified.x + answers[b].x, by = kModified.y + answers[b].y;
                const Ink label = ink(s, bx - widths[b] / 2 + 3, bx + widths[b] / 2 - 3, by - 7, by + 6, true);
                EXPECT_NEAR(label.left + label.right, 2 * bx - 1, 4) << name << " label " << b;
            }
            for (int l = 0; l < 3; ++l) expect_line(s, kModified.x + 20, kModified.y + 100 - 10 * l, true, name);
            // The third line of the delete form is the longer one.
            third_line_end[i == 0 ? 0 : 1] = ink(s, 40, 770, kModified.y + 77, kModified.y + 85, true).right;
            forms[i == 0 ? 0 : 1] = s;
        }
        if (i == 0) {
            // Neither key answers a question.
            key(r, "Return");
            key(r, "Escape");
            EXPECT_TRUE(still_waiting(r, "decided")) << r.proc.out;
            EXPECT_EQ(TS_count(read_log(r), "File: "), 1);
        }
        i ? click(r, kModified, answers[i].x, answers[i].y) : xdo(r, {"click", "1"}); // the first without a move
    }
    ASSERT_TRUE(wait_for(r, "decided 0 D-DD----\n")) << r.proc.out;
    EXPECT_GT(third_line_end[1], third_line_end[0] + 100);
    Ink ends; // where the paths' lines differ: only at their ends ("A/f1", "C/f5"), each on its own band
    for (int y = kModified.y + 88; y <= kModified.y + 97; ++y)
        for (int x = 40; x <= 770; ++x)
            if (forms[0].ui(x, y) != forms[1].ui(x, y)) {
                ++ends.count;
                ends.left = std::min(ends.left, x);
                ends.right = std::max(ends.right, x);
            }
    const int path_end = ink(forms[1], 40, 770, kModified.y + 88, kModified.y + 97, true).right;
    EXPECT_TRUE(ends.count && ends.left > path_end - 30 && ends.right < path_end + 3)
        << ends.left << "-" << ends.right << ", " << path_end;
    const std::string log = read_log(r);
    for (const char* f : {"dirA/f1", "dirA/f2", "dirB/f3", "dirC/f5", "dirD/f7"})
        EXPECT_EQ(TS_count(log, "File: " + install + f + "  sig_want="), 1) << f << log;
    EXPECT_EQ(TS_count(log, "File: "), 5) << log;
    EXPECT_EQ(TS_count(log, "  sig_want=GONE  sig_have="), 1) << log;

    // The two-button question: the first button, then the second; keys answer nothing.
    ASSERT_TRUE(wait_for(r, "question first\n"));
    s = wait_for_screen(r, "two", kTwo.x + 20, kTwo.y + 196, kTitleBand);
    expect_popup(s, kTwo, 700, 206, "two");
    expect_button(s, kTwo, 96, 56, 100, "first button");
    expect_button(s, kTwo, 96, 31, 100, "second button");
    expect_line(s, kTwo.x + 20, kTwo.y + 160, true, "top line");
    expect_line(s, kTwo.x + 150, kTwo.y + 53, true, "first text");
    expect_line(s, kTwo.x + 150, kTwo.y + 28, true, "second text");
    move(r, kTwo, 300, 100);
    key(r, "Return");
    key(r, "Escape");
    EXPECT_TRUE(still_waiting(r, "answer first")) << r.proc.out;
    click(r, kTwo, 96, 56);
    ASSERT_TRUE(wait_for(r, "answer first 1 popup 0\n")) << r.proc.out;
    ASSERT_TRUE(wait_for(r, "question second\n"));
    click(r, kTwo, 96, 31);
    ASSERT_TRUE(wait_for(r, "answer second 0 popup 0\n")) << r.proc.out;

    // An alert over the question hides it; going back to the whole window ends the question...
    ASSERT_TRUE(wait_for(r, "question over\n"));
    move(r, kTwo, 300, 100);
    key(r, "a");
    ASSERT_TRUE(wait_for(r, "over: mouse before 300 101\n")) << r.proc.out;
    s = wait_for_screen(r, "over", kAlert.x + 20, kAlert.y + 250, kTitleBand);
    expect_popup(s, kAlert, 420, 260, "alert over the question");
    EXPECT_EQ(s.ui(kTwo.x + 20, kTwo.y + 196), kBackdrop); // the question is hidden
    xdo(r, {"mousemove", "146", "346", "key", "Return"}); // to rest over the next question's first button
    ASSERT_TRUE(wait_for(r, "over: mouse after 300 101 popup 0\n")) << r.proc.out;
    ASSERT_TRUE(wait_for(r, "answer over 3 popup 0\n")) << r.proc.out;
    // ...and going back to the question lets it answer.
    ASSERT_TRUE(wait_for(r, "question back\n"));
    key(r, "b");
    ASSERT_TRUE(wait_for(r, "over: mouse before 96 57\n")) << r.proc.out;
    key(r, "Return");
    ASSERT_TRUE(wait_for(r, "over: mouse after 96 57 popup 997\n")) << r.proc.out;
    xdo(r, {"click", "1"});
    ASSERT_TRUE(wait_for(r, "answer back 1 popup 0\n")) << r.proc.out;

    // A fatal alert: logged, shut down, exit code 0.
    ASSERT_TRUE(wait_for(r, "alert fatal\n"));
    s = wait_for_screen(r, "fatal", kAlert.x + 20, kAlert.y + 250, kTitleBand);
    expect_popup(s, kAlert, 420, 260, "fatal");
    for (int i : {0, 1, 3}) expect_line(s, 400, kAlert.y + 215 - 40 * i, false, "fatal line " + std::to_string(i));
    expect_line(s, 400, kAlert.y + 55, false, "location line");
    click(r, kAlert, 210, 18);
    TS_result end = TS_finish(r.proc, 60);
    EXPECT_FALSE(end.timed_out);
    EXPECT_EQ(end.exit_code, 0) << end.out << end.err;
    EXPECT_EQ(end.out.find("fatal returned"), std::string::npos);
    EXPECT_NE(read_log(r).find("\nThe first line of a fatal alert.\nThe second line.\n\nThe fourth line.\n(hl_init:815)\n"),
              std::string::npos)
        << read_log(r);
    EXPECT_NE(read_log(r).find("\nThe first line of a note.\nThe second line.\nThe third line.\nThe fourth line.\n"
                               "(probe:11)\n"),
              std::string::npos);
    TS_result win = TS_run({"xwininfo", "-name", "Hangaron"}, TS_xvfb_env(x), 20);
    EXPECT_NE(win.exit_code, 0) << "the window is gone";
}

TEST_F(PopupScreens, CrashAndNestedAlertsEndBySigabrt)
{
    ProbeRun r;
    start(r, x, {"--scene=crash"});
    ASSERT_TRUE(wait_for(r, "alert crash\n"));
    TS_write_file(r.dir + "stack_crawl.txt", "an earlier crawl\n");
    click(r, kAlert, 210, 18);
    TS_result end = TS_finish(r.proc, 60);
    EXPECT_EQ(end.signal, 6) << end.out << end.err;
    EXPECT_EQ(end.out.find("crash returned"), std::string::npos);
    const std::string crawl = TS_read_file(r.dir + "stack_crawl.txt");
    EXPECT_EQ(crawl.rfind("an earlier crawl\n", 0), 0u) << crawl; // appended
    EXPECT_NE(crawl.find("ALERT_present"), std::string::npos) << crawl;
    EXPECT_EQ(TS_read_file(r.dir + "crash_log.txt"), ""); // the crash handler wrote no report
    EXPECT_NE(TS_read_file(r.dir + "MemoryLog.txt"), "");
    EXPECT_NE(read_log(r).find("\nThe first line of a crash alert.\n\n\n\n(probe:41)\n"), std::string::npos);

    // An alert inside an alert goes to the message box, writes the memory report and aborts. The
    // box is SDL's (with zenity on the display: it is answered with Return), or standard error
    // where SDL cannot show one.
    ProbeRun n;
    start(n, x, {"--scene=nested"});
    ASSERT_TRUE(wait_for(n, "alert outer\n"));
    move(n, kAlert, 100, 100);
    key(n, "n");
    bool box = false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    auto ended = [&](double wait_s) {
        const auto by = std::chrono::steady_clock::now() + std::chrono::milliseconds((long)(wait_s * 1000));
        while (running(n.proc.pid) && std::chrono::steady_clock::now() < by)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return !running(n.proc.pid);
    };
    while (!box && running(n.proc.pid) && std::chrono::steady_clock::now() < until) {
        const std::string id = TS_find_window(x, "Hangaron Message", 0, true);
        box = !id.empty();
        if (box)
            EXPECT_TRUE(TS_press_in_window(x, id, "Return", ended, 60)) << "the box stayed";
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    end = TS_finish(n.proc, 60);
    EXPECT_EQ(end.signal, 6) << end.out << end.err;
    if (!box) {
        EXPECT_NE(end.err.find("Hangaron Message\n\nA nested note.\n"), std::string::npos) << end.err;
        EXPECT_EQ(end.err.find("(probe:31)"), std::string::npos); // the box shows no location
    }
    EXPECT_NE(TS_read_file(n.dir + "MemoryLog.txt"), "");
    EXPECT_NE(read_log(n).find("\nA nested note.\n\n\n\n(probe:31)\n"), std::string::npos) << read_log(n);
    EXPECT_EQ(TS_read_file(n.dir + "stack_crawl.txt"), "");
}
