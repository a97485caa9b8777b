// Text measuring and the glyph atlas without a window: UTF-8 stepping over broken and cut
// sequences, glyphs against FreeType's own rendering at the fixed size and scale, the fitting
// calls against measured widths, atlas growth with "font/tex_mem" and its limit, line ends from
// broken sequences, label breaks, and the alerts of a font that cannot be made.
#include "support/test_support.h"

#include "foundation/tunables.h"
#include "frame/alert.h"
#include "frame/butn.h"
#include "frame/hl_init.h"
#include "graphics/OGL_font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstring>
#include <gtest/gtest.h>
#include <random>

namespace {

int gTestLanguage = 0;

void use_language(int language)
{
    gTestLanguage = language;
    gFontFrameLink.language = &gTestLanguage;
}

float tex_mem()
{
    for (const auto& flagged : TUNABLE_get_index())
        for (TunableRec* rec : flagged.second)
            if (std::string(rec->name) == "font/tex_mem") return TUNABLE_own_float(*rec);
    for (TunableRec* rec = TUNABLE_chain_head(); rec; rec = rec->next)
        if (std::string(rec->name) == "font/tex_mem") return TUNABLE_own_float(*rec);
    return -1;
}

int atlas_rows()
{
    return (gFonts[0] ? gFonts[0]->atlas_height : 0) + (gFonts[1] ? gFonts[1]->atlas_height : 0);
}

// The face as the program must set it up, made here with FreeType directly.
struct RefFace {
    FT_Library lib = nullptr;
    FT_Face face = nullptr;
    RefFace(const char* file, FT_Fixed xx)
    {
        FT_Init_FreeType(&lib);
        FT_New_Face(lib, (std::string("/usr/share/fonts/truetype/dejavu/") + file).c_str(), 0, &face);
        FT_Set_Char_Size(face, 0, 672, 72, 72);
        FT_Matrix m = {xx, 0, 0, 65536};
        FT_Set_Transform(face, &m, nullptr);
    }
    ~RefFace()
    {
        FT_Done_Face(face);
        FT_Done_FreeType(lib);
    }
};

// Every glyph in the atlas holds FreeType's bitmap through the coverage table, and its metrics
// are FreeType's at the face's scale.
void expect_glyphs_match(OGL_font_obj* f, RefFace& ref, float scale, const std::vector<uint32_t>& cps)
{
    for (uint32_t cp : cps) {
        SCOPED_TRACE(cp);
        ASSERT_EQ(FT_Load_Char(ref.face, cp, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT), 0);
        const FT_GlyphSlot s = ref.face->glyph;
        const OGL_glyph& g = f->glyphs.at(cp);
        EXPECT_EQ(g.error, 0);
        EXPECT_FLOAT_EQ(g.advance, (float)s->metrics.horiAdvance * scale / 64);
        // Drawn at the bitmap's own left edge: a narrowed glyph keeps to the pen within a unit.
        EXPECT_FLOAT_EQ(g.left, (float)s->bitmap_left);
        EXPECT_TRUE(scale != 1.0f || g.left == (float)s->metrics.horiBearingX / 64) << "not as before";
        EXPECT_FLOAT_EQ(g.bottom, (float)(s->metrics.horiBearingY - s->metrics.height) / 64);
        ASSERT_EQ(g.x1 - g.x0, (int)s->bitmap.width);
        ASSERT_EQ(g.y1 - g.y0, (int)s->bitmap.rows);
        ASSERT_LE(g.x1, FONT_ATLAS_WIDTH);
        ASSERT_LE(g.y1, f->atlas_height);
        for (int r = 0; r < g.y1 - g.y0; ++r)
            for (int c = 0; c < g.x1 - g.x0; ++c)
                ASSERT_EQ(f->atlas[(g.y0 + r) * FONT_ATLAS_WIDTH + g.x0 + c],
                          OGL_font_coverage(s->bitmap.buffer[r * s->bitmap.pitch + c]))
                    << "row " << r << " column " << c;
    }
}

std::vector<uint32_t> accents_and_cyrillic()
{
    std::vector<uint32_t> cps;
    for (uint32_t cp = 33; cp < 127; ++cp) cps.push_back(cp);
    for (uint32_t cp = 0xC0; cp <= 0xFF; ++cp) cps.push_back(cp);
    cps.push_back(0x152); // Œ
    cps.push_back(0x153);
    cps.push_back(0x178); // Ÿ
    cps.push_back(0x1E9E); // ẞ
    for (uint32_t cp = 0x401; cp <= 0x451; ++cp) cps.push_back(cp);
    return cps;
}

} // namespace

TEST(Font, Utf8StepsOverBrokenAndCutSequences)
{
    struct Case {
        std::string bytes;
        size_t range;  // bytes the decoder may see
        uint32_t cp;
        size_t step;
    } cases[] = {
        {"A", 1, 'A', 1},
        {"\xC3\xA9x", 3, 0xE9, 2},
        {"\xE2\x82\xAC", 3, 0x20AC, 3},
        {"\xF0\x9D\x84\x9E", 4, 0x1D11E, 4},
        {"\xF7\xBF\xBF\xBF", 4, 0x1FFFFF, 4},
        {"\x80" "A", 2, 0, 1},           // a stray continuation byte
        {"\x80\xBF\x80" "A", 4, 0, 3},   // a run of them is one character
        {"\xFF\x80" "A", 3, 0, 2},
        {"\xF8" "A", 2, 0, 1},
        {"\xC3" "A", 2, 0xC1, 1},        // the byte after a lead counts whatever its form...
        {"\xE2" "AB", 3, 0x2042, 1},     // ...but the next character starts at it
        {"\xE2\x82", 2, 0x2080, 2},      // cut at the end: the missing byte is zero bits
        {"\xF0\x9D", 2, 0x1D000, 2},
        {"\xE2\x82\xAC", 1, 0x2000, 1},  // the range ends after the lead
        {std::string("\xE2\0\xAC", 3), 3, 0x2000, 1}, // a NUL ends the text
        {"\xC3\xA9", 2, 0xE9, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        const char* p = c.bytes.data();
        EXPECT_EQ(OGL_utf8_next(p, c.bytes.data() + c.range), c.cp);
        EXPECT_EQ((size_t)(p - c.bytes.data()), c.step);
    }

    const char* none = "";
    EXPECT_EQ(OGL_utf8_prev(none, none), none);
}

TEST(Font, GlyphsAreFreeTypesAtTheFixedSizeAndScale)
{
    use_language(0);
    // The coverage table's telling rows.
    const int rows[][2] = {{0, 0}, {1, 9}, {16, 48}, {64, 111}, {128, 168}, {254, 254}, {255, 255}};
    for (auto& r : rows) EXPECT_EQ(OGL_font_coverage((unsigned char)r[0]), r[1]) << r[0];
    for (int i = 1; i < 256; ++i) EXPECT_GE(OGL_font_coverage((unsigned char)i), OGL_font_coverage((unsigned char)(i - 1)));

    const std::vector<uint32_t> cps = accents_and_cyrillic();
    OGL_font_obj* regular = OGL_font_get(0);
    OGL_font_reload(0);
    for (uint32_t cp : cps) regular->get_glyph(cp);
    RefFace ref("DejaVuSans.ttf", 65536);
    expect_glyphs_match(regular, ref, 1.0f, cps);

    // The bold face draws from its own file; its advances are not the regular ones.
    OGL_font_obj* bold = OGL_font_get(1);
    EXPECT_EQ(bold->manual_ref, 1022);
    EXPECT_EQ(regular->manual_ref, 1021);
    for (uint32_t cp : cps) bold->get_glyph(cp);
    RefFace ref_bold("DejaVuSans-Bold.ttf", 65536);
    expect_glyphs_match(bold, ref_bold, 1.0f, cps);
    EXPECT_NE(bold->get_glyph('W'), regular->get_glyph('W'));

    // Russian narrows bitmaps through the 16.16 transform and scales advances by 0.9.
    std::map<uint32_t, OGL_glyph> english(regular->glyphs.begin(), regular->glyphs.end());
    use_language(3);
    EXPECT_EQ(OGL_font_get(0), regular);
    EXPECT_EQ(regular->scale, 0.9f);
    EXPECT_TRUE(regular->glyphs.empty());
    for (uint32_t cp : cps) regular->get_glyph(cp);
    RefFace ref_ru("DejaVuSans.ttf", 58982);
    expect_glyphs_match(regular, ref_ru, 0.9f, cps);
    for (uint32_t cp : cps) EXPECT_NEAR(regular->glyphs.at(cp).advance, english[cp].advance * 0.9f, 1e-4) << cp;
    EXPECT_LT(regular->glyphs.at(0x416).x1 - regular->glyphs.at(0x416).x0,
              english[0x416].x1 - english[0x416].x0);
    // The bold face follows the language at its next use, and back.
    EXPECT_EQ(OGL_font_get(1)->scale, 0.9f);
    use_language(2);
    EXPECT_EQ(OGL_font_get(0)->scale, 1.0f);
    EXPECT_FLOAT_EQ(OGL_measure_string("Ж"), english[0x416].advance);
    use_language(0);
}

TEST(Font, FittingAgreesWithMeasuredWidths)
{
    for (int language : {0, 3}) {
        use_language(language);
        SCOPED_TRACE(language);
        const std::string s = "Wii";
        const char* b = s.data();
        const char* e = b + s.size();
        const float w = OGL_measure_string("W"), i = OGL_measure_string("i"), all = OGL_measure_string(s);
        EXPECT_EQ(OGL_fit_range(b, e, w - 0.5f), b);
        EXPECT_EQ(OGL_fit_range(b, e, w), b + 1);
        EXPECT_EQ(OGL_fit_range(b, e, all), e);
        EXPECT_EQ(OGL_fit_range(b, e, 1e9f), e);
        EXPECT_EQ(OGL_fit_range(b, b, 100), b);
        EXPECT_EQ(OGL_fit_range_back(b, e, i - 0.05f), e);
        EXPECT_EQ(OGL_fit_range_back(b, e, 2 * i), b + 1);
        EXPECT_EQ(OGL_fit_range_back(b, e, all + 0.01f), b);
        EXPECT_EQ(OGL_fit_range_back(b, b, 100), b);
        // Tabs have no width; text ends at its first NUL.
        EXPECT_FLOAT_EQ(OGL_measure_string("W\tW"), 2 * w);
        EXPECT_FLOAT_EQ(OGL_measure_string(std::string("ii\0WW", 5)), 2 * i);
        EXPECT_FLOAT_EQ(OGL_measure_string(""), 0);
        const std::string tab = "ab\t";
        EXPECT_EQ(OGL_fit_range_back(tab.data(), tab.data() + 3, 1000), tab.data());
        EXPECT_EQ(OGL_fit_range_back(tab.data(), tab.data() + 3, 0), tab.data() + 2);

        // Random texts of Latin, accents, Cyrillic, tabs and broken bytes, at widths on and
        // between the character edges.
        std::mt19937 rng(language + 5);
        const char* const pieces[] = {"a", "W", "i", " ", "\t", "\xC3\xA9", "\xC3\x9F", "\xD0\x96", "\xD1\x8F",
                                      "\xE2\x82\xAC", "\x80", "\xE2", "\xFF", "."};
        for (int round = 0; round < 400; ++round) {
            std::string t;
            const int n = (int)(rng() % 14);
            for (int k = 0; k < n; ++k) t += pieces[rng() % (sizeof pieces / sizeof *pieces)];
            const char* tb = t.data();
            const char* te = tb + t.size();
            std::vector<const char*> starts;
            for (const char* p = tb; p < te; OGL_utf8_next(p, te)) starts.push_back(p);
            starts.push_back(te);
            // Widths of the text's own characters: a broken sequence cut by a sub-range would
            // decode differently. A blank ends on a whole unit counted from the span's start.
            auto span = [&](size_t from, size_t to) {
                float x = 0;
                for (const char* p = starts[from]; p < starts[to];) {
                    const uint32_t c = OGL_utf8_next(p, te);
                    x += OGL_font_get(0)->get_glyph(c);
                    x = c == ' ' ? std::ceil(x - 0.001f) : x;
                }
                return x;
            };
            std::vector<float> prefix;
            for (size_t k = 0; k < starts.size(); ++k) prefix.push_back(span(0, k));
            const float total = prefix.back();
            EXPECT_FLOAT_EQ(OGL_measure_range(tb, te), total);
            auto at = [&](const char* p) { return (size_t)(std::find(starts.begin(), starts.end(), p) - starts.begin()); };
            for (int k = 0; k < 12; ++k) {
                float width = k < 6 ? prefix[rng() % prefix.size()] : std::uniform_real_distribution<float>(0, total + 2)(rng);
                if (k == 3) width -= 0.001f;
                if (width < 0) width = 0;
                SCOPED_TRACE(testing::PrintToString(t) + " width " + std::to_string(width));
                const size_t r = at(OGL_fit_range(tb, te, width));
                ASSERT_LT(r, starts.size());
                EXPECT_LE(prefix[r], width);
                if (r + 1 < starts.size()) {
                    EXPECT_GT(prefix[r + 1], width);
                }
                const size_t rb = at(OGL_fit_range_back(tb, te, width));
                ASSERT_LT(rb, starts.size());
                EXPECT_LE(span(rb, starts.size() - 1), width + 1e-3f);
                if (rb > 0) {
                    EXPECT_GT(span(rb - 1, starts.size() - 1), width - 1e-3f);
                }
            }
        }
    }
    use_language(0);
}

TEST(Font, AtlasGrowsInPowersOfTwoUpToItsLimit)
{
    use_language(0);
    hl_open_log(TS_scratch() + "atlas-log.txt");
    OGL_font_get(0);
    OGL_font_get(1);
    OGL_font_reload(2);
    EXPECT_EQ(tex_mem(), 0);
    EXPECT_EQ(atlas_rows(), 0);

    // Blanks and tabs first: nothing to upload, no rows; drawing them touches no texture.
    OGL_font_obj* f = gFonts[0];
    EXPECT_FLOAT_EQ(OGL_draw_string(52, 10, 100, "  \t ", 9999, 0, 0), 100);
    EXPECT_FLOAT_EQ(OGL_draw_string(52, 10, 100, "  \t ", 200, 0, 1), 90);
    EXPECT_EQ(f->atlas_height, 0);
    EXPECT_EQ(f->atlas_uploaded, 0);
    EXPECT_GT(OGL_measure_string("   "), 0);

    // The first glyph, 10 rows high: the smallest power of two not below them.
    f->get_glyph(0x4E00);
    EXPECT_EQ(f->glyphs.at(0x4E00).y1, 10);
    EXPECT_EQ(f->atlas_height, 16);
    EXPECT_EQ(tex_mem(), 16);

    // Many glyphs: the height stays a power of two, the rows of both faces are the tunable,
    // rectangles never overlap.
    for (uint32_t cp : accents_and_cyrillic()) {
        f->get_glyph(cp);
        gFonts[1]->get_glyph(cp);
        const int h = f->atlas_height;
        ASSERT_EQ(h & (h - 1), 0);
        ASSERT_EQ(tex_mem(), atlas_rows());
    }
    RefFace ref("DejaVuSans.ttf", 65536);
    expect_glyphs_match(f, ref, 1.0f, accents_and_cyrillic());

    // Boxes of code points the face lacks, until the atlas is full: later ones keep their advance
    // without a bitmap, and one warning says so.
    uint32_t cp = 0x4E01;
    while (f->atlas_height < FONT_ATLAS_MAX_ROWS || f->shelf_y + 2 * 10 <= FONT_ATLAS_MAX_ROWS) {
        f->get_glyph(cp++);
        ASSERT_LT(cp, 0x4E00u + 60000u);
    }
    for (int k = 0; k < 400; ++k) f->get_glyph(cp++);
    EXPECT_EQ(f->atlas_height, FONT_ATLAS_MAX_ROWS);
    const OGL_glyph& last = f->glyphs.at(cp - 1);
    EXPECT_EQ(last.x1 - last.x0, 0);
    EXPECT_EQ(last.y1 - last.y0, 0);
    EXPECT_GT(last.advance, 0);
    EXPECT_EQ(tex_mem(), atlas_rows());
    hl_close_log();
    const std::string log = TS_read_file(TS_scratch() + "atlas-log.txt");
    EXPECT_EQ(TS_count(log, "WARNING: "), 1) << log;
    EXPECT_NE(log.find("WARNING: the font atlas of texture 1021 is full"), std::string::npos) << log;

    // A reload gives the rows back.
    OGL_font_reload(2);
    EXPECT_EQ(tex_mem(), 0);
}

TEST(Font, BrokenLineEndsAreSteppedOverWhole)
{
    // "\xC0\x8A" decodes to LF: it ends the line and the next one starts behind both bytes.
    use_language(0);
    OGL_font_obj* f = OGL_font_get(0);
    const std::string t = "a\xC0\x8A" "b";
    const OGL_text_line l = OGL_scan_line(f, t.data(), t.data() + t.size(), 9999, 0);
    EXPECT_EQ(l.brk - t.data(), 1);
    EXPECT_EQ(l.next - t.data(), 3);
    const OGL_text_line m = OGL_scan_line(f, t.data() + 1, t.data() + t.size(), 50, 0);
    EXPECT_EQ(m.brk - t.data(), 1);
    EXPECT_EQ(m.next - t.data(), 3);
    // Two blanks after a full stop, the wrap reached at the first, the second or past both: the
    // next line starts at the next letter, never at the second blank.
    const std::string two = "Stop now.  Then go";
    for (const char* fits : {"Stop now. ", "Stop now.  ", "Stop now.  Th"}) {
        const OGL_text_line s = OGL_scan_line(f, two.data(), two.data() + two.size(), OGL_measure_string(fits), 0);
        EXPECT_EQ(std::string(s.next), "Then go") << fits;
    }
}

TEST(Label, BreaksNearTheMiddleOfLongParts)
{
    struct Case {
        const char* text;
        int align;
        const char* first;
        const char* second; // null: one line
    } cases[] = {
        {"Operating System to download Corvane for:", 0, "Operating System to", "download Corvane for:"},
        {"abcdef/ghijkl", 2, "abcdef/", "ghijkl"},        // '-' and '/' stay on the first line
        {"abcdefghijklm", 0, "abcdefghijklm", nullptr},   // nothing to break at
        {" abcdefghijkl", 0, " abcdefghijkl", nullptr},   // candidates only at the ends
        {"abcdefghijk-m", 0, "abcdefghijk-m", nullptr},
        {"abcdefghij km", 0, "abcdefghij", "km"},
        {"a-b-c-d-e-f-g", 0, "a-b-c-", "d-e-f-g"},        // ties keep the earlier choice
        {"x-resolution of movie", 0, "x-resolution", "of movie"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string a, b;
        EXPECT_EQ(BTN_label_lines(c.text, c.align, a, b), c.second ? 1 : 0);
        EXPECT_EQ(a, c.first);
        EXPECT_EQ(b, c.second ? c.second : "");
    }
    // The parts come from the mark-up as it is split.
    std::string label = "x-resolution of movie|(pix) { The y-resolution is auto-set for you to scale perfectly "
                        "based on the x-resolution you enter here.";
    std::string first, second, help;
    BTN_split_label(label, first, second, help);
    EXPECT_EQ(first, "x-resolution of movie");
    EXPECT_EQ(second, "(pix)");
    EXPECT_EQ(help, "The y-resolution is auto-set for you to scale perfectly based on the x-resolution you enter here.");
}

std::string regex_escape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (strchr("\\^$.|?*+()[]{}", c)) out += '\\';
        out += c;
    }
    return out;
}

int* gReadyFlag = nullptr;
void say_ready_flag()
{
    fprintf(stderr, "ui ready at exit: %d\n", *gReadyFlag);
}

TEST(Font, AFontThatCannotBeMadeEndsInTheMessageBox)
{
    const std::string dir = TS_new_dir("bad-fonts");
    TS_write_file(dir + "junk.ttf", "this is not a font");
    const std::string no_read = "(We could not open the file and read its contents.)";
    struct Case {
        std::string path;
        float size;
        std::string line1, line3;
    } cases[] = {
        {dir + "missing.ttf", 10.5f, "Error: unable to make font from file", no_read},
        {dir + "junk.ttf", 10.5f, "Error: unable to make font from file", "(Free-type could not process the .ttf file.)"},
        {"RESOURCE:NoSuchFont.ttf", 10.5f, "Error: unable to make font from file", no_read},
        {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 70000, "Error: unable to set char size for font", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string box = "Hangaron Message\n\n" + c.line1 + "\n\n" + c.path + "\n\n" + c.line3 + "\n\n\n\n";
        // The UI counts as ready, yet the failure goes to the message box and standard error,
        // and the program ends as after any fatal alert.
        EXPECT_EXIT(
            {
                hl_open_log(dir + "log.txt");
                ALERT_set_presenter(ALERT_present);
                gFontFrameLink.ui_ready = &gUIReady;
                gUIReady = 1;
                gReadyFlag = &gUIReady;
                atexit(say_ready_flag);
                OGL_font_obj f(1021);
                f.load(c.path, c.size);
                _exit(7);
            },
            testing::ExitedWithCode(0), regex_escape(box) + "\\(OGL_font:[0-9]+\\)\nui ready at exit: 0");
        const std::string log = TS_read_file(dir + "log.txt");
        EXPECT_NE(log.find(c.line1 + "\n" + c.path + "\n" + c.line3 + "\n\n(OGL_font:"), std::string::npos) << log;
    }
    // A plain font file that can be read works like the embedded one.
    use_language(0);
    OGL_font_obj plain(1021);
    plain.load("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 10.5f);
    EXPECT_FLOAT_EQ(plain.get_glyph('W'), OGL_font_get(0)->get_glyph('W'));
}
