// The colour scheme as the program's statics build it: the colour table's defaults, the two
// gamma tables, setting one entry, and the adjustment a drawn colour goes through.
#include "frame/hl_colors.h"
#include "graphics/OGL_draw.h"

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

// The adjustment that setting a colour makes: gains unless raw, monochrome, red shift.
TEST(Colors, AdjustmentWithGainsMonochromeAndRedShift)
{
    struct Rgba {
        float r, g, b, a;
    };
    auto adjust = [](Rgba c, int raw) {
        gInterface.OGL_adjust_color(&c.r, &c.g, &c.b, &c.a, raw);
        return c;
    };
    auto expect = [](Rgba got, float r, float g, float b, float a) {
        EXPECT_NEAR(got.r, r, 1e-6);
        EXPECT_NEAR(got.g, g, 1e-6);
        EXPECT_NEAR(got.b, b, 1e-6);
        EXPECT_EQ(got.a, a);
    };
    const COL_scheme saved = gInterface;

    // Defaults: nothing changes.
    expect(adjust({0.3f, 0.6f, 0.9f, 0.5f}, 0), 0.3f, 0.6f, 0.9f, 0.5f);

    // Gains scale only what is not raw.
    gInterface.red_gain = 0.5f;
    gInterface.green_gain = 2.0f;
    gInterface.blue_gain = 0.0f;
    expect(adjust({1, 0.25f, 1, 1}, 0), 0.5f, 0.5f, 0, 1);
    expect(adjust({1, 0.25f, 1, 1}, 1), 1, 0.25f, 1, 1);

    // Monochrome: green of the summed brightness, clamped to 0.01 .. 1.
    gInterface.red_gain = gInterface.green_gain = gInterface.blue_gain = 1;
    gInterface.monochrome = 1;
    expect(adjust({0.1f, 0.2f, 0.3f, 0.7f}, 0), 0, 0.6f, 0, 0.7f);
    expect(adjust({0.9f, 0.9f, 0.9f, 1}, 1), 0, 1, 0, 1);
    expect(adjust({0, 0, 0, 1}, 1), 0, 0.01f, 0, 1);

    // Red shift: halfway at 0.25, all the way at 0.5 and above; monochrome is not consulted.
    gInterface.red_shift = 0.25f;
    expect(adjust({0.1f, 0.2f, 0.3f, 1}, 0), 0.35f, 0.1f, 0.15f, 1);
    gInterface.red_shift = 0.5f;
    expect(adjust({0.1f, 0.2f, 0.3f, 1}, 0), 0.6f, 0, 0, 1);
    gInterface.red_shift = 3.0f;
    expect(adjust({0.8f, 0.8f, 0.8f, 1}, 1), 1, 0, 0, 1);
    // A red above the brightness it fades to comes down to it.
    gInterface.monochrome = 0;
    gInterface.red_shift = 0.25f;
    expect(adjust({1, 0, 0, 1}, 0), 1, 0, 0, 1);
    gInterface.red_gain = 0.5f;
    expect(adjust({1, 0.5f, 0, 1}, 0), 0.75f, 0.25f, 0, 1);

    gInterface = saved;
}
