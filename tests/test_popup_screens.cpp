// The alert, the language chooser and the engine's two questions in the real window under Xvfb
// with Mesa: each is looked at in a screenshot and answered with xdotool, one run of the test
// program walking through all of them, plus a crash alert and an alert raised inside an alert.
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <chrono>
#include <map>
#include <thread>

namespace {

const char* kLog = "Corvane Installer Log.txt";
const char kOther[] = "0123456789abcdef0123456789abcdef"; // a signature no local file has

std::map<std::string, std::string> env_for(const TS_xvfb& x)
{
    return {{"DISPLAY", x.display}, {"WAYLAND_DISPLAY", ""}, {"LIBGL_ALWAYS_SOFTWARE", "1"}, {"SDL_VIDEODRIVER", ""}};
}

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
    ASSERT_TRUE(TS_start(r.proc, args, env_for(x), r.dir));
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
    TS_result res = TS_run(argv, env_for(*r.x), 20);
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
    const std::string install = root + "install/";
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
    click(r, kAlert, 210, 18);
    ASSERT_TRUE(wait_for(r, "returned note-click popup 0\n")) << r.proc.out;
    ASSERT_TRUE(wait_for(r, "alert note-return\n"));
    move(r, kAlert, 100, 100);
    key(r, "Return");
    ASSERT_TRUE(wait_for(r, "returned note-return popup 0\n")) << r.proc.out;
    ASSERT_TRUE(wait_for(r, "alert note-escape\n"));
    key(r, "Escape");
    ASSERT_TRUE(wait_for(r, "returned note-escape popup 0\n")) << r.proc.out;

    // The language chooser: Escape leaves it open; a radio button, then Accept.
    ASSERT_TRUE(wait_for(r, "alert language\n"));
    key(r, "Escape");
    EXPECT_TRUE(still_waiting(r, "language ")) << r.proc.out;
    click(r, kAlert, 185, 164); // French, the second of six
    click(r, kAlert, 210, 18);
    ASSERT_TRUE(wait_for(r, "language 1 popup -1\n")) << r.proc.out;

    // The modified-file questions: every answer once; folder answers are not asked again.
    ASSERT_TRUE(wait_for(r, "question decide\n"));
    const struct {
        int x, y;
    } answers[5] = {{96, 53}, {96, 28}, {308, 53}, {308, 28}, {584, 28}}; // 1, 2, 4, 5 then 3 (cancel)
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(wait_for_questions(r, i + 1)) << read_log(r);
        if (i == 0) {
            // Neither key answers a question.
            move(r, kModified, 300, 100);
            key(r, "Return");
            key(r, "Escape");
            EXPECT_TRUE(still_waiting(r, "decided")) << r.proc.out;
            EXPECT_EQ(TS_count(read_log(r), "File: "), 1);
        }
        click(r, kModified, answers[i].x, answers[i].y);
    }
    ASSERT_TRUE(wait_for(r, "decided 0 D-DD----\n")) << r.proc.out;
    const std::string log = read_log(r);
    for (const char* f : {"dirA/f1", "dirA/f2", "dirB/f3", "dirC/f5", "dirD/f7"})
        EXPECT_EQ(TS_count(log, "File: " + install + f + "  sig_want="), 1) << f << log;
    EXPECT_EQ(TS_count(log, "File: "), 5) << log;
    EXPECT_EQ(TS_count(log, "  sig_want=GONE  sig_have="), 1) << log;

    // The two-button question: the first button, then the second; keys answer nothing.
    ASSERT_TRUE(wait_for(r, "question first\n"));
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
    click(r, kAlert, 210, 18);
    ASSERT_TRUE(wait_for(r, "over: mouse after 300 101 popup 0\n")) << r.proc.out;
    ASSERT_TRUE(wait_for(r, "answer over 3 popup 0\n")) << r.proc.out;
    // ...and going back to the question lets it answer.
    ASSERT_TRUE(wait_for(r, "question back\n"));
    move(r, kTwo, 400, 150);
    key(r, "b");
    ASSERT_TRUE(wait_for(r, "over: mouse before 400 151\n")) << r.proc.out;
    click(r, kAlert, 210, 18);
    ASSERT_TRUE(wait_for(r, "over: mouse after 400 151 popup 997\n")) << r.proc.out;
    click(r, kTwo, 96, 56);
    ASSERT_TRUE(wait_for(r, "answer back 1 popup 0\n")) << r.proc.out;

    // A fatal alert: logged, shut down, exit code 0.
    ASSERT_TRUE(wait_for(r, "alert fatal\n"));
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
    TS_result win = TS_run({"xwininfo", "-name", "Hangaron"}, env_for(x), 20);
    EXPECT_NE(win.exit_code, 0) << "the window is gone";
}

TEST_F(PopupScreens, CrashAndNestedAlertsEndBySigabrt)
{
    ProbeRun r;
    start(r, x, {"--scene=crash"});
    ASSERT_TRUE(wait_for(r, "alert crash\n"));
    click(r, kAlert, 210, 18);
    TS_result end = TS_finish(r.proc, 60);
    EXPECT_EQ(end.signal, 6) << end.out << end.err;
    EXPECT_EQ(end.out.find("crash returned"), std::string::npos);
    const std::string crawl = TS_read_file(r.dir + "stack_crawl.txt");
    EXPECT_NE(crawl.find("ALERT_present"), std::string::npos) << crawl;
    EXPECT_EQ(TS_read_file(r.dir + "crash_log.txt"), ""); // the crash handler wrote no report
    EXPECT_NE(TS_read_file(r.dir + "MemoryLog.txt"), "");
    EXPECT_NE(read_log(r).find("\nThe first line of a crash alert.\n\n\n\n(probe:41)\n"), std::string::npos);

    // An alert inside an alert goes to the message box (standard error here, with no dialog tool
    // on the display), writes the memory report and aborts.
    ProbeRun n;
    start(n, x, {"--scene=nested"});
    ASSERT_TRUE(wait_for(n, "alert outer\n"));
    move(n, kAlert, 100, 100);
    key(n, "n");
    end = TS_finish(n.proc, 60);
    EXPECT_EQ(end.signal, 6) << end.out << end.err;
    EXPECT_NE(end.err.find("Hangaron Message\n\nA nested note.\n"), std::string::npos) << end.err;
    EXPECT_EQ(end.err.find("(probe:31)"), std::string::npos); // the box shows no location
    EXPECT_NE(TS_read_file(n.dir + "MemoryLog.txt"), "");
    EXPECT_NE(read_log(n).find("\nA nested note.\n\n\n\n(probe:31)\n"), std::string::npos) << read_log(n);
    EXPECT_EQ(TS_read_file(n.dir + "stack_crawl.txt"), "");
}
