// Check Disk Space, Install Updates and Finish called once per frame with a fresh page, as the
// wizard calls them: the exact page fields and texts that the window test only sees as pixels.
// The release is made by scripts/make-release with the real zip and served by nginx on 127.0.0.1
// under two server names through the proxy settings; the engine fetches the lists and scans the
// copy first, as Search for Updates does; the copy is then checked with md5sum and the scratch
// folder outside it found unchanged. Check Disk Space draws its disk figures, so the steps run
// beside a real window under Xvfb.
#include "app/main.h"
#include "app/server_search.h"
#include "app/size_text.h"
#include "app/wizard.h"
#include "engine/checksum_task.h"
#include "engine/http.h"
#include "engine/modal_frame.h"
#include "engine/utils.h"
#include "engine/worklist.h"
#include "foundation/FILE_ops.h"
#include "foundation/alert.h"
#include "foundation/frame_clock.h"
#include "foundation/options.h"
#include "foundation/quit.h"
#include "frame/hl_init.h"
#include "support/test_servers.h"
#include "support/test_support.h"
#include "tools/ui_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <map>
#include <cmath>
#include <memory>
#include <thread>

namespace {

using steady = std::chrono::steady_clock;

std::vector<std::string> gAlerts; // first lines of the alerts raised
void record_alert(int, const std::string (&lines)[4], int, const std::string&)
{
    gAlerts.push_back(lines[0] + "|" + lines[1] + "|" + lines[2]);
}

// Scripted answers of the modified-file question by local path (absent: cancel).
std::map<std::string, int> gAnswers;
std::vector<std::string> gAsked;
int scripted_question(const std::string&, const std::string& path, const std::string&, const std::vector<std::string>&)
{
    gAsked.push_back(path);
    auto it = gAnswers.find(path);
    return it == gAnswers.end() ? answer_cancel : it->second;
}
// 1 or 2: that button; 3: the window goes some other way.
int gTwoChoicesAnswer = 0;
int scripted_two_choices(const std::string&, const std::string&, const std::string&, const std::string&,
                         const std::string&)
{
    if (gTwoChoicesAnswer == 3) gPopup = 0;
    return gTwoChoicesAnswer == 3 ? 0 : gTwoChoicesAnswer;
}

// What the pages of one walk showed.
struct Walk {
    StepFunc step = nullptr; // where the walk stopped
    StepPage last;           // the last page of the walk
    std::vector<std::string> captions, texts;
    int frames = 0;
    bool bar_ok = true; // every bar value was within 0 to 1
};

struct UpdateSteps : testing::Test {
    const install_modal_hooks kept = gInstallModal;
    static std::unique_ptr<TS_xvfb> sX;
    static bool sWindow;
    TS_server nginx;
    std::string rel;        // make-release's folder
    std::string outside;    // beside the copy: nothing may change there
    std::string outside_before;

    static void SetUpTestSuite()
    {
        sX = std::make_unique<TS_xvfb>();
        if (!TS_xvfb_start(*sX, "1024x768x24")) return;
        setenv("DISPLAY", sX->display.c_str(), 1);
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        unsetenv("WAYLAND_DISPLAY");
        hl_register_window_class();
        sWindow = UI_open_window();
    }

    void SetUp() override
    {
        ASSERT_TRUE(sWindow);
        hl_open_log(TS_log_path());
        ALERT_set_presenter(record_alert);
        gAlerts.clear();
        gAnswers.clear();
        gAsked.clear();
        gInstallModal.modified_file_frame = scripted_question;
        gInstallModal.two_choices_frame = scripted_two_choices;
        gQuit = 0;
        gTargetOS = 2;
        gLogActions = 1;
        gInstallFailed = 0;
        gInstallProgress = 0;
        gTimer.hl_timer_real_time = 1000.0f;
        gServers.clear();
        gServerIndex = 0;
        gSearchPhase = 0;
        gInstallName = "Not Yet Scanned";
        gTempFolder = TS_new_dir("temp");
        server_search_reset_rest();
        outside = TS_new_dir("outside");
        TS_write_file(outside + "sentinel.txt", "must stay");
        outside_before = scratch_state();
    }
    void TearDown() override
    {
        install_reset_worklist();
        install_stop_md5_pool();
        gNet.cancel_slot(SERVER_LIST_SLOT);
        gNet.cancel_slot(DIRECTORY_SLOT);
        gInstallModal = kept;
        ALERT_set_presenter(nullptr);
        gPopup = 0;
        gServers.clear();
        EXPECT_EQ(scratch_state(), outside_before);
        EXPECT_EQ(TS_sh("ls -A '" + gTempFolder + "' | grep escaped"), "");
    }

    // The folder beside the copy, and whatever escaped anywhere in the scratch folder.
    std::string scratch_state()
    {
        return TS_sh("md5sum '" + outside + "'*; find '" + TS_scratch() + "' -name '*escaped*'");
    }

    // The release of that kind with the two servers, served by nginx.
    void make(const std::string& kind, int files, const std::vector<std::string>& extra = {})
    {
        rel = TS_new_dir("release-" + kind);
        std::vector<std::string> argv = {"/usr/bin/python3", TS_MAKE_RELEASE, rel, "--kind", kind, "--files",
                                         std::to_string(files), "--server", TS_S1,
                                         "--server", TS_S2};
        argv.insert(argv.end(), extra.begin(), extra.end());
        const TS_result r = TS_run(argv, {}, 120);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        std::map<std::string, std::string> roots = {{LOOKUP_HOST, rel + "www/lookup"}, {TS_S1, rel + "www/release"},
                                                    {TS_S2, rel + "www/release"}};
        ASSERT_TRUE(TS_nginx_start(nginx, roots));
        gNet._proxy_host = "127.0.0.1";
        gNet._proxy_port_int = nginx.port;
        gInstallPath = rel + "copy/";
    }

    // What Search for Updates does before Check Disk Space: list, directory file, scan, totals.
    void search()
    {
        const auto start = steady::now();
        while (gSearchPhase != search_read && steady::now() - start < std::chrono::seconds(60)) {
            find_update_servers();
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
        ASSERT_EQ(gSearchPhase, search_read) << TS_read_log();
        int next = 0, done = 0;
        float fraction = 0;
        while (!done && steady::now() - start < std::chrono::seconds(120)) {
            done = install_scan_md5(next, fraction);
            if (!done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_EQ(done, 1);
        install_count_totals();
    }

    // Calls the current step once per frame with a fresh page and changes steps as the wizard
    // does on a non-zero result, until the step is stop (or frames or time run out); between
    // frames the clock moves with real time.
    Walk walk(StepFunc from, StepFunc stop, int max_frames = 100000, double seconds = 120)
    {
        Walk w;
        StepFunc cur = from, prev = nullptr;
        const auto start = steady::now();
        auto last = start;
        while (w.frames < max_frames && steady::now() - start < std::chrono::duration<double>(seconds)) {
            ++w.frames;
            StepPage page;
            const int r = cur(cur != prev, &page);
            prev = cur;
            if (page.progress > 1.0f || (page.progress < 0.0f && page.progress != -1.0f) || std::isnan(page.progress))
                w.bar_ok = false;
            if (!page.caption.empty() && (w.captions.empty() || w.captions.back() != page.caption))
                w.captions.push_back(page.caption);
            if (!page.text.empty() && (w.texts.empty() || w.texts.back() != page.text)) w.texts.push_back(page.text);
            w.last = page;
            if (r && page.next) cur = page.next;
            w.step = cur;
            if (cur == stop) break;
            const auto now = steady::now();
            gTimer.hl_timer_real_time += std::chrono::duration<float>(now - last).count();
            last = now;
        }
        return w;
    }
};

std::unique_ptr<TS_xvfb> UpdateSteps::sX;
bool UpdateSteps::sWindow = false;

TEST_F(UpdateSteps, UpdatesACopyThroughTheSteps)
{
    // Files large enough that the install takes several frames.
    make("update", 120, {"--kb-min", "100", "--kb-max", "300"});
    search();
    EXPECT_GT(gFilesToFetch, 0);
    EXPECT_GT(gFilesToDelete, 0);

    // Check Disk Space: the download size and the install name; Next to Install Updates.
    StepPage check;
    EXPECT_EQ(step_check_disk_space(1, &check), 0);
    EXPECT_EQ(check.title, "Check Disk Space");
    EXPECT_EQ(check.back, step_search_updates);
    EXPECT_EQ(check.next, step_install_updates);
    EXPECT_EQ(check.text, "You are about to download " + format_bytes(gDownloadSize) +
                              " of compressed data to update to Corvane10.");

    // Both changed files are overwritten or deleted; the walk ends on Finish.
    gAnswers[gInstallPath + "Instructions/user/notes.txt"] = answer_act;
    gAnswers[gInstallPath + "Resources/user/tweaks.txt"] = answer_act;
    Walk w = walk(step_install_updates, step_finish);
    ASSERT_EQ(w.step, step_finish) << TS_read_log();
    EXPECT_EQ(gAsked, (std::vector<std::string>{gInstallPath + "Instructions/user/notes.txt",
                                                gInstallPath + "Resources/user/tweaks.txt"}));
    EXPECT_TRUE(w.bar_ok);
    EXPECT_EQ(w.last.back, nullptr);
    EXPECT_EQ(w.last.next, step_finish);
    // Every frame but the last (which ends the install) shows what the last turn did.
    EXPECT_EQ(w.captions.empty(), w.frames == 1) << testing::PrintToString(w.captions);
    for (const std::string& c : w.captions) {
        const bool download =
            c.rfind("Downloading and installing ", 0) == 0 && c.find("% done with that file.") != std::string::npos;
        const bool other = c.rfind("Skipping ", 0) == 0 || c.rfind("Deleting ", 0) == 0;
        EXPECT_TRUE(download || other) << c;
    }
    if (!w.texts.empty()) {
        // Two servers: the plural headline, then one part per server.
        const std::string& t = w.texts.back();
        EXPECT_EQ(t.rfind("About ", 0), 0u) << t;
        EXPECT_NE(t.find(" simultaneous servers."), std::string::npos) << t;
        EXPECT_EQ(TS_count(t, "\n\n"), 2) << t;
        EXPECT_NE(t.find(TS_S1), std::string::npos) << t;
        EXPECT_NE(t.find(TS_S2), std::string::npos) << t;
    }
    EXPECT_GT(gInstallProgress, 0.0f);
    EXPECT_TRUE(gPlan.streams.empty()); // the reset ran at the end
    TS_expect_copy_is_release(rel, gInstallPath);
    EXPECT_TRUE(gAlerts.empty()) << testing::PrintToString(gAlerts);

    // Finish: the finished text naming the copy, the launch choice, no Back, Next quits.
    StepPage fin;
    EXPECT_EQ(step_finish(1, &fin), 0);
    EXPECT_EQ(fin.title, "Finished Web Update");
    EXPECT_EQ(fin.text, "I have finished updating " + gInstallPath + ".");
    EXPECT_EQ(fin.back, nullptr);
    EXPECT_EQ(fin.next, step_quit);
    ASSERT_EQ(fin.choice_labels, std::vector<std::string>{"Fly Corvane Now"});
    EXPECT_EQ(fin.choice_steps, std::vector<StepFunc>{launch_simulator});

    // Without the program: one note naming the file and the error, and back to Finish. (The
    // window test starts the program.)
    TS_sh("rm '" + gInstallPath + "Corvane.exe'");
    StepPage p;
    EXPECT_EQ(launch_simulator(1, &p), 1);
    EXPECT_EQ(p.next, step_finish);
    ASSERT_EQ(gAlerts.size(), 1u);
    EXPECT_EQ(gAlerts[0],
              "I could not start Corvane.|" + gInstallPath + "Corvane.exe|Error: " + FILE_error_text(ENOENT));
    // A program file that is not executable goes to the opener; without one the note names it.
    TS_write_file(gInstallPath + "Corvane.exe", "x");
    const std::string path = getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin";
    setenv("PATH", gInstallPath.c_str(), 1);
    EXPECT_EQ(launch_simulator(1, &p), 1);
    setenv("PATH", path.c_str(), 1);
    ASSERT_EQ(gAlerts.size(), 2u);
    EXPECT_EQ(gAlerts[1], "I could not start Corvane.|" + gInstallPath + "Corvane.exe|Error: xdg-open: " +
                              FILE_error_text(ENOENT));
}

TEST_F(UpdateSteps, CancelReturnsToCheckDiskSpaceThenKeepingAChangedFile)
{
    make("update", 30);
    search();
    // No answer scripted: the first question is cancelled, nothing is fetched.
    Walk w = walk(step_install_updates, step_check_disk_space, 5);
    EXPECT_EQ(w.step, step_check_disk_space);
    EXPECT_EQ(w.frames, 1);
    EXPECT_EQ(gAsked.size(), 1u);
    EXPECT_EQ(TS_release_archive_requests(nginx), 0);
    const std::string notes = gInstallPath + "Instructions/user/notes.txt";
    EXPECT_EQ(TS_read_file(notes), "notes the user wrote himself\n");

    // Keeping the changed file and deleting the other: the rest is brought level.
    gAsked.clear();
    gAnswers[notes] = answer_keep;
    gAnswers[gInstallPath + "Resources/user/tweaks.txt"] = answer_act_dir;
    w = walk(step_install_updates, step_finish);
    ASSERT_EQ(w.step, step_finish);
    EXPECT_EQ(gAsked.size(), 2u);
    EXPECT_EQ(TS_read_file(notes), "notes the user wrote himself\n");
    TS_sh("grep -v 'Instructions/user/notes.txt' '" + rel + "expected.md5' > '" + rel + "kept.md5'");
    const TS_result r = TS_run({"md5sum", "--quiet", "-c", rel + "kept.md5"}, {}, 60, gInstallPath);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    StepPage fin;
    step_finish(1, &fin);
    EXPECT_EQ(fin.text, "I have finished updating " + gInstallPath + ".");
}

TEST_F(UpdateSteps, PageTextWithoutARateAndStreamsOutsideThePlan)
{
    // Two files nobody fetches; server 1 rests after a failure, server 2 stands past the end,
    // server 3 has a stream whose group lies outside the plan. Nothing downloaded: no rate, so
    // no headline, only the servers' parts; server 4 waits for a reply that never comes.
    TS_server fault;
    ASSERT_TRUE(TS_fault_server_start(fault));
    gNet._proxy_host = "127.0.0.1";
    gNet._proxy_port_int = fault.port;
    gInstallPath = TS_new_dir("copy");
    gServers = {{"a.test", "/r/", "a"}, {"b.test", "/r/", "b"}, {"c.test", "/r/", "c"}, {"slow.test", "/stall/", "d"}};
    gPlan = install_plan();
    gPlan.install_groups.resize(2, install_group(1));
    gPlan.install_groups[0][0].path = "one.txt";
    gPlan.install_groups[0][0].do_download = 1;
    gPlan.install_groups[0][0].download_size = 200000;
    gPlan.install_groups[1][0].path = "two.txt";
    gPlan.streams.resize(4);
    gPlan.start_time = gTimer.hl_timer_real_time;
    gPlan.streams[0].need_next = 0;
    gPlan.streams[0].resume_time = gTimer.hl_timer_real_time + 1.5f;
    gPlan.streams[0].error_message = "Server is not responding normally.";
    gPlan.streams[1].need_next = 0;
    gPlan.streams[1].group = 2;
    gPlan.streams[2].need_next = 0;
    gPlan.streams[2].group = 99;
    gPlan.streams[2].resume_time = 0;
    // Half the space installed (the bar moves toward that share), nothing downloaded.
    gSpaceNeeded = 10;
    gPlan.installed_bytes = 5;
    StepPage page;
    EXPECT_EQ(step_install_updates(0, &page), 0);
    EXPECT_EQ(page.text, "\n\na.test: Server is not responding normally.  Will retry in 1 second."
                         "\n\nb.test is finished.\n\nc.test is finished.\n\nDownloading from slow.test.");
    // With a rate: no time left while slow.test's stream rests too, and back once it works again.
    for (const float rest : {100.0f, 0.0f}) {
        gPlan.downloaded_bytes = 1e6f;
        gPlan.streams[3].resume_time = gTimer.hl_timer_real_time + rest;
        StepPage rated;
        step_install_updates(0, &rated);
        EXPECT_EQ(rated.text.rfind("About ", 0) == 0, rest == 0.0f) << rated.text;
    }
    // Its server silent for 5 s, the stream that holds a file transfers nothing: no time left,
    // though its part still says it downloads.
    gPlan.streams[0].resume_time = gTimer.hl_timer_real_time + 100.0f;
    gTimer.hl_timer_real_time += INSTALL_STALL_SECONDS;
    StepPage silent;
    step_install_updates(0, &silent);
    EXPECT_EQ(silent.text.find("About "), std::string::npos) << silent.text;
    EXPECT_NE(silent.text.find("\n\nDownloading from slow.test."), std::string::npos) << silent.text;
    EXPECT_EQ(page.title, "Installing");
    EXPECT_EQ(page.back, step_check_disk_space);
    EXPECT_EQ(page.next, nullptr);
    EXPECT_EQ(page.confirm_quit, confirm_stop_update);
    EXPECT_NEAR(page.progress, 0.5f, 0.01f);
    // Half a second left counts as 0 seconds, in the plural.
    gPlan.streams[0].resume_time = gTimer.hl_timer_real_time + 0.5f;
    StepPage later;
    step_install_updates(0, &later);
    EXPECT_NE(later.text.find("Will retry in 0 seconds."), std::string::npos) << later.text;
    // No space needed (a release that only deletes) counts as a share of 0, never as a division
    // by 0; until the bar passes 1 % the page has no text.
    gSpaceNeeded = 0;
    StepPage early;
    step_install_updates(0, &early);
    EXPECT_LT(early.progress, 0.01f);
    EXPECT_GE(early.progress, 0.0f);
    EXPECT_EQ(early.text, "");
    // A file passed over, then every server rests or has nothing to take: the caption names no
    // file. Server 1 rests on the first file, so the run stays open.
    gPlan = install_plan();
    gPlan.install_groups.resize(2, install_group(1));
    gPlan.install_groups[0][0].path = "held.txt";
    gPlan.install_groups[1][0].path = "data/passed.txt";
    gPlan.streams.resize(1);
    gPlan.streams[0].need_next = 0;
    gPlan.streams[0].resume_time = gTimer.hl_timer_real_time + 100.0f;
    gPlan.next_group = 1;
    StepPage passed;
    EXPECT_EQ(step_install_updates(0, &passed), 0);
    EXPECT_EQ(passed.caption, "");
    gPlan = install_plan();

    // The stop question: Continue and a window closed some other way go on, Stop quits.
    gTwoChoicesAnswer = 2;
    EXPECT_FALSE(confirm_stop_update());
    gTwoChoicesAnswer = 3;
    EXPECT_FALSE(confirm_stop_update());
    gTwoChoicesAnswer = 1;
    EXPECT_TRUE(confirm_stop_update());

    // Only a file that miss.test failed is left, and slow.test asks for it: no time left either.
    gServers = {{"miss.test", "/missing/", "m"}, {"slow.test", "/stall/", "s"}};
    install_reset_worklist();
    gPlan.install_groups.assign(1, install_group(1));
    gPlan.install_groups[0][0].path = "gone.txt";
    gPlan.install_groups[0][0].do_download = 1;
    gPlan.downloaded_bytes = 100;
    gPlan.installed_bytes = gSpaceNeeded = 10;
    StepPage failed;
    for (int i = 0; i < 3000 && !(install_only_failed_files_left() && gNet.slot_busy(INSTALL_STREAM_SLOT + 1)); ++i)
        step_install_updates(0, &failed);
    EXPECT_EQ(failed.text, "\n\nmiss.test: Server is not responding normally.  Will retry in 30 seconds."
                           "\n\nDownloading from slow.test.");
    install_reset_worklist();

    // Back in the middle of a download: Check Disk Space leaves no stream, no transfer and no
    // half-written archive behind.
    gServers = {{"half.test", "/half/400000/", "h"}};
    gPlan = install_plan();
    gPlan.install_groups.resize(1, install_group(1));
    gPlan.install_groups[0][0].path = "big.txt";
    gPlan.install_groups[0][0].do_download = 1;
    gPlan.install_groups[0][0].download_size = 400;
    const auto start = steady::now();
    for (int i = 0; i < 3000 && !(gNet.percent_done(INSTALL_STREAM_SLOT) > 0.0f) &&
                    steady::now() - start < std::chrono::seconds(60);
         ++i) {
        StepPage frame;
        step_install_updates(0, &frame);
    }
    ASSERT_GT(gNet.percent_done(INSTALL_STREAM_SLOT), 0.0f);
    EXPECT_EQ(TS_sh("ls '" + gTempFolder + "'"), "0.zip\n");
    StepPage back;
    step_check_disk_space(1, &back);
    EXPECT_TRUE(gPlan.streams.empty());
    EXPECT_EQ(gNet.requests[INSTALL_STREAM_SLOT].state, net_slot_idle);
    EXPECT_EQ(TS_sh("ls '" + gTempFolder + "'"), "");
}

} // namespace
