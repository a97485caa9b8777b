// The whole update through the window: the real program under Xvfb with Mesa, clicked with
// xdotool through every step against nginx on 127.0.0.1 (the look-up host and two update
// servers, reached through the proxy preferences; the second one forwarded to the fault server
// where a server fails), on releases that scripts/make-release makes with the real zip. Each run
// has its own HOME, XDG_DATA_HOME and TMPDIR with the copy registered; the copy is checked with
// md5sum afterwards and the scratch folder beside it found unchanged. Screenshots of every step
// are kept in the scratch folder and checked for the current step in the left panel.
#include "app/server_search.h"
#include "support/test_servers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <sys/stat.h>
#include <thread>

namespace {

using steady = std::chrono::steady_clock;

// Window pixels (the window lies at the screen's top-left corner, 800 x 600).
struct Pt {
    int x, y;
};
const Pt kNext = {719, 577};
const Pt kBack = {594, 577};
const Pt kQuit = {58, 577};
const Pt kLastQuit = {742, 577}; // Next drawn as Quit on Finish
const Pt kChoice = {500, 249};   // the first choice button
const Pt kAct = {121, 319};      // the changed-file question: overwrite or delete
const Pt kKeep = {121, 344};     // and keep the old file
const Pt kCancel = {609, 344};   // the changed-file question: cancel the whole installation
const Pt kStop = {146, 346};     // the stop question's first button
const Pt kContinue = {146, 371}; // and its second

enum { welcome, pick, search, check, install, finish };

std::string read(const std::string& path)
{
    return TS_read_file(path);
}

struct UpdateWindow : testing::Test {
    static TS_xvfb* sX;
    TS_server nginx, fault;
    std::string rel, copy;     // make-release's folder and its copy
    std::string dir, log;      // this run's program folder (its log beside it) and its homes
    std::string outside, outside_before;
    std::map<std::string, std::string> env; // the program's environment
    TS_proc app;
    int shots = 0;
    size_t asked_to = 0;       // the log up to the last view that asked and was on screen
    bool folder_given = false; // the copy named on the command line: no Pick Destination

    static void SetUpTestSuite()
    {
        sX = new TS_xvfb;
        ASSERT_TRUE(TS_xvfb_start(*sX, "1024x768x24"));
    }
    static void TearDownTestSuite()
    {
        delete sX;
        sX = nullptr;
    }
    void TearDown() override
    {
        if (app.pid > 0) TS_finish(app, 1);
        if (!outside.empty()) {
            EXPECT_EQ(scratch_state(), outside_before);
        }
    }

    // The folder beside the copy, and whatever escaped anywhere in the scratch folder: the
    // temporary folders of the program (its TMPDIR) and of make-release (the hostile release's
    // absolute names) lie in it.
    std::string scratch_state()
    {
        return TS_sh("md5sum '" + outside + "'*; find '" + TS_scratch() + "' -name '*escaped*'");
    }

    // The release, nginx serving it (the second server through the fault server with bad_dir; an
    // earlier release's servers stopped), and a folder beside the copy that must stay as it is.
    void make(const std::string& kind, int files, const std::string& bad_dir = "",
              std::vector<std::string> extra = {})
    {
        TS_server_stop(nginx);
        TS_server_stop(fault);
        rel = TS_new_dir("release-" + kind);
        std::vector<std::string> argv = {"/usr/bin/python3", TS_MAKE_RELEASE, rel, "--kind", kind, "--files",
                                         std::to_string(files), "--server", TS_S1,
                                         std::string("--server=") + TS_S2 + (bad_dir.empty() ? "" : "=" + bad_dir)};
        argv.insert(argv.end(), extra.begin(), extra.end());
        const TS_result r = TS_run(argv, {}, 300);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        copy = rel + "copy/";
        std::map<std::string, std::string> roots = {{LOOKUP_HOST, rel + "www/lookup"}, {TS_S1, rel + "www/release"},
                                                    {TS_S2, rel + "www/release"}};
        if (!bad_dir.empty()) {
            ASSERT_TRUE(TS_fault_server_start(fault));
            roots[TS_S2] = "http://127.0.0.1:" + std::to_string(fault.port);
            // Further servers with a folder of their own are the fault server's too.
            for (const std::string& a : extra)
                if (a.rfind("--server=", 0) == 0) roots[a.substr(9, a.find('=', 9) - 9)] = roots[TS_S2];
            // What heldfile/ trickles out is the release's own archives.
            auto held = [](const std::string& a) { return a.find("=/heldfile/") != std::string::npos; };
            if (std::any_of(argv.begin(), argv.end(), held))
                TS_sh("cp -r '" + rel + "www/release/rel' '" + fault.dir + "files'");
        }
        ASSERT_TRUE(TS_nginx_start(nginx, roots));
        outside = rel + "outside/";
        TS_sh("mkdir -p '" + outside + "' && echo keep > '" + outside + "sentinel.txt'");
        outside_before = scratch_state();
    }

    // The program in a folder of its own, with the copy registered and nginx as the proxy; it
    // starts in its own folder unless another working folder is given.
    void start(const std::vector<std::string>& args = {}, const std::string& working = "",
               const std::map<std::string, std::string>& extra = {})
    {
        folder_given = !args.empty();
        asked_to = 0;
        dir = TS_new_dir("run");
        for (const char* d : {"home", "data", "tmp", "config"}) TS_sh("mkdir -p '" + dir + d + "'");
        TS_write_file(dir + "data/corvane_install_10.txt", copy + "\n");
        const std::string port = std::to_string(nginx.port);
        TS_write_file(dir + "data/Corvane Installer.prf",
                      "I\n10 version\n_proxy_host 127.0.0.1\n_proxy_port " + port + "\n_proxy_port_int " + port +
                          "\n_log_actions 1\n");
        TS_sh(std::string("cp '") + CORVANE_UPDATER_EXE + "' '" + dir + "corvane-updater'");
        log = dir + TS_LOG_NAME;
        env = TS_xvfb_env(*sX);
        env["HOME"] = dir + "home";
        env["XDG_DATA_HOME"] = dir + "data";
        env["XDG_CONFIG_HOME"] = dir + "config";
        env["TMPDIR"] = dir + "tmp";
        env["LANG"] = "en_US.UTF-8";
        for (const auto& e : extra) env[e.first] = e.second;
        std::vector<std::string> argv = {dir + "corvane-updater"};
        argv.insert(argv.end(), args.begin(), args.end());
        ASSERT_TRUE(TS_start(app, argv, env, working.empty() ? dir : working));
    }

    TS_shot shot(const std::string& name)
    {
        return TS_screenshot(*sX, dir + std::to_string(++shots) + "-" + name + ".png", 800, 600);
    }
    TS_shot poll() { return TS_screenshot(*sX, dir + "poll.png", 800, 600); }

    // The step the left panel shows as current: the title drawn bold in colour 77 (0.2, 0.2, 0.8);
    // -1 when no title is.
    static int current_step(const TS_shot& s)
    {
        int best = -1, best_n = 0;
        for (int i = 0; i < 6; ++i) {
            const int base = 480 - 20 * i;
            int n = 0;
            for (int uy = base - 3; uy <= base + 11; ++uy)
                for (int ux = 25; ux < 200; ++ux) {
                    int c[3];
                    s.rgb_at(ux, s.h - 1 - uy, c);
                    if (std::abs(c[0] - 51) < 40 && std::abs(c[1] - 51) < 40 && c[2] > 150) ++n;
                }
            if (n > best_n) {
                best_n = n;
                best = i;
            }
        }
        return best_n >= 8 ? best : -1;
    }

    // Screenshots until the step shows (the last one is kept under name), or until the log holds
    // passed: a short step may end before any screenshot finds it.
    TS_shot wait_step(int step, const std::string& name, double timeout_s = 90, const std::string& passed = "")
    {
        const auto start = steady::now();
        TS_shot s;
        while (steady::now() - start < std::chrono::duration<double>(timeout_s)) {
            if (!passed.empty() && TS_count(read(log), passed) > 0) return s;
            s = poll();
            if (s.ok() && current_step(s) == listed(step)) return shot(name);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        }
        ADD_FAILURE() << "step " << step << " (" << name << ") did not show; the left panel shows "
                      << (s.ok() ? current_step(s) : -2) << "\n"
                      << read(log).substr(read(log).size() > 3000 ? read(log).size() - 3000 : 0);
        return s;
    }

    // A step's place in the left panel.
    int listed(int step) const { return folder_given && step > pick ? step - 1 : step; }

    void xdo(const std::vector<std::string>& args)
    {
        std::vector<std::string> argv = {"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        const TS_result r = TS_run(argv, TS_xvfb_env(*sX), 20);
        EXPECT_EQ(r.exit_code, 0) << r.err;
    }
    static Pt apart(Pt p) { return {TS_apart(p.x), p.y}; }
    void click(Pt at)
    {
        const Pt p = apart(at);
        xdo({"mousemove", std::to_string(p.x + 1), std::to_string(p.y)});
        xdo({"mousemove", std::to_string(p.x), std::to_string(p.y)});
        xdo({"click", "1"});
    }
    void key(const std::string& k) { xdo({"key", k}); }
    // xdotool's moves and clicks after one move to p; held: the program stopped meanwhile.
    void act_at(Pt p, std::vector<std::string> then, bool held)
    {
        then.insert(then.begin(), {"mousemove", std::to_string(p.x), std::to_string(p.y)});
        kill(app.pid, held ? SIGSTOP : 0);
        xdo(then);
        kill(app.pid, SIGCONT);
    }
    void click_and_move(Pt p, Pt q, bool held)
    {
        act_at(apart(p), {"click", "1", "mousemove", std::to_string(q.x), std::to_string(q.y)}, held);
    }
    // The second press ms after the first and dx pixels to the right of it, the program stopped
    // over both: it stamps an event when it reads it, so however late either press comes, or the
    // program runs, it reads them as one double click.
    void double_click(Pt p, int ms, int dx = 0)
    {
        const std::string sleep = std::to_string(ms / 1000.0), right = std::to_string(dx);
        act_at(p, {"click", "1", "sleep", sleep, "mousemove_relative", "--", right, "0", "click", "1"}, true);
    }
    // Pick Destination's Find It: the button right of the question under the one copy, its edges grey.
    static Pt find_it(const TS_shot& s)
    {
        int left = -1, right = -1;
        for (int x = 300; x < 790; ++x) {
            int c[3];
            s.rgb_at(x, 221, c);
            if (c[0] == 200 && c[1] == 204 && c[2] == 210) right = x, left = left < 0 ? x : left;
        }
        return {(left + right) / 2, 221};
    }

    // Screenshots until a popup shows, kept as name: shown holds twice in a row, so that a frame
    // in between two pages is not taken for one. False when none showed.
    bool wait_popup(const std::string& name, const std::function<bool(const TS_shot&)>& shown, double timeout_s = 60)
    {
        int seen = 0;
        return wait_until([&] { const TS_shot s = poll(); return (seen = s.ok() && shown(s) ? seen + 1 : 0) == 2; },
                          timeout_s, 150) && (shot(name), true);
    }
    static bool no_step(const TS_shot& s) { return current_step(s) == -1; }
    static bool dark(const TS_shot& s, Pt p)
    {
        int c[3];
        s.rgb_at(p.x, p.y, c);
        return c[0] + c[1] + c[2] < 200;
    }

    // The next view that asks (a question, a note) on screen for the double-click time, so that it
    // takes a click: kept as a screenshot. False when none showed.
    bool asks(const std::string& name, double timeout_s = 60)
    {
        return TS_wait_asking(app, log, asked_to, timeout_s) && (shot(name), true);
    }
    // A note over the wizard (the alert hides the step list), accepted with Return once it asks.
    bool dismiss_note(const std::string& name, double timeout_s = 60)
    {
        if (!asks(name, timeout_s)) return false;
        key("Return");
        wait_until([&] { const TS_shot s = poll(); return s.ok() && !no_step(s); }, 10);
        return true;
    }

    // Polls until done says so (false when timeout_s passed first).
    static bool wait_until(const std::function<bool()>& done, double timeout_s, int poll_ms = 100)
    {
        for (const auto t0 = steady::now(); steady::now() - t0 < std::chrono::duration<double>(timeout_s);) {
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(poll_ms));
        }
        return false;
    }

    // Waits until the log holds text at least count times.
    bool wait_log(const std::string& text, int count = 1, double timeout_s = 90)
    {
        if (wait_until([&] { return TS_count(read(log), text) >= count; }, timeout_s)) return true;
        ADD_FAILURE() << "the log never held \"" << text << "\" " << count << " times:\n" << read(log);
        return false;
    }

    // Welcome and Pick Destination (the registered copy is chosen) to Search for Updates.
    void to_search()
    {
        wait_step(welcome, "welcome");
        click(kNext);
        if (folder_given) return;
        wait_step(pick, "pick-destination");
        click(kNext);
    }

    // From the start past Check Disk Space, its page kept as check-disk-space<tag>.
    void to_questions(const std::string& tag)
    {
        start();
        to_search();
        wait_step(check, "check-disk-space" + tag);
        click(kNext);
    }
    // The first changed file's question drawn, kept as name.
    bool first_question(const std::string& name, int time = 1)
    {
        return wait_log("File: " + copy + "Instructions/user/notes.txt", time) && asks(name);
    }

    // From the start to Install Updates, both questions answered, once the second server was asked.
    void to_install(const std::string& tag)
    {
        to_questions(tag);
        answer_questions();
        wait_step(install, "install" + tag, 20);
        wait_until([&] { return !TS_fault_requests(fault).empty(); }, 30);
    }

    // The two changed files, each answered once drawn (by default overwritten or deleted).
    void answer_questions(const std::function<void()>& first = {}, const std::function<void()>& second = {},
                          int time = 1)
    {
        ASSERT_TRUE(first_question("question-1", time));
        first ? first() : click(kAct);
        ASSERT_TRUE(wait_log("File: " + copy + "Resources/user/tweaks.txt", time));
        ASSERT_TRUE(asks("question-2"));
        second ? second() : click(kAct);
    }

    int end(double timeout_s = 60) { return TS_finish(app, timeout_s).exit_code; }
    int quit_on_finish() { return click(kLastQuit), end(); }

    std::string copy_sums() { return TS_sh("cd '" + copy + "' && find . -type f | sort | xargs -d '\\n' md5sum"); }
    // A choice button is drawn: the pixels of its rectangle differ from the page's panel (its
    // border, face and label); without one the panel is plain there.
    static bool has_choice(const TS_shot& s)
    {
        const std::string panel = s.at(300, 320);
        int n = 0;
        for (int y = kChoice.y - 10; y <= kChoice.y + 11; ++y)
            for (int x = kChoice.x - 124; x <= kChoice.x + 124; ++x)
                if (s.at(x, y) != panel) ++n;
        return n > 300;
    }
};
TS_xvfb* UpdateWindow::sX = nullptr;

TEST_F(UpdateWindow, UpdatesACopyThroughEveryStepAndFliesIt)
{
    // The second server's archives trickle in until the test lets them go.
    make("update", 200, "/heldfile/", {"--kb-min", "20", "--kb-max", "120"});
    // The directory archive, unpacked into the temporary folder, holds a file of the lock's name.
    TS_sh("cd '" + rel + "' && touch updater.lock && zip -q \"$(find www -name directory.txt.zip)\" updater.lock");
    const std::string before = copy_sums();
    start();
    to_search();
    wait_step(search, "search", 90, "Check Disk Space: ");
    ASSERT_TRUE(wait_log("Check Disk Space: "));
    EXPECT_TRUE(wait_log("enough space."));
    wait_step(check, "check-disk-space");
    // A second start while this one runs: the system's message box, status 0, the log left alone.
    const std::string started = read(log);
    TS_proc second;
    ASSERT_TRUE(TS_start(second, {dir + "corvane-updater"}, env, dir));
    const std::string box = TS_find_window(*sX, "Hangaron Message", 30);
    EXPECT_FALSE(box.empty());
    shot("already-running");
    TS_close_window(*sX, box);
    EXPECT_EQ(TS_finish(second, 10).exit_code, 0);
    // What only prints needs no lock.
    const TS_result version = TS_run({dir + "corvane-updater", "--version"}, env, 30);
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.out, "Corvane Web Updater 3.00r1\n");
    EXPECT_EQ(read(log).substr(0, started.size()), started);
    EXPECT_EQ(copy_sums(), before);
    EXPECT_EQ(TS_release_archive_requests(nginx), 0);
    click(kNext);
    answer_questions();
    ASSERT_TRUE(wait_log("Install Updates: started with 2 download streams."));
    // The same program with another data folder and the same TMPDIR, started while this one
    // downloads, works in a private folder and leaves this one's archive alone; its folder goes
    // with it. Its log goes to its data folder, named on standard error, and this one's is left.
    const std::string shared = dir + "tmp/corvane-updater-" + std::to_string(getuid()) + "/";
    ASSERT_TRUE(TS_wait_for_file_text(app, shared + "1.zip", "PK", 60));
    const std::string other = TS_new_dir("other"), other_log = other + "data/" + TS_LOG_NAME;
    TS_sh("mkdir '" + other + "data'");
    auto other_env = env;
    other_env["XDG_DATA_HOME"] = other + "data";
    ASSERT_TRUE(TS_start(second, {dir + "corvane-updater"}, other_env, other));
    EXPECT_TRUE(TS_wait_for_file_text(second, other_log, "os_dir_prefs", 60));
    kill(second.pid, SIGTERM);
    const TS_result other_run = TS_finish(second, 30);
    EXPECT_EQ(other_run.exit_code, 128 + SIGTERM);
    EXPECT_EQ(other_run.err, "The log " + log + " is in use by another updater; this one's log is " + other_log + "\n");
    const std::string said = "WARNING: The temporary folder " + shared.substr(0, shared.size() - 1) +
                             " is in use by another updater. The private folder " + shared + "private-";
    EXPECT_NE(read(other_log).find(said), std::string::npos) << read(other_log);
    EXPECT_EQ(TS_sh("cd '" + shared + "' && ls -d 1.zip; ls -A | grep private"), "1.zip\n");
    TS_write_file(fault.dir + "release", "");
    wait_step(install, "install", 90, "Finish: ");
    ASSERT_TRUE(wait_log("Finish: I have finished updating " + copy + "."));
    const TS_shot fin = wait_step(finish, "finish");
    EXPECT_TRUE(has_choice(fin));
    TS_expect_copy_is_release(rel, copy);
    EXPECT_GT(TS_release_archive_requests(nginx), 30);

    // "Fly Corvane Now" starts the copy's program and ends the updater with status 1.
    click(kChoice);
    EXPECT_EQ(end(), 1);
    // This run's log holds its own lines from its header to its end, and none of the other's.
    const std::string own = read(log);
    EXPECT_EQ(own.substr(0, started.size()), started);
    EXPECT_EQ(TS_count(own, "Installer log.txt for "), 1);
    EXPECT_EQ(own.find(said), std::string::npos);
    EXPECT_EQ(own.find(other), std::string::npos);
    EXPECT_EQ(TS_count(own, "Clean exit from threads.\n"), 1);
    wait_until([&] { return !read(copy + "Output/launched.txt").empty(); }, 10, 50);
    EXPECT_EQ(read(copy + "Output/launched.txt"), "started\n");
    // The lock went with the process: the next start opens its window.
    EXPECT_EQ(TS_run_updater_closed(dir + "corvane-updater", {}, env, *sX).exit_code, 0);
}

TEST_F(UpdateWindow, UpToDateCopyGoesStraightToFinishAndAMissingProgramIsOneNote)
{
    make("uptodate", 30, "", {"--no-program"});
    const std::string before = copy_sums();
    // First on PATH, an opener with nothing to open a file with, as where no handler is set up.
    const std::string bin = TS_new_dir("opener");
    TS_write_script(bin + "xdg-open", "exit 3\n");
    start({}, "", {{"PATH", bin + ":" + getenv("PATH")}});
    to_search();
    ASSERT_TRUE(wait_log("Finish: This copy of Corvane (" + copy + ") is already up to date."));
    EXPECT_TRUE(wait_log("Check Disk Space: nothing to fetch or delete."));
    const TS_shot fin = wait_step(finish, "finish-up-to-date");
    EXPECT_TRUE(has_choice(fin));

    // No program in the copy: one note naming it, then the page is Finish again.
    click(kChoice);
    ASSERT_TRUE(dismiss_note("launch-failed-note"));
    wait_step(finish, "finish-after-note");
    ASSERT_TRUE(wait_log("I could not start Corvane."));
    EXPECT_NE(read(log).find(copy + "Corvane.exe\nError: "), std::string::npos);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(TS_count(read(log), "I could not start Corvane."), 1);
    // A Corvane.exe that Linux cannot run goes to the opener, in a session of its own, waited for
    // 2 s: failing after 0.5 s gives the note; two clicks on its button with no move close it once.
    TS_write_file(copy + "Corvane.exe", "MZ");
    const std::string opener = "[ $(ps -o sid= -p $$) = $$ ] && echo own >> \"$0.starts\"; sleep ";
    TS_write_script(bin + "xdg-open", opener + "0.5; exit 3\n");
    click(kChoice);
    ASSERT_TRUE(asks("opener-failed-note"));
    xdo({"mousemove", "400", "411", "click", "--repeat", "2", "--delay", "80", "1"});
    wait_step(finish, "finish-after-opener");
    ASSERT_TRUE(
        wait_log("I could not start Corvane.\n" + copy + "Corvane.exe\nError: xdg-open: exited with status 3\n"));
    // A click made while the opener runs does not answer the note that comes after it.
    TS_write_script(bin + "xdg-open", opener + "1.5; exit 3\n");
    click(kChoice);
    ASSERT_TRUE(TS_wait_for_file_text(app, bin + "xdg-open.starts", "own\nown\n", 30));
    xdo({"mousemove", "400", "411", "click", "1"});
    ASSERT_TRUE(dismiss_note("opener-note-waits"));
    wait_step(finish, "finish-after-second-opener");
    EXPECT_EQ(read(bin + "xdg-open.starts"), "own\nown\n");
    EXPECT_EQ(TS_count(read(log), "I could not start Corvane."), 3);
    TS_sh("rm '" + copy + "Corvane.exe'");
    EXPECT_EQ(quit_on_finish(), 0);
    EXPECT_EQ(copy_sums(), before);
    EXPECT_EQ(TS_release_archive_requests(nginx), 0);

    // A folder that is not there: the note names it, and the wizard asks on Pick Destination,
    // with the registered copy; nothing is asked for or made before the user goes on from there.
    const size_t asked = TS_nginx_access_lines(nginx).size();
    start({rel + "no such copy"});
    folder_given = false;
    // Logged just before the note opens: a Return sent from then on is the note's, whereas the
    // start-up screens before it show no step either.
    EXPECT_TRUE(wait_log("The command line names the folder " + rel +
                         "no such copy/; neither it nor a folder above it is an installed copy, so none is taken."));
    ASSERT_TRUE(dismiss_note("not-a-copy-note"));
    EXPECT_TRUE(wait_log("You selected the folder path:\n" + rel + "no such copy/\nBut it does not appear"));
    wait_step(welcome, "welcome-no-copy");
    click(kNext);
    wait_step(pick, "pick-no-copy");
    EXPECT_EQ(TS_nginx_access_lines(nginx).size(), asked);
    EXPECT_EQ(TS_sh("ls -d '" + rel + "no such copy' 2>/dev/null"), "");
    click(kNext);
    ASSERT_TRUE(wait_log("Finish: This copy of Corvane (" + copy + ") is already up to date."));
    wait_step(finish, "finish-no-copy");
    EXPECT_EQ(quit_on_finish(), 0);

    // Two notes in a row: the server list names a newer updater, then the opener fails at once.
    // Return twice, 250 ms apart, closes the first only: the second, with the address to open by
    // hand, was on screen for less than the double-click time.
    TS_write_script(bin + "xdg-open", "exit 3\n");
    TS_sh("sed -i 's|^ENDOFLIST$|INS_VERSION 30003 http://new.test/get\\n&|' '" + rel +
          "www/lookup/_lookup_10_/server_list_10.txt'");
    start({}, "", {{"PATH", bin + ":" + getenv("PATH")}});
    to_search();
    ASSERT_TRUE(asks("newer-updater-note"));
    xdo({"key", "--delay", "250", "Return", "Return"});
    ASSERT_TRUE(asks("open-by-hand-note"));
    EXPECT_EQ(TS_count(read(log), "Clean exit from threads."), 0);
    key("Return");
    EXPECT_EQ(end(), 0);
    EXPECT_TRUE(wait_log("I could not open the web page of the new updater:\nhttp://new.test/get\n"));
}

// A click counts where it was made, though the pointer moves on to another button at once, also
// in one frame with it: Next then Back, KEEP THE OLD FILE then the other answer, Quit then Prefs.
// And only on what was on screen when it was made: the second press of a double click (4 pixels
// aside) whose first press changed the page or answered a question answers nothing, nor do
// presses and keys made while the program was stopped or a folder dialog was open, on what
// replaced the page they were made on.
TEST_F(UpdateWindow, AClickCountsWhereItWasMadeThoughThePointerMovesOnAtOnce)
{
    make("update", 20);
    TS_sh("cp -a '" + copy + "' '" + rel + "copy-before'");
    // Find It's folder dialog: a stand-in zenity that waits until the test lets it go, then answers
    // the folder its answer file names, or Cancel.
    const std::string bin = TS_new_dir("bin"), dialogs = bin + "zenity.runs";
    TS_write_script(bin + "zenity", "cd '" + bin + "'; echo start >> zenity.runs; i=0; while [ ! -e go ] && "
                                    "[ $i -lt 600 ]; do sleep 0.1; i=$((i+1)); done; rm go; echo end >> zenity.runs; "
                                    "cat answer");
    for (const bool held : {true, false}) {
        TS_sh("rm -rf '" + copy + "' && cp -a '" + rel + "copy-before' '" + copy + "'");
        start({}, "", {{"PATH", bin + ":" + getenv("PATH")}});
        wait_step(welcome, "welcome");
        // A double click on Next moves one page: Back from there goes to Welcome.
        double_click(kNext, 200, 4);
        const TS_shot pick_shot = wait_step(pick, "pick");
        const size_t asked = TS_nginx_access_lines(nginx).size();
        click(kBack);
        wait_step(welcome, "welcome-after-back", 30);
        click(kNext);
        wait_step(pick, "pick-again");
        if (!held) {
            // Find It and Next clicked while the dialog is open count for nothing once it closes:
            // the page stays, no second dialog opens, no search starts.
            click(find_it(pick_shot));
            ASSERT_TRUE(TS_wait_for_file_text(app, dialogs, "start\n", 30));
            click(find_it(pick_shot));
            click(kNext);
            TS_write_file(bin + "go", "");
            ASSERT_TRUE(TS_wait_for_file_text(app, dialogs, "start\nend\n", 30));
            const auto on_welcome = [&](double w) { return wait_until([&] { return current_step(poll()) == 0; }, w); };
            EXPECT_TRUE(TS_act_until([&](double) { click(kBack); }, on_welcome, 60));
            EXPECT_EQ(read(dialogs), "start\nend\n");
            click(kNext);
            wait_step(pick, "pick-after-dialog");
            // Return typed while the dialog is open does not accept the note that follows it (on a
            // folder that is no copy): the note stays until it is clicked.
            TS_write_file(bin + "answer", rel + "outside/\n");
            click(find_it(pick_shot));
            ASSERT_TRUE(TS_wait_for_file_text(app, dialogs, "start\nend\nstart\n", 30));
            key("Return");
            TS_write_file(bin + "go", "");
            ASSERT_TRUE(asks("not-a-copy-note"));
            EXPECT_TRUE(no_step(poll()));
            EXPECT_EQ(TS_count(read(log), "But it does not appear"), 0);
            xdo({"mousemove", "400", "411", "click", "1"});
            ASSERT_TRUE(wait_log("But it does not appear"));
            TS_sh("rm '" + bin + "answer'");
            wait_step(pick, "pick-after-note");
        }
        EXPECT_EQ(TS_nginx_access_lines(nginx).size(), asked);
        click_and_move(kNext, kBack, held);
        wait_step(check, "check");
        if (held) {
            // Back twice while the program is stopped: one page back, whose search comes back here.
            double_click(kBack, 100);
            ASSERT_TRUE(wait_log("Check Disk Space: ", 2));
            wait_step(check, "check-after-back");
        }
        click(kNext);
        if (held) {
            // A double click on OVERWRITE THE OLD FILE, its second press 4 pixels to the right,
            // answers one question: the next one is asked still, and a click on the same place
            // 0.6 s after it is drawn answers it.
            ASSERT_TRUE(first_question("question-1"));
            double_click(kAct, 200, 4);
            ASSERT_TRUE(asks("question-2"));
            EXPECT_TRUE(no_step(poll()));
            act_at(kAct, {"click", "1"}, false);
        } else {
            answer_questions([&] { click_and_move(kKeep, kAct, false); }, [&] { click_and_move(kKeep, kAct, true); });
        }
        ASSERT_TRUE(wait_log("Finish: I have finished updating " + copy + "."));
        EXPECT_EQ(TS_count(read(log), "Check Disk Space: "), held ? 2 : 1);
        EXPECT_EQ(read(copy + "Instructions/user/notes.txt") == "notes the user wrote himself\n", !held);
        EXPECT_EQ(read(copy + "Resources/user/tweaks.txt") == "tweaks the user changed\n", !held);
        TS_close_window(*sX, TS_find_window(*sX, "Hangaron", 10));
        EXPECT_EQ(end(), 0);
        start();
        wait_step(welcome, "welcome-quit");
        click_and_move(kQuit, {159, 577}, held); // onto Preferences
        EXPECT_EQ(end(20), 0); // Preferences would hold the run open
    }
}

TEST_F(UpdateWindow, DeleteOnlyReleaseInstallsAndTooLittleSpaceKeepsNextOff)
{
    // Started inside a folder of the copy with ".", after options one of whose values holds
    // quotes and blanks: the copy is updated, and nothing lands beside the program.
    make("deleteonly", 30);
    start({"--lang=en", "--pref:note=My \"big\" copy", "."}, copy + "Resources/");
    to_search();
    ASSERT_TRUE(wait_log("Check Disk Space: 0 files to fetch, 3 to delete"));
    wait_step(check, "check-delete-only");
    click(kNext);
    ASSERT_TRUE(wait_log("Finish: I have finished updating " + copy + "."));
    wait_step(finish, "finish-delete-only");
    TS_expect_copy_is_release(rel, copy);
    EXPECT_EQ(TS_release_archive_requests(nginx), 0);
    EXPECT_EQ(quit_on_finish(), 0);
    EXPECT_EQ(TS_sh("cd '" + dir + "' && LC_ALL=C ls -A | grep -v '[.]png'"),
              std::string(TS_LOG_NAME) + "\nconfig\ncorvane-updater\ndata\nhome\ntmp\n");

    // A directory that claims more space than the disk has: the short text and Next off; Back
    // scans again; nothing in the copy changes.
    make("toolarge", 30);
    const std::string before = copy_sums();
    start();
    to_search();
    ASSERT_TRUE(wait_log("not enough space."));
    wait_step(check, "check-too-little-space");
    click(kNext);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    wait_step(check, "check-next-off", 5);
    EXPECT_EQ(TS_count(read(log), "Install Updates:"), 0);
    click(kBack);
    ASSERT_TRUE(wait_log("not enough space.", 2));
    wait_step(check, "check-again");
    click(kQuit);
    EXPECT_EQ(end(), 0);
    EXPECT_EQ(copy_sums(), before);
    EXPECT_EQ(TS_release_archive_requests(nginx), 0);
}

TEST_F(UpdateWindow, FailingServerCountsDownContinueKeepsInstallingAndStopQuits)
{
    // The second server answers 404 for every file while the first one does the work, and a third
    // one holds the install open with an archive that trickles in until the test lets it go.
    const std::vector<std::string> held = {"--server=s3.corvane.test=/heldfile/"};
    make("update", 60, "/missing/", held);
    to_install("-start");
    ASSERT_TRUE(wait_log(std::string("   server     =") + TS_S2));
    wait_step(install, "install-retry-countdown", 5);
    click(kQuit);
    ASSERT_TRUE(asks("stop-question"));
    click(kContinue);
    wait_step(install, "install-continued", 10);
    TS_write_file(fault.dir + "release", "");
    ASSERT_TRUE(wait_log("Finish: I have finished updating " + copy + ".", 1, 120));
    wait_step(finish, "finish");
    TS_expect_copy_is_release(rel, copy);
    EXPECT_EQ(quit_on_finish(), 0);

    // Stop: the updater quits (status 0) in the middle of the install, held open by the first file,
    // on no server: the others are in place within 15 s of the install's start, as no server rests
    // for a file it says it lacks; Stop names it once.
    make("update", 60, "/missing/");
    const std::string lost = "Airfoils/file000.dat";
    TS_sh("rm '" + rel + "www/release/rel/Corvane10/" + lost + ".zip' && sed -i '\\|" + lost + "$|d' '" + rel +
          "expected.md5'");
    to_questions("-before-stop");
    answer_questions();
    ASSERT_TRUE(wait_log("Install Updates: started"));
    EXPECT_TRUE(wait_until(
        [&] { return TS_run({"md5sum", "--quiet", "-c", rel + "expected.md5"}, {}, 60, copy).exit_code == 0; }, 15, 500));
    click(kQuit);
    ASSERT_TRUE(asks("stop-question-2"));
    click(kStop);
    EXPECT_EQ(end(), 0);
    EXPECT_EQ(TS_count(read(log), "Finish: "), 0);
    EXPECT_EQ(TS_count(read(log), lost + " was not installed"), 1);

    // Back while the failed run waits for an extraction: a 256 MiB file, listed first, still
    // extracts when over.bin, listed last, brings an archive over the limit twice. Back, then
    // Next with that archive mended: the new run ends as its own files decide.
    make("update", 20);
    const std::string d = rel + "www/release/rel/Corvane10/", w = TS_new_dir("big");
    TS_sh("cd '" + w + "' && head -c 256M /dev/zero > big.bin && zip -qj '" + d + "big.bin.zip' big.bin && "
          "head -c 2M /dev/urandom > over.bin && zip -qj0 '" + d + "over.bin.zip' over.bin && echo mended > "
          "over.bin && zip -qj good.zip over.bin && unzip -q '" + d + "directory.txt.zip' && sed -i \"4i FILE 1 0 "
          "0 256 262144 $(md5sum < big.bin | cut -c1-32) big.bin\" directory.txt && echo \"FILE 1 0 0 1 1 "
          "$(md5sum < over.bin | cut -c1-32) over.bin\" >> directory.txt && zip -qj '" + d + "directory.txt.zip' "
          "directory.txt && md5sum big.bin over.bin >> '" + rel + "expected.md5'");
    to_questions("-big");
    answer_questions();
    ASSERT_TRUE(wait_log("over.bin was not installed: the archive is larger than", 1, 120));
    EXPECT_EQ(TS_count(read(log), "Finish: "), 0);
    click(kBack);
    wait_step(check, "check-after-back", 120);
    TS_sh("cp '" + w + "good.zip' '" + d + "over.bin.zip'");
    click(kNext);
    answer_questions({}, {}, 2); // the copy is not scanned again
    ASSERT_TRUE(wait_log("Finish: I have finished updating " + copy + ".", 1, 180));
    wait_step(finish, "finish-after-back");
    TS_expect_copy_is_release(rel, copy);
    EXPECT_EQ(quit_on_finish(), 0);
    // The half gigabyte of the big file and its copy: gone before the test runs again in this process.
    TS_sh("rm -rf '" + w + "' '" + copy + "'");
}

// A quit request closes whatever popup is open and ends the run in order, with the signal's
// status: the no-copy alert, the language chooser, Preferences, Find It's folder dialog (its
// program ended too), the alert of preferences that the close box's shutdown cannot save, the
// changed-file question (after which nothing is fetched) and the stop question.
TEST_F(UpdateWindow, SigtermEndsTheRunWhateverPopupIsOpen)
{
    // The second server sends half of each archive and no more: Install Updates stays, and its
    // stream's archive lies in the temporary folder.
    make("update", 20, "/half/400000/");
    auto stream_archive_written = [&] {
        const std::string archive = dir + "tmp/corvane-updater-" + std::to_string(getuid()) + "/1.zip";
        return TS_wait_for_file_text(app, archive, std::string("\x03\x0a\x11", 3), 30);
    };
    const Pt alert_band = {300, 179}, prefs_bar = {700, 119}, prefs_button = {159, 576};
    // The alert itself drawn: its dark title band over its white page (an empty screen, or a window
    // not drawn yet, is dark there too, and the program may not take signals yet).
    const auto alert_shown = [&](const TS_shot& s) { return dark(s, alert_band) && s.at(300, 380) == "255,255,255"; };
    // Find It's folder dialog: a stand-in zenity that notes its process and waits.
    const std::string bin = TS_new_dir("bin"), dialog_pid = bin + "zenity.pid";
    TS_write_script(bin + "zenity", "echo $$ > '" + dialog_pid + "'\nexec sleep 60\n");
    const auto save_alert = [&] {
        start();
        wait_step(welcome, "welcome");
        TS_sh("cd '" + dir + "data' && rm 'Corvane Installer.prf' && mkdir 'Corvane Installer.prf'");
        TS_close_window(*sX, TS_find_window(*sX, "Hangaron", 10));
        return wait_popup("save-alert", alert_shown);
    };
    struct Row {
        const char* what;
        std::function<bool()> open;
        bool by_close_box = false; // the quit request is the close box again, not SIGTERM
    } rows[] = {
        {"no-copy alert",
         [&] { return start({rel + "nowhere"}), wait_popup("alert", alert_shown); }},
        {"language chooser",
         [&] { return start({}, "", {{"LANG", "ja_JP.UTF-8"}}), wait_popup("chooser", alert_shown); }},
        {"preferences",
         [&] {
             start();
             wait_step(welcome, "welcome");
             click(prefs_button);
             return wait_popup("preferences", [&](const TS_shot& s) { return dark(s, prefs_bar); });
         }},
        {"folder dialog",
         [&] {
             start({}, "", {{"PATH", bin + ":" + getenv("PATH")}});
             wait_step(welcome, "welcome");
             click(kNext);
             click(find_it(wait_step(pick, "pick-destination")));
             return TS_wait_for_file_text(app, dialog_pid, "\n", 30);
         }},
        {"save alert after the close box", save_alert},
        {"save alert, the close box again", save_alert, true},
        {"changed-file question",
         [&] {
             to_questions("");
             return first_question("question");
         }},
        {"stop question",
         [&] {
             to_install("");
             if (!stream_archive_written()) return false;
             click(kQuit);
             return wait_popup("stop-question", no_step);
         }},
        {"download",
         [&] {
             // The copy was updated but for the second stream's file: a new release.
             make("update", 20, "/half/400000/");
             return to_install("-download"), stream_archive_written();
         }},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(row.open()) << row.what;
        if (row.by_close_box)
            TS_close_window(*sX, TS_find_window(*sX, "Hangaron", 10));
        else
            kill(app.pid, SIGTERM);
        const TS_result r = TS_finish(app, 10);
        EXPECT_FALSE(r.timed_out) << row.what;
        EXPECT_EQ(r.exit_code, row.by_close_box ? 0 : 128 + SIGTERM) << row.what << "\n" << r.err;
        // After the threads' end, only the files whose download the stop cut short, whose whole
        // archive (the first server's) still waited for its extraction, or whose extraction was
        // under way (it is waited for), are named, and the folders the run emptied go.
        const std::string text = read(log), end = "Clean exit from threads.\n";
        const std::string rest = text.substr(std::min(text.size(), text.rfind(end) + end.size()));
        EXPECT_NE(text.rfind(end), std::string::npos) << row.what;
        EXPECT_EQ(TS_count(rest, "\n"), TS_count(rest, " was not installed: its download was under way when the "
                                                       "install ended; the old file stays\n") +
                                           TS_count(rest, " was not installed: the install ended before its "
                                                          "archive was extracted") +
                                           TS_count(rest, "cleanup: DELETING  file " + copy) +
                                           TS_count(rest, "EXPANDING file " + copy))
            << row.what << "\n" << text;
        if (std::string(row.what) == "folder dialog") {
            EXPECT_NE(kill(std::stoi(read(dialog_pid)), 0), 0);
            EXPECT_NE(read(log).find("The file dialog (zenity) was closed: the program was asked to quit.\n"),
                      std::string::npos)
                << read(log);
        }
        // An install cut short leaves no archive.
        EXPECT_EQ(TS_sh("find '" + dir + "tmp' -name '*.zip'"), "") << row.what;
        // Nothing is fetched once the program is asked to end.
        if (std::string(row.what) == "changed-file question") {
            EXPECT_EQ(TS_release_archive_requests(nginx), 0);
            EXPECT_EQ(TS_count(read(log), "Install Updates: started"), 0) << read(log);
        }
    }
}

TEST_F(UpdateWindow, CancelledQuestionAndHostileRelease)
{
    // Cancel in the first question: back on Check Disk Space, nothing fetched.
    make("hostile", 40);
    const std::string before = copy_sums();
    to_questions("");
    ASSERT_TRUE(first_question("question-cancelled"));
    click(kCancel);
    ASSERT_TRUE(wait_log("Install Updates: not started; back to Check Disk Space."));
    wait_step(check, "check-after-cancel");
    EXPECT_EQ(TS_release_archive_requests(nginx), 0);
    EXPECT_EQ(copy_sums(), before);

    // The hostile release, answered: the archive that holds only names aiming outside is
    // refused with a note, the one with other bytes with a log line; Finish has the problem text
    // and no launch choice.
    click(kNext);
    answer_questions();
    // Which of the two fails first depends on the two streams: the note shows only when the
    // climbing archive was extracted, and is accepted.
    const std::string problems = "Finish: There were problems";
    const auto note_or_end = [&] {
        const std::string text = read(log);
        return TS_count(text, problems) > 0 || text.find(TS_ASKING, asked_to) != std::string::npos;
    };
    int notes = 0;
    while (notes < 3 && wait_until(note_or_end, 90) && TS_count(read(log), problems) == 0)
        if (dismiss_note("extraction-note")) ++notes;
    EXPECT_LE(notes, 1);
    ASSERT_TRUE(wait_log("Finish: There were problems updating Corvane.  You can try this updater again using a "
                         "different server."));
    const TS_shot fin = wait_step(finish, "finish-problems");
    EXPECT_FALSE(has_choice(fin));
    EXPECT_GE(TS_count(read(log), "WARNING: the directory file lists an unsafe path"), 5);
    EXPECT_EQ(TS_sh("find '" + copy + "' -name '*escaped*'"), "");
    EXPECT_EQ(quit_on_finish(), 0);
}

} // namespace
