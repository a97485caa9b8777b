// Starting programs and documents (with a stand-in xdg-open first on PATH that records its
// arguments), and the English texts of every error code.
#include "foundation/FILE_ops.h"
#include "frame/hl_init.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// Waits (at most ten seconds) for a record file that a started program writes.
static std::string wait_for(const std::string& path)
{
    for (int i = 0; i < 200; ++i) {
        if (access(path.c_str(), F_OK) == 0) return TS_read_file(path);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return "(nothing recorded)";
}

struct Launch : testing::Test {
    std::string dir, bin, rec;
    void SetUp() override
    {
        dir = TS_new_dir("launch");
        bin = dir + "bin/";
        rec = dir + "opened.txt";
        mkdir(bin.c_str(), 0755);
        TS_write_script(bin + "xdg-open", "printf '%s\\n' \"$@\" > '" + rec + ".tmp' && mv '" + rec + ".tmp' '" + rec + "'\n");
    }
    // Runs FILE_launch in a child with the stand-in first on PATH; it must end with code 1.
    void launch_ok(const std::string& path, const std::string& params, int shutdown)
    {
        std::string path_env = bin + ":" + (getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin");
        EXPECT_EXIT(
            {
                setenv("PATH", path_env.c_str(), 1);
                int fd = open("/dev/null", O_RDONLY);
                dup2(fd, 47); // an inherited descriptor the started program must not get
                FILE_launch(path, params, shutdown);
                fprintf(stderr, "FILE_launch returned\n");
                _exit(5);
            },
            testing::ExitedWithCode(1), "");
    }
};

TEST_F(Launch, DocumentsAndFoldersGoToXdgOpen)
{
    TS_write_file(dir + "readme.txt", "text");
    launch_ok(dir + "readme.txt", "ignored params", 0);
    EXPECT_EQ(wait_for(rec), dir + "readme.txt\n");

    unlink(rec.c_str());
    std::string saved = gAppFolder;
    gAppFolder = dir;
    launch_ok("bin", "", 1); // relative to the program's folder; with the orderly shutdown
    gAppFolder = saved;
    EXPECT_EQ(wait_for(rec), dir + "bin\n");
}

TEST_F(Launch, ProgramRunsDirectlyInItsOwnSession)
{
    std::string prog = dir + "prog";
    TS_write_script(prog, "r='" + dir + "prog.txt'\n"
                       "{ printf 'arg:%s\\n' \"$@\"; echo \"pid:$$\"; echo \"sid:$(cut -d' ' -f6 /proc/$$/stat)\";\n"
                       "  if [ -e /proc/$$/fd/47 ]; then echo fd47:open; else echo fd47:closed; fi; } > \"$r.tmp\"\n"
                       "mv \"$r.tmp\" \"$r\"\n");
    launch_ok(prog, "one \"two  three\" four", 0);
    std::string out = wait_for(dir + "prog.txt");
    EXPECT_NE(out.find("arg:one\narg:two  three\narg:four\npid:"), std::string::npos) << out;
    size_t p = out.find("pid:"), s = out.find("sid:");
    ASSERT_NE(s, std::string::npos) << out;
    EXPECT_EQ(out.substr(p + 4, out.find('\n', p) - p - 4), out.substr(s + 4, out.find('\n', s) - s - 4)) << out;
    EXPECT_NE(out.find("fd47:closed"), std::string::npos) << out;
    EXPECT_NE(access(rec.c_str(), F_OK), 0); // the opener was not used
}

TEST_F(Launch, FailuresReturnAndStartNothing)
{
    EXPECT_EQ(FILE_launch(dir + "missing.doc", "", 1), ENOENT);
    // An executable that is no program is not handed to a shell.
    TS_write_file(dir + "bad", "echo started > '" + dir + "started'\n");
    chmod((dir + "bad").c_str(), 0755);
    FILE_result r = FILE_launch(dir + "bad", "", 1);
    EXPECT_EQ(r, ENOEXEC);
    EXPECT_EQ(FILE_error_text(r), "Exec format error");
    // No opener on PATH: the error is the opener's, and named so.
    std::string saved = getenv("PATH") ? getenv("PATH") : "";
    TS_write_file(dir + "Corvane.exe", "x");
    setenv("PATH", (dir + "empty").c_str(), 1);
    std::string opener;
    EXPECT_EQ(FILE_launch(dir + "Corvane.exe", "", 1, &opener), ENOENT);
    EXPECT_EQ(opener, "xdg-open: No such file or directory");
    // An opener that fails within its wait (3: nothing to open the file with) or is killed.
    setenv("PATH", dir.c_str(), 1);
    for (auto [end, said] : {std::pair{"exit 3", "exited with status 3"}, {"kill -9 $$", "was ended by signal 9"}}) {
        TS_write_script(dir + "xdg-open", end);
        EXPECT_EQ(FILE_launch(dir + "Corvane.exe", "", 1, &opener), ENOEXEC);
        EXPECT_EQ(opener, std::string("xdg-open: ") + said);
    }
    setenv("PATH", saved.c_str(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_NE(access(rec.c_str(), F_OK), 0);
    EXPECT_NE(access((dir + "started").c_str(), F_OK), 0);
}

TEST(ErrorText, ProgramCodes)
{
    const std::pair<int, const char*> rows[] = {
        {err_unzip_open, "We were unable to open a zip file. It may be missing or damaged"},
        {err_unzip_read, "We were unable to read from a zip file (short-read error). It may be missing or damaged"},
        {err_zip_create, "We were unable to create a zip file"},
        {err_zip_write, "We were unable to write to a zip file. It may be missing or damaged"},
        {err_zip_fork_size, "We cannot compress a zip file because its source file resource fork is more than 2 GB. "
                            "The source file is probably damaged"},
        {err_file_read_open, "We could not open a file to read from it"},
        {err_net_reconnect, "We were unable to connct to the network due to an internal reconnect error"},
        {err_net_bad_state, "We wre unable to connect to the network due to a bad state error"},
        {err_net_alloc, "We could not allocate a connection to the network"},
        {err_net_write_file, "We could not write the incoming file from the web to disk"},
        {err_net_no_server, "We could not find the server over the network"},
        {err_zip_fork_header, "Part of the downloaded zip file is corrupted (the resource fork header is bad)"}};
    int code = 20001;
    for (auto& [c, text] : rows) {
        EXPECT_EQ(c, code++);
        EXPECT_EQ(FILE_error_text(c), text) << c;
    }
}

TEST(ErrorText, TableThenSystemThenNumber)
{
    EXPECT_EQ(FILE_error_text(0), "");
    EXPECT_EQ(FILE_error_text(2), "No such file or directory");
    EXPECT_EQ(FILE_error_text(13), "Permission denied. Perhaps you do not have access to a directory or file system");
    EXPECT_EQ(FILE_error_text(28), "No space left on device. Perhaps your hard drive is full");
    // The program's own words win over the system's for the same number.
    EXPECT_EQ(FILE_error_text(40), "File Position Error");
    EXPECT_EQ(FILE_error_text(88), "Wide character encoding error");
    EXPECT_EQ(FILE_error_text(99), "Unknown error");
    EXPECT_EQ(FILE_error_text(ETIMEDOUT), "Connection timed out");
    EXPECT_EQ(FILE_error_text(ECONNREFUSED), "Connection refused");
    EXPECT_EQ(FILE_error_text(183), "Error code 183");
    EXPECT_EQ(FILE_error_text(20013), "Error code 20013");
    EXPECT_EQ(FILE_error_text(-7), "Error code -7");
}
