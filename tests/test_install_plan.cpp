// The directory file read into the update plan (record grammar, grouping, platform filter,
// scenery tiles, refused headers and hostile paths), the engine's two alerts with their web
// pages (a stand-in xdg-open first on PATH records them) and the two-button question.
#include "app/main.h"
#include "engine/modal_frame.h"
#include "engine/utils.h"
#include "engine/web_page.h"
#include "foundation/options.h"
#include "foundation/paths.h"
#include "foundation/translation.h"
#include "frame/hl_init.h"
#include "frame/hl_shutdown.h"
#include "graphics/OGL_view.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

static const char kHeader[] = "I\n1000 Corvane release\nINSTALLER\n";
static const char kMd5[] = "0123456789abcdef0123456789abcdef";

// The xdg-open stand-in writes one file per call into this folder.
static std::string record_dir()
{
    return TS_scratch() + "opened/";
}

static std::vector<std::string> records()
{
    std::vector<std::string> out;
    if (DIR* d = opendir(record_dir().c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name.rfind("call.", 0) == 0 && name.find(".tmp") == std::string::npos)
                out.push_back(TS_read_file(record_dir() + name));
        }
        closedir(d);
    }
    return out;
}

// Waits (at most ten seconds) until the stand-in has recorded n calls, then a little longer so
// that a call too many would show.
static std::vector<std::string> wait_for_records(size_t n)
{
    for (int i = 0; i < 200 && records().size() < n; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return records();
}

// Automation mode, a fresh log per test, the stand-in xdg-open first on PATH.
struct Plan : testing::Test {
    static void SetUpTestSuite()
    {
        std::string bin = TS_new_dir("bin");
        std::string script = bin + "xdg-open";
        TS_write_script(script, "f='" + record_dir() + "call.'$$\n"
                                "printf '%s\\n' \"$#\" \"$@\" > \"$f.tmp\" && mv \"$f.tmp\" \"$f\"\n");
        std::string path = bin + ":" + (getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin");
        setenv("PATH", path.c_str(), 1);
        gOptions.opts["--qa_script"] = "";
    }
    void SetUp() override
    {
        hl_open_log(TS_log_path());
        TS_sh("rm -rf '" + record_dir() + "' && mkdir -p '" + record_dir() + "'");
        gQuit = 0;
        gTargetOS = 2;
    }
    void TearDown() override { gQuit = 0; }
};

static std::string write_dir_file(const std::string& body, const std::string& header = kHeader)
{
    static int n = 0;
    std::string path = TS_scratch() + "directory-" + std::to_string(++n) + ".txt";
    TS_write_file(path, header + body);
    return path;
}

static std::string entry_text(const install_entry& e)
{
    char sizes[64];
    snprintf(sizes, sizeof sizes, "%.0f|%.0f", e.download_size, e.disk_size);
    return e.path + "|" + e.sig_want + "|" + std::to_string(e.os) + "|" + std::to_string(e.extra) + "|" + sizes +
           "|" + std::to_string(e.disk);
}

// Groups one per line, the entries of a group joined by " + ".
static std::string plan_text()
{
    std::string out;
    for (const auto& g : gPlan.install_groups) {
        if (!out.empty()) out += "\n";
        for (size_t i = 0; i < g.size(); ++i) out += (i ? " + " : "") + entry_text(g[i]);
    }
    return out;
}

static std::string read_plan(const std::string& body)
{
    EXPECT_EQ(install_read_directory_file(write_dir_file(body)), 3) << body;
    return plan_text();
}

// A FILE record with platform 0, extra 0 and sizes 1 and 1.
static std::string rec(const std::string& path, const std::string& sig = "s")
{
    return "FILE 7 0 0 1 1 " + sig + " " + path + "\n";
}

TEST_F(Plan, RecordGrammar)
{
    const std::string m = kMd5;
    struct Case {
        const char* what;
        std::string body, plan;
    } cases[] = {
        {"header only", "", ""},
        {"all fields", "FILE 12 2 3 40 50 " + m + " Resources/a.txt\n", "Resources/a.txt|" + m + "|2|3|40|50|0"},
        {"GONE and NONE words", rec("a", "GONE") + rec("b", "NONE"), "a|GONE|0|0|1|1|0\nb|NONE|0|0|1|1|0"},
        {"DIR prefix", "DIR Resources/plugins/\n" + rec("x.txt") + rec("sub/y.txt"),
         "Resources/plugins/x.txt|s|0|0|1|1|0\nResources/plugins/sub/y.txt|s|0|0|1|1|0"},
        {"DIR with blanks only empties the prefix", "DIR a/\nDIR  \t \n" + rec("x"), "x|s|0|0|1|1|0"},
        {"DIR at the line end is no record", "DIR a/\nDIR\n" + rec("x") + "DIR\r\n" + rec("y"),
         "a/x|s|0|0|1|1|0\na/y|s|0|0|1|1|0"},
        {"DIR keeps inner blanks", "DIR Custom Scenery/My Place/\n" + rec("x"),
         "Custom Scenery/My Place/x|s|0|0|1|1|0"},
        {"DISK numbers", "DISK 3 and the rest\n" + rec("a") + "DISK\n" + rec("b") + "DISK\t2\n" + rec("c"),
         "a|s|0|0|1|1|3\nb|s|0|0|1|1|3\nc|s|0|0|1|1|2"},
        {"line ends", "FILE 7 0 0 1 1 s a\r\nFILE 7 0 0 1 1 s b\rFILE 7 0 0 1 1 s c" + std::string(1, '\0') +
                          "FILE 7 0 0 1 1 s d",
         "a|s|0|0|1|1|0\nb|s|0|0|1|1|0\nc|s|0|0|1|1|0\nd|s|0|0|1|1|0"},
        {"trailing blanks stay in the path", "FILE 7 0 0 1 1 s a b.txt  \t\n" + rec("c"),
         "a b.txt  \t|s|0|0|1|1|0\nc|s|0|0|1|1|0"},
        {"blank lines and leading blanks", "\n\n  \t FILE\t7 0 0 1 1 s a\n\n \t \n\r\n" + rec("b"),
         "a|s|0|0|1|1|0\nb|s|0|0|1|1|0"},
        {"lines that are no record",
         "file 7 0 0 1 1 s a\nFILES 7 0 0 1 1 s b\nFILE\nREM FILE 7 0 0 1 1 s c\n" + rec("d"),
         "d|s|0|0|1|1|0"},
        {"platform clamped", "FILE 7 9 0 1 1 s a\nFILE 7 -3 0 1 1 s b\n", "a|s|6|0|1|1|0\nb|s|0|0|1|1|0"},
        {"number signs and junk", "FILE 7 0 -+7 1 1 s a\nFILE 7 0 +7 1 1 s b\nFILE 7 0 12a 1 1 s c\n",
         "a|s|0|-7|1|1|0\nb|s|0|7|1|1|0\nc|s|0|169|1|1|0"},
        {"numbers stop at the int32 limits", "FILE 7 0 99999999999999999999 1 1 s a\n"
                                             "FILE 7 0 -99999999999999999999 1 1 s b\n",
         "a|s|0|2147483647|1|1|0\nb|s|0|-2147483647|1|1|0"},
        {"sizes are whole kilobytes", "FILE 7 0 0 1048576 4194304 s a\n", "a|s|0|0|1048576|4194304|0"},
        {"Earth Orbit Textures leave no trace",
         rec("a") + rec("Resources/Earth Orbit Textures/x.png") + "FILE 7 0 0 2 2 t a\n",
         "a|s|0|0|1|1|0 + a|t|0|0|2|2|0"},
        {"only the record's own text is tested for Earth Orbit Textures", "DIR Earth Orbit Textures/\n" + rec("x"),
         "Earth Orbit Textures/x|s|0|0|1|1|0"},
    };
    for (const auto& c : cases) EXPECT_EQ(read_plan(c.body), c.plan) << c.what;
}

TEST_F(Plan, ReadingResetsTotalsAndEmptiedFolders)
{
    gDownloadSize = 5;
    gSpaceNeeded = 6;
    gEmptiedFolders.insert("a/");
    read_plan(rec("a"));
    EXPECT_EQ(gDownloadSize, 0);
    EXPECT_EQ(gSpaceNeeded, 0);
    EXPECT_TRUE(gEmptiedFolders.empty());
    const install_entry& e = gPlan.install_groups.at(0).back();
    EXPECT_EQ(e.sig_have, "");
    EXPECT_EQ(e.up_to_date + e.do_download + e.do_delete + e.is_tile, 0);
}

TEST_F(Plan, AdjacentRecordsGroupAndALaterGroupWins)
{
    struct Case {
        const char* what;
        std::string body, plan;
        int warnings;
    } cases[] = {
        {"adjacent records form one group", rec("a") + rec("a", "t") + rec("b"), "a|s + a|t\nb|s", 0},
        {"a path that comes back replaces its earlier group", rec("a") + rec("b") + rec("a", "t"), "b|s\na|t", 1},
        {"the last of three groups wins", rec("a") + rec("a", "t") + rec("b") + rec("a", "u") + rec("c") +
                                              rec("a", "v") + rec("a", "w"),
         "b|s\nc|s\na|v + a|w", 2},
        {"a dropped record does not part a group", rec("a") + rec("../x") + rec("a", "t"), "a|s + a|t", 0},
        {"paths differ by case", rec("a") + rec("A") + rec("a", "t"), "A|s\na|t", 1},
    };
    for (const auto& c : cases) {
        hl_open_log(TS_log_path());
        read_plan(c.body);
        // Only paths and signatures matter here.
        std::string brief;
        for (const auto& g : gPlan.install_groups) {
            if (!brief.empty()) brief += "\n";
            for (size_t i = 0; i < g.size(); ++i) brief += (i ? " + " : "") + g[i].path + "|" + g[i].sig_want;
        }
        EXPECT_EQ(brief, c.plan) << c.what;
        EXPECT_EQ(TS_count(TS_read_log(), "again further down"), c.warnings) << c.what;
    }
    EXPECT_NE(TS_read_log().find("WARNING: the directory file lists \"a\" again further down"), std::string::npos);
}

TEST_F(Plan, PlatformFilterForEveryTarget)
{
    std::string body;
    for (int os = 0; os <= 6; ++os) body += "FILE 1 " + std::to_string(os) + " 0 1 1 s f" + std::to_string(os) + "\n";
    read_plan(body);
    ASSERT_EQ(gPlan.install_groups.size(), 7u);
    // Columns: platform codes 0 to 6.
    const struct {
        int target;
        const char* name;
        const char* wanted;
    } rows[] = {{0, "ALL", "1000000"}, {1, "APL", "1100000"}, {2, "IBM", "1010000"}, {3, "LIN", "1001001"}};
    for (const auto& r : rows) {
        gTargetOS = r.target;
        std::string got;
        for (int g = 0; g < 7; ++g) got += std::to_string(install_group_wanted(g, 0));
        EXPECT_EQ(got, r.wanted) << r.name;
    }
    // Indices outside the plan are never wanted.
    gTargetOS = 0;
    EXPECT_EQ(install_group_wanted(-1, 0), 0);
    EXPECT_EQ(install_group_wanted(7, 0), 0);
    EXPECT_EQ(install_group_wanted(0, 1), 0);
    EXPECT_EQ(install_group_wanted(0, -1), 0);

    // A code above 6 is read as 6: wanted on LIN only.
    read_plan("FILE 1 9 0 1 1 s a\n");
    gTargetOS = 3;
    EXPECT_EQ(install_group_wanted(0, 0), 1);
    gTargetOS = 2;
    EXPECT_EQ(install_group_wanted(0, 0), 0);
}

TEST_F(Plan, SceneryTiles)
{
    struct Case {
        const char* path;
        int is_tile, lon, lat;
    } cases[] = {
        {"Global Scenery/+47-123.DSF", 1, 5, 13},
        {"Custom Scenery/Global Scenery/Earth nav data/+40-130/+47-123.dsf", 1, 5, 13},
        {"Resources/default scenery/DSF 820 world/Earth nav data/+40-130/+47-123.dSf", 1, 5, 13},
        {"Custom Scenery/-global overlays-/Earth nav data/-90-180.dsf", 1, 0, 0},
        {"Custom Scenery/-global terrain-/+89+179.dsf", 1, 35, 17},
        {"-global terrain-/+47-123.dsf", 0, 0, 0},       // the folder word needs its leading '/'
        {"global scenery/+47-123.dsf", 0, 0, 0},         // folder words are case-sensitive
        {"Custom Scenery/+47-123.dsf", 0, 0, 0},         // not in a tile folder
        {"Global Scenery/+47-123.dsf.txt", 0, 0, 0},     // not a .dsf file
        {"Global Scenery/+90+000.dsf", 0, 0, 0},         // latitude index 18
        {"Global Scenery/+00-181.dsf", 1, 0, 9},         // (-181 + 180) / 10 truncates to 0
    };
    for (const auto& c : cases) {
        read_plan(rec(c.path));
        ASSERT_EQ(gPlan.install_groups.size(), 1u) << c.path;
        const install_entry& e = gPlan.install_groups[0][0];
        EXPECT_EQ(e.is_tile, c.is_tile) << c.path;
        if (c.is_tile) {
            EXPECT_EQ(e.tile_lon, c.lon) << c.path;
            EXPECT_EQ(e.tile_lat, c.lat) << c.path;
        }
    }
}

TEST(TileNames, IndicesFromFileNames)
{
    struct Case {
        const char* path;
        int ok, lon, lat;
    } cases[] = {
        {"-90-180.dsf", 1, 0, 0},
        {"+90+000.dsf", 0, 18, 18},
        {"+47-123.dsf", 1, 5, 13},
        {"a/b\\+47-123.dsf", 1, 5, 13},   // either separator
        {"a/+47-123.dsf/", 1, 5, 13},     // one trailing separator ignored
        {"-99+000.dsf", 1, 18, 0},        // -9 / 10 truncates towards zero
        {"+00-999.dsf", 0, -81, 9},
        {"x47-123.dsf", 1, 5, 8},         // an unreadable latitude reads as -1
        {"+47", 1, 17, 13},               // so does a missing longitude
    };
    for (const auto& c : cases) {
        int lon = -555, lat = -555;
        EXPECT_EQ(install_tile_from_path(lon, lat, c.path), c.ok) << c.path;
        EXPECT_EQ(lon, c.lon) << c.path;
        EXPECT_EQ(lat, c.lat) << c.path;
    }

    const std::pair<char, int> digits[] = {{'+', 1}, {'-', -1}, {'0', 0}, {'7', 7}, {'9', 9}, {'a', 0}, {' ', 0}};
    for (const auto& d : digits) EXPECT_EQ(char_digit_value(d.first), d.second) << d.first;
    EXPECT_TRUE(is_signed_digits("+47"));
    EXPECT_TRUE(is_signed_digits("-+1-"));
    EXPECT_FALSE(is_signed_digits(""));
    EXPECT_FALSE(is_signed_digits("4 7"));
    EXPECT_FALSE(is_signed_digits("47."));
}

TEST(SafePaths, RelativePathRule)
{
    struct Case {
        std::string path;
        bool safe, safe_as_folder;
    } cases[] = {
        {"a", true, true},
        {"Resources/plugins/x.txt", true, true},
        {"Custom Scenery/My Place /x..y", true, true},
        {"..a/.b/c.", true, true},
        {"a/", false, true},
        {"", false, false},
        {"/", false, false},
        {"/etc/passwd", false, false},
        {"../x", false, false},
        {"a/../x", false, false},
        {"a/..", false, false},
        {"..", false, false},
        {".", false, false},
        {"./a", false, false},
        {"a/./b", false, false},
        {"a//b", false, false},
        {"a//", false, false},
        {"a\\b", false, false},
        {"..\\x", false, false},
        {"C:/Windows/x", false, false},
        {"c:x", false, false},
        {"C:", false, false},
        {std::string("a\0b", 3), false, false},
        {"a/C:x", false, false}, // a drive letter anywhere, as archive entries always had it
        {"1:x", true, true},     // not a drive letter
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FILE_is_safe_relative_path(c.path), c.safe) << c.path;
        EXPECT_EQ(FILE_is_safe_relative_path(c.path, true), c.safe_as_folder) << c.path;
    }
}

TEST_F(Plan, HostilePathsAreDroppedWithAWarning)
{
    const std::string hostile[] = {
        rec("../evil.txt"),
        rec("a/../../evil.txt"),
        rec("/etc/passwd"),
        rec("a\\..\\..\\evil.txt"),
        rec("C:/Windows/evil.txt"),
        rec("c:evil.txt"),
        rec("./a"),
        rec("a/./b"),
        rec("a//b"),
        rec(".."),
        "DIR ../\n" + rec("evil.txt") + "DIR\t \n",
        "DIR /tmp/\n" + rec("evil.txt") + "DIR \n",
        "DIR Resources\\\n" + rec("evil.txt") + "DIR \n",
        "FILE 7 0 0\n", // no path at all
    };
    for (const auto& h : hostile) {
        hl_open_log(TS_log_path());
        EXPECT_EQ(read_plan(rec("keep/a") + h + rec("keep/b")), "keep/a|s|0|0|1|1|0\nkeep/b|s|0|0|1|1|0") << h;
        const std::string log = TS_read_log();
        EXPECT_EQ(TS_count(log, "WARNING: the directory file lists an unsafe path; its record is skipped: "), 1)
            << h << log;
    }
    // A NUL ends the line: what follows it is a line of its own, which is no record.
    EXPECT_EQ(read_plan("FILE 7 0 0 1 1 s a" + std::string(1, '\0') + "/../../evil\n"), "a|s|0|0|1|1|0");
}

TEST_F(Plan, FatalForAMissingFileOrAPathWithoutFile)
{
    const std::string missing = TS_scratch() + "no-such-directory.txt";
    EXPECT_EXIT(install_read_directory_file(missing), testing::ExitedWithCode(1), "");
    EXPECT_NE(TS_read_log().find("I tried to read a directory file that does not exist!\nThe file is:\n" + missing +
                              "\n\n(utils:771)\n"),
              std::string::npos)
        << TS_read_log();

    hl_open_log(TS_log_path());
    const std::string folder = write_dir_file("DIR Resources/\n" + rec("a") + "FILE 7 0 0 1 1 s plugins/\n");
    EXPECT_EXIT(install_read_directory_file(folder), testing::ExitedWithCode(1), "");
    EXPECT_NE(TS_read_log().find("I am reading the directory text file and found a path that has no file!\n"
                              "This is impossible to download or delete!\nIt is:\nResources/plugins/\n(utils:816)\n"),
              std::string::npos)
        << TS_read_log();
}

static const char kNeedNewInstaller[] =
    "OK I am checking the Veltrano servers and I am finding file formats that are newer than I can understand!\n"
    "In other words, you need to get a new installer!\n"
    "No problem... grab it at the download section of www.corvane-sim.com.\n";
static const char kDownloadPage[] = "https://www.corvane-sim.com/download/";

TEST_F(Plan, WrongOrNewerHeadersSendTheUserToTheDownloadPage)
{
    struct Case {
        const char* what;
        std::string header;
    } cases[] = {
        {"wrong first line", "X\n1000\nINSTALLER\n"},
        {"older version", "I\n900 old\nINSTALLER\n"},
        {"newer version", "I\n1001 new\nINSTALLER\n"},
        {"another type word", "I\n1000\nINSTALLERS\n"},
        {"no type word", "I\n1000\n"},
        {"empty header lines", "\n\n\n"},
    };
    for (const auto& c : cases) {
        SetUp();
        read_plan(rec("a")); // a plan from an earlier search
        const std::string path = write_dir_file(rec("b"), c.header);
        EXPECT_EQ(install_read_directory_file(path), 2) << c.what;
        EXPECT_TRUE(gPlan.install_groups.empty()) << c.what;
        EXPECT_EQ(gQuit, 1) << c.what;
        EXPECT_NE(TS_read_log().find(kNeedNewInstaller + path + "\n(utils:89)\n"), std::string::npos)
            << c.what << "\n" << TS_read_log();
        EXPECT_EQ(wait_for_records(1), std::vector<std::string>{std::string("1\n") + kDownloadPage + "\n"}) << c.what;
    }
    // Both header letters, a byte-order mark and CR LF line ends are accepted.
    SetUp();
    EXPECT_EQ(install_read_directory_file(write_dir_file(rec("b"), "\xEF\xBB\xBF" "A\r\n1000\r\nINSTALLER\r\n")), 3);
    EXPECT_EQ(plan_text(), "b|s|0|0|1|1|0");
    EXPECT_EQ(gQuit, 0);
}

TEST_F(Plan, NewerUpdaterAlertOpensItsPageAndQuits)
{
    const std::string page = "https://updates.example.org/get the updater?v=30003&lang=en";
    install_newer_updater_dialog(page);
    EXPECT_EQ(gQuit, 1);
    EXPECT_NE(TS_read_log().find("There is a newer version of the Corvane web updater available.\n"
                              "I will take you to the web page where you can downoad it.\n\n\n(utils:80)\n"),
              std::string::npos)
        << TS_read_log();
    // One argument, passed whole: no shell split it.
    EXPECT_EQ(wait_for_records(1), std::vector<std::string>{"1\n" + page + "\n"});
    // Without an opener, a note names the address and why it was not opened.
    const std::string path = getenv("PATH");
    setenv("PATH", TS_new_dir("no-opener").c_str(), 1);
    install_newer_updater_dialog(page);
    setenv("PATH", path.c_str(), 1);
    EXPECT_NE(TS_read_log().find("updater:\n" + page + "\nError: xdg-open: No such file or directory\nPlease"),
              std::string::npos);
}

TEST_F(Plan, NeedNewInstallerAlertNamesTheFile)
{
    install_need_new_installer_dialog("/tmp/some folder/server_list_10.txt");
    EXPECT_EQ(gQuit, 1);
    EXPECT_NE(TS_read_log().find(std::string(kNeedNewInstaller) + "/tmp/some folder/server_list_10.txt\n(utils:89)\n"),
              std::string::npos)
        << TS_read_log();
    EXPECT_EQ(wait_for_records(1), std::vector<std::string>{std::string("1\n") + kDownloadPage + "\n"});
    // An opener with nothing to open the page with: a note names the page, its address and why.
    const std::string path = getenv("PATH"), bin = TS_new_dir("failing-opener");
    TS_write_script(bin + "xdg-open", "exit 3\n");
    setenv("PATH", bin.c_str(), 1);
    install_need_new_installer_dialog("a/directory.txt");
    setenv("PATH", path.c_str(), 1);
    const std::string note = std::string("\nI could not open the Corvane download page:\n") + kDownloadPage +
                             "\nError: xdg-open: exited with status 3\nPlease open it in your web browser.\n(utils:90)";
    EXPECT_NE(TS_read_log().find(note), std::string::npos) << TS_read_log();
}

TEST_F(Plan, AlertTextsAreTranslated)
{
    LANG_set_language(2); // German
    install_need_new_installer_dialog("a/directory.txt");
    LANG_clear();
    EXPECT_NE(TS_read_log().find("Mit anderen Worten: Sie brauchen ein neues Installationsprogramm!\n"
                              "Kein Problem... Sie finden es im Download-Bereich von www.corvane-sim.com.\n"
                              "a/directory.txt\n"),
              std::string::npos)
        << TS_read_log();
    EXPECT_EQ(wait_for_records(1).size(), 1u);
}

TEST_F(Plan, OnlyWebAddressesAreOpened)
{
    const char* refused[] = {"file:///etc/passwd", "/usr/bin/xterm", "--help", "javascript:alert(1)",
                             "ftp://example.org/", "", "http:/x", " https://example.org/"};
    for (const char* r : refused) open_url_before_quit(r, nullptr);
    install_newer_updater_dialog("mailto:someone@example.org");
    open_url_before_quit("HTTP://Example.org/a", nullptr);
    EXPECT_EQ(wait_for_records(1), std::vector<std::string>{"1\nHTTP://Example.org/a\n"});
    EXPECT_EQ(TS_count(TS_read_log(), "WARNING: not opening \""), 9) << TS_read_log();
    EXPECT_EQ(TS_count(TS_read_log(), "could not start"), 0) << TS_read_log(); // the page that opened
    EXPECT_EQ(gQuit, 1); // the alert still ends the program
}

// Answers of the stand-in question frame, one per frame.
static std::vector<int> gAnswers;
static size_t gFrames = 0;
static std::string gSeen;

static int scripted_frame(const std::string& top, const std::string& l1, const std::string& t1, const std::string& l2,
                          const std::string& t2)
{
    gSeen = top + "|" + l1 + "|" + t1 + "|" + l2 + "|" + t2 + "|" + TS_read_file(TS_log_path()); // on disk as it asks
    int a = gFrames < gAnswers.size() ? gAnswers[gFrames] : 1;
    ++gFrames;
    if (a == -1) { // another popup replaces the question in this frame
        gPopup = 994;
        return 0;
    }
    return a;
}

TEST(TwoChoices, AnswersAndResultCodes)
{
    struct Case {
        const char* what;
        std::vector<int> frames;
        int result;
        size_t frames_run;
    } cases[] = {
        {"first button", {1}, 1, 1},
        {"second button", {2}, 0, 1},
        {"frames run until a button is clicked", {0, 0, 0, 2}, 0, 4},
        {"another popup opened over the question", {0, -1, 1}, 3, 2},
    };
    const install_modal_hooks kept = gInstallModal;
    gInstallModal.two_choices_frame = scripted_frame;
    hl_open_log(TS_log_path());
    gLog << "before the question\n";
    for (const auto& c : cases) {
        gAnswers = c.frames;
        gFrames = 0;
        gPopup = 997; // the question's popup, as opening it leaves it
        EXPECT_EQ(install_ask_two_choices("Stop?", "Yes", "Stop now.", "No", "Go on."), c.result) << c.what;
        EXPECT_EQ(gFrames, c.frames_run) << c.what;
        EXPECT_EQ(gSeen, "Stop?|Yes|Stop now.|No|Go on.|before the question\n") << c.what;
    }
    gInstallModal = kept;
    gPopup = 0;
}
