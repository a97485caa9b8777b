// Widgets and their labels (see butn.h).
#include "frame/butn.h"

#include "graphics/OGL_font.h"

#include <cstdlib>

// Removes one blank directly before (before = true) or after each occurrence of the marker.
static void drop_blank_beside(std::string& label, char marker, bool before)
{
    for (size_t i = 0; i + 1 < label.size(); ++i) {
        if (before && label[i] == ' ' && label[i + 1] == marker)
            label.erase(i, 1);
        else if (!before && label[i] == marker && label[i + 1] == ' ')
            label.erase(i + 1, 1);
    }
}

void BTN_split_label(std::string& label, std::string& first, std::string& second, std::string& help)
{
    drop_blank_beside(label, '|', true);
    drop_blank_beside(label, '|', false);
    drop_blank_beside(label, '{', true);
    drop_blank_beside(label, '{', false);

    const size_t len = label.size();
    size_t brace = label.rfind('{');
    if (brace == std::string::npos) brace = len;
    // The help part runs to the end of the label, so a '|' inside it splits nothing.
    size_t bar = brace == 0 ? std::string::npos : label.rfind('|', brace - 1);
    if (bar == std::string::npos) bar = brace;

    first = label.substr(0, bar);
    second = bar < brace ? label.substr(bar + 1, brace - bar - 1) : std::string();
    help = brace < len ? label.substr(brace + 1) : std::string();
}

int BTN_label_lines(const std::string& text, int align, std::string& first, std::string& second)
{
    std::string s = text;
    size_t limit = 12;
    if (!s.empty() && s[0] == '-') {
        limit = 9999;
        s.erase(0, 1);
    }
    first = s;
    second.clear();
    if (align == 1 || s.size() <= limit) return 0;

    // The candidate nearest the middle wins, measured against the current choice's second-line
    // start; a blank is dropped, a '-' or '/' stays at the end of the first line.
    const long len = (long)s.size(), mid = len / 2;
    long first_end = -1, second_start = 0;
    for (long i = 0; i < len; ++i) {
        const char c = s[(size_t)i];
        if (c != ' ' && c != '-' && c != '/') continue;
        if (labs(i - mid) < labs(second_start - mid)) {
            first_end = c == ' ' ? i : i + 1;
            second_start = i + 1;
        }
    }
    if (first_end <= 0 || first_end >= len - 1 || second_start <= 0 || second_start >= len - 1) return 0;
    first = s.substr(0, (size_t)first_end);
    second = s.substr((size_t)second_start);
    return 1;
}

void BTN_draw_label(float x, float y, int align, const std::string& text, int highlight)
{
    if (text.empty()) return;
    std::string first, second;
    const int broken = BTN_label_lines(text, align, first, second);
    if (broken) y += 5;
    const unsigned char how = align == 0 ? align_right : align == 1 ? align_center : align_left;
    const int colour = highlight ? 95 : 52;
    OGL_draw_string(colour, x, y - 1, first, 9999, font_regular, how);
    if (broken) OGL_draw_string(colour, x, y - 11, second, 9999, font_regular, how);
}

// No widget takes the focus yet.
void BTN_focus_begin_frame()
{
}

// No widget holds the focus yet.
void BTN_clear_focus()
{
}

// The close boxes are drawn from the interface artwork, which is not loaded yet.
void BTN_corner_boxes(int)
{
}
