// The 2D drawing primitives and the backdrop under Xvfb with Mesa: one test picture checked
// pixel by pixel (half-unit lines, rectangle edges, popup origins, exact colours under a red
// gain, blending, textured quads, the backdrop fill under a popup), the texture-unit cache after
// the quads, and the backdrop tiles built from a picture made by ImageMagick, read back from
// OpenGL, rebuilt, left alone once a popup was opened, and refused with the right alerts.
#include "support/test_support.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace {

const char* kLog = "Corvane Installer Log.txt";

std::string window_id(const TS_xvfb& x)
{
    TS_result r = TS_run({"xwininfo", "-name", "Hangaron"}, TS_xvfb_env(x), 20);
    size_t at = r.out.find("Window id: ");
    if (at == std::string::npos) return "";
    std::istringstream in(r.out.substr(at + 11));
    std::string id;
    in >> id;
    return id;
}

// Raw RGBA of a picture as ImageMagick decodes it, rows from the top.
std::string rgba_of(const std::string& picture)
{
    std::string raw = picture + ".rgba";
    TS_result r = TS_run({"convert", picture, "-depth", "8", "rgba:" + raw}, {}, 120);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return TS_read_file(raw);
}

void make_picture(const std::vector<std::string>& args, const std::string& out)
{
    std::vector<std::string> argv = {"convert"};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.insert(argv.end(), {"-depth", "8", out});
    TS_result r = TS_run(argv, {}, 120);
    ASSERT_EQ(r.exit_code, 0) << r.err;
}

// Compares the 16 tiles (slot order, texture row 0 first) with a 2048 x 2048 picture whose rows
// are given from the top: texture row 0 of tile row r is picture row 512 r counted from the
// bottom, the order in which the image readers deliver it. The number of differing pixels.
size_t tile_differences(const std::string& tiles, const std::string& picture)
{
    if (tiles.size() != (size_t)16 * 512 * 512 * 4 || picture.size() != (size_t)2048 * 2048 * 4) return SIZE_MAX;
    size_t bad = 0;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            for (int y = 0; y < 512; ++y) {
                const char* t = tiles.data() + (((size_t)(4 * r + c) * 512 + y) * 512) * 4;
                const char* p = picture.data() + ((size_t)(2047 - (512 * r + y)) * 2048 + 512 * c) * 4;
                if (std::memcmp(t, p, 512 * 4) == 0) continue;
                for (int x = 0; x < 512 * 4; x += 4) bad += std::memcmp(t + x, p + x, 4) != 0;
            }
    return bad;
}

class Draw : public testing::Test {
protected:
    TS_xvfb x;
    void SetUp() override { ASSERT_TRUE(TS_xvfb_start(x, "1280x1024x24")) << "Xvfb did not start"; }

    // A program folder with Resources/bitmaps/ in it, where the probe runs.
    std::string app_dir(const std::string& name)
    {
        std::string d = TS_new_dir(name);
        TS_sh("mkdir -p '" + d + "Resources/bitmaps'");
        return d;
    }
    TS_result run_probe(const std::string& dir, std::vector<std::string> args)
    {
        args.insert(args.begin(), CORVANE_DRAW_PROBE_EXE);
        return TS_run(args, TS_xvfb_env(x), 120, dir);
    }
};

} // namespace

TEST_F(Draw, PrimitivesColoursAndTexturedQuadsOnScreen)
{
    std::string dir = TS_new_dir("draw");
    TS_proc p;
    ASSERT_TRUE(TS_start(p, {CORVANE_DRAW_PROBE_EXE, "--scenario=draw"}, TS_xvfb_env(x), dir));
    ASSERT_TRUE(TS_wait_for_output(p, "ready\n", 60)) << p.out << p.err;
    EXPECT_NE(p.out.find("probe texture: 1050\n"), std::string::npos) << p.out;

    TS_shot s = TS_screenshot(x, dir + "screen.png", 1280, 1024);
    ASSERT_TRUE(s.ok());
    // UI (ux, uy) from the window's bottom-left corner is screen (ux, 767 - uy).
    auto expect_at = [&](int ux, int uy, int r, int g, int b, int tol, const char* what) {
        int c[3];
        s.rgb_at(ux, 767 - uy, c);
        EXPECT_TRUE(std::abs(c[0] - r) <= tol && std::abs(c[1] - g) <= tol && std::abs(c[2] - b) <= tol)
            << what << " at (" << ux << ", " << uy << "): " << c[0] << "," << c[1] << "," << c[2] << " wanted " << r
            << "," << g << "," << b;
    };
    const int back[3] = {204, 102, 51}; // colour 43
    auto backdrop = [&](int ux, int uy, const char* what) { expect_at(ux, uy, back[0], back[1], back[2], 0, what); };

    // The backdrop, filled under a popup at (200, 100), covers the window from corner to corner.
    backdrop(0, 0, "backdrop bottom-left");
    backdrop(1023, 767, "backdrop top-right");
    backdrop(1023, 0, "backdrop bottom-right");
    backdrop(0, 767, "backdrop top-left");
    backdrop(199, 99, "backdrop below the popup");

    // Lines run through the middle of their pixels: row 10 and column 150, nothing beside them.
    expect_at(11, 10, 255, 255, 255, 0, "line start");
    expect_at(60, 10, 255, 255, 255, 0, "line");
    expect_at(108, 10, 255, 255, 255, 0, "line end");
    backdrop(60, 11, "above the line");
    backdrop(60, 9, "below the line");
    backdrop(112, 10, "past the line's end");
    expect_at(150, 60, 255, 255, 255, 0, "vertical line");
    backdrop(149, 60, "left of the vertical line");
    backdrop(151, 60, "right of the vertical line");

    // Rectangle edges: (400, 20) to (500, 70) exactly; empty rectangles draw nothing.
    expect_at(400, 20, 0, 204, 0, 0, "rectangle corner");
    expect_at(499, 69, 0, 204, 0, 0, "rectangle far corner");
    backdrop(399, 40, "left of the rectangle");
    backdrop(500, 40, "right of the rectangle");
    backdrop(450, 19, "below the rectangle");
    backdrop(450, 70, "above the rectangle");
    backdrop(600, 40, "zero-width rectangle");
    backdrop(640, 20, "zero-height rectangle");

    // With a popup at (300, 40): the line on window row 40, the rectangle from (300, 60).
    expect_at(300, 40, 255, 0, 0, 0, "popup line");
    expect_at(349, 40, 255, 0, 0, 0, "popup line end");
    backdrop(300, 41, "above the popup line");
    expect_at(300, 60, 102, 102, 255, 0, "popup rectangle corner");
    expect_at(359, 89, 102, 102, 255, 0, "popup rectangle far corner");
    backdrop(299, 70, "left of the popup rectangle");
    backdrop(330, 59, "below the popup rectangle");
    backdrop(360, 70, "right of the popup rectangle");
    backdrop(330, 90, "above the popup rectangle");

    // Red gain 0.5: colour 42 (white) loses half its red, colour 43 keeps its full red.
    expect_at(625, 225, 128, 255, 255, 1, "colour 42");
    expect_at(625, 300, 128, 255, 255, 1, "colour 42 line");
    expect_at(750, 250, back[0], back[1], back[2], 0, "colour 43");
    expect_at(710, 250, 0, 204, 0, 0, "around colour 43");

    // Half white over the backdrop.
    expect_at(625, 425, (255 + 204) / 2, (255 + 102) / 2, (255 + 51) / 2, 1, "blended white");

    // Textured quads at 1:1: red and green below, blue and white above; the same without binding.
    for (int ox : {800, 900}) {
        expect_at(ox + 16, 416, 255, 0, 0, 0, "texture red");
        expect_at(ox + 48, 416, 0, 255, 0, 0, "texture green");
        expect_at(ox + 16, 448, 0, 0, 255, 0, "texture blue");
        expect_at(ox + 48, 448, 255, 255, 255, 0, "texture white");
        expect_at(ox, 400, 255, 0, 0, 0, "texture corner");
        expect_at(ox + 63, 463, 255, 255, 255, 0, "texture far corner");
    }
    backdrop(799, 430, "left of the texture");
    backdrop(864, 430, "right of the texture");
    // With a popup at (50, 300).
    expect_at(50 + 16, 316, 255, 0, 0, 0, "popup texture red");
    expect_at(50 + 48, 348, 255, 255, 255, 0, "popup texture white");
    backdrop(49, 330, "left of the popup texture");
    backdrop(80, 364, "above the popup texture");

    TS_run({CORVANE_X_CLOSE_EXE, window_id(x)}, TS_xvfb_env(x), 20);
    TS_result r = TS_finish(p, 60);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;

    // Twelve units on a driver with four enable units 0 to 3 and cache 4; a rectangle turns
    // them all off again.
    EXPECT_NE(r.out.find("after 12 units: cached 4 max 4 enabled 11110000\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("after a rectangle: cached 0 enabled 00000000\n"), std::string::npos) << r.out;
}

TEST_F(Draw, BackdropTilesAreBuiltOnceAndRefreshed)
{
    std::string dir = app_dir("backtex");
    std::string intro = dir + "Resources/bitmaps/intro.png";
    make_picture({"-size", "2048x2048", "tile:logo:", "(", "rose:", "-resize", "2000%", ")", "-gravity", "center",
                  "-composite"},
                 intro);
    std::string second = dir + "second.png";
    make_picture({"-size", "2048x2048", "tile:rose:", "(", "logo:", "-resize", "300%", ")", "-gravity", "southwest",
                  "-composite", "-alpha", "set", "-channel", "A", "-fx", "j/h", "+channel"},
                 second);
    std::string first_px = rgba_of(intro), second_px = rgba_of(second);

    TS_result r =
        run_probe(dir, {"--scenario=backtex", "--second=" + second, "--thread", "--after_popup", "--fps_test"});
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(TS_count(r.out, "loaded: 16\n"), 3) << r.out;

    // Every tile holds its part of the picture; so slot 1033 (tile row 1, column 2) holds the
    // picture from row 512 and column 1024.
    EXPECT_EQ(tile_differences(TS_read_file(dir + "tiles-a.rgba"), first_px), 0u);
    // The second build, on a thread with a context of its own, fills the same texture objects
    // with the new picture, binding them directly and leaving the main thread's caches alone.
    EXPECT_NE(r.out.find("thread left the caches alone: yes\n"), std::string::npos) << r.out;
    std::string names = TS_value(r.out, "names a: ");
    EXPECT_EQ(TS_count(names, " "), 15) << names;
    EXPECT_EQ(names.find(" 0"), std::string::npos) << names;
    EXPECT_EQ(TS_value(r.out, "names b: "), names);
    EXPECT_EQ(tile_differences(TS_read_file(dir + "tiles-b.rgba"), second_px), 0u);
    // Once a popup was opened nothing changes, though the picture is gone.
    EXPECT_EQ(TS_value(r.out, "names c: "), names);
    EXPECT_TRUE(TS_read_file(dir + "tiles-c.rgba") == TS_read_file(dir + "tiles-b.rgba"));
    EXPECT_EQ(TS_read_file(dir + kLog).find("OGL_back_tex"), std::string::npos);
}

TEST_F(Draw, BackdropPictureMissingOrOfTheWrongSize)
{
    const std::string missing_lines = "Trying to load a texture that you do not have!\n"
                                      "This smacks of a mis-installed copy of Corvane!\n"
                                      "Please get a new download of Corvane from https://www.corvane-sim.com/download/ "
                                      "and install it again. The missing file is:\n";
    const std::string size_lines = "if i get less than 2048 pix then the backtex will be hosed.\n\n\n\n(OGL_back_tex:";

    // No picture: the fatal alert names the file; automation mode logs it and ends.
    std::string dir = app_dir("missing");
    TS_result r = run_probe(dir, {"--scenario=backtex", "--fps_test"});
    EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
    std::string log = TS_read_file(dir + kLog);
    EXPECT_NE(log.find(missing_lines + dir + "Resources/bitmaps/intro.png\n(OGL_back_tex:"), std::string::npos) << log;
    EXPECT_EQ(r.out.find("loaded:"), std::string::npos) << r.out;

    // Larger than 2048 on a side: the reader refuses it rather than overrun the scratch buffer.
    dir = app_dir("huge");
    make_picture({"-size", "4096x2048", "xc:orange"}, dir + "Resources/bitmaps/intro.png");
    r = run_probe(dir, {"--scenario=backtex", "--fps_test"});
    EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
    EXPECT_NE(TS_read_file(dir + kLog).find(missing_lines), std::string::npos);

    // Too narrow, then too low: the consistency alert.
    for (const char* size : {"1024x2048", "2048x1000"}) {
        dir = app_dir(std::string("small-") + size);
        make_picture({"-size", size, "xc:orange"}, dir + "Resources/bitmaps/intro.png");
        r = run_probe(dir, {"--scenario=backtex", "--fps_test"});
        EXPECT_EQ(r.exit_code, 1) << size << r.out << r.err;
        log = TS_read_file(dir + kLog);
        EXPECT_NE(log.find(size_lines), std::string::npos) << size << log;
        EXPECT_EQ(log.find("Trying to load"), std::string::npos) << size << log;
    }
}
