// Search for Updates in the real program under Xvfb with Mesa, reached with Next from Welcome and
// its proxy preferences pointing at servers on 127.0.0.1. The fault server holds each network
// phase on screen: contacting while it answers the list with 503, connecting while it withholds
// the archive's headers, downloading while the body comes a byte at a time. nginx serves a real
// release whose scan of a copy of a few thousand files is slowed by large sparse files on one
// processor: the scan shows its count and bar, Back joins its worker, Next scans again without a
// request, and the scan's end goes on to Check Disk Space by itself.
#include "app/server_search.h"
#include "support/test_servers.h"
#include "support/wizard_run.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sched.h>
#include <thread>

namespace {

const WR_rgb kTitle77 = {51, 51, 204}; // the current step's title
const int kQuit = 58, kBack = 595, kNext = 720; // the English buttons' centres; y 23
const char kListHeader[] = "I\n1000 Corvane server list\nSERVERS\n";

bool current_row(const WR_shot& s, int row)
{
    const int base = 480 - 20 * row;
    return s.exact(28, 195, base - 4, base + 11, kTitle77) > 5;
}
// Anything drawn on the page's white ground in the box.
int drawn(const WR_shot& s, int x0, int x1, int y0, int y1)
{
    return s.count(x0, x1, y0, y1, [](WR_rgb c) { return c.r >= 0 && c.sum() < 740; });
}
int page_text(const WR_shot& s)
{
    return drawn(s, 228, 772, 400, 452);
}
int bar(const WR_shot& s)
{
    return drawn(s, 236, 764, 143, 167);
}
int caption(const WR_shot& s)
{
    return drawn(s, 236, 772, 95, 135);
}
// Where the bar's filled (green) part ends, -1 without one.
int fill_end(const WR_shot& s)
{
    return s.extent(236, 764, 150, 160, [](WR_rgb c) { return c.g > c.r + 40 && c.g > c.b; }).right;
}
// Pixels of the page text that differ between two screenshots.
int text_change(const WR_shot& a, const WR_shot& b)
{
    int n = 0;
    for (int y = 400; y <= 452; ++y)
        for (int x = 228; x <= 772; ++x) n += !a.at(x, y).near(b.at(x, y), 40);
    return n;
}

int threads_of(const WR_run& r)
{
    int n = 0;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/proc/" + std::to_string(r.proc.pid) + "/task", ec))
        n += e.is_directory() ? 1 : 0;
    return n;
}
bool wait_threads(const WR_run& r, const std::function<bool(int)>& ok)
{
    for (int i = 0; i < 600 && !ok(threads_of(r)); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return ok(threads_of(r));
}

// Stops the program, every thread of it, and waits until each is stopped (at most 2 s); or lets it go on.
bool hold(const WR_run& r, bool stop)
{
    kill(r.proc.pid, stop ? SIGSTOP : SIGCONT);
    auto all_stopped = [&] {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator("/proc/" + std::to_string(r.proc.pid) + "/task", ec)) {
            const std::string stat = TS_read_file(e.path().string() + "/stat");
            const size_t end = stat.rfind(')');
            if (end == std::string::npos || end + 2 >= stat.size() || stat[end + 2] != 'T') return false;
        }
        return !ec;
    };
    for (int i = 0; stop && i < 200 && !all_stopped(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return !stop || all_stopped();
}

void proxy_prefs(const WR_run& r, int port)
{
    TS_write_file(r.data + "Corvane Installer.prf",
                  "I\n10 version\n_proxy_host 127.0.0.1\n_proxy_port_int " + std::to_string(port) + "\n");
}

// Runs the program on one processor, so the scan has one worker.
bool launch_on_one_cpu(WR_run& r, const std::vector<std::string>& args)
{
    cpu_set_t all, one;
    sched_getaffinity(0, sizeof all, &all);
    CPU_ZERO(&one);
    for (int c = 0; c < CPU_SETSIZE; ++c)
        if (CPU_ISSET(c, &all)) {
            CPU_SET(c, &one);
            break;
        }
    sched_setaffinity(0, sizeof one, &one);
    const bool ok = WR_launch(r, args);
    sched_setaffinity(0, sizeof all, &all);
    return ok;
}

class SearchScreens : public testing::Test {
protected:
    static TS_xvfb x;
    static void SetUpTestSuite() { TS_xvfb_start(x, "1280x1024x24"); }
    static void TearDownTestSuite() { TS_xvfb_stop(x); }
    void SetUp() override { ASSERT_FALSE(x.display.empty()) << "no Xvfb"; }

    // Welcome, then Next to Search for Updates; the program's threads on Welcome come back.
    int to_search(WR_run& r)
    {
        WR_shot s = WR_wait_for(r, "welcome", [](const WR_shot& s) { return current_row(s, 0); });
        EXPECT_TRUE(current_row(s, 0)) << s.png;
        const int threads = threads_of(r);
        EXPECT_TRUE(WR_click(r, kNext, 23));
        EXPECT_TRUE(WR_move(r, 500, 250));
        return threads;
    }
};
TS_xvfb SearchScreens::x;

TEST_F(SearchScreens, ContactingConnectingDownloading)
{
    TS_server fault;
    ASSERT_TRUE(TS_fault_server_start(fault));
    WR_run r;
    ASSERT_TRUE(WR_prepare(r, x, "fault"));
    proxy_prefs(r, fault.port);
    ASSERT_TRUE(WR_launch(r, {TS_new_copy("fault-copy")})) << r.proc.err;
    to_search(r);

    // The list is busy: the look-up host named, no bar, no caption.
    WR_shot contacting = WR_wait_for(r, "contacting", [&](const WR_shot& s) {
        return current_row(s, 1) && page_text(s) > 100 && TS_fault_requests(fault).size() >= 2;
    });
    EXPECT_TRUE(current_row(contacting, 1)) << contacting.png;
    EXPECT_GT(page_text(contacting), 100) << contacting.png;
    EXPECT_EQ(bar(contacting), 0) << contacting.png;
    EXPECT_EQ(caption(contacting), 0) << contacting.png;
    EXPECT_NE(TS_fault_requests(fault).at(0).bytes.find(std::string("GET http://") + LOOKUP_HOST +
                                                       "/_lookup_10_/server_list_10.txt"),
              std::string::npos);

    // The archive's headers held back for 5 s: the connecting sentence is no caption at all.
    TS_serve_file(fault.dir + "lookup.txt",
                  std::string(kListHeader) + "FINAL R\nSERVER slow.test\n/slow/1000/25/5000/\nx\n");
    auto asked = [&] {
        for (const TS_request& q : TS_fault_requests(fault))
            if (q.bytes.find("/slow/1000/25/5000/R/directory.txt.zip") != std::string::npos) return true;
        return false;
    };
    for (int i = 0; i < 300 && !asked(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(asked());
    WR_shot connecting = WR_screenshot(r, "connecting");
    EXPECT_GT(text_change(connecting, contacting), 100) << connecting.png;
    EXPECT_GT(page_text(connecting), 100) << connecting.png;
    EXPECT_EQ(bar(connecting), 0) << connecting.png;
    EXPECT_EQ(caption(connecting), 0) << connecting.png;

    // The body arriving: the bar filling beyond its least 4 percent, and the share in the caption.
    WR_shot downloading = WR_wait_for(
        r, "downloading", [](const WR_shot& s) { return fill_end(s) > 240 + 520 * 0.07 && caption(s) > 100; }, 60);
    EXPECT_GT(fill_end(downloading), 240 + 520 * 0.07) << downloading.png;
    EXPECT_LT(fill_end(downloading), 700) << downloading.png;
    EXPECT_GT(caption(downloading), 100) << downloading.png;
    EXPECT_EQ(text_change(downloading, connecting), 0) << downloading.png;
    // Quit while downloading quits at once.
    ASSERT_TRUE(WR_click(r, kQuit, 23));
    TS_result end = WR_finish(r, 60);
    EXPECT_EQ(end.exit_code, 0) << end.err;
}

// A release on nginx for the copy: big sparse files first (slow to hash, nothing on the disk),
// then a few thousand small ones; every listed signature differs from the copy's.
bool publish_release(const std::string& lookup, const std::string& s1, const std::string& copy)
{
    TS_sh("mkdir -p '" + lookup + "_lookup_10_' '" + s1 + "rel/R' '" + copy + "big' '" + copy + "small'");
    TS_write_file(lookup + "_lookup_10_/server_list_10.txt", std::string(kListHeader) + "FINAL R\nSERVER s1.test\n/rel/\nx\n");
    std::string dir = "I\n1000 Corvane release\nINSTALLER\n";
    for (int i = 0; i < 8; ++i) {
        TS_sh("truncate -s 256M '" + copy + "big/b" + std::to_string(i) + ".bin'");
        dir += "FILE 1 0 0 100 200 " + std::string(32, '0') + " big/b" + std::to_string(i) + ".bin\n";
    }
    for (int i = 0; i < 2000; ++i) {
        TS_write_file(copy + "small/s" + std::to_string(i) + ".txt", "small " + std::to_string(i));
        dir += "FILE 1 0 0 1 2 " + std::string(32, '0') + " small/s" + std::to_string(i) + ".txt\n";
    }
    const std::string stage = TS_new_dir("stage");
    TS_write_file(stage + "directory.txt", dir);
    return TS_run({"zip", "-q", "-X", "-j", s1 + "rel/R/directory.txt.zip", stage + "directory.txt"}).exit_code == 0;
}

TEST_F(SearchScreens, ScanBackScanAgainWithoutARequestThenCheckDiskSpace)
{
    TS_server nginx;
    const std::string lookup = TS_new_dir("lookup"), s1 = TS_new_dir("s1"), copy = TS_new_copy("copy");
    ASSERT_TRUE(TS_nginx_start(nginx, {{LOOKUP_HOST, lookup}, {"s1.test", s1}}));
    ASSERT_TRUE(publish_release(lookup, s1, copy));
    WR_run r;
    ASSERT_TRUE(WR_prepare(r, x, "scan"));
    proxy_prefs(r, nginx.port);
    ASSERT_TRUE(launch_on_one_cpu(r, {copy})) << r.proc.err;
    const int idle = to_search(r);

    // Scanning: the folder named, the count in the caption, the bar; one worker more than before.
    // As soon as the worker is there the program is held, and held again until its frame on screen
    // shows the scan, with less than half of the files handed out.
    auto scanning = [](const WR_shot& s) { return current_row(s, 1) && bar(s) > 500 && caption(s) > 50; };
    EXPECT_TRUE(wait_threads(r, [&](int n) { return n == idle + 1; })) << threads_of(r) << " threads, " << idle << " idle";
    WR_shot s;
    for (int i = 0; i < 5; ++i) {
        if (hold(r, true) && scanning(s = WR_screenshot(r, "scanning"))) break;
        hold(r, false);
        WR_wait_for(r, "scanning-shown", scanning, 60);
    }
    const bool early = scanning(s) && fill_end(s) < 500;
    // Back while it is held: the press waits in its queue, and going on the program takes it within
    // two frames. The scan hands out at most 40 files a frame, so its end is more than 25 frames away.
    const bool clicked = early && WR_click(r, kBack, 23);
    hold(r, false);
    ASSERT_TRUE(scanning(s)) << s.png;
    ASSERT_LT(fill_end(s), 500) << "more than half handed out " << s.png;
    ASSERT_TRUE(clicked);
    EXPECT_GT(page_text(s), 100) << s.png;
    EXPECT_EQ(TS_nginx_access_lines(nginx).size(), 2u); // the list and the archive

    // Back in the middle: the worker is joined at once.
    EXPECT_TRUE(wait_threads(r, [&](int n) { return n == idle; })) << threads_of(r) << " threads, " << idle << " idle";
    s = WR_wait_for(r, "back", [](const WR_shot& s) { return !current_row(s, 1) && bar(s) == 0; });
    EXPECT_FALSE(current_row(s, 1)) << s.png;

    // Next: the kept directory file is read and scanned again, and at its end Check Disk Space
    // follows without a click. Nothing more is asked of the servers.
    ASSERT_TRUE(WR_click(r, kNext, 23));
    ASSERT_TRUE(WR_move(r, 500, 250));
    s = WR_wait_for(r, "scanning-again", scanning);
    EXPECT_TRUE(scanning(s)) << s.png;
    EXPECT_TRUE(TS_wait_for_file_text(r.proc, r.dir + "prog/" + TS_LOG_NAME, " End of MD5 at ", 300));
    s = WR_wait_for(r, "check-disk-space", [](const WR_shot& s) { return current_row(s, 2); });
    EXPECT_TRUE(current_row(s, 2)) << s.png;
    EXPECT_TRUE(wait_threads(r, [&](int n) { return n == idle; }));
    EXPECT_EQ(TS_nginx_access_lines(nginx).size(), 2u);
    ASSERT_TRUE(WR_click(r, kQuit, 23));
    TS_result end = WR_finish(r, 60);
    EXPECT_EQ(end.exit_code, 0) << end.err;
    const std::string log = WR_log(r);
    EXPECT_EQ(TS_count(log, " Start of MD5 at "), 2);
    EXPECT_EQ(TS_count(log, " End of MD5 at "), 1);
}

} // namespace
