// File views, the data-file header check, the header writer and the text-reader tests.
#include "foundation/alert.h"
#include "foundation/options.h"
#include "foundation/resources.h"
#include "foundation/text_reader.h"
#include "foundation/xmap.h"
#include "frame/hl_init.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

static const int kPage = (int)sysconf(_SC_PAGESIZE);

static std::string file_with(const std::string& bytes)
{
    static int n = 0;
    std::string path = TS_scratch() + "view-" + std::to_string(++n) + ".dat";
    TS_write_file(path, bytes);
    return path;
}

struct HeaderResult {
    int version = -999;
    std::string rest = "untouched";
    std::string at_cursor; // what the cursor stands on, to the end of the view
    int byte_swap = -1;
};

static HeaderResult check_bytes(const std::string& bytes, int kind, std::initializer_list<int> accepted,
                                const char* type_word = nullptr)
{
    std::vector<int> list(accepted);
    list.push_back(0);
    xmap_file f(file_with(bytes));
    HeaderResult r;
    r.version = check_file(f, kind, list.data(), type_word, &r.rest);
    if (f.cursor) r.at_cursor.assign(f.cursor, f.end);
    r.byte_swap = f.byte_swap;
    return r;
}

static HeaderResult check_text(const std::string& bytes, std::initializer_list<int> accepted,
                               const char* type_word = nullptr)
{
    return check_bytes(bytes, FILE_KIND_TEXT, accepted, type_word);
}

TEST(TextHeader, VersionRestTextAndCursor)
{
    HeaderResult r = check_text("I\n10 version\n\n  \n\t first=1\n", {10});
    EXPECT_EQ(r.version, 10);
    EXPECT_EQ(r.rest, "version");
    EXPECT_EQ(r.at_cursor, "first=1\n");
    // Trailing blanks belong to the rest text; CR LF line ends and blanks before line 2 are skipped.
    r = check_text("A junk\r\n\r\n   10   version 2 \r\ndata", {1000, 10});
    EXPECT_EQ(r.version, 10);
    EXPECT_EQ(r.rest, "version 2 ");
    EXPECT_EQ(r.at_cursor, "data");
    r = check_text("I\n10", {10});
    EXPECT_EQ(r.version, 10);
    EXPECT_EQ(r.rest, "");
    EXPECT_EQ(r.at_cursor, "");
}

TEST(TextHeader, ByteOrderMark)
{
    EXPECT_EQ(check_text("\xEF\xBB\xBFI\n10 version\n", {10}).version, 10);
    EXPECT_EQ(check_text("\xEF\xBB\xBF", {10}).version, 0);
    // A mark anywhere but the start is just a wrong header letter.
    EXPECT_EQ(check_text("\n\xEF\xBB\xBFI\n10 version\n", {10}).version, 0);
}

TEST(TextHeader, HeaderLetter)
{
    EXPECT_EQ(check_text("A\n900\n", {900}).version, 900);
    EXPECT_EQ(check_text("Ixyz\n10 version\n", {10}).version, 10);
    EXPECT_EQ(check_text("X\n10 version\n", {10}).version, 0);
    EXPECT_EQ(check_text("i\n10 version\n", {10}).version, 0);
    EXPECT_EQ(check_text(" I\n10 version\n", {10}).version, 0);
    EXPECT_EQ(check_text(std::string("\0I\n10\n", 6), {10}).version, 0);
}

TEST(TextHeader, AcceptedVersions)
{
    EXPECT_EQ(check_text("I\n-10 version\n", {10}).version, 0);
    EXPECT_EQ(check_text("I\n-10 version\n", {10, -10}).version, -10);
    EXPECT_EQ(check_text("I\n+10 version\n", {10}).version, 10);
    EXPECT_EQ(check_text("I\n11 version\n", {10, 1000}).version, 0);
    EXPECT_EQ(check_text("I\n1000 version\n", {10, 1000}).version, 1000);
    EXPECT_EQ(check_text("I\n2147483647\n", {2147483647}).version, 2147483647);
    // Digits that overflow an int32 never wrap into an accepted number (4294967306 = 2^32 + 10).
    EXPECT_EQ(check_text("I\n4294967306 version\n", {10}).version, 0);
    EXPECT_EQ(check_text("I\n2147483648\n", {(int)-2147483647 - 1}).version, 0);
    // Characters other than digits make no version (":" would count as ten).
    EXPECT_EQ(check_text("I\n0: version\n", {10}).version, 0);
    EXPECT_EQ(check_text("I\n- version\n", {10}).version, 0);
    // The list ends at its first 0; 0 is never a version.
    EXPECT_EQ(check_text("I\n0 version\n", {}).version, 0);
    int list[] = {10, 0, 20, 0};
    xmap_file f(file_with("I\n20 version\n"));
    EXPECT_EQ(check_file(f, FILE_KIND_TEXT, list, nullptr, nullptr), 0);
}

TEST(TextHeader, TypeWordMatchedExactly)
{
    HeaderResult r = check_text("I\n1000 version\nINSTALLER\n\nDIR a/\n", {1000}, "INSTALLER");
    EXPECT_EQ(r.version, 1000);
    EXPECT_EQ(r.at_cursor, "DIR a/\n");
    r = check_text("I\n1000 version\n  INSTALLER  and more text\r\n  DIR a/\n", {1000}, "INSTALLER");
    EXPECT_EQ(r.version, 1000);
    EXPECT_EQ(r.at_cursor, "DIR a/\n");
    r = check_text("I\n1000 version\nINSTALLERS\nDIR\n", {1000}, "INSTALLER");
    EXPECT_EQ(r.version, 0);
    EXPECT_EQ(r.at_cursor, "INSTALLERS\nDIR\n") << "the cursor goes back to the token";
    r = check_text("I\n1000 version\nINSTALL\nDIR\n", {1000}, "INSTALLER");
    EXPECT_EQ(r.version, 0);
    EXPECT_EQ(r.at_cursor, "INSTALL\nDIR\n");
    EXPECT_EQ(check_text("I\n1000 version\ninstaller\n", {1000}, "INSTALLER").version, 0);
    EXPECT_EQ(check_text("I\n1000 version\n", {1000}, "INSTALLER").version, 0);
    // The word may end the file, or be followed by a NUL or a TAB.
    r = check_text("I\n1000 version\nINSTALLER", {1000}, "INSTALLER");
    EXPECT_EQ(r.version, 1000);
    EXPECT_EQ(r.at_cursor, "");
    EXPECT_EQ(check_text(std::string("I\n1000\nSERVERS\0x", 16), {1000}, "SERVERS").version, 1000);
    EXPECT_EQ(check_text("I\n1000\nSERVERS\tx\nSERVER a", {1000}, "SERVERS").at_cursor, "SERVER a");
    // A wrong version is refused before the type word is looked at.
    EXPECT_EQ(check_text("I\n999 version\nINSTALLER\n", {1000}, "INSTALLER").version, 0);
}

TEST(BinaryHeader, BothByteOrders)
{
    HeaderResult r = check_bytes(std::string("a\x00\x00\x03\xE8rest", 9), FILE_KIND_BINARY, {1000});
    EXPECT_EQ(r.version, 1000);
    EXPECT_EQ(r.byte_swap, 1);
    EXPECT_EQ(r.at_cursor, "rest");
    r = check_bytes(std::string("i\xE8\x03\x00\x00", 5), FILE_KIND_BINARY, {1000});
    EXPECT_EQ(r.version, 1000);
    EXPECT_EQ(r.byte_swap, 0);
    EXPECT_EQ(r.at_cursor, "");
    EXPECT_EQ(check_bytes(std::string("i\xF6\xFF\xFF\xFF", 5), FILE_KIND_BINARY, {-10}).version, -10);
    EXPECT_EQ(check_bytes(std::string("a\xE8\x03\x00\x00", 5), FILE_KIND_BINARY, {1000}).version, 0);
    // Too short for a version, wrong letters, and a text header read as binary.
    EXPECT_EQ(check_bytes(std::string("i\xE8\x03\x00", 4), FILE_KIND_BINARY, {1000}).version, 0);
    EXPECT_EQ(check_bytes(std::string("I\xE8\x03\x00\x00", 5), FILE_KIND_BINARY, {1000}).version, 0);
    EXPECT_EQ(check_bytes("I\n1000 version\n", FILE_KIND_BINARY, {1000}).version, 0);
    EXPECT_EQ(check_bytes(std::string("i\xE8\x03\x00\x00", 5), FILE_KIND_TEXT, {1000}).version, 0);
}

TEST(Header, EmptyOrMissingViewIsNoHeader)
{
    const int ten[] = {10, 0};
    xmap_file none;
    EXPECT_EQ(check_file(none, FILE_KIND_TEXT, ten, nullptr, nullptr), 0);
    xmap_file missing(TS_scratch() + "no-such-file.txt");
    EXPECT_EQ(check_file(missing, FILE_KIND_TEXT, ten, nullptr, nullptr), 0);
    xmap_file empty(file_with(""));
    EXPECT_EQ(check_file(empty, FILE_KIND_BINARY, ten, nullptr, nullptr), 0);
}

// Bytes placed at the very end of a readable page with an inaccessible page behind them:
// any read past the end of the view faults.
struct GuardedBytes {
    char* base = nullptr;
    size_t total = 0;
    explicit GuardedBytes(const std::string& bytes)
    {
        total = (size_t)kPage * 2;
        void* p = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) return;
        base = (char*)p;
        mprotect(base + kPage, (size_t)kPage, PROT_NONE);
        memcpy(base + kPage - bytes.size(), bytes.data(), bytes.size());
    }
    ~GuardedBytes()
    {
        if (base) munmap(base, total);
    }
    void view(xmap_file& f, size_t size) const
    {
        f.begin = f.cursor = base + kPage - size;
        f.end = base + kPage;
        f.borrowed = 1; // not the view's to release
    }
};

TEST(Header, NeverReadsPastTheEndOfTheView)
{
    const int accepted[] = {10, 0};
    for (const std::string& bytes :
         {std::string("I"), std::string("I\n"), std::string("I\n10"), std::string("I\n10 version"),
          std::string("I\n10 version\n  "), std::string("I\n10 version\nTYP"), std::string("I\n10 version\nTYPE"),
          std::string("I\n10\nTYPE  x"), std::string("I\n-"), std::string("\xEF\xBB\xBF"), std::string("\xEF\xBB\xBFI"),
          std::string("a\x00\x00\x00", 4), std::string("i")}) {
        GuardedBytes g(bytes);
        ASSERT_NE(g.base, nullptr);
        xmap_file f;
        g.view(f, bytes.size());
        std::string rest;
        int v = check_file(f, FILE_KIND_TEXT, accepted, "TYPE", &rest);
        EXPECT_LE(f.cursor, f.end);
        if (bytes.find("TYPE") != std::string::npos) {
            EXPECT_EQ(v, 10) << bytes;
        }
        check_file(f, FILE_KIND_BINARY, accepted, nullptr, nullptr);
        EXPECT_LE(f.cursor, f.end);
    }
}

TEST(TextReader, EndOfLineAndBlank)
{
    const std::string bytes("a \t\n\r", 5);
    GuardedBytes g(bytes + std::string(1, '\0') + "z");
    xmap_file f;
    g.view(f, 7);
    const bool eol[] = {false, false, false, true, true, true, false};
    const bool blank[] = {false, true, true, false, false, false, false};
    for (int i = 0; i < 7; ++i) {
        f.cursor = f.begin + i;
        EXPECT_EQ(TXT_at_eol(f), eol[i]) << i;
        EXPECT_EQ(TXT_at_blank(f), blank[i]) << i;
    }
    // At the last byte of a view without a line end: no end yet; one step further, the end.
    f.cursor = f.end;
    EXPECT_TRUE(TXT_at_eol(f));
    EXPECT_FALSE(TXT_at_blank(f));
    xmap_file empty;
    EXPECT_TRUE(TXT_at_eol(empty));
    EXPECT_FALSE(TXT_at_blank(empty));
}

TEST(View, EmptyAndMissingFiles)
{
    xmap_file f;
    EXPECT_EQ(f.map(file_with("")), nullptr);
    EXPECT_EQ(f.begin, nullptr);
    EXPECT_EQ(f.cursor, nullptr);
    EXPECT_EQ(f.end, nullptr);
    EXPECT_EQ(f.file_handle, -1);
    std::string missing = TS_scratch() + "not-there.txt";
    EXPECT_EQ(f.map(missing), nullptr);
    EXPECT_EQ(f.label, missing);
    EXPECT_EQ(f.file_handle, -1);
    // A folder or a named pipe is no data file, and opening the pipe does not wait for a writer.
    // Both are missing files, which their readers report: no note about memory.
    static int alerts = 0;
    ALERT_set_presenter([](int, const std::string(&)[4], int, const std::string&) { ++alerts; });
    std::string dir = TS_new_dir("viewdir");
    EXPECT_EQ(f.map(dir), nullptr);
    EXPECT_EQ(f.file_handle, -1);
    std::string fifo = TS_new_dir("fifo") + "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(f.map(fifo), nullptr);
    EXPECT_EQ(f.file_handle, -1);
    ALERT_set_presenter(nullptr);
    EXPECT_EQ(alerts, 0);
}

TEST(View, WholeFileAndRemap)
{
    std::string a = file_with("first file");
    std::string b = file_with("second");
    xmap_file f(a);
    ASSERT_NE(f.begin, nullptr);
    EXPECT_EQ(std::string(f.begin, f.end), "first file");
    EXPECT_EQ(f.cursor, f.begin);
    EXPECT_GE(f.file_handle, 0);
    EXPECT_EQ(f.borrowed, 0);
    EXPECT_EQ(f.map(b), f.begin);
    EXPECT_EQ(std::string(f.begin, f.end), "second");
    EXPECT_EQ(f.label, b);
    f.close();
    EXPECT_EQ(f.begin, nullptr);
    EXPECT_EQ(f.file_handle, -1);
}

TEST(View, ExactPageSizeFileEndsAtThePageBoundary)
{
    std::string bytes = "I\n10 version" + std::string((size_t)kPage - 12, 'x');
    ASSERT_EQ(bytes.size(), (size_t)kPage);
    xmap_file f(file_with(bytes));
    ASSERT_NE(f.begin, nullptr);
    EXPECT_EQ(f.end - f.begin, kPage);
    EXPECT_EQ(((uintptr_t)f.end) % (uintptr_t)kPage, 0u);
    const int ten[] = {10, 0};
    std::string rest;
    EXPECT_EQ(check_file(f, FILE_KIND_TEXT, ten, nullptr, &rest), 10);
    EXPECT_EQ(rest.size(), (size_t)kPage - 5);
    EXPECT_EQ(f.cursor, f.end);
    // A type word that would run on past the end does not match.
    EXPECT_EQ(check_file(f, FILE_KIND_TEXT, ten, "xx", nullptr), 0);
}

TEST(View, RangesAreClampedToTheFile)
{
    std::string bytes;
    for (int i = 0; i < kPage * 3 + 100; ++i) bytes += (char)('a' + i % 26);
    std::string path = file_with(bytes);
    const uint64_t off = (uint64_t)kPage + 10;
    for (int gran : {0, kPage}) {
        xmap_set_granularity(gran);
        xmap_file f;
        ASSERT_NE(f.map(path, off, 20), nullptr) << gran;
        EXPECT_EQ(std::string(f.cursor, f.end), bytes.substr(off, 20));
        // With the granularity set the view starts on its boundary and the cursor at the byte asked for.
        EXPECT_EQ(f.cursor - f.begin, gran ? 10 : 0);
        ASSERT_NE(f.map(path, off, 0), nullptr);
        EXPECT_EQ(std::string(f.cursor, f.end), bytes.substr(off));
        ASSERT_NE(f.map(path, bytes.size() - 5, 1000), nullptr);
        EXPECT_EQ(std::string(f.cursor, f.end), bytes.substr(bytes.size() - 5));
        ASSERT_NE(f.map(path, off, UINT64_MAX), nullptr);
        EXPECT_EQ(std::string(f.cursor, f.end), bytes.substr(off));
        ASSERT_NE(f.map(path, 0, 1000000), nullptr);
        EXPECT_EQ(f.end - f.begin, (long)bytes.size());
        EXPECT_EQ(f.map(path, bytes.size(), 0), nullptr);
        EXPECT_EQ(f.map(path, UINT64_MAX - 2, UINT64_MAX), nullptr);
        EXPECT_EQ(f.file_handle, -1);
    }
    xmap_set_granularity(0);
}

TEST(View, RangePastTheEndIsLogged)
{
    std::string log = TS_new_dir("rangelog") + "log.txt";
    std::string path = file_with("0123456789");
    EXPECT_EXIT(
        {
            hl_open_log(log);
            xmap_file f;
            bool empty = f.map(path, 12, 0) == nullptr && f.file_handle == -1;
            hl_close_log();
            _exit(empty ? 0 : 3);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EQ(TS_read_file(log), "Warning: remaining file space is -2 and offset is 12 for file " + path + "\n");
}

TEST(View, ResourceIsBorrowed)
{
    uint32_t size = 0;
    const unsigned char* bytes = RES_get_resource("DEJAVUSANS.TTF", size);
    ASSERT_NE(bytes, nullptr);
    xmap_file f("RESOURCE:dejavusans.ttf", 100, 5);
    EXPECT_EQ(f.label, "RESOURCE:dejavusans.ttf");
    EXPECT_EQ((const void*)f.begin, (const void*)bytes) << "offset and length do not apply to resources";
    EXPECT_EQ(f.cursor, f.begin);
    EXPECT_EQ(f.end - f.begin, (long)size);
    EXPECT_EQ(f.borrowed, 1);
    EXPECT_EQ(f.file_handle, -1);
    const int any[] = {10, 0};
    EXPECT_EQ(check_file(f, FILE_KIND_TEXT, any, nullptr, nullptr), 0);
    f.close();
    EXPECT_EQ(f.borrowed, 0);
    // Closing released nothing: the bytes are still there to read.
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[1], 0x01);
    EXPECT_EQ(f.map("RESOURCE:Missing.png"), nullptr);
    EXPECT_EQ(f.borrowed, 0);
    EXPECT_EQ(f.map("RESOURCE:"), nullptr);
}

// Runs body in a child with automation mode and a log; returns the log text.
template <class Body> static std::string in_automation(const char* name, int want_exit, Body body)
{
    std::string log = TS_new_dir(name) + "log.txt";
    EXPECT_EXIT(
        {
            CMDLINE_parse("--qa_script");
            hl_open_log(log);
            gLog << "start\n";
            body();
            gLog.flush();
            _exit(0);
        },
        testing::ExitedWithCode(want_exit), "");
    return TS_read_file(log);
}

TEST(ViewAlerts, RelativePathHoldingTheProgramFolder)
{
    std::string log = in_automation("alert165", 1, [] {
        gAppFolder = "/opt/corvane/";
        xmap_file f("x/opt/corvane/Resources/a.txt");
    });
    EXPECT_NE(log.find("retry: We are getting a file string that is not Hangaron relative!\n"
                       "This is illegal! All paths must be Hangaron relative!\n"
                       "The path in question is:\n"
                       "x/opt/corvane/Resources/a.txt\n(xmap:165)\n"),
              std::string::npos)
        << log;
}

TEST(ViewAlerts, BadSeparatorInRelativePath)
{
    std::string log = in_automation("alert171", 1, [] { xmap_file f("Resources\\a.txt"); });
    EXPECT_NE(log.find("OOPS!\nI got a bad dirchar! I only want '/'!\nThe path in question is:\nResources\\a.txt\n"
                       "(xmap:171)\n"),
              std::string::npos)
        << log;
    // The prefix is upper case only: a lower-case one is a file path with a ':'.
    log = in_automation("alert171b", 1, [] { xmap_file f("resource:French.txt"); });
    EXPECT_NE(log.find("resource:French.txt\n(xmap:171)\n"), std::string::npos) << log;
}

TEST(ViewAlerts, AbsolutePathsAndResourcesSkipThePathRules)
{
    std::string log = in_automation("alertnone", 0, [] {
        gAppFolder = "/opt/corvane/";
        xmap_file a("/opt/corvane/Resources/a:b.txt");
        xmap_file b("RESOURCE:some:name\\x");
        gAppFolder = "";
        xmap_file c("x/opt/corvane/a.txt");
    });
    EXPECT_EQ(log, "start\n");
}

TEST(ViewAlerts, BadKinds)
{
    std::string log = in_automation("alert40", 1, [] {
        xmap_file f("/no/such/file");
        const int v[] = {10, 0};
        check_file(f, 10002, v, nullptr, nullptr);
    });
    EXPECT_NE(log.find("Bad check_file type!\n/no/such/file\n\n\n(xmap:40)\n"), std::string::npos) << log;
    log = in_automation("alert1108", 1, [] {
        std::ofstream out;
        ouf_open(out, "/no/such/file", 0, 10, "");
    });
    EXPECT_NE(log.find("Bad ouf_open type!\n/no/such/file\n\n\n(FILE_ops:1108)\n"), std::string::npos) << log;
}

TEST(HeaderWriter, TextHeaderAndLowerCaseEnding)
{
    std::string d = TS_new_dir("ouf");
    std::ofstream out;
    ASSERT_EQ(ouf_open(out, d + "Corvane Installer.PRF", FILE_KIND_TEXT, 10, "no-copyright-string"), 1);
    out << "_get_beta 1\n";
    out.close();
    EXPECT_EQ(TS_read_file(d + "Corvane Installer.prf"), "I\n10 version\n_get_beta 1\n");
    EXPECT_NE(access((d + "Corvane Installer.PRF").c_str(), F_OK), 0);
    // What the writer writes, the checker reads.
    xmap_file f(d + "Corvane Installer.prf");
    const int ten[] = {10, 0};
    std::string rest;
    EXPECT_EQ(check_file(f, FILE_KIND_TEXT, ten, nullptr, &rest), 10);
    EXPECT_EQ(rest, "version");
    EXPECT_EQ(std::string(f.cursor, f.end), "_get_beta 1\n");

    ASSERT_EQ(ouf_open(out, d + "notice.txt", FILE_KIND_TEXT, 900, " (c) Veltrano"), 1);
    out.close();
    EXPECT_EQ(TS_read_file(d + "notice.txt"), "I\n900 version (c) Veltrano\n");
}

TEST(HeaderWriter, BinaryHeaderRelativePathAndReopen)
{
    std::string saved = gAppFolder;
    gAppFolder = TS_new_dir("oufbin");
    std::ofstream out;
    ASSERT_EQ(ouf_open(out, "first.TXT", FILE_KIND_TEXT, 10, "no-copyright-string"), 1);
    // The open stream is closed and reused.
    ASSERT_EQ(ouf_open(out, "x.bin", FILE_KIND_BINARY, 1000, "ignored"), 1);
    out << '\n';
    out.close();
    EXPECT_EQ(TS_read_file(gAppFolder + "first.txt"), "I\n10 version\n");
    EXPECT_EQ(TS_read_file(gAppFolder + "x.bin"), std::string("i\xE8\x03\x00\x00\n", 6));
    gAppFolder = saved;
}

TEST(HeaderWriter, MakesTheMissingFolderOnce)
{
    std::string d = TS_new_dir("oufdir");
    std::string log = in_automation("oufdirlog", 0, [d] {
        std::ofstream out;
        int one = ouf_open(out, d + "new/Prefs.prf", FILE_KIND_TEXT, 10, "no-copyright-string");
        out.close();
        // Two levels missing: only one level is ever made, so this fails with the note.
        int two = ouf_open(out, d + "a/b/Prefs.prf", FILE_KIND_TEXT, 10, "no-copyright-string");
        gLog << "results " << one << " " << two << " open " << out.is_open() << "\n";
    });
    EXPECT_EQ(TS_read_file(d + "new/Prefs.prf"), "I\n10 version\n");
    struct stat st;
    EXPECT_NE(stat((d + "a").c_str(), &st), 0) << "nothing is made above the missing folder";
    EXPECT_NE(log.find("I could not save the file! Could the directory that the file sits in be missing? Or flagged "
                       "as READ-ONLY by the operating system? (Windows machines typically do this).\n" +
                       d + "a/b/Prefs.prf\n"
                       "Could the file be flagged as read-only? This happens in Windows if you copy it from a CD!\n"
                       "Try putting this app in the background and then flag the file as NOT read-only, or creating "
                       "the folder listed in the path above.\n(FILE_ops:1160)\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("results 1 0 open 0\n"), std::string::npos) << log;
}
