// Text drawn in the real window under Xvfb with Mesa, checked pixel by pixel in screenshots: the
// ink of every line lies inside the box that measuring and the line step predict and nowhere
// else, its width is the measured one, alignments end where they should, wrapped lines are 10
// units apart and agree with the returned y, long words are cut, fixed advances step evenly,
// Russian draws 0.9 as wide after switching to it, and labels break as their mark-up says.
#include "support/test_support.h"

#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace {

struct Line {
    float x0, x1, base, width, width_before_last;
};
struct Item {
    std::vector<Line> lines;
    float returned = 0, measured = 0;
};
typedef std::map<std::string, Item> Page;

// The probe's report of one page, from its first "line" to the "page N drawn" line.
Page parse(const std::string& out, int page)
{
    Page items;
    size_t at = page == 1 ? 0 : out.find("page 1 drawn\n");
    const size_t stop = out.find("page " + std::to_string(page) + " drawn\n");
    std::istringstream in(out.substr(at, stop - at));
    std::string word, name;
    while (in >> word) {
        if (word == "line") {
            Line l;
            in >> name >> l.x0 >> l.x1 >> l.base >> l.width >> l.width_before_last;
            items[name].lines.push_back(l);
        } else if (word == "item") {
            in >> name >> items[name].returned >> items[name].measured;
        }
    }
    return items;
}

// The screen as one byte per pixel, non-zero where any channel holds ink, and its colours.
struct Ink {
    int w = 0, h = 0;
    std::vector<unsigned char> on;
    std::string rgb;
    // UI (ux, uy) of the 1024 x 768 window at the screen's top-left corner.
    bool at(int ux, int uy) const
    {
        const int sx = ux, sy = 767 - uy;
        return sx >= 0 && sy >= 0 && sx < w && sy < h && on[(size_t)sy * w + sx];
    }
};

Ink screenshot(const TS_xvfb& x, const std::string& png)
{
    Ink ink;
    const std::map<std::string, std::string> env = {{"DISPLAY", x.display}};
    if (TS_run({"import", "-window", "root", png}, env, 60).exit_code != 0) return ink;
    if (TS_run({"convert", png, "-depth", "8", "rgb:" + png + ".rgb"}, {}, 60).exit_code != 0) return ink;
    const std::string rgb = TS_read_file(png + ".rgb");
    ink.w = 1280;
    ink.h = 1024;
    ink.rgb = rgb;
    if (rgb.size() != (size_t)ink.w * ink.h * 3) return Ink();
    ink.on.resize((size_t)ink.w * ink.h);
    for (size_t i = 0; i < ink.on.size(); ++i) ink.on[i] = rgb[i * 3] || rgb[i * 3 + 1] || rgb[i * 3 + 2];
    return ink;
}

// Ink columns of a line in the rows of its lower-case bodies, which no neighbouring line reaches.
struct Extent {
    int left = 1 << 30, right = -1; // right is one past the last ink column
    bool any() const { return right >= 0; }
};
Extent body_ink(const Ink& ink, const Line& l, int margin = 8)
{
    Extent e;
    const int base = (int)l.base;
    for (int ux = (int)floorf(l.x0) - margin; ux <= (int)ceilf(l.x1) + margin; ++ux)
        for (int uy = base + 1; uy <= base + 6; ++uy)
            if (ink.at(ux, uy)) {
                e.left = std::min(e.left, ux);
                e.right = std::max(e.right, ux + 1);
            }
    return e;
}

// Every ink pixel lies in some line's box: two units beside its predicted ends, four below the
// baseline and twelve above it.
void expect_ink_only_in_boxes(const Ink& ink, const Page& page)
{
    std::vector<unsigned char> allowed(ink.on.size(), 0);
    for (auto& kv : page)
        for (const Line& l : kv.second.lines)
            for (int ux = (int)floorf(l.x0) - 2; ux <= (int)ceilf(l.x1) + 2; ++ux)
                for (int uy = (int)l.base - 4; uy <= (int)l.base + 12; ++uy)
                    if (ux >= 0 && uy >= 0 && ux < ink.w && 767 - uy < ink.h && 767 - uy >= 0)
                        allowed[(size_t)(767 - uy) * ink.w + ux] = 1;
    int stray = 0;
    std::string where;
    for (size_t i = 0; i < ink.on.size(); ++i)
        if (ink.on[i] && !allowed[i]) {
            if (++stray <= 5) where += " (" + std::to_string(i % ink.w) + "," + std::to_string(767 - (int)(i / ink.w)) + ")";
        }
    EXPECT_EQ(stray, 0) << "ink outside the predicted boxes at UI" << where;
}

// A line's ink starts and ends within two units of the prediction.
void expect_line_ends(const Ink& ink, const std::string& name, const Line& l)
{
    const Extent e = body_ink(ink, l);
    ASSERT_TRUE(e.any()) << name << " at " << l.base;
    EXPECT_NEAR(e.left, l.x0, 2) << name << " at " << l.base;
    EXPECT_NEAR(e.right, l.x1, 2) << name << " at " << l.base;
}

void expect_wrapped(const Item& it, float y, bool wrapping, const std::string& name)
{
    ASSERT_FALSE(it.lines.empty()) << name;
    for (size_t i = 0; i < it.lines.size(); ++i) EXPECT_EQ(it.lines[i].base, y - (wrapping ? 10.0f * i : 0)) << name << i;
    EXPECT_EQ(it.returned, wrapping ? y - 10.0f * it.lines.size() : y) << name;
}

struct Probe {
    TS_xvfb x;
    TS_proc proc;
    std::string dir;
};

} // namespace

TEST(FontDraw, PagesOfTextAndLabelsUnderXvfb)
{
    Probe p;
    ASSERT_TRUE(TS_xvfb_start(p.x, "1280x1024x24")) << "Xvfb did not start";
    p.dir = TS_new_dir("font-probe");
    const std::map<std::string, std::string> env = {{"DISPLAY", p.x.display}, {"LIBGL_ALWAYS_SOFTWARE", "1"}};
    ASSERT_TRUE(TS_start(p.proc, {CORVANE_FONT_PROBE_EXE, "--timeout=120"}, env, p.dir));
    ASSERT_TRUE(TS_wait_for_output(p.proc, "page 1 drawn\n", 60)) << p.proc.out << p.proc.err;

    // ---- page 1, English ----
    const Ink one = screenshot(p.x, p.dir + "page1.png");
    ASSERT_EQ(one.w, 1280);
    Page a = parse(p.proc.out, 1);
    EXPECT_NE(p.proc.out.find("blanks: 100.000 90.000\n"), std::string::npos) << p.proc.out;
    // Both atlases are alpha textures of the texture manager, as high as their atlas.
    for (const char* slot : {"1021", "1022"}) {
        const size_t at = p.proc.out.find(std::string("atlas ") + slot + ": scratch_array-fonts 1 1024x");
        ASSERT_NE(at, std::string::npos) << p.proc.out;
        int tex_rows = 0, rows = -1;
        sscanf(p.proc.out.c_str() + p.proc.out.find('x', at + 36) + 1, "%d rows %d", &tex_rows, &rows);
        EXPECT_EQ(tex_rows, rows) << slot;
        EXPECT_GE(rows, 16) << slot;
    }
    expect_ink_only_in_boxes(one, a);
    for (const char* name : {"en", "fr", "de", "ru", "ru_bold", "centre", "right", "ru_centre", "other_style",
                             "paragraph", "cut", "tab", "para_right", "centre_cr", "ends_wrap"})
        for (const Line& l : a[name].lines)
            if (l.x1 > l.x0) expect_line_ends(one, name, l);

    // One-line texts: the ink is the measured width; centred and right-aligned lines sit on x.
    for (const char* name : {"en", "fr", "ru", "centre", "right", "ru_centre", "tab"}) {
        const Extent e = body_ink(one, a[name].lines.at(0));
        EXPECT_NEAR(e.right - e.left, a[name].measured, 2) << name;
        EXPECT_EQ(a[name].lines.size(), 1u) << name;
        EXPECT_EQ(a[name].returned, a[name].lines[0].base) << name;
    }
    EXPECT_NEAR((body_ink(one, a["centre"].lines[0]).left + body_ink(one, a["centre"].lines[0]).right) / 2.0, 512, 1.5);
    EXPECT_NEAR(body_ink(one, a["right"].lines[0]).right, 1004, 2);
    EXPECT_NEAR(body_ink(one, a["para_right"].lines[1]).right, 1004, 2);
    for (const Line& l : a["centre_cr"].lines) {
        const Extent e = body_ink(one, l);
        EXPECT_NEAR((e.left + e.right) / 2.0, 800, 1.5) << l.base;
    }
    // A leading blank moves the pen; a tab neither draws nor moves it.
    EXPECT_GE(body_ink(one, a["leading"].lines[0]).left, 403);
    EXPECT_LE(body_ink(one, a["leading"].lines[0]).left, 405);
    EXPECT_NEAR(body_ink(one, a["leading"].lines[0]).right, a["leading"].lines[0].x1, 2);
    EXPECT_EQ(a["tab"].measured, a["tab"].lines[0].x1 - a["tab"].lines[0].x0);

    // Wrapping: 10 units a line, the returned y below the last; line ends without wrapping
    // draw over each other; CR LF leaves an empty line.
    expect_wrapped(a["paragraph"], 420, true, "paragraph");
    expect_wrapped(a["para_right"], 420, true, "para_right");
    expect_wrapped(a["cut"], 420, true, "cut");
    expect_wrapped(a["ends_wrap"], 500, true, "ends_wrap");
    expect_wrapped(a["ends_nowrap"], 500, false, "ends_nowrap");
    expect_wrapped(a["centre_cr"], 330, true, "centre_cr");
    EXPECT_EQ(a["paragraph"].lines.size(), 4u);
    ASSERT_EQ(a["ends_wrap"].lines.size(), 5u);
    EXPECT_EQ(a["ends_nowrap"].lines.size(), 5u);
    EXPECT_FALSE(body_ink(one, a["ends_wrap"].lines[3]).any());
    for (const Line& l : a["paragraph"].lines) EXPECT_LE(l.width, 150) << l.base;
    // A word wider than the wrap width is cut after the character that reached it.
    ASSERT_GE(a["cut"].lines.size(), 3u);
    for (size_t i = 0; i + 1 < a["cut"].lines.size(); ++i) {
        EXPECT_GE(a["cut"].lines[i].width, 40) << i;
        EXPECT_LT(a["cut"].lines[i].width_before_last, 40) << i;
    }

    // Fixed advances: 6, 8 and 10 units a character whatever the glyph.
    EXPECT_EQ(a["fixed6_iii"].lines[0].width, 18);
    EXPECT_EQ(a["fixed6_WWW"].lines[0].width, 18);
    EXPECT_EQ(a["fixed8"].lines[0].width, 24);
    EXPECT_EQ(a["fixed10"].lines[0].width, 30);
    EXPECT_NE(p.proc.out.find("W rendered: 1\n"), std::string::npos) << p.proc.out;
    std::vector<int> runs;
    for (int ux = 15, was = 0; ux < 50; ++ux) {
        int on = 0;
        for (int uy = 531; uy <= 536; ++uy) on |= one.at(ux, uy);
        if (on && !was) runs.push_back(ux);
        was = on;
    }
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[1] - runs[0], 6);
    EXPECT_EQ(runs[2] - runs[1], 6);

    // ---- page 2, after switching to Russian ----
    TS_write_file(p.dir + "page2", "");
    ASSERT_TRUE(TS_wait_for_output(p.proc, "page 2 drawn\n", 60)) << p.proc.out << p.proc.err;
    const Ink two = screenshot(p.x, p.dir + "page2.png");
    ASSERT_EQ(two.w, 1280);
    Page b = parse(p.proc.out, 2);
    expect_ink_only_in_boxes(two, b);
    for (auto& kv : b)
        for (const Line& l : kv.second.lines) expect_line_ends(two, kv.first, l);
    // Each of the (at most nine) blanks may add up to a unit, so that the next word starts on one.
    for (const char* name : {"en", "ru"}) {
        const Extent e1 = body_ink(one, a[name].lines[0]), e2 = body_ink(two, b[name].lines[0]);
        EXPECT_NEAR(e2.right - e2.left, 0.9 * (e1.right - e1.left) + 4.5, 6.5) << name;
        EXPECT_NEAR(b[name].measured, 0.9f * a[name].measured + 4.5f, 4.5f) << name;
    }
    // Lines are measured by the advances the pen moves, so a narrowed line ends at x too (with
    // widths cut to whole units it ended 5 units past it).
    EXPECT_NEAR(b["ru_right"].lines[0].x1, 1004, 1);
    expect_wrapped(b["ru_wrap"], 600, true, "ru_wrap");

    // Labels: a broken part is raised by 5, its lines 10 apart; a short, centred or "-" part
    // stays one line one unit below y.
    const struct {
        const char* name;
        float y;
        size_t lines;
    } labels[] = {{"os", 400, 2}, {"copy", 400, 2}, {"agree", 350, 1}, {"twelve", 350, 1}, {"thirteen", 300, 2},
                  {"keep", 300, 1}, {"centred", 250, 1}};
    for (auto& l : labels) {
        const Item& it = b[l.name];
        ASSERT_EQ(it.lines.size(), l.lines) << l.name;
        EXPECT_EQ(it.lines[0].base, l.lines == 2 ? l.y + 4 : l.y - 1) << l.name;
        if (l.lines == 2) {
            EXPECT_EQ(it.lines[1].base, l.y - 6) << l.name;
        }
        Line below = it.lines.back();
        below.base -= 10;
        EXPECT_FALSE(body_ink(two, below, 0).any()) << l.name;
    }
    EXPECT_NEAR(b["os"].lines[0].x0 + b["os"].lines[0].width, 400, 0.01);
    EXPECT_NEAR(body_ink(two, b["copy"].lines[1]).left, 420, 2);
    // Label ink is colour 52 where the glyphs cover whole pixels.
    int want[3] = {-1, -1, -1};
    sscanf(p.proc.out.c_str() + p.proc.out.find("colour 52: ") + 11, "%d %d %d", &want[0], &want[1], &want[2]);
    int best[3] = {0, 0, 0};
    for (const Line& l : b["os"].lines)
        for (int ux = (int)l.x0; ux < (int)l.x1; ++ux)
            for (int uy = (int)l.base; uy < (int)l.base + 8; ++uy) {
                const size_t o = ((size_t)(767 - uy) * two.w + ux) * 3;
                if ((unsigned char)two.rgb[o] + (unsigned char)two.rgb[o + 1] + (unsigned char)two.rgb[o + 2] >
                    best[0] + best[1] + best[2])
                    for (int k = 0; k < 3; ++k) best[k] = (unsigned char)two.rgb[o + k];
            }
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(best[k], want[k], 1) << k;
    EXPECT_NE(want[0] + want[1] + want[2], 3 * 255);

    // The window closes as a window manager would close it.
    const TS_result info = TS_run({"xwininfo", "-name", "Hangaron"}, env, 20);
    std::string id;
    const size_t at = info.out.find("Window id: ");
    if (at != std::string::npos) std::istringstream(info.out.substr(at + 11)) >> id;
    EXPECT_EQ(TS_run({CORVANE_X_CLOSE_EXE, id}, env, 20).exit_code, 0) << info.out;
    TS_result r = TS_finish(p.proc, 60);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    const std::string log = TS_read_file(p.dir + "Corvane Installer Log.txt");
    EXPECT_EQ(log.find("Null texture"), std::string::npos) << log;
    EXPECT_EQ(log.find("WARNING: "), std::string::npos) << log;
}
