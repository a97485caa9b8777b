// Preference files: reading, the "--pref:" overrides, writing, and saves cut short by a kill.
#include "app/main.h"
#include "engine/http.h"
#include "foundation/options.h"
#include "foundation/pref.h"
#include "foundation/shared_paths.h"
#include "frame/hl_init.h"
#include "graphics/OGL_extensions.h"
#include "graphics/OGL_view.h"
#include "graphics/hl_window.h"
#include "platform/plat_fileio.h"
#include "support/test_support.h"

#include <chrono>
#include <climits>
#include <csignal>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

static const std::string kHeader = "I\n10 version\n";

// Every test starts from the program's defaults, an empty option store and a log of its own.
class Pref : public ::testing::Test {
protected:
    std::string log_path;

    void SetUp() override
    {
        gOptions.opts.clear();
        reset_globals();
        // The message texts live inside the unit; a tag with no value empties them.
        read_prefs(kHeader + "_message_1\n_message_2\n_message_3\n_message_4\n");
        unlink(PREF_file_path(11).c_str());
        log_path = TS_new_dir("log") + "log.txt";
        hl_open_log(log_path);
    }
    void TearDown() override
    {
        hl_close_log();
        gOptions.opts.clear();
        PLAT_replace_hook = nullptr;
    }

    static void reset_globals()
    {
        gStreamCount = 0;
        gLogActions = 0;
        gWantBetas = 0;
        gNet = net_client();
    }

    static void options(const char* text)
    {
        std::ostringstream echo;
        CMDLINE_tokenize(gOptions, text, echo);
    }

    static void read_prefs(const std::string& bytes)
    {
        TS_write_file(PREF_file_path(11), bytes);
        PREF_read_write(11, 0);
    }

    std::string log_text() { return TS_read_log(log_path); }
};

TEST_F(Pref, HeaderAndVersion)
{
    read_prefs("I\n9 version\n_get_beta 1\n");
    EXPECT_EQ(gWantBetas, 0);
    read_prefs("I\n11 version\n_get_beta 1\n");
    EXPECT_EQ(gWantBetas, 0);
    read_prefs("X\n10 version\n_get_beta 1\n");
    EXPECT_EQ(gWantBetas, 0);
    read_prefs("_get_beta 1\n");
    EXPECT_EQ(gWantBetas, 0);
    read_prefs("I\n10 version and any text\n_get_beta 1\n");
    EXPECT_EQ(gWantBetas, 1);
    read_prefs("\xEF\xBB\xBF"
               "A\n10\n_get_beta 2\n");
    EXPECT_EQ(gWantBetas, 2);

    // No file at all: everything keeps its value, and nothing is reported.
    unlink(PREF_file_path(11).c_str());
    gNet._proxy_host = "kept";
    PREF_read_write(11, 0);
    EXPECT_EQ(gWantBetas, 2);
    EXPECT_EQ(gNet._proxy_host, "kept");
    EXPECT_EQ(log_text(), "");
}

TEST_F(Pref, BlanksLineEndsAndUnknownTags)
{
    read_prefs(kHeader + "_proxy_host   my proxy  \n_proxy_port\t8080\t\n");
    EXPECT_EQ(gNet._proxy_host, "my proxy  ");
    EXPECT_EQ(gNet._proxy_port, "8080\t");

    const std::string lf = kHeader + "_log_actions 1\n_proxy_host a b\n_proxy_port_int 3128\n_get_beta 1\n";
    const std::string crlf = "I\r\n10 version\r\n\r\n  _log_actions 1\r\n\r\n   \r\n\t_proxy_host a b\r\n"
                             "_unknown_tag some value\r\n_proxy_port_int 3128\r\n  _get_beta 1\r\n\r\n";
    std::map<std::string, std::string> tags[2];
    for (int i = 0; i < 2; ++i) {
        TS_write_file(PREF_file_path(11), i ? crlf : lf);
        pref_file f(PREF_file_path(11), 0);
        tags[i] = f.tags;
        tags[i].erase("_unknown_tag");
    }
    EXPECT_EQ(tags[0], tags[1]);
    EXPECT_EQ(tags[0].size(), 4u);

    reset_globals();
    read_prefs(crlf);
    EXPECT_EQ(gLogActions, 1);
    EXPECT_EQ(gNet._proxy_host, "a b");
    EXPECT_EQ(gNet._proxy_port_int, 3128);
    EXPECT_EQ(gWantBetas, 1);

    // A tag alone on its line has the empty value; a NUL ends a value like a line end.
    gNet._proxy_port = "before";
    read_prefs(kHeader + "_proxy_port\n_proxy_host x" + std::string(1, '\0') + "_get_beta 7\n");
    EXPECT_EQ(gNet._proxy_port, "");
    EXPECT_EQ(gNet._proxy_host, "x");
    EXPECT_EQ(gWantBetas, 7);
}

TEST_F(Pref, TagReadTwiceAlertsAndTheLastWins)
{
    options("--qa_script=s.txt");
    read_prefs(kHeader + "_proxy_port 80\n_get_beta 1\n_proxy_port 8080\n");
    EXPECT_EQ(gNet._proxy_port, "8080");
    EXPECT_EQ(gWantBetas, 1);
    EXPECT_EQ(log_text(), "ERROR: A prefs tag is being read twice!\n_proxy_port\n80\n8080\n(pref:158)\n");
}

TEST_F(Pref, NumbersNeverOverflow)
{
    EXPECT_EQ(PREF_parse_int(" \t\n-17xyz"), -17);
    EXPECT_EQ(PREF_parse_int("+5 6"), 5);
    EXPECT_EQ(PREF_parse_int("- 5"), 0);
    EXPECT_EQ(PREF_parse_int("-2147483648"), INT_MIN);
    EXPECT_EQ(PREF_parse_int("2147483648"), INT_MAX);
    EXPECT_EQ(PREF_parse_int("-99999999999999999999999999"), INT_MIN);
    read_prefs(kHeader + "_stream_count 999999999999999999999\n_proxy_port_int 65536x\n_get_beta\n");
    EXPECT_EQ(gStreamCount, INT_MAX);
    EXPECT_EQ(gNet._proxy_port_int, 65536);
    EXPECT_EQ(gWantBetas, 0);
}

TEST_F(Pref, CommandLineOverrides)
{
    // Without a file, and against the file's own value.
    options("--pref:_get_beta=1 --pref:_proxy_host=\"over ride\"");
    PREF_read_write(11, 0);
    EXPECT_EQ(gWantBetas, 1);
    EXPECT_EQ(gNet._proxy_host, "over ride");
    read_prefs(kHeader + "_get_beta 0\n_proxy_host file\n_log_actions 1\n");
    EXPECT_EQ(gWantBetas, 1);
    EXPECT_EQ(gNet._proxy_host, "over ride");
    EXPECT_EQ(gLogActions, 1);

    // Given without a value, an int override is 0 and a text override is empty.
    gOptions.opts.clear();
    options("--pref:_get_beta --pref:_proxy_port");
    gWantBetas = 1;
    gNet._proxy_port = "80";
    PREF_read_write(11, 0);
    EXPECT_EQ(gWantBetas, 0);
    EXPECT_EQ(gNet._proxy_port, "");
}

TEST_F(Pref, WritesTheWholeFileInOrder)
{
    PREF_read_write(11, 1);
    EXPECT_EQ(TS_read_file(PREF_file_path(11)),
              kHeader + "_stream_count 0\n_log_actions 0\n_proxy_port_int 0\n_get_beta 0\n");

    // The message texts are only carried from file to file.
    read_prefs(kHeader + "_message_3 third one\n_message_1 first\n_message_4 4\n_message_2 two\n");
    gStreamCount = 3;
    gLogActions = 1;
    gNet._proxy_host = "127.0.0.1";
    gNet._proxy_port = "8080";
    gNet._proxy_port_int = 8080;
    gWantBetas = 1;
    PREF_read_write(11, 1);
    const std::string full = kHeader +
                             "_message_1 first\n_message_2 two\n_message_3 third one\n_message_4 4\n"
                             "_stream_count 3\n_log_actions 1\n_proxy_host 127.0.0.1\n_proxy_port 8080\n"
                             "_proxy_port_int 8080\n_get_beta 1\n";
    EXPECT_EQ(TS_read_file(PREF_file_path(11)), full);
    reset_globals();
    PREF_read_write(11, 0);
    PREF_read_write(11, 1);
    EXPECT_EQ(TS_read_file(PREF_file_path(11)), full);

    // Empty texts get no line, so reading leaves the variables as they were.
    read_prefs(kHeader);
    reset_globals();
    PREF_read_write(11, 1);
    EXPECT_EQ(TS_read_file(PREF_file_path(11)).find("_proxy_host"), std::string::npos);
    gNet._proxy_host = "as it was";
    PREF_read_write(11, 0);
    EXPECT_EQ(gNet._proxy_host, "as it was");
}

TEST_F(Pref, TextsAreCutAtTheirFirstLineEnd)
{
    gNet._proxy_host = "proxy\n_get_beta 1";
    gNet._proxy_port = std::string("80\0_log_actions 1", 17);
    PREF_read_write(11, 1);
    reset_globals();
    PREF_read_write(11, 0);
    EXPECT_EQ(gNet._proxy_host, "proxy");
    EXPECT_EQ(gNet._proxy_port, "80");
    EXPECT_EQ(gWantBetas, 0);
    EXPECT_EQ(gLogActions, 0);

    // Nothing left before the line end: no line at all.
    gNet._proxy_port = "\r\n_stream_count 9";
    PREF_read_write(11, 1);
    EXPECT_EQ(TS_read_file(PREF_file_path(11)),
              kHeader + "_stream_count 0\n_log_actions 0\n_proxy_host proxy\n_proxy_port_int 0\n_get_beta 0\n");
}

TEST_F(Pref, OverridesAreSavedBack)
{
    read_prefs(kHeader + "_proxy_host old\n_get_beta 0\n");
    options("--pref:_proxy_host=10.0.0.1 --pref:_get_beta=1 --pref:_unused=5");
    PREF_read_write(11, 0);
    PREF_read_write(11, 1);
    const std::string saved = TS_read_file(PREF_file_path(11));
    EXPECT_NE(saved.find("\n_proxy_host 10.0.0.1\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\n_get_beta 1\n"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("_unused"), std::string::npos) << saved;
}

TEST_F(Pref, SavingKeepsFolderModeAndLinks)
{
    options("--qa_script=s.txt");
    const std::string d = TS_new_dir("save");

    // One missing folder level is made; two are reported and nothing is written.
    {
        pref_file f(d + "new/x.PRF", 1);
        std::string unused;
        f.exchange("1", unused, "_a");
        EXPECT_EQ(f.close(), 1);
    }
    EXPECT_EQ(TS_read_file(d + "new/x.prf"), kHeader + "_a 1\n");
    {
        pref_file f(d + "gone/deeper/x.prf", 1);
        EXPECT_EQ(f.close(), 0);
    }
    EXPECT_NE(log_text().find("I could not save the file!"), std::string::npos);
    struct stat st;
    EXPECT_NE(stat((d + "gone").c_str(), &st), 0);

    // An existing file keeps its permission bits; a link keeps pointing at the file it names.
    TS_write_file(d + "real.prf", "old");
    chmod((d + "real.prf").c_str(), 0640);
    ASSERT_EQ(symlink((d + "real.prf").c_str(), (d + "link.prf").c_str()), 0);
    {
        pref_file f(d + "link.prf", 1);
    }
    EXPECT_EQ(TS_read_file(d + "real.prf"), kHeader);
    ASSERT_EQ(stat((d + "real.prf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ASSERT_EQ(lstat((d + "link.prf").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    // Nothing but the files themselves is left in the folder.
    std::string listing = TS_sh("ls -A '" + d + "'");
    EXPECT_EQ(listing, "link.prf\nnew\nreal.prf\n");
}

TEST_F(Pref, CalibrationFileIsHeaderOnly)
{
    const std::string saved = gAppFolder;
    gAppFolder = TS_new_dir("app");
    TS_sh("mkdir -p '" + gAppFolder + "Output/preferences'");
    PREF_read_write(12, 1);
    EXPECT_EQ(TS_read_file(gAppFolder + "Output/preferences/Corvane Calibration.prf"), kHeader);
    gAppFolder = saved;
}

TEST_F(Pref, FilesOfTheProgramFolderLandInThePreferencesFolder)
{
    const std::string saved = gAppFolder;
    EXPECT_EQ(PREF_file_path(10), std::string(PREFERENCES_FOLDER) + "Corvane Screen Res.prf");
    // Only the output folder exists: the save makes the last folder and tries again.
    gAppFolder = TS_new_dir("app-pref");
    TS_sh("mkdir -p '" + gAppFolder + OUTPUT_FOLDER + "'");
    PREF_read_write(12, 1);
    EXPECT_EQ(TS_read_file(gAppFolder + PREFERENCES_FOLDER + "Corvane Calibration.prf"), kHeader);
    // Two folders missing: one retry cannot help, the note names the path and nothing is written.
    gAppFolder = TS_new_dir("app-bare");
    options("--qa_script");
    PREF_read_write(12, 1);
    const std::string path = gAppFolder + PREFERENCES_FOLDER + "Corvane Calibration.prf";
    const std::string log = TS_read_file(log_path);
    EXPECT_NE(log.find("WARNING: the preferences were not saved to " + path + ": "), std::string::npos) << log;
    EXPECT_NE(log.find("I could not save the file! Could the directory that the file sits in be missing? Or "
                       "flagged as READ-ONLY by the operating system? (Windows machines typically do this).\n" +
                       path + "\nCould the file be flagged as read-only?"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("folder listed in the path above.\n(FILE_ops:1160)\n"), std::string::npos) << log;
    EXPECT_FALSE(TS_sh("ls -A '" + gAppFolder + "'").size());
    gAppFolder = saved;
}

// The screen-resolution file: display settings in the ALL profile, the other two profiles and the
// flags carried along, the language override, the second-window flag and the size fallback.
TEST_F(Pref, ScreenResolutionFile)
{
    const std::string saved_folder = gAppFolder;
    const int saved_language = gLanguage;
    gAppFolder = TS_new_dir("app-screen");
    TS_sh("mkdir -p '" + gAppFolder + PREFERENCES_FOLDER + "'");
    const std::string path = gAppFolder + PREFERENCES_FOLDER + "Corvane Screen Res.prf";

    gWindowedW = 1280, gWindowedH = 900, gFullScreenW = 1600, gFullScreenH = 1200;
    gFullScreenHz = 75, gFullScreenBits = 32, gFullScreen = 1;
    gGLSettings.use_vsync1 = 1, gGLSettings.use_vsync2 = 0, gGLSettings.fsaa_wanted = 2;
    gLanguage = 2;
    gWindowCount = 2;
    PREF_read_write(10, 1);
    EXPECT_EQ(TS_read_file(path), kHeader +
                                      "_x_res_wind_PLN 0\n_y_res_wind_PLN 0\n_x_res_full_PLN 0\n_y_res_full_PLN 0\n"
                                      "_x_res_wind_WRL 0\n_y_res_wind_WRL 0\n_x_res_full_WRL 0\n_y_res_full_WRL 0\n"
                                      "_x_res_wind_ALL 1280\n_y_res_wind_ALL 900\n_x_res_full_ALL 1600\n"
                                      "_y_res_full_ALL 1200\n"
                                      "_is_full_PLN 0\n_bpp_full_PLN 0\n_hz_full_PLN 0\n"
                                      "_is_full_WRL 0\n_bpp_full_WRL 0\n_hz_full_WRL 0\n"
                                      "_is_full_ALL 1\n_bpp_full_ALL 32\n_hz_full_ALL 75\n"
                                      "_use_vsync1 1\n_use_vsync2 0\n_lang 2\n_alias_req 2\n_keylist_up 1\n"
                                      "_prefs_found 1\n_sec_mon_inuse 1\n");
    EXPECT_EQ(gWindows.second_wanted, 0);

    // Reading: a window too small for the pages falls back to 1024 x 768, the command line's
    // language wins over the file's, and the second-window wish is dropped.
    const std::string others = "_x_res_wind_PLN 640\n_y_res_wind_PLN 480\n_x_res_full_PLN 800\n_y_res_full_PLN 600\n"
                               "_x_res_wind_WRL 1920\n_y_res_wind_WRL 1200\n_x_res_full_WRL 2560\n"
                               "_y_res_full_WRL 1440\n";
    const std::string other_modes = "_is_full_PLN 1\n_bpp_full_PLN 16\n_hz_full_PLN 60\n"
                                    "_is_full_WRL 1\n_bpp_full_WRL 24\n_hz_full_WRL 144\n";
    TS_write_file(path, kHeader + others +
                            "_x_res_wind_ALL 500\n_y_res_wind_ALL 400\n_x_res_full_ALL 1920\n_y_res_full_ALL 1080\n" +
                            other_modes +
                            "_is_full_ALL 0\n_bpp_full_ALL 24\n_hz_full_ALL 60\n_use_vsync1 0\n_use_vsync2 1\n"
                            "_lang 1\n_alias_req 3\n_keylist_up 0\n_prefs_found 1\n_sec_mon_inuse 1\n");
    options("--pref:_lang=3");
    gWindows.second_wanted = 1;
    PREF_read_write(10, 0);
    EXPECT_EQ(gWindowedW, 1024);
    EXPECT_EQ(gWindowedH, 768);
    EXPECT_EQ(gFullScreenW, 1920);
    EXPECT_EQ(gFullScreenH, 1080);
    EXPECT_EQ(gFullScreenBits, 24);
    EXPECT_EQ(gFullScreenHz, 60);
    EXPECT_EQ(gFullScreen, 0);
    EXPECT_EQ(gGLSettings.use_vsync1, 0);
    EXPECT_EQ(gGLSettings.use_vsync2, 1);
    EXPECT_EQ(gGLSettings.fsaa_wanted, 3);
    EXPECT_EQ(gLanguage, 3);
    EXPECT_EQ(gWindows.second_wanted, 0);

    // Written back with one window: the other profiles and the flags pass unchanged.
    gWindowCount = 1;
    PREF_read_write(10, 1);
    EXPECT_EQ(TS_read_file(path), kHeader + others +
                                      "_x_res_wind_ALL 1024\n_y_res_wind_ALL 768\n_x_res_full_ALL 1920\n"
                                      "_y_res_full_ALL 1080\n" +
                                      other_modes +
                                      "_is_full_ALL 0\n_bpp_full_ALL 24\n_hz_full_ALL 60\n_use_vsync1 0\n"
                                      "_use_vsync2 1\n_lang 3\n_alias_req 3\n_keylist_up 0\n_prefs_found 1\n"
                                      "_sec_mon_inuse 0\n");
    EXPECT_EQ(gWindows.second_wanted, 0);

    gAppFolder = saved_folder;
    gLanguage = saved_language;
}

// Hidden files the writer left beside the preference file.
static std::vector<std::string> temp_files()
{
    std::vector<std::string> out;
    std::string path = PREF_file_path(11);
    std::string dir = path.substr(0, path.rfind('/') + 1);
    DIR* d = opendir(dir.c_str());
    if (!d) return out;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name.rfind(".Corvane Installer.prf.", 0) == 0) out.push_back(dir + name);
    }
    closedir(d);
    return out;
}

static void kill_self(const std::string&)
{
    raise(SIGKILL);
}

TEST_F(Pref, KilledBeforeTheRenameKeepsTheOldFile)
{
    const std::string old = kHeader + "_proxy_host old host\n_get_beta 1\n";
    TS_write_file(PREF_file_path(11), old);
    EXPECT_EXIT(
        {
            gNet._proxy_host = "new host";
            PLAT_replace_hook = kill_self;
            PREF_read_write(11, 1);
            exit(0);
        },
        ::testing::KilledBySignal(SIGKILL), "");
    EXPECT_EQ(TS_read_file(PREF_file_path(11)), old);
    // The new file was complete when the process died: only the rename was missing.
    std::vector<std::string> temps = temp_files();
    ASSERT_EQ(temps.size(), 1u);
    EXPECT_NE(TS_read_file(temps[0]).find("_proxy_host new host\n"), std::string::npos);
    unlink(temps[0].c_str());

    // The next save goes through as usual.
    gNet._proxy_host = "next";
    PREF_read_write(11, 1);
    EXPECT_NE(TS_read_file(PREF_file_path(11)).find("_proxy_host next\n"), std::string::npos);
    EXPECT_TRUE(temp_files().empty());
}

TEST_F(Pref, KilledWhileSavingLargeFilesLeavesOneWholeFile)
{
    // A child saves large files over and over; killed at any moment, the file on disk must be
    // one of them, whole.
    const size_t big = 8u << 20;
    auto content = [&](int n) {
        return kHeader + "_stream_count " + std::to_string(n) + "\n_log_actions 0\n_proxy_host " +
               std::string(big, (char)('a' + n % 26)) + "\n_proxy_port_int 0\n_get_beta 0\n";
    };
    const std::string path = PREF_file_path(11);
    for (int round = 0; round < 4; ++round) {
        TS_write_file(path, content(0));
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int n = 1; n < 1000; ++n) {
                gStreamCount = n;
                gNet._proxy_host.assign(big, (char)('a' + n % 26));
                PREF_read_write(11, 1);
            }
            _exit(0);
        }
        // Let it get into its saves, then kill it at a moment that differs from round to round.
        auto start = std::chrono::steady_clock::now();
        while (temp_files().empty() && std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        std::this_thread::sleep_for(std::chrono::milliseconds(7 * round));
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child finished every save before it was killed";

        const std::string now = TS_read_file(path);
        pref_file f(path, 0);
        ASSERT_EQ(f.tags.count("_stream_count"), 1u) << "round " << round;
        const int n = PREF_parse_int(f.tags["_stream_count"]);
        EXPECT_EQ(now, content(n)) << "round " << round;
        for (const std::string& t : temp_files()) unlink(t.c_str());
    }
}

// The program reads the file at start and writes it back at a normal end, but not in automation.
TEST(PrefProgram, ReadAtStartWrittenAtEnd)
{
    TS_xvfb x;
    ASSERT_TRUE(TS_xvfb_start(x, "1280x1024x24"));
    const std::string prog = TS_new_dir("prog");
    TS_sh(std::string("cp '") + CORVANE_UPDATER_EXE + "' '" + prog + "corvane-updater'");
    const std::string data = TS_new_dir("data");
    const std::map<std::string, std::string> env = {{"XDG_DATA_HOME", data}};
    const std::string path = data + "Corvane Installer.prf";
    TS_write_file(path, kHeader + "_message_2 kept\n_proxy_host proxy.local\n_proxy_port_int 3128\n");

    TS_result r = TS_run_updater_closed(prog + "corvane-updater", {"--pref:_get_beta=1", "--pref:_stream_count=4"},
                                        env, x);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const std::string saved = kHeader +
                              "_message_2 kept\n_stream_count 4\n_log_actions 0\n_proxy_host proxy.local\n"
                              "_proxy_port_int 3128\n_get_beta 1\n";
    EXPECT_EQ(TS_read_file(path), saved);

    r = TS_run_updater_closed(prog + "corvane-updater", {"--qa_script=x.txt", "--pref:_get_beta=0"}, env, x);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    r = TS_run_updater_closed(prog + "corvane-updater", {"--fps_test=1", "--pref:_get_beta=0"}, env, x);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(TS_read_file(path), saved);
}
