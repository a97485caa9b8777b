// tsan: yes
// The MD5 scan on real install folders, checked against md5sum: signatures, missing and unreadable
// files, other platforms, a missing install folder, how groups are handed out, and stopping a scan
// of thousands of files in the middle (by the quit confirmation, by reading a new plan and by the
// program's shutdown), then finishing it.
#include "app/main.h"
#include "engine/checksum_task.h"
#include "engine/utils.h"
#include "foundation/options.h"
#include "frame/hl_init.h"
#include "frame/hl_shutdown.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <sstream>
#include <thread>

namespace {

const char kHeader[] = "I\n1000 Corvane release\nINSTALLER\n";

// md5sum of every file below the folder, by install-relative path.
std::map<std::string, std::string> md5sum_tree(const std::string& dir)
{
    std::map<std::string, std::string> out;
    std::istringstream in(TS_sh("cd '" + dir + "' && find . -type f -print0 | xargs -0 -r md5sum"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() < 36) continue;
        out[line.substr(36)] = line.substr(0, 32); // "<hash>  ./<path>"
    }
    return out;
}

std::string rec(const std::string& path, const std::string& sig, int os = 0)
{
    return "FILE 1 " + std::to_string(os) + " 0 10 20 " + sig + " " + path + "\n";
}

void read_plan(const std::string& body)
{
    static int n = 0;
    const std::string path = TS_scratch() + "scan-directory-" + std::to_string(++n) + ".txt";
    TS_write_file(path, kHeader + body);
    ASSERT_EQ(install_read_directory_file(path), 3);
}

// Polls the scan as the frame loop does, bounded by count and time; true once it returned 1.
bool scan_to_end(int& next, float& progress)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(240);
    for (int i = 0; i < 200000 && std::chrono::steady_clock::now() < until; ++i) {
        if (install_scan_md5(next, progress) == 1) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

const install_entry& current(size_t g)
{
    return gPlan.install_groups.at(g).back();
}

struct Scan : testing::Test {
    static void SetUpTestSuite() { gOptions.opts["--qa_script"] = ""; }
    void SetUp() override
    {
        hl_open_log(TS_log_path());
        gTargetOS = 2;
        gInstallPath = TS_new_dir(std::string("install-") + testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override
    {
        install_stop_md5_pool();
        EXPECT_EQ(gScanPool, nullptr);
    }
};

TEST_F(Scan, SignaturesMatchMd5sum)
{
    const std::string& root = gInstallPath;
    TS_sh("mkdir -p '" + root + "Resources/sub dir' '" + root + "Aircraft/a folder.txt'");
    TS_write_file(root + "empty.txt", "");
    TS_write_file(root + "one.txt", "x");
    // Longer than one read chunk, and not a multiple of it.
    TS_sh("head -c 2097159 /dev/urandom > '" + root + "Resources/big.bin'");
    TS_write_file(root + "Resources/sub dir/with blanks .txt", "blanks");
    TS_write_file(root + "changed.txt", "the user's own version");
    TS_write_file(root + "gone.txt", "still here");
    TS_write_file(root + "other-os.txt", "mac only");
    auto sums = md5sum_tree(root);
    ASSERT_EQ(sums.size(), 7u);

    const std::string body = rec("empty.txt", sums["empty.txt"]) + rec("one.txt", sums["one.txt"]) +
                             rec("Resources/big.bin", sums["Resources/big.bin"]) +
                             rec("Resources/sub dir/with blanks .txt", sums["Resources/sub dir/with blanks .txt"]) +
                             rec("changed.txt", sums["one.txt"]) + rec("changed.txt", "0123456789abcdef0123456789abcdef") +
                             rec("missing.txt", sums["one.txt"]) + rec("gone.txt", sums["gone.txt"]) +
                             rec("gone.txt", "GONE") + rec("gone-absent.txt", "GONE") +
                             rec("Aircraft/a folder.txt", sums["one.txt"]) + rec("other-os.txt", sums["other-os.txt"], 1) +
                             rec("linux-only.txt", "NONE", 3);
    read_plan(body);
    ASSERT_EQ(gPlan.install_groups.size(), 11u);
    // Groups for another platform keep whatever they held.
    gPlan.install_groups[9].back().sig_have = "earlier";
    gPlan.install_groups[9].back().up_to_date = 1;

    int next = 0;
    float progress = -1;
    ASSERT_TRUE(scan_to_end(next, progress));
    EXPECT_EQ(next, 11);
    EXPECT_EQ(progress, 1.0f);
    EXPECT_EQ(gScanPool, nullptr);

    struct Want {
        const char* path;
        std::string have;
        int up_to_date;
    } want[] = {
        {"empty.txt", sums["empty.txt"], 1},
        {"one.txt", sums["one.txt"], 1},
        {"Resources/big.bin", sums["Resources/big.bin"], 1},
        {"Resources/sub dir/with blanks .txt", sums["Resources/sub dir/with blanks .txt"], 1},
        {"changed.txt", sums["changed.txt"], 0},
        {"missing.txt", "NONE", 0},
        {"gone.txt", sums["gone.txt"], 0}, // a GONE entry is never up to date
        {"gone-absent.txt", "NONE", 0},
        {"Aircraft/a folder.txt", "NONE", 0}, // a folder cannot be read as the file
        {"other-os.txt", "earlier", 1},
        {"linux-only.txt", "", 0},
    };
    for (size_t g = 0; g < 11; ++g) {
        EXPECT_EQ(current(g).path, want[g].path);
        EXPECT_EQ(current(g).sig_have, want[g].have) << want[g].path;
        EXPECT_EQ(current(g).up_to_date, want[g].up_to_date) << want[g].path;
    }
    // Only the current version is checked.
    EXPECT_EQ(gPlan.install_groups[4][0].sig_have, "");

    const std::string log = TS_read_log();
    EXPECT_EQ(TS_count(log, " Start of MD5 at "), 1) << log;
    EXPECT_EQ(TS_count(log, " End of MD5 at "), 1) << log;
    EXPECT_LT(log.find(" Start of MD5 at "), log.find(" End of MD5 at "));
}

TEST_F(Scan, MissingInstallFolderMarksEveryFileMissing)
{
    read_plan(rec("a", "0123456789abcdef0123456789abcdef") + rec("b", "NONE") + rec("c", "GONE") +
              rec("d", "0123456789abcdef0123456789abcdef", 1));
    gInstallPath = TS_scratch() + "no such folder/";
    int next = 3;
    float progress = 0.25f;
    EXPECT_EQ(install_scan_md5(next, progress), 1);
    EXPECT_EQ(next, 3);
    EXPECT_EQ(progress, 0.25f);
    EXPECT_EQ(gScanPool, nullptr);
    const int up[] = {0, 1, 0, 0};
    for (size_t g = 0; g < 4; ++g) {
        EXPECT_EQ(current(g).sig_have, "NONE") << g; // other platforms too
        EXPECT_EQ(current(g).up_to_date, up[g]) << g;
    }
    EXPECT_EQ(TS_read_log().find("MD5"), std::string::npos);
}

TEST_F(Scan, EmptyPlanStartsAndEndsAtOnce)
{
    read_plan("");
    int next = 0;
    float progress = 0.5f;
    EXPECT_EQ(install_scan_md5(next, progress), 1);
    EXPECT_EQ(progress, 0.0f);
    EXPECT_EQ(gScanPool, nullptr);
    const std::string log = TS_read_log();
    EXPECT_EQ(TS_count(log, " Start of MD5 at "), 1);
    EXPECT_EQ(TS_count(log, " End of MD5 at "), 1);
}

TEST_F(Scan, GroupsAreHandedOutAsRoomAllows)
{
    std::string body;
    for (int i = 0; i < 25; ++i) body += rec("f" + std::to_string(i), "GONE");
    read_plan(body);
    int next = 0;
    float progress = 0;
    // Jobs of 10, 10 and 5 groups: three jobs fit the four per processor of any machine. The
    // call that hands out the last job does not wait for them: the frame loop must go on.
    EXPECT_EQ(install_scan_md5(next, progress), 0);
    EXPECT_EQ(next, 25);
    EXPECT_EQ(progress, 1.0f); // handed out, not necessarily finished
    ASSERT_NE(gScanPool, nullptr);
    EXPECT_EQ(gScanPool->outstanding(), 3);
    ASSERT_TRUE(scan_to_end(next, progress));
    for (size_t g = 0; g < 25; ++g) EXPECT_EQ(current(g).sig_have, "NONE");
}

// A few thousand files, enough that a stop lands in the middle of the scan.
struct BigTree {
    std::map<std::string, std::string> sums;
    std::string body;
};

// The tree is made once, in the install folder it sets: big-install/ in the scratch folder.
const BigTree& big_tree()
{
    gInstallPath = TS_scratch() + "big-install/";
    const std::string& root = gInstallPath;
    TS_sh("mkdir -p '" + root + "'");
    static BigTree t;
    static std::string made_in;
    if (made_in != root) {
        TS_sh("cd '" + root + "' && for d in 0 1 2 3 4 5 6 7 8 9; do mkdir -p \"d$d\"; "
              "for i in $(seq 0 299); do head -c $((i * 37 + 4096)) /dev/urandom > \"d$d/f$i.bin\"; done; done");
        t.sums = md5sum_tree(root);
        t.body.clear();
        for (const auto& [path, sum] : t.sums) t.body += rec(path, sum);
        made_in = root;
    }
    return t;
}

// Every group that was checked holds md5sum's signature; returns how many were checked.
size_t checked_groups(const std::map<std::string, std::string>& sums)
{
    size_t n = 0;
    for (size_t g = 0; g < gPlan.install_groups.size(); ++g) {
        const install_entry& e = current(g);
        if (e.sig_have.empty()) continue;
        ++n;
        EXPECT_EQ(e.sig_have, sums.at(e.path)) << e.path;
        EXPECT_EQ(e.up_to_date, 1) << e.path;
    }
    return n;
}

TEST_F(Scan, QuittingInTheMiddleStopsAndJoinsAndTheScanCanGoOn)
{
    const BigTree& t = big_tree();
    ASSERT_EQ(t.sums.size(), 3000u);
    read_plan(t.body);

    int next = 0;
    float progress = 0;
    EXPECT_EQ(install_scan_md5(next, progress), 0);
    EXPECT_NE(gScanPool, nullptr);
    EXPECT_GT(next, 0);
    EXPECT_LT(next, 3000);
    // The page's quit confirmation.
    EXPECT_TRUE(install_stop_md5_pool());
    EXPECT_EQ(gScanPool, nullptr);
    const size_t done = checked_groups(t.sums);
    EXPECT_LE(done, (size_t)next);
    EXPECT_TRUE(install_stop_md5_pool()); // a second stop finds nothing to do

    // A later scan starts again from the first group a stopped job left.
    ASSERT_TRUE(scan_to_end(next, progress));
    EXPECT_EQ(checked_groups(t.sums), 3000u);
}

TEST_F(Scan, ReadingANewPlanStopsTheScanFirst)
{
    const BigTree& t = big_tree();
    read_plan(t.body);
    int next = 0;
    float progress = 0;
    EXPECT_EQ(install_scan_md5(next, progress), 0);
    ASSERT_NE(gScanPool, nullptr);

    // The workers are joined before the groups they write are replaced.
    read_plan(t.body);
    EXPECT_EQ(gScanPool, nullptr);
    EXPECT_EQ(checked_groups(t.sums), 0u);
    next = 0;
    ASSERT_TRUE(scan_to_end(next, progress));
    EXPECT_EQ(checked_groups(t.sums), 3000u);
}

TEST_F(Scan, AnInstallFolderThatVanishesStopsTheWorkersFirst)
{
    const BigTree& t = big_tree();
    read_plan(t.body);
    int next = 0;
    float progress = 0;
    EXPECT_EQ(install_scan_md5(next, progress), 0);
    gInstallPath = TS_scratch() + "gone-install/";
    EXPECT_EQ(install_scan_md5(next, progress), 1);
    EXPECT_EQ(gScanPool, nullptr);
    for (size_t g = 0; g < gPlan.install_groups.size(); ++g) EXPECT_EQ(current(g).sig_have, "NONE");
}

TEST_F(Scan, ShutdownDuringAScanJoinsTheWorkers)
{
    const BigTree& t = big_tree();
    // In a child: the plan is freed when the process ends, so a worker still writing into it would
    // be a race the sanitizer reports (and its report changes the exit code).
    EXPECT_EXIT(
        {
            read_plan(t.body);
            int next = 0;
            float progress = 0;
            install_scan_md5(next, progress);
            if (!gScanPool) exit(3);
            app_shutdown(1);
            exit(gScanPool ? 4 : 0);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
