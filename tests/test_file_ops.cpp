// Folder listings, folder and file tests, making, deleting and copying, the read-only flag
// and free disk space, on real folders in the scratch area.
#include "foundation/FILE_ops.h"
#include "foundation/options.h"
#include "frame/hl_init.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

typedef std::vector<std::string> names_t;

static names_t list(const std::string& dir, int kind, std::vector<int32_t>* types = nullptr)
{
    names_t names;
    std::vector<int32_t> t;
    int n = FILE_get_directory(dir, kind, names, t);
    EXPECT_EQ(n, (int)names.size());
    EXPECT_EQ(t.size(), names.size());
    if (types) *types = t;
    return names;
}

static int mode_of(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (int)(st.st_mode & 07777) : -1;
}

static bool present(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

TEST(FileList, DropsHiddenNamesAndGivesTypes)
{
    std::string d = TS_new_dir("list");
    for (const char* f : {"b.txt", "A.png", ".hidden", "plain", "x.acf", "y.Oz", "z.foz", "s.pro"})
        TS_write_file(d + f, "x");
    mkdir((d + "c").c_str(), 0755);
    mkdir((d + ".hiddendir").c_str(), 0755);
    mkdir((d + "Scenery.TXT").c_str(), 0755);
    ASSERT_EQ(symlink("c", (d + "linkdir").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (d + "dangling").c_str()), 0);
    std::vector<int32_t> types;
    EXPECT_EQ(list(d, 0, &types), (names_t{"A.png", "b.txt", "c", "dangling", "linkdir", "plain", "s.pro", "Scenery.TXT",
                                          "x.acf", "y.Oz", "z.foz"}));
    EXPECT_EQ(types, (std::vector<int32_t>{2, 20, 1, 0, 1, 0, 21, 20, 3, 19, 0}));
    // A folder with a listed extension is no folder to FILE_is_dir.
    EXPECT_EQ(FILE_is_dir(d + "Scenery.TXT"), 0);
    EXPECT_EQ(FILE_is_dir(d + "linkdir/"), 1);
    EXPECT_EQ(list(d + "missing/", 0).size(), 0u);
}

TEST(FileList, CaseBlindOrderWithUnsignedBytes)
{
    std::string d = TS_new_dir("order");
    for (const char* f : {"zz", "\xC3\xA9t\xC3\xA9", "Zeta", "alpha", "ABD", "abc", "ab", "a0", "a-b", "_under", "Z"})
        TS_write_file(d + f, "");
    EXPECT_EQ(list(d, 0), (names_t{"_under", "a-b", "a0", "ab", "abc", "ABD", "alpha", "Z", "Zeta", "zz",
                                   "\xC3\xA9t\xC3\xA9"}));

    auto less = [](const std::string& a, const std::string& b) {
        return FILE_less_nocase(a.data(), a.data() + a.size(), b.data(), b.data() + b.size());
    };
    EXPECT_TRUE(less("abc", "ABD"));
    EXPECT_FALSE(less("ABC", "abc"));
    EXPECT_FALSE(less("abc", "ABC"));
    EXPECT_TRUE(less("ab", "abc"));
    EXPECT_FALSE(less("abc", "ab"));
    EXPECT_TRUE(less("", "a"));
    EXPECT_FALSE(less("", ""));
    EXPECT_TRUE(less("_", "A"));
    EXPECT_TRUE(less("z", "\x80"));
    EXPECT_FALSE(less("\x80", "z"));
}

TEST(FileList, FilterKinds)
{
    std::string saved = gAppFolder;
    gAppFolder = TS_new_dir("app");
    std::string pics = "Resources/bitmaps/misc/";
    std::string panels = "Resources/bitmaps/cockpit/-panels-/";
    TS_sh("mkdir -p '" + gAppFolder + pics + "sub' '" + gAppFolder + panels + "'");
    for (const char* f : {"x-2.png", "x-5.png", "y.png", "z.BMP", "note.txt", "m.wav"})
        TS_write_file(gAppFolder + pics + f, "");
    TS_write_file(gAppFolder + panels + "p.png", "");
    EXPECT_EQ(list(pics, 12), (names_t{"sub", "x-5.png", "y.png", "z.BMP"}));
    EXPECT_EQ(list(pics, 20), (names_t{"note.txt", "sub"}));
    EXPECT_EQ(list(pics, 6), (names_t{"m.wav", "sub"}));
    EXPECT_EQ(list(pics, 22).size(), 0u);
    EXPECT_EQ(list(pics, 23).size(), 0u);
    // Kind 23 lists the command registry: next levels become folders, commands type 23.
    std::vector<int32_t> ctypes;
    EXPECT_EQ(list("sim/", 23, &ctypes), (names_t{"none", "operation", "general"})); // registry order
    EXPECT_EQ(ctypes, (std::vector<int32_t>{1, 1, 1}));
    names_t ops = list("sim/operation/", 23, &ctypes);
    ASSERT_FALSE(ops.empty());
    EXPECT_EQ(ops[0], "screenshot");
    EXPECT_EQ(ctypes[0], 23);
    EXPECT_EQ(list(panels, 12).size(), 0u);
    EXPECT_EQ(list(panels, 0), (names_t{"p.png"}));
    int32_t t = 0;
    EXPECT_EQ(FILE_type_filter("RESOURCES/Bitmaps/Cockpit/-Panels-/", "a.png", 12, t), 0);
    EXPECT_EQ(FILE_type_filter("Resources/bitmaps/cockpit/", "-panelx.png", 12, t), 0);
    t = 0;
    EXPECT_EQ(FILE_type_filter("", "a.png", 12, t), 1); // shorter than six: no numbered-name test
    gAppFolder = saved;
}

TEST(FileList, FolderPathWithoutSeparatorIsACrash)
{
    std::string d = TS_new_dir("crash");
    std::string log = d + "log.txt";
    EXPECT_EXIT(
        {
            unsetenv("DISPLAY");
            hl_open_log(log);
            CMDLINE_parse("--qa_script");
            names_t n;
            std::vector<int32_t> t;
            FILE_get_directory(d + "sub", 0, n, t);
        },
        testing::ExitedWithCode(1), "");
    std::string text = TS_read_file(log);
    EXPECT_NE(text.find("Working path does not appear to be a directory!\n"
                        "This is not consistent with my labelling practices!\n"
                        "I need to end all paths with the directory indicator!\n" +
                        d + "sub\n(FILE_ops:561)"),
              std::string::npos)
        << text;
}

TEST(FileTests, ExistsAndIsDir)
{
    std::string saved = gAppFolder;
    gAppFolder = TS_new_dir("app");
    mkdir((gAppFolder + "Output").c_str(), 0755);
    mkdir((gAppFolder + "abc").c_str(), 0755);
    TS_write_file(gAppFolder + "file.bin", "data");
    ASSERT_EQ(mkfifo((gAppFolder + "pipe").c_str(), 0600), 0);
    EXPECT_EQ(FILE_exists("file.bin"), 1);
    EXPECT_EQ(FILE_exists(gAppFolder + "file.bin"), 1);
    EXPECT_EQ(FILE_exists("Output"), 0);
    EXPECT_EQ(FILE_exists("Output/"), 0);
    EXPECT_EQ(FILE_exists("missing"), 0);
    EXPECT_EQ(FILE_exists("pipe"), 1); // answers at once, no writer needed
    EXPECT_EQ(FILE_is_dir("Output/"), 1);
    EXPECT_EQ(FILE_is_dir("Output"), 1);
    EXPECT_EQ(FILE_is_dir("file.bin"), 0);
    EXPECT_EQ(FILE_is_dir("ab"), 0);
    EXPECT_EQ(FILE_is_dir("abc"), 1);
    EXPECT_EQ(FILE_is_dir("missing/"), 0);
    gAppFolder = saved;
}

TEST(Folders, MakeAndDelete)
{
    std::string d = TS_new_dir("folders");
    EXPECT_EQ(FILE_make_dir(d + "new"), 0);
    EXPECT_EQ(FILE_make_dir(d + "new/"), EEXIST);
    EXPECT_EQ(FILE_is_real_error(FILE_make_dir(d + "new")), 0);
    EXPECT_EQ(FILE_make_dir(d + "no/such"), ENOENT);
    EXPECT_EQ(FILE_is_real_error(ENOENT), 1);
    EXPECT_EQ(FILE_is_real_error(183), 0);
    EXPECT_EQ(FILE_is_real_error(0), 0);

    TS_write_file(d + "new/f", "x");
    FILE_result r = FILE_delete_file(d + "new/");
    EXPECT_EQ(r, ENOTEMPTY);
    EXPECT_EQ(FILE_error_text(r), "Directory not empty");
    EXPECT_TRUE(present(d + "new/f"));
    EXPECT_EQ(FILE_delete_file(d + "new"), EISDIR); // no trailing '/': taken as a file
    EXPECT_EQ(FILE_delete_file(d + "new/f"), 0);
    EXPECT_EQ(FILE_delete_file(d + "new/"), 0);
    EXPECT_FALSE(present(d + "new"));
    EXPECT_EQ(FILE_delete_file(""), 2);
    EXPECT_EQ(FILE_delete_file(d + "gone"), ENOENT);
    EXPECT_EQ(FILE_is_delete_error(ENOTEMPTY), 0);
}

TEST(Copy, FileKeepsBytesAndModeAndReplacesWhole)
{
    std::string d = TS_new_dir("copyfile");
    std::string big(3 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = (char)(i * 31 + i / 7);
    TS_write_file(d + "src", big);
    chmod((d + "src").c_str(), 0444);
    TS_write_file(d + "dst", "old");
    EXPECT_EQ(FILE_copy(d + "src", d + "dst"), 0);
    EXPECT_EQ(TS_read_file(d + "dst"), big);
    EXPECT_EQ(mode_of(d + "dst"), 0444);
    EXPECT_EQ(FILE_copy(d + "src", d + "dst"), 0); // over a read-only copy
    EXPECT_EQ(FILE_copy(d + "src", d + "src"), 0);
    EXPECT_EQ(TS_read_file(d + "src"), big);
    // A failed copy leaves the destination as it was and no temporary file behind.
    EXPECT_EQ(FILE_copy(d + "missing", d + "dst"), ENOENT);
    EXPECT_EQ(TS_read_file(d + "dst"), big);
    EXPECT_EQ(FILE_copy(d + "src", d + "no/dst"), ENOENT);
    EXPECT_EQ(TS_sh("ls -A '" + d + "'"), "dst\nsrc\n");
}

TEST(Copy, FolderTreeNeverCopiesIntoItself)
{
    std::string d = TS_new_dir("copytree");
    std::string a = d + "A";
    TS_sh("mkdir -p '" + a + "/s/t' '" + a + "/empty' '" + d + "other'");
    TS_write_file(a + "/f.txt", "f");
    TS_write_file(a + "/s/t/g", "g");
    TS_write_file(d + "other/o", "o");
    ASSERT_EQ(symlink("..", (a + "/s/loop").c_str()), 0);
    ASSERT_EQ(symlink((d + "other").c_str(), (a + "/out").c_str()), 0);

    EXPECT_EQ(FILE_copy(a, d + "B"), 0);
    EXPECT_EQ(TS_sh("cd '" + d + "B' && find . | LC_ALL=C sort"), ".\n./empty\n./f.txt\n./out\n./out/o\n./s\n./s/t\n./s/t/g\n");

    // Into its own subfolder: a snapshot of the rest, without the copy itself.
    EXPECT_EQ(FILE_copy(a, a + "/s/inner"), 0);
    EXPECT_EQ(TS_read_file(a + "/s/inner/s/t/g"), "g");
    EXPECT_FALSE(present(a + "/s/inner/s/inner"));
    EXPECT_EQ(FILE_copy(a, a), 0);
    EXPECT_EQ(TS_read_file(a + "/f.txt"), "f");

    TS_write_file(d + "file", "x");
    EXPECT_EQ(FILE_copy(a, d + "file"), ENOTDIR);
    EXPECT_EQ(FILE_copy(a, d + "no/C"), ENOENT);
}

TEST(ReadOnly, ClearKeepsOtherBits)
{
    std::string d = TS_new_dir("ro");
    TS_write_file(d + "r", "x");
    chmod((d + "r").c_str(), 0444);
    EXPECT_EQ(FILE_clear_read_only(d + "r"), 0);
    EXPECT_EQ(mode_of(d + "r"), 0644);
    TS_write_file(d + "x", "x");
    chmod((d + "x").c_str(), 0751);
    EXPECT_EQ(FILE_clear_read_only(d + "x"), 0);
    EXPECT_EQ(mode_of(d + "x"), 0751);
    EXPECT_EQ(FILE_clear_read_only(d + "missing"), ENOENT);
}

TEST(DiskSpace, MatchesDfForTheFolder)
{
    std::string d = TS_new_dir("disk");
    uint64_t total = 0, avail = 0;
    // The file need not exist: the disk of its folder is asked for.
    ASSERT_EQ(FILE_get_disk_space(d + "file.bin", &total, &avail), 0);
    EXPECT_EQ(FILE_get_disk_space(d + "file.bin", nullptr, nullptr), 0);
    unsigned long long df_total = 0, df_avail = 0;
    std::string out = TS_sh("df -B1 --output=size,avail '" + d + "' | tail -n 1");
    ASSERT_EQ(sscanf(out.c_str(), "%llu %llu", &df_total, &df_avail), 2) << out;
    EXPECT_EQ(total, df_total);
    // Other programs write to the same disk meanwhile.
    const double slack = 256.0 * 1024 * 1024;
    EXPECT_NEAR((double)avail, (double)df_avail, slack);
    EXPECT_EQ(FILE_get_disk_space(d + "missing/file.bin", &total, &avail), ENOENT);
}
