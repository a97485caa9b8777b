// Image buffers and the PNG, BMP and DDS readers against pictures made and decoded by ImageMagick,
// with cut and hostile files. Alerts run in automation mode, so they land in the log.
#include "foundation/options.h"
#include "frame/hl_init.h"
#include "graphics/COL_scheme.h"
#include "graphics/TEX_bmp.h"
#include "graphics/TEX_dds.h"
#include "graphics/TEX_png.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <squish.h>

#include <cstdlib>

using bytes_t = std::string;
static std::string gDir, gLogPath;

static std::string log_text() { return TS_read_log(gLogPath); }

// A picture made by convert from the arguments (prefix: the output format); its path.
static std::string make(const std::string& name, const std::vector<std::string>& args, const std::string& prefix = "")
{
    std::vector<std::string> argv = {"convert"};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(prefix + gDir + name);
    EXPECT_EQ(TS_run(argv).exit_code, 0) << name;
    return gDir + name;
}

// convert's own decoding of the first picture of the file: RGBA, top row first.
static std::string im_rgba(const std::string& path, int depth = 8)
{
    return TS_run({"convert", path + "[0]", "-depth", std::to_string(depth), "-endian", "MSB", "rgba:-"}).out;
}

// Rows of a top-down picture in bottom-up order, bpp bytes a pixel.
static bytes_t bottom_up(const bytes_t& top_down, int w, int h, int bpp)
{
    bytes_t out;
    for (int y = h - 1; y >= 0; --y) out += top_down.substr((size_t)y * w * bpp, (size_t)w * bpp);
    return out;
}

static int max_diff(const bytes_t& a, const bytes_t& b)
{
    if (a.size() != b.size()) return 999;
    int d = 0;
    for (size_t i = 0; i < a.size(); ++i) d = std::max(d, std::abs((unsigned char)a[i] - (unsigned char)b[i]));
    return d;
}

static size_t buffer_bytes(const TEX_image_info& i, int pow2)
{
    const int rows = pow2 ? TEX_next_pow2(i.height) : i.height;
    return (size_t)rows * (size_t)(i.width * TEX_bytes_per_pixel(i.format) + i.row_pad);
}

struct Read {
    int ok = 0;
    TEX_image_info info;
    uint8_t kind = 0;
    bytes_t px;
};

static Read read_png(const bytes_t& file, int32_t wanted, int rule = 0, int gamma = 0, int pow2 = 0, int row_width = 0,
                     unsigned char* buf = nullptr, int64_t size = 0)
{
    TS_write_file(gDir + "in.png", file);
    xmap_file view(gDir + "in.png");
    Read r;
    unsigned char* px = buf;
    r.ok = TEX_load_png("in.png", view, &px, size, wanted, row_width, pow2, rule, gamma, r.info, &r.kind);
    if (r.ok) r.px.assign((char*)px, buffer_bytes(r.info, pow2));
    if (!buf) free(px);
    return r;
}

static Read read_bmp(const bytes_t& file, int32_t wanted, int pow2 = 0)
{
    TS_write_file(gDir + "in.bmp", file);
    xmap_file view(gDir + "in.bmp");
    Read r;
    unsigned char* px = nullptr;
    r.ok = TEX_load_bmp("in.bmp", view, &px, 0, wanted, 0, pow2, r.info);
    if (r.ok) r.px.assign((char*)px, buffer_bytes(r.info, pow2));
    free(px);
    return r;
}

static uint32_t crc32(const unsigned char* p, size_t n)
{
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = c >> 1 ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

// The PNG with its IHDR's sides replaced (CRC kept right), or a text chunk put before the first IDAT.
static bytes_t png_with_sides(bytes_t f, uint32_t w, uint32_t h)
{
    for (int i = 0; i < 4; ++i) f[16 + i] = (char)(w >> (24 - 8 * i)), f[20 + i] = (char)(h >> (24 - 8 * i));
    uint32_t crc = crc32((const unsigned char*)f.data() + 12, 17);
    for (int i = 0; i < 4; ++i) f[29 + i] = (char)(crc >> (24 - 8 * i));
    return f;
}

static bytes_t png_with_text(const bytes_t& f, const std::string& key, const std::string& text)
{
    bytes_t body = "tEXt" + key + std::string(1, '\0') + text, len(4, 0), crc(4, 0);
    uint32_t c = crc32((const unsigned char*)body.data(), body.size());
    for (int i = 0; i < 4; ++i) len[i] = (char)((body.size() - 4) >> (24 - 8 * i)), crc[i] = (char)(c >> (24 - 8 * i));
    size_t at = f.find("IDAT") - 4;
    return f.substr(0, at) + len + body + crc + f.substr(at);
}

// Runs body in a child that logs to a log of its own; the child's log.
template <class Body> static std::string in_child(int want_exit, Body body)
{
    static int n = 0;
    const std::string log = gDir + "child-" + std::to_string(++n) + ".txt";
    EXPECT_EXIT(
        {
            hl_open_log(log);
            body();
            gLog.flush();
            _exit(0);
        },
        testing::ExitedWithCode(want_exit), "");
    return TS_read_file(log);
}

class Images : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        gDir = TS_new_dir("images");
        gLogPath = gDir + "log.txt";
        CMDLINE_parse("--qa_script");
        hl_open_log(gLogPath);
    }
};

TEST_F(Images, SizesFlipsAndKernels)
{
    const uint8_t* a = gInterface.gamma_18;
    const uint8_t* b = gInterface.gamma_22;
    EXPECT_EQ(std::make_tuple(gInterface.gamma, a[0], a[128], a[255], b[0], b[128], b[255]),
              std::make_tuple(2.5f, 0, 155, 255, 0, 139, 255));
    auto size = [](int32_t f, int w, int h, int mips, int pad = 0) { return TEX_image_bytes({f, w, h, pad, mips}); };
    EXPECT_EQ(size(TEX_GL_RGBA, 1, 1, 1), 4);
    EXPECT_EQ(size(TEX_GL_RGBA, 4, 2, 1), 32 + 8 + 4);
    EXPECT_EQ(size(TEX_GL_RGB, 1, 8, 1), 45);
    EXPECT_EQ(size(TEX_GL_RGB, 4, 2, 1, 2), 2 * 14 + 8 + 5) << "padding on every level";
    EXPECT_EQ(size(TEX_DXT1_RGB, 8, 8, 1), 32 + 8 + 8 + 8);
    EXPECT_EQ(size(TEX_DXT5, 5, 5, 0), 64);
    EXPECT_EQ(size(0x1902, 2, 2, 0, 5), 16) << "depth data has no padding";
    for (auto [w, h] : std::vector<std::pair<int, int>>{{0, 4}, {4, -1}, {INT32_MAX, 4}, {4, INT32_MIN}, {16385, 1}})
        EXPECT_EQ(size(TEX_GL_RGBA, w, h, 1) + size(TEX_DXT1_RGB, w, h, 1), 0) << w << "x" << h;
    EXPECT_EQ(size(TEX_GL_RGBA, 4, 4, 0, -4) + size(0x1234, 4, 4, 0), 0);
    unsigned char any[64] = {};
    EXPECT_EQ(TEX_flip_image({TEX_GL_RGBA, 0, 0, 0, 1}, any, nullptr) +
                  TEX_flip_image({TEX_DXT5, -8, 8, 0, 1}, any, nullptr),
              0);

    // DXT1 8 x 8: two block rows exchanged, each block's index rows reversed; a 2 x 2 level stays.
    unsigned char d1[32];
    for (int i = 0; i < 32; ++i) d1[i] = (unsigned char)(i % 8 < 2 ? 0x80 + i : i);
    unsigned char want[32];
    for (int b = 0; b < 4; ++b)
        for (int i = 0; i < 8; ++i) want[b * 8 + i] = d1[((b + 2) % 4) * 8 + (i < 4 ? i : 11 - i)];
    EXPECT_EQ(TEX_flip_level(TEX_DXT1_RGB, d1, 8, 8, 32, nullptr), 0) << "c0 > c1: no transparent block";
    EXPECT_EQ(bytes_t((char*)d1, 32), bytes_t((char*)want, 32));
    EXPECT_EQ(TEX_flip_level(TEX_DXT1_RGB, d1, 2, 2, 8, nullptr), 0);
    EXPECT_EQ(bytes_t((char*)d1, 32), bytes_t((char*)want, 32));
    unsigned char t1[8] = {0x00, 0x10, 0x00, 0x20, 0, 0, 0xC0, 0};
    EXPECT_EQ(TEX_flip_level(TEX_DXT1_RGB, t1, 4, 4, 8, nullptr), 1) << "c0 <= c1 with an index 3";
    // DXT5 alpha rows 0x123 0x456 0x789 0xABC come back reversed; DXT3 alpha rows swap.
    unsigned char a5[6] = {0x23, 0x61, 0x45, 0x89, 0xC7, 0xAB}, r5[6] = {0xBC, 0x9A, 0x78, 0x56, 0x34, 0x12};
    TEX_flip_dxt5_alpha(a5);
    EXPECT_EQ(bytes_t((char*)a5, 6), bytes_t((char*)r5, 6));
    unsigned char d3[16] = {1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 9, 10, 11, 12};
    TEX_flip_dxt3_blocks(d3, 1, nullptr);
    EXPECT_EQ(bytes_t((char*)d3, 16), bytes_t("\x07\x08\x05\x06\x03\x04\x01\x02\0\0\0\0\x0c\x0b\x0a\x09", 16));

    // Gamma that merges a four-colour block's colours pulls them one green step apart, indices ^ 1;
    // white lowers colour 1; a three-colour block that turns around trades only indices 0 and 1.
    COL_gamma_table flat, white, invert;
    for (int i = 0; i < 256; ++i) flat[i] = 128, white[i] = 255, invert[i] = (uint8_t)(255 - i);
    unsigned char g4[8] = {0x00, 0xF8, 0x1F, 0x00, 0x1B, 0, 0, 0};
    TEX_gamma_dxt_colors(g4, flat);
    EXPECT_EQ(g4[0] | g4[1] << 8, 0x8410 + 32);
    EXPECT_EQ(g4[2] | g4[3] << 8, 0x8410);
    EXPECT_EQ(g4[4], 0x1B ^ 0x55);
    unsigned char gw[8] = {0x00, 0xF8, 0x1F, 0x00, 0, 0, 0, 0};
    TEX_gamma_dxt_colors(gw, white);
    EXPECT_EQ(std::make_pair(gw[0] | gw[1] << 8, gw[2] | gw[3] << 8), std::make_pair(0xFFFF, 0xFFFF - 32));
    unsigned char g3[8] = {0x00, 0x00, 0x1F, 0x00, 0xE4, 0, 0, 0}; // indices 0 1 2 3
    TEX_gamma_dxt_colors(g3, invert);
    EXPECT_EQ(std::make_pair(g3[0] | g3[1] << 8, g3[2] | g3[3] << 8), std::make_pair(0xFFE0, 0xFFFF));
    EXPECT_EQ(g3[4], 0xE1); // 1 0 2 3

    // Uncompressed: rows swap, colour bytes map, alpha and padding bytes stay.
    unsigned char px[2 * 10] = {1, 2, 3, 4, 5, 6, 7, 8, 90, 91, 11, 12, 13, 14, 15, 16, 17, 18, 92, 93};
    TEX_flip_image({TEX_GL_RGBA, 2, 2, 2, 0}, px, invert);
    EXPECT_EQ(bytes_t((char*)px, 20),
              bytes_t("\xf4\xf3\xf2\x0e\xf0\xef\xee\x12\x5c\x5d\xfe\xfd\xfc\x04\xfa\xf9\xf8\x08\x5a\x5b", 20));

    // 4 x 4 RGB by 2 x 2: truncated means, padding kept; bleeding, normal maps.
    unsigned char ds[4 * 13];
    for (int i = 0; i < 52; ++i) ds[i] = (unsigned char)(i * 7);
    TEX_image_info di = {TEX_GL_RGB, 4, 4, 1, 0};
    TEX_downsample(di, ds, 2, 2);
    EXPECT_EQ(di.width * 10 + di.height, 22);
    EXPECT_EQ(ds[0], (0 + 21 + 91 + 112) / 4);
    EXPECT_EQ(ds[3] * 1000 + ds[7], 98 * 1000 + 110) << "second pixel; second row after the kept pad byte";
    unsigned char bl[5 * 5 * 4] = {};
    TEX_bleed_alpha({TEX_GL_RGBA, 5, 5, 0, 0}, bl);
    EXPECT_EQ(bytes_t((char*)bl, 100), bytes_t(100, '\0')) << "fully transparent: unchanged";
    bl[0] = 200, bl[1] = 100, bl[2] = 50, bl[3] = 255, bl[4] = 100, bl[7] = 1;
    TEX_bleed_alpha({TEX_GL_RGBA, 5, 5, 0, 0}, bl);
    EXPECT_EQ(bl[2 * 20 + 2 * 4], 150) << "mean of the two visible pixels";
    EXPECT_EQ(bl[2 * 20 + 4 * 4 + 3] + bl[3 * 20 + 4 * 4], 0) << "out of reach; alpha never set";
    // One pixel in the middle reaches every other, up to two rows and columns away on each side.
    bytes_t mid(100, '\0'), spread;
    mid.replace(48, 4, "\x1e\x3c\x5a\xff");
    for (int i = 0; i < 25; ++i) spread += i == 12 ? bytes_t("\x1e\x3c\x5a\xff") : bytes_t("\x1e\x3c\x5a\0", 4);
    TEX_bleed_alpha({TEX_GL_RGBA, 5, 5, 0, 0}, (unsigned char*)mid.data());
    EXPECT_EQ(mid, spread);
    unsigned char nm[2 * 2 * 4] = {0, 0, 9, 0, 0, 0, 9, 0, 0, 0, 9, 0, 0, 0, 59, 0};
    TEX_make_normal_map(nm, {TEX_GL_RGBA, 2, 2, 0, 0}, 1.0f);
    EXPECT_EQ(nm[0] * 1000 + nm[1], 127 * 1000 + 127);
    EXPECT_EQ(nm[8] * 1000 + nm[9], 152 * 1000 + 127);
    unsigned char alpha[4] = {1, 2, 3, 4};
    TEX_make_normal_map(alpha, {TEX_GL_ALPHA, 2, 2, 0, 0}, 1.0f);
    EXPECT_EQ(alpha[0] + alpha[1], 3) << "one-byte images stay";
    // Children fork before any libsquish call has started its worker threads.
    EXPECT_NE(in_child(1,
                       [] {
                           unsigned char px[4] = {};
                           TEX_flip_level(TEX_GL_RG, px, 1, 1, 2, nullptr);
                       })
                  .find("Illegal format!\n\n\n\n(TEX_utils:541)"),
              std::string::npos);
}

TEST_F(Images, PngMatchesImageMagick)
{
    const std::vector<std::string> plasma = {"-size", "37x23", "-seed", "1", "plasma:", "-depth", "8"};
    const std::vector<std::string> alpha = {
        "(", "-size", "37x23", "gradient:", ")", "-compose", "CopyOpacity", "-composite"};
    auto with = [&](std::vector<std::string> a, std::vector<std::string> b, std::vector<std::string> c = {}) {
        a.insert(a.end(), b.begin(), b.end());
        a.insert(a.end(), c.begin(), c.end());
        return a;
    };
    struct Case {
        std::string name;
        std::vector<std::string> args;
        int depth16;
        std::string prefix = "";
    };
    const std::vector<Case> cases = {
        {"rgba.png", with(plasma, alpha), 0, "PNG32:"},
        {"rgb.png", plasma, 0, "PNG24:"},
        {"grey.png", with(plasma, {"-colorspace", "gray", "-define", "png:color-type=0"}), 0},
        {"grey4.png",
         with(plasma,
              {"-colorspace", "gray", "-depth", "4", "-define", "png:bit-depth=4", "-define", "png:color-type=0"}),
         0},
        {"greya.png", with(plasma, {"-colorspace", "gray"}, with(alpha, {"-define", "png:color-type=4"})), 0},
        {"pal.png", with(plasma, {"-colors", "30"}), 0, "PNG8:"},
        {"palt.png",
         with(plasma, {"-fill", "black", "-draw", "rectangle 3,3 10,10", "-transparent", "black", "-colors", "30"}), 0,
         "PNG8:"},
        {"rgba16.png", with({"-size", "37x23", "-seed", "1", "plasma:"}, alpha), 1, "PNG64:"},
        {"inter.png", with(plasma, {"-interlace", "PNG"}), 0, "PNG24:"},
        {"nogama.png", with(plasma, alpha, {"-define", "png:exclude-chunk=gAMA,cHRM,sRGB,bKGD"}), 0, "PNG32:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bytes_t file = TS_read_file(make(c.name, c.args, c.prefix));
        ASSERT_GT(file.size(), 8u);
        bytes_t theirs = im_rgba(gDir + c.name, c.depth16 ? 16 : 8);
        if (c.depth16) // the reader keeps the upper byte of each 16-bit sample
            for (size_t i = 0; i * 2 < theirs.size(); ++i) theirs[i] = theirs[2 * i];
        theirs = bottom_up(theirs.substr(0, 37 * 23 * 4), 37, 23, 4);
        Read r = read_png(file, TEX_GL_RGBA);
        ASSERT_EQ(r.ok, 1);
        EXPECT_EQ(r.info.width * 100 + r.info.height, 3723);
        EXPECT_EQ(r.kind, TEX_png_plain);
        EXPECT_EQ(max_diff(r.px, theirs), 0);
        // Through the screen gamma: from the file's gAMA, or from 1.8 without one.
        const uint8_t* table = c.name == "nogama.png" ? gInterface.gamma_18 : gInterface.gamma_22;
        bytes_t mapped = theirs;
        for (size_t i = 0; i < mapped.size(); ++i)
            if (i % 4 != 3) mapped[i] = (char)table[(unsigned char)mapped[i]];
        EXPECT_LE(max_diff(read_png(file, TEX_GL_RGBA, 0, 1).px, mapped), 1);
        // GL_RG keeps the first two bytes, GL_RGB the first three.
        bytes_t rg, rgb;
        for (size_t i = 0; i < theirs.size(); i += 4) rg += theirs.substr(i, 2), rgb += theirs.substr(i, 3);
        EXPECT_EQ(read_png(file, TEX_GL_RG).px, rg);
        EXPECT_EQ(read_png(file, TEX_GL_RGB).px, rgb) << "alpha stripped";
        Read as_rgb = read_png(file, TEX_GL_RGB, TEX_rule_alpha);
        const bool has_alpha = c.name == "rgba.png" || c.name == "greya.png" || c.name == "palt.png" ||
                               c.name == "rgba16.png" || c.name == "nogama.png";
        EXPECT_EQ(as_rgb.info.format, has_alpha ? TEX_GL_RGBA : TEX_GL_RGB);
        EXPECT_EQ(as_rgb.px, has_alpha ? theirs : rgb);
    }
    EXPECT_EQ(log_text().find("PNG"), std::string::npos) << log_text();
}

TEST_F(Images, PngRulesLayoutsKindsAndBadFiles)
{
    const bytes_t grey =
        TS_read_file(make("g.png", {"-size", "3x5", "gradient:", "-depth", "8", "-define", "png:color-type=0"}));
    const bytes_t rgba = TS_read_file(
        make("a.png", {"-size", "3x5", "-seed", "2", "plasma:", "-depth", "8", "-alpha", "set"}, "PNG32:"));
    const bytes_t wide = TS_read_file(make("w.png", {"-size", "1000x2", "xc:red"}, "PNG24:"));
    Read r = read_png(grey, TEX_GL_RGB, TEX_rule_file);
    EXPECT_EQ(std::make_pair(r.info.format, (int)r.kind), std::make_pair((int32_t)TEX_GL_ALPHA, 1));
    EXPECT_EQ(read_png(grey, TEX_GL_ALPHA, 0, 1).px, r.px) << "no gamma for alpha output";
    r = read_png(rgba, TEX_GL_ALPHA, TEX_rule_file);
    EXPECT_EQ(std::make_pair(r.info.format, (int)r.kind), std::make_pair((int32_t)TEX_GL_RGBA, 2));
    // 3 x 5 with power-of-two padding: 8 rows of 16 bytes, the bottom row first, zero elsewhere.
    const bytes_t plain = read_png(rgba, TEX_GL_RGBA).px;
    r = read_png(rgba, TEX_GL_RGBA, 0, 0, 1);
    EXPECT_EQ(r.info.row_pad, 4);
    bytes_t want(8 * 16, '\0');
    for (int y = 0; y < 5; ++y) want.replace(y * 16, 12, plain.substr(y * 12, 12));
    EXPECT_EQ(r.px, want);
    r = read_png(rgba, TEX_GL_RG, 0, 0, 1);
    EXPECT_EQ(r.info.row_pad, 2);
    bytes_t want_rg(8 * 8, '\0');
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x) want_rg.replace(y * 8 + x * 2, 2, plain.substr(y * 12 + x * 4, 2));
    EXPECT_EQ(r.px, want_rg);
    EXPECT_EQ(read_png(wide, TEX_GL_RGBA, 0, 0, 0, 2048).info.row_pad, 4192);
    // Comment texts decide the kind: the first non-empty "comment" only.
    EXPECT_EQ(
        read_png(png_with_text(rgba, "comment", "x NORMAL_HIGH_PRECISION NORMAL_SEPARATE_ALPHA"), TEX_GL_RGBA).kind, 3);
    EXPECT_EQ(
        read_png(png_with_text(png_with_text(rgba, "comment", ""), "comment", "NORMAL_HIGH_PRECISION"), TEX_GL_RGBA)
            .kind,
        4);
    EXPECT_EQ(read_png(png_with_text(png_with_text(rgba, "comment", "plain"), "comment", "NORMAL_HIGH_PRECISION"),
                       TEX_GL_RGBA)
                  .kind,
              2);
    EXPECT_EQ(read_png(png_with_text(rgba, "Comment", "NORMAL_HIGH_PRECISION"), TEX_GL_RGBA).kind, 2);
    EXPECT_EQ(log_text().find("PNG error!"), std::string::npos) << log_text();

    // Every refusal and every cut or hostile file: result 0 after exactly one "PNG error!".
    unsigned char buf[3 * 5 * 4];
    auto fails_once = [&](const bytes_t& file, const char* what, int32_t row_width = 0, int64_t size = 0) {
        const size_t before = TS_count(log_text(), "PNG error!");
        EXPECT_EQ(read_png(file, TEX_GL_RGBA, 0, 1, 0, row_width, size ? buf : nullptr, size).ok, 0) << what;
        EXPECT_EQ(TS_count(log_text(), "PNG error!") - before, 1u) << what;
    };
    EXPECT_EQ(read_png(rgba, TEX_GL_RGBA, 0, 0, 0, 0, buf, sizeof buf).px, plain) << "a buffer just large enough";
    fails_once(rgba, "buffer one byte short", 0, sizeof buf - 1);
    fails_once(rgba, "rows narrower than the picture", 2);
    const size_t idat = rgba.find("IDAT");
    for (size_t cut : {9ul, 20ul, 33ul, idat + 6, idat + 20, idat + 60})
        fails_once(rgba.substr(0, cut), ("cut at " + std::to_string(cut)).c_str());
    for (auto [w, h] : std::vector<std::pair<uint32_t, uint32_t>>{
             {0, 5}, {3, 0}, {0x80000000u, 5}, {3, 0xFFFFFFFFu}, {16384, 16384}})
        fails_once(png_with_sides(rgba, w, h), ("sides " + std::to_string(w) + "x" + std::to_string(h)).c_str());
    // Whole pictures too wide, the second small on disk, are refused before their pixels are
    // allocated (ImageMagick's own policy refuses such widths: ours lets it make them).
    TS_write_file(gDir + "policy.xml", "<policymap><policy domain=\"resource\" name=\"width\" value=\"64KP\"/></policymap>");
    setenv("MAGICK_CONFIGURE_PATH", gDir.c_str(), 1);
    for (const char* sides : {"16385x2", "40000x1000"})
        fails_once(TS_read_file(make("wide.png", {"-size", sides, "xc:blue"})), sides);
    unsetenv("MAGICK_CONFIGURE_PATH");
    const bytes_t huge_text = rgba.substr(0, idat - 4) + "\x74\x49\x4d\x25tEXt" + rgba.substr(idat - 4);
    EXPECT_EQ(read_png(huge_text, TEX_GL_RGBA).px, plain) << "a 1.9 GB text chunk is skipped, not allocated";
    EXPECT_NE(log_text().find("PNG error!\nPicture too large for a texture\n" + gDir + "in.png\n\n(TEX_png:18)\n"),
              std::string::npos);
    EXPECT_EQ(read_png(bytes_t("\x89PNG\r\n\x1a", 7), TEX_GL_RGBA).ok, 0) << "under 8 bytes: no alert";
    // The largest picture the loader still turns away itself is read.
    Read big = read_png(TS_read_file(make("b.png", {"-size", "4096x16", "xc:blue"})), TEX_GL_RGBA);
    EXPECT_EQ(std::make_pair(big.ok, big.info.width), std::make_pair(1, 4096));
}

TEST_F(Images, BmpMatchesImageMagickAndRefusesBadFiles)
{
    for (int w : {37, 36}) {
        SCOPED_TRACE(w);
        const std::string path = make("b.bmp",
                                      {"-size", std::to_string(w) + "x23", "-seed", "1", "plasma:", "-depth", "8",
                                       "-fill", "magenta", "-draw", "point 1,1", "-type", "TrueColor"},
                                      "BMP3:");
        const bytes_t file = TS_read_file(path), theirs = bottom_up(im_rgba(path), w, 23, 4);
        bytes_t rgb, rgba = theirs, mapped;
        for (size_t i = 0; i < theirs.size(); i += 4) {
            rgb += theirs.substr(i, 3);
            for (int c = 0; c < 3; ++c) mapped += (char)gInterface.gamma_18[(unsigned char)theirs[i + c]];
            if (theirs.compare(i, 3, "\xff\x00\xff", 3) == 0) rgba.replace(i, 4, 4, '\0');
        }
        EXPECT_EQ(read_bmp(file, TEX_GL_RGB).px, mapped) << "colours made for 1.8 on a 2.5 screen";
        gInterface.gamma = 1.8f;
        EXPECT_EQ(read_bmp(file, TEX_GL_RGB).px, rgb);
        EXPECT_EQ(read_bmp(file, TEX_GL_RGBA).px, rgba) << "magenta is the transparent key";
        gInterface.gamma = 2.5f;
        // Cut inside the rows: the rows missing keep the buffer's zeros.
        Read cut = read_bmp(file.substr(0, file.size() - 200), TEX_GL_RGB);
        EXPECT_EQ(cut.ok, 1);
        EXPECT_EQ(cut.px.substr(0, mapped.size() - 300), mapped.substr(0, mapped.size() - 300));
        EXPECT_EQ(cut.px.substr(mapped.size() - 3 * w), bytes_t(3 * w, '\0'));
    }
    // The key is exactly (255, 0, 255): white and the colours one step from magenta stay opaque.
    gInterface.gamma = 1.8f;
    const std::string key = make("key.bmp", {"xc:#ff00ff", "xc:white", "xc:#ff01ff", "xc:#fe00ff", "xc:#ff00fe",
                                             "+append", "-type", "TrueColor"}, "BMP3:");
    EXPECT_EQ(read_bmp(TS_read_file(key), TEX_GL_RGBA).px,
              bytes_t("\0\0\0\0\xff\xff\xff\xff\xff\x01\xff\xff\xfe\0\xff\xff\xff\0\xfe\xff", 20));
    gInterface.gamma = 2.5f;
    // One pixel (B 10, G 20, R 31) as GL_ALPHA; a 5 x 3 picture with power-of-two padding.
    bytes_t one = TS_read_file(make("one.bmp", {"-size", "1x1", "xc:#1f140a", "-type", "TrueColor"}, "BMP3:"));
    EXPECT_EQ(read_bmp(one, TEX_GL_ALPHA).px, "\x14");
    Read p2 = read_bmp(TS_read_file(make("p2.bmp", {"-size", "5x3", "xc:white", "-type", "TrueColor"}, "BMP3:")),
                       TEX_GL_RGB, 1);
    EXPECT_EQ(p2.info.row_pad, 9);
    EXPECT_EQ(p2.px, (bytes_t(15, '\xff') + bytes_t(9, '\0')) + (bytes_t(15, '\xff') + bytes_t(9, '\0')) +
                         (bytes_t(15, '\xff') + bytes_t(9, '\0')) + bytes_t(24, '\0'));
    // Hostile headers: no picture without sides; pixels past the end stay zero.
    auto patched = [&](int at, uint32_t v) {
        bytes_t f = one;
        for (int i = 0; i < 4; ++i) f[at + i] = (char)(v >> (8 * i));
        return f;
    };
    for (uint32_t bad : {0u, 0xFFFFFFFFu, 0x80000000u, 16385u})
        EXPECT_EQ(read_bmp(patched(18, bad), TEX_GL_RGB).ok + read_bmp(patched(22, bad), TEX_GL_RGB).ok, 0) << bad;
    EXPECT_EQ(read_bmp(patched(10, 0xFFFFFFF0u), TEX_GL_RGB).px, bytes_t(3, '\0'));
    EXPECT_EQ(read_bmp(one.substr(0, 33), TEX_GL_RGB).px, bytes_t(3, '\0')) << "compression cut: counts as 0";
    EXPECT_NE(log_text().find("WARNING: the bitmap in.bmp is not read: its sides are outside 1 to 16384\n"),
              std::string::npos);
    // The depth and compression alerts end the program.
    const std::vector<std::pair<std::string, std::string>> depths = {
        {"-colors", "200"}, {"-define", "bmp:subtype=RGB565"}, {"-alpha", "set"}};
    for (const auto& [opt, val] : depths) {
        const bytes_t f = TS_read_file(
            make("d.bmp", {"-size", "8x8", "-seed", "1", "plasma:", opt, val}, opt == "-colors" ? "BMP3:" : "BMP:"));
        EXPECT_NE(in_child(1, [&] { read_bmp(f, TEX_GL_RGB); })
                      .find("Wrong bitmap color depth for texture!\nWe need 24-bit color.\n\nin.bmp\n(TEX_bmp:50)"),
                  std::string::npos);
    }
    EXPECT_NE(in_child(1, [&] { read_bmp(patched(30, 1), TEX_GL_RGB); })
                  .find("Bitmap is compressed!\n\n\nin.bmp\n(TEX_bmp:51)"),
              std::string::npos);
    EXPECT_NE(in_child(1, [&] { read_bmp(one, TEX_GL_RG); })
                  .find("Illegal desired format for bmp.\nin.bmp\n\n\n(TEX_bmp:29)"),
              std::string::npos);
}

TEST_F(Images, DdsMatchesImageMagickAndRefusesBadFiles)
{
    const std::vector<std::string> opaque = {"-size", "32x16", "-seed", "1", "plasma:", "-depth", "8", "-alpha", "set"};
    std::vector<std::string> alpha = opaque;
    for (const char* a :
         {"(", "-size", "32x16", "gradient:", "-threshold", "50%", ")", "-compose", "CopyOpacity", "-composite"})
        alpha.push_back(a);
    // convert writes DXT1 opaque even for a picture with alpha, so no file of it reports a
    // transparent block; the flip's flag is shown on a block of its own above.
    struct Case {
        const char* comp;
        bool alpha, mips;
        int32_t format;
        int transparent;
    };
    for (const Case& c : std::vector<Case>{{"dxt1", false, true, TEX_DXT1_RGB, 0},
                                           {"dxt1", true, true, TEX_DXT1_RGB, 0},
                                           {"dxt5", false, false, TEX_DXT5, 0},
                                           {"dxt5", true, true, TEX_DXT5, 0},
                                           {"none", false, false, TEX_GL_BGR, 0},
                                           {"none", true, true, TEX_GL_BGRA, 0}}) {
        SCOPED_TRACE(std::string(c.comp) + (c.alpha ? " alpha" : "") + (c.mips ? " mips" : ""));
        std::vector<std::string> args = c.alpha ? alpha : opaque;
        if (!c.alpha && !strcmp(c.comp, "none")) args.back() = "off";
        for (const char* a : {"-define", c.mips ? "dds:mipmaps=5" : "dds:mipmaps=0", "-define"}) args.push_back(a);
        args.push_back(std::string("dds:compression=") + c.comp);
        const std::string path = make("t.dds", args);
        const bytes_t file = TS_read_file(path), theirs = bottom_up(im_rgba(path), 32, 16, 4);
        xmap_file view(path);
        const char* data = nullptr;
        TEX_image_info info;
        float gamma = 0;
        ASSERT_EQ(TEX_parse_dds("t", view, &data, info, gamma), 1);
        EXPECT_EQ(std::make_pair(info.format, info.has_mips), std::make_pair(c.format, (int32_t)c.mips));
        EXPECT_EQ(gamma, c.mips ? 1.8f : 2.2f); // convert marks only mip-mapped files as complex
        EXPECT_EQ(data - view.begin, 128);
        EXPECT_EQ(TEX_image_bytes(info), (int64_t)file.size() - 128) << "the whole chain, nothing more";
        bytes_t px(data, (size_t)TEX_image_bytes(info));
        EXPECT_EQ(TEX_flip_image(info, (unsigned char*)px.data(), nullptr), c.transparent);
        bytes_t ours(32 * 16 * 4, '\xff');
        const int bpp = TEX_bytes_per_pixel(info.format);
        if (bpp)
            for (int i = 0; i < 32 * 16; ++i)
                ours.replace(i * 4, bpp,
                             bytes_t{px[i * bpp + 2], px[i * bpp + 1], px[i * bpp]} +
                                 (bpp == 4 ? px.substr(i * 4 + 3, 1) : ""));
        else
            squish::DecompressImage((squish::u8*)ours.data(), 32, 16, px.data(),
                                    info.format == TEX_DXT5 ? squish::kDxt5 : squish::kDxt1);
        EXPECT_LE(max_diff(ours, theirs), bpp ? 0 : 1);
        // Cut in the header or the data, or with sides that call for more: not read.
        for (size_t cut : {100ul, file.size() - 1}) {
            xmap_file short_view;
            short_view.begin = short_view.cursor = file.data(), short_view.end = file.data() + cut,
            short_view.borrowed = 1;
            EXPECT_EQ(TEX_parse_dds("t", short_view, &data, info, gamma), 0) << cut;
        }
    }
    auto parse = [](bytes_t f, int at, uint32_t v) {
        for (int i = 0; i < 4; ++i) f[at + i] = (char)(v >> (8 * i));
        xmap_file view;
        view.begin = view.cursor = f.data(), view.end = f.data() + f.size(), view.borrowed = 1;
        const char* data = nullptr;
        TEX_image_info info;
        float gamma = 0;
        int ok = TEX_parse_dds("t", view, &data, info, gamma);
        return ok ? info.format * 10 + info.has_mips : 0;
    };
    const bytes_t bgra = TS_read_file(gDir + "t.dds"); // 32 x 16 BGRA with mips, as the last case left it
    EXPECT_EQ(parse(bgra, 80, 0x41), TEX_GL_BGRA * 10 + 1);
    EXPECT_EQ(parse(bgra, 80, 0x40), TEX_GL_BGR * 10 + 1) << "the bit count is not read";
    EXPECT_EQ(parse(bgra, 8, 0x1007), TEX_GL_BGRA * 10) << "no mip-map count flag";
    EXPECT_EQ(parse(bgra, 108, 0x1008), TEX_GL_BGRA * 10) << "not mip-mapped";
    bytes_t dxt2 = bgra;
    dxt2.replace(84, 4, "DXT2");
    EXPECT_EQ(parse(dxt2, 80, 0x44), 0) << "unknown FourCC, even with the RGB flag";
    EXPECT_EQ(parse("dds " + bgra.substr(4), 80, 0x41), 0);
    for (auto [at, v] :
         std::vector<std::pair<int, uint32_t>>{{16, 0}, {12, 0xFFFFFFFFu}, {16, 0x80000000u}, {12, 16385}, {16, 64}})
        EXPECT_EQ(parse(bgra, at, v), 0) << at << " " << v;
}

TEST_F(Images, PictureFilesIntoTheScratchBuffer)
{
    // The back picture goes into a 16 MiB buffer with rows of 2048 pixels.
    const int64_t scratch = 16 << 20;
    unsigned char* buf = (unsigned char*)malloc((size_t)scratch);
    TEX_image_info info;
    const std::string png = make("s.png", {"-size", "100x50", "xc:#204080"}),
                      bmp = make("s.bmp", {"-size", "100x50", "xc:#204080"}, "BMP3:");
    for (const std::string& path : {png, bmp}) {
        memset(buf, 7, (size_t)scratch);
        ASSERT_EQ(TEX_load_image_file(path, &buf, scratch, TEX_GL_RGBA, 2048, 0, 1, info), 1) << path;
        EXPECT_EQ(std::make_tuple(info.width, info.height, info.row_pad), std::make_tuple(100, 50, 1948 * 4));
        // The PNG through its gAMA of 1/2.2, the BMP as made for 1.8; then the pad stays untouched.
        const uint8_t* t = path == png ? gInterface.gamma_22 : gInterface.gamma_18;
        const bytes_t want = {(char)t[0x20], (char)t[0x40], (char)t[0x80], '\xff', 7};
        EXPECT_LE(max_diff(bytes_t((char*)buf + 49 * 8192 + 99 * 4, 5), want), path == png ? 1 : 0);
    }
    // A picture exactly as wide as the rows, as the back picture is: every pixel read, no pad.
    const std::string full = make("full.bmp", {"-size", "2048x3", "-seed", "2", "plasma:", "-depth", "8", "-type",
                                               "TrueColor"}, "BMP3:");
    const bytes_t theirs = bottom_up(im_rgba(full), 2048, 3, 4);
    bytes_t want_full;
    for (size_t i = 0; i < theirs.size(); i += 4)
        want_full += theirs.compare(i, 3, "\xff\x00\xff", 3) == 0
                         ? bytes_t(4, '\0')
                         : bytes_t{(char)gInterface.gamma_18[(unsigned char)theirs[i]],
                                   (char)gInterface.gamma_18[(unsigned char)theirs[i + 1]],
                                   (char)gInterface.gamma_18[(unsigned char)theirs[i + 2]], '\xff'};
    ASSERT_EQ(TEX_load_image_file(full, &buf, scratch, TEX_GL_RGBA, 2048, 0, 1, info), 1);
    EXPECT_EQ(std::make_tuple(info.width, info.height, info.row_pad), std::make_tuple(2048, 3, 0));
    EXPECT_EQ(max_diff(bytes_t((char*)buf, want_full.size()), want_full), 0);
    EXPECT_EQ(TEX_load_image_file(png, &buf, 100 * 4 * 49, TEX_GL_RGBA, 0, 0, 1, info), 0) << "does not fit";
    const std::string wide = make("wide.png", {"-size", "2049x1", "xc:red"});
    EXPECT_EQ(TEX_load_image_file(wide, &buf, scratch, TEX_GL_RGBA, 2048, 0, 1, info), 0) << "wider than the rows";
    const std::string dds = make("s.dds", {"-size", "8x8", "xc:red", "-define", "dds:compression=dxt1"});
    TS_write_file(gDir + "seven.png", TS_read_file(png).substr(0, 7));
    for (const std::string& path : {dds, gDir + "seven.png", gDir + "missing.png"})
        EXPECT_EQ(TEX_load_image_file(path, &buf, scratch, TEX_GL_RGBA, 2048, 0, 1, info), 0) << path;
    free(buf);
}
