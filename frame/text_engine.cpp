// The text layout and editing engine (see text_engine.h): line table, selection, keys, mouse,
// scrolling and drawing through the host's callbacks, and the UTF-8 helpers hosts use.
#include "frame/text_engine.h"

#include <algorithm>
#include <cmath>

// ---------------------------------------------------------------------------------------------
// Reading the host

static void host_text(TE_engine* e, const char** first, const char** end)
{
    *first = *end = nullptr;
    e->callbacks.get_text(e, first, end);
    if (!*first || !*end || *end < *first) *first = *end = "";
}

static int host_length(TE_engine* e)
{
    const char *b, *t;
    host_text(e, &b, &t);
    return (int)(t - b);
}

static int clamp_int(int v, int lo, int hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

// Swaps reversed ends (the caret stays on the end it was on), then keeps both inside the text.
static void order_and_clamp(TE_engine* e)
{
    if (e->sel_end < e->sel_start) {
        std::swap(e->sel_start, e->sel_end);
        e->caret_at_end = 1 - e->caret_at_end;
    }
    const int len = host_length(e);
    e->sel_end = clamp_int(e->sel_end, 0, len);
    e->sel_start = clamp_int(e->sel_start, 0, e->sel_end);
}

static int line_count(TE_engine* e)
{
    return (int)e->line_starts.size();
}

// The byte after line i: the next line's start, or the text end for the last line.
static int line_end(TE_engine* e, int i, int len)
{
    return i + 1 < line_count(e) ? e->line_starts[(size_t)i + 1] : len;
}

static int caret_pos(TE_engine* e)
{
    return e->caret_at_end ? e->sel_end : e->sel_start;
}

// ---------------------------------------------------------------------------------------------
// Creation and layout

TE_engine* TE_create(const TE_callbacks& callbacks, void* host)
{
    TE_engine* e = new TE_engine;
    e->callbacks = callbacks;
    e->host = host;
    return e;
}

void TE_destroy(TE_engine* e)
{
    delete e;
}

static bool wrap_white(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

int TE_wrap_line(TE_engine* e, const char* first, const char* end, float width)
{
    float w = 0;
    int count = 0;
    const char* p = first;
    for (;;) {
        if (p >= end) return count;
        const char* white = p;
        while (p < end && wrap_white((unsigned char)*p)) {
            const char* q = e->callbacks.next_char_ptr(e, p);
            p = q > p && q <= end ? q : p + 1;
        }
        if (p > white) {
            w += e->callbacks.measure_run(e, white, p);
            count += (int)(p - white);
        }
        if (p >= end) return count;
        if (*p == '\n' || *p == '\r') return count + 1;
        const char* word = e->callbacks.next_word(e, p, end);
        if (word <= p || word > end) word = p + 1;
        w += e->callbacks.measure_run(e, p, word);
        if (w > width) {
            if (count > 0) return count;
            // A word wider than the whole line is cut after its first whole character, so no
            // line starts inside a character.
            const char* next = e->callbacks.next_char_ptr(e, p);
            if (next <= p || next > word) next = word;
            return (int)(next - p);
        }
        count += (int)(word - p);
        p = word;
    }
}

void TE_layout_from(TE_engine* e, int, int)
{
    TE_relayout(e);
}

void TE_relayout(TE_engine* e)
{
    TE_rect t;
    e->callbacks.get_text_rect(e, &t);
    const float width = t.right - t.left;
    const char *b, *end;
    host_text(e, &b, &end);
    const float h = e->callbacks.line_height(e);
    const int len = (int)(end - b);

    if (e->line_starts.empty()) e->line_starts.push_back(0);
    e->line_starts[0] = 0;
    int start = 0;
    for (size_t k = 0;; ++k) {
        int n = TE_wrap_line(e, b + start, end, width);
        if (n < 1) n = 1;
        const int next = start + n;
        // The table ends with the line that reaches the text end, whatever an older layout held.
        if (next >= len) {
            e->line_starts.resize(k + 1);
            break;
        }
        if (k + 1 < e->line_starts.size())
            e->line_starts[k + 1] = next;
        else
            e->line_starts.push_back(next);
        start = next;
    }
    e->callbacks.layout_changed(e, (float)line_count(e) * h);
}

// ---------------------------------------------------------------------------------------------
// Look-ups

int TE_line_of_pos(TE_engine* e, int position)
{
    const auto& ls = e->line_starts;
    const auto it = std::lower_bound(ls.begin(), ls.end(), position);
    if (it == ls.end()) return (int)ls.size() - 1;
    const int i = (int)(it - ls.begin());
    return *it == position ? i : i - 1;
}

// The position in line i that the distance dx from its start reaches.
static int fit_in_line(TE_engine* e, int i, float dx)
{
    const char *b, *end;
    host_text(e, &b, &end);
    const int len = (int)(end - b);
    const int s = clamp_int(e->line_starts[(size_t)i], 0, len);
    int t = clamp_int(line_end(e, i, len), s, len);
    // The break byte that ends a line is no place for the caret: a position after it is the
    // next line's start, so a click right of a short line or a move down onto it would land a
    // line further down.
    if (t > s && (b[t - 1] == '\n' || b[t - 1] == '\r')) --t;
    const int n = e->callbacks.fit_forward(e, b + s, b + t, dx);
    return s + clamp_int(n, 0, t - s);
}

int TE_pos_at_point(TE_engine* e, float x, float y)
{
    TE_rect t;
    e->callbacks.get_text_rect(e, &t);
    const float h = e->callbacks.line_height(e);
    x = std::min(std::max(x, t.left), t.right);
    const float line = std::floor((t.top - y) / h);
    if (line < 0) return 0;
    if (line >= (float)line_count(e)) return host_length(e);
    return fit_in_line(e, (int)line, x - t.left);
}

int TE_pos_at_x(TE_engine* e, int position, int direction, float remembered_x)
{
    const char *b, *end;
    host_text(e, &b, &end);
    const int len = (int)(end - b);
    position = clamp_int(position, 0, len);
    const int line = TE_line_of_pos(e, position);
    if (line < 0) return position;
    float dx = remembered_x;
    if (dx == -1.0f) {
        const int s = clamp_int(e->line_starts[(size_t)line], 0, position);
        dx = e->callbacks.measure_run(e, b + s, b + position);
        e->remembered_x = dx;
    }
    const int target = line + direction;
    if (target < 0) return 0;
    if (target >= line_count(e)) return len;
    return fit_in_line(e, target, dx);
}

// ---------------------------------------------------------------------------------------------
// Scrolling and drawing

void TE_scroll_to_caret(TE_engine* e)
{
    const char *b, *end;
    host_text(e, &b, &end);
    const int len = (int)(end - b);
    TE_rect t, f;
    e->callbacks.get_text_rect(e, &t);
    e->callbacks.get_frame(e, &f);
    const float h = e->callbacks.line_height(e);
    const int caret = clamp_int(caret_pos(e), 0, len);
    const int c = std::max(TE_line_of_pos(e, caret), 0);
    const int s = line_count(e) ? clamp_int(e->line_starts[(size_t)c], 0, caret) : 0;

    const float cx = t.left + e->callbacks.measure_run(e, b + s, b + caret);
    // The caret's whole line band is brought into the frame: measured at one edge only, a
    // caret scrolled to below the frame would stop with its line just outside it.
    const float band_top = t.top - (float)c * h, band_bottom = band_top - h;
    const float old_x = f.left - t.left, old_y = f.bottom - t.bottom;
    float nx = old_x, ny = old_y;
    if (cx < f.left)
        nx = cx - t.left;
    else if (cx > f.right)
        nx = cx - t.left - (f.right - f.left);
    if (band_bottom < f.bottom)
        ny = band_bottom - t.bottom;
    else if (band_top > f.top)
        ny = band_top - t.bottom - (f.top - f.bottom);
    if (nx != old_x || ny != old_y) e->callbacks.set_scroll(e, nx, ny);
}

void TE_draw(TE_engine* e, int draw_caret)
{
    const char *b, *end;
    host_text(e, &b, &end);
    const int len = (int)(end - b);
    TE_rect t, f;
    e->callbacks.get_text_rect(e, &t);
    e->callbacks.get_frame(e, &f);
    const float h = e->callbacks.line_height(e);
    const int count = line_count(e);
    const int first = std::max((int)std::floor((t.top - f.top) / h), 0);
    const int last = std::min((int)std::ceil((t.top - f.bottom) / h), count);
    const int ss = clamp_int(e->sel_start, 0, len), se = clamp_int(e->sel_end, ss, len);

    auto start_of = [&](int i) { return clamp_int(e->line_starts[(size_t)i], 0, len); };
    auto end_of = [&](int i) { return clamp_int(line_end(e, i, len), start_of(i), len); };
    auto x_of = [&](int s, int p) { return t.left + e->callbacks.measure_run(e, b + s, b + p); };

    if (ss < se) {
        for (int i = first; i < last; ++i) {
            const int s = start_of(i), en = end_of(i);
            TE_rect r;
            r.bottom = t.top - (float)(i + 1) * h;
            r.top = t.top - (float)i * h;
            bool draw = true;
            if (en <= ss) {
                draw = false;
            } else if (s < ss) {
                r.left = x_of(s, ss);
                r.right = se < en ? x_of(s, se) : t.right;
            } else if (en < se) {
                r.left = t.left;
                r.right = t.right;
            } else if (s < se) {
                r.left = t.left;
                r.right = x_of(s, se);
            } else {
                draw = false;
            }
            if (draw) e->callbacks.draw_selection(e, &r);
            if (s >= se) break;
        }
    }

    for (int i = first; i < last; ++i)
        e->callbacks.draw_run(e, b + start_of(i), b + end_of(i), t.left, t.top - (float)(i + 1) * h);

    if (draw_caret && ss == se) {
        for (int i = first; i < last; ++i) {
            const int s = start_of(i), en = end_of(i);
            if (s > ss) break;
            if (ss < en || (ss == en && i == count - 1)) {
                TE_rect r;
                r.left = r.right = x_of(s, ss);
                r.bottom = t.top - (float)(i + 1) * h;
                r.top = t.top - (float)i * h;
                e->callbacks.draw_selection(e, &r);
                break;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Editing

// The host's text changes through here only: the new bytes replace [from, to).
static void replace(TE_engine* e, int from, int to, const char* first, const char* end)
{
    e->callbacks.replace_text(e, from, to, first, end);
}

static int step_prev(TE_engine* e, int pos)
{
    return clamp_int(e->callbacks.prev_char(e, pos), 0, std::max(pos, 0));
}

static int step_next(TE_engine* e, int pos)
{
    return std::max(e->callbacks.next_char(e, pos), pos);
}

// The start of the word before pos (back over white space, then over the word), or with forward
// the end of the word after it as the host's next_word finds it. The bytes tested are single
// ones, as next_word tests them; those of multi-byte characters count as the word's.
static int word_edge(TE_engine* e, int pos, int forward)
{
    const char *b, *end;
    host_text(e, &b, &end);
    pos = clamp_int(pos, 0, (int)(end - b));
    if (forward) {
        const char* p = e->callbacks.next_word(e, b + pos, end);
        return p > b + pos && p <= end ? (int)(p - b) : pos;
    }
    auto white = [&](int p) { return wrap_white((unsigned char)b[p - 1]) || b[p - 1] == '\n' || b[p - 1] == '\r'; };
    while (pos > 0 && white(pos)) pos = step_prev(e, pos);
    while (pos > 0 && !white(pos)) pos = step_prev(e, pos);
    return pos;
}

// Backspace and Delete, a character or with word a word: the selection, else from the caret
// back (forward 0) or on (forward 1); nothing at the text's start or end.
static void delete_toward(TE_engine* e, int forward, int word)
{
    e->caret_at_end = 1;
    int from = e->sel_start, to = e->sel_end;
    if (from == to) {
        if (forward) to = word ? word_edge(e, to, 1) : std::min(step_next(e, to), host_length(e));
        else from = word ? word_edge(e, from, 0) : step_prev(e, from);
    }
    if (from >= to) return;
    replace(e, from, to, "", "");
    e->sel_start = e->sel_end = from;
    TE_relayout(e);
    TE_scroll_to_caret(e);
}

void TE_key(TE_engine* e, int key, int extend)
{
    order_and_clamp(e); // the host may have changed its text since the last operation
    if (key != 30 && key != 31) e->remembered_x = -1.0f;
    const int empty = e->sel_start == e->sel_end;
    switch (key) {
    case 8:
    case TE_KEY_DELETE:
    case TE_KEY_DELETE_WORD_BACK:
    case TE_KEY_DELETE_WORD:
        delete_toward(e, key == TE_KEY_DELETE || key == TE_KEY_DELETE_WORD,
                      key == TE_KEY_DELETE_WORD_BACK || key == TE_KEY_DELETE_WORD);
        return;
    case TE_KEY_SELECT_ALL:
        e->sel_start = 0;
        e->sel_end = host_length(e);
        e->caret_at_end = 1;
        break;
    case TE_KEY_HOME:
    case TE_KEY_END:
    case TE_KEY_WORD_LEFT:
    case TE_KEY_WORD_RIGHT: {
        // The caret's end moves; the other end stays where the selection began.
        const int to = key == TE_KEY_HOME  ? 0
                       : key == TE_KEY_END ? host_length(e)
                                           : word_edge(e, caret_pos(e), key == TE_KEY_WORD_RIGHT);
        if (extend)
            (e->caret_at_end ? e->sel_end : e->sel_start) = to;
        else
            e->sel_start = e->sel_end = to;
        break;
    }
    case 28:
        if (extend) {
            int32_t& end = e->caret_at_end ? e->sel_end : e->sel_start;
            end = step_prev(e, end);
        } else {
            if (empty) e->sel_start = step_prev(e, e->sel_start);
            e->sel_end = e->sel_start;
        }
        break;
    case 29:
        if (extend) {
            int32_t& end = e->caret_at_end ? e->sel_end : e->sel_start;
            end = step_next(e, end);
        } else {
            if (empty) e->sel_end = step_next(e, e->sel_end);
            e->sel_start = e->sel_end;
        }
        break;
    case 30:
    case 31: {
        const int dir = key == 30 ? -1 : 1;
        if (extend) {
            int32_t& end = e->caret_at_end ? e->sel_start : e->sel_end;
            end = TE_pos_at_x(e, end, dir, e->remembered_x);
        } else if (dir < 0) {
            if (empty) e->sel_start = TE_pos_at_x(e, e->sel_start, dir, e->remembered_x);
            e->sel_end = e->sel_start;
        } else {
            if (empty) e->sel_end = TE_pos_at_x(e, e->sel_end, dir, e->remembered_x);
            e->sel_start = e->sel_end;
        }
        break;
    }
    default: {
        const char byte = (char)key;
        replace(e, e->sel_start, e->sel_end, &byte, &byte + 1);
        e->sel_start += 1;
        e->sel_end = e->sel_start;
        e->caret_at_end = 1;
        TE_relayout(e);
        TE_scroll_to_caret(e);
        return;
    }
    }
    order_and_clamp(e);
    TE_scroll_to_caret(e);
}

void TE_type_text(TE_engine* e, int length, const char* bytes, int extend)
{
    if (length == 1) {
        TE_key(e, (unsigned char)bytes[0], extend);
        return;
    }
    if (length < 0 || !bytes) length = 0;
    order_and_clamp(e);
    e->remembered_x = -1.0f;
    replace(e, e->sel_start, e->sel_end, bytes ? bytes : "", (bytes ? bytes : "") + length);
    e->sel_start += length;
    e->sel_end = e->sel_start;
    e->caret_at_end = 1;
    TE_relayout(e);
    TE_scroll_to_caret(e);
}

void TE_click(TE_engine* e, float x, float y, int extend)
{
    e->remembered_x = -1.0f;
    const int p = TE_pos_at_point(e, x, y);
    if (!extend) {
        e->sel_start = e->sel_end = p;
        e->caret_at_end = 1;
    } else if (p < e->sel_start) {
        e->sel_start = p;
        e->caret_at_end = 0;
    } else {
        e->sel_end = p;
        e->caret_at_end = 1;
    }
    order_and_clamp(e);
    TE_scroll_to_caret(e);
}

void TE_drag(TE_engine* e, float x, float y)
{
    e->remembered_x = -1.0f;
    const int p = TE_pos_at_point(e, x, y);
    (e->caret_at_end ? e->sel_end : e->sel_start) = p;
    order_and_clamp(e);
    TE_scroll_to_caret(e);
}

void TE_select_word(TE_engine* e, float x, float y)
{
    e->remembered_x = -1.0f;
    // Back from the end of the word at the point to its start, then on to that word's end: a
    // point in white space takes the word after it, and no white space is selected with a word.
    e->sel_start = word_edge(e, word_edge(e, TE_pos_at_point(e, x, y), 1), 0);
    e->sel_end = word_edge(e, e->sel_start, 1);
    e->caret_at_end = 1;
    order_and_clamp(e);
    TE_scroll_to_caret(e);
}

void TE_text_replaced(TE_engine* e, int from, int to, const char* new_first, const char* new_end)
{
    const int len = host_length(e);
    from = clamp_int(from, 0, len);
    to = clamp_int(to, from, len);
    if (!new_first || !new_end || new_end < new_first) new_first = new_end = "";
    const int added = (int)(new_end - new_first);
    const int delta = added - (to - from);

    if (from <= e->sel_start && e->sel_start < to) {
        e->sel_end += delta;
        if (e->sel_end < e->sel_start) {
            e->sel_start = std::max(e->sel_start + delta, from);
            e->sel_end = e->sel_start;
        }
    } else if (e->sel_start >= to) {
        e->sel_start += delta;
        e->sel_end += delta;
    } else if (e->sel_end > from) {
        // The selection begins before the range and reaches into or past it: its end follows
        // the text it stood in.
        e->sel_end = e->sel_end >= to ? e->sel_end + delta : std::min(e->sel_end, from + added);
    }
    replace(e, from, to, new_first, new_end);
    // Whatever range the host named, both ends stay inside the new text.
    const int new_len = len + delta;
    e->sel_start = clamp_int(e->sel_start, 0, new_len);
    e->sel_end = clamp_int(e->sel_end, e->sel_start, new_len);
    TE_relayout(e);
}

void TE_get_selection(TE_engine* e, int* start_out, int* end_out)
{
    if (start_out) *start_out = e->sel_start;
    if (end_out) *end_out = e->sel_end;
}

void TE_set_selection(TE_engine* e, int start, int end)
{
    e->sel_start = start;
    e->sel_end = end;
    order_and_clamp(e);
}

// ---------------------------------------------------------------------------------------------
// UTF-8 helpers

static bool is_cont(const char* text, int i)
{
    return ((unsigned char)text[i] & 0xC0) == 0x80;
}

int TE_utf8_next(const char* text, int length, int pos)
{
    if (pos >= length) return length;
    if (pos < 0) return 0;
    while (pos > 0 && is_cont(text, pos)) --pos;
    ++pos;
    while (pos < length && is_cont(text, pos)) ++pos;
    return pos;
}

int TE_utf8_prev(const char* text, int length, int pos)
{
    if (pos > length) pos = length;
    if (pos <= 0) return 0;
    while (pos > 0 && pos < length && is_cont(text, pos)) --pos;
    if (pos == 0) return 0;
    --pos;
    while (pos > 0 && is_cont(text, pos)) --pos;
    return pos;
}

// The length of the well-formed character at p, or 0 when the bytes there are not one.
static int utf8_char_length(const unsigned char* p, const unsigned char* end)
{
    const unsigned c = p[0];
    if (c < 0x80) return 1;
    int n;
    unsigned lo = 0x80, hi = 0xBF; // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;      // overlong
        else if (c == 0xED) hi = 0x9F; // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;      // overlong
        else if (c == 0xF4) hi = 0x8F; // past U+10FFFF
    } else {
        return 0;
    }
    if (end - p < n) return 0;
    if (p[1] < lo || p[1] > hi) return 0;
    for (int i = 2; i < n; ++i)
        if ((p[i] & 0xC0) != 0x80) return 0;
    return n;
}

int TE_is_utf8(const char* first, const char* end)
{
    const unsigned char* p = (const unsigned char*)first;
    const unsigned char* e = (const unsigned char*)end;
    while (p < e) {
        const int n = utf8_char_length(p, e);
        if (!n) return 0;
        p += n;
    }
    return 1;
}

int TE_is_control(int c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

void TE_clean_line_text(std::string& text)
{
    std::string out;
    out.reserve(text.size());
    const unsigned char* p = (const unsigned char*)text.data();
    const unsigned char* e = p + text.size();
    while (p < e) {
        const int n = utf8_char_length(p, e);
        if (!n) {
            ++p; // a stray byte goes; what follows is read afresh
            continue;
        }
        // Every control character lies below U+10000: three bytes at most to decode.
        const int c = n == 1 ? p[0] : n == 2 ? (p[0] & 0x1F) << 6 | (p[1] & 0x3F)
                            : n == 3 ? (p[0] & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F) : 0x10000;
        if (!TE_is_control(c)) out.append((const char*)p, (size_t)n);
        p += n;
    }
    text.swap(out);
}

size_t TE_cut_length(const std::string& text, size_t max_bytes)
{
    if (text.size() <= max_bytes) return text.size();
    size_t n = max_bytes;
    // The byte at n begins the first character left out; back up while it continues one.
    while (n > 0 && ((unsigned char)text[n] & 0xC0) == 0x80) --n;
    return n;
}
