// Run-length images: the encoder's words for small strips, padding, cut rows and the end word;
// round trips of ImageMagick's own pictures (logo:, rose: and a 2048 x 2048 one made from them)
// at widths on and off the strip; rectangles that split runs; per-pixel blending.
#include "graphics/TEX_rle.h"
#include "support/test_support.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

using Pixels = std::vector<uint32_t>;

struct Picture {
    int w = 0, h = 0;
    Pixels px; // rows as ImageMagick gives them, RGBA bytes in memory order
};

// A picture decoded by ImageMagick itself to raw RGBA.
Picture magick(const std::vector<std::string>& args, int w, int h, const std::string& name)
{
    Picture p;
    std::string raw = TS_scratch() + name + ".rgba";
    std::vector<std::string> argv = {"convert"};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.insert(argv.end(), {"-depth", "8", "rgba:" + raw});
    TS_result r = TS_run(argv, {}, 120);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::string bytes = TS_read_file(raw);
    EXPECT_EQ(bytes.size(), (size_t)w * h * 4) << name;
    if (bytes.size() != (size_t)w * h * 4) return p;
    p.w = w;
    p.h = h;
    p.px.resize((size_t)w * h);
    std::memcpy(p.px.data(), bytes.data(), bytes.size());
    return p;
}

// The stream as a vector: owns and frees the block. words counts the runs' words up to
// enc_w x rows pixels (the end word not included).
struct Encoded {
    RLE_image block = nullptr;
    size_t words = 0;
    ~Encoded() { std::free(block); }
};

size_t count_words(const int32_t* s, int64_t pixels)
{
    size_t i = 0;
    while (pixels > 0) {
        int32_t n = s[i];
        if (n == 0) break;
        pixels -= n > 0 ? n : -(int64_t)n;
        i += n > 0 ? 1 + n : 2;
    }
    return i;
}

void encode(Encoded& e, const uint32_t* px, int w, int h, int enc_w, int enc_h, int strip, int row_pad = 0)
{
    TEX_image_info info;
    info.format = 0x1908;
    info.width = w;
    info.height = h;
    info.row_pad = row_pad;
    RLE_encode_image(info, px, enc_w, enc_h, strip, &e.block);
    ASSERT_NE(e.block, nullptr);
    e.words = count_words(e.block, (int64_t)(enc_w / strip * strip) * std::min(h, enc_h));
}

std::vector<int32_t> words_of(const Encoded& e, size_t n)
{
    return std::vector<int32_t>(e.block, e.block + n);
}

// The source as the encoded picture should read: enc_w x enc_h, padding and missing rows 0.
Pixels expected_full(const uint32_t* px, int w, int h, int enc_w, int enc_h, int strip, int stride)
{
    const int covered = enc_w / strip * strip;
    Pixels out((size_t)enc_w * enc_h, 0);
    for (int y = 0; y < std::min(h, enc_h); ++y)
        for (int x = 0; x < std::min(w, covered); ++x) out[(size_t)y * enc_w + x] = px[(size_t)y * stride + x];
    return out;
}

// Decodes the rectangle (x, y, rw, rh) of a picture encoded enc_w wide into a buffer with guard
// words on both sides, and checks the guards.
Pixels decode(const Encoded& e, int enc_w, int x, int y, int rw, int rh)
{
    const size_t guard = 64, n = (size_t)rw * rh;
    Pixels buf(n + 2 * guard, 0xDEADBEEFu);
    RLE_decode_rect(e.block, (int64_t)y * enc_w + x, enc_w - rw, rw, rh, buf.data() + guard);
    for (size_t i = 0; i < guard; ++i) {
        EXPECT_EQ(buf[i], 0xDEADBEEFu) << "written before the rectangle";
        EXPECT_EQ(buf[guard + n + i], 0xDEADBEEFu) << "written after the rectangle";
    }
    return Pixels(buf.begin() + guard, buf.begin() + guard + n);
}

Pixels crop(const Pixels& full, int enc_w, int x, int y, int rw, int rh)
{
    Pixels out;
    for (int j = 0; j < rh; ++j)
        for (int i = 0; i < rw; ++i) out.push_back(full[(size_t)(y + j) * enc_w + x + i]);
    return out;
}

// The blend of one pixel, written from the rule: f = ((a + 1) x coverage) >> 8, colours mixed
// f : 256 - f, alphas added up to 255.
uint32_t blend_ref(uint32_t d, uint32_t s, int cov)
{
    uint32_t a = s >> 24;
    if (a == 0) return d;
    uint32_t f = ((a + 1) * cov) >> 8;
    uint32_t r = ((s & 0xFF) * f + (d & 0xFF) * (256 - f)) >> 8;
    uint32_t g = (((s >> 8) & 0xFF) * f + ((d >> 8) & 0xFF) * (256 - f)) >> 8;
    uint32_t b = (((s >> 16) & 0xFF) * f + ((d >> 16) & 0xFF) * (256 - f)) >> 8;
    uint32_t al = (d >> 24) + a > 255 ? 255 : (d >> 24) + a;
    return r | g << 8 | b << 16 | al << 24;
}

const uint32_t A = 0xFF0000FFu, B = 0xFF00FF00u, C = 0x80FF0000u;

} // namespace

TEST(Rle, WordsOfSmallStrips)
{
    Pixels s1 = {A, A, B, B, B};
    Encoded e1;
    encode(e1, s1.data(), 5, 1, 5, 1, 5);
    EXPECT_EQ(words_of(e1, e1.words), (std::vector<int32_t>{2, (int32_t)A, (int32_t)A, -3, (int32_t)B}));

    Pixels s2 = {A, B, A, B};
    Encoded e2;
    encode(e2, s2.data(), 4, 1, 4, 1, 4);
    EXPECT_EQ(words_of(e2, e2.words), (std::vector<int32_t>{4, (int32_t)A, (int32_t)B, (int32_t)A, (int32_t)B}));

    // Two equal pixels stay literal; a repeat reaching the strip's end emits nothing more; a
    // strip without real pixels is all padding; runs never cross strips. 8 bytes of row padding
    // (the two C after row 0) are passed; 2 rows of 3 end with the end word.
    Pixels s3 = {B, A, A, A, C, C, /* padding */ C, C, /* row 1 */ C, C, 7, 7, 0, 0};
    Encoded e3;
    encode(e3, s3.data(), 6, 2, 12, 3, 4, 8);
    const int32_t a = (int32_t)A, b = (int32_t)B, c = (int32_t)C;
    const std::vector<int32_t> want = {1, b, -3, a, 2, c, c, -2, 0, -4, 0, // B | A A A | C C, pad | pad
                                       4, c, c, 7, 7, 2, 0, 0, -2, 0, -4, 0, // C C 7 7 | 0 0, pad | pad
                                       0};
    ASSERT_EQ(e3.words + 1, want.size());
    EXPECT_EQ(words_of(e3, want.size()), want);

    // A strip of four equal pixels is one repeat and nothing more.
    Pixels s4 = {C, C, C, C};
    Encoded e4;
    encode(e4, s4.data(), 4, 1, 4, 1, 4);
    EXPECT_EQ(words_of(e4, e4.words), (std::vector<int32_t>{-4, c}));
}

TEST(Rle, PaddingCutRowsAndTheEndWord)
{
    // 500 pixels encoded 512 wide in one strip: every row ends -12, 0.
    Pixels src(500 * 100);
    for (size_t i = 0; i < src.size(); ++i) src[i] = 0xFF000000u | (uint32_t)(i / 7 * 2654435761u >> 8);
    Encoded e;
    encode(e, src.data(), 500, 100, 512, 128, 512);
    const int32_t* w = e.block;
    for (int row = 0; row < 100; ++row) {
        size_t end = count_words(e.block, (int64_t)512 * (row + 1));
        EXPECT_EQ(w[end - 2], -12) << row;
        EXPECT_EQ(w[end - 1], 0) << row;
    }
    // 100 rows encoded 128 high: the end word follows, and rows 100 to 127 read as 0.
    EXPECT_EQ(w[e.words], 0);
    Pixels tail = decode(e, 512, 0, 96, 512, 32);
    Pixels full = expected_full(src.data(), 500, 100, 512, 128, 512, 500);
    EXPECT_EQ(tail, crop(full, 512, 0, 96, 512, 32));
    for (size_t i = 4 * 512; i < tail.size(); ++i) ASSERT_EQ(tail[i], 0u) << i;

    // Exactly the encoded height: the last row's runs are the last words, with no end word.
    Encoded f;
    encode(f, src.data(), 500, 100, 512, 100, 512);
    EXPECT_EQ(count_words(f.block, (int64_t)512 * 100), e.words);
    EXPECT_EQ(std::memcmp(f.block, e.block, e.words * 4), 0);

    // A source wider than the encoded width: every row starts at its own first pixel.
    Encoded g;
    encode(g, src.data(), 500, 100, 384, 100, 128);
    EXPECT_EQ(decode(g, 384, 0, 0, 384, 100), expected_full(src.data(), 500, 100, 384, 100, 128, 500));
    // An encoded width that is no whole number of strips codes its whole strips only.
    Encoded h;
    encode(h, src.data(), 500, 100, 300, 100, 128);
    Pixels hw = expected_full(src.data(), 500, 100, 256, 100, 128, 500);
    EXPECT_EQ(decode(h, 256, 0, 0, 256, 100), hw);
}

TEST(Rle, RoundTripsOfRealPictures)
{
    Picture logo = magick({"logo:"}, 640, 480, "logo");
    Picture rose = magick({"rose:"}, 70, 46, "rose");
    Picture big = magick({"-size", "2048x2048", "tile:logo:", "(", "rose:", "-resize", "2000%", ")", "-gravity", "center",
                          "-composite"},
                         2048, 2048, "big");
    ASSERT_FALSE(logo.px.empty() || rose.px.empty() || big.px.empty());

    struct Case {
        const Picture* p;
        int enc_w, enc_h, strip;
    } cases[] = {
        {&logo, 640, 480, 64},   {&logo, 768, 512, 256}, {&logo, 512, 480, 128}, {&logo, 700, 490, 70},
        {&rose, 70, 46, 70},     {&rose, 128, 64, 64},   {&rose, 96, 46, 32},    {&rose, 64, 40, 16},
        {&big, 2048, 2048, 512}, {&big, 2100, 2048, 300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.p->w) + " as " + std::to_string(c.enc_w) + "x" + std::to_string(c.enc_h) +
                     " strip " + std::to_string(c.strip));
        Encoded e;
        encode(e, c.p->px.data(), c.p->w, c.p->h, c.enc_w, c.enc_h, c.strip);
        const int rows = std::min(c.p->h, c.enc_h);
        if (c.p->h < c.enc_h) {
            EXPECT_EQ(e.block[e.words], 0); // the end word
        }
        Pixels full = expected_full(c.p->px.data(), c.p->w, c.p->h, c.enc_w, c.enc_h, c.strip, c.p->w);
        EXPECT_EQ(decode(e, c.enc_w, 0, 0, c.enc_w, rows), crop(full, c.enc_w, 0, 0, c.enc_w, rows));
        // Every strip-aligned tile of one strip by a third of the rows.
        const int th = std::max(rows / 3, 1);
        for (int x = 0; x + c.strip <= c.enc_w; x += c.strip)
            for (int y = 0; y + th <= c.enc_h; y += th)
                ASSERT_EQ(decode(e, c.enc_w, x, y, c.strip, th), crop(full, c.enc_w, x, y, c.strip, th)) << x << "," << y;
    }

    // The backdrop's case: tile (row 1, column 2) of the 2048 picture in strips of 512.
    Encoded e;
    encode(e, big.px.data(), 2048, 2048, 2048, 2048, 512);
    Pixels tile = decode(e, 2048, 1024, 512, 512, 512);
    for (int y = 0; y < 512; y += 37)
        for (int x = 0; x < 512; x += 41) ASSERT_EQ(tile[(size_t)y * 512 + x], big.px[(size_t)(512 + y) * 2048 + 1024 + x]);
    // A picture that is mostly runs costs far fewer words than pixels.
    EXPECT_LT(e.words, (size_t)2048 * 2048 / 2);
}

TEST(Rle, RectanglesThatSplitRunsStayInside)
{
    Picture rose = magick({"rose:"}, 70, 46, "rose");
    ASSERT_FALSE(rose.px.empty());
    Pixels src(200 * 60);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 200; ++x)
            src[(size_t)y * 200 + x] = x < 100 ? (x / 13 % 2 ? A : B) : rose.px[(size_t)(y % 46) * 70 + x % 70];
    Encoded e;
    encode(e, src.data(), 200, 60, 256, 64, 64);
    Pixels full = expected_full(src.data(), 200, 60, 256, 64, 64, 200);
    unsigned seed = 12345;
    auto rnd = [&](int n) { return (int)((seed = seed * 1103515245u + 12345u) >> 8) % n; };
    for (int i = 0; i < 400; ++i) {
        int x = rnd(256), y = rnd(64);
        int w = 1 + rnd(256 - x), h = 1 + rnd(64 - y);
        ASSERT_EQ(decode(e, 256, x, y, w, h), crop(full, 256, x, y, w, h)) << x << "," << y << " " << w << "x" << h;
        // Blending writes inside too, onto a background of its own.
        const size_t guard = 16, n = (size_t)w * h;
        Pixels dst(n + 2 * guard, 0x40302010u);
        RLE_blend_rect(e.block, (int64_t)y * 256 + x, 256 - w, w, h, dst.data() + guard, 200);
        for (size_t g = 0; g < guard; ++g) {
            ASSERT_EQ(dst[g], 0x40302010u);
            ASSERT_EQ(dst[guard + n + g], 0x40302010u);
        }
        Pixels want = crop(full, 256, x, y, w, h);
        for (size_t k = 0; k < n; ++k) ASSERT_EQ(dst[guard + k], blend_ref(0x40302010u, want[k], 200)) << k;
    }
}

TEST(Rle, BlendingPerPixel)
{
    // One pixel: alpha 0 leaves the destination; opaque at coverage 255 keeps 1/256 of it.
    uint32_t d = 0x80402010u;
    RLE_blend_pixel(&d, 0x00FFFFFFu, 255);
    EXPECT_EQ(d, 0x80402010u);
    RLE_blend_pixel(&d, 0xFF000000u, 255); // black, opaque: f = 255, g = 1
    EXPECT_EQ(d, ((0x10u * 1) >> 8) | ((0x20u * 1) >> 8) << 8 | ((0x40u * 1) >> 8) << 16 | 0xFFu << 24);
    d = 0x00FFFFFFu;
    RLE_blend_pixel(&d, 0xFF000000u, 255);
    EXPECT_EQ(d, 0xFF000000u); // 255 x 1 >> 8 = 0
    d = 0x10C8C8C8u;
    RLE_blend_pixel(&d, 0x7F0000FFu, 128); // f = 128 x 128 >> 8 = 64
    EXPECT_EQ(d, ((255u * 64 + 200 * 192) >> 8) | ((200u * 192) >> 8) << 8 | ((200u * 192) >> 8) << 16 |
                     (0x10u + 0x7F) << 24);

    // A picture with alpha blended onto ImageMagick's rose at several coverages.
    Picture rose = magick({"rose:"}, 70, 46, "rose");
    Picture fg = magick({"rose:", "-flop", "-alpha", "set", "-channel", "A", "-fx", "(i+j)%3==0 ? 0 : (i*7+j*3)/200",
                         "+channel"},
                        70, 46, "rose-alpha");
    ASSERT_FALSE(rose.px.empty() || fg.px.empty());
    Encoded e;
    encode(e, fg.px.data(), 70, 46, 80, 50, 40);
    for (int cov : {0, 1, 100, 255}) {
        Pixels dst((size_t)80 * 46, 0x11223344u);
        for (int y = 0; y < 46; ++y)
            for (int x = 0; x < 70; ++x) dst[(size_t)y * 80 + x] = rose.px[(size_t)y * 70 + x];
        Pixels before = dst;
        RLE_blend_rect(e.block, 0, 0, 80, 46, dst.data(), cov);
        for (int y = 0; y < 46; ++y)
            for (int x = 0; x < 80; ++x) {
                uint32_t s = x < 70 ? fg.px[(size_t)y * 70 + x] : 0;
                uint32_t want = cov == 0 ? before[(size_t)y * 80 + x] : blend_ref(before[(size_t)y * 80 + x], s, cov);
                ASSERT_EQ(dst[(size_t)y * 80 + x], want) << cov << " " << x << "," << y;
            }
    }

    // The end word stops the blend: rows past the source stay as they were.
    Pixels src((size_t)40 * 10, 0xFF00FF00u);
    Encoded s;
    encode(s, src.data(), 40, 10, 40, 16, 40);
    Pixels dst((size_t)40 * 16, 0x01020304u);
    RLE_blend_rect(s.block, 0, 0, 40, 16, dst.data(), 255);
    for (int i = 0; i < 40 * 16; ++i) ASSERT_EQ(dst[i], i < 400 ? blend_ref(0x01020304u, 0xFF00FF00u, 255) : 0x01020304u);
    // Passing into the end word stops it before anything is written.
    Pixels dst2((size_t)40 * 2, 0x01020304u);
    RLE_blend_rect(s.block, 40 * 12, 0, 40, 2, dst2.data(), 255);
    for (uint32_t v : dst2) ASSERT_EQ(v, 0x01020304u);
}
