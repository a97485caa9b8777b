// The file and folder dialogs: with a stand-in zenity first on PATH (it records its arguments and
// answers as each case says) the arguments of every kind, choices, cancels and failures; then
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

TEST(FileDialogs, StandInZenity)
{
    const std::string dir = TS_new_dir("dialogs"), bin = dir + "bin/", args = dir + "args.txt";
    mkdir(bin.c_str(), 0755);
    TS_write_script(bin + "zenity", "printf '%s\\n' \"$@\" > '" + args + "'\nsleep \"$(cat '" + dir +
                                        "delay.txt')\"\ncat '" + dir + "answer.txt'\nexit \"$(cat '" + dir + "status.txt')\"\n");
    const std::string old_path = getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin";
    setenv("PATH", (bin + ":" + old_path).c_str(), 1);
    gLog.open(dir + "log.txt");
    const std::string kFS = "--file-selection\n", kTitle = "--title=Wählen Sie\n";
    const std::string kStatus5 = "WARNING: the file dialog (zenity) ended with status 5; taken as a cancel\n";
    const std::string kNothing = "WARNING: the file dialog (zenity) chose nothing; taken as a cancel\n";
    struct Case {
        int kind;
        std::string start, path_in, out;
        int status;
        bool chosen;
        std::string path, args, log;
    };
    const Case cases[] = {
        // Arguments by kind, and what a cancel leaves: open empties, save keeps the name, folder keeps all.
        {0, "", "old", "", 1, false, "", kFS + kTitle, ""},
        {0, "/d/e", "old", "", 1, false, "", kFS + kTitle + "--filename=/d/e/\n", ""},
        {1, "", "", "", 1, false, "", kFS + "--save\n" + kTitle, ""},
        {1, "", "n.txt", "", 1, false, "n.txt", kFS + "--save\n" + kTitle + "--filename=n.txt\n", ""},
        {1, "/d/e/", "n.txt", "", 1, false, "n.txt", kFS + "--save\n" + kTitle + "--filename=/d/e/n.txt\n", ""},
        {1, "/d/e/", "", "", 1, false, "", kFS + "--save\n" + kTitle + "--filename=/d/e/\n", ""},
        {2, "", "/keep/", "", 1, false, "/keep/", kFS + "--directory\n" + kTitle, ""},
        {2, "/a b/c d", "/keep/", "", 1, false, "/keep/", kFS + "--directory\n" + kTitle + "--filename=/a b/c d/\n", ""},
        // Choices as zenity gives them, less the final line feed; a folder ends in one '/'.
        {0, "", "", "/x/a file.txt\n", 0, true, "/x/a file.txt", kFS + kTitle, ""},
        {1, "", "n", "/x/new name\n", 0, true, "/x/new name", kFS + "--save\n" + kTitle + "--filename=n\n", ""},
        {2, "", "", "/x/a b\n", 0, true, "/x/a b/", kFS + "--directory\n" + kTitle, ""},
        {2, "", "", "/x/a b/\n", 0, true, "/x/a b/", kFS + "--directory\n" + kTitle, ""},
        {2, "", "", "/\n", 0, true, "/", kFS + "--directory\n" + kTitle, ""},
        {0, "", "", "/x/back\\slash:colon\n", 0, true, "/x/back\\slash:colon", kFS + kTitle, ""},
        {2, "", "", "/x/no line feed", 0, true, "/x/no line feed/", kFS + "--directory\n" + kTitle, ""},
        // Other endings are cancels with a log line; an answer longer than any path is dropped.
        {2, "", "/keep/", "/x/\n", 5, false, "/keep/", kFS + "--directory\n" + kTitle, kStatus5},
        {0, "", "old", "", 0, false, "", kFS + kTitle, kNothing},
        {2, "", "/keep/", std::string(70000, 'a') + "\n", 0, false, "/keep/", kFS + "--directory\n" + kTitle, kNothing},
    };
    TS_write_file(dir + "delay.txt", "0");
    std::string log;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.kind) + " [" + c.start + "] [" + c.path_in + "] " + c.out.substr(0, 30));
        TS_write_file(dir + "answer.txt", c.out);
        TS_write_file(dir + "status.txt", std::to_string(c.status));
        std::string path = c.path_in;
        EXPECT_EQ(FILE_show_dialog(c.kind, "Wählen Sie", "Select", 1, c.start, path), c.chosen);
        EXPECT_EQ(path, c.path);
        EXPECT_EQ(TS_read_file(args), c.args);
        log += c.log;
        EXPECT_EQ(TS_read_log(dir + "log.txt"), log);
    }

    // The step passes one string as start folder and result. Signals all through the wait
    // change nothing (no SA_RESTART: every wait is interrupted), and the dialog is reaped.
    struct sigaction sa = {}, old = {};
    sa.sa_handler = [](int) {};
    sigaction(SIGALRM, &sa, &old);
    itimerval every_ms = {{0, 1000}, {0, 1000}}, stop = {};
    TS_write_file(dir + "delay.txt", "0.3");
    TS_write_file(dir + "answer.txt", "/x/late\n");
    std::string both = "/s t/";
    setitimer(ITIMER_REAL, &every_ms, nullptr);
    EXPECT_TRUE(FILE_show_dialog(FILE_dialog_folder, "Wählen Sie", "", 0, both, both));
    setitimer(ITIMER_REAL, &stop, nullptr);
    sigaction(SIGALRM, &old, nullptr);
    EXPECT_EQ(both, "/x/late/");
    EXPECT_EQ(TS_read_file(args), kFS + "--directory\n" + kTitle + "--filename=/s t/\n");
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD) << "a dialog was left unreaped";

    // A kind this program does not know starts nothing; without zenity on PATH, a log line.
    unlink(args.c_str());
    std::string path = "/keep/";
    EXPECT_FALSE(FILE_show_dialog(7, "Pick", "", 0, "/d/", path));
    EXPECT_EQ(path, "/keep/");
    EXPECT_NE(access(args.c_str(), F_OK), 0);
    setenv("PATH", dir.c_str(), 1);
    path = "n.txt";
    EXPECT_FALSE(FILE_show_dialog(FILE_dialog_save, "Pick", "", 0, "/d/", path));
    EXPECT_EQ(path, "n.txt");
    setenv("PATH", old_path.c_str(), 1);
    EXPECT_EQ(TS_read_log(dir + "log.txt"),
              log + "WARNING: the file dialog could not be started (zenity: No such file or directory)\n");
    gLog.close();
}

// The real zenity over the program's window: pointer moves and presses reach the window procedure
// while the dialog is up, and none is left for the rest of the frame; Ctrl+L, a typed path and
// Return choose that folder; Escape cancels and leaves the path alone.
TEST(FileDialogs, RealZenityUnderXvfb)
{
    TS_xvfb x;
    ASSERT_TRUE(TS_xvfb_start(x, "1280x1024x24"));
    const std::string dir = TS_new_dir("real"), chosen = dir + "a b/Resources";
    TS_sh("mkdir -p '" + chosen + "'");
    auto xdo = [&](const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        EXPECT_EQ(TS_run(argv, TS_xvfb_env(x), 20).exit_code, 0) << args[0];
    };
    TS_proc p;
    ASSERT_TRUE(TS_start(p, {CORVANE_DIALOG_PROBE_EXE, dir}, TS_xvfb_env(x), dir));
    ASSERT_TRUE(TS_wait_for_output(p, "asking 1\n", 60)) << p.out << p.err;
    std::string id = TS_find_window(x, "Choose a folder 1", 30, true);
    ASSERT_NE(id, "") << p.err;
    xdo({"windowmove", "--sync", id, "820", "0"}); // off the program's window
    xdo({"mousemove", "100", "151"});
    xdo({"mousemove", "100", "150"});
    EXPECT_TRUE(TS_wait_for_output(p, "event move 100 450\n", 30)) << p.out;
    xdo({"click", "1"});
    EXPECT_TRUE(TS_wait_for_output(p, "event down\n", 30)) << p.out;
    ASSERT_TRUE(TS_focus_window(x, id, 30));
    xdo({"key", "ctrl+l"});
    xdo({"type", "--delay", "20", chosen});
    xdo({"key", "Return"});
    EXPECT_TRUE(TS_wait_for_output(p, "result 1 1 [" + chosen + "/] down 0\n", 60)) << p.out << p.err;

    ASSERT_TRUE(TS_wait_for_output(p, "asking 2\n", 30)) << p.out;
    id = TS_find_window(x, "Choose a folder 2", 30, true);
    ASSERT_NE(id, "");
    const std::string cancelled = "result 2 0 [" + chosen + "/] down 0\n";
    EXPECT_TRUE(TS_press_in_window(x, id, "Escape", [&](double s) { return TS_wait_for_output(p, cancelled, s); }, 60))
        << p.out;
    EXPECT_EQ(TS_finish(p, 60).exit_code, 0);
}
