// tsan: yes
// The install engine from end to end against nginx on 127.0.0.1, in the order the wizard drives it:
// directory archive fetched on slot 1, extracted and read; scan; totals; decisions with scripted
// answers; folders; the worklist polled until done, with the frame clock moved over the 30-second
// rests. The release is made here with the real zip and 7z; one of the two servers answers 404 to
// everything. Checked with md5sum file by file, against nginx's request log and the log lines;
// then hostile records, archives and links, the re-queue rule, the worklist reset and clean-up.
#include "app/main.h"
#include "engine/checksum_task.h"
#include "engine/http.h"
#include "engine/modal_frame.h"
#include "engine/utils.h"
#include "engine/worklist.h"
#include "foundation/FILE_compress.h"
#include "foundation/HL_THREAD.h"
#include "foundation/alert.h"
#include "foundation/options.h"
#include "foundation/quit.h"
#include "frame/hl_init.h"
#include "frame/hl_timer.h"
#include "graphics/OGL_view.h"
#include "platform/plat_fileio.h"
#include "support/test_servers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

namespace {

using steady = std::chrono::steady_clock;
const char kHeader[] = "I\n1000 Corvane release\nINSTALLER\n";
const char kReleaseDir[] = "/Corvane10/";

std::string md5_of_file(const std::string& path)
{
    return TS_sh("md5sum < '" + path + "' | cut -c1-32").substr(0, 32);
}

// The lines in byte order, each ended.
std::string joined(const std::set<std::string>& lines)
{
    std::string out;
    for (const std::string& l : lines) out += l + "\n";
    return out;
}

// Every entry below the folder: "f path md5" for files (md5sum), "d path" for folders,
// "l path -> target" for links.
std::string tree(const std::string& dir)
{
    std::istringstream in(TS_sh("cd '" + dir + "' && find . -mindepth 1 -printf '%y\\t%P\\t%l\\n'"));
    std::set<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        const size_t t1 = line.find('\t'), t2 = line.find('\t', t1 + 1);
        const std::string kind = line.substr(0, t1), path = line.substr(t1 + 1, t2 - t1 - 1);
        lines.insert(kind + " " + path + (kind == "f"   ? " " + md5_of_file(dir + path)
                                          : kind == "l" ? " -> " + line.substr(t2 + 1)
                                                        : ""));
    }
    return joined(lines);
}

void write_file(const std::string& path, const std::string& text)
{
    TS_sh("mkdir -p \"$(dirname '" + path + "')\"");
    TS_write_file(path, text);
}

using Logged = TS_nginx_request;

// The release on the servers and its directory file, made with the real zip.
struct Release {
    std::string root;  // nginx root of the good server
    std::string stage; // where the archives are made
    std::string body;  // the directory file's records

    Release() : root(TS_new_dir("release")), stage(TS_new_dir("stage")) {}

    // The archive of a release file: one entry, the file's own name.
    void publish(const std::string& path, const std::string& content)
    {
        const std::string name = path.substr(path.rfind('/') + 1);
        const std::string dir = TS_new_dir("one");
        TS_write_file(dir + name, content);
        publish_archive(path, zip_of(dir + name));
    }
    void publish_archive(const std::string& path, const std::string& archive)
    {
        const std::string out = root + (kReleaseDir + 1) + path + ".zip";
        TS_sh("mkdir -p \"$(dirname '" + out + "')\" && cp '" + archive + "' '" + out + "'");
    }
    static std::string zip_of(const std::string& file)
    {
        const std::string out = file + ".zip";
        const TS_result r = TS_run({"zip", "-q", "-X", "-j", out, file}, {}, 60);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        return out;
    }
    // A file of the copy at its old text, listed old and new, the new one published.
    void update(const std::string& path, const std::string& old, const std::string& now, int dl = 3, int disk = 5)
    {
        write_file(gInstallPath + path, old);
        record(path, TS_md5_of_text(old));
        record(path, TS_md5_of_text(now), 0, dl, disk);
        publish(path, now);
    }
    // A FILE record: platform, download and disk size (kilobytes), signature, path.
    void record(const std::string& path, const std::string& sig, int os = 0, int dl = 3, int disk = 5)
    {
        body += "FILE 1 " + std::to_string(os) + " 0 " + std::to_string(dl) + " " + std::to_string(disk) + " " + sig +
                " " + path + "\n";
    }
    // The directory file, zipped, on the good server.
    void publish_directory()
    {
        const std::string dir = TS_new_dir("dirfile");
        TS_write_file(dir + "directory.txt", kHeader + body);
        const std::string out = root + (kReleaseDir + 1) + "directory.txt.zip";
        TS_sh("mkdir -p '" + root + (kReleaseDir + 1) + "'");
        const TS_result r = TS_run({"zip", "-q", "-X", "-j", out, dir + "directory.txt"}, {}, 60);
        EXPECT_EQ(r.exit_code, 0) << r.err;
    }
};

// Scripted answers of the modified-file question, by local path; every question recorded.
std::map<std::string, int> gAnswers;
std::vector<std::string> gAsked;

int scripted_frame(const std::string&, const std::string& path, const std::string&, const std::vector<std::string>&)
{
    gAsked.push_back(path);
    auto it = gAnswers.find(path);
    return it == gAnswers.end() ? answer_cancel : it->second;
}

// What a run of the worklist did.
struct RunStats {
    int result = 0;
    int frames = 0;
    int rests_skipped = 0; // times the clock was moved to the end of a rest
};

// Drives the worklist as the Install step does: turns for up to 0.02 s per frame. Between frames
// the clock moves on with real time, or, when every stream with work left is resting, straight to
// the end of the first rest. With until, also returns after the first frame after which it
// holds, before the clock moves on.
RunStats run_worklist(double wall_limit_s = 90, const std::function<bool()>& until = nullptr)
{
    RunStats run;
    const auto start = steady::now();
    auto last = steady::now();
    while (run.frames < 200000 && steady::now() - start < std::chrono::duration<double>(wall_limit_s)) {
        ++run.frames;
        const auto t0 = steady::now();
        do {
            run.result = install_run_worklist();
            if (run.result) return run;
        } while (steady::now() - t0 < std::chrono::milliseconds(20));
        if (until && until()) return run;

        const auto now = steady::now();
        gTimer.hl_timer_real_time += std::chrono::duration<float>(now - last).count();
        last = now;
        float first_resume = 1e30f;
        bool all_rest = true, any_work = false;
        for (size_t s = 0; s < gPlan.streams.size(); ++s) {
            const install_stream& st = gPlan.streams[s];
            if (st.group >= (int)gPlan.install_groups.size()) continue;
            any_work = true;
            if (st.resume_time <= gTimer.hl_timer_real_time) all_rest = false;
            first_resume = std::min(first_resume, st.resume_time);
        }
        if (any_work && all_rest) {
            gTimer.hl_timer_real_time = first_resume;
            ++run.rests_skipped;
        }
    }
    ADD_FAILURE() << "the worklist did not end";
    return run;
}

// Bytes that do not pack, so an archive is as large as its file.
std::string random_bytes(size_t n, uint64_t seed)
{
    std::string out(n, 0);
    uint64_t x = 88172645463325252ull ^ (seed * 0x9E3779B97F4A7C15ull);
    for (char& c : out) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        c = (char)(x >> 24);
    }
    return out;
}

// Polls a fetch to its end (bounded).
int fetch(int slot, const std::string& host, const std::string& path, const std::string& local)
{
    const auto start = steady::now();
    while (steady::now() - start < std::chrono::seconds(30)) {
        std::string h = host, p = path, l = local;
        const int r = gNet.net_check(slot, h, p, l);
        if (r) return r;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return 0;
}

struct Worklist : testing::Test {
    const install_modal_hooks kept = gInstallModal;
    TS_server nginx;
    std::string outside; // a folder beside the install folder that nothing may change
    std::string outside_before;

    static void SetUpTestSuite() { gOptions.opts["--qa_script"] = ""; }

    void SetUp() override
    {
        hl_open_log(TS_log_path());
        gTargetOS = 2;
        gLogActions = 1;
        gInstallFailed = 0;
        gTimer.hl_timer_real_time = 1000.0f;
        gInstallPath = TS_new_dir("install");
        gTempFolder = TS_new_dir("temp");
        outside = TS_new_dir("outside");
        write_file(outside + "sentinel.txt", "must stay");
        write_file(outside + "linked/victim.txt", "old victim");
        TS_sh("mkdir -p '" + outside + "empty'");
        outside_before = tree(outside);
        gInstallModal.modified_file_frame = scripted_frame;
        gAnswers.clear();
        gAsked.clear();
        gPlan = install_plan();
        gEmptiedFolders.clear();
        gServers.clear();
    }
    void TearDown() override
    {
        install_reset_worklist();
        install_stop_md5_pool();
        gInstallModal = kept;
        gPopup = 0;
        gServers.clear();
        EXPECT_EQ(tree(outside), outside_before) << "something outside the install folder changed";
        EXPECT_EQ(TS_sh("find '" + TS_scratch() + "' -maxdepth 1 -name '*evil*'"), "");
        EXPECT_EQ(TS_sh("find '" + outside + "' -name '*evil*'"), "");
    }

    // nginx serving the release for good.test, the server (with mirror: for mirror.test too, and
    // both are the servers); every other host gets 404. Traffic goes through the proxy settings to 127.0.0.1.
    void serve(const Release& rel, bool mirror = false)
    {
        std::map<std::string, std::string> roots = {{"good.test", rel.root}};
        gServers = {{"good.test", kReleaseDir, ""}};
        if (mirror) {
            roots["mirror.test"] = rel.root;
            gServers.push_back({"mirror.test", kReleaseDir, ""});
        }
        ASSERT_TRUE(TS_nginx_start(nginx, roots));
        gNet._proxy_host = "127.0.0.1";
        gNet._proxy_port_int = nginx.port;
    }

    // Reads the directory file, scans, counts, decides and makes the folders, as the wizard does
    // before its first worklist turn.
    void prepare(const std::string& directory_file)
    {
        ASSERT_EQ(install_read_directory_file(directory_file), 3);
        int next = 0;
        float progress = 0;
        const auto start = steady::now();
        int done = 0;
        while (!done && steady::now() - start < std::chrono::seconds(60)) {
            done = install_scan_md5(next, progress);
            if (!done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_EQ(done, 1);
        install_count_totals();
        gPopup = 996; // the question's window stays open until it is answered
        ASSERT_EQ(install_decide_actions(), 1);
        gPopup = 0;
        ASSERT_EQ(install_make_folders(), 0);
        install_reset_worklist();
    }
    // The release's directory file as the scratch file name, served and prepared.
    void ready(const Release& rel, const std::string& name, bool mirror = false)
    {
        TS_write_file(TS_scratch() + name, kHeader + rel.body);
        ASSERT_NO_FATAL_FAILURE(serve(rel, mirror));
        prepare(TS_scratch() + name);
    }
    // A fresh set-up; with behind, reached through that server as the proxy.
    void afresh(const TS_server* behind = nullptr)
    {
        TearDown();
        SetUp();
        if (behind) gNet._proxy_host = "127.0.0.1", gNet._proxy_port_int = behind->port;
    }
    // Afresh, the named files, "old" in the copy and "new <name>" on two streams of nginx; the run
    // prepared.
    void two_streams(Release& rel, const std::vector<std::string>& names)
    {
        afresh();
        TS_server_stop(nginx);
        for (const std::string& name : names) rel.update(name, "old", "new " + name, 3, 1);
        ready(rel, "wl-two.txt", true);
    }
};

// ---------------------------------------------------------------------------------------------

TEST_F(Worklist, UpdatesACopyFromEndToEnd)
{
    Release rel;
    const std::string I = gInstallPath;
    const std::string link_rel = "Resources/linked"; // a link in the copy that leads outside it
    std::map<std::string, std::string> want;        // the install folder's files afterwards

    // Updated silently: the local copy is an older listed version.
    rel.update("Corvane.exe", "engine v1", "engine v2", 40, 90);
    want["Corvane.exe"] = "engine v2";
    auto listed = [&](const std::string& path, const std::string& text, int dl = 3, int disk = 5) {
        rel.record(path, TS_md5_of_text(text), 0, dl, disk);
        rel.publish(path, text);
        want[path] = text;
    };
    // Kept: already current (its archive on the server is never asked for).
    write_file(I + "Resources/keep.txt", "keep me");
    listed("Resources/keep.txt", "keep me");
    // New files in new folders, one name with a blank, one a 7z archive made by 7z.
    listed("Aircraft/Glider/glider.acf", "glider", 7, 11);
    listed("Aircraft/Glider/liveries/read me.txt", "livery notes");
    {
        const std::string d = TS_new_dir("sevenzip");
        TS_write_file(d + "scenery.txt", "packed scenery");
        const TS_result r = TS_run({"7z", "a", "-bd", "-y", d + "scenery.7z", d + "scenery.txt"}, {}, 60);
        ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
        listed("Custom Scenery/pack/scenery.7z", TS_read_file(d + "scenery.7z"));
    }
    // Deleted silently; their folders emptied. a/b/c/, a/b/ and a/ go, deepest first.
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    for (const auto& [path, text] : Pairs{{"Resources/old_plugin.dll", "plugin v1"},
                                          {"Resources/obsolete/only.txt", "obsolete"}, {"a/b/c/d.txt", "d v1"}}) {
        write_file(I + path, text);
        rel.record(path, TS_md5_of_text(text));
        rel.record(path, "GONE");
    }
    // Changed by the user, answered each way: listed anew (published) or GONE ("").
    for (const auto& [path, mine, now, answer] : std::vector<std::tuple<std::string, std::string, std::string, int>>{
             {"Resources/settings.txt", "user edit", "settings v2", answer_act},
             {"Resources/fonts.txt", "my fonts", "fonts v2", answer_keep},
             {"Resources/legacy.cfg", "my legacy", "", answer_act},
             {"Resources/notes.cfg", "my notes", "", answer_keep}}) {
        write_file(I + path, mine);
        now.empty() ? rel.record(path, "GONE") : listed(path, now);
        gAnswers[I + path] = answer;
        if (answer == answer_keep) want[path] = mine;
    }
    // Another platform's file, and a GONE file that is not there: nothing.
    rel.record("Mac/Corvane.app", TS_md5_of_text("mac"), 1);
    rel.publish("Mac/Corvane.app", "mac");
    rel.record("Resources/never.txt", "GONE");
    // A file whose folder is a link leading out of the copy: never deleted through it.
    TS_sh("ln -s '" + outside + "linked' '" + I + link_rel + "'");
    rel.record(link_rel + "/victim.txt", TS_md5_of_text("old victim"));
    rel.record(link_rel + "/victim.txt", "GONE");
    // Hostile records: never fetched, written or deleted.
    const std::string out_name = outside.substr(TS_scratch().size());
    for (const std::string& bad : {"../" + out_name + "sentinel.txt", outside + "sentinel.txt",
                                   "Resources/../../" + out_name + "sentinel.txt", std::string("C:/evil.txt"),
                                   std::string("Resources\\evil.txt"), std::string("./evil.txt")})
        rel.record(bad, "GONE");
    rel.record("../evil.txt", TS_md5_of_text("evil"));
    rel.publish("evil.txt", "evil");
    rel.publish_directory();
    serve(rel);

    // Server 0 answers 404 to everything; server 1 has the release.
    gServers = {{"bad.test", kReleaseDir, "x"}, {"good.test", kReleaseDir, "y"}};
    ASSERT_EQ(fetch(1, "good.test", std::string(kReleaseDir) + "directory.txt.zip", gTempFolder + "directory.txt.zip"), 1);
    ASSERT_EQ(FILE_unzip_to_dir(gTempFolder + "directory.txt.zip", gTempFolder), 0);
    ASSERT_NO_FATAL_FAILURE(prepare(gTempFolder + "directory.txt"));
    EXPECT_EQ(std::set<std::string>(gAsked.begin(), gAsked.end()),
              (std::set<std::string>{I + "Resources/settings.txt", I + "Resources/fonts.txt", I + "Resources/legacy.cfg",
                                     I + "Resources/notes.cfg"}));
    EXPECT_EQ(gFilesToFetch, 6); // every file not current, the kept changed one included

    const RunStats run = run_worklist();
    ASSERT_EQ(run.result, 1);
    EXPECT_EQ(gInstallFailed, 1); // the file behind the link stays
    const std::set<std::string> fetched = {"Corvane.exe", "Aircraft/Glider/glider.acf",
                                           "Aircraft/Glider/liveries/read me.txt", "Custom Scenery/pack/scenery.7z",
                                           "Resources/settings.txt"};
    EXPECT_FLOAT_EQ(gPlan.downloaded_bytes, 40 + 7 + 3 * 3);
    EXPECT_FLOAT_EQ(gPlan.installed_bytes, 90 + 11 + 3 * 5);
    float by_streams = 0;
    for (const install_stream& st : gPlan.streams) by_streams += st.bytes_done;
    EXPECT_FLOAT_EQ(by_streams, gPlan.downloaded_bytes);
    EXPECT_EQ(gPlan.streams.at(0).error_message, "Server is not responding normally.");
    EXPECT_EQ(gPlan.streams.at(1).error_message, "");
    install_reset_worklist();

    // The install folder, file by file.
    std::set<std::string> expect = {"l " + link_rel + " -> " + outside + "linked"};
    for (const char* d : {"Aircraft", "Aircraft/Glider", "Aircraft/Glider/liveries", "Custom Scenery",
                          "Custom Scenery/pack", "Resources", "Output", "Output/FMS plans", "Output/logbooks",
                          "Output/replays", "Output/situations", "Output/preferences"})
        expect.insert(std::string("d ") + d);
    for (const auto& [path, text] : want) expect.insert("f " + path + " " + TS_md5_of_text(text));
    EXPECT_EQ(tree(I), joined(expect));
    EXPECT_EQ(tree(gTempFolder), "f directory.txt " + TS_md5_of_text(kHeader + rel.body) + "\nf directory.txt.zip " +
                                     TS_sh("md5sum < '" + gTempFolder + "directory.txt.zip' | cut -c1-32"));
    EXPECT_EQ(gNet.connections.size() > 4 ? gNet.connections[4].get() : nullptr, nullptr);

    // What the servers were asked: the directory archive, every fetched file once from the good
    // server, and from the bad one only files that then came from the good one.
    std::multiset<std::string> good;
    std::set<std::string> bad_asked; // each once: a 404 costs no rest, and nothing is asked again
    int bad = 0;
    for (const Logged& r : TS_nginx_requests(nginx)) {
        if (r.host == "good.test") {
            EXPECT_EQ(r.status, 200) << r.path;
            good.insert(r.path);
        } else {
            EXPECT_EQ(r.host, "bad.test");
            EXPECT_EQ(r.status, 404);
            EXPECT_TRUE(fetched.count(r.path.substr(sizeof kReleaseDir - 1, r.path.size() - 4 - (sizeof kReleaseDir - 1))))
                << r.path;
            EXPECT_TRUE(bad_asked.insert(r.path).second) << r.path;
            ++bad;
        }
    }
    std::multiset<std::string> want_good = {std::string(kReleaseDir) + "directory.txt.zip"};
    for (const std::string& f : fetched) want_good.insert(kReleaseDir + f + ".zip");
    EXPECT_EQ(good, want_good);
    EXPECT_GE(bad, 1);

    // The log: one line per extraction, delete and removed folder; the 404's report; refusals.
    const std::string log = TS_read_log();
    for (const std::string& f : fetched)
        EXPECT_EQ(TS_count(log, "EXPANDING file " + I + f + ", with result=0.\n"), 1) << f;
    EXPECT_EQ(TS_count(log, "EXPANDING file "), (int)fetched.size());
    for (const char* f : {"Resources/old_plugin.dll", "Resources/obsolete/only.txt", "a/b/c/d.txt", "Resources/legacy.cfg"})
        EXPECT_EQ(TS_count(log, std::string("now we want to nuke a file: DELETING  file ") + I + f + ", with result=0.\n"), 1)
            << f;
    EXPECT_EQ(TS_count(log, "now we want to nuke a file: DELETING  file " + I + link_rel +
                                "/victim.txt, with result=" + std::to_string(EPERM) + ".\n"),
              1);
    EXPECT_EQ(TS_count(log, "now we want to nuke a file: "), 5);
    EXPECT_EQ(TS_count(log, "cleanup: DELETING  file " + I + "Resources/obsolete/, with result=0.\n"), 1);
    EXPECT_EQ(TS_count(log, "cleanup: DELETING  file " + I + "a/b/, with result=0.\n"), 1);
    EXPECT_EQ(TS_count(log, "cleanup: DELETING  file "), 4);
    EXPECT_EQ(TS_count(log, "HTTP Error for " + gTempFolder + "0.zip\n   server     =bad.test\n"), bad);
    EXPECT_EQ(TS_count(log, "   response   =Not Found (#404)\n"), bad);
    EXPECT_EQ(TS_count(log, "WARNING: the directory file lists an unsafe path"), 7);
    EXPECT_EQ(TS_count(log, "its folder leads out of the install folder"), 1);
    EXPECT_EQ(TS_count(log, "The installer cannot extract a file."), 0);
}

// One file, two servers: the first fails it after the second has passed the end. The second takes
// it back from the re-queue at once (else the first would retry it every 30 seconds for ever), and
// the install ends with that file, while the first server still rests: it has nothing left to take.
TEST_F(Worklist, FinishedStreamTakesBackAFailedFile)
{
    Release rel;
    rel.record("data/file.txt", TS_md5_of_text("new"));
    rel.publish("data/file.txt", "new");
    TS_write_file(TS_scratch() + "wl-one.txt", kHeader + rel.body);
    serve(rel);
    gServers = {{"bad.test", kReleaseDir, ""}, {"good.test", kReleaseDir, ""}};
    ASSERT_NO_FATAL_FAILURE(prepare(TS_scratch() + "wl-one.txt"));

    // The good server's stream has already passed the end; the bad one works on the file.
    install_stream working, finished;
    working.need_next = 0;
    working.resume_time = gTimer.hl_timer_real_time;
    finished = working;
    finished.group = 1;
    gPlan.streams = {working, finished};
    gPlan.next_group = 1;

    // Poll until the 404 arrives; the clock stands still. In that same pass the finished stream
    // takes the file back.
    const auto start = steady::now();
    while (gPlan.streams[0].error_message.empty() && steady::now() - start < std::chrono::seconds(20)) {
        ASSERT_EQ(install_run_worklist(), 0);
        EXPECT_EQ(install_action, action_download);
        EXPECT_EQ(gCurrentFileName, "file.txt.zip");
    }
    EXPECT_EQ(gPlan.streams[0].error_message, "Server is not responding normally.");
    EXPECT_EQ(gPlan.streams[0].resume_time, 1000.0f + INSTALL_RETRY_SECONDS);
    EXPECT_EQ(gPlan.streams[0].need_next, 1);
    EXPECT_EQ(gPlan.streams[1].group, 0);
    EXPECT_TRUE(gPlan.requeue.empty());

    const RunStats run = run_worklist();
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.rests_skipped, 0);
    EXPECT_LT(gTimer.hl_timer_real_time, gPlan.streams[0].resume_time);
    EXPECT_EQ(TS_read_file(gInstallPath + "data/file.txt"), "new");
    std::vector<std::string> seen;
    for (const Logged& r : TS_nginx_requests(nginx)) seen.push_back(r.host + " " + std::to_string(r.status) + " " + r.path);
    EXPECT_EQ(seen, (std::vector<std::string>{"bad.test 404 /Corvane10/data/file.txt.zip",
                                              "good.test 200 /Corvane10/data/file.txt.zip"}));

    // Eight files on two servers: x.txt, or x.txt and y.txt, on neither; x.txt not on the mirror; the
    // mirror answering 410 to all; or the mirror answering 500, 429, 408, 407 or 403 to all. A 404
    // or 410 costs no rest while the server has a file it has not failed: the others (.) are in
    // place with no rest skipped, each missing file asked for once on each server (g, m)
    // meanwhile, and the mirror takes untried files right after (asked 2 to 8 times, never one file
    // twice). Any other status rests the mirror: asked once. Once only missing files are left,
    // each server asks for one of them once per rest, never in a loop; a stop names each once.
    TS_server faults;
    ASSERT_TRUE(TS_fault_server_start(faults));
    const std::vector<std::string> names = {"f1", "x.txt", "y.txt", "f2", "f3", "f4", "f5", "f6"};
    const std::vector<std::tuple<std::string, std::string, int, int>> cases = {
        {"x", "", 2, 8},          {"x y", "", 2, 8},        {"", "/Mirror10/", 2, 8},     {"", "/status/410/", 2, 8},
        {"", "/error/", 1, 1},    {"", "/status/429/", 1, 1}, {"", "/status/408/", 1, 1}, {"", "/status/407/", 1, 1},
        {"", "/status/403/", 1, 1}};
    for (const auto& [gone, mirror, least, most] : cases) {
        Release rel;
        ASSERT_NO_FATAL_FAILURE(two_streams(rel, names));
        TS_sh("cd '" + rel.root + (kReleaseDir + 1) + "' && for f in " + gone +
              "; do rm $f.txt.zip; done; cp -r . ../Mirror10 && rm -f ../Mirror10/x.txt.zip");
        gServers[1].dir = mirror.empty() ? kReleaseDir : mirror;
        const std::string fault = "http://127.0.0.1:" + std::to_string(faults.port);
        const bool faulty = mirror == "/error/" || mirror.rfind("/status/", 0) == 0;
        ASSERT_TRUE(!faulty || TS_nginx_start(nginx, {{"good.test", rel.root}, {"mirror.test", fault}}));
        gNet._proxy_port_int = nginx.port;
        const auto lost = [&](const std::string& p) {
            return p.find(".txt") != p.npos && gone.find(p[p.find(".txt") - 1]) != gone.npos;
        };
        const auto in_place = [&] {
            for (const std::string& n : names)
                if (!lost(n) && TS_read_file(gInstallPath + n) != "new " + n) return false;
            return true;
        };
        std::string asked;
        const auto ask = [&] {
            asked.clear();
            for (const Logged& r : TS_nginx_requests(nginx)) asked += lost(r.path) ? r.host[0] : '.';
            return asked;
        };
        const RunStats run = run_worklist(90, gone.empty() ? std::function<bool()>() : in_place);
        EXPECT_EQ(run.rests_skipped, 0) << mirror << gone;
        EXPECT_TRUE(in_place()) << mirror << gone;
        // The mirror asks once more only when a file nobody asked for was left at its first failure:
        // the other stream may be fetching one not yet logged, and take one more before the
        // mirror's turn.
        std::set<std::string> mirror_asked, files_asked;
        int asks = 0, untried_at_failure = -1;
        for (const Logged& r : TS_nginx_requests(nginx)) {
            asks += r.host == "mirror.test" && mirror_asked.insert(r.path).second;
            files_asked.insert(r.path.substr(r.path.rfind('/')));
            if (r.host == "mirror.test" && r.status >= 400 && untried_at_failure < 0)
                untried_at_failure = std::max(0, 8 - (int)files_asked.size() - 2);
        }
        EXPECT_EQ(asks, TS_count(TS_read_file(nginx.dir + "access.log"), " mirror.test ")) << mirror;
        EXPECT_TRUE(asks >= (untried_at_failure != 0 ? least : 1) && asks <= most) << asks << mirror;
        if (gone.empty()) {
            EXPECT_EQ(run.result - gInstallFailed, 1);
            continue;
        }
        const int n = (int)(gone.size() + 1) / 2;
        for (const char* h : {"g", "m", "."}) EXPECT_EQ(TS_count(ask(), h), *h == '.' ? 8 - n : n) << asked;
        const size_t one = asked.size();
        const RunStats more = run_worklist(90, [&] { return ask().size() >= one + 6; });
        for (const char* h : {"g", "m", "."})
            EXPECT_LE(TS_count(asked.substr(one), h), *h == '.' ? 0 : more.rests_skipped) << asked;
        EXPECT_TRUE(more.result == 0 && install_only_failed_files_left());
        install_drop_downloads();
        for (const char f : gone)
            EXPECT_TRUE(f == ' ' || TS_count(TS_read_log(), f + std::string(".txt was not installed: ")) == 1) << f;
        EXPECT_EQ(TS_sh("cd '" + gInstallPath + "' && cat x.txt y.txt"), gone.size() > 1 ? "oldold" : "oldnew y.txt");
    }
}

// Archives that try to write outside their folder, through a link, or are no archive: the install
// stops with the note, the local file keeps its old content, the archive is gone, and the file
// is still to be fetched: counted in the totals and asked for again by the next run.
TEST_F(Worklist, HostileArchivesStopTheInstallAndTouchNothingOutside)
{
    const std::string out_rel = outside.substr(TS_scratch().size()); // outside-N/
    struct Case {
        const char* name;
        std::string path;   // install-relative
        std::string maker;  // python code that writes the archive to sys.argv[1], or "" for a plain zip
    };
    const std::string py_parent =
        "import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w')\nz.writestr('../../" + out_rel +
        "evil.txt','evil')\nz.writestr('file.txt','fine')\nz.close()\n";
    const std::string py_abs = "import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w')\nz.writestr('" + outside +
                               "evil.txt','evil')\nz.close()\n";
    const std::string py_link =
        "import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w')\ni=zipfile.ZipInfo('lnk')\n"
        "i.external_attr=0o120777<<16\nz.writestr(i,'" + outside + "')\nz.writestr('lnk/evil.txt','evil')\nz.close()\n";
    const std::string py_junk = "import sys\nopen(sys.argv[1],'wb').write(b'<html>404 Not Found</html>')\n";
    const std::string py_cut = "import zipfile,sys,os\nz=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_STORED)\n"
                               "z.writestr('file.txt',os.urandom(200000))\nz.close()\n"
                               "d=open(sys.argv[1],'rb').read()\nopen(sys.argv[1],'wb').write(d[:100000])\n";
    const Case cases[] = {{"entry into the parent folder", "data/file.txt", py_parent},
                          {"absolute entry", "data/file.txt", py_abs},
                          {"link entry, then a file through it", "data/file.txt", py_link},
                          {"not an archive", "data/file.txt", py_junk},
                          {"cut short", "data/file.txt", py_cut},
                          {"folder that is a link leading out", "linked/file.txt", ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        afresh();
        Release rel;
        const std::string local = gInstallPath + c.path;
        const bool through_link = c.path.rfind("linked/", 0) == 0;
        // Through the link, the copy's file is read, and its old version written, outside.
        if (through_link)
            TS_sh("mkdir '" + outside + "linkdir' && ln -s '" + outside + "linkdir' '" + gInstallPath + "linked'");
        rel.update(c.path, "old", "new");
        if (through_link) outside_before = tree(outside);
        if (!c.maker.empty()) {
            const std::string a = TS_new_dir("hostile") + "a.zip";
            const TS_result r = TS_run({"python3", "-c", c.maker, a}, {}, 60);
            ASSERT_EQ(r.exit_code, 0) << r.err;
            rel.publish_archive(c.path, a);
        }
        ASSERT_NO_FATAL_FAILURE(ready(rel, "wl-hostile.txt"));

        const RunStats run = run_worklist();
        EXPECT_EQ(run.result, 1);
        EXPECT_EQ(gInstallFailed, 1);
        EXPECT_EQ(TS_read_file(local), "old");
        EXPECT_EQ(TS_sh("ls -A '" + gTempFolder + "'"), "");
        const std::string log = TS_read_log();
        const std::string note = "The installer cannot extract a file.\nError: ";
        EXPECT_EQ(TS_count(log, note), 1);
        EXPECT_EQ(TS_count(log, "\nCompressed File: " + gTempFolder + "0.zip\nDestination: " + local + "\n(utils:433)\n"), 1);
        EXPECT_EQ(TS_count(log, "EXPANDING file " + local + ", with result="), 1);
        EXPECT_EQ(TS_count(log, "EXPANDING file " + local + ", with result=0."), 0);

        // The file is not the listed version: the totals still count it, and the next run (the
        // wizard decides again on entering Install Updates) fetches it again, now a good archive.
        EXPECT_EQ(gPlan.install_groups.at(0).back().up_to_date, 0);
        install_count_totals();
        EXPECT_EQ(gFilesToFetch, 1);
        EXPECT_FLOAT_EQ(gDownloadSize, 3);
        rel.publish(c.path, "new");
        gInstallFailed = 0;
        gPopup = 996;
        ASSERT_EQ(install_decide_actions(), 1);
        gPopup = 0;
        ASSERT_EQ(install_make_folders(), 0);
        install_reset_worklist();
        EXPECT_EQ(run_worklist().result, 1);
        int asked = 0;
        for (const Logged& r : TS_nginx_requests(nginx)) asked += r.path == std::string(kReleaseDir) + c.path + ".zip";
        // A bad archive is asked for once more before it fails; a refused place is not.
        EXPECT_EQ(asked, through_link ? 2 : 3);
        install_count_totals(); // a refused place is refused again
        EXPECT_EQ(gInstallFailed, through_link ? 1 : 0);
        EXPECT_EQ(TS_read_file(local), through_link ? "old" : "new");
        EXPECT_EQ(gFilesToFetch, through_link ? 1 : 0);
    }
}

// The archive the worklist would name for a 7z file is extracted with the 7z reader, under the
// same rules: its other items are not written, and a file with other bytes does not replace the old.
TEST_F(Worklist, SevenZipArchiveIsExtractedOverTheLocalFile)
{
    const std::string d = TS_new_dir("sz");
    TS_write_file(d + "tex.txt", "seven zip content");
    TS_write_file(d + "extra.txt", "extra");
    auto pack = [&] {
        const TS_result r = TS_run({"7z", "a", "-bd", "-y", d + "tex.7z", d + "tex.txt", d + "extra.txt"}, {}, 60);
        EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    };
    pack();
    write_file(gInstallPath + "Textures/tex.txt", "old");
    EXPECT_EQ(install_extract_file(d + "tex.7z", gInstallPath + "Textures/tex.txt", TS_md5_of_text("seven zip content")), 0);
    EXPECT_EQ(TS_read_file(gInstallPath + "Textures/tex.txt"), "seven zip content");
    EXPECT_EQ(TS_sh("ls '" + gInstallPath + "Textures'"), "tex.txt\n");
    EXPECT_EQ(TS_sh("ls '" + d + "'"), "extra.txt\ntex.txt\n"); // the archive is gone
    EXPECT_EQ(TS_count(TS_read_log(), "EXPANDING file " + gInstallPath + "Textures/tex.txt, with result=0.\n"), 1);
    EXPECT_EQ(TS_count(TS_read_log(), "holds the entry \"extra.txt\", which is not the file \"tex.txt\""), 1);

    TS_write_file(d + "tex.txt", "other bytes");
    pack();
    EXPECT_EQ(install_extract_file(d + "tex.7z", gInstallPath + "Textures/tex.txt", TS_md5_of_text("v3")), EBADMSG);
    EXPECT_EQ(gInstallFailed, 1);
    EXPECT_EQ(TS_sh("ls -A '" + gInstallPath + "Textures'"), "tex.txt\n");
    EXPECT_EQ(TS_read_file(gInstallPath + "Textures/tex.txt"), "seven zip content");
    EXPECT_EQ(TS_count(TS_read_log(), "MD5 is " + TS_md5_of_text("other bytes") + ", the directory file lists " +
                                       TS_md5_of_text("v3")),
              1);
}

// The reset in the middle of a download: the transfer stops, the stream's archive goes, and
// nothing in the install folder is deleted, not even a file named like the archive. A new run
// then installs the file.
TEST_F(Worklist, ResetStopsTheStreamsAndDeletesOnlyTheirArchives)
{
    Release rel;
    // Random bytes, so that the archive is as large as the file.
    const std::string big = random_bytes(6 * 1024 * 1024, 0);
    rel.record("data/big.bin", TS_md5_of_text(big), 0, 6150, 6144);
    rel.publish_archive("data/big.bin", [&] {
        const std::string dir = TS_new_dir("big");
        TS_write_file(dir + "big.bin", big);
        return Release::zip_of(dir + "big.bin");
    }());
    write_file(gInstallPath + "data/big.bin.zip", "the user's own file");
    ASSERT_NO_FATAL_FAILURE(ready(rel, "wl-big.txt"));

    for (int i = 0; i < 6; ++i) ASSERT_EQ(install_run_worklist(), 0);
    EXPECT_NE(gNet.connections.at(INSTALL_STREAM_SLOT), nullptr);
    EXPECT_LT(gNet.percent_done(INSTALL_STREAM_SLOT), 100.0f);
    const std::string install_before = tree(gInstallPath);
    gTimer.hl_timer_real_time = 1234.0f;
    install_reset_worklist();
    EXPECT_EQ(gNet.connections.at(INSTALL_STREAM_SLOT), nullptr);
    EXPECT_EQ(TS_sh("ls -A '" + gTempFolder + "'"), "");
    EXPECT_EQ(tree(gInstallPath), install_before);
    EXPECT_TRUE(gPlan.streams.empty());
    EXPECT_TRUE(gPlan.requeue.empty());
    EXPECT_EQ(gPlan.next_group, 0);
    EXPECT_EQ(gPlan.start_time, 1234.0f);
    EXPECT_EQ(gPlan.downloaded_bytes + gPlan.installed_bytes + gPlan.inflight_bytes, 0.0f);

    // Once the program is asked to quit no stream begins a file.
    gQuit = 1;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(install_run_worklist(), 0);
    gQuit = 0;
    EXPECT_EQ(gNet.connections.at(INSTALL_STREAM_SLOT), nullptr);
    // A folder that an older run's directory archive left at the stream's archive name is cleared.
    TS_sh("mkdir -p '" + gTempFolder + "0.zip/x'");
    EXPECT_EQ(run_worklist().result, 1);
    EXPECT_EQ(gInstallFailed, 0);
    EXPECT_EQ(TS_sh("md5sum < '" + gInstallPath + "data/big.bin' | cut -c1-32"), TS_md5_of_text(big) + "\n");
    EXPECT_EQ(TS_read_file(gInstallPath + "data/big.bin.zip"), "the user's own file");
}

// Without network: no servers, a plan that names paths outside the copy, emptied folders outside
// it, and no install folder at all.
TEST_F(Worklist, RefusesWhatLiesOutsideTheInstallFolder)
{
    const std::string I = gInstallPath;
    TS_sh("mkdir -p '" + I + "a/b' '" + I + "full' '" + I + "gone' && touch '" + I + "full/x'");
    gEmptiedFolders = {I + "a/", I + "a/b/", I + "full/", outside + "empty/", I + "../" + outside.substr(TS_scratch().size()) + "empty/"};
    EXPECT_EQ(install_run_worklist(), 1);
    EXPECT_EQ(TS_sh("cd '" + I + "' && find . | sort"), ".\n./full\n./full/x\n./gone\n");
    EXPECT_EQ(TS_count(TS_read_log(), "WARNING: the install engine does not remove the folder"), 2);

    // Entries the reader would never have let in.
    install_entry del_out, del_in, get_out;
    del_out.path = "../" + outside.substr(TS_scratch().size()) + "sentinel.txt";
    del_out.sig_want = "GONE";
    del_out.do_delete = 1;
    del_in.path = "full/x";
    del_in.do_delete = 1;
    get_out.path = "../evil.txt";
    get_out.do_download = 1;
    install_entry del_gone = del_in; // a retired file already gone: deleted, its folder emptied
    del_gone.path = "gone/x";
    // A retired name that is a folder cannot be deleted: the run ends with problems, the rest done.
    TS_sh("mkdir -p '" + I + "busy/in'");
    gPlan.install_groups = {{del_out}, {del_in}, {del_in}, {del_gone}};
    gPlan.install_groups[1][0].path = "busy";
    gServers = {{"unused.invalid", kReleaseDir, ""}};
    gEmptiedFolders.clear();
    // The stream's archive a killed run left goes at the end, though this run fetches nothing.
    TS_write_file(gTempFolder + "0.zip", "left by a killed run");
    EXPECT_EQ(run_worklist().result, 1);
    EXPECT_EQ(gInstallFailed, 1);
    EXPECT_EQ(TS_sh("ls -A '" + gTempFolder + "'"), "");
    EXPECT_EQ(TS_sh("cd '" + I + "' && find . | sort"), ".\n./busy\n./busy/in\n"); // full/x deleted, full/ and gone/ removed
    EXPECT_EQ(TS_count(TS_read_log(), "could not be deleted"), 1); // busy only
    install_reset_worklist();
    // The second stream's delete comes after the first one's failure in the call: never done.
    TS_sh("rm -r '" + I + "busy' && mkdir '" + I + "a' && touch '" + I + "a/y'");
    del_in.path = "a/y";
    gPlan.install_groups = {{get_out}, {del_in}};
    gServers.resize(2, gServers[0]);
    EXPECT_EQ(install_run_worklist(), 1);
    EXPECT_EQ(gInstallFailed, 1);
    EXPECT_EQ(TS_count(TS_read_log(), "it is not a plain path inside the install folder"), 2);
    install_reset_worklist();
    EXPECT_EQ(TS_sh("ls '" + I + "a'"), "y\n");

    // A link in the copy into a sibling folder whose name begins with the copy's own
    // (install-N/ and install-N-sibling/): outside, however alike the names. Nothing there is
    // deleted, written or removed through it.
    gInstallFailed = 0;
    install_reset_worklist();
    const std::string sibling = I.substr(0, I.size() - 1) + "-sibling/";
    write_file(sibling + "victim.txt", "the sibling's");
    write_file(sibling + "file.txt", "the sibling's");
    TS_sh("mkdir -p '" + sibling + "empty' && ln -s '" + sibling + "' '" + I + "sib'");
    const std::string sibling_before = tree(sibling);
    install_entry del_sib;
    del_sib.path = "sib/victim.txt";
    del_sib.sig_want = "GONE";
    del_sib.do_delete = 1;
    gPlan.install_groups = {{del_sib}};
    gEmptiedFolders = {I + "sib/empty/"};
    EXPECT_EQ(run_worklist().result, 1);
    const std::string zip = [] {
        const std::string d = TS_new_dir("sibzip");
        TS_write_file(d + "file.txt", "written through the link");
        return Release::zip_of(d + "file.txt");
    }();
    EXPECT_EQ(install_extract_file(zip, I + "sib/file.txt", TS_md5_of_text("written through the link")), EPERM);
    EXPECT_EQ(gInstallFailed, 1);
    EXPECT_EQ(tree(sibling), sibling_before);
    const std::string log = TS_read_log();
    EXPECT_EQ(TS_count(log, "now we want to nuke a file: DELETING  file " + I + "sib/victim.txt, with result=" +
                                std::to_string(EPERM) + ".\n"),
              1);
    EXPECT_EQ(TS_count(log, "\"" + I + "sib/file.txt\": its folder leads out of the install folder"), 1);
    EXPECT_EQ(TS_count(log, "WARNING: the install engine does not remove the folder \"" + I + "sib/empty/\""), 1);

    // Actions not logged: a retired name that is a folder holding a file is a warning with the
    // error; a stop after the delete that emptied n/e/s/ removes the three folders.
    install_reset_worklist();
    gLogActions = 0;
    TS_sh("mkdir -p '" + I + "n/e/s' && touch '" + I + "n/e/s/z'");
    del_in.path = "n/e/s/z";
    del_out.path = "a";
    gPlan.install_groups = {{del_out}, {del_in}, {install_entry()}};
    gEmptiedFolders.clear();
    const size_t mark = TS_read_log().size();
    EXPECT_EQ(install_run_worklist(), 0);
    install_drop_downloads();
    EXPECT_EQ(TS_sh("cd '" + I + "' && find a n 2>/dev/null | sort"), "a\na/y\n");
    EXPECT_EQ(TS_count(TS_read_log().substr(mark), "WARNING"), 1);
    EXPECT_EQ(TS_count(TS_read_log(), I + "a could not be deleted (Error: " + FILE_error_text(EISDIR) + ")"), 1);

    gInstallFailed = 0;
    install_reset_worklist();
    gInstallPath = "";
    EXPECT_EQ(install_run_worklist(), 1);
    EXPECT_EQ(gInstallFailed, 1);
    EXPECT_TRUE(gPlan.streams.empty());
}


// ---------------------------------------------------------------------------------------------
// The update under faults: runaway downloads, a full temporary disk, a wrong file, killed runs.

// Downloads that would never end, that end far larger than the directory file lists, or that
// trickle in at one byte a second: each fails within its limit and leaves no archive behind, and
// the old file stays. One too large is a bad archive: asked for once more at once, past caches,
// then the file fails. One too slow is the server's failure: it rests, the file waits in the re-queue.
TEST_F(Worklist, RunawayDownloadsFailWithinTheirLimitsAndLeaveNoArchive)
{
    TS_server faults;
    ASSERT_TRUE(TS_fault_server_start(faults));
    struct Case {
        const char* dir; // on the fault server: how it answers
        const char* report;
        const char* failure;
    };
    const Case cases[] = {{"/endlesschunk/", "HTTP Error for ", "body larger than allowed"},
                          {"/ok/5000000/", "HTTP Error for ", "body larger than allowed"},   // announced
                          {"/nolen/5000000/", "HTTP Error for ", "body larger than allowed"}, // not announced
                          {"/slow/100000/", "Timeout for ", "too slow: "}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dir);
        afresh(&faults);
        gNet.slow_seconds = 3; // ten minutes in a real run; the rate stays 1 KiB/s
        Release rel;
        write_file(gInstallPath + "data/f.bin", "old");
        rel.record("data/f.bin", TS_md5_of_text("old"));
        rel.record("data/f.bin", TS_md5_of_text("new")); // 3 KB listed: at most 1 MiB + 3 KiB
        TS_write_file(TS_scratch() + "wl-runaway.txt", kHeader + rel.body);
        gServers = {{"faults.test", c.dir, ""}};
        ASSERT_NO_FATAL_FAILURE(prepare(TS_scratch() + "wl-runaway.txt"));
        const size_t mark = TS_read_log().size();

        const bool over = c.report[0] == 'H';
        const auto start = steady::now();
        auto last = start;
        int result = 0;
        while (!result && (gPlan.streams.empty() || gPlan.streams[0].error_message.empty()) &&
               steady::now() - start < std::chrono::seconds(30)) {
            result = install_run_worklist();
            const auto now = steady::now();
            gTimer.hl_timer_real_time += std::chrono::duration<float>(now - last).count();
            last = now;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        EXPECT_LT(steady::now() - start, std::chrono::seconds(10));
        ASSERT_EQ(gPlan.streams.size(), 1u);
        EXPECT_EQ(result, over ? 1 : 0);
        EXPECT_EQ(gPlan.streams[0].error_message, over ? "" : "Server is not responding normally.");
        EXPECT_EQ(gPlan.requeue, over ? std::deque<int32_t>{} : std::deque<int32_t>{0});
        EXPECT_EQ(gInstallFailed, over ? 1 : 0);
        EXPECT_EQ(TS_sh("ls -A '" + gTempFolder + "'"), "");
        EXPECT_EQ(TS_read_file(gInstallPath + "data/f.bin"), "old");
        const std::string log = TS_read_log().substr(mark);
        EXPECT_EQ(TS_count(log, c.report + gTempFolder + "0.zip\n   server     =faults.test\n"), 1) << log;
        EXPECT_EQ(TS_count(log, std::string("   failure    =") + c.failure), 1) << log;
    }
    // Archives are checked against their MD5 after extraction: a proxy's cache may answer for a
    // first request. The one more request for an archive too large goes past it.
    std::map<std::string, int> asked;
    for (const TS_request& r : TS_fault_requests(faults)) {
        const std::string line = r.bytes.substr(0, r.bytes.find("\r\n"));
        EXPECT_EQ(r.bytes.find("no-cache") != std::string::npos, asked[line]++ > 0) << r.bytes;
    }
    EXPECT_EQ(asked.size(), 4u);
    gNet.slow_seconds = NET_SLOW_SECONDS;
}

// The temporary folder on a small tmpfs, two streams: the archives larger than the room left
// cannot be written. That is no server's fault: the install stops at once with one note, the
// system's text and the temporary folder named, and every file is old or new, none cut.
TEST_F(Worklist, FullTemporaryDiskStopsTheInstallWithEveryFileWhole)
{
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs for the temporary folder needs root";
    struct Mount {
        std::string dir;
        bool mounted = false;
        ~Mount()
        {
            if (mounted) TS_run({"umount", dir}, {}, 30);
        }
    } tmp{TS_new_dir("smalltmp")};
    const TS_result m = TS_run({"mount", "-t", "tmpfs", "-o", "size=512k,mode=0700", "tmpfs", tmp.dir}, {}, 30);
    ASSERT_EQ(m.exit_code, 0) << m.err;
    tmp.mounted = true;
    gTempFolder = tmp.dir;

    Release rel;
    const std::string I = gInstallPath;
    const std::vector<std::pair<std::string, std::string>> files = {{"a/one.txt", "one v2"},
                                                                    {"a/two.txt", "two v2"},
                                                                    {"b/big.bin", random_bytes(1536 * 1024, 1)},
                                                                    {"b/big2.bin", random_bytes(1536 * 1024, 2)},
                                                                    {"c/three.txt", "three v2"}};
    for (const auto& [path, content] : files)
        rel.update(path, "old " + path, content, (int)content.size() / 1024 + 3, (int)content.size() / 1024 + 1);
    ASSERT_NO_FATAL_FAILURE(ready(rel, "wl-full.txt", true));

    const auto start = steady::now();
    const RunStats run = run_worklist(30);
    EXPECT_LT(steady::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(gInstallFailed, 1);
    EXPECT_EQ(run.rests_skipped, 0);
    for (const install_stream& st : gPlan.streams) EXPECT_EQ(st.error_message, ""); // no server's fault
    EXPECT_TRUE(gPlan.requeue.empty());
    const std::string log = TS_read_log();
    EXPECT_EQ(TS_count(log, "The installer cannot write a downloaded file.\nError: " + FILE_error_text(ENOSPC) +
                                "\nTemporary Folder: " + tmp.dir + "\n\n(utils:434)\n"),
              1)
        << log;
    EXPECT_EQ(TS_count(log, "The installer cannot"), 1);
    // Before the big files: new; the big ones and what follows: old. Nothing cut, nothing left over.
    for (const auto& [path, content] : files) {
        const bool before = path[0] == 'a';
        EXPECT_EQ(md5_of_file(I + path), TS_md5_of_text(before ? content : "old " + path)) << path;
    }
    // The other stream's archive goes as the Install step ends the run.
    install_reset_worklist();
    EXPECT_EQ(TS_sh("ls -A '" + tmp.dir + "'"), "");
    EXPECT_EQ(TS_sh("find '" + I + "' -name '*.part-*'"), "");
}

// What is installed is what the directory file asked for. An archive with the right file and an
// extra entry installs the file alone; one holding other bytes under the file's name plus an
// "evil.sh" writes neither: the old file stays, the warnings name the file, both signatures and
// the extra entries, and the install counts as failed, so it does not end as a success.
TEST_F(Worklist, OnlyTheListedFileWithItsListedSignatureIsInstalled)
{
    Release rel;
    const std::string I = gInstallPath;
    auto zip_two = [](const std::string& name, const std::string& content, const std::string& extra) {
        const std::string d = TS_new_dir("two");
        TS_write_file(d + name, content);
        TS_write_file(d + extra, "#!/bin/sh\nrm -rf ~\n");
        const TS_result r = TS_run({"zip", "-q", "-X", "-j", d + "a.zip", d + name, d + extra}, {}, 60);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        return d + "a.zip";
    };
    rel.update("bin/tool.sh", "tool v1", "tool v2");
    rel.publish_archive("bin/tool.sh", zip_two("tool.sh", "tool v2", "extra.txt"));
    rel.update("bin/run.sh", "run v1", "run v2");
    rel.publish_archive("bin/run.sh", zip_two("run.sh", "tampered", "evil.sh"));
    ASSERT_NO_FATAL_FAILURE(ready(rel, "wl-wrong.txt"));

    const RunStats run = run_worklist();
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(gInstallFailed, 1);
    EXPECT_EQ(TS_read_file(I + "bin/tool.sh"), "tool v2");
    EXPECT_EQ(TS_read_file(I + "bin/run.sh"), "run v1");
    EXPECT_EQ(TS_sh("cd '" + I + "' && find . -type f | sort"), "./bin/run.sh\n./bin/tool.sh\n");
    EXPECT_EQ(TS_sh("ls -A '" + gTempFolder + "'"), "");
    const std::string log = TS_read_log();
    EXPECT_EQ(TS_count(log, "WARNING: the archive " + gTempFolder + "0.zip holds the entry \"extra.txt\", which is "
                            "not the file \"tool.sh\" it was fetched for; it is not written\n"),
              1);
    // Once for the first archive, once for the one asked for again past any cache.
    EXPECT_EQ(TS_count(log, "holds the entry \"evil.sh\", which is not the file \"run.sh\""), 2);
    const std::string why = "holds a file whose MD5 is " + TS_md5_of_text("tampered") + ", the directory file lists " +
                            TS_md5_of_text("run v2");
    EXPECT_EQ(TS_count(log, "The archive of the file " + I + "bin/run.sh " + why +
                            "; it is asked for again past any cache.\n"),
              1);
    EXPECT_EQ(TS_count(log, "WARNING: the file " + I + "bin/run.sh was not installed: the archive " + why +
                            "; the old file stays\n"),
              1)
        << log;
    EXPECT_EQ(TS_count(log, "The installer cannot extract a file."), 0);
    EXPECT_EQ(TS_count(log, "EXPANDING file " + I + "bin/tool.sh, with result=0.\n"), 1);
    EXPECT_EQ(TS_count(log, "EXPANDING file " + I + "bin/run.sh, with result=" + std::to_string(EBADMSG) + ".\n"), 1);
    // The wrong file is still to be fetched.
    EXPECT_EQ(gPlan.install_groups.at(0).back().up_to_date, 1);
    EXPECT_EQ(gPlan.install_groups.at(1).back().up_to_date, 0);
    install_count_totals();
    EXPECT_EQ(gFilesToFetch, 1);
}

// A request with both headers that make every cache on the way go to the server.
bool past_caches(const TS_request& r)
{
    return r.bytes.find("\r\nCache-Control: no-cache\r\n") != std::string::npos &&
           r.bytes.find("\r\nPragma: no-cache\r\n") != std::string::npos;
}

// The archive of the file called name, holding content, as the fault server's cache gives it
// (where: "stale", or "fresh" past the cache) for /cache/rel/; with cut, its first half only.
void cache_put(const TS_server& faults, const std::string& content, const std::string& where,
               const std::string& name, bool cut = false)
{
    const std::string d = TS_new_dir("cached"), to = faults.dir + where + "/rel/" + name + ".zip";
    TS_write_file(d + name, content);
    TS_sh("mkdir -p '" + faults.dir + where + "/rel' && cp '" + Release::zip_of(d + name) + "' '" + to + "'");
    if (cut) TS_sh("truncate -s $(( $(stat -c %s '" + to + "') / 2 )) '" + to + "'");
}

// A proxy's cache that kept the last release answers for f.bin with the older file, with an
// entry larger than listed, with an archive over the download limit, or with one cut in half:
// f.bin's next request, and only that, goes past the cache, at once, with no server's rest;
// same.bin (listed 0 KB, holding 1 KiB) is asked for once. A cache, or a server, still wrong then
// ends the update as a wrong file does, after that one retry. Either way f.bin is counted once, in
// the total and in its server's own.
TEST_F(Worklist, AnArchiveACacheKeptIsAskedForAgainPastIt)
{
    TS_server faults;
    ASSERT_TRUE(TS_fault_server_start(faults));
    const std::string same(1024, 's'), f = "GET http://cache.test/cache/rel/f.bin.zip";
    struct Case {
        std::string stale;
        bool fresh; // the server has the new f.bin
        const char* why; // what the log says of the stale archive
        bool cut = false; // the cache kept the first half of the archive
    };
    const char* larger = "holds a file larger than the directory file lists (more than 2048 bytes)";
    const char* md5 = "holds a file whose MD5 is ";
    const char* over = "is larger than the directory file allows (more than 1051648 bytes)";
    for (const Case& c : {Case{"old f", true, md5}, Case{std::string(300000, 'z'), true, larger},
                          Case{"old f", false, md5}, Case{random_bytes(1200 * 1024, 5), true, over},
                          Case{random_bytes(1200 * 1024, 6), false, over},
                          Case{"old f", true, "cannot be extracted (Error: We were unable to open a zip file", true}}) {
        afresh(&faults);
        TS_fault_clear(faults);
        TS_sh("rm -rf '" + faults.dir + "fresh'");
        cache_put(faults, c.stale, "stale", "f.bin", c.cut);
        cache_put(faults, same, "stale", "same.bin");
        if (c.fresh) cache_put(faults, "new f", "fresh", "f.bin");
        write_file(gInstallPath + "f.bin", "old f");
        TS_write_file(TS_scratch() + "wl-cache.txt", std::string(kHeader) + "FILE 1 0 0 3 0 " + TS_md5_of_text(same) +
                                                         " same.bin\nFILE 1 0 0 3 1 " + TS_md5_of_text("old f") +
                                                         " f.bin\nFILE 1 0 0 3 1 " + TS_md5_of_text("new f") + " f.bin\n");
        gServers = {{"cache.test", "/cache/rel/", ""}};
        ASSERT_NO_FATAL_FAILURE(prepare(TS_scratch() + "wl-cache.txt"));

        const RunStats run = run_worklist();
        EXPECT_EQ(run.result, 1);
        EXPECT_EQ(run.rests_skipped, 0);
        EXPECT_EQ(gInstallFailed, c.fresh ? 0 : 1);
        EXPECT_EQ(TS_read_file(gInstallPath + "f.bin") + TS_read_file(gInstallPath + "same.bin"),
                  (c.fresh ? "new f" : "old f") + same);
        // f.bin counted once, or not at all when no archive of it came within the limit.
        const bool never = c.why == over && !c.fresh;
        EXPECT_FLOAT_EQ(gPlan.downloaded_bytes, never ? 3 : 6);
        ASSERT_EQ(gPlan.streams.size(), 1u);
        EXPECT_FLOAT_EQ(gPlan.streams[0].bytes_done, never ? 3 : 6);
        EXPECT_EQ(TS_sh("find '" + gInstallPath + "' '" + gTempFolder + "' -name '*.part-*' -o -name '*.zip'"), "");
        std::vector<std::string> asked;
        for (const TS_request& r : TS_fault_requests(faults)) {
            const bool past = past_caches(r);
            const bool any = r.bytes.find("no-cache") != std::string::npos;
            asked.push_back(r.bytes.substr(0, r.bytes.find(" HTTP/")) + (past ? " past the cache" : any ? " ?" : ""));
        }
        EXPECT_EQ(asked,
                  (std::vector<std::string>{"GET http://cache.test/cache/rel/same.bin.zip", f, f + " past the cache"}));
        const std::string log = TS_read_log(), archive = "The archive of the file " + gInstallPath + "f.bin ";
        EXPECT_EQ(TS_count(log, "; it is asked for again past any cache.\n"), 1);
        EXPECT_EQ(TS_count(log, archive + c.why), 1) << log;
        EXPECT_EQ(TS_count(log, "WARNING: the file " + gInstallPath + "f.bin was not installed: the archive "),
                  c.fresh ? 0 : 1);
        EXPECT_EQ(TS_count(log, "failure    =body larger than allowed"), c.why == over ? 1 : 0) << log;
        const std::string result = std::to_string(c.fresh ? 0 : EBADMSG);
        EXPECT_EQ(TS_count(log, "EXPANDING file " + gInstallPath + "f.bin, with result=" + result), never ? 0 : 1);
        EXPECT_EQ(TS_count(log, "The installer cannot extract a file."), 0);
    }
    // Beyond 16 GiB the listed size reaches the worklist rounded once more, as a float; a size
    // below 0 allows no more than 0 does.
    install_entry e;
    e.disk_size = 16777217.0f; // held as 16777216
    EXPECT_GE(install_entry_size_limit(e), 16777218ll * 1024 - 1);
    e.disk_size = -5;
    EXPECT_EQ(install_entry_size_limit(e), 1024);
}

int gKillAtCommit = 0; // the child kills itself when this many temporaries were complete
int gCommits = 0;

void kill_at_commit(const std::string&)
{
    if (++gCommits == gKillAtCommit) raise(SIGKILL);
}

// Runs killed with SIGKILL while they extract (as a finished temporary is about to be renamed, and
// at a few moments into a run): afterwards every file is old or new, and the next run leaves no
// temporary: it removes those of each file it installs and, at the end, those of any file in the
// folders it worked in, also one where it only deleted a retired file. Names of any other form,
// links and temporaries elsewhere stay.
TEST_F(Worklist, KilledRunsLeaveNoTemporaryAfterTheNextRun)
{
    Release rel;
    const std::string I = gInstallPath;
    std::map<std::string, std::string> content;
    for (int i = 0; i < 6; ++i) {
        const std::string path = std::string(i % 2 ? "x/" : "y/") + "f" + std::to_string(i) + ".bin";
        content[path] = random_bytes(1024 * 1024 + 4096 * i, 10 + i);
        rel.update(path, "old " + path, content[path], (int)content[path].size() / 1024 + 3,
                   (int)content[path].size() / 1024);
    }
    rel.update("Corvane.bin", "old", "new");
    rel.record("w/retired.txt", TS_md5_of_text("retired"));
    rel.record("w/retired.txt", "GONE");
    // Not of the exact form, a link, or in a folder no run works in: these stay.
    const std::vector<std::string> stay = {"x/.f1.bin.part-ABCDEF", "x/f1.bin.part-abcdef", "x/.f1.bin.part-abcde",
                                           "x/.f1.bin.part-abcdefg", "x/.part-abcdef", "z/.q.bin.part-abcdef"};
    for (const std::string& p : stay) write_file(I + p, "not a stale temporary");
    TS_sh("mkdir '" + I + "x/.d.part-abcdef' && ln -s '" + outside + "sentinel.txt' '" + I + "x/.l.part-abcdef'");
    // A temporary of a file no longer listed, in a folder the run works in: goes at the end.
    write_file(I + "y/.gone.dat.part-q1w2e3", "stale");
    TS_write_file(TS_scratch() + "wl-kill.txt", kHeader + rel.body);
    serve(rel);
    auto own_temps = [&] {
        return TS_sh("cd '" + I + "' && find . -name '.f*.bin.part-*' -type f | grep -E 'part-[a-z0-9]{6}$' | sort");
    };

    // The temporaries in x/ and y/ now.
    auto temporaries = [&] {
        std::set<std::string> out;
        for (const char* dir : {"x", "y"}) {
            std::error_code ec;
            for (const auto& e : std::filesystem::directory_iterator(I + dir, ec))
                if (PLAT_is_replace_temp(e.path().filename().string(), "")) out.insert(e.path().string());
        }
        return out;
    };

    int killed = 0, temps_seen = 0;
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        // Rounds 2 to 4 start from the old copy again, so that their child has every file to do.
        if (round >= 2)
            for (const auto& [path, text] : content) write_file(I + path, "old " + path);
        ASSERT_NO_FATAL_FAILURE(prepare(TS_scratch() + "wl-kill.txt"));
        install_stop_md5_pool(); // the child starts with this one thread
        gLog.flush();
        const std::set<std::string> before = temporaries();
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // Rounds 0 and 1: killed as the first, then the second temporary is complete.
            if (round < 2) {
                gKillAtCommit = round + 1;
                PLAT_replace_hook = kill_at_commit;
            }
            const auto start = steady::now();
            while (steady::now() - start < std::chrono::seconds(20) && install_run_worklist() == 0) {
            }
            gLog.flush();
            _exit(0);
        }
        if (round >= 2) {
            // Killed a moment after the child's first extraction began, a different moment each round.
            const auto begun = steady::now();
            while (temporaries() == before && steady::now() - begun < std::chrono::seconds(10))
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            std::this_thread::sleep_for(std::chrono::milliseconds(3 * (round - 2)));
            kill(pid, SIGKILL);
        }
        int status = 0;
        const auto start = steady::now();
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (steady::now() - start > std::chrono::seconds(30)) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        killed += WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        const std::string temps = own_temps();
        temps_seen += (int)std::count(temps.begin(), temps.end(), '\n');
        for (const auto& [path, text] : content) {
            const std::string sum = md5_of_file(I + path);
            EXPECT_TRUE(sum == TS_md5_of_text(text) || sum == TS_md5_of_text("old " + path)) << path;
        }
    }
    EXPECT_GE(killed, 3);
    EXPECT_GE(temps_seen, 2);

    // The next run, whole. It works in y/ and the top folder (a file in each is old again), and in
    // w/ only deletes the retired file (there again), and finds a temporary in each (a run that
    // ended in a round above may have removed the first two).
    write_file(I + "y/f0.bin", "old y/f0.bin");
    write_file(I + "Corvane.bin", "old");
    write_file(I + "w/retired.txt", "retired");
    const auto stale = {"y/.gone.dat.part-q1w2e3", ".Corvane.bin.part-a1b2c3", "w/.retired.txt.part-r4t5y6"};
    for (const char* t : stale) write_file(I + t, "stale");
    std::istringstream left(own_temps());
    ASSERT_NO_FATAL_FAILURE(prepare(TS_scratch() + "wl-kill.txt"));
    const size_t mark = TS_read_log().size();
    const RunStats run = run_worklist();
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(gInstallFailed, 0);
    for (const auto& [path, text] : content) EXPECT_EQ(md5_of_file(I + path), TS_md5_of_text(text)) << path;
    EXPECT_EQ(own_temps(), "");
    EXPECT_EQ(TS_sh("cd '" + I + "' && find . -name '*.part-*' | sort"),
              "./x/.d.part-abcdef\n./x/.f1.bin.part-ABCDEF\n./x/.f1.bin.part-abcde\n./x/.f1.bin.part-abcdefg\n"
              "./x/.l.part-abcdef\n./x/.part-abcdef\n./x/f1.bin.part-abcdef\n./z/.q.bin.part-abcdef\n");
    const std::string log = TS_read_log().substr(mark);
    for (std::string t; std::getline(left, t);)
        EXPECT_EQ(TS_count(log, "Removed the temporary file " + I + t.substr(2) + " that an earlier run left\n"), 1) << t;
    for (const char* t : stale)
        EXPECT_EQ(TS_count(log, "Removed the temporary file " + I + t + " that an earlier run left\n"), 1) << t;
}

// Holds the big file at its commit until the test lets it go; records the threads that commit.
std::atomic<int> gHoldRelease{0};
std::atomic<int> gHeldCommits{0};
std::mutex gCommitThreadsLock;
std::set<uint32_t> gCommitThreads;

void hold_big_commit(const std::string& temp)
{
    {
        std::lock_guard<std::mutex> lock(gCommitThreadsLock);
        gCommitThreads.insert(THREAD_current_id());
    }
    // Every other file waits until the big one is held, so that the order of the story is fixed.
    const bool is_big = temp.find("/.big.bin.part-") != std::string::npos;
    if (is_big) ++gHeldCommits;
    const auto start = steady::now();
    while (!(is_big ? gHoldRelease.load() : gHeldCommits.load()) && steady::now() - start < std::chrono::seconds(60))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Extraction runs beside the frame: while a worker is held inside the big file's extraction, the
// worklist's calls return, the other server's stream installs file after file, and the big file
// counts as neither installed nor logged. A broken archive on that stream, asked for again in its
// turn and broken again, ends the install; its note and the extractor's own log lines reach the
// log from the main thread, once the big file, held until then, is in place and logged first, as
// with each extraction done in its turn.
TEST_F(Worklist, ExtractionRunsBesideTheFrameAndIsReportedOnTheMainThread)
{
    Release rel;
    const std::string I = gInstallPath;
    const std::string big = random_bytes(4 * 1024 * 1024, 77);
    rel.update("big.bin", "old big", big, (int)big.size() / 1024 + 3, (int)big.size() / 1024);
    std::vector<std::string> small;
    for (int i = 0; i < 5; ++i) {
        const std::string path = "s/small" + std::to_string(i) + ".txt";
        small.push_back(path);
        rel.update(path, "old " + path, "new " + path, 3, 1);
    }
    // Listed last, so that it comes while the big file is still held: not an archive at all.
    rel.update("s/broken.txt", "old broken", "new broken", 3, 1);
    write_file(rel.root + (kReleaseDir + 1) + "s/broken.txt.zip", "this is no zip archive");
    ASSERT_NO_FATAL_FAILURE(ready(rel, "wl-beside.txt", true));
    const size_t mark = TS_read_log().size();

    gHoldRelease = 0;
    gHeldCommits = 0;
    gCommitThreads.clear();
    PLAT_replace_hook = hold_big_commit;
    int result = 0, calls = 0;
    // Its first archive back, the second server's stream has gone past the last group.
    auto broken_back = [] { auto& st = gPlan.streams; return st.size() > 1 && st[1].group == 7; };
    const auto start = steady::now();
    while (result == 0 && !broken_back() && steady::now() - start < std::chrono::seconds(60)) {
        result = install_run_worklist();
        ++calls;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    for (int i = 0; i < 50 && result == 0; ++i) result = install_run_worklist();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(gHeldCommits.load(), 1);
    EXPECT_GT(calls, 5);
    for (const std::string& path : small) EXPECT_EQ(md5_of_file(I + path), TS_md5_of_text("new " + path)) << path;
    EXPECT_EQ(TS_read_file(I + "s/broken.txt"), "old broken");
    // Held: not in place, not counted, not logged.
    EXPECT_EQ(TS_read_file(I + "big.bin"), "old big");
    EXPECT_EQ(gPlan.install_groups[0].back().up_to_date, 0);
    EXPECT_EQ(TS_count(TS_read_log().substr(mark), "The installer cannot extract a file."), 0);
    gHoldRelease = 1;
    // The note waits as in the window: what was logged before it is on disk meanwhile.
    gOptions.opts.erase("--qa_script");
    ALERT_set_presenter([](int, const std::string (&l)[4], int, const std::string&) {
        const std::string on_disk = TS_read_file(TS_log_path());
        EXPECT_EQ(on_disk, (gLog.flush(), TS_read_file(TS_log_path())));
        gLog << l[0] << "\n" << l[1] << "\n";
    });
    while (result == 0 && steady::now() - start < std::chrono::seconds(120)) result = install_run_worklist();
    ALERT_set_presenter(nullptr), gOptions.opts["--qa_script"] = "";
    EXPECT_EQ(result, 1);
    std::string log = TS_read_log().substr(mark);
    EXPECT_LT(log.find("EXPANDING file " + I + "big.bin"), log.find("The installer cannot extract a file."));
    EXPECT_EQ(TS_count(log, "EXPANDING file " + I + "s/small"), 5);
    EXPECT_EQ(TS_count(log, "OK I am about to report that I could not open a zip file for extraction!\n"
                            "That incoming file is " + gTempFolder + "1.zip\n"),
              1)
        << log;
    EXPECT_EQ(TS_count(log, "OK I am about to report that I could not open a zip file"), 2);
    // The first archive is asked for again once its turn came, after the big file's.
    EXPECT_LT(log.find("EXPANDING file " + I + "big.bin"),
              log.find("The archive of the file " + I + "s/broken.txt cannot be extracted (Error: "));
    EXPECT_EQ(TS_count(log, "; it is asked for again past any cache.\n"), 1);
    EXPECT_EQ(TS_count(log, "The installer cannot extract a file.\nError: "), 1);
    EXPECT_EQ(TS_count(log, "EXPANDING file " + I + "s/broken.txt, with result=20001.\n"), 1);
    // The extractor's lines come before the note and the action line of the same file.
    EXPECT_LT(log.find("OK I am about to report"), log.find("The installer cannot extract a file."));
    EXPECT_LT(log.find("The installer cannot extract a file."), log.find("EXPANDING file " + I + "s/broken.txt"));

    install_reset_worklist();
    PLAT_replace_hook = nullptr;
    EXPECT_EQ(md5_of_file(I + "big.bin"), TS_md5_of_text(big));
    EXPECT_EQ(gPlan.install_groups[0].back().up_to_date, 1);
    log = TS_read_log().substr(mark);
    EXPECT_EQ(TS_count(log, "EXPANDING file " + I + "big.bin, with result=0.\n"), 1);
    EXPECT_EQ(TS_sh("find '" + I + "' -name '*.part-*'"), "");
    EXPECT_EQ(TS_sh("ls -A '" + gTempFolder + "'"), "");
    EXPECT_FALSE(gCommitThreads.empty());
    EXPECT_EQ(gCommitThreads.count(THREAD_current_id()), 0u) << "a file was committed on the main thread";
}

// Commit holds by file name: the file marks its flag, waits (bounded) until the flag it waits for
// is set, then fails (its temporary is gone) or goes on. Set before a run, read by the workers.
struct Hold {
    std::string name;
    int mark, wait;
    bool fail;
};
std::vector<Hold> gHolds;
std::atomic<int> gFlag[8];

void hold_commit(const std::string& temp)
{
    for (const Hold& h : gHolds) {
        if (temp.find("/." + h.name + ".part-") == std::string::npos) continue;
        if (h.mark >= 0) ++gFlag[h.mark];
        for (int n = 0; n < 60000 && h.wait >= 0 && !gFlag[h.wait].load(); ++n)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (h.fail) std::filesystem::remove(temp);
        return;
    }
}

void hold(const std::vector<Hold>& holds)
{
    for (std::atomic<int>& f : gFlag) f = 0;
    gHolds = holds;
    PLAT_replace_hook = holds.empty() ? nullptr : hold_commit;
}

// Calls the worklist, the clock standing still, until done says so or the run ends (bounded by
// count and time).
int run_until(const std::function<bool()>& done)
{
    int result = 0;
    const auto start = steady::now();
    for (int n = 0; n < 300000 && result == 0 && !done() && steady::now() - start < std::chrono::seconds(60); ++n) {
        result = install_run_worklist();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return result;
}

// a.txt fails on the first stream; c.txt, which the second stream took only once b.txt was back
// (after a.txt's extraction began), is still out then. The run ends with a.txt's report, without
// waiting for c.txt; c.txt's failure, logged when the worklist is reset, gets a warning, no second
// note. Then, in the next run (b, c, a), a.txt's first archive is no zip and comes back while c.txt,
// begun before it, is held (the fault server trickles a.txt's archive out until c.txt is): c.txt's
// failure ends the run, with the note naming it, and a.txt gets its warning. Then, behind a cache
// on the fault server: a file whose second archive is still extracting when another file's failure
// ends the run, or at the program's end, is installed and never named; a file waiting in the
// re-queue, and one whose download is under way, are named once each. No file is reported twice.
TEST_F(Worklist, FailureEndsTheRunWithTheCallItsExtractionBeganIn)
{
    Release rel;
    ASSERT_NO_FATAL_FAILURE(two_streams(rel, {"a.txt", "b.txt", "c.txt"}));
    const std::string I = gInstallPath;
    const size_t mark = TS_read_log().size();
    hold({{"a.txt", 0, 1, true}, {"c.txt", 2, 3, true}, {"b.txt", -1, 0, false}});
    int result = run_until([] { return gFlag[2] > 0; });
    gFlag[1] = 1;
    result = run_until([&] {
        return result || TS_count(TS_read_log().substr(mark), "EXPANDING file " + I + "a.txt, with result=2.\n") > 0;
    });
    EXPECT_EQ(result, 1) << "the call that reports a.txt ends the run";
    gFlag[3] = 1;
    install_reset_worklist();
    hold({});
    const std::string log = TS_read_log().substr(mark);
    EXPECT_EQ(TS_count(log, "The installer cannot extract a file."), 1) << log;
    EXPECT_EQ(TS_count(log, "EXPANDING file " + I + "c.txt, with result=2.\n"), 1) << log;
    EXPECT_EQ(TS_count(log, "WARNING: the file " + I + "c.txt was not installed: it could not be extracted"), 1);
    EXPECT_EQ(TS_read_file(I + "b.txt") + TS_read_file(I + "c.txt"), "new b.txtold");

    // The first server is the fault server, which holds a.txt's archive (a byte every 0.2 s, far
    // longer than any wait here) until it is let go.
    TS_server faults;
    ASSERT_TRUE(TS_fault_server_start(faults));
    write_file(faults.dir + "files/a.txt.zip", "<html>not a zip</html>" + std::string(1000, '\n'));
    const std::string fault = "http://127.0.0.1:" + std::to_string(faults.port);
    ASSERT_TRUE(TS_nginx_start(nginx, {{"mirror.test", rel.root}, {"held.test", fault}}));
    gNet._proxy_port_int = nginx.port;
    gServers[0] = {"held.test", "/heldfile/", ""};
    const std::string a = rel.body.substr(0, rel.body.find('\n', rel.body.find('\n') + 1) + 1); // a.txt's two records
    TS_write_file(TS_scratch() + "wl-end2.txt", kHeader + rel.body.substr(a.size()) + a);
    gInstallFailed = 0;
    ASSERT_NO_FATAL_FAILURE(prepare(TS_scratch() + "wl-end2.txt"));
    const size_t mark2 = TS_read_log().size();
    hold({{"c.txt", 0, 1, true}});
    EXPECT_EQ(run_until([] { return gFlag[0] > 0; }), 0);
    EXPECT_EQ(gFlag[0].load(), 1) << "c.txt's extraction was not held";
    TS_write_file(faults.dir + "release", "");
    // a.txt's archive is back, behind c.txt in turn, once the first stream has gone past the end.
    EXPECT_EQ(run_until([] { return !gPlan.streams.empty() && gPlan.streams[0].group == 3; }), 0);
    EXPECT_EQ(gPlan.streams.at(0).group, 3) << "a.txt's archive did not come back behind c.txt";
    gFlag[1] = 1;
    EXPECT_EQ(run_worklist().result, 1);
    hold({});
    const std::string log2 = TS_read_log().substr(mark2);
    EXPECT_EQ(gInstallFailed, 1);
    EXPECT_EQ(TS_count(log2, "The installer cannot extract a file."), 1) << log2;
    EXPECT_EQ(TS_count(log2, "\nDestination: " + I + "c.txt\n"), 1) << log2;
    EXPECT_EQ(TS_count(log2, "WARNING: the file " + I + "a.txt was not installed: the archive cannot be extracted"), 1);
    EXPECT_EQ(TS_count(log2, "was not installed"), 1) << log2;
    EXPECT_EQ(TS_read_file(I + "a.txt") + TS_read_file(I + "c.txt"), "oldold");

    // Behind the cache, x.bin's first archive is over the limit, its second is held at its commit.
    // At a failure: y.bin fails once x.bin is held (b.bin holds the second stream until y.bin's
    // extraction began, so x.bin's began later); r.bin's request fails when the test lets it
    // (held/: a 404 page) and d.bin's never ends (slow/). At the end: r.bin is cut short (short/),
    // taken by the cache's stream once g.bin is back, and installed.
    // A quit during the failure's alert (kind 1) names the same files, at the program's end.
    for (const int kind : {0, 1, 2}) {
        const bool stop = kind == 2;
        SCOPED_TRACE(kind);
        afresh(&faults);
        TS_fault_clear(faults);
        TS_sh("rm -rf '" + faults.dir + "stale' '" + faults.dir + "fresh' '" + faults.dir + "release'");
        std::string body;
        const auto names = stop ? std::vector<std::string>{"r.bin", "g.bin", "x.bin"}
                                : std::vector<std::string>{"y.bin", "b.bin", "d.bin", "r.bin", "x.bin"};
        for (const std::string& name : names) {
            write_file(gInstallPath + name, "old");
            body += "FILE 1 0 0 3 1 " + TS_md5_of_text("old") + " " + name + "\nFILE 1 0 0 3 1 " +
                    TS_md5_of_text("new " + name) + " " + name + "\n";
            cache_put(faults, name == "x.bin" ? random_bytes(1200 * 1024, 7) : "new " + name, "stale", name);
            cache_put(faults, "new " + name, "fresh", name);
        }
        TS_write_file(TS_scratch() + "wl-ends.txt", kHeader + body);
        const ServerRecord cache = {"cache.test", "/cache/rel/", ""}, cut = {"cut.test", "/short/64/", ""};
        gServers = stop ? std::vector<ServerRecord>{cut, cache}
                        : std::vector<ServerRecord>{cache, cache, {"slow.test", "/slow/100000/1000/", ""},
                                                    {"held.test", "/held/10000/", ""}};
        ASSERT_NO_FATAL_FAILURE(prepare(TS_scratch() + "wl-ends.txt"));
        const size_t from = TS_read_log().size();
        if (stop) {
            THREAD_init();
            hold({{"x.bin", 0, 1, false}, {"g.bin", -1, 2, false}});
            EXPECT_EQ(run_until([] { return !gPlan.requeue.empty(); }), 0);
            gFlag[2] = 1;
            EXPECT_EQ(run_until([] { return gFlag[0] > 0; }), 0);
            // The program's end: its workers are joined (x.bin is put in place), then the downloads go.
            gFlag[1] = 1;
            THREAD_exit();
            install_drop_downloads();
        } else {
            hold({{"y.bin", 0, 1, true}, {"b.bin", -1, 0, false}, {"x.bin", 2, 3, false}});
            EXPECT_EQ(run_until([] { return gFlag[2] > 0; }), 0);
            TS_write_file(faults.dir + "release", "");
            EXPECT_EQ(run_until([] { return !gPlan.requeue.empty(); }), 0);
            EXPECT_EQ(gPlan.requeue, std::deque<int32_t>{3});
            gFlag[1] = 1;
            if (kind) gOptions.opts.erase("--qa_script");
            ALERT_set_presenter([](int, const std::string (&l)[4], int, const std::string&) {
                gLog << l[0] << "\n" << l[1] << "\n" << l[3] << "\n";
                gQuit = 1;
            });
            // As the Install step: a run that reports its end is reset; a quit ends the program.
            const int r = run_until([] { return gQuit != 0; });
            EXPECT_EQ(r, !kind);
            gFlag[3] = 1;
            if (r) install_reset_worklist();
            install_drop_downloads();
            ALERT_set_presenter(nullptr);
            gOptions.opts["--qa_script"] = "";
            gQuit = 0;
        }
        hold({});
        const std::string log = TS_read_log().substr(from);
        for (const std::string& name : names) {
            const bool kept = !stop && (name == "y.bin" || name == "r.bin" || name == "d.bin");
            EXPECT_EQ(TS_read_file(gInstallPath + name), kept ? "old" : "new " + name) << name;
            EXPECT_EQ(TS_count(log, name + " was not installed: "), kept && name != "y.bin") << name << "\n" << log;
        }
        EXPECT_EQ(TS_count(log, "was not installed"), stop ? 0 : 2) << log;
        EXPECT_EQ(TS_count(log, "r.bin was not installed: its request failed and it was waiting to be asked"), !stop);
        EXPECT_EQ(TS_count(log, "d.bin was not installed: its download was under way when the install ended"), !stop);
        EXPECT_EQ(TS_count(log, "The installer cannot extract a file.\nError: "), !stop);
        EXPECT_EQ(TS_count(log, "\nDestination: " + gInstallPath + "y.bin\n"), !stop);
        EXPECT_EQ(TS_count(log, "EXPANDING file " + gInstallPath + "x.bin, with result=0.\n"), 1) << log;
        // Every later request for a file goes past any cache, the first one never.
        std::map<std::string, int> asked;
        for (const TS_request& r : TS_fault_requests(faults)) {
            const std::string line = r.bytes.substr(0, r.bytes.find(" HTTP/"));
            EXPECT_EQ(past_caches(r), asked[line.substr(line.rfind('/') + 1)]++ > 0) << r.bytes;
        }
        EXPECT_EQ(asked["x.bin.zip"], 2);
        EXPECT_EQ(asked["r.bin.zip"], stop ? 2 : 1);
    }
}

// a, c, b on two streams: a is held at its commit, c until a is, so b comes after a's extraction
// began. b's archive is over the limit twice (a failure while a extracts) or its extraction fails,
// then Back: the run and its failure go quietly, and the next run installs every file. Or b's is
// no zip (asked for again) when the program ends: a warning names it. Then the end names each
// whole reply by what it brought, and a stop a job that never began.
TEST_F(Worklist, EveryEndReportsFromTheStatesAndCleansUp)
{
    for (const int pass : {0, 1, 2}) {
        SCOPED_TRACE(pass);
        Release rel;
        ASSERT_NO_FATAL_FAILURE(two_streams(rel, {"a.txt", "c.txt", "b.txt"}));
        const std::string list = TS_scratch() + "wl-two.txt";
        if (pass == 0) rel.publish("b.txt", random_bytes(1200 * 1024, 5));
        if (pass == 2) rel.publish_archive("b.txt", list); // a text, no zip
        size_t mark = TS_read_log().size();
        hold({{"a.txt", 0, 1, false}, {"c.txt", -1, 0, false}, {"b.txt", -1, -1, pass == 1}});
        EXPECT_EQ(run_until([&] {
                      // b back: failed, its stream waits; asked for again, its stream is past the end.
                      auto& st = gPlan.streams;
                      return pass ? st.size() > 1 && ((st[1].group == 2 && st[1].need_next) || st[1].group == 3)
                                  : TS_count(TS_read_log().substr(mark), "b.txt was not installed") > 0;
                  }),
                  0);
        gFlag[1] = 1;
        // Folders the run emptied go at Back as at the program's end, deepest first.
        TS_sh("mkdir -p '" + gInstallPath + "e/m'");
        gEmptiedFolders.insert({gInstallPath + "e/", gInstallPath + "e/m/"});
        pass == 2 ? install_drop_downloads() : install_reset_for_back();
        EXPECT_FALSE(std::filesystem::exists(gInstallPath + "e"));
        const std::string log = TS_read_log().substr(mark);
        EXPECT_EQ(gInstallFailed + TS_count(log, "The installer cannot extract a file."), 0);
        EXPECT_EQ(TS_count(log, "was not installed"), pass != 1) << log;
        EXPECT_EQ(TS_count(log, "b.txt was not installed: the archive cannot be extracted"), pass == 2);
        hold({});
        rel.publish("b.txt", "new b.txt");
        ASSERT_NO_FATAL_FAILURE(prepare(list));
        mark = TS_read_log().size();
        EXPECT_EQ(run_worklist().result, 1);
        EXPECT_EQ(gInstallFailed + TS_count(TS_read_log().substr(mark), "WARNING"), 0);
        EXPECT_EQ(TS_sh("cd '" + gInstallPath + "' && cat a.txt c.txt b.txt"), "new a.txtnew c.txtnew b.txt");
    }

    // Both second archives over the limit (the server answers a while after each request, never in
    // the call that made it); each reply waits whole on its socket when the first ends the run.
    TS_server faults;
    ASSERT_TRUE(TS_fault_server_start(faults));
    Release rel;
    ASSERT_NO_FATAL_FAILURE(two_streams(rel, {"p.txt", "q.txt"}));
    gNet._proxy_port_int = faults.port;
    gServers.assign(2, {"slow.test", "/slow/2000000/1000/2000/", ""});
    char port[8];
    snprintf(port, sizeof port, "%04X", faults.port);
    const std::string waiting = std::string("awk '$3 ~ /:") + port + "$/ && $5 !~ /:00000000$/ {print $5}' /proc/net/tcp";
    const size_t mark = TS_read_log().size();
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(install_run_worklist(), 0);
        for (int i = 0; i < 3000 && TS_sh(waiting + " | wc -l") != "2\n"; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(install_run_worklist(), round);
    }
    EXPECT_EQ(TS_count(TS_read_log().substr(mark), "was not installed: the archive is larger than"), 2)
        << TS_read_log();
    // A small reply whole on its socket at a stop came in full: its 40 header and 100 body bytes
    // wait there, and the server's close, which the count may take as one more.
    Release small;
    ASSERT_NO_FATAL_FAILURE(two_streams(small, {"s.txt"}));
    gNet._proxy_port_int = faults.port;
    gServers.assign(1, {"slow.test", "/slow/100/0/2000/", ""});
    EXPECT_EQ(install_run_worklist(), 0);
    for (int i = 0; i < 3000 && TS_sh(waiting + " | grep -c ':0000008[CD]$'") != "1\n"; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    install_drop_downloads();
    EXPECT_EQ(TS_count(TS_read_log(), "s.txt was not installed: the install ended before its archive was extracted"),
              1);

    // More streams than workers (one per processor), every worker held: the queued extraction never
    // begins and is named at once; then the held ones are let go. A retired file deleted first has
    // its emptied folder removed all the same.
    const int n = THREAD_cpu_count() + 1;
    std::vector<std::string> names;
    std::vector<Hold> holds;
    for (int i = 0; i < n; ++i) names.push_back("f" + std::to_string(i)), holds.push_back({names.back(), 0, 1, false});
    Release many;
    ASSERT_NO_FATAL_FAILURE(two_streams(many, names));
    gServers.assign((size_t)n, gServers[0]);
    install_entry retired;
    retired.path = "gone/r.txt", retired.do_delete = 1;
    write_file(gInstallPath + retired.path, "old");
    gPlan.install_groups.insert(gPlan.install_groups.begin(), {retired});
    hold(holds);
    EXPECT_EQ(run_until([n] { return gFlag[0] == n - 1 && gPlan.downloaded_bytes >= 3 * n; }), 0);
    const std::string named = " was not installed: the install ended before its archive was extracted";
    std::thread let_go([&] {
        for (int i = 0; i < 6000 && TS_count(TS_read_file(TS_log_path()), named) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        gFlag[1] = 1;
    });
    install_drop_downloads();
    let_go.join();
    hold({});
    EXPECT_EQ(TS_count(TS_sh("cat '" + gInstallPath + "'f*"), "new f"), n - 1);
    EXPECT_FALSE(std::filesystem::exists(gInstallPath + "gone"));
    EXPECT_EQ(TS_count(TS_read_log(), named), 1);
}

} // namespace
