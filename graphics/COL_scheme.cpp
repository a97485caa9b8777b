// The colour scheme record, its default colours and gamma tables (see COL_scheme.h).
#include "graphics/COL_scheme.h"

#include <cmath>
#include <cstring>

// Entries 43 to 56 are filled at start-up from the interface picture, 93 to 98 pulse once the
// frames run, and 117 is set by the screens that use it; all start black.
static const float kDefaultColors[COL_COLOR_COUNT][3] = {
    {1, 1, 1},          // 0
    {1, 0.2f, 0.2f},    // 1
    {1, 1, 0.2f},       // 2
    {0.7f, 0.7f, 0.7f}, // 3
    {0.8f, 0, 0},       // 4
    {1, 1, 0},          // 5
    {0.3f, 0.3f, 0.3f}, // 6
    {0.2f, 0, 0},       // 7
    {1, 0.8f, 0.2f},    // 8
    {0.1f, 0.1f, 0.1f}, // 9
    {0, 0.8f, 0},       // 10
    {0, 0, 0},          // 11
    {0, 0, 0},          // 12
    {0, 0.4f, 0},       // 13
    {0, 0, 0},          // 14
    {0.4f, 0.4f, 1},    // 15
    {0, 0, 0},          // 16
    {0, 0, 0.6f},       // 17
    {0.5f, 0.55f, 0.6f},   // 18
    {0.2f, 0.2f, 0.25f},   // 19
    {0.9f, 0.9f, 0.9f},    // 20
    {0.8f, 0.1f, 0.1f},    // 21
    {0.88f, 0.88f, 1},     // 22
    {0.84f, 0.75f, 0.63f}, // 23
    {0.9f, 0.9f, 0.9f},    // 24
    {0.1f, 0.1f, 0.1f},    // 25
    {0, 0, 0},             // 26
    {0.9f, 0.9f, 0.9f},    // 27
    {0, 0, 0},             // 28
    {1, 1, 1},             // 29
    {1, 1, 1},             // 30
    {0.9f, 0.9f, 1},       // 31
    {0.9f, 0.9f, 1},       // 32
    {0.84f, 0.75f, 0.63f}, // 33
    {0.84f, 0.75f, 0.63f}, // 34
    {0, 0, 0},             // 35
    {1, 1, 1},             // 36
    {1, 1, 1},             // 37
    {1, 1, 1},             // 38
    {1, 1, 1},             // 39
    {0.84f, 0.75f, 0.63f}, // 40
    {0.84f, 0.75f, 0.63f}, // 41
    {1, 1, 1},             // 42
    {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, // 43 to 48
    {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, // 49 to 54
    {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, // 55 to 60
    {1, 1, 1},             // 61
    {0.4f, 1, 0.4f},       // 62
    {1, 0.4f, 0.4f},       // 63
    {1, 1, 0.6f},          // 64
    {0.7f, 0.7f, 1},       // 65
    {1, 0.5f, 0},          // 66
    {0.8f, 0.8f, 0.8f},    // 67
    {0, 1, 0},             // 68
    {1, 0.2f, 0.2f},       // 69
    {1, 1, 0.2f},          // 70
    {0.4f, 0.4f, 1},       // 71
    {0.5f, 0.3f, 0},       // 72
    {0.5f, 0.5f, 0.5f},    // 73
    {0, 0.6f, 0},          // 74
    {0.6f, 0.2f, 0},       // 75
    {1, 1, 0},             // 76
    {0.2f, 0.2f, 0.8f},    // 77
    {1, 0.4f, 0},          // 78
    {0.2f, 0.2f, 0.2f},    // 79
    {0, 0.2f, 0},          // 80
    {1, 0, 0},             // 81
    {0.6f, 0.6f, 0},       // 82
    {0.15f, 0.15f, 0.6f},  // 83
    {0.49f, 0.43f, 0.24f}, // 84
    {0, 0, 0},             // 85
    {0, 0.1f, 0},          // 86
    {1, 0.2f, 1},          // 87
    {0.5f, 0, 0.5f},       // 88
    {1, 0, 1},             // 89
    {0, 1, 1},             // 90
    {1, 1, 0},             // 91
    {0.44f, 0.53f, 0.54f}, // 92
    {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, // 93 to 98
    {1, 0, 1},             // 99
    {0, 0, 0},             // 100
    {1, 0, 1},             // 101
    {1, 1, 1},             // 102
    {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, // 103 to 106
    {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, // 107 to 110
    {0.5f, 0.5f, 0.4f},    // 111
    {1, 0.3f, 0},          // 112
    {0.5f, 0.5f, 0.4f},    // 113
    {0.8f, 0.8f, 0.7f},    // 114
    {0, 0.6f, 0.2f},       // 115
    {1, 1, 0.9f},          // 116
    {0, 0, 0},             // 117
    {0, 0, 0},             // 118
};

COL_scheme gInterface;
float (&gColors)[COL_COLOR_COUNT][3] = gInterface.colors;

void COL_build_gamma_table(COL_gamma_table& table, double exponent)
{
    for (int i = 0; i < 256; ++i) {
        const double y = i == 0 ? 0.0 : std::pow(i / 255.0, exponent);
        table[i] = (uint8_t)(int)(y * 255.0 + 0.5);
    }
}

COL_scheme::COL_scheme()
{
    gamma = 2.5f;
    COL_build_gamma_table(gamma_18, 1.8 / gamma);
    COL_build_gamma_table(gamma_22, 2.2 / gamma);
    std::memcpy(colors, kDefaultColors, sizeof colors);
    red_gain = red_back_gain = green_gain = green_back_gain = blue_gain = blue_back_gain = 1.0f;
    monochrome = 0;
    pulse = 0;
    red_shift = 0;
}

COL_scheme::~COL_scheme()
{
}
