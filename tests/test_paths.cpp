// Path rules, special folders and the UTF-8 / UTF-16 conversions.
#include "engine/utils.h"
#include "foundation/options.h"
#include "foundation/paths.h"
#include "foundation/shared_paths.h"
#include "frame/hl_init.h"
#include "platform/plat_paths.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

static std::string norm(std::string p)
{
    FILE_normalize_path(p);
    return p;
}

TEST(Paths, NormaliseKeepsDrivePrefixAndTurnsSeparators)
{
    EXPECT_EQ(norm("C:\\Program Files\\Sim\\"), "C:\\Program Files/Sim/");
    EXPECT_EQ(norm("C:"), "C/");
    EXPECT_EQ(norm("C:/x"), "C//x");
    EXPECT_EQ(norm("a\\b:c"), "a/b/c");
    EXPECT_EQ(norm(""), "");
    EXPECT_EQ(norm("C:\\"), "C:\\");
}

TEST(Paths, NormaliseRereadsInvalidUtf8AsWesternCodePage)
{
    EXPECT_EQ(norm("caf\xE9"), "caf\xC3\xA9");
    // 0x80 is the euro sign in the Western code page.
    EXPECT_EQ(norm("\x80\\x"), "\xE2\x82\xAC/x");
    // Valid UTF-8 stays as it is.
    EXPECT_EQ(norm("caf\xC3\xA9\\"), "caf\xC3\xA9/");
    // A lead byte whose sequence runs past the end is invalid.
    EXPECT_EQ(norm("a\xC3"), "a\xC3\x83");
}

TEST(Paths, AbsoluteAndRelative)
{
    std::string saved = gAppFolder;
    gAppFolder = "/opt/corvane/";
    EXPECT_TRUE(FILE_is_abs_path("/abs/file"));
    EXPECT_TRUE(FILE_is_abs_path("\\abs\\file"));
    EXPECT_TRUE(FILE_is_abs_path("C:\\x"));
    EXPECT_FALSE(FILE_is_abs_path("C:/x"));
    EXPECT_FALSE(FILE_is_abs_path("abs/file"));
    EXPECT_FALSE(FILE_is_abs_path(""));
    std::string p = "abs/file";
    FILE_make_abs_path(p);
    EXPECT_EQ(p, "/opt/corvane/abs/file");
    p = "/abs/file";
    FILE_make_abs_path(p);
    EXPECT_EQ(p, "/abs/file");
    std::u16string w;
    FILE_get_abs_path("x\\y", w);
    EXPECT_EQ(w, u"/opt/corvane/x\\y");
    gAppFolder = saved;
}

TEST(Paths, Utf8ToUtf16)
{
    std::u16string w = u"junk";
    utf8_to_utf16("\xF0\x9F\x98\x80", w);
    EXPECT_EQ(w, (std::u16string{0xD83D, 0xDE00}));
    // Stray continuation bytes belong to the character before them (no unit of their own).
    utf8_to_utf16("\x41\x80\x80\x42", w);
    EXPECT_EQ(w, (std::u16string{0x41, 0x42}));
    utf8_to_utf16("\xFF" "A", w);
    EXPECT_EQ(w, (std::u16string{0x0000, 0x41}));
    // An encoded surrogate passes through as its unit.
    utf8_to_utf16("\xED\xB0\x80", w);
    EXPECT_EQ(w, (std::u16string{0xDC00}));
    utf8_to_utf16("\xC3\xA9\xE2\x82\xAC", w);
    EXPECT_EQ(w, (std::u16string{0xE9, 0x20AC}));
    // Cut-off sequences never read past the end and still give one unit.
    utf8_to_utf16("a\xF0\x9F", w);
    EXPECT_EQ(w.size(), 2u);
    utf8_to_utf16("", w);
    EXPECT_TRUE(w.empty());
}

TEST(Paths, Utf8BrokenSequencesLoseNoCharacter)
{
    // The next character starts at the first byte that is not a continuation byte: a broken
    // sequence is one U+0000 and the characters behind it survive.
    const struct {
        const char* in;
        std::u16string want;
    } cases[] = {
        {"\xC3\x41", {0x0000, 0x41}},
        {"\xE2\x41\x42", {0x0000, 0x41, 0x42}},
        {"\xE2\x82\x41", {0x0000, 0x41}},
        {"\xC3\xA9\x80\x42", {0xE9, 0x42}},
        {"\x80", {0x0000}},
        {"\x80\x80" "A", {0x0000, 0x41}},
        {"x\xBFy", {0x78, 0x79}},
        {"A\xE2\x82", {0x41, 0x0000}},
        {"A\xF0\x9F\x98", {0x41, 0x0000}},
        {"\xF0\x9F\x98\x80\xC3", {0xD83D, 0xDE00, 0x0000}},
    };
    for (const auto& c : cases) {
        std::u16string w;
        utf8_to_utf16(c.in, w);
        EXPECT_EQ(w, c.want) << c.in;
    }
}

TEST(Paths, Utf16ToUtf8)
{
    std::string s = "junk";
    utf16_to_utf8(std::u16string{0xD83D, 0xDE00}, s);
    EXPECT_EQ(s, "\xF0\x9F\x98\x80");
    utf16_to_utf8(std::u16string{0xDC00}, s);
    EXPECT_EQ(s, "\xED\xB0\x80");
    // A high surrogate takes whatever unit follows it.
    utf16_to_utf8(std::u16string{0xD800, 0x0041}, s);
    EXPECT_EQ(s, "\xF0\x90\x81\x81");
    utf16_to_utf8(std::u16string{0x41, 0x7FF, 0x800, 0xFFFF}, s);
    EXPECT_EQ(s, "A\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF");
    // A high surrogate as the last unit stays within the input.
    utf16_to_utf8(std::u16string{0x41, 0xD83D}, s);
    EXPECT_EQ(s.substr(0, 1), "A");
    EXPECT_EQ(s.size(), 4u);
}

TEST(Paths, RoundTripOfEveryPlaneSample)
{
    for (uint32_t cp : {0x1u, 0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xFFFDu, 0x10000u, 0x1F600u, 0x10FFFFu}) {
        std::u16string w;
        if (cp > 0xFFFF)
            w = {(char16_t)(0xD800 | ((cp - 0x10000) >> 10)), (char16_t)(0xDC00 | (cp & 0x3FF))};
        else
            w = {(char16_t)cp};
        std::string u;
        utf16_to_utf8(w, u);
        std::u16string back;
        utf8_to_utf16(u, back);
        EXPECT_EQ(back, w) << cp;
    }
}

TEST(Paths, SplitPath)
{
    std::string out = "junk";
    FILE_split_path(out, "C:/a/prog.exe");
    EXPECT_EQ(out, "prog.exe");
    FILE_split_path(out, "C:/a/b/");
    EXPECT_EQ(out, "b/");
    FILE_split_path(out, "C:\\a\\b");
    EXPECT_EQ(out, "b");
    FILE_split_path(out, "name");
    EXPECT_EQ(out, "name");
    FILE_split_path(out, "");
    EXPECT_EQ(out, "");
    FILE_split_path(out, "/x");
    EXPECT_EQ(out, "x");
    FILE_split_path(out, "a/");
    EXPECT_EQ(out, "");
}

TEST(Paths, AppPathIsThisProgram)
{
    std::string file, folder;
    hl_get_app_path(file, 1);
    hl_get_app_path(folder, 0);
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    ASSERT_GT(n, 0);
    EXPECT_EQ(file, std::string(buf, (size_t)n));
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(file.compare(0, folder.size(), folder), 0);
    std::string k0, k1;
    FILE_get_special_dir(os_dir_this_app, k0);
    FILE_get_special_dir(os_dir_app_file, k1);
    EXPECT_EQ(k0, folder);
    EXPECT_EQ(k1, file);
}

TEST(Paths, SharedFolderNames)
{
    EXPECT_STREQ(BITMAPS_FOLDER, "Resources/bitmaps/");
    EXPECT_STREQ(PREFERENCES_FOLDER, "Output/preferences/");
    EXPECT_STREQ(NOT_SCANNED_NAME, "Not Yet Scanned");
}

// Lets this process see the folder at the path `at` (/tmp, or the user's home): a mount namespace
// of its own (inside a user namespace of the same ids where a plain one is not allowed); "" or why not.
static std::string see_as(const std::string& folder, const std::string& at)
{
    if (unshare(CLONE_NEWNS) != 0) {
        const std::string uid = std::to_string(getuid()), gid = std::to_string(getgid());
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return std::string("unshare: ") + strerror(errno);
        TS_write_file("/proc/self/setgroups", "deny");
        TS_write_file("/proc/self/uid_map", uid + " " + uid + " 1");
        TS_write_file("/proc/self/gid_map", gid + " " + gid + " 1");
    }
    // Private first, so that the bind mount does not reach the system's own namespace.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount(folder.c_str(), at.c_str(), nullptr, MS_BIND, nullptr) != 0)
        return std::string("mount: ") + strerror(errno);
    return "";
}

// Special folders are read from the environment; each case runs in a child so the
// once-per-run temporary folder starts fresh. With tmp, the child works in that folder and sees
// it at `at` too, or answers "no private <at>: " and why.
static std::string special_in_child(int kind, const std::map<std::string, std::string>& env,
                                    const std::string& tmp = "", const std::string& at = "/tmp")
{
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        for (auto& [k, v] : env) {
            if (v.empty())
                unsetenv(k.c_str());
            else
                setenv(k.c_str(), v.c_str(), 1);
        }
        std::string out = tmp.empty() ? "" : chdir(tmp.c_str()) != 0 ? "chdir failed" : see_as(tmp, at);
        if (out.empty())
            FILE_get_special_dir(kind, out);
        else
            out = "no private " + at + ": " + out;
        ssize_t w = write(fds[1], out.data(), out.size());
        (void)w;
        _exit(0);
    }
    close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, (size_t)n);
    close(fds[0]);
    int st;
    waitpid(pid, &st, 0);
    return out;
}

TEST(SpecialFolders, MappedFromXdgAndHome)
{
    std::string d = TS_new_dir("special");
    std::string home = d + "home";
    mkdir(home.c_str(), 0700);
    std::string data = d + "data";
    EXPECT_EQ(special_in_child(os_dir_prefs, {{"HOME", home}, {"XDG_DATA_HOME", data}}), data + "/");
    struct stat st;
    EXPECT_EQ(stat(data.c_str(), &st), 0) << "the data folder is made when missing";
    EXPECT_EQ(special_in_child(os_dir_prefs, {{"HOME", home}, {"XDG_DATA_HOME", ""}}), home + "/.local/share/");
    // A relative XDG_DATA_HOME is invalid, so ignored like an empty one.
    EXPECT_EQ(special_in_child(os_dir_prefs, {{"HOME", home}, {"XDG_DATA_HOME", "data-rel"}}), home + "/.local/share/");
    // Each folder made for the data is private to its user.
    for (const std::string& made : {data, home + "/.local", home + "/.local/share"})
        EXPECT_TRUE(stat(made.c_str(), &st) == 0 && (st.st_mode & 0777) == 0700)
            << made << " " << std::oct << st.st_mode;
    EXPECT_EQ(special_in_child(os_dir_desktop, {{"HOME", home}, {"XDG_CONFIG_HOME", d + "nocfg"}}), home + "/Desktop/");
    std::string cfg = d + "cfg";
    mkdir(cfg.c_str(), 0700);
    TS_write_file(cfg + "/user-dirs.dirs", "# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    EXPECT_EQ(special_in_child(os_dir_desktop, {{"HOME", home}, {"XDG_CONFIG_HOME", cfg}}), home + "/Schreibtisch/");
    EXPECT_EQ(special_in_child(os_dir_default_apps, {{"HOME", home}, {"XDG_CONFIG_HOME", cfg}}),
              home + "/Schreibtisch/");
    // An unknown kind falls back to the home folder.
    EXPECT_EQ(special_in_child(6, {{"HOME", home}}), home + "/");
}

TEST(SpecialFolders, HomeFallsBackToPasswd)
{
    std::string pw_home = TS_sh("getent passwd $(id -u) | cut -d: -f6 | tr -d '\\n'");
    std::string got = special_in_child(6, {{"HOME", ""}});
    if (pw_home.empty() || pw_home[0] != '/')
        EXPECT_EQ(got, "/tmp/");
    else
        EXPECT_EQ(got, (pw_home == "/" ? std::string("/") : pw_home + "/"));

    // A relative HOME is no home: the data folder comes from the user database (a scratch folder
    // the child sees there), never from the folder the program was started in.
    if (pw_home.size() < 2 || pw_home[0] != '/') GTEST_SKIP() << "no home of its own in the user database";
    const std::string seen = TS_new_dir("pwhome");
    got = special_in_child(os_dir_prefs, {{"HOME", "home-rel"}, {"XDG_DATA_HOME", ""}}, seen, pw_home);
    if (got.rfind("no private ", 0) == 0) GTEST_SKIP() << got;
    EXPECT_EQ(got, pw_home + "/.local/share/");
    EXPECT_EQ(TS_sh("cd '" + seen + "' && find . | sort"), ".\n./.local\n./.local/share\n");
}

TEST(SpecialFolders, TemporaryFolderIsPrivate)
{
    std::string d = TS_new_dir("tmpdir");
    std::string uid = std::to_string(getuid());
    std::string got = special_in_child(os_dir_temp, {{"TMPDIR", d}});
    EXPECT_EQ(got, d + "corvane-updater-" + uid + "/");
    struct stat st;
    ASSERT_EQ(lstat(got.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // A second run finds the same folder; a loosened mode is tightened again, also when only
    // others (not the group) may enter.
    for (mode_t loose : {0755, 0705}) {
        chmod(got.c_str(), loose);
        EXPECT_EQ(special_in_child(os_dir_temp, {{"TMPDIR", d}}), got);
        ASSERT_EQ(lstat(got.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << std::oct << loose;
    }
    // Without TMPDIR the system's /tmp is used (here a scratch folder the child sees as /tmp). A
    // private folder whose lock another process holds survives that run's start; one a killed run
    // left, unlocked, goes.
    const std::string sys = TS_new_dir("systmp"), own = sys + "corvane-updater-" + uid + "/";
    ASSERT_EQ(mkdir(own.c_str(), 0700), 0);
    for (const char* name : {"private-AAAAAA", "private-BBBBBB"}) ASSERT_EQ(mkdir((own + name).c_str(), 0700), 0);
    const int held = open((own + "private-AAAAAA").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    got = special_in_child(os_dir_temp, {{"TMPDIR", ""}}, sys);
    close(held);
    if (got.rfind("no private /tmp: ", 0) == 0) GTEST_SKIP() << got;
    EXPECT_EQ(got, "/tmp/corvane-updater-" + uid + "/");
    EXPECT_EQ(TS_sh("ls -A '" + own + "'"), "private-AAAAAA\n");

    // There (a scratch parent here) another user made the per-user folder first: it is refused, and
    // a private folder of ours beside it is made, then found again; one of someone else's is passed over.
    if (getuid() != 0) GTEST_SKIP() << "giving a folder to another user needs root";
    const std::string parent = TS_new_dir("tmptaken"), taken = parent + "corvane-updater-" + uid;
    for (const std::string& f : {taken, taken + ".000000"})
        ASSERT_TRUE(mkdir(f.c_str(), 0700) == 0 && chown(f.c_str(), 65534, 65534) == 0);
    std::string made, dir, why;
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(PLAT_temp_dir_in(parent, true, dir, why), 0) << why;
        made = run == 0 ? dir : made;
        ASSERT_EQ(lstat(dir.c_str(), &st), 0);
        EXPECT_TRUE(dir == made && S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 0777) == 0700) << dir;
        chmod(dir.c_str(), 0755); // the next run closes it again
    }
    EXPECT_TRUE(made.size() == taken.size() + 8 && made.compare(0, taken.size() + 1, taken + ".") == 0) << made;
    EXPECT_EQ(why, "The temporary folder " + taken + " belongs to another user; it is not used. The private folder " +
                       made + " is used instead.");
}

TEST(SpecialFolders, TemporaryFolderThatIsALinkIsRefused)
{
    // Under a TMPDIR the user set, also a per-user folder that another user owns (root only).
    for (const bool others : {false, true}) {
        if (others && getuid() != 0) break;
        std::string d = TS_new_dir("tmplink");
        std::string target = d + "elsewhere";
        mkdir(target.c_str(), 0700);
        std::string link = d + "corvane-updater-" + std::to_string(getuid());
        if (others)
            ASSERT_TRUE(mkdir(link.c_str(), 0700) == 0 && chown(link.c_str(), 65534, 65534) == 0);
        else
            ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
        std::string log = d + "log.txt";
        EXPECT_EXIT(
            {
                setenv("TMPDIR", d.c_str(), 1);
                CMDLINE_parse("--qa_script");
                hl_open_log(log);
                std::string out;
                FILE_get_special_dir(os_dir_temp, out);
                _exit(0);
            },
            testing::ExitedWithCode(1), "");
        std::string text = TS_read_file(log);
        EXPECT_NE(text.find("The temporary folder cannot be used safely."), std::string::npos) << text;
        EXPECT_NE(text.find(others ? "belongs to another user; it is not used." : "is a link; it is not used."),
                  std::string::npos) << text;
        EXPECT_EQ(TS_sh("ls '" + d + "'"), "corvane-updater-" + std::to_string(getuid()) + "\nelsewhere\nlog.txt\n");
    }
}
