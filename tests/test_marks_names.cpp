// Profiler marks, numbered file names, the number text and the movie recorder's error alert.
#include "foundation/hl_string.h"
#include "foundation/numbered_name.h"
#include "foundation/options.h"
#include "foundation/perf_marks.h"
#include "frame/hl_init.h"
#include "frame/hl_timer.h"
#include "graphics/qtim.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <sstream>
#include <thread>

static void frame_with_sleeps(std::ostream& log)
{
    PERF_mark(log, "init", 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    PERF_mark(log, "event", 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    PERF_mark(log, "finish", 1);
}

TEST(PerfMarks, SilentWhenOffTimedWhenOnAndTheLogKeepsItsFormat)
{
    std::ostringstream log;
    log.precision(4);
    log << 3.14159 << "\n";
    ASSERT_EQ(gPerfOn, 0);
    for (int i = 0; i < 3; ++i) frame_with_sleeps(log);
    gTimer.perf_mark("sb1", 0); // the frame timer's own marks go to the log file, also silent
    EXPECT_EQ(log.str(), "3.142\n");

    gPerfOn = 1;
    log.str("");
    frame_with_sleeps(log);
    frame_with_sleeps(log);
    gPerfOn = 0;
    log << 3.14159 << "\n";

    // "init=" and 6 wide, " | " between marks, "   total: " with three decimals at the end.
    double init1, event1, finish1, total1, init2, event2, finish2, total2;
    ASSERT_EQ(std::sscanf(log.str().c_str(),
                          "init=%lf | event=%lf | finish=%lf |    total: %lf\n"
                          "init=%lf | event=%lf | finish=%lf |    total: %lf\n3.142\n",
                          &init1, &event1, &finish1, &total1, &init2, &event2, &finish2, &total2),
              8)
        << log.str();
    // A mark writes microseconds times 0.1, so a 20 ms sleep is at least 2000; the first frame's
    // start is taken at its own last mark (also when profiling is switched on again), the second
    // frame spans its three marks. Only lower bounds: a busy machine only adds time.
    EXPECT_TRUE(event1 >= 2000 && finish1 >= 3000 && init2 >= 0 && event2 >= 2000 && finish2 >= 3000) << log.str();
    EXPECT_EQ(total1, 0) << log.str();
    EXPECT_NEAR(total2, (init2 + event2 + finish2) / 1e5, 0.001) << log.str();
    // The widths hold whatever the figures: each mark's figure right-aligned in at least 6
    // characters, the total in at least 5 with three decimals.
    char want[400];
    std::snprintf(want, sizeof want,
                  "init=%6.0f | event=%6.0f | finish=%6.0f |    total: %5.3f\n"
                  "init=%6.0f | event=%6.0f | finish=%6.0f |    total: %5.3f\n3.142\n",
                  init1, event1, finish1, total1, init2, event2, finish2, total2);
    EXPECT_EQ(log.str(), want);
}

TEST(NumberedNames, CountsUpPastAnythingInTheProgramFolder)
{
    const std::string dir = TS_new_dir("numbered");
    const std::string elsewhere = TS_new_dir("numbered_cwd");
    ASSERT_EQ(chdir(elsewhere.c_str()), 0);
    gAppFolder = dir;
    std::string out;

    make_numbered_name(".mov", out);
    EXPECT_EQ(out, "Hangaron_1.mov");

    // Names in the working folder do not count: the lookup is in the program's folder.
    TS_write_file(elsewhere + "Hangaron_1.mov", "x");
    make_numbered_name(".mov", out);
    EXPECT_EQ(out, "Hangaron_1.mov");

    TS_write_file(dir + "Hangaron_1.mov", "x");
    TS_write_file(dir + "Hangaron_2.mov", "x");
    make_numbered_name(".mov", out);
    EXPECT_EQ(out, "Hangaron_3.mov");

    // A gap is filled first.
    ASSERT_EQ(unlink((dir + "Hangaron_2.mov").c_str()), 0);
    TS_write_file(dir + "Hangaron_3.mov", "x");
    make_numbered_name(".mov", out);
    EXPECT_EQ(out, "Hangaron_2.mov");

    // A folder, an unreadable file and a dangling link are all taken.
    ASSERT_EQ(mkdir((dir + "Hangaron_2.mov").c_str(), 0755), 0);
    TS_write_file(dir + "Hangaron_4.mov", "x");
    ASSERT_EQ(chmod((dir + "Hangaron_4.mov").c_str(), 0), 0);
    ASSERT_EQ(symlink((dir + "gone").c_str(), (dir + "Hangaron_5.mov").c_str()), 0);
    make_numbered_name(".mov", out);
    EXPECT_EQ(out, "Hangaron_6.mov");
    make_numbered_name("", out);
    EXPECT_EQ(out, "Hangaron_1");
}

TEST(NumberText, LastEightDigitsAndTheSign)
{
    const std::pair<int, const char*> cases[] = {
        {0, "0"},          {7, "7"},           {-5, "-5"},           {-2010, "-2010"},
        {10050, "10050"},  {99999999, "99999999"}, {100000000, "00000000"}, {123456789, "23456789"},
        {INT_MAX, "47483647"}, {INT_MIN, "-47483648"}};
    for (const auto& [n, want] : cases) EXPECT_EQ(hl_number_text(n), want) << n;
    EXPECT_EQ(hl_digit_char(9), '9');
    EXPECT_EQ(hl_digit_char(10), '0');
    EXPECT_EQ(hl_digit_char(-1), '0');
}

TEST(QuickTimeAlert, AutomationLogsTheLinesAndEndsWithOne)
{
    const std::string log = TS_new_dir("qt_alert") + "log.txt";
    EXPECT_EXIT(
        {
            CMDLINE_parse("--qa_script");
            hl_open_log(log);
            QT_alert_err("Could not CreateMovieFile to file: Hangaron_1.mov", "(CreateMovieFile failed)", "", INT_MIN);
            _exit(0);
        },
        testing::ExitedWithCode(1), "");
    EXPECT_EQ(TS_read_file(log), "Movie error -2147483648: Error number -2147483648 occurred\n"
                                 "Could not CreateMovieFile to file: Hangaron_1.mov\n(CreateMovieFile failed)\n\n"
                                 "-47483648\n(qtim:90)\n");
}
