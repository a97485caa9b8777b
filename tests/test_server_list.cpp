// The server list read from real files through every case of its format, hostile records and
// version lines included; the server options; then the discovery polled once per frame against
// nginx on 127.0.0.1 (the look-up host and three update servers) and the fault server, with the
// archives made by the real zip and a stand-in xdg-open that records what would be opened.
#include "app/main.h"
#include "app/server_list.h"
#include "app/server_search.h"
#include "app/wizard.h"
#include "engine/http.h"
#include "engine/utils.h"
#include "foundation/FILE_ops.h"
#include "foundation/alert.h"
#include "foundation/frame_clock.h"
#include "foundation/options.h"
#include "foundation/quit.h"
#include "frame/hl_init.h"
#include "frame/hl_shutdown.h"
#include "support/test_servers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace {

using steady = std::chrono::steady_clock;
const char kListHeader[] = "I\n1000 Corvane server list\nSERVERS\n";

struct Alert {
    std::string lines[4];
    int code = -1;
    std::string where;
};
std::vector<Alert> gAlerts;

void record_alert(int, const std::string (&lines)[4], int code, const std::string& where)
{
    Alert a;
    for (int i = 0; i < 4; ++i) a.lines[i] = lines[i];
    a.code = code;
    a.where = where;
    gAlerts.push_back(a);
}

// What reading one list file gave.
struct Read {
    std::vector<ServerRecord> servers;
    std::string name = "Not Yet Scanned";
    server_list_end end = server_list_read;
    std::string page;
    int warnings = 0;
    bool header_ok = false;
};

Read read_list(const std::string& bytes, int want_betas)
{
    static int n = 0;
    const std::string path = TS_new_dir("lists") + "list" + std::to_string(++n) + ".txt";
    TS_write_file(path, bytes);
    const int warnings_before = TS_count(TS_read_log(), "WARNING: ");
    Read r;
    xmap_file f(path);
    static const int versions[] = {1000, 0};
    r.header_ok = f.begin && check_file(f, FILE_KIND_TEXT, versions, "SERVERS", nullptr) == 1000;
    if (r.header_ok) r.end = server_list_read_body(f, r.servers, r.name, want_betas, r.page);
    r.warnings = TS_count(TS_read_log(), "WARNING: ") - warnings_before;
    return r;
}

std::string records(const std::vector<ServerRecord>& v)
{
    std::string out;
    for (const ServerRecord& r : v) out += "[" + r.host + "|" + r.dir + "|" + r.name + "]";
    return out;
}

struct ServerList : testing::Test {
    void SetUp() override
    {
        hl_open_log(TS_log_path());
        gAlerts.clear();
        ALERT_set_presenter(record_alert);
    }
    void TearDown() override { ALERT_set_presenter(nullptr); }
};

TEST_F(ServerList, ReadsEveryCaseOfTheFormat)
{
    // BETA or FINAL by the beta box; a SERVER entry takes the name standing when it is read: the
    // first one "Not Yet Scanned". Leading blanks and TABs, CR LF, empty lines inside an entry,
    // blanks cut at both ends, a NUL as a line end, "SERVERS" as a body line, unknown lines; a
    // folder line without its final '/' gets it, and one that ends in a backslash has one already.
    const std::string body = std::string("SERVER early.test\n/early/\nfirst\n") +
                             "  BETA  Corvane10b\r\n\tFINAL Corvane10 \r\n" + "SERVERS\njunk line\n\n" +
                             "SERVER\ta.test \t\r\n\r\n   /files/  \r\n\r\nname a \r\n" +
                             "SERVER b.test\n/b/\nb" + std::string(1, '\0') + "INS_VERSION 30002 http://old.test/ x\n" +
                             "INS_VERSION\nINS_VERSION30003 http://p/\nSERVER c.test\n/c\nc\n" +
                             "SERVER w.test\n/win\\\nw\n" +
                             "ENDOFLIST\nSERVER after.test\n/after/\nlate\n";
    Read fin = read_list(kListHeader + body, 0);
    ASSERT_TRUE(fin.header_ok);
    EXPECT_EQ(fin.end, server_list_read);
    EXPECT_EQ(fin.name, "Corvane10");
    EXPECT_EQ(records(fin.servers), "[early.test|/early/Not Yet Scanned/|first][a.test|/files/Corvane10/|name a]"
                                    "[b.test|/b/Corvane10/|b][c.test|/c/Corvane10/|c][w.test|/win\\Corvane10/|w]");
    EXPECT_EQ(fin.warnings, 0);
    Read beta = read_list(kListHeader + body, 1);
    EXPECT_EQ(beta.name, "Corvane10b");
    EXPECT_EQ(beta.servers[1].dir, "/files/Corvane10b/");
    // Betas wanted from a list without one: the final release, said once in the log; a BETA line
    // after the FINAL one still wins.
    const std::string no_beta = kListHeader + std::string("FINAL Corvane10\nSERVER a.test\n/f/\na\n");
    EXPECT_EQ(records(read_list(no_beta, 1).servers), "[a.test|/f/Corvane10/|a]");
    EXPECT_EQ(TS_count(TS_read_log(),
                       "The server list names no beta release; the final release \"Corvane10\" is taken."),
              1);
    EXPECT_EQ(read_list(kListHeader + std::string("FINAL Corvane10\nBETA B\n"), 1).name, "B");
    EXPECT_EQ(read_list(kListHeader + std::string("BETA B\n"), 0).name, "Not Yet Scanned");

    // A keyword with nothing behind it sets an empty name; the data may end inside a line.
    EXPECT_EQ(read_list(std::string(kListHeader) + "FINAL\nSERVER h\n/d/\nn", 0).servers[0].dir, "/d//");
    Read end = read_list(std::string(kListHeader) + "FINAL Last", 0);
    EXPECT_EQ(end.name, "Last");
    EXPECT_EQ(read_list(std::string(kListHeader) + "SERVER lone.test", 0).servers.size(), 0u);

    // A wrong header is not read at all.
    EXPECT_FALSE(read_list("I\n1001 list\nSERVERS\nSERVER x\n/y/\nz\n", 0).header_ok);
    EXPECT_FALSE(read_list("I\n1000 list\nSERVER\nSERVER x\n/y/\nz\n", 0).header_ok);
    EXPECT_FALSE(read_list("", 0).header_ok);
}

TEST_F(ServerList, DropsHostileRecordsAndReadsVersionsSafely)
{
    // Records the HTTP client would refuse with its crash alert are dropped, each with its line.
    const std::string body = "FINAL R\nSERVER\n/nohost/\nn1\nSERVER slash.test/\n/d/\nn2\n"
                             "SERVER back.test\\\n/d/\nn3\nSERVER rel.test\nrelative/\nn4\n"
                             "SERVER good.test\n/ok/\nn6\nSERVER nodir.test\n\n\n";
    Read r = read_list(kListHeader + body, 0);
    EXPECT_EQ(records(r.servers), "[good.test|/ok/R/|n6]");
    EXPECT_EQ(r.warnings, 5) << TS_read_log();
    EXPECT_TRUE(gAlerts.empty());

    // The version: 30002 reads on, 30003 ends with its page, "-" then "+" is positive, TABs are
    // blanks; anything but digits is no version and reading goes on; too many digits are above.
    struct {
        const char* line;
        server_list_end end;
        const char* page;
    } cases[] = {{"INS_VERSION 30002 http://a/", server_list_read, ""},
                 {"INS_VERSION 30003 http://new.test/get extra words", server_list_newer, "http://new.test/get"},
                 {"INS_VERSION\t-+30003\thttp://t/", server_list_newer, "http://t/"},
                 {"INS_VERSION -30003 http://n/", server_list_read, ""},
                 {"INS_VERSION 3000x3 http://x/", server_list_read, ""},
                 {"INS_VERSION - http://x/", server_list_read, ""},
                 {"INS_VERSION 99999999999999999999999 http://big/", server_list_newer, "http://big/"},
                 {"INS_VERSION -99999999999999999999999 http://neg/", server_list_read, ""},
                 {"INS_VERSION 30003", server_list_newer, ""},
                 {"INS_VERSION 30003 file:///etc/passwd", server_list_newer, "file:///etc/passwd"}};
    for (const auto& c : cases) {
        Read v = read_list(std::string(kListHeader) + "SERVER s.test\n/s/\ns\n" + c.line + "\nSERVER t.test\n/t/\nt\n", 0);
        EXPECT_EQ(v.end, c.end) << c.line;
        EXPECT_EQ(v.page, c.page) << c.line;
        // Records read before a newer version stay; after it nothing is read.
        EXPECT_EQ(v.servers.size(), c.end == server_list_newer ? 1u : 2u) << c.line;
    }
    long long value = 0;
    EXPECT_EQ(server_list_version("2147483648", value), 1);
    EXPECT_EQ(value, 2147483647);
    EXPECT_EQ(server_list_version("-2147483649", value), 1);
    EXPECT_EQ(value, -2147483647 - 1);
    EXPECT_EQ(server_list_version("", value), 0);
    EXPECT_EQ(server_list_version("+", value), 0);
    EXPECT_TRUE(gAlerts.empty());
}

TEST_F(ServerList, ServerOptions)
{
    auto set = [](std::map<std::string, std::string> o) {
        gOptions.opts = o;
    };
    // "--server_clone" 3 with two listed servers: five records; "--install_name" renames only the
    // records the options make.
    gInstallName = "Listed";
    gServers = {{"one.test", "/r/Listed/", "1"}, {"two.test", "/r/Listed/", "2"}};
    set({{"--server_clone", "3"}, {"--install_name", "Named"}, {"--add_server", "add.test/deep/er"}});
    server_apply_options();
    EXPECT_EQ(gInstallName, "Named");
    EXPECT_EQ(records(gServers), "[one.test|/r/Listed/|1][two.test|/r/Listed/|2][add.test|/deep/er/Named/|add.test/deep/er]"
                                 "[one.test|/r/Listed/|1][one.test|/r/Listed/|1][one.test|/r/Listed/|1]");

    // "--server" replaces the list; a value without '/' is all host, the release at the root.
    set({{"--server", "solo.test"}});
    server_apply_options();
    EXPECT_EQ(records(gServers), "[solo.test|/Named/|solo.test]");

    // Unusable values are dropped with their line; clone does nothing without servers and never
    // passes 64 records, however many digits it is given.
    const int before = TS_count(TS_read_log(), "WARNING: ");
    set({{"--server", "/nohost"}, {"--add_server", "back\\"}});
    server_apply_options();
    EXPECT_EQ(records(gServers), "[solo.test|/Named/|solo.test]");
    EXPECT_EQ(TS_count(TS_read_log(), "WARNING: ") - before, 2);
    set({{"--server_clone", "99999999999999999999999999"}});
    server_apply_options();
    EXPECT_EQ(gServers.size(), 64u);
    server_apply_options();
    EXPECT_EQ(gServers.size(), 64u);
    gServers.clear();
    server_apply_options();
    EXPECT_TRUE(gServers.empty());
    EXPECT_EQ(server_clone_count("12abc", 1), 12u);
    EXPECT_EQ(server_clone_count("abc", 1), 0u);
    EXPECT_EQ(server_clone_count("-3", 1), 0u);
    EXPECT_EQ(server_clone_count("63", 1), 63u);
    gOptions.opts.clear();
    EXPECT_TRUE(gAlerts.empty());
}

// ---------------------------------------------------------------------------------------------
// The discovery against real servers

using Logged = TS_nginx_request;

int count_requests(const TS_server& nginx, const std::string& host, const std::string& path_end, int status = 0)
{
    int n = 0;
    for (const Logged& r : TS_nginx_requests(nginx))
        if (r.host == host && r.path.size() >= path_end.size() &&
            r.path.compare(r.path.size() - path_end.size(), path_end.size(), path_end) == 0 &&
            (status == 0 || r.status == status))
            ++n;
    return n;
}

void write_file(const std::string& path, const std::string& text)
{
    TS_sh("mkdir -p \"$(dirname '" + path + "')\"");
    TS_serve_file(path, text);
}

// The zip of one directory file, made with the real zip, at path.
void publish_directory(const std::string& path, const std::string& records_text)
{
    const std::string dir = TS_new_dir("dirfile");
    TS_write_file(dir + "directory.txt", "I\n1000 Corvane release\nINSTALLER\n" + records_text);
    TS_sh("mkdir -p \"$(dirname '" + path + "')\"");
    const TS_result r = TS_run({"zip", "-q", "-X", "-j", path, dir + "directory.txt"}, {}, 60);
    EXPECT_EQ(r.exit_code, 0) << r.err;
}

struct Discovery : ServerList {
    TS_server nginx;
    std::string lookup, s1, s2, s3; // nginx roots
    std::string bin, opened;        // the stand-in xdg-open and its record

    void SetUp() override
    {
        ServerList::SetUp();
        gOptions.opts.clear();
        gQuit = 0;
        gServers.clear();
        gServerIndex = 0;
        gSearchPhase = 0;
        gWantBetas = 0;
        gInstallName = "Not Yet Scanned";
        gTempFolder = TS_new_dir("temp");
        gInstallPath = TS_new_dir("install");
        gTimer.hl_timer_real_time = 1000;
        server_search_reset_rest();
        gNet.cancel_slot(SERVER_LIST_SLOT);
        gNet.cancel_slot(DIRECTORY_SLOT);
        lookup = TS_new_dir("lookup");
        s1 = TS_new_dir("s1");
        s2 = TS_new_dir("s2");
        s3 = TS_new_dir("s3");
        ASSERT_TRUE(TS_nginx_start(nginx, {{LOOKUP_HOST, lookup}, {"s1.test", s1}, {"s2.test", s2}, {"s3.test", s3}}));
        gNet._proxy_host = "127.0.0.1";
        gNet._proxy_port_int = nginx.port;
        // xdg-open is looked up on PATH when a page is opened.
        const std::string dir = TS_new_dir("xdg");
        bin = dir + "bin/";
        opened = dir + "opened.txt";
        mkdir(bin.c_str(), 0755);
        TS_write_script(bin + "xdg-open", "printf '%s\\n' \"$@\" >> '" + opened + "'\n");
        static std::string path_env = std::string(getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin");
        setenv("PATH", (bin + ":" + path_env).c_str(), 1);
    }
    void TearDown() override
    {
        gNet.cancel_slot(SERVER_LIST_SLOT);
        gNet.cancel_slot(DIRECTORY_SLOT);
        gServers.clear();
        gQuit = 0;
        ServerList::TearDown();
    }
    void list(const std::string& body) { write_file(lookup + "_lookup_10_/server_list_10.txt", kListHeader + body); }

    // Calls the discovery once per frame until done() holds, for at most frames times 50 ms of
    // the clock. The clock stands while a request is under way, and the last one is answered
    // before the frames end: nginx answers in real time, and on a busy machine a request would
    // otherwise outlast whole waits of the clock, which moves far faster.
    template <class F>
    bool poll(F done, int frames = 20000, double seconds = 30)
    {
        const auto busy = [] { return gNet.slot_busy(SERVER_LIST_SLOT) || gNet.slot_busy(DIRECTORY_SLOT); };
        const auto start = steady::now();
        int moved = 0; // frames that moved the clock; the calls count those that held it too
        for (int calls = 0; calls < frames + 100000 && (moved < frames || busy()); ++calls) {
            if (steady::now() - start > std::chrono::duration<double>(seconds)) break;
            if (!busy() && moved < frames) {
                gTimer.hl_timer_real_time += 0.05f;
                ++moved;
            }
            find_update_servers();
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
        if (done()) return true;
        if (moved < frames || busy()) ADD_FAILURE() << moved << " of " << frames << " frames in " << seconds << " s";
        return false;
    }
    // What the stand-in xdg-open was asked to open (it runs detached: wait a little for it).
    std::string opened_pages(double wait_s)
    {
        const auto start = steady::now();
        while (steady::now() - start < std::chrono::duration<double>(wait_s) && TS_read_file(opened).empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return TS_read_file(opened);
    }
};

TEST_F(Discovery, FetchesTheListOnceAndAsksAgainForA404Archive)
{
    // One server whose archive is missing at first: it is asked again and again, the list once.
    list("FINAL Corvane10\nSERVER s1.test\n/rel/\nOne\n");
    ASSERT_TRUE(poll([] { return !gServers.empty(); }));
    EXPECT_EQ(records(gServers), "[s1.test|/rel/Corvane10/|One]");
    EXPECT_EQ(gInstallName, "Corvane10");
    EXPECT_EQ(TS_read_file(gTempFolder + "server_list_10.txt"), kListHeader + std::string("FINAL Corvane10\nSERVER s1.test\n/rel/\nOne\n"));
    ASSERT_TRUE(poll([&] { return count_requests(nginx, "s1.test", "/rel/Corvane10/directory.txt.zip", 404) >= 3; }));
    EXPECT_EQ(gServerIndex, 0);
    EXPECT_EQ(gSearchPhase, 0);

    // The archive appears: unpacked, read into the plan, the zip deleted, the file kept.
    publish_directory(s1 + "rel/Corvane10/directory.txt.zip", "FILE 1 0 0 3 5 " + std::string(32, 'a') + " a.txt\n");
    ASSERT_TRUE(poll([] { return gSearchPhase == 3; }));
    EXPECT_EQ(gPlan.install_groups.size(), 1u);
    EXPECT_FALSE(TS_read_file(gTempFolder + "directory.txt").empty());
    EXPECT_EQ(TS_sh("ls '" + gTempFolder + "'"), "directory.txt\nserver_list_10.txt\n");
    for (int i = 0; i < 50; ++i) find_update_servers();
    EXPECT_EQ(count_requests(nginx, LOOKUP_HOST, "/_lookup_10_/server_list_10.txt"), 1);
    EXPECT_EQ(count_requests(nginx, "s1.test", "directory.txt.zip", 200), 1);
    EXPECT_TRUE(gAlerts.empty());
    EXPECT_EQ(gQuit, 0);

    // The beta box ticked after the list was read: the list comes again and the beta's archive
    // (missing) is asked for. Back, the box unticked, Next: the final release, and no request
    // for the beta after the list that named it no more.
    list("BETA Corvane10b\nFINAL Corvane10\nSERVER s1.test\n/rel/\nOne\n");
    gWantBetas = 1;
    ASSERT_TRUE(poll([&] {
        return count_requests(nginx, "s1.test", "/rel/Corvane10b/directory.txt.zip", 404) >= 2 &&
               gNet.requests[DIRECTORY_SLOT].state == net_slot_resting;
    }));
    EXPECT_EQ(records(gServers), "[s1.test|/rel/Corvane10b/|One]");
    step_search_updates_left();
    gWantBetas = 0;
    ASSERT_TRUE(poll([] { return gSearchPhase == 3; }));
    EXPECT_EQ(records(gServers), "[s1.test|/rel/Corvane10/|One]");
    const std::vector<Logged> asked = TS_nginx_requests(nginx);
    size_t last_list = 0;
    for (size_t i = 0; i < asked.size(); ++i)
        if (asked[i].host == LOOKUP_HOST) last_list = i;
    EXPECT_EQ(count_requests(nginx, LOOKUP_HOST, "/_lookup_10_/server_list_10.txt"), 3);
    for (size_t i = last_list; i < asked.size(); ++i) EXPECT_EQ(asked[i].path.find("Corvane10b"), std::string::npos);
    EXPECT_EQ(asked.back().path, "/rel/Corvane10/directory.txt.zip");
    EXPECT_EQ(TS_count(TS_read_log(), "The beta box changed since the server list was read"), 2);

    // A list without a beta names the same release either way. The box ticked: its archive, too
    // big for one receive, is under way when the box is unticked; that transfer is dropped, not
    // finished into the archive deleted meanwhile, and the same archive comes again whole.
    list("FINAL Corvane10\nSERVER s1.test\n/rel/\nOne\n");
    const std::string big = TS_new_dir("bigdir");
    TS_write_file(big + "directory.txt", "I\n1000 Corvane release\nINSTALLER\nFILE 1 0 0 3 5 " + std::string(32, 'a') +
                                             " a.txt\n");
    TS_sh("head -c 4000000 /dev/urandom > '" + big + "pad.bin'");
    ASSERT_EQ(TS_run({"zip", "-q", "-X", "-j", s1 + "rel/Corvane10/directory.txt.zip", big + "directory.txt",
                      big + "pad.bin"}, {}, 60).exit_code, 0);
    gWantBetas = 1;
    ASSERT_TRUE(poll([] {
        const float p = gNet.percent_done(DIRECTORY_SLOT);
        return gSearchPhase == 0 && p > 0 && p < 100;
    }));
    gWantBetas = 0;
    ASSERT_TRUE(poll([] { return gSearchPhase == 3; }));
    EXPECT_EQ(records(gServers), "[s1.test|/rel/Corvane10/|One]");
    EXPECT_EQ(gPlan.install_groups.size(), 1u);
    EXPECT_TRUE(gAlerts.empty()) << gAlerts[0].lines[0];
    EXPECT_EQ(TS_count(TS_read_log(), "The beta box changed since the server list was read"), 4);
}

TEST_F(Discovery, AnotherOfThreeServersAfterA404AndOptionsApplied)
{
    // Two of three servers lack the archive; the others are chosen at random until the third.
    list("FINAL Corvane10\nSERVER s1.test\n/r/\n1\nSERVER s2.test\n/r/\n2\nSERVER s3.test\n/r/\n3\n");
    publish_directory(s3 + "r/Corvane10/directory.txt.zip", "");
    srand(7);
    ASSERT_TRUE(poll([] { return gSearchPhase == 3; }));
    EXPECT_EQ(gServerIndex, 2);
    const std::vector<Logged> log = TS_nginx_requests(nginx);
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0].host, LOOKUP_HOST);
    EXPECT_EQ(log[1].host, "s1.test"); // the first server first
    EXPECT_EQ(log[1].status, 404);
    EXPECT_EQ(log.back().host, "s3.test");
    EXPECT_EQ(log.back().status, 200);
    EXPECT_EQ(count_requests(nginx, "s3.test", "", 200), 1);

    // Server options apply after the list: "--server" alone, the root release without '/'.
    gNet.cancel_slot(DIRECTORY_SLOT);
    gServers.clear();
    gSearchPhase = 0;
    gServerIndex = 0;
    gOptions.opts = {{"--server", "s2.test"}, {"--install_name", "Opt"}};
    publish_directory(s2 + "Opt/directory.txt.zip", "");
    ASSERT_TRUE(poll([] { return gSearchPhase == 3; }));
    EXPECT_EQ(records(gServers), "[s2.test|/Opt/|s2.test]");
    EXPECT_EQ(count_requests(nginx, "s2.test", "/Opt/directory.txt.zip", 200), 1);
    EXPECT_TRUE(gAlerts.empty());
}

TEST_F(Discovery, BusyListRetriedThenWrongHeaderAndNewerUpdaterAlerts)
{
    // The fault server answers 503 for the list until it has one: asked again each time.
    TS_server fault;
    ASSERT_TRUE(TS_fault_server_start(fault));
    gNet._proxy_port_int = fault.port;
    ASSERT_TRUE(poll([&] { return TS_fault_requests(fault).size() >= 3; }));
    EXPECT_TRUE(gServers.empty());
    EXPECT_TRUE(gAlerts.empty());
    TS_serve_file(fault.dir + "lookup.txt", std::string(kListHeader) + "FINAL F\nSERVER s1.test\n/f/\nf\n");
    ASSERT_TRUE(poll([] { return !gServers.empty(); }));
    EXPECT_EQ(records(gServers), "[s1.test|/f/F/|f]");
    gNet.cancel_slot(SERVER_LIST_SLOT);
    gNet.cancel_slot(DIRECTORY_SLOT);
    gNet._proxy_port_int = nginx.port;

    // "INS_VERSION 30003 file:///etc/passwd": the newer-updater alert, and nothing is opened.
    gServers.clear();
    list("SERVER s1.test\n/a/\nkept\nINS_VERSION 30003 file:///etc/passwd\nSERVER s2.test\n/b/\nunread\n");
    ASSERT_TRUE(poll([] { return gQuit != 0; }));
    ASSERT_EQ(gAlerts.size(), 1u);
    EXPECT_EQ(gAlerts[0].lines[0], "There is a newer version of the Corvane web updater available.");
    EXPECT_EQ(gAlerts[0].code, t_note);
    EXPECT_EQ(records(gServers), "[s1.test|/a/Not Yet Scanned/|kept]"); // each list names its own release
    EXPECT_NE(TS_read_log().find("WARNING: not opening \"file:///etc/passwd\""), std::string::npos);
    EXPECT_EQ(opened_pages(1.0), "");

    // With a web address the page is opened.
    gQuit = 0;
    gServers.clear();
    list("INS_VERSION 40000 http://127.0.0.1/newer\n");
    ASSERT_TRUE(poll([] { return gQuit != 0; }));
    EXPECT_EQ(opened_pages(10), "http://127.0.0.1/newer\n");
    TS_write_file(opened, "");

    // A wrong header: the new-installer alert naming the list, the download page, quit.
    gQuit = 0;
    gAlerts.clear();
    write_file(lookup + "_lookup_10_/server_list_10.txt", "I\n999 old\nSERVERS\nSERVER s1.test\n/a/\nx\n");
    ASSERT_TRUE(poll([] { return gQuit != 0; }));
    ASSERT_EQ(gAlerts.size(), 1u);
    EXPECT_EQ(gAlerts[0].lines[1], "In other words, you need to get a new installer!");
    EXPECT_EQ(gAlerts[0].lines[3], gTempFolder + "server_list_10.txt");
    EXPECT_TRUE(gServers.empty());
    EXPECT_NE(opened_pages(10).find("https://"), std::string::npos);
}

TEST_F(Discovery, ARefusedLookUpIsAskedLessAndLessOftenAndLoggedOnce)
{
    // 65 s of frames against a port nothing listens on: a few requests, one report.
    gNet._proxy_port_int = TS_free_port();
    for (int i = 0; i < 65 * 30; ++i) {
        gTimer.hl_timer_real_time += 1.0f / 30;
        find_update_servers();
    }
    EXPECT_LT(TS_read_log().size(), 4096u);
    EXPECT_EQ(TS_count(TS_read_log(), "HTTP Error for "), 1) << TS_read_log();

    // The server back: the list within the longest wait, the repeats counted in one line; the
    // success takes the wait away, so the archive's 404 is asked for again a second later.
    TS_server fault;
    ASSERT_TRUE(TS_fault_server_start(fault));
    TS_serve_file(fault.dir + "lookup.txt", std::string(kListHeader) + "FINAL F\nSERVER s1.test\n/missing/\nf\n");
    gNet._proxy_port_int = fault.port;
    const float back = gTimer.hl_timer_real_time;
    ASSERT_TRUE(poll([] { return !gServers.empty(); }));
    EXPECT_LE(gTimer.hl_timer_real_time - back, 31.0f);
    EXPECT_EQ(TS_count(TS_read_log(), "The failure above for " + gTempFolder + "server_list_10.txt came 6 more times."),
              1);
    ASSERT_TRUE(poll([&] { return TS_fault_requests(fault).size() == 2; })); // the list, then the archive
    for (const TS_request& r : TS_fault_requests(fault)) { // asked of the server, never of a proxy's cache
        EXPECT_NE(r.bytes.find("\r\nCache-Control: no-cache\r\nHost: "), std::string::npos) << r.bytes;
        EXPECT_NE(r.bytes.find("\r\nPragma: no-cache\r\nUser-agent: "), std::string::npos) << r.bytes;
    }
    const float first = gTimer.hl_timer_real_time;
    ASSERT_TRUE(poll([&] { return TS_fault_requests(fault).size() == 3; }));
    EXPECT_LT(gTimer.hl_timer_real_time - first, 5.0f);
}

TEST_F(Discovery, ListsWithoutAUsableServerWaitAsFailuresAndRepeatsAreCountedAtBackAndQuit)
{
    // Each list without a usable server (lines refused; no SERVER line) waits as a failure, logged once.
    app_set_hooks();
    auto run = [this](const char* body) { list(body); poll([] { return false; }, 1300, 60); }; // 65 s of the clock
    run("FINAL R\nSERVER s.test/\n/d/\nn\nSERVER r.test\nrel/\nn\n");
    run("FINAL R\n");
    run("SERVER s1.test\n/x/\nx\n"); // names no release: never a request for the placeholder's folder
    EXPECT_EQ(count_requests(nginx, "s1.test", ""), 0);
    EXPECT_LE(count_requests(nginx, LOOKUP_HOST, "txt"), 8 + 3 + 3); // the wait is at its longest after the first
    app_shutdown(0); // mid-outage
    EXPECT_EQ(TS_count(TS_read_file(TS_log_path()), "WARNING: "), 5); // the two lines, thrice that no server is left
    EXPECT_EQ(TS_count(TS_read_file(TS_log_path()), "The unusable server list above came "), 3); // new lists, quit
    // Back in the longest wait, then Next: with the clock stopped the list is asked for again at
    // once, and the wait after that failure is the shortest again, not the longest.
    hl_open_log(TS_log_path());
    ASSERT_TRUE(poll([] { return gNet.requests[SERVER_LIST_SLOT].state == net_slot_done; })); // none under way
    const std::string unusable = "names no update server that can be used";
    const int warned = TS_count(TS_read_log(), unusable);
    step_search_updates_left();
    const auto start = steady::now();
    while (TS_count(TS_read_log(), unusable) == warned && steady::now() - start < std::chrono::seconds(10)) {
        find_update_servers();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(TS_count(TS_read_log(), unusable), warned + 1);
    const int asked = count_requests(nginx, LOOKUP_HOST, "txt");
    poll([] { return false; }, 30); // a second and a half of the clock; nginx may log the request later
    while (count_requests(nginx, LOOKUP_HOST, "txt") == asked && steady::now() - start < std::chrono::seconds(20))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_GT(count_requests(nginx, LOOKUP_HOST, "txt"), asked);
    // A good list within the wait, at once the archive, whose 404s wait too; Back and quit count them.
    list("FINAL R\nSERVER s1.test\n/x/\nx\n");
    ASSERT_TRUE(poll([&] { return count_requests(nginx, "s1.test", "zip") > 0; }, 31 * 20));
    run("FINAL R\nSERVER s1.test\n/x/\nx\n");
    EXPECT_LE(count_requests(nginx, "s1.test", "zip"), 8);
    step_search_updates_left();
    run("FINAL R\nSERVER s1.test\n/x/\nx\n");
    app_shutdown(0);
    EXPECT_EQ(TS_count(TS_read_file(TS_log_path()), "The failure above for " + gTempFolder + "directory.txt.zip"), 2);
}

TEST_F(Discovery, BrokenArchivesRestAndWriteNothingOutside)
{
    list("FINAL R\nSERVER s1.test\n/x/\nx\n");
    // Not a zip: the extraction note, the archive deleted, and asked again only after the rest.
    write_file(s1 + "x/R/directory.txt.zip", "this is not a zip archive");
    ASSERT_TRUE(poll([] { return !gAlerts.empty(); }));
    ASSERT_EQ(gAlerts.size(), 1u);
    EXPECT_EQ(gAlerts[0].code, t_note);
    EXPECT_EQ(gAlerts[0].where, "(main.cpp:619)");
    EXPECT_EQ(gAlerts[0].lines[0], "The installer cannot extract a file.");
    EXPECT_EQ(gAlerts[0].lines[1].rfind("Error: ", 0), 0u);
    EXPECT_EQ(gAlerts[0].lines[2], "Compressed File  " + gTempFolder + "directory.txt.zip.");
    EXPECT_EQ(gAlerts[0].lines[3], "Destination Path: " + gTempFolder + ".");
    EXPECT_FALSE(TS_sh("ls '" + gTempFolder + "'").find("directory.txt.zip") != std::string::npos);
    for (int i = 0; i < 200; ++i) find_update_servers();
    EXPECT_EQ(count_requests(nginx, "s1.test", "directory.txt.zip"), 1);
    gTimer.hl_timer_real_time += 29;
    for (int i = 0; i < 200; ++i) find_update_servers();
    EXPECT_EQ(count_requests(nginx, "s1.test", "directory.txt.zip"), 1);
    gTimer.hl_timer_real_time += 1.5f;
    ASSERT_TRUE(poll([] { return gAlerts.size() == 2; }));
    EXPECT_EQ(count_requests(nginx, "s1.test", "directory.txt.zip"), 2);

    // A hostile archive: entries climbing out, an absolute one and a link; nothing is written
    // outside the temporary folder. Made with Python's zipfile, which stores names as given.
    const std::string evil = s1 + "x/R/directory.txt.zip";
    TS_sh("/usr/bin/python3 -c \"import zipfile,sys\n"
          "z=zipfile.ZipFile(sys.argv[1],'w')\n"
          "z.writestr('directory.txt','I\\n1000 x\\nINSTALLER\\n')\n"
          "z.writestr('../evil-up.txt','x')\n"
          "z.writestr('" + TS_scratch() + "evil-abs.txt','x')\n"
          "i=zipfile.ZipInfo('evil-link'); i.external_attr=(0o120777<<16); z.writestr(i,'" + TS_scratch() + "')\n"
          "z.writestr('evil-link/evil-through.txt','x')\n"
          "z.close()\" '" + evil + "'");
    gTimer.hl_timer_real_time += 31;
    ASSERT_TRUE(poll([] { return gAlerts.size() == 3 || gSearchPhase != 0; }));
    EXPECT_EQ(gAlerts.size(), 3u);
    EXPECT_EQ(gSearchPhase, 0);
    EXPECT_EQ(TS_sh("find '" + TS_scratch() + "' -name '*evil*' -not -path '" + gTempFolder + "*' -not -path '" + s1 +
                    "*'"),
              "");

    // A good archive without "directory.txt": the last run's file is gone, and nothing is read.
    gTimer.hl_timer_real_time += 31;
    server_search_reset_rest();
    gSearchPhase = 0;
    write_file(gTempFolder + "directory.txt", "I\n1000 stale\nINSTALLER\nFILE 1 0 0 3 5 x stale.txt\n");
    const std::string stage = TS_new_dir("nodir");
    TS_write_file(stage + "other.txt", "not the list");
    TS_sh("rm -f '" + evil + "' && zip -q -X -j '" + evil + "' '" + stage + "other.txt'");
    ASSERT_TRUE(poll([] { return gAlerts.size() == 4; }));
    EXPECT_EQ(gSearchPhase, 0);
    EXPECT_EQ(TS_sh("ls '" + gTempFolder + "'"), "server_list_10.txt\n");

    // Only the directory file is taken from an archive that also holds folders of the working
    // names; what an older run left at those names (folders, a link leading out) is cleared.
    const std::string kept = TS_new_dir("kept") + "keep.txt";
    TS_write_file(kept, "keep");
    TS_sh("cd '" + stage + "' && mkdir -p server_list_10.txt/x 0.zip && printf 'I\\n1000 x\\nINSTALLER\\n' > "
          "directory.txt && rm -f '" + evil + "' && zip -q -r -X '" + evil + "' * && cd '" + gTempFolder +
          "' && rm -f * && mkdir -p server_list_10.txt/a directory.txt/b 0.zip/c && ln -s '" + kept +
          "' directory.txt.zip");
    gServers.clear();
    server_search_reset_rest();
    ASSERT_TRUE(poll([] { return gSearchPhase == 3; }));
    EXPECT_EQ(TS_sh("cd '" + gTempFolder + "' && find . | sort"),
              ".\n./0.zip\n./0.zip/c\n./directory.txt\n./server_list_10.txt\n");
    EXPECT_EQ(TS_read_file(kept), "keep");
    EXPECT_EQ(gAlerts.size(), 4u);

    // A directory file larger than its archive's download may be: stopped there, the alert.
    TS_sh("cd '" + stage + "' && head -c 257M /dev/zero > directory.txt && rm -f '" + evil + "' && zip -q -X '" + evil +
          "' directory.txt && rm directory.txt");
    gSearchPhase = 0;
    server_search_reset_rest();
    ASSERT_TRUE(poll([] { return gAlerts.size() == 5; }));
    EXPECT_EQ(gAlerts[4].lines[1], "Error: " + FILE_error_text(EFBIG) + ".");
    EXPECT_EQ(gSearchPhase, 0);
    EXPECT_EQ(TS_sh("ls -A '" + gTempFolder + "'"), "0.zip\nserver_list_10.txt\n");
}

} // namespace
