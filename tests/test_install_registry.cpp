// The install registry read from and appended to real files in a data folder of its own, and
// the installed-copy test on real folders.
#include "app/install_registry.h"
#include "engine/update_state.h"
#include "foundation/app_folder.h"
#include "frame/hl_init.h"
#include "foundation/log.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

namespace {

class InstallRegistry : public testing::Test {
protected:
    std::string data, file, log;
    void SetUp() override
    {
        const std::string dir = TS_new_dir("registry");
        data = dir + "data/";
        ASSERT_EQ(mkdir(data.c_str(), 0700), 0);
        setenv("XDG_DATA_HOME", data.c_str(), 1);
        file = data + "corvane_install_10.txt";
        log = dir + "log.txt";
        hl_open_log(log);
    }
    void TearDown() override
    {
        hl_close_log();
        gInstalledCopies.clear();
        gInstallPath.clear();
    }
    std::string log_text() { return TS_read_log(log); }
};

std::string make_dir(const std::string& path)
{
    EXPECT_EQ(mkdir(path.c_str(), 0700), 0) << path;
    return path;
}

} // namespace

TEST_F(InstallRegistry, ReadsWholeLinesAndAppendsEachFolderOnce)
{
    const std::string root = TS_new_dir("copies");
    const std::string a = make_dir(root + "A") + "/", b = make_dir(root + "B"), c = make_dir(root + "C");
    const std::string gone = make_dir(root + "Gone");
    // Split into 2047-byte pieces, this line's second piece would name copy A.
    std::string long_line = "/x" + std::string(2045, 'x') + a;
    long_line += std::string(5000 - long_line.size(), '/');
    // "C" names copy C from the program's folder, but a relative line is never a copy.
    TS_write_file(file, a + "\r\n" + b + "\n\n" + "C\n" + long_line + "\n" + gone + "/\n" + c);
    rmdir(gone.c_str());

    const std::string app_folder = gAppFolder;
    gAppFolder = root;
    read_install_registry();
    gAppFolder = app_folder;
    EXPECT_EQ(gInstalledCopies, (std::vector<std::string>{a, b + "/", c + "/"}));

    // Already in the file in some form (with or without '/', deleted, last line without line
    // end): nothing is written.
    const std::string before = TS_read_file(file);
    for (const std::string& path : {gone, gone + "/", c, a}) {
        gInstallPath = path;
        register_install_folder();
    }
    EXPECT_EQ(TS_read_file(file), before);

    // A new folder starts a line of its own behind the open last line, and only once.
    const std::string d = make_dir(root + "D");
    gInstallPath = d;
    register_install_folder();
    register_install_folder();
    EXPECT_EQ(TS_read_file(file), before + "\n" + d + "/\n");
    read_install_registry();
    EXPECT_EQ(gInstalledCopies, (std::vector<std::string>{a, b + "/", c + "/", d + "/"}));

    // A name with a line end would write a line naming another folder.
    gInstallPath = root + "E\n" + a;
    register_install_folder();
    EXPECT_EQ(TS_read_file(file), before + "\n" + d + "/\n");
    EXPECT_NE(log_text().find("WARNING: a folder whose name holds a line end is not registered: " + root + "E?" + a + "\n"),
              std::string::npos);
}

TEST_F(InstallRegistry, MissingOrUnwritableFile)
{
    // No file: an empty list, and the first registration makes the file.
    const std::string e = TS_new_dir("first");
    read_install_registry();
    EXPECT_TRUE(gInstalledCopies.empty());
    gInstallPath = e;
    register_install_folder();
    EXPECT_EQ(TS_read_file(file), e + "\n");
    read_install_registry();
    EXPECT_EQ(gInstalledCopies, std::vector<std::string>{e});

    // A folder where the file should be: nothing read, the failed append logged.
    ASSERT_EQ(unlink(file.c_str()), 0);
    make_dir(file);
    read_install_registry();
    EXPECT_TRUE(gInstalledCopies.empty());
    register_install_folder();
    EXPECT_NE(log_text().find("WARNING: could not append registration file: " + file + "\n"), std::string::npos);
}

TEST(InstalledCopy, FourFoldersByPartOfTheirNames)
{
    const std::string root = TS_new_dir("copy");
    for (const char* name : {"Instructions", "Output", "Resources", "Old Airfoils 2"}) make_dir(root + name);
    gInstallPath = root.substr(0, root.size() - 1); // without its '/'
    EXPECT_EQ(is_installed_copy(), 1);

    // A file named "Resources" is no folder.
    const std::string other = TS_new_dir("not_copy");
    for (const char* name : {"Instructions", "Output", "Airfoils"}) make_dir(other + name);
    TS_write_file(other + "Resources", "x");
    gInstallPath = other;
    EXPECT_EQ(is_installed_copy(), 0);
    make_dir(other + "Resources and more");
    EXPECT_EQ(is_installed_copy(), 1);

    gInstallPath = other + "missing/";
    EXPECT_EQ(is_installed_copy(), 0);
    gInstallPath.clear();
}
