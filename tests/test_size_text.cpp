// The size, rate and duration texts with English and Russian plurals, the guarded float
// conversions, the digit writer of the install page and the disk-space panel's text.
#include "app/size_text.h"
#include "foundation/translation.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <limits>

namespace {
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

std::string digits(int value, int count, unsigned char mode, int minus = 0)
{
    std::string s = "junk";
    format_digits(value, s, count, mode, minus);
    return s;
}
} // namespace

TEST(SizeText, SizesCountsAndGuards)
{
    EXPECT_EQ(format_bytes(1024000.0f), "1000 MB");
    EXPECT_EQ(format_bytes(1024001.0f), "1.0 GB");
    EXPECT_EQ(format_bytes(1024.0f), "1024 KB");
    EXPECT_EQ(format_bytes(1025.0f), "1 MB");
    EXPECT_EQ(format_bytes(1e30f), "953674330756632060887040.0 GB");
    EXPECT_EQ(format_bytes(kInf), "inf GB");
    EXPECT_EQ(format_bytes(-kInf), "-inf KB");
    EXPECT_EQ(format_int(INT_MIN), "-2147483648");

    EXPECT_EQ(float_to_int(kNaN), 0);
    EXPECT_EQ(float_to_int(1e30f), INT_MAX);
    EXPECT_EQ(float_to_int(-kInf), INT_MIN);
    EXPECT_EQ(float_to_int(-2147483648.0f), INT_MIN);
    EXPECT_EQ(float_to_int(2147483520.0f), 2147483520); // the largest float below 2^31
    EXPECT_EQ(float_to_int(-7.9f), -7);

    EXPECT_EQ(round_half_away(2.5f), 3.0f);
    EXPECT_EQ(round_half_away(-2.5f), -3.0f);
    EXPECT_EQ(round_half_away(0.49999997f), 0.0f); // a float sum would round up to 1
    EXPECT_EQ(round_half_away(kNaN), 0.0f);
    EXPECT_EQ(round_half_away(1e30f), 1e30f);

    EXPECT_EQ(power_of_ten(-3), 1u);
    EXPECT_EQ(power_of_ten(0), 1u);
    EXPECT_EQ(power_of_ten(9), 1000000000u);
    EXPECT_EQ(power_of_ten(10), 1410065408u); // wraps like the multiplication it is
    EXPECT_EQ(power_of_ten(INT_MAX), 0u);

    EXPECT_EQ(digits(7, 2, 1), "07");
    EXPECT_EQ(digits(7, 2, 2), " 7");
    EXPECT_EQ(digits(7, 2, 0), "7");
    EXPECT_EQ(digits(7, 2, 3), "+07");
    EXPECT_EQ(digits(-5, 2, 0), "-5");
    EXPECT_EQ(digits(-5, 3, 3), "-005");
    EXPECT_EQ(digits(0, 2, 0, 1), "-0");
    EXPECT_EQ(digits(1234, 2, 2), "1234");
    EXPECT_EQ(digits(123456789, 0, 0), "23456789");
    EXPECT_EQ(digits(INT_MIN, 0, 0), "-47483648");
    EXPECT_EQ(digits(5, 12, 1), "00000005");

    EXPECT_EQ(format_float_pair("lo=%1.0f hi=%1.0f", 2.5f, 1e30f),
              "lo=2 hi=1000000015047466219876688855040");
    EXPECT_EQ(format_float_pair("%.2f/%.2f", kNaN, -kInf), "nan/-inf");
}

TEST(SizeText, RatesAndDurationsInEnglishAndRussian)
{
    LANG_clear();
    EXPECT_EQ(format_rate(1.9f), "1 kilobyte/second");
    EXPECT_EQ(format_rate(0.5f), "0 kilobytes/second");
    EXPECT_EQ(format_rate(kNaN), "0 kilobytes/second");
    EXPECT_EQ(format_rate(kInf), "2147483647 kilobytes/second");
    EXPECT_EQ(format_duration(59.9f), "59 seconds");
    EXPECT_EQ(format_duration(61.0f), "61 seconds");
    EXPECT_EQ(format_duration(119.9f), "119 seconds");
    EXPECT_EQ(format_duration(120.0f), "2 minutes");
    EXPECT_EQ(format_duration(3600.0f), "60 minutes");
    EXPECT_EQ(format_duration(7199.0f), "119 minutes");
    EXPECT_EQ(format_duration(7200.0f), "2 hours");
    EXPECT_EQ(format_duration(kNaN), "0 hours");
    EXPECT_EQ(format_duration(1e30f), "2147483647 hours");
    EXPECT_EQ(format_duration(-kInf), "-2147483648 seconds");

    LANG_set_language(3);
    EXPECT_EQ(format_rate(1.9f), "1 килобайт в секунду");
    EXPECT_EQ(format_rate(3.0f), "3 килобайта в секунду");
    EXPECT_EQ(format_rate(kNaN), "0 килобайт в секунду");
    EXPECT_EQ(format_duration(1.0f), "1 секунда");
    EXPECT_EQ(format_duration(13.0f), "13 секунд");
    EXPECT_EQ(format_duration(22.5f), "22 секунды");
    EXPECT_EQ(format_duration(21.0f), "21 секунда");
    EXPECT_EQ(format_duration(60.0f * 31), "31 минута");
    EXPECT_EQ(format_duration(60.0f * 24), "24 минуты");
    EXPECT_EQ(format_duration(60.0f * 100), "100 минут");
    EXPECT_EQ(format_duration(3600.0f * 3), "3 часа");
    EXPECT_EQ(format_duration(3600.0f * 11), "11 часов");
    EXPECT_EQ(format_duration(kInf), "2147483647 часов");
    // The time left follows a colon, where every count keeps the duration's own case.
    const std::string left = "About %1:time% left in the install, downloading at %2:rate% with %3:number% ";
    for (const auto& [english, table] : {std::pair{left + "download stream.", 0}, {left + "simultaneous servers.", 0},
                                         {left + "simultaneous servers.", 1}})
        EXPECT_EQ(LANG_substitute_1(LANG_translate(english, table), format_duration(21.0f))
                      .rfind("Осталось примерно: 21 секунда; ", 0),
                  0u)
            << english << table;

    // The panel text, with the status chosen strictly: exactly the free space is too little.
    std::string text;
    EXPECT_FALSE(disk_space_text(2000000000000ull, 5000999, 5000.0f, "ok", "short", text));
    EXPECT_EQ(text, "Размер диска: 1907.3 GB\nСвободно на диске: 5 MB\nНужно для установки: 5 MB\n\nshort");
    LANG_clear();
    EXPECT_TRUE(disk_space_text(1000, 5001000, 5000.0f, "ok", "short", text));
    EXPECT_EQ(text, "Disk size: 1 KB\nFree disk space: 5 MB\nDisk space needed to install: 5 MB\n\nok");
    EXPECT_FALSE(disk_space_text(1000, 5001000, kNaN, "ok", "short", text));
}

// A locale whose decimal point is a comma must not reach the texts.
TEST(SizeText, NumbersStayInTheCNumericForm)
{
    const std::string dir = TS_new_dir("locale");
    const TS_result made = TS_run({"localedef", "-i", "de_DE", "-f", "UTF-8", dir + "de_DE.UTF-8"}, {}, 120);
    if (made.exit_code != 0 && made.exit_code != 1) GTEST_SKIP() << "localedef cannot build de_DE: " << made.err;
    setenv("LOCPATH", dir.c_str(), 1);
    const char* set = setlocale(LC_NUMERIC, "de_DE.UTF-8");
    if (!set) {
        unsetenv("LOCPATH");
        GTEST_SKIP() << "de_DE.UTF-8 cannot be loaded";
    }
    char probe[16];
    snprintf(probe, sizeof probe, "%.1f", 1.5);
    EXPECT_STREQ(probe, "1,5"); // the locale is in force
    EXPECT_EQ(format_bytes(1024001.0f), "1.0 GB");
    EXPECT_EQ(format_float_pair("%.1f %.1f", 0.5f, 2.5f), "0.5 2.5");
    setlocale(LC_NUMERIC, "C");
    unsetenv("LOCPATH");
}
