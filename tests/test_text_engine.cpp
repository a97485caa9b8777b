// The text engine with a host of fixed-width glyphs (every character 6 units, lines 10 high):
// layout, look-ups, keys, mouse, paste, scrolling and drawing, the UTF-8 helpers the text field
// builds on, and a bounded random run that keeps the engine's invariants.
#include "frame/text_engine.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <random>

namespace {

const float kGlyph = 6, kLine = 10;

struct Host {
    std::string text;
    TE_rect frame{10, 100, 70, 140}; // four lines of ten characters
    float wrap = 60;
    float sx = 0, sy = 0;
    int scroll_calls = 0;
    int out_of_range = 0; // callbacks handed bytes outside the text
    std::vector<TE_rect> rects;
    std::vector<std::string> runs;
    std::vector<float> run_y;
};

Host* host_of(TE_engine* e)
{
    return (Host*)e->host;
}

void check_range(TE_engine* e, const char* a, const char* b)
{
    Host* h = host_of(e);
    const char* t = h->text.data();
    if (a < t || b > t + h->text.size() || b < a) ++h->out_of_range;
}

int chars_in(const char* a, const char* b)
{
    int n = 0;
    for (int p = 0, len = (int)(b - a); p < len; p = TE_utf8_next(a, len, p)) ++n;
    return n;
}

const TE_callbacks kFixed = {
    [](TE_engine* e, TE_rect* r) { *r = host_of(e)->frame; },
    [](TE_engine* e, TE_rect* r) {
        Host* h = host_of(e);
        *r = h->frame;
        r->left -= h->sx;
        r->bottom -= h->sy;
        r->top -= h->sy;
        r->right = r->left + h->wrap;
    },
    [](TE_engine*, float) {},
    [](TE_engine* e, float x, float y) {
        host_of(e)->sx = x;
        host_of(e)->sy = y;
        ++host_of(e)->scroll_calls;
    },
    [](TE_engine* e, const char** a, const char** b) {
        *a = host_of(e)->text.data();
        *b = *a + host_of(e)->text.size();
    },
    [](TE_engine* e, int from, int to, const char* a, const char* b) {
        Host* h = host_of(e);
        if (from < 0 || to < from || (size_t)to > h->text.size()) {
            ++h->out_of_range;
            return;
        }
        h->text.replace((size_t)from, (size_t)(to - from), std::string(a, b));
    },
    [](TE_engine*) { return kLine; },
    [](TE_engine* e, const char* a, const char* b) {
        check_range(e, a, b);
        return kGlyph * (float)chars_in(a, b);
    },
    [](TE_engine* e, const char* a, const char* b, float w) {
        check_range(e, a, b);
        const int len = (int)(b - a);
        float sum = 0;
        for (int p = 0; p < len;) {
            sum += kGlyph;
            if (sum > w) return p;
            p = TE_utf8_next(a, len, p);
        }
        return len;
    },
    [](TE_engine* e, const char* a, const char* b, float w) {
        check_range(e, a, b);
        const int len = (int)(b - a);
        float sum = 0;
        int p = len;
        while (p > 0 && sum + kGlyph <= w) {
            sum += kGlyph;
            p = TE_utf8_prev(a, len, p);
        }
        return len - p;
    },
    [](TE_engine* e, const char* a, const char* b, float, float y) {
        check_range(e, a, b);
        host_of(e)->runs.emplace_back(a, b);
        host_of(e)->run_y.push_back(y);
    },
    [](TE_engine* e, const TE_rect* r) { host_of(e)->rects.push_back(*r); },
    [](TE_engine* e, const char* p, const char* end) {
        check_range(e, p, end);
        while (p < end && isspace((unsigned char)*p)) ++p;
        while (p < end && !isspace((unsigned char)*p)) ++p;
        return p;
    },
    [](TE_engine* e, const char* p) {
        const std::string& t = host_of(e)->text;
        check_range(e, p, p);
        return t.data() + TE_utf8_next(t.data(), (int)t.size(), (int)(p - t.data()));
    },
    [](TE_engine* e, int pos) {
        const std::string& t = host_of(e)->text;
        return TE_utf8_next(t.data(), (int)t.size(), pos);
    },
    [](TE_engine* e, int pos) {
        const std::string& t = host_of(e)->text;
        return TE_utf8_prev(t.data(), (int)t.size(), pos);
    },
};

struct Fixture {
    Host h;
    TE_engine* e;
    explicit Fixture(const std::string& text, float wrap = 60)
    {
        h.text = text;
        h.wrap = wrap;
        e = TE_create(kFixed, &h);
        TE_relayout(e);
    }
    ~Fixture() { TE_destroy(e); }
    std::vector<int32_t> lines() const { return e->line_starts; }
    std::pair<int, int> sel() const { return {e->sel_start, e->sel_end}; }
    // The point in the middle of character column col of line row.
    float x(float col) const { return h.frame.left - h.sx + col * kGlyph + 3; }
    float y(int row) const { return h.frame.top - h.sy - (float)row * kLine - 5; }
};

using L = std::vector<int32_t>;
using S = std::pair<int, int>;

// Line starts rise strictly, begin at 0 and stay inside the text; the selection is ordered
// inside it.
void expect_sound(const Fixture& f)
{
    const auto& ls = f.e->line_starts;
    ASSERT_FALSE(ls.empty());
    EXPECT_EQ(ls[0], 0);
    for (size_t i = 1; i < ls.size(); ++i) {
        EXPECT_LT(ls[i - 1], ls[i]);
        EXPECT_LT(ls[i], (int32_t)f.h.text.size());
    }
    EXPECT_LE(0, f.e->sel_start);
    EXPECT_LE(f.e->sel_start, f.e->sel_end);
    EXPECT_LE(f.e->sel_end, (int32_t)f.h.text.size());
    EXPECT_EQ(f.h.out_of_range, 0);
}

} // namespace

TEST(TextEngine, LaysOutBreaksBlanksAndOverWideWords)
{
    EXPECT_EQ(Fixture("").lines(), L({0}));
    EXPECT_EQ(Fixture("ab\ncd").lines(), L({0, 3}));
    EXPECT_EQ(Fixture("ab\n").lines(), L({0}));           // no empty line after a final LF
    EXPECT_EQ(Fixture("ab\r\ncd").lines(), L({0, 3, 4})); // CR LF is two breaks
    EXPECT_EQ(Fixture("ab \ncd").lines(), L({0, 4}));     // a blank before LF stays on its line
    // Blanks stay with the word before them; a word that does not fit starts the next line.
    EXPECT_EQ(Fixture("aaa bbb ccc", 42).lines(), L({0, 8}));
    // A first word wider than the line goes one whole character per line, Latin or Cyrillic.
    EXPECT_EQ(Fixture("abcd", 6).lines(), L({0, 1, 2, 3}));
    EXPECT_EQ(Fixture("\xD0\x96\xD0\x96\xD0\x96", 6).lines(), L({0, 2, 4}));
    EXPECT_EQ(Fixture("\xE2\x82\xAC\xE2\x82\xAC x", 6).lines(), L({0, 3, 7}));
    // Stray continuation bytes ride with the character before them.
    EXPECT_EQ(Fixture("a\x80\x80\x80", 3).lines(), L({0}));

    // A shorter text cuts the table at its end, also when the old table had a line starting
    // exactly there.
    Fixture f("aaa bbb", 24);
    EXPECT_EQ(f.lines(), L({0, 4}));
    f.h.text = "aaa ";
    TE_relayout(f.e);
    EXPECT_EQ(f.lines(), L({0}));
    f.h.text = "a b c d e f";
    TE_relayout(f.e);
    f.h.text = "a";
    TE_relayout(f.e);
    EXPECT_EQ(f.lines(), L({0}));
}

TEST(TextEngine, PointsLinesAndVerticalMoves)
{
    // Lines "abcdefgh\n" (0), "ab\n" (9), "abcdefgh" (12).
    Fixture f("abcdefgh\nab\nabcdefgh", 60);
    ASSERT_EQ(f.lines(), L({0, 9, 12}));
    EXPECT_EQ(TE_pos_at_point(f.e, f.x(3), f.h.frame.top + 20), 0);  // above
    EXPECT_EQ(TE_pos_at_point(f.e, f.x(3), f.h.frame.bottom - 5), 20); // below
    EXPECT_EQ(TE_pos_at_point(f.e, 0, f.y(1)), 9);                  // left of line 1
    EXPECT_EQ(TE_pos_at_point(f.e, f.x(2), f.y(0)), 2);
    // Right of a short line: before its LF, on that line.
    EXPECT_EQ(TE_pos_at_point(f.e, 500, f.y(1)), 11);
    EXPECT_EQ(TE_line_of_pos(f.e, 9), 1);
    EXPECT_EQ(TE_line_of_pos(f.e, 20), 2);

    // Down, Down, Down from column 6 passes the short line and comes back to column 6.
    TE_set_selection(f.e, 6, 6);
    TE_key(f.e, 31, 0);
    EXPECT_EQ(f.sel(), S(11, 11));
    TE_key(f.e, 31, 0);
    EXPECT_EQ(f.sel(), S(18, 18));
    TE_key(f.e, 31, 0);
    EXPECT_EQ(f.sel(), S(20, 20)); // past the last line: the text end
    TE_key(f.e, 30, 0);
    EXPECT_EQ(f.sel(), S(11, 11));
    TE_key(f.e, 30, 0);
    EXPECT_EQ(f.sel(), S(6, 6));
    TE_key(f.e, 30, 0);
    EXPECT_EQ(f.sel(), S(0, 0));
    EXPECT_NE(f.e->remembered_x, -1.0f);
    TE_key(f.e, 29, 0); // any other key forgets the distance
    EXPECT_EQ(f.e->remembered_x, -1.0f);

    // A caret at a wrap point belongs to the next line and is drawn at its start.
    Fixture w("aaa bbb", 24);
    TE_set_selection(w.e, 4, 4);
    EXPECT_EQ(TE_line_of_pos(w.e, 4), 1);
    TE_draw(w.e, 1);
    ASSERT_EQ(w.h.rects.size(), 1u);
    EXPECT_EQ(w.h.rects[0].left, w.h.frame.left);
    EXPECT_EQ(w.h.rects[0].right, w.h.frame.left);
    EXPECT_EQ(w.h.rects[0].top, w.h.frame.top - kLine);

    // An empty text: one line; a click anywhere gives 0; the caret stands at its left edge.
    Fixture z("");
    TE_click(z.e, 500, -500, 0);
    EXPECT_EQ(z.sel(), S(0, 0));
    TE_draw(z.e, 1);
    ASSERT_EQ(z.h.rects.size(), 1u);
    EXPECT_EQ(z.h.rects[0].left, z.h.frame.left);
    EXPECT_EQ(z.h.runs, std::vector<std::string>({""}));
}

TEST(TextEngine, KeysClicksDragsAndPaste)
{
    Fixture f("", 1000);
    // Backspace at 0 does nothing but makes the end the caret.
    f.e->caret_at_end = 0;
    TE_key(f.e, 8, 0);
    EXPECT_EQ(f.h.text, "");
    EXPECT_EQ(f.e->caret_at_end, 1);

    const char zhe[] = "\xD0\x96";
    TE_type_text(f.e, 1, "a", 0);
    TE_type_text(f.e, 2, zhe, 0);
    TE_type_text(f.e, 1, "b", 0);
    EXPECT_EQ(f.h.text, "a\xD0\x96"
                        "b");
    EXPECT_EQ(f.sel(), S(4, 4));
    // Shift+Left after typing shrinks from the end; Shift+Up then moves the start.
    TE_key(f.e, 28, 1);
    TE_key(f.e, 28, 1);
    EXPECT_EQ(f.sel(), S(1, 4));
    EXPECT_EQ(f.e->caret_at_end, 0); // the ends swapped: the caret is the start now
    TE_key(f.e, 29, 1);
    EXPECT_EQ(f.sel(), S(3, 4));
    TE_key(f.e, 30, 1); // caret at the start: Shift+Up moves the end
    EXPECT_EQ(f.sel(), S(0, 3));
    // Left collapses to the start, Right to the end, neither moving further.
    TE_key(f.e, 28, 0);
    EXPECT_EQ(f.sel(), S(0, 0));
    TE_set_selection(f.e, 1, 3);
    TE_key(f.e, 28, 0);
    EXPECT_EQ(f.sel(), S(1, 1));
    TE_set_selection(f.e, 1, 3);
    TE_key(f.e, 29, 0);
    EXPECT_EQ(f.sel(), S(3, 3));
    // Backspace takes the whole two-byte character before the caret.
    TE_key(f.e, 8, 0);
    EXPECT_EQ(f.h.text, "ab");
    EXPECT_EQ(f.sel(), S(1, 1));
    TE_key(f.e, 28, 0);
    TE_key(f.e, 28, 0);
    EXPECT_EQ(f.sel(), S(0, 0));
    TE_key(f.e, 29, 0);
    TE_key(f.e, 29, 0);
    TE_key(f.e, 29, 0);
    EXPECT_EQ(f.sel(), S(2, 2));

    // Paste at a caret leaves the caret after it; over a selection leaves it selected.
    const std::string p = "XYZ";
    TE_set_selection(f.e, 1, 1);
    TE_text_replaced(f.e, 1, 1, p.data(), p.data() + 3);
    EXPECT_EQ(f.h.text, "aXYZb");
    EXPECT_EQ(f.sel(), S(4, 4));
    TE_set_selection(f.e, 1, 4);
    TE_text_replaced(f.e, 1, 4, zhe, zhe + 2);
    EXPECT_EQ(f.h.text, "a\xD0\x96"
                        "b");
    EXPECT_EQ(f.sel(), S(1, 3));
    // Ranges other than the selection keep both ends inside the text.
    f.h.text = "0123456789";
    TE_set_selection(f.e, 2, 9);
    TE_text_replaced(f.e, 4, 10, "", "");
    EXPECT_EQ(f.h.text, "0123");
    EXPECT_EQ(f.sel(), S(2, 4));
    TE_text_replaced(f.e, 50, -3, p.data(), p.data() + 3); // clamped to an insert at the end
    EXPECT_EQ(f.h.text, "0123XYZ");
    TE_set_selection(f.e, 5, 7);
    TE_text_replaced(f.e, 0, 7, "", "");
    EXPECT_EQ(f.sel(), S(0, 0));
    expect_sound(f);

    // Clicks, Shift+clicks and a drag back over the other end.
    f.h.text = "abcdefgh";
    TE_relayout(f.e);
    TE_click(f.e, f.x(3), f.y(0), 0);
    EXPECT_EQ(f.sel(), S(3, 3));
    TE_click(f.e, f.x(6), f.y(0), 1);
    EXPECT_EQ(f.sel(), S(3, 6));
    TE_click(f.e, f.x(1), f.y(0), 1);
    EXPECT_EQ(f.sel(), S(1, 6));
    EXPECT_EQ(f.e->caret_at_end, 0);
    TE_drag(f.e, f.x(7), f.y(0));
    EXPECT_EQ(f.sel(), S(6, 7));
    EXPECT_EQ(f.e->caret_at_end, 1);
    TE_drag(f.e, f.x(2), f.y(0));
    EXPECT_EQ(f.sel(), S(2, 6));
    EXPECT_EQ(f.e->caret_at_end, 0);
    // A typed byte replaces the selection.
    TE_key(f.e, 'Q', 1);
    EXPECT_EQ(f.h.text, "abQgh");
    EXPECT_EQ(f.sel(), S(3, 3));
    expect_sound(f);

    // A double click selects the word under the point, on its first letter too, or after white space.
    f.h.text = "ab cd  ef";
    TE_relayout(f.e);
    for (auto [col, want] : {std::pair{3, S(3, 5)}, {4, S(3, 5)}, {6, S(7, 9)}, {0, S(0, 2)}}) {
        TE_select_word(f.e, f.x((float)col), f.y(0));
        EXPECT_EQ(f.sel(), want) << col;
    }
}

TEST(TextEngine, ScrollsOnlyWhenTheCaretLeavesTheFrame)
{
    Fixture f("", 1024);
    for (int i = 0; i < 10; ++i) TE_type_text(f.e, 1, "m", 0); // up to the right edge
    EXPECT_EQ(f.h.scroll_calls, 0);
    TE_key(f.e, 28, 0);
    TE_key(f.e, 29, 0);
    EXPECT_EQ(f.h.scroll_calls, 0);
    TE_type_text(f.e, 2, "\xD0\x96", 0); // eleventh character: past the edge by one glyph
    EXPECT_EQ(f.h.scroll_calls, 1);
    EXPECT_EQ(f.h.sx, kGlyph);
    EXPECT_EQ(f.h.sy, 0);
    for (int i = 0; i < 10; ++i) TE_key(f.e, 28, 0); // back to column 1: still inside
    EXPECT_EQ(f.h.scroll_calls, 1);
    TE_key(f.e, 28, 0);
    EXPECT_EQ(f.h.scroll_calls, 2);
    EXPECT_EQ(f.h.sx, 0);
    // The text is drawn from the scrolled start.
    TE_key(f.e, 29, 1);
    for (int i = 0; i < 11; ++i) TE_key(f.e, 29, 0);
    EXPECT_EQ(f.h.sx, kGlyph);
    f.h.runs.clear();
    f.h.rects.clear();
    TE_draw(f.e, 1);
    ASSERT_EQ(f.h.rects.size(), 1u);
    EXPECT_EQ(f.h.rects[0].left, f.h.frame.right);

    // Vertically: a fifth line scrolls one line; the drawn lines are those in the frame.
    Fixture v("1\n2\n3\n4\n5\n6", 60);
    TE_set_selection(v.e, 7, 7); // line 3, the frame's last
    TE_scroll_to_caret(v.e);
    EXPECT_EQ(v.h.scroll_calls, 0);
    TE_key(v.e, 31, 0);
    EXPECT_EQ(v.h.scroll_calls, 1);
    EXPECT_EQ(v.h.sy, -kLine);
    TE_draw(v.e, 0);
    EXPECT_EQ(v.h.runs, std::vector<std::string>({"2\n", "3\n", "4\n", "5\n"}));
    EXPECT_EQ(v.h.run_y.front(), v.h.frame.top - kLine);
    TE_set_selection(v.e, 0, 0);
    TE_key(v.e, 28, 0);
    EXPECT_EQ(v.h.sy, 0);
}

TEST(TextEngine, SelectionRectanglesOverSeveralLines)
{
    Fixture f("abcdef\nabcdef\nabcdef", 60);
    TE_set_selection(f.e, 3, 16);
    TE_draw(f.e, 1);
    const float l = f.h.frame.left, r = l + 60, top = f.h.frame.top;
    ASSERT_EQ(f.h.rects.size(), 3u); // no caret with a selection
    EXPECT_EQ(f.h.rects[0].left, l + 3 * kGlyph);
    EXPECT_EQ(f.h.rects[0].right, r);
    EXPECT_EQ(f.h.rects[0].top, top);
    EXPECT_EQ(f.h.rects[1].left, l);
    EXPECT_EQ(f.h.rects[1].right, r);
    EXPECT_EQ(f.h.rects[1].bottom, top - 2 * kLine);
    EXPECT_EQ(f.h.rects[2].left, l);
    EXPECT_EQ(f.h.rects[2].right, l + 2 * kGlyph);
    // Inside one line: from start to end only.
    f.h.rects.clear();
    TE_set_selection(f.e, 8, 10);
    TE_draw(f.e, 1);
    ASSERT_EQ(f.h.rects.size(), 1u);
    EXPECT_EQ(f.h.rects[0].left, l + kGlyph);
    EXPECT_EQ(f.h.rects[0].right, l + 3 * kGlyph);
}

TEST(TextEngine, Utf8HelpersStayInsideAndClean)
{
    // Stepping on bytes that are not UTF-8 never leaves [0, length].
    const std::string bad = "\x80\x80\xC3\xFF\xE2\x82\xC3\xA9";
    const int n = (int)bad.size();
    for (int p = -2; p <= n + 2; ++p) {
        const int next = TE_utf8_next(bad.data(), n, p), prev = TE_utf8_prev(bad.data(), n, p);
        EXPECT_GE(next, 0);
        EXPECT_LE(next, n);
        EXPECT_GE(prev, 0);
        EXPECT_LE(prev, n);
        if (p >= 0 && p < n) {
            EXPECT_GT(next, p);
        }
        if (p > 0 && p <= n) {
            EXPECT_LT(prev, p);
        }
    }
    EXPECT_EQ(TE_utf8_next(bad.data(), n, n), n);
    EXPECT_EQ(TE_utf8_prev(bad.data(), n, 0), 0);
    EXPECT_EQ(TE_utf8_prev(bad.data(), n, 1), 0); // continuation bytes at the start
    EXPECT_EQ(TE_utf8_prev("a\xD0\x96", 3, 3), 1);
    EXPECT_EQ(TE_utf8_next("a\xD0\x96", 3, 1), 3);
    EXPECT_EQ(TE_utf8_next("a\xD0\x96", 3, 2), 3);

    // Cleaning: control bytes, DEL, stray and broken bytes, overlong forms and surrogates go.
    std::string t = "a\nb\r\tc\x7F\x01"
                    "\xD0\x96\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80\xE2\x82\xAC\xD0"
                    "d\xF0\x9F\x98\x80\xFF";
    TE_clean_line_text(t);
    EXPECT_EQ(t, "abc\xD0\x96\xE2\x82\xAC"
                 "d\xF0\x9F\x98\x80");
    EXPECT_TRUE(TE_is_utf8(t.data(), t.data() + t.size()));

    // The length limit never keeps half a character.
    const std::string cyr = std::string(64, 'x') + "\xD0\x96";
    EXPECT_EQ(TE_cut_length(cyr, 65), 64u);
    EXPECT_EQ(TE_cut_length(cyr, 66), 66u);
    EXPECT_EQ(TE_cut_length("ab\xE2\x82\xAC", 4), 2u);
    EXPECT_EQ(TE_cut_length("abc", 9), 3u);
}

// Keys, typed characters, clicks, drags, outside replacements and pastes of random bytes
// (cleaned and cut to a limit, as the text field does) keep the engine sound, and a valid UTF-8
// text stays valid. A second run starts from broken bytes and checks only the bounds.
TEST(TextEngine, RandomRunKeepsInvariants)
{
    for (int run = 0; run < 2; ++run) {
        std::mt19937 rng(1234 + run);
        auto pick = [&](int n) { return (int)(rng() % (unsigned)n); };
        const bool valid_start = run == 0;
        Fixture f(valid_start ? "hello w\xC3\xB6rld \xD0\x96\xD0\xB6" : "\x80\xFF\xC3 broken \xE2\x82", 60);
        const size_t limit = 65;
        static const char* const kChars[] = {"a", " ", "Z", "\t", "\xC3\xA9", "\xD0\x96", "\xE2\x82\xAC",
                                             "\xF0\x9F\x98\x80", "\n", "-"};
        for (int step = 0; step < 20000; ++step) {
            const int op = pick(13);
            const float px = (float)pick(120) - 20, py = (float)pick(80) + 80;
            if (op == 0) {
                static const int keys[] = {8, 28, 29, 30, 31};
                TE_key(f.e, keys[pick(5)], pick(2));
            } else if (op <= 2 || op >= 10) {
                const char* c = kChars[pick(10)];
                TE_type_text(f.e, (int)strlen(c), c, pick(2));
            } else if (op == 3) {
                TE_click(f.e, px, py, pick(4) == 0);
            } else if (op == 4 && pick(3) == 0) {
                TE_drag(f.e, px, py);
            } else if (op == 5) {
                std::string bytes;
                for (int i = pick(30); i > 0; --i) bytes.push_back((char)pick(256));
                TE_clean_line_text(bytes);
                ASSERT_TRUE(TE_is_utf8(bytes.data(), bytes.data() + bytes.size()));
                TE_text_replaced(f.e, f.e->sel_start, f.e->sel_end, bytes.data(), bytes.data() + bytes.size());
            } else if (op == 6) {
                TE_draw(f.e, 1);
                f.h.rects.clear();
                f.h.runs.clear();
                f.h.run_y.clear();
            } else if (op == 7 && pick(3) == 0) {
                // On character starts, as the engine's own moves leave them.
                const char* t = f.h.text.data();
                const int len = (int)f.h.text.size();
                auto snap = [&](int p) { return TE_utf8_prev(t, len, TE_utf8_next(t, len, p)); };
                TE_set_selection(f.e, snap(pick(90) - 10), snap(pick(90) - 10));
            } else {
                TE_type_text(f.e, 0, "", 0);
            }
            if (f.h.text.size() > limit) {
                f.h.text.resize(TE_cut_length(f.h.text, limit));
                TE_set_selection(f.e, f.e->sel_start, f.e->sel_end);
                TE_relayout(f.e);
            }
            expect_sound(f);
            if (valid_start) {
                ASSERT_TRUE(TE_is_utf8(f.h.text.data(), f.h.text.data() + f.h.text.size())) << step;
            }
            if (HasFailure()) return;
        }
    }
}
