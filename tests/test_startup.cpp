// The program's start as a separate process, the log it writes, and the early alert.
#include "foundation/hl_memory.h"
#include "foundation/options.h"
#include "frame/alert.h"
#include "frame/hl_init.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

// A copy of the program in a folder of its own, so its log lands there.
static std::string program_copy()
{
    std::string d = TS_new_dir("prog");
    TS_sh(std::string("cp '") + CORVANE_UPDATER_EXE + "' '" + d + "corvane-updater'");
    return d;
}

TEST(Startup, LogHeaderOptionsAndFolders)
{
    std::string d = program_copy();
    std::string tmp = TS_new_dir("t");
    std::string data = TS_new_dir("data");
    TS_result r = TS_run({d + "corvane-updater", "--os=LIN", "--lang=fr", "--lang=de"},
                         {{"DISPLAY", ""}, {"TMPDIR", tmp}, {"XDG_DATA_HOME", data}}, 30);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::string log = TS_read_file(d + "Corvane Installer Log.txt");
    EXPECT_EQ(log.rfind("Installer log.txt for Corvane Web Updater 3.00r1", 0), 0u) << log;
    EXPECT_NE(log.find("     '--os'='LIN'\n"), std::string::npos) << log;
    EXPECT_NE(log.find("WARNING: command line option --lang=deused twice.\n"), std::string::npos) << log;
    std::string uid = std::to_string(getuid());
    std::string folders = "os_dir_this_app\t\t=" + d + "\n" + "os_dir_desktop\t\t=" + TS_scratch() +
                          "home/Desktop/\n" + "os_dir_default_apps\t=" + TS_scratch() + "home/Desktop/\n" +
                          "os_dir_temp\t\t\t=" + tmp + "corvane-updater-" + uid + "/\n" + "os_dir_prefs\t\t\t=" +
                          data + "\n\n";
    EXPECT_NE(log.find(folders), std::string::npos) << log;
}

TEST(Startup, ArgvBecomesOneCommandLineText)
{
    const char* a1[] = {"prog", "--pref:_proxy_host=my host", "/home/me/My Sim/", "-x"};
    EXPECT_EQ(CMDLINE_text_from_argv(4, a1), "--pref:_proxy_host=\"my host\" /home/me/My Sim/ -x");
    const char* a2[] = {"prog"};
    EXPECT_EQ(CMDLINE_text_from_argv(1, a2), "");
    const char* a3[] = {"prog", "a=b c", "--k=v"};
    EXPECT_EQ(CMDLINE_text_from_argv(3, a3), "a=b c --k=v");
}

TEST(Alert, LocationText)
{
    EXPECT_EQ(ALERT_location_text("src\\frame/hl_init", 815), "(hl_init:815)");
    EXPECT_EQ(ALERT_location_text("hl_init", -3), "(hl_init:-3)");
    EXPECT_EQ(ALERT_location_text("hl_init", 0), "(hl_init:0)");
    EXPECT_EQ(ALERT_location_text("hl_init", 123456789), "(hl_init:23456789)");
}

TEST(Alert, AutomationOnlyLogs)
{
    std::string log = TS_new_dir("alert") + "log.txt";
    EXPECT_EXIT(
        {
            CMDLINE_parse("--qa_script");
            hl_open_log(log);
            MACIBM_alert(0, "note one", "two", "", "-", t_note, "x/hl_test", 12);
            gLog << "after note\n";
            MACIBM_alert(0, "fatal", "b", "c", "d", t_fatal, "hl_test", 13);
            _exit(7);
        },
        testing::ExitedWithCode(1), "");
    EXPECT_EQ(TS_read_file(log), "note one\ntwo\n\n-\n(hl_test:12)\nafter note\nfatal\nb\nc\nd\n(hl_test:13)\n");
}

TEST(Alert, WithoutDisplayNoteGoesToStandardErrorAndFatalEndsWithZero)
{
    std::string log = TS_new_dir("alert2") + "log.txt";
    EXPECT_EXIT(
        {
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            hl_open_log(log);
            MACIBM_alert(0, "first line", "second", "third", "fourth", t_note, "hl_test", 1);
            MACIBM_alert(0, "fatal line", "", "", "", t_fatal, "hl_test", 2);
            _exit(7);
        },
        testing::ExitedWithCode(0), "Hangaron Message\n\nfirst line\n\nsecond\n\nthird\n\nfourth");
    EXPECT_EQ(TS_read_file(log), "\nfirst line\nsecond\nthird\nfourth\n(hl_test:1)\n\nfatal line\n\n\n\n(hl_test:2)\n");
}

namespace {
std::string gPresented;
void record_alert(int popup, const std::string (&lines)[4], int code, const std::string& where)
{
    gPresented += std::to_string(popup) + "|" + lines[0] + "|" + lines[3] + "|" + std::to_string(code) + "|" + where;
    gPresented += "\n";
}
} // namespace

TEST(Alert, ThePresenterTakesOverAndFatalStillNeverReturns)
{
    std::string log = TS_new_dir("alert3") + "log.txt";
    EXPECT_EXIT(
        {
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            hl_open_log(log);
            ALERT_set_presenter(record_alert);
            MACIBM_alert(994, "shown", "", "", "four", t_note, "src/frame/hl_test", 4);
            // A presenter that comes back from a fatal alert does not let it return.
            MACIBM_alert(0, "ends", "", "", "", t_fatal, "hl_test", 5);
            _exit(7);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EQ(TS_read_file(log), ""); // the presenter decides what is logged
    ALERT_set_presenter(record_alert);
    MACIBM_alert(994, "shown", "", "", "four", t_note, "src/frame/hl_test", 4);
    EXPECT_EQ(gPresented, "994|shown|four|1|(hl_test:4)\n");
    ALERT_set_presenter(nullptr);
    testing::internal::CaptureStderr();
    MACIBM_alert(0, "back to", "standard", "error", "", t_note, "hl_test", 6);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Hangaron Message\n\nback to\n\nstandard\n\nerror\n\n\n\n(hl_test:6)\n");
    EXPECT_EQ(gPresented, "994|shown|four|1|(hl_test:4)\n");
}

// A crash alert, and a note raised while another alert shows, write the memory report first.
TEST(Alert, CrashAbortsAbnormally)
{
    for (int nested = 0; nested < 2; ++nested) {
        const std::string dir = TS_new_dir(nested ? "alert_nested" : "alert_crash");
        EXPECT_EXIT(
            {
                unsetenv("DISPLAY");
                unsetenv("WAYLAND_DISPLAY");
                gAppFolder = dir;
                hl_open_log(dir + "log.txt");
                MEM_set_log_stream(&gLog);
                ALERT_set_presenter(ALERT_present);
                gAlertShowing = nested;
                MACIBM_alert(0, "crash", "", "", "", nested ? t_note : t_crash, "hl_test", 3);
                _exit(7);
            },
            testing::KilledBySignal(SIGABRT), "crash");
        EXPECT_EQ(TS_read_file(dir + "log.txt").rfind("I am dumping information about memory to MemoryLog.txt.  This "
                                                      "memory dump was generated by: MACIBM_alert (with code "
                                                      "t_crash).\n\ncrash\n",
                                                      0),
                  0u);
        const std::string report = TS_read_file(dir + "MemoryLog.txt");
        EXPECT_EQ(report.rfind("Windows Virtual Memory Info:\n", 0), 0u);
        EXPECT_NE(report.find("    Summary info for all heaps:\n"), std::string::npos);
    }
}
