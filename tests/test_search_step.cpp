// tsan: yes
// The Search for Updates step driven as the wizard drives it, once per frame with a fresh page,
// without the window: every page it shows from contacting the look-up host (the fault server's
// busy list) through connecting and downloading (its slow reply) to unpacking, scanning a copy of
// a few thousand files (nginx) and moving on to Check Disk Space; then Back and Quit in the
// middle of the scan, which leave no worker running, and coming back, which scans again from the
// start without asking any server.
#include "app/main.h"
#include "app/server_search.h"
#include "app/wizard.h"
#include "engine/checksum_task.h"
#include "engine/http.h"
#include "engine/utils.h"
#include "foundation/alert.h"
#include "foundation/frame_clock.h"
#include "foundation/options.h"
#include "foundation/quit.h"
#include "foundation/UTL_thread.h"
#include "frame/hl_init.h"
#include "support/test_servers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <thread>

namespace {

using steady = std::chrono::steady_clock;
const char kListHeader[] = "I\n1000 Corvane server list\nSERVERS\n";
const char kDirHeader[] = "I\n1000 Corvane release\nINSTALLER\n";
const int kFiles = 3000;
const char kConnecting[] =
    "I am checking the net for the latest version of Corvane 10 right now, and I am connecting to the server...";

std::vector<std::string> gAlertFirstLines;
void record_alert(int, const std::string (&lines)[4], int, const std::string&)
{
    gAlertFirstLines.push_back(lines[0]);
}

int thread_count()
{
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/task")) n += e.is_directory() ? 1 : 0;
    return n;
}

std::string percent_caption(int p)
{
    return "I am checking the net for the latest version of Corvane 10 right now, and I am " + std::to_string(p) +
           "% done checking.";
}

std::string scan_caption(int n)
{
    return "Scanning " + std::to_string(n) + " of " + std::to_string(kFiles) + " files.";
}

struct SearchStep : testing::Test {
    std::string copy;       // the install folder
    std::string dir_text;   // the directory file's bytes
    int stale = 0;          // files whose signature differs from the listed one
    int baseline = 0;       // threads before any scan

    void SetUp() override
    {
        hl_open_log(TS_scratch() + "search-step-log.txt");
        gAlertFirstLines.clear();
        ALERT_set_presenter(record_alert);
        gOptions.opts.clear();
        gQuit = 0;
        gServers.clear();
        gServerIndex = 0;
        gSearchPhase = 0;
        gFilesScanned = 0;
        gWantBetas = 0;
        gTargetOS = 2;
        gInstallName = "Not Yet Scanned";
        gTempFolder = TS_new_dir("temp");
        gTimer.hl_timer_real_time = 1000;
        server_search_reset_rest();
        gNet.cancel_slot(SERVER_LIST_SLOT);
        gNet.cancel_slot(DIRECTORY_SLOT);
        gNet._proxy_host = "127.0.0.1";
        // A copy of kFiles files of seven kinds; every third one differs from the listed file.
        copy = TS_new_dir("copy");
        gInstallPath = copy;
        std::string sums[7];
        for (int k = 0; k < 7; ++k) sums[k] = TS_md5_of_text("file kind " + std::to_string(k));
        dir_text = kDirHeader;
        TS_sh("cd '" + copy + "' && mkdir d0 d1 d2 d3 d4 d5 d6 d7 d8 d9");
        for (int i = 0; i < kFiles; ++i) {
            const std::string name = "d" + std::to_string(i % 10) + "/f" + std::to_string(i) + ".txt";
            TS_write_file(copy + name, "file kind " + std::to_string(i % 7));
            const bool differs = i % 3 == 0;
            stale += differs;
            dir_text += "FILE 1 0 0 10 20 " + (differs ? std::string(32, '0') : sums[i % 7]) + " " + name + "\n";
        }
        // ThreadSanitizer starts a thread of its own with the process's first thread: let it
        // start before the count, so only the scan's workers make a difference.
        std::thread([] {}).join();
        baseline = thread_count();
    }
    void TearDown() override
    {
        install_stop_md5_pool();
        gNet.cancel_slot(SERVER_LIST_SLOT);
        gNet.cancel_slot(DIRECTORY_SLOT);
        gServers.clear();
        gQuit = 0;
        ALERT_set_presenter(nullptr);
    }

    // One frame of the wizard on this step.
    int frame(StepPage& page, int entering = 0)
    {
        page = StepPage();
        return step_search_updates(entering, &page);
    }
    // Frames until done(page, result) holds, bounded by count and time.
    template <class F>
    bool frames_until(StepPage& page, F done, int max_frames = 40000, double seconds = 60)
    {
        const auto start = steady::now();
        for (int i = 0; i < max_frames && steady::now() - start < std::chrono::duration<double>(seconds); ++i) {
            const int r = frame(page);
            if (done(page, r)) return true;
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
        return false;
    }
    // The scan's verdict on every file, as the directory file and the copy say it must be.
    void expect_scanned_all()
    {
        ASSERT_EQ(gPlan.install_groups.size(), (size_t)kFiles);
        int wrong = 0;
        for (int i = 0; i < kFiles; ++i) {
            const install_entry& e = gPlan.install_groups[(size_t)i].back();
            wrong += e.up_to_date != (i % 3 == 0 ? 0 : 1) || e.sig_have.size() != 32;
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(gDownloadSize, 10.0f * stale);
        EXPECT_EQ(gSpaceNeeded, 20.0f * stale);
    }
    void expect_scan_page(const StepPage& p, int most)
    {
        EXPECT_EQ(p.title, "Search for Updates");
        EXPECT_EQ(p.text, "I am scanning " + copy + " to see what files need updating.");
        EXPECT_EQ(p.caption, scan_caption(gFilesScanned));
        EXPECT_GT(gFilesScanned, 0);
        EXPECT_LE(gFilesScanned, most);
        EXPECT_FLOAT_EQ(p.progress, (float)gFilesScanned / kFiles);
        EXPECT_EQ(p.back, step_pick_destination);
        EXPECT_EQ(p.next, nullptr);
        EXPECT_EQ(p.confirm_quit, install_stop_md5_pool);
        EXPECT_NE(gScanPool, nullptr);
    }
};

// What one scan frame can hand out at most: four jobs of ten files per worker.
int first_frame_most()
{
    return std::min(kFiles - 1, 40 * (int)THREAD_cpu_count());
}

// The workers' threads gone: a joined thread can linger in /proc for a moment, so look again
// a few times before concluding.
bool back_to(int threads)
{
    for (int i = 0; i < 500 && thread_count() != threads; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return thread_count() == threads;
}

TEST_F(SearchStep, EveryPageFromContactingToCheckDiskSpace)
{
    // Contacting: the fault server answers 503 for the list, which is asked for again.
    TS_server fault;
    ASSERT_TRUE(TS_fault_server_start(fault));
    gNet._proxy_port_int = fault.port;
    StepPage p;
    EXPECT_EQ(frame(p, 1), 0);
    // 50 ms frames, so that the list is asked for again after each rest.
    auto tick = [] { return (gTimer.hl_timer_real_time += 0.05f) > 0; };
    ASSERT_TRUE(frames_until(p, [&](const StepPage&, int) { return tick() && TS_fault_requests(fault).size() >= 2; }));
    EXPECT_EQ(p.title, "Search for Updates");
    EXPECT_EQ(p.text, std::string("I am contacting ") + LOOKUP_HOST + " to find an update server.");
    EXPECT_EQ(p.back, step_pick_destination);
    EXPECT_EQ(p.next, nullptr);
    EXPECT_LT(p.progress, 0.0f);
    EXPECT_EQ(p.caption, "");
    EXPECT_EQ(p.confirm_quit, nullptr);

    // The list names a server whose archive comes slowly: headers after 1.5 s, then a byte every
    // 4 ms. Before slot 1 has a connection the caption shows 0 % and an empty bar.
    TS_serve_file(fault.dir + "lookup.txt", std::string(kListHeader) + "FINAL R\nSERVER slow.test\n/slow/500/4/1500/\nx\n");
    ASSERT_TRUE(frames_until(p, [&](const StepPage&, int) { return tick() && !gServers.empty(); }));
    EXPECT_EQ(p.text, "I am downloading patch info from slow.test.");
    EXPECT_EQ(p.caption, percent_caption(0));
    EXPECT_EQ(p.progress, 0.0f);
    // Connected, length unknown: the connecting sentence and no bar.
    EXPECT_EQ(frame(p), 0);
    EXPECT_EQ(p.caption, kConnecting);
    EXPECT_LT(p.progress, 0.0f);
    EXPECT_EQ(p.text, "I am downloading patch info from slow.test.");
    EXPECT_EQ(p.confirm_quit, nullptr);
    // The body arriving: the share in the caption, followed by '%', and on the bar.
    int shown = -1;
    ASSERT_TRUE(frames_until(p, [&](const StepPage& q, int) {
        for (int k = 1; k < 100; ++k)
            if (q.caption == percent_caption(k)) shown = k;
        return shown > 0;
    }));
    EXPECT_FLOAT_EQ(p.progress, shown * 0.01f);
    EXPECT_EQ(p.back, step_pick_destination);
    EXPECT_EQ(p.next, nullptr);
    gNet.cancel_slot(DIRECTORY_SLOT);

    // The release on nginx: one frame of unpacking, then the scan, then Check Disk Space.
    TS_server nginx;
    const std::string s1 = TS_new_dir("s1");
    ASSERT_TRUE(TS_nginx_start(nginx, {{"s1.test", s1}}));
    gNet._proxy_port_int = nginx.port;
    gServers = {{"s1.test", "/rel/R/", "x"}};
    const std::string stage = TS_new_dir("stage");
    TS_write_file(stage + "directory.txt", dir_text);
    TS_sh("mkdir -p '" + s1 + "rel/R'");
    ASSERT_EQ(TS_run({"zip", "-q", "-X", "-j", s1 + "rel/R/directory.txt.zip", stage + "directory.txt"}).exit_code, 0);
    ASSERT_TRUE(frames_until(p, [](const StepPage&, int) { return gSearchPhase != search_fetching; }));
    EXPECT_EQ(p.text, "I am processing information about the available patches.");
    EXPECT_LT(p.progress, 0.0f);
    EXPECT_EQ(p.caption, "");
    EXPECT_EQ(gSearchPhase, search_unpacked);
    EXPECT_EQ(frame(p), 0);
    expect_scan_page(p, first_frame_most());
    int r = 0;
    ASSERT_TRUE(frames_until(p, [&](const StepPage&, int res) { return (r = res) != 0; }));
    EXPECT_EQ(p.next, step_check_disk_space);
    EXPECT_EQ(p.back, nullptr);
    EXPECT_EQ(gFilesScanned, kFiles);
    EXPECT_EQ(gScanPool, nullptr);
    expect_scanned_all();
    const size_t requests = TS_nginx_access_lines(nginx).size();
    EXPECT_EQ(requests, 1u);

    // Back from Check Disk Space: the kept file is read again and scanned from 0, no request.
    EXPECT_EQ(frame(p, 1), 0);
    expect_scan_page(p, first_frame_most());
    ASSERT_TRUE(frames_until(p, [&](const StepPage&, int res) { return res != 0; }));
    expect_scanned_all();
    EXPECT_EQ(TS_nginx_access_lines(nginx).size(), requests);
    EXPECT_TRUE(gAlertFirstLines.empty());
    EXPECT_EQ(gQuit, 0);
}

TEST_F(SearchStep, BackAndQuitInTheScanLeaveNoWorkerAndComingBackScansAgain)
{
    // As after an earlier scan: the servers known, "directory.txt" kept. Any request would reach
    // the fault server, which records it.
    TS_server fault;
    ASSERT_TRUE(TS_fault_server_start(fault));
    gNet._proxy_port_int = fault.port;
    gServers = {{"s1.test", "/rel/R/", "x"}};
    TS_write_file(gTempFolder + "directory.txt", dir_text);
    gSearchPhase = search_read;
    gFilesScanned = kFiles;

    StepPage p;
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(frame(p, 1), 0);
        expect_scan_page(p, first_frame_most());
        EXPECT_GT(thread_count(), baseline);
        if (round == 0) {
            // Back: the wizard leaves the step, which joins the workers before Pick Destination.
            step_search_updates_left();
        } else if (round == 1) {
            // Quit: the page's confirmation stops the scan first.
            ASSERT_NE(p.confirm_quit, nullptr);
            EXPECT_TRUE(p.confirm_quit());
        } else {
            ASSERT_TRUE(frames_until(p, [](const StepPage&, int res) { return res != 0; }));
            expect_scanned_all();
        }
        EXPECT_EQ(gScanPool, nullptr);
        EXPECT_TRUE(back_to(baseline)) << thread_count() << " threads, " << baseline << " before";
    }
    EXPECT_TRUE(TS_fault_requests(fault).empty());

    // A refused directory file: the new-installer alert, and the page says so.
    const std::string bin = TS_new_dir("xdg") + "bin/";
    mkdir(bin.c_str(), 0755);
    TS_write_script(bin + "xdg-open", "exit 0\n");
    const std::string path_env = getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin";
    setenv("PATH", (bin + ":" + path_env).c_str(), 1);
    TS_write_file(gTempFolder + "directory.txt", "I\n999 Corvane release\nINSTALLER\n");
    EXPECT_EQ(frame(p, 1), 0);
    setenv("PATH", path_env.c_str(), 1);
    EXPECT_EQ(gSearchPhase, search_refused);
    EXPECT_EQ(p.text, "There was a problem reading information from the servers.");
    EXPECT_EQ(p.back, step_pick_destination);
    EXPECT_EQ(p.next, nullptr);
    EXPECT_EQ(p.confirm_quit, nullptr);
    ASSERT_EQ(gAlertFirstLines.size(), 1u);
    EXPECT_NE(gAlertFirstLines[0].find("newer than I can understand"), std::string::npos);
    EXPECT_EQ(gQuit, 1);
}

} // namespace
