// The colour scheme as the program's statics build it: the colour table's defaults, the two
// gamma tables and setting one entry.
#include "frame/hl_colors.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

static void expect_color(int i, float r, float g, float b)
{
    EXPECT_FLOAT_EQ(gColors[i][0], r) << "entry " << i;
    EXPECT_FLOAT_EQ(gColors[i][1], g) << "entry " << i;
    EXPECT_FLOAT_EQ(gColors[i][2], b) << "entry " << i;
}

TEST(Colors, DefaultsOfTheScheme)
{
    EXPECT_EQ(&gColors[0][0], &gInterface.colors[0][0]);
    EXPECT_EQ(gInterface.gamma, 2.5f);
    EXPECT_EQ(gInterface.red_gain, 1.0f);
    EXPECT_EQ(gInterface.green_gain, 1.0f);
    EXPECT_EQ(gInterface.blue_gain, 1.0f);
    EXPECT_EQ(gInterface.red_back_gain, 1.0f);
    EXPECT_EQ(gInterface.green_back_gain, 1.0f);
    EXPECT_EQ(gInterface.blue_back_gain, 1.0f);
    EXPECT_EQ(gInterface.monochrome, 0);
    EXPECT_EQ(gInterface.pulse, 0.0f);
    EXPECT_EQ(gInterface.red_shift, 0.0f);

    expect_color(0, 1, 1, 1);
    expect_color(1, 1, 0.2f, 0.2f);
    expect_color(17, 0, 0, 0.6f);
    expect_color(18, 0.5f, 0.55f, 0.6f);
    expect_color(22, 0.88f, 0.88f, 1);
    expect_color(23, 0.84f, 0.75f, 0.63f);
    expect_color(32, 0.9f, 0.9f, 1);
    expect_color(39, 1, 1, 1);
    expect_color(41, 0.84f, 0.75f, 0.63f);
    expect_color(42, 1, 1, 1);
    for (int i = 43; i <= 60; ++i) expect_color(i, 0, 0, 0);
    expect_color(61, 1, 1, 1);
    expect_color(80, 0, 0.2f, 0);
    expect_color(83, 0.15f, 0.15f, 0.6f);
    expect_color(84, 0.49f, 0.43f, 0.24f);
    expect_color(92, 0.44f, 0.53f, 0.54f);
    for (int i = 93; i <= 98; ++i) expect_color(i, 0, 0, 0);
    expect_color(99, 1, 0, 1);
    expect_color(102, 1, 1, 1);
    for (int i = 103; i <= 110; ++i) expect_color(i, 0, 0, 0);
    expect_color(111, 0.5f, 0.5f, 0.4f);
    expect_color(116, 1, 1, 0.9f);
    expect_color(117, 0, 0, 0);
    expect_color(118, 0, 0, 0);

    // The table's brightness over all entries, a check on every row at once.
    double sum = 0;
    for (int i = 0; i < COL_COLOR_COUNT; ++i) sum += gColors[i][0] + gColors[i][1] + gColors[i][2];
    EXPECT_NEAR(sum, 133.83, 1e-3);
}

TEST(Colors, GammaTables)
{
    const unsigned char* a = gInterface.gamma_18;
    const unsigned char* b = gInterface.gamma_22;
    EXPECT_EQ(a[0], 0);
    EXPECT_EQ(b[0], 0);
    EXPECT_EQ(a[255], 255);
    EXPECT_EQ(b[255], 255);
    EXPECT_EQ(a[128], 155);
    EXPECT_EQ(b[128], 139);
    for (int i = 1; i < 256; ++i) {
        EXPECT_LE(a[i - 1], a[i]) << i;
        EXPECT_LE(b[i - 1], b[i]) << i;
        EXPECT_GE(a[i], b[i]) << i; // the smaller exponent lifts more
        EXPECT_EQ(a[i], (int)(std::pow(i / 255.0, 0.72) * 255 + 0.5)) << i;
        EXPECT_EQ(b[i], (int)(std::pow(i / 255.0, 0.88) * 255 + 0.5)) << i;
    }
}

TEST(Colors, SettingOneEntry)
{
    float before[COL_COLOR_COUNT][3];
    std::copy(&gColors[0][0], &gColors[0][0] + COL_COLOR_COUNT * 3, &before[0][0]);
    COL_set_color(117, 1, 1, 1);
    expect_color(117, 1, 1, 1);
    for (int i = 0; i < COL_COLOR_COUNT; ++i) {
        if (i == 117) continue;
        for (int c = 0; c < 3; ++c) EXPECT_EQ(gColors[i][c], before[i][c]) << i;
    }
}
