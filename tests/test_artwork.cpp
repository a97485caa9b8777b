// The program's artwork: tools/make_artwork.py reproduces the committed pictures byte for byte,
// and the pictures hold what start-up samples and what the widgets cut from them.
#include "foundation/resources.h"
#include "foundation/xmap.h"
#include "graphics/TEX_png.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace {

const std::string kRoot = std::filesystem::path(CORVANE_TEST_SOURCE_DIR).parent_path().string() + "/";
const std::vector<std::string> kLanguages = {"English", "French", "German", "Russian", "Italian", "Spanish"};

std::vector<std::string> picture_names()
{
    std::vector<std::string> names = {"interface.png", "background.png", "map.png"};
    for (const std::string& l : kLanguages)
        names.push_back("elements_" + l + ".png");
    return names;
}

// A picture as the program's PNG reader stores it: 8-bit RGBA, bottom row first.
struct Picture {
    int w = 0, h = 0;
    std::vector<unsigned char> px;
    // Texel (u, v) counted from the bottom-left corner.
    const unsigned char* at(int u, int v) const { return &px[((size_t)v * w + u) * 4]; }
    // Pixel (x, y) counted from the top-left corner.
    const unsigned char* at_top(int x, int y) const { return at(x, h - 1 - y); }
};

// Decodes with the program's own PNG reader into 8-bit RGBA, gamma correction off and on: a picture
// with a gAMA of 1/2.5 keeps its bytes either way, so what start-up samples is what the file holds.
Picture decode(const std::string& path)
{
    Picture pics[2];
    for (int gamma = 0; gamma < 2; ++gamma) {
        xmap_file view(path);
        unsigned char* px = nullptr;
        TEX_image_info info;
        const int ok = TEX_load_png(path, view, &px, 0, TEX_GL_RGBA, 0, 0, TEX_rule_keep, gamma, info, nullptr);
        EXPECT_EQ(ok, 1) << path;
        EXPECT_EQ(info.format, TEX_GL_RGBA) << path;
        EXPECT_EQ(info.row_pad, 0) << path;
        if (ok == 1 && px) {
            pics[gamma].w = info.width;
            pics[gamma].h = info.height;
            pics[gamma].px.assign(px, px + (size_t)info.width * info.height * 4);
        }
        free(px);
    }
    EXPECT_TRUE(pics[0].px == pics[1].px) << path << ": gamma correction changed the bytes";
    return pics[1];
}

// The chunk names of a PNG file in order, with its colour type and gAMA value.
struct PngLayout {
    std::vector<std::string> chunks;
    int colour_type = -1, bit_depth = -1;
    long gamma = -1;
};

PngLayout png_layout(const std::string& bytes)
{
    PngLayout l;
    if (bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0)
        return l;
    auto be32 = [&](size_t at) {
        return ((uint32_t)(unsigned char)bytes[at] << 24) | ((uint32_t)(unsigned char)bytes[at + 1] << 16) |
               ((uint32_t)(unsigned char)bytes[at + 2] << 8) | (uint32_t)(unsigned char)bytes[at + 3];
    };
    for (size_t at = 8; at + 12 <= bytes.size() && l.chunks.size() < 100;) {
        const uint32_t len = be32(at);
        if (len > bytes.size() - at - 12)
            break;
        const std::string kind = bytes.substr(at + 4, 4);
        l.chunks.push_back(kind);
        if (kind == "IHDR" && len == 13) {
            l.bit_depth = (unsigned char)bytes[at + 16];
            l.colour_type = (unsigned char)bytes[at + 17];
        }
        if (kind == "gAMA" && len == 4)
            l.gamma = be32(at + 8);
        at += 12 + len;
    }
    return l;
}

// A rectangle of texels, from the bottom-left corner, ends excluded.
struct Rect {
    int u0, v0, u1, v1;
    bool holds(int u, int v) const { return u >= u0 && u < u1 && v >= v0 && v < v1; }
};

// Where the widgets cut the interface sheet: bars (u, v, source width, height, cap), boxes (u, v,
// tile, side, bottom, top), 18 x 18 sprites (centre). A bar or box repeats the texels between its
// ends to any length, so they must be the same all along.
struct Sprite {
    Rect r;
    float side = 0, bottom = -1, top = -1; // the fixed ends; -1: not stretched that way
};

std::vector<Sprite> interface_sprites()
{
    std::vector<Sprite> r;
    const int bars[][5] = {{1, 487, 100, 26, 10},  {102, 487, 100, 26, 20}, {304, 486, 52, 26, 10},
                           {304, 459, 52, 26, 10}, {112, 161, 28, 16, 10},  {83, 161, 28, 16, 10},
                           {240, 242, 65, 24, 10}, {289, 219, 16, 16, 7},   {262, 133, 51, 26, 10},
                           {357, 488, 68, 24, 26}};
    for (const auto& b : bars)
        r.push_back({{b[0], b[1], b[0] + b[2], b[1] + b[3]}, (float)b[4]});
    const float boxes[][6] = {{1, 358, 100, 35, 30, 30},        {102, 358, 100, 35, 30, 30},
                              {203, 358, 100, 35, 30, 30},      {304, 358, 100, 35, 30, 30},
                              {405, 358, 100, 35, 30, 30},      {1, 289, 68, 23.8f, 20.4f, 20.4f},
                              {70, 315, 42, 20, 26, 14},        {113, 315, 42, 14.7f, 12.6f, 12.6f},
                              {440, 12, 44, 15.4f, 13.2f, 13.2f}};
    for (const auto& b : boxes) {
        const int u = (int)b[0], v = (int)b[1], t = (int)b[2];
        r.push_back({{u, v, u + t, v + t}, b[3], b[4], b[5]});
    }
    const int sprites[][2] = {{148, 187}, {148, 206}, {92, 132}, {92, 151}, {129, 187}, {129, 206}};
    for (const auto& s : sprites)
        r.push_back({{s[0] - 9, s[1] - 9, s[0] + 9, s[1] + 9}});
    return r;
}

// How many rows (or columns) of the stretched middle are not one colour all along.
int seams(const Picture& p, const Sprite& s)
{
    const Rect& r = s.r;
    const int v_end = std::min(r.v1, p.h);
    auto same = [&](int u0, int v0, int u1, int v1) {
        return std::equal(p.at(u0, v0), p.at(u0, v0) + 4, p.at(u1, v1));
    };
    int bad = 0;
    if (s.side > 0) {
        const int from = r.u0 + (int)std::ceil(s.side), to = r.u1 - (int)std::ceil(s.side);
        for (int v = r.v0; v < v_end; ++v)
            for (int u = from + 1; u < to; ++u)
                if (!same(from, v, u, v)) {
                    ++bad;
                    break;
                }
    }
    if (s.bottom >= 0) {
        const int from = r.v0 + (int)std::ceil(s.bottom), to = r.v1 - (int)std::ceil(s.top);
        for (int u = r.u0; u < r.u1; ++u)
            for (int v = from + 1; v < to; ++v)
                if (!same(u, from, u, v)) {
                    ++bad;
                    break;
                }
    }
    return bad;
}

struct Sample {
    int index, x, y; // colour index; pixel from the top-left corner
    unsigned char rgb[3];
};
const Sample kSamples[] = {
    {43, 319, 356, {68, 85, 105}},    {44, 319, 364, {97, 97, 92}},    {45, 319, 372, {23, 40, 60}},
    {46, 319, 380, {142, 143, 139}},  {47, 319, 388, {255, 255, 255}}, {49, 319, 396, {241, 241, 241}},
    {50, 319, 404, {23, 40, 60}},     {51, 319, 412, {112, 118, 128}}, {52, 319, 420, {49, 57, 71}},
    {54, 319, 428, {55, 60, 69}},     {55, 319, 436, {51, 59, 71}},    {56, 319, 444, {144, 226, 187}},
    {53, 395, 396, {226, 226, 226}},
};

// Where each picture of the button sheets starts, per language (picture i ends where i + 1 starts).
const int kElementsU[8][6] = {
    {0, 0, 0, 0, 0, 0},           {56, 91, 96, 75, 54, 60},     {145, 172, 181, 144, 212, 156},
    {246, 284, 256, 211, 312, 269}, {357, 477, 422, 346, 480, 421}, {489, 695, 611, 422, 673, 606},
    {605, 874, 762, 501, 840, 789}, {691, 958, 859, 616, 921, 892},
};
const int kWizardPictures[] = {0, 1, 2, 6}; // Quit, Back, Next, Preferences
const int kBands[] = {46, 0, 23};           // normal, pointer over, held; 22 rows each

} // namespace

TEST(Artwork, GeneratorReproducesTheCommittedPicturesAndTheProgramEmbedsThem)
{
    const std::string out = TS_new_dir("artwork");
    TS_result r = TS_run({"/usr/bin/python3", kRoot + "tools/make_artwork.py", out}, {}, 180);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::vector<std::string> made;
    for (const auto& e : std::filesystem::directory_iterator(out))
        made.push_back(e.path().filename().string());
    std::vector<std::string> want = picture_names();
    std::sort(made.begin(), made.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(made, want);
    for (const std::string& name : want) {
        const std::string committed = TS_read_file(kRoot + "resources/" + name);
        ASSERT_FALSE(committed.empty()) << name;
        EXPECT_TRUE(TS_read_file(out + name) == committed) << name << " differs from the generator's output";
        uint32_t size = 0;
        const unsigned char* embedded = RES_get_resource(name, size);
        ASSERT_NE(embedded, nullptr) << name << " is not embedded";
        EXPECT_TRUE(std::string((const char*)embedded, size) == committed) << name;

        // Only the header, gAMA 1/2.5, the data and the end: no time or text that could vary.
        const PngLayout l = png_layout(committed);
        ASSERT_GE(l.chunks.size(), 4u) << name;
        EXPECT_EQ(l.chunks[0], "IHDR") << name;
        EXPECT_EQ(l.chunks[1], "gAMA") << name;
        EXPECT_EQ(l.gamma, 40000) << name;
        EXPECT_EQ(l.chunks.back(), "IEND") << name;
        for (size_t i = 2; i + 1 < l.chunks.size(); ++i)
            EXPECT_EQ(l.chunks[i], "IDAT") << name;
        EXPECT_EQ(l.bit_depth, 8) << name;
        EXPECT_EQ(l.colour_type, name.rfind("elements_", 0) == 0 || name == "interface.png" ? 6 : 2) << name;
    }
}

TEST(Artwork, PicturesHoldTheSampledColoursTheSpritesAndTheWords)
{
    // Interface sheet: the thirteen samples, alone among other colours, outside every sprite.
    const Picture ui = decode(kRoot + "resources/interface.png");
    ASSERT_EQ(ui.w, 512);
    ASSERT_EQ(ui.h, 512);
    const std::vector<Sprite> sprites = interface_sprites();
    float c44[3] = {}, c47[3] = {};
    for (const Sample& s : kSamples) {
        const unsigned char* p = ui.at_top(s.x, s.y);
        EXPECT_EQ(std::vector<int>(p, p + 4), std::vector<int>({s.rgb[0], s.rgb[1], s.rgb[2], 255}))
            << "colour " << s.index;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                if (dx || dy) {
                    EXPECT_FALSE(std::equal(s.rgb, s.rgb + 3, ui.at_top(s.x + dx, s.y + dy)))
                        << "colour " << s.index << " has a neighbour of its own colour at " << dx << "," << dy;
                }
            }
        for (const Sprite& sp : sprites)
            EXPECT_FALSE(sp.r.holds(s.x, 511 - s.y) || sp.r.holds(s.x, 511 - s.y + 512))
                << "a sprite at " << sp.r.u0 << "," << sp.r.v0 << " covers colour " << s.index;
        for (int i = 0; i < 3; ++i) {
            if (s.index == 44)
                c44[i] = p[i] / 255.0f;
            if (s.index == 47)
                c47[i] = p[i] / 255.0f;
        }
    }
    const float c48[3] = {(c47[0] + c44[0]) / 2.0f, (c47[1] + c44[1]) / 2.0f, (c47[2] + c44[2]) / 2.0f};
    EXPECT_NEAR(c48[0], 176.0f / 255, 1e-6);
    EXPECT_NEAR(c48[1], 176.0f / 255, 1e-6);
    EXPECT_NEAR(c48[2], 173.5f / 255, 1e-6);
    // Every sprite is drawn, stretches without seams, and nothing lies outside the sprites and the
    // samples' grounds. Bars 0 and 1 reach one row above the top, where the sheet repeats its
    // transparent bottom row.
    for (const Sprite& sp : sprites) {
        const Rect& r = sp.r;
        EXPECT_EQ(seams(ui, sp), 0) << "sprite at " << r.u0 << "," << r.v0;
        int ink = 0;
        for (int v = r.v0; v < std::min(r.v1, 512); ++v)
            for (int u = r.u0; u < r.u1; ++u)
                ink += ui.at(u, v)[3] != 0;
        EXPECT_GT(ink, (r.u1 - r.u0) * (r.v1 - r.v0) / 4) << "sprite at " << r.u0 << "," << r.v0;
    }
    for (int u = 0; u < 512; ++u)
        EXPECT_EQ(ui.at(u, 0)[3], 0) << "bottom row at " << u;
    int stray = 0;
    for (int v = 0; v < 512; ++v)
        for (int u = 0; u < 512; ++u) {
            if (ui.at(u, v)[3] == 0)
                continue;
            bool placed = std::any_of(sprites.begin(), sprites.end(), [&](const Sprite& sp) { return sp.r.holds(u, v); });
            for (const Sample& s : kSamples)
                placed = placed || (std::abs(u - s.x) <= 4 && std::abs(v - (511 - s.y)) <= 4);
            stray += !placed;
        }
    EXPECT_EQ(stray, 0) << "visible pixels outside every sprite";

    // Button sheets: each word inside its picture's range and band, 3 texels clear of every edge;
    // nothing else but the three button bars (rows 96 to 111.5) and the panel box.
    for (int lang = 0; lang < 6; ++lang) {
        const std::string name = "elements_" + kLanguages[lang] + ".png";
        const Picture el = decode(kRoot + "resources/" + name);
        ASSERT_EQ(el.w, 1024) << name;
        ASSERT_EQ(el.h, 128) << name;
        const Sprite stretched[] = {{{877, 96, 925, 112}, 16}, {{926, 96, 974, 112}, 16}, {{975, 96, 1023, 112}, 16},
                                    {{982, 2, 1023, 43}, 14.35f, 12.3f, 12.3f}};
        std::vector<Rect> allowed;
        for (const Sprite& sp : stretched) {
            const Rect& r = sp.r;
            allowed.push_back(r);
            EXPECT_EQ(seams(el, sp), 0) << name << " at " << r.u0 << "," << r.v0;
            int ink = 0;
            for (int v = r.v0; v < r.v1; ++v)
                for (int u = r.u0; u < r.u1; ++u)
                    ink += el.at(u, v)[3] != 0;
            EXPECT_GT(ink, 0) << name << " at " << r.u0 << "," << r.v0;
        }
        for (int pic : kWizardPictures)
            for (int band : kBands) {
                const Rect r = {kElementsU[pic][lang], band, kElementsU[pic + 1][lang], band + 22};
                allowed.push_back(r);
                int u_lo = 9999, u_hi = -1, v_lo = 9999, v_hi = -1;
                for (int v = r.v0; v < r.v1; ++v)
                    for (int u = r.u0; u < r.u1; ++u)
                        if (el.at(u, v)[3] != 0) {
                            u_lo = std::min(u_lo, u), u_hi = std::max(u_hi, u);
                            v_lo = std::min(v_lo, v), v_hi = std::max(v_hi, v);
                        }
                ASSERT_GE(u_hi, 0) << name << ": picture " << pic << " band " << band << " is empty";
                EXPECT_GE(u_lo, r.u0 + 3) << name << " picture " << pic;
                EXPECT_LT(u_hi, r.u1 - 3) << name << " picture " << pic;
                EXPECT_GE(v_lo, r.v0 + 3) << name << " picture " << pic << " band " << band;
                EXPECT_LT(v_hi, r.v1 - 3) << name << " picture " << pic << " band " << band;
            }
        int stray = 0;
        for (int v = 0; v < 128; ++v)
            for (int u = 0; u < 1024; ++u)
                stray += el.at(u, v)[3] != 0 &&
                         std::none_of(allowed.begin(), allowed.end(), [&](const Rect& r) { return r.holds(u, v); });
        EXPECT_EQ(stray, 0) << name << ": visible pixels outside the words, bars and box";
    }

    const Picture bg = decode(kRoot + "resources/background.png");
    EXPECT_EQ(bg.w, 1024);
    EXPECT_EQ(bg.h, 1024);
    const Picture map = decode(kRoot + "resources/map.png");
    EXPECT_GT(map.w, 0);
    EXPECT_GT(map.h, 0);
}
