// The file and folder dialogs: with a stand-in zenity first on PATH (it records its arguments and
// answers as each case chooses) the arguments of every kind, choices, cancels and failures; then
// once the real zenity under Xvfb, answered with xdotool while the window keeps getting its events.
#include "foundation/log.h"
#include "frame/file_dialogs.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct StandIn : testing::Test {
    std::string dir, bin, old_path, log_path;
    void SetUp() override
    {
        dir = TS_new_dir("dialogs");
        bin = dir + "bin/";
        mkdir(bin.c_str(), 0755);
        TS_write_file(bin + "zenity", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + dir + "args.txt'\ncat '" + dir +
                                          "answer.txt'\nexit \"$(cat '" + dir + "status.txt')\"\n");
        chmod((bin + "zenity").c_str(), 0755);
        old_path = getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin";
        setenv("PATH", (bin + ":" + old_path).c_str(), 1);
        log_path = dir + "log.txt";
        gLog.open(log_path);
    }
    void TearDown() override
    {
        gLog.close();
        setenv("PATH", old_path.c_str(), 1);
    }
    // Sets what the stand-in answers and forgets what it recorded last.
    void answer(const std::string& out, int status)
    {
        TS_write_file(dir + "answer.txt", out);
        TS_write_file(dir + "status.txt", std::to_string(status));
        unlink((dir + "args.txt").c_str());
    }
    std::string args() { return access((dir + "args.txt").c_str(), F_OK) == 0 ? TS_read_file(dir + "args.txt") : "(none)"; }
    std::string log()
    {
        gLog.flush();
        return TS_read_file(log_path);
    }
};

TEST_F(StandIn, ArgumentsOfEachKindAndWhatACancelLeaves)
{
    struct Case {
        int kind;
        std::string start, path_in, expected_args, path_after;
    };
    const Case cases[] = {
        {0, "", "old", "--file-selection\n--title=Open it\n", ""},
        {0, "/d/e", "old", "--file-selection\n--title=Open it\n--filename=/d/e/\n", ""},
        {1, "", "", "--file-selection\n--save\n--title=Open it\n", ""},
        {1, "", "name.txt", "--file-selection\n--save\n--title=Open it\n--filename=name.txt\n", "name.txt"},
        {1, "/d/e/", "name.txt", "--file-selection\n--save\n--title=Open it\n--filename=/d/e/name.txt\n", "name.txt"},
        {1, "/d/e/", "", "--file-selection\n--save\n--title=Open it\n--filename=/d/e/\n", ""},
        {2, "", "/keep/", "--file-selection\n--directory\n--title=Open it\n", "/keep/"},
        {2, "/a b/c d", "/a b/c d", "--file-selection\n--directory\n--title=Open it\n--filename=/a b/c d/\n",
         "/a b/c d"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.kind) + " [" + c.start + "] [" + c.path_in + "]");
        answer("", 1);
        std::string path = c.path_in;
        EXPECT_FALSE(FILE_show_dialog(c.kind, "Open it", "Select", 1, c.start, path));
        EXPECT_EQ(args(), c.expected_args);
        EXPECT_EQ(path, c.path_after);
    }
    // The same string as start folder and result, as the Pick Destination step passes it.
    answer("/x/y\n", 0);
    std::string both = "/s t/";
    EXPECT_TRUE(FILE_show_dialog(FILE_dialog_folder, "Wählen Sie", "", 0, both, both));
    EXPECT_EQ(args(), "--file-selection\n--directory\n--title=Wählen Sie\n--filename=/s t/\n");
    EXPECT_EQ(both, "/x/y/");
    EXPECT_EQ(log(), "") << "a cancel is no fault";
}

TEST_F(StandIn, ChoicesComeBackAsGiven)
{
    struct Case {
        int kind;
        std::string out, path;
    };
    const Case cases[] = {
        {0, "/x/a file.txt\n", "/x/a file.txt"},
        {1, "/x/new name\n", "/x/new name"},
        {2, "/x/a b\n", "/x/a b/"},
        {2, "/x/a b/\n", "/x/a b/"},
        {2, "/\n", "/"},
        {0, "/x/back\\slash:colon\n", "/x/back\\slash:colon"},
        {2, "/x/no line feed", "/x/no line feed/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.out);
        answer(c.out, 0);
        std::string path = "proposed";
        EXPECT_TRUE(FILE_show_dialog(c.kind, "Pick", "Select", 1, "", path));
        EXPECT_EQ(path, c.path);
    }

    // Signals arriving all through the wait change nothing, and the dialog is always reaped.
    struct sigaction sa = {}, old = {};
    sa.sa_handler = [](int) {};
    sigaction(SIGALRM, &sa, &old); // no SA_RESTART: every wait is interrupted
    itimerval every_ms = {{0, 1000}, {0, 1000}}, stop = {};
    setitimer(ITIMER_REAL, &every_ms, nullptr);
    TS_write_file(dir + "answer.txt", "/x/late\n");
    TS_write_file(bin + "zenity", "#!/bin/sh\nsleep 0.3\ncat '" + dir + "answer.txt'\n");
    std::string path;
    const bool chosen = FILE_show_dialog(FILE_dialog_folder, "Pick", "Select", 1, "", path);
    setitimer(ITIMER_REAL, &stop, nullptr);
    sigaction(SIGALRM, &old, nullptr);
    EXPECT_TRUE(chosen);
    EXPECT_EQ(path, "/x/late/");
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD) << "a dialog was left unreaped";
    EXPECT_EQ(log(), "");
}

TEST_F(StandIn, FailuresAreCancelsWithOneLogLine)
{
    std::string path = "/keep/";
    answer("/x/\n", 5);
    EXPECT_FALSE(FILE_show_dialog(FILE_dialog_folder, "Pick", "Select", 1, "", path));
    EXPECT_EQ(path, "/keep/");
    EXPECT_EQ(log(), "WARNING: the file dialog (zenity) ended with status 5; taken as a cancel\n");

    answer("", 0);
    path = "old";
    EXPECT_FALSE(FILE_show_dialog(FILE_dialog_open, "Pick", "Select", 1, "", path));
    EXPECT_EQ(path, "");
    // An answer longer than any path is dropped whole.
    answer(std::string(70000, 'a') + "\n", 0);
    path = "/keep/";
    EXPECT_FALSE(FILE_show_dialog(FILE_dialog_folder, "Pick", "Select", 1, "", path));
    EXPECT_EQ(path, "/keep/");
    EXPECT_EQ(TS_count(log(), "WARNING: the file dialog (zenity) chose nothing; taken as a cancel\n"), 2);

    // No zenity anywhere on PATH.
    setenv("PATH", dir.c_str(), 1);
    path = "name.txt";
    EXPECT_FALSE(FILE_show_dialog(FILE_dialog_save, "Pick", "Select", 1, "/d/", path));
    EXPECT_EQ(path, "name.txt");
    EXPECT_EQ(TS_count(log(), "WARNING: the file dialog could not be started (zenity: No such file or directory)\n"), 1);

    // A kind this program does not know starts nothing and says nothing.
    setenv("PATH", (bin + ":" + old_path).c_str(), 1);
    answer("/x/\n", 0);
    const std::string before = log();
    path = "/keep/";
    EXPECT_FALSE(FILE_show_dialog(7, "Pick", "Select", 1, "/d/", path));
    EXPECT_EQ(path, "/keep/");
    EXPECT_EQ(args(), "(none)");
    EXPECT_EQ(log(), before);
}

// The real zenity over the program's window: the window's pointer moves and presses arrive while
// the dialog is up, none is left over once it closes; Ctrl+L, a typed path and Return choose that
// folder, Escape cancels and leaves the path alone.
TEST(RealZenity, ChosenByTypingAndCancelledByEscape)
{
    TS_xvfb x;
    ASSERT_TRUE(TS_xvfb_start(x, "1280x1024x24"));
    const std::string dir = TS_new_dir("real");
    const std::string chosen = dir + "a b/Resources";
    TS_sh("mkdir -p '" + chosen + "'");
    auto xdo = [&](const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        TS_result r = TS_run(argv, TS_xvfb_env(x), 20);
        EXPECT_EQ(r.exit_code, 0) << r.err;
    };

    TS_proc p;
    ASSERT_TRUE(TS_start(p, {CORVANE_DIALOG_PROBE_EXE, dir}, TS_xvfb_env(x), dir));
    ASSERT_TRUE(TS_wait_for_output(p, "asking 1\n", 60)) << p.out << p.err;
    std::string id = TS_find_window(x, "Choose a folder 1", 30);
    ASSERT_NE(id, "") << p.err;
    xdo({"windowmove", "--sync", id, "820", "0"}); // off the program's window
    xdo({"mousemove", "100", "151"});
    xdo({"mousemove", "100", "150"});
    EXPECT_TRUE(TS_wait_for_output(p, "event move 100 450\n", 30)) << p.out;
    xdo({"click", "1"});
    EXPECT_TRUE(TS_wait_for_output(p, "event down\n", 30)) << p.out;
    xdo({"windowfocus", "--sync", id});
    xdo({"key", "ctrl+l"});
    xdo({"type", "--delay", "20", chosen});
    xdo({"key", "Return"});
    ASSERT_TRUE(TS_wait_for_output(p, "result 1 ", 60)) << p.out << p.err;
    EXPECT_TRUE(TS_wait_for_output(p, "result 1 1 [" + chosen + "/] down 0\n", 10)) << p.out;

    ASSERT_TRUE(TS_wait_for_output(p, "asking 2\n", 30)) << p.out;
    id = TS_find_window(x, "Choose a folder 2", 30);
    ASSERT_NE(id, "");
    xdo({"windowfocus", "--sync", id});
    xdo({"key", "Escape"});
    EXPECT_TRUE(TS_wait_for_output(p, "result 2 0 [" + chosen + "/] down 0\n", 60)) << p.out;
    TS_result r = TS_finish(p, 60);
    EXPECT_EQ(r.exit_code, 0) << r.err;
}

} // namespace
