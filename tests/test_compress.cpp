// Zip and 7z extraction and file MD5, against archives made by the real zip and 7z tools (and
// hostile zips crafted with Python), checked with md5sum.
#include "foundation/FILE_compress.h"
#include "frame/hl_init.h"
#include "platform/plat_fileio.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

static std::string random_bytes(size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s) c = (char)(gen() & 0xff);
    return s;
}

static std::string md5sum(const std::string& path)
{
    TS_result r = TS_run({"md5sum", path});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return r.out.substr(0, 32);
}

static bool exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Every file and folder below dir (relative names, sorted); folders end in '/'.
static std::string tree(const std::string& dir)
{
    return TS_sh("cd '" + dir + "' && find . -mindepth 1 \\( -type d -printf '%P/\\n' \\) -o -printf '%P\\n' | LC_ALL=C sort");
}

static void tool(const std::vector<std::string>& argv, const std::string& cwd)
{
    TS_result r = TS_run(argv, {}, 120, cwd);
    ASSERT_EQ(r.exit_code, 0) << argv[0] << ": " << r.out << r.err;
}

// A zip holding the given (name, bytes) entries exactly as named; deflated when asked.
static std::string craft_zip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries,
                             bool deflate = false)
{
    static int n = 0;
    std::vector<std::string> argv = {"python3", "-c",
                                     "import sys, zipfile\n"
                                     "m = zipfile.ZIP_DEFLATED if sys.argv[2] == '1' else zipfile.ZIP_STORED\n"
                                     "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                                     "    for i in range(3, len(sys.argv), 2):\n"
                                     "        z.writestr(zipfile.ZipInfo(sys.argv[i]), open(sys.argv[i + 1], 'rb').read(), m)\n",
                                     path, deflate ? "1" : "0"};
    for (auto& [name, bytes] : entries) {
        std::string data = TS_scratch() + "entry-" + std::to_string(++n);
        TS_write_file(data, bytes);
        argv.push_back(name);
        argv.push_back(data);
    }
    tool(argv, "");
    return path;
}

// The log of everything the body wrote to it.
template <class Body> static std::string logged(Body body)
{
    static int n = 0;
    std::string path = TS_scratch() + "log-" + std::to_string(++n) + ".txt";
    hl_open_log(path);
    body();
    hl_close_log();
    return TS_read_file(path);
}

// A source tree with nested folders, an empty folder, empty files and a file larger than one chunk.
static std::string make_tree(const std::string& name)
{
    std::string src = TS_new_dir(name);
    TS_sh("mkdir -p '" + src + "a/b/c' '" + src + "a/empty_dir'");
    TS_write_file(src + "top.txt", "top level\n");
    TS_write_file(src + "empty.dat", "");
    TS_write_file(src + "a/b/empty2", "");
    TS_write_file(src + "a/b/c/deep.bin", random_bytes(700 * 1024, 1) + std::string(300 * 1024, 'z'));
    TS_write_file(src + "a/with space \xc3\xa9.txt", "accent\n");
    return src;
}

static void expect_same_files(const std::string& src, const std::string& out)
{
    EXPECT_EQ(tree(out), tree(src)) << "no temporary or extra files";
    for (const char* f : {"top.txt", "empty.dat", "a/b/empty2", "a/b/c/deep.bin", "a/with space \xc3\xa9.txt"})
        EXPECT_EQ(md5sum(out + f), md5sum(src + f)) << f;
}

TEST(Md5, MatchesMd5sumAcrossChunks)
{
    std::string d = TS_new_dir("md5");
    const size_t mib = 1024 * 1024;
    for (size_t size : {(size_t)0, (size_t)1, mib - 1, mib, mib + 1, 3 * mib + 17}) {
        std::string path = d + "f" + std::to_string(size);
        TS_write_file(path, random_bytes(size, (unsigned)size));
        std::string hex;
        ASSERT_EQ(FILE_md5_of_file(path, hex), 0);
        EXPECT_EQ(hex, md5sum(path)) << size;
    }
    std::string hex;
    ASSERT_EQ(FILE_md5_of_file(d + "f0", hex), 0);
    EXPECT_EQ(hex, "d41d8cd98f00b204e9800998ecf8427e");
    std::string saved = gAppFolder;
    gAppFolder = d;
    EXPECT_EQ(FILE_md5_of_file("f1", hex), 0) << "relative paths are below the program folder";
    gAppFolder = saved;
}

TEST(Md5, FailuresLeaveTheSignatureAlone)
{
    std::string d = TS_new_dir("md5fail");
    std::string hex = "keep";
    EXPECT_EQ(FILE_md5_of_file(d + "missing", hex), ENOENT);
    EXPECT_EQ(FILE_md5_of_file(d, hex), EISDIR);
    if (geteuid() != 0) {
        TS_write_file(d + "locked", "x");
        chmod((d + "locked").c_str(), 0);
        EXPECT_EQ(FILE_md5_of_file(d + "locked", hex), EACCES);
    }
    // A sysfs file claims a page but holds a few bytes: a short read with no error number.
    const std::string sys = "/sys/kernel/mm/transparent_hugepage/enabled";
    struct stat st;
    if (stat(sys.c_str(), &st) == 0 && st.st_size > 100 && TS_read_file(sys).size() < (size_t)st.st_size) {
        EXPECT_EQ(FILE_md5_of_file(sys, hex), EIO);
    }
    EXPECT_EQ(hex, "keep");
}

TEST(Zip, RealZipMatchesMd5sumAndExtractsTwice)
{
    std::string src = make_tree("zipsrc");
    std::string zip = TS_scratch() + "tree.zip";
    tool({"zip", "-q", "-r", zip, "."}, src);
    std::string out = TS_new_dir("zipout");
    std::string first;
    ASSERT_EQ(FILE_unzip_to_dir(zip, out, &first), 0);
    EXPECT_FALSE(first.empty());
    expect_same_files(src, out);
    TS_write_file(out + "top.txt", "changed by the user");
    ASSERT_EQ(FILE_unzip_to_dir(zip, out), 0) << "existing folders are harmless, files are replaced";
    expect_same_files(src, out);
}

TEST(Zip, MacosxAndLinkEntriesWriteNothing)
{
    std::string src = TS_new_dir("macsrc");
    TS_sh("mkdir -p '" + src + "__MACOSX' && ln -s a.txt '" + src + "lnk' && ln -s /etc '" + src + "etc'");
    TS_write_file(src + "a.txt", "a");
    TS_write_file(src + "__MACOSX/._a.txt", "fork");
    std::string zip = TS_scratch() + "mac.zip";
    tool({"zip", "-q", "-r", "-y", zip, "."}, src);
    std::string out = TS_new_dir("macout");
    EXPECT_EQ(FILE_unzip_to_dir(zip, out), 0);
    EXPECT_EQ(tree(out), "a.txt\n");
}

TEST(Zip, OptionalFirstNameAndReplacementName)
{
    std::string zip = craft_zip(TS_scratch() + "one.zip", {{"directory.txt", "dir list"}});
    std::string out = TS_new_dir("replace");
    std::string first, other = "renamed.txt";
    EXPECT_EQ(FILE_unzip_to_dir(zip, out, &first, &other), 0);
    EXPECT_EQ(first, "directory.txt");
    EXPECT_EQ(tree(out), "renamed.txt\n");
    std::string bad = "../up.txt";
    EXPECT_EQ(FILE_unzip_to_dir(zip, out, nullptr, &bad), err_unzip_open);
    EXPECT_FALSE(exists(out + "../up.txt"));
}

TEST(ZipFailures, NotAZipAndTruncatedZip)
{
    std::string out = TS_new_dir("notzip");
    std::string junk = TS_scratch() + "junk.zip";
    TS_write_file(junk, "this is not a zip archive at all\n");
    std::string log = logged([&] { EXPECT_EQ(FILE_unzip_to_dir(junk, out), err_unzip_open); });
    EXPECT_EQ(log, "OK I am about to report that I could not open a zip file for extraction!\n"
                   "That incoming file is " + junk + "\nIn c-form, it is " + junk + "\nThe size is " +
                       std::to_string(junk.size()) + "\n"
                       "Zip to file failed with error err = 20001. file = FILE_compress line = 600. zip_file=" +
                       junk + ", out_dir=" + out + "\n");

    std::string src = make_tree("truncsrc");
    std::string zip = TS_scratch() + "trunc.zip";
    tool({"zip", "-q", "-r", zip, "."}, src);
    std::string bytes = TS_read_file(zip);
    TS_write_file(zip, bytes.substr(0, bytes.size() / 2));
    EXPECT_EQ(FILE_unzip_to_dir(zip, out), err_unzip_open);
    EXPECT_EQ(tree(out), "");
}

TEST(ZipFailures, FlippedByteIsACrcErrorAndTheOldFileStays)
{
    const std::string payload = "PAYLOAD-" + std::string(5000, 'p');
    for (bool deflate : {false, true}) {
        std::string d = TS_new_dir("crc");
        std::string zip = deflate ? d + "d.zip" : d + "s.zip";
        TS_write_file(d + "a.txt", payload);
        tool(deflate ? std::vector<std::string>{"zip", "-q", zip, "a.txt"}
                     : std::vector<std::string>{"zip", "-q", "-0", zip, "a.txt"},
             d);
        std::string bytes = TS_read_file(zip);
        // The entry's data follows its local header, name and extra field.
        auto le16 = [&](size_t i) { return (size_t)(unsigned char)bytes[i] | (size_t)(unsigned char)bytes[i + 1] << 8; };
        size_t at = 30 + le16(26) + le16(28) + 10;
        ASSERT_LT(at, bytes.size());
        bytes[at] ^= 0x01;
        TS_write_file(zip, bytes);
        std::string out = TS_new_dir("crcout");
        TS_write_file(out + "a.txt", "old");
        FILE_result err = 0;
        std::string log = logged([&] { err = FILE_unzip_to_dir(zip, out); });
        EXPECT_NE(err, 0);
        if (!deflate) {
            EXPECT_EQ(err, -105); // the entry's CRC does not match
            EXPECT_EQ(log, "Zip to file failed with error -105. file = FILE_compress line = 406. inFile=" + out +
                               "a.txt\nUNZIP zip_to_file failed with err=-105\n"
                               "Zip to file failed with error err = -105. file = FILE_compress line = 639. zip_file=" +
                               zip + ", out_dir=" + out + "\n");
        }
        EXPECT_EQ(TS_read_file(out + "a.txt"), "old");
        EXPECT_EQ(tree(out), "a.txt\n") << "the temporary file is gone";
    }
}

TEST(ZipFailures, EntryFolderMissing)
{
    std::string zip = craft_zip(TS_scratch() + "nodir.zip", {{"nodir/a.txt", "a"}});
    std::string out = TS_new_dir("nodir");
    std::string log = logged([&] { EXPECT_EQ(FILE_unzip_to_dir(zip, out), ENOENT); });
    EXPECT_NE(log.find("Zip to file failed with error 2. file = FILE_compress line = 412. inFile=" + out +
                       "nodir/a.txt\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(tree(out), "");
}

TEST(ZipNames, HostileNamesAreRefused)
{
    for (std::string name : {"../x", "/abs-corvane-test", "a\\b", "C:/x", "c:x", "a/../../x", "./x", "a//b", "..",
                             "a/./b", "../d/"}) {
        std::string d = TS_new_dir("hostile");
        std::string out = d + "out/";
        mkdir(out.c_str(), 0700);
        TS_write_file(out + "keep.txt", "old");
        std::string zip = craft_zip(d + "h.zip", {{"keep.txt", "new"}, {name, "evil"}, {"after.txt", "x"}});
        std::string log = logged([&] { EXPECT_EQ(FILE_unzip_to_dir(zip, out), err_unzip_open) << name; });
        EXPECT_NE(log.find("WARNING: refusing the entry \"" + name + "\" of the archive " + zip), std::string::npos)
            << log;
        EXPECT_NE(log.find("line = 639"), std::string::npos) << log;
        EXPECT_EQ(tree(d), "h.zip\nout/\nout/keep.txt\n") << name;
        EXPECT_EQ(TS_read_file(out + "keep.txt"), "new") << "entries before the refused one stay written";
    }
    EXPECT_FALSE(exists("/abs-corvane-test"));
}

TEST(ZipNames, LinksOnDiskMayNotLeadOutside)
{
    std::string d = TS_new_dir("links");
    std::string out = d + "out/";
    TS_sh("mkdir -p '" + d + "outside' '" + out + "real' && ln -s ../outside '" + out + "leak' && ln -s real '" +
          out + "inner'");
    std::string zip = craft_zip(d + "l.zip", {{"inner/ok.txt", "ok"}, {"leak/x.txt", "evil"}});
    std::string log = logged([&] { EXPECT_EQ(FILE_unzip_to_dir(zip, out), err_unzip_open); });
    EXPECT_NE(log.find("WARNING: refusing the entry \"leak/x.txt\" of the archive " + zip +
                       ": it would land outside the folder " + out + "\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(TS_read_file(out + "real/ok.txt"), "ok") << "a link that stays inside is fine";
    EXPECT_EQ(tree(d + "outside"), "");
    std::string zip2 = craft_zip(d + "l2.zip", {{"leak/sub/", ""}});
    EXPECT_EQ(FILE_unzip_to_dir(zip2, out), err_unzip_open);
    EXPECT_EQ(tree(d + "outside"), "");
}

TEST(ZipNames, LongNamesAreReadWhole)
{
    const std::string long_path = std::string(100, 'd') + "/" + std::string(100, 'e') + "/" + std::string(98, 'f');
    ASSERT_EQ(long_path.size(), 300u);
    std::string zip = craft_zip(TS_scratch() + "long.zip",
                                {{std::string(100, 'd') + "/", ""},
                                 {std::string(100, 'd') + "/" + std::string(100, 'e') + "/", ""},
                                 {long_path, "deep"}},
                                true);
    std::string out = TS_new_dir("long");
    std::string first;
    EXPECT_EQ(FILE_unzip_to_dir(zip, out), 0);
    EXPECT_EQ(TS_read_file(out + long_path), "deep");

    // One 300-byte name is longer than any file name may be: refused by the system, nothing written.
    std::string zip2 = craft_zip(TS_scratch() + "long2.zip", {{std::string(300, 'n'), "x"}});
    std::string out2 = TS_new_dir("long2");
    EXPECT_EQ(FILE_unzip_to_dir(zip2, out2, &first), ENAMETOOLONG);
    EXPECT_EQ(first, std::string(300, 'n'));
    EXPECT_EQ(tree(out2), "");

    // A name of 255 bytes, the longest one may be, installs: the temporary beside it keeps only
    // the name's start.
    const std::string longest(255, 'm');
    std::string zip3 = craft_zip(TS_scratch() + "long3.zip", {{longest, "whole"}});
    static std::string temp;
    PLAT_replace_hook = [](const std::string& t) { temp = t; };
    PLAT_replace_file w;
    EXPECT_EQ(FILE_unzip_file(zip3, longest, out2 + longest, w, -1), 0);
    EXPECT_EQ(PLAT_replace_commit(w), 0);
    PLAT_replace_hook = nullptr;
    EXPECT_EQ(TS_read_file(out2 + longest), "whole");
    EXPECT_TRUE(temp.rfind(out2, 0) == 0 && PLAT_is_replace_temp(temp.substr(out2.size()), longest)) << temp;
}

TEST(ZipWrite, FailedWriteKeepsTheOldFile)
{
    std::string d = TS_new_dir("fsize");
    std::string zip = craft_zip(d + "big.zip", {{"big.bin", random_bytes(1024 * 1024, 7)}}, true);
    TS_write_file(d + "big.bin", random_bytes(1024 * 1024, 7));
    tool({"7z", "a", "-bd", "-y", d + "big.7z", "big.bin"}, d);
    std::string out = d + "out/";
    mkdir(out.c_str(), 0700);
    TS_write_file(out + "big.bin", "old");
    std::string log = out + "../log.txt";
    // A file-size limit makes the write fail the way a full disk does, without privileges.
    EXPECT_EXIT(
        {
            hl_open_log(log);
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit lim;
            lim.rlim_cur = lim.rlim_max = 64 * 1024;
            setrlimit(RLIMIT_FSIZE, &lim);
            FILE_result err = FILE_unzip_to_dir(zip, out);
            // A file fetched with a size limit stops there, before the file-size limit could stop it.
            PLAT_replace_file w;
            const bool stopped = FILE_unzip_file(zip, "big.bin", out + "big.bin", w, 64 * 1024) == EBADMSG &&
                                 FILE_un7z_file(d + "big.7z", "big.bin", out + "big.bin", w, 64 * 1024) == EBADMSG;
            hl_close_log();
            _exit(err == EFBIG && stopped ? 0 : 3);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EQ(TS_read_file(out + "big.bin"), "old");
    EXPECT_EQ(tree(out), "big.bin\n");
    EXPECT_NE(TS_read_file(log).find("Zip to file failed with error 27. file = FILE_compress line = 420."),
              std::string::npos);
    PLAT_replace_file w, w7;
    EXPECT_EQ(FILE_unzip_file(zip, "big.bin", out + "big.bin", w, 1024 * 1024) +
                  FILE_un7z_file(d + "big.7z", "big.bin", out + "big.bin", w7, 1024 * 1024),
              0)
        << "a file of the limit is whole";
}

TEST(PlatWrite, FullDiskAndSafeReplace)
{
    int fd = open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
        EXPECT_EQ(PLAT_write_all(fd, "x", 1), ENOSPC);
        close(fd);
    }
    EXPECT_EQ(FILE_error_text(ENOSPC).rfind("No space left on device", 0), 0u);

    std::string d = TS_new_dir("replace");
    TS_write_file(d + "t", "old");
    {
        PLAT_replace_file w;
        ASSERT_EQ(PLAT_replace_begin(w, d + "t"), 0);
        ASSERT_EQ(PLAT_replace_write(w, "new", 3), 0);
        EXPECT_EQ(TS_read_file(d + "t"), "old");
        // Left unfinished: the destructor abandons it.
    }
    EXPECT_EQ(tree(d), "t\n");
    mkdir((d + "folder").c_str(), 0700);
    PLAT_replace_file w;
    ASSERT_EQ(PLAT_replace_begin(w, d + "folder"), 0);
    EXPECT_EQ(PLAT_replace_commit(w), EISDIR);
    EXPECT_EQ(PLAT_replace_commit(w), EBADF) << "a finished writer writes nothing more";
    ASSERT_EQ(PLAT_replace_begin(w, d + "t"), 0);
    ASSERT_EQ(PLAT_replace_write(w, "new", 3), 0);
    EXPECT_EQ(PLAT_replace_commit(w), 0);
    EXPECT_EQ(TS_read_file(d + "t"), "new");
    EXPECT_EQ(tree(d), "folder/\nt\n");
}

TEST(SevenZip, RealArchiveMatchesMd5sum)
{
    std::string src = make_tree("szsrc");
    std::string arc = TS_scratch() + "tree.7z";
    tool({"7z", "a", "-bd", "-y", arc, "."}, src);
    std::string out = TS_new_dir("szout");
    // Folders are not made: the archive's folders must exist.
    EXPECT_EQ(FILE_un7z_to_dir(arc, out), ENOENT);
    TS_sh("cd '" + src + "' && find . -type d -exec mkdir -p '" + out + "{}' \\;");
    std::string last;
    ASSERT_EQ(FILE_un7z_to_dir(arc, out, &last), 0);
    EXPECT_EQ(last.rfind(out, 0), 0u);
    expect_same_files(src, out);
    TS_write_file(out + "top.txt", "changed");
    ASSERT_EQ(FILE_un7z_to_dir(arc, out), 0);
    expect_same_files(src, out);
}

TEST(SevenZip, FoldersAndLinksCreateNothing)
{
    std::string src = TS_new_dir("szlink");
    TS_sh("mkdir -p '" + src + "only/sub' && ln -s /etc/hostname '" + src + "lnk'");
    std::string arc = TS_scratch() + "folders.7z";
    tool({"7z", "a", "-bd", "-y", "-snl", arc, "."}, src);
    std::string out = TS_new_dir("szlinkout");
    EXPECT_EQ(FILE_un7z_to_dir(arc, out), 0);
    EXPECT_EQ(tree(out), "");
}

TEST(SevenZip, DamagedAndHostileArchivesLeaveFilesAlone)
{
    std::string d = TS_new_dir("szbad");
    std::string out = d + "out/";
    mkdir(out.c_str(), 0700);
    TS_write_file(out + "a.txt", "old");
    EXPECT_EQ(FILE_un7z_to_dir(d + "missing.7z", out), ENOENT);
    TS_write_file(d + "junk.7z", "not a 7z archive");
    EXPECT_EQ(FILE_un7z_to_dir(d + "junk.7z", out), err_unzip_open);
    std::string zip = craft_zip(d + "z.7z", {{"a.txt", "zip"}});
    EXPECT_EQ(FILE_un7z_to_dir(zip, out), err_unzip_open) << "only 7z is read";

    TS_write_file(d + "a.txt", "PAYLOAD-" + random_bytes(20000, 3));
    tool({"7z", "a", "-bd", "-y", "-mx0", d + "good.7z", "a.txt"}, d);
    const std::string good = TS_read_file(d + "good.7z");
    std::string flipped = good, cut = good.substr(0, good.size() / 2);
    flipped[flipped.find("PAYLOAD-") + 1000] ^= 0x01;
    TS_write_file(d + "flipped.7z", flipped);
    TS_write_file(d + "cut.7z", cut);
    EXPECT_EQ(FILE_un7z_to_dir(d + "flipped.7z", out), err_unzip_read);
    EXPECT_NE(FILE_un7z_to_dir(d + "cut.7z", out), 0);
    EXPECT_EQ(TS_read_file(out + "a.txt"), "old");

    // Stored paths that climb out or are absolute.
    mkdir((d + "w").c_str(), 0700);
    mkdir((d + "w/x").c_str(), 0700);
    tool({"7z", "a", "-bd", "-y", "-spf", d + "up.7z", "../../a.txt"}, d + "w/x");
    tool({"7z", "a", "-bd", "-y", "-spf", d + "abs.7z", d + "a.txt"}, d);
    for (const char* arc : {"up.7z", "abs.7z"}) {
        std::string log = logged([&] { EXPECT_EQ(FILE_un7z_to_dir(d + arc, out), err_unzip_open) << arc; });
        EXPECT_EQ(log.rfind("WARNING: refusing the entry \"", 0), 0u) << log;
    }
    EXPECT_EQ(tree(out), "a.txt\n");
    EXPECT_EQ(TS_read_file(out + "a.txt"), "old");
}
