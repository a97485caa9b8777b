// Per-file decisions on real install folders after a real scan (current, older listed version,
// changed by the user, missing, GONE present and absent, other platform, scenery tiles), every
// answer of the modified-file question with its texts and log line, folder creation with the
// folders that cannot be made, and the download totals.
#include "app/main.h"
#include "engine/checksum_task.h"
#include "engine/modal_frame.h"
#include "engine/utils.h"
#include "foundation/FILE_ops.h"
#include "foundation/options.h"
#include "foundation/translation.h"
#include "frame/hl_init.h"
#include "graphics/OGL_view.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <map>
#include <sys/stat.h>
#include <thread>

namespace {

const char kHeader[] = "I\n1000 Corvane release\nINSTALLER\n";
const char kOther[] = "0123456789abcdef0123456789abcdef"; // a signature no local file has

bool is_dir(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// FILE record: platform, sizes (download, disk), signature, path.
std::string rec(const std::string& path, const std::string& sig, int os = 0, int dl = 10, int disk = 20)
{
    return "FILE 1 " + std::to_string(os) + " 0 " + std::to_string(dl) + " " + std::to_string(disk) + " " + sig + " " +
           path + "\n";
}

// Reads the directory file and scans the install folder to the end.
void read_and_scan(const std::string& body)
{
    static int n = 0;
    const std::string path = TS_scratch() + "decide-directory-" + std::to_string(++n) + ".txt";
    TS_write_file(path, kHeader + body);
    ASSERT_EQ(install_read_directory_file(path), 3);
    int next = 0;
    float progress = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (int i = 0; i < 60000 && std::chrono::steady_clock::now() < until; ++i) {
        if (install_scan_md5(next, progress) == 1) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    FAIL() << "the scan did not end";
}

// "D" download, "X" delete, "-" nothing, per group.
std::string decisions()
{
    std::string out;
    for (const auto& g : gPlan.install_groups) {
        const install_entry& e = g.back();
        out += e.do_download && e.do_delete ? "?" : e.do_download ? "D" : e.do_delete ? "X" : "-";
    }
    return out;
}

// The stand-in question window: one scripted answer per question (0 = no click in that frame,
// -1 = another popup replaces the question), every question recorded.
struct Question {
    std::string line1, path, line3;
    std::vector<std::string> labels;
};
std::vector<int> gScript;
size_t gFrame = 0;
std::vector<Question> gAsked;
bool gNewQuestion = true; // the next frame is the first of a question

int scripted_frame(const std::string& line1, const std::string& path, const std::string& line3,
                   const std::vector<std::string>& labels)
{
    if (gNewQuestion) gAsked.push_back({line1, path, line3, labels});
    const int a = gFrame < gScript.size() ? gScript[gFrame] : 3;
    ++gFrame;
    gNewQuestion = a != 0;
    if (a == -1) {
        gPopup = 994;
        return 0;
    }
    return a;
}

struct Decide : testing::Test {
    const install_modal_hooks kept = gInstallModal;
    static void SetUpTestSuite() { gOptions.opts["--qa_script"] = ""; }
    void SetUp() override
    {
        hl_open_log(TS_log_path());
        gTargetOS = 2;
        gInstallPath = TS_new_dir("install");
        std::fill(std::begin(gChosenTiles), std::end(gChosenTiles), 0);
        gInstallModal.modified_file_frame = scripted_frame;
        gScript.clear();
        gFrame = 0;
        gAsked.clear();
        gNewQuestion = true;
        gPopup = 996; // opening the question leaves it open; popups do not exist yet
    }
    void TearDown() override
    {
        gInstallModal = kept;
        gPopup = 0;
        install_stop_md5_pool();
    }
    void write(const std::string& rel, const std::string& text)
    {
        TS_sh("mkdir -p \"$(dirname '" + gInstallPath + rel + "')\"");
        TS_write_file(gInstallPath + rel, text);
    }
};

TEST_F(Decide, EveryCaseOfTheTable)
{
    const std::string v1 = TS_md5_of_text("version 1"), v2 = TS_md5_of_text("version 2");
    write("current.txt", "version 2");
    write("older.txt", "version 1");
    write("gone-older.txt", "version 1");
    write("gone-same-as-listed.txt", "version 2");
    write("other-os.txt", "whatever");
    const std::string body = rec("current.txt", v1) + rec("current.txt", v2) +      // current: nothing
                             rec("older.txt", v1) + rec("older.txt", v2) +          // older listed: update
                             rec("missing.txt", v2) +                                // missing: download
                             rec("gone-absent.txt", v1) + rec("gone-absent.txt", "GONE") + // nothing
                             rec("gone-older.txt", v1) + rec("gone-older.txt", "GONE") +   // delete
                             rec("gone-same-as-listed.txt", v2) + rec("gone-same-as-listed.txt", "GONE") +
                             rec("other-os.txt", kOther, 1) +                        // another platform
                             rec("other-os-missing.txt", kOther, 3);
    read_and_scan(body);
    gPlan.install_groups[6].back().do_download = 1; // an earlier decision is cleared
    EXPECT_EQ(install_decide_actions(), 1);
    EXPECT_EQ(decisions(), "-DD-XX--");
    EXPECT_TRUE(gAsked.empty());
    EXPECT_EQ(TS_read_log().find("File: "), std::string::npos);
}

TEST_F(Decide, FilesAStoppedScanNeverCheckedAreLeftAlone)
{
    write("edited.txt", "edited");
    write("unused.txt", "edited");
    static int n = 0;
    const std::string path = TS_scratch() + "unscanned-" + std::to_string(++n) + ".txt";
    TS_write_file(path, kHeader + rec("edited.txt", kOther) + rec("unused.txt", "GONE") + rec("new.txt", kOther));
    ASSERT_EQ(install_read_directory_file(path), 3);
    EXPECT_EQ(install_decide_actions(), 1);
    EXPECT_EQ(decisions(), "---");
    EXPECT_TRUE(gAsked.empty());
}

TEST_F(Decide, ChangedFilesAskWithTheFormAndLogTheirSignatures)
{
    const std::string v1 = TS_md5_of_text("version 1");
    write("Resources/changed.txt", "my own edit");
    write("Resources/unused.txt", "my own notes");
    read_and_scan(rec("Resources/changed.txt", v1) + rec("Resources/unused.txt", v1) + rec("Resources/unused.txt", "GONE"));
    gScript = {0, 0, 1, 1}; // two frames without a click, then the first button; then again
    EXPECT_EQ(install_decide_actions(), 1);
    EXPECT_EQ(decisions(), "DX");
    ASSERT_EQ(gAsked.size(), 2u);
    EXPECT_EQ(gFrame, 4u);

    const Question& install = gAsked[0];
    EXPECT_EQ(install.line1, "I am about to install:");
    EXPECT_EQ(install.path, gInstallPath + "Resources/changed.txt");
    EXPECT_EQ(install.line3, "but it appears you have modified this file. What to do?");
    EXPECT_EQ(install.labels, (std::vector<std::string>{"OVERWRITE THE OLD FILE", "KEEP THE OLD FILE",
                                                        "OVERWRITE EVERY OLD FILE IN THIS DIRECTORY",
                                                        "KEEP EVERY OLD FILE IN THIS DIRECTORY",
                                                        "CANCEL THE WHOLE INSTALLATION!"}));
    const Question& del = gAsked[1];
    EXPECT_EQ(del.line1, "I am about to DELETE:");
    EXPECT_EQ(del.path, gInstallPath + "Resources/unused.txt");
    EXPECT_EQ(del.line3, "because we no longer use this file, but it appears you have modified it. What to do?");
    EXPECT_EQ(del.labels, (std::vector<std::string>{"DELETE THE OLD FILE", "KEEP THE OLD FILE",
                                                    "DELETE EVERY OLD FILE IN THIS DIRECTORY",
                                                    "KEEP EVERY OLD FILE IN THIS DIRECTORY",
                                                    "CANCEL THE WHOLE INSTALLATION!"}));

    const std::string log = TS_read_log();
    EXPECT_NE(log.find("File: " + gInstallPath + "Resources/changed.txt  sig_want=" + v1 +
                       "  sig_have=" + TS_md5_of_text("my own edit") + "\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("File: " + gInstallPath + "Resources/unused.txt  sig_want=GONE  sig_have=" +
                       TS_md5_of_text("my own notes") + "\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(TS_count(log, "File: "), 2);

    // The texts are translated.
    gAsked.clear();
    gScript = {2, 2};
    gFrame = 0;
    LANG_set_language(2);
    EXPECT_EQ(install_decide_actions(), 1);
    LANG_clear();
    ASSERT_EQ(gAsked.size(), 2u);
    EXPECT_EQ(gAsked[0].labels[0], "ALTE DATEI ERSETZEN");
    EXPECT_EQ(gAsked[1].line1, "Ich bin dabei, Folgendes zu LÖSCHEN:");
}

TEST_F(Decide, EachAnswer)
{
    const std::string v1 = TS_md5_of_text("version 1");
    write("a.txt", "edited");
    write("b.txt", "edited");
    write("c.txt", "edited");
    const std::string body = rec("a.txt", v1) + rec("b.txt", v1) + rec("c.txt", v1, 0) + rec("c.txt", "GONE");
    struct Case {
        const char* what;
        std::vector<int> script;
        int result;
        std::string decided;
        size_t asked;
    } cases[] = {
        {"act, keep, act on a deletion", {1, 2, 1}, 1, "D-X", 3},
        {"keep, act, keep a deletion", {2, 1, 2}, 1, "-D-", 3},
        // The group asked about is cleared before the question; groups not reached keep theirs.
        {"cancel at the second question", {1, 3}, 0, "D-+", 2},
        {"cancel at the first question", {3}, 0, "-++", 1},
        {"another window closes the question", {0, -1}, 0, "-++", 1},
    };
    for (const auto& c : cases) {
        read_and_scan(body);
        // Earlier decisions, which groups not reached keep.
        for (auto& g : gPlan.install_groups) g.back().do_download = g.back().do_delete = 1;
        gScript = c.script;
        gFrame = 0;
        gAsked.clear();
        gNewQuestion = true;
        gPopup = 996;
        EXPECT_EQ(install_decide_actions(), c.result) << c.what;
        std::string got = decisions();
        for (char& ch : got)
            if (ch == '?') ch = '+';
        EXPECT_EQ(got, c.decided) << c.what;
        EXPECT_EQ(gAsked.size(), c.asked) << c.what;
    }
}

TEST_F(Decide, FolderWideAnswers)
{
    const std::string v1 = TS_md5_of_text("version 1");
    for (const char* f : {"a/1.txt", "a/2.txt", "a/sub/3.txt", "a/4.txt", "b/5.txt", "b/6.txt", "b/7.txt"})
        write(f, std::string("edited ") + f);
    write("a/current.txt", "version 1");
    const std::string body = rec("a/1.txt", v1) + rec("a/2.txt", v1) + rec("a/2.txt", "GONE") + rec("a/sub/3.txt", v1) +
                             rec("a/4.txt", v1) + rec("a/current.txt", v1) + rec("b/5.txt", v1) + rec("b/6.txt", v1) +
                             rec("b/6.txt", "GONE") + rec("b/7.txt", v1);
    read_and_scan(body);
    // a/1: act for the folder a/ -> a/2 (a deletion) and a/4 are acted on without a question;
    // a/sub/3 is in another folder and asked (keep). b/5: keep for the folder b/ -> b/6 and b/7 kept.
    gScript = {4, 2, 5};
    EXPECT_EQ(install_decide_actions(), 1);
    EXPECT_EQ(decisions(), "DX-D----");
    ASSERT_EQ(gAsked.size(), 3u);
    EXPECT_EQ(gAsked[0].path, gInstallPath + "a/1.txt");
    EXPECT_EQ(gAsked[1].path, gInstallPath + "a/sub/3.txt");
    EXPECT_EQ(gAsked[2].path, gInstallPath + "b/5.txt");
    EXPECT_EQ(TS_count(TS_read_log(), "File: "), 3);

    // The remembered answers last one call: the next one asks again.
    gScript = {5, 2, 4};
    gFrame = 0;
    gAsked.clear();
    EXPECT_EQ(install_decide_actions(), 1);
    EXPECT_EQ(decisions(), "-----DXD"); // a/ kept, a/sub/3 kept, b/ acted on
    EXPECT_EQ(gAsked.size(), 3u);
}

TEST_F(Decide, SceneryTilesNothingChoseAreNeitherFetchedNorDeleted)
{
    const std::string v1 = TS_md5_of_text("version 1");
    write("Global Scenery/+47-123.dsf", "version 1");
    write("Global Scenery/+48-123.dsf", "edited tile");
    write("Global Scenery/+49-123.dsf", "version 1");
    const std::string body = rec("Global Scenery/+47-123.dsf", v1) + rec("Global Scenery/+47-123.dsf", kOther) +
                             rec("Global Scenery/+48-123.dsf", kOther) + rec("Global Scenery/+49-123.dsf", v1) +
                             rec("Global Scenery/+49-123.dsf", "GONE") + rec("Global Scenery/+50-123.dsf", kOther) +
                             rec("Global Scenery/-10+010.dsf", kOther);
    read_and_scan(body);
    for (const auto& g : gPlan.install_groups) ASSERT_EQ(g.back().is_tile, 1) << g.back().path;
    EXPECT_EQ(install_decide_actions(), 1);
    EXPECT_EQ(decisions(), "-----");
    EXPECT_TRUE(gAsked.empty());
    install_count_totals();
    EXPECT_EQ(gDownloadSize, 0);
    EXPECT_EQ(gFilesToFetch + gFilesToDelete, 0);

    // Chosen tiles are treated like any file.
    for (const auto& g : gPlan.install_groups) gChosenTiles[g.back().tile_lon * 18 + g.back().tile_lat] = 1;
    gScript = {1};
    EXPECT_EQ(install_decide_actions(), 1);
    EXPECT_EQ(decisions(), "DDXDD");
    install_count_totals();
    EXPECT_EQ(gFilesToFetch, 4);
    EXPECT_EQ(gFilesToDelete, 1);
}

TEST_F(Decide, FoldersAreMadeForDownloadsAndTheStandardFolders)
{
    const std::string v1 = TS_md5_of_text("version 1");
    // Two levels of the install folder do not exist yet.
    gInstallPath = TS_scratch() + "new place/deep/Corvane 12/";
    read_and_scan(rec("Resources/exists/new.txt", v1) + rec("Custom Scenery/My Place/Earth nav data/+40-130/x.dat", v1) +
                  rec("top.txt", v1) + rec("Old/gone.txt", v1) + rec("Old/gone.txt", "GONE") + rec("Mac/only.txt", v1, 1));
    EXPECT_EQ(install_decide_actions(), 1);
    EXPECT_EQ(decisions(), "DDD--");
    gPlan.install_groups[4].back().do_download = 1; // for another platform: its folder is never made

    EXPECT_EQ(install_make_folders(), 0);
    const std::string want[] = {"",
                                "Resources/exists",
                                "Custom Scenery/My Place/Earth nav data/+40-130",
                                "Output",
                                "Output/FMS plans",
                                "Output/logbooks",
                                "Output/replays",
                                "Output/situations",
                                "Output/preferences",
                                "Resources"};
    for (const auto& w : want) EXPECT_TRUE(is_dir(gInstallPath + w)) << w;
    EXPECT_FALSE(is_dir(gInstallPath + "Mac"));
    EXPECT_FALSE(is_dir(gInstallPath + "Old"));
    EXPECT_EQ(TS_read_log().find("(utils:181)"), std::string::npos) << TS_read_log();

    // Everything exists now: existing folders are no error.
    EXPECT_EQ(install_make_folders(), 0);
    EXPECT_EQ(TS_read_log().find("(utils:181)"), std::string::npos);
}

std::string folder_alert(const std::string& folder, const std::string& error)
{
    return "I am unable to install or update Corvane. An error occurred while creating new folders. Make sure you "
           "are installing to a directory that you have access to!\nError: " +
           error + "\nInstall Location: " + gInstallPath + "\nInstall Path:" + folder + "\n(utils:181)\n";
}

TEST_F(Decide, FoldersThatCannotBeMade)
{
    const std::string v1 = TS_md5_of_text("version 1");
    const std::string notdir = FILE_error_text(ENOTDIR);

    // A level of the install folder: the alert names it and nothing after it is tried.
    const std::string blocked = TS_new_dir("blocked");
    TS_write_file(blocked + "file", "a file where a folder should be");
    gInstallPath = blocked + "file/sub/Corvane/";
    read_and_scan(rec("a/b.txt", v1));
    EXPECT_EQ(install_decide_actions(), 1);
    EXPECT_EQ(install_make_folders(), ENOTDIR);
    std::string log = TS_read_log();
    EXPECT_NE(log.find(folder_alert(blocked + "file", notdir)), std::string::npos) << log;
    EXPECT_EQ(TS_count(log, "(utils:181)"), 1);
    EXPECT_FALSE(is_dir(blocked + "sub"));

    // A download folder blocked by a file: stops before the standard folders.
    hl_open_log(TS_log_path());
    gInstallPath = TS_new_dir("install");
    write("a", "a file");
    read_and_scan(rec("a/b/c.txt", v1) + rec("z/d.txt", v1));
    EXPECT_EQ(install_decide_actions(), 1);
    EXPECT_EQ(install_make_folders(), ENOTDIR);
    log = TS_read_log();
    EXPECT_NE(log.find(folder_alert(gInstallPath + "a", notdir)), std::string::npos) << log;
    EXPECT_EQ(TS_count(log, "(utils:181)"), 1);
    EXPECT_FALSE(is_dir(gInstallPath + "z"));
    EXPECT_FALSE(is_dir(gInstallPath + "Output"));

    // A standard folder only raises its alert; the others are still made.
    hl_open_log(TS_log_path());
    gInstallPath = TS_new_dir("install");
    write("Output", "a file");
    read_and_scan(rec("z/d.txt", v1));
    EXPECT_EQ(install_decide_actions(), 1);
    EXPECT_EQ(install_make_folders(), 0);
    log = TS_read_log();
    EXPECT_NE(log.find(folder_alert(gInstallPath + "Output/", notdir)), std::string::npos) << log;
    EXPECT_NE(log.find(folder_alert(gInstallPath + "Output/preferences", notdir)), std::string::npos) << log;
    EXPECT_EQ(TS_count(log, "(utils:181)"), 6);
    EXPECT_TRUE(is_dir(gInstallPath + "Resources"));
    EXPECT_TRUE(is_dir(gInstallPath + "z"));
}

TEST_F(Decide, Totals)
{
    const std::string v1 = TS_md5_of_text("version 1");
    write("current.txt", "version 1");
    write("changed.txt", "edited");
    write("gone.txt", "version 1");
    const std::string body = rec("current.txt", v1, 0, 1, 2) + rec("changed.txt", v1, 0, 40, 80) +
                             rec("missing.txt", v1, 2, 300, 600) + rec("gone.txt", v1, 0, 7, 7) +
                             rec("gone.txt", "GONE", 0, 5000, 5000) + rec("gone-absent.txt", "GONE", 0, 9, 9) +
                             rec("mac.txt", v1, 1, 9000, 9000) + rec("Global Scenery/+47-123.dsf", v1, 0, 7000, 7000);
    read_and_scan(body);
    install_count_totals();
    // The changed file counts although the user may keep it; deletions add nothing.
    EXPECT_EQ(gDownloadSize, 340);
    EXPECT_EQ(gSpaceNeeded, 680);
    EXPECT_EQ(gFilesToFetch, 2);
    EXPECT_EQ(gFilesToDelete, 1);

    // A plan whose only work is a deletion has sizes 0 but still has work.
    read_and_scan(rec("current.txt", v1) + rec("gone.txt", v1) + rec("gone.txt", "GONE"));
    install_count_totals();
    EXPECT_EQ(gDownloadSize + gSpaceNeeded, 0);
    EXPECT_EQ(gFilesToFetch, 0);
    EXPECT_EQ(gFilesToDelete, 1);
    // So does a missing file that is empty.
    read_and_scan(rec("current.txt", v1) + rec("new-empty.txt", TS_md5_of_text(""), 0, 0, 0));
    install_count_totals();
    EXPECT_EQ(gDownloadSize + gSpaceNeeded, 0);
    EXPECT_EQ(gFilesToFetch, 1);
    // Reading a plan clears the counts.
    read_and_scan(rec("current.txt", v1));
    EXPECT_EQ(gFilesToFetch + gFilesToDelete, 0);
    install_count_totals();
    EXPECT_EQ(gFilesToFetch + gFilesToDelete, 0);
}

} // namespace
