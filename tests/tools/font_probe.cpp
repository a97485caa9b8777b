// Test program of text drawing: opens the window as start-up does and draws a page of strings
// (English, French, German, Russian, both faces, the alignments, fixed advances, wrapping, line
// ends, a leading blank, a tab) in white on black, every frame, until the window is closed. It
// prints where each line must show: "line NAME X0 X1 BASELINE WIDTH WIDTH_BEFORE_LAST" in UI
// units, X1 being X0 plus the untruncated advances, and "item NAME RETURNED_Y MEASURED_WIDTH".
// Once the file "page2" appears in its folder it switches the UI language to Russian and draws
// the second page: the same strings narrowed, and the label parts of BTN_draw_label.
//
// Options: --timeout=S ends after S seconds in any case (default 60, exit code 3).
#include "probe_common.h"
#include "foundation/options.h"
#include "frame/butn.h"
#include "frame/hl_colors.h"
#include "frame/hl_event.h"
#include "frame/hl_init.h"
#include "frame/hl_shutdown.h"
#include "graphics/COL_scheme.h"
#include "graphics/OGL_extensions.h"
#include "graphics/OGL_font.h"
#include "graphics/OGL_view.h"
#include "graphics/hl_window.h"
#include "graphics/tman.h"

#include <GL/gl.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

static const int kWhite = 117; // set to pure white below; entries from 43 up are drawn raw

struct Item {
    const char* name;
    float x, y;
    std::string text;
    float wrap;
    unsigned char style, align;
};

static const std::string kEnglish = "Hello, world: the quick brown fox jumps over the lazy dog.";
static const std::string kRussian = "\xD0\xA1\xD1\x8A\xD0\xB5\xD1\x88\xD1\x8C \xD0\xB6\xD0\xB5 \xD0\xB5\xD1\x89\xD1\x91 "
                                    "\xD1\x8D\xD1\x82\xD0\xB8\xD1\x85 \xD0\xBC\xD1\x8F\xD0\xB3\xD0\xBA\xD0\xB8\xD1\x85 "
                                    "\xD1\x84\xD1\x80\xD0\xB0\xD0\xBD\xD1\x86\xD1\x83\xD0\xB7\xD1\x81\xD0\xBA\xD0\xB8\xD1\x85 "
                                    "\xD0\xB1\xD1\x83\xD0\xBB\xD0\xBE\xD0\xBA";
static const std::string kParagraph = "The updater checks every file of your copy and fetches only what changed since "
                                      "the last release.";

static std::vector<Item> page_one()
{
    return {
        {"en", 20, 740, kEnglish, 9999, 0, 0},
        {"fr", 20, 710, "D\xC3\xA9j\xC3\xA0 vu: o\xC3\xB9 \xC3\xAAtes-vous? \xC3\x87" "a, c'est l'\xC3\xA9t\xC3\xA9 \xC3\xA0 No\xC3\xABl.", 9999, 0, 0},
        {"de", 20, 680, "Gr\xC3\xB6\xC3\x9F" "e \xC3\xA4ndern: \xC3\x9C" "berm\xC3\xA4\xC3\x9Fig sch\xC3\xB6ne Stra\xC3\x9F" "en in K\xC3\xB6ln", 9999, 1, 0},
        {"ru", 20, 650, kRussian, 9999, 0, 0},
        {"ru_bold", 20, 620, kRussian, 9999, 1, 0},
        {"centre", 512, 590, "Centred line", 9999, 0, 1},
        {"right", 1004, 590, "Right-aligned line", 9999, 0, 2},
        {"ru_centre", 512, 560, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, \xD0\xBC\xD0\xB8\xD1\x80", 9999, 0, 1},
        {"fixed6_iii", 20, 530, "iii", 9999, 2, 0},
        {"fixed6_WWW", 80, 530, "WWW", 9999, 2, 0},
        {"fixed8", 140, 530, "WWW", 9999, 3, 0},
        {"fixed10", 220, 530, "WWW", 9999, 4, 0},
        {"other_style", 320, 530, "Style seven", 9999, 7, 0},
        {"ends_nowrap", 20, 500, "Line one\rLine two\nLine three\r\nLine four", 9999, 0, 0},
        {"ends_wrap", 300, 500, "Line one\rLine two\nLine three\r\nLine four", 300, 0, 0},
        {"paragraph", 20, 420, kParagraph, 150, 0, 0},
        {"cut", 200, 420, "Supercalifragilisticexpialidocious", 40, 0, 0},
        {"leading", 400, 420, " x leading blank", 9999, 0, 0},
        {"tab", 600, 420, "a\tb", 9999, 0, 0},
        {"para_right", 1004, 420, kParagraph, 150, 0, 2},
        {"centre_cr", 800, 330, "Centre\rof each", 200, 0, 1},
    };
}

static std::vector<Item> page_two()
{
    return {
        {"en", 20, 740, kEnglish, 9999, 0, 0},
        {"ru", 20, 650, kRussian, 9999, 0, 0},
        {"ru_right", 1004, 650, kRussian, 9999, 0, 2},
        {"ru_wrap", 20, 600, kRussian, 120, 0, 0},
    };
}

// Labels of page two: x, y, align, part.
struct Label {
    const char* name;
    float x, y;
    int align;
    std::string text;
    std::vector<std::string> lines; // as the mark-up breaks them
};

static std::vector<Label> labels()
{
    return {
        {"os", 400, 400, 0, "Operating System to download Corvane for:", {"Operating System to", "download Corvane for:"}},
        {"copy", 420, 400, 2, "(Install and copy the entire Corvane folder to another computer if you like)",
         {"(Install and copy the entire Corvane", "folder to another computer if you like)"}},
        {"agree", 420, 350, 2, "-I agree!", {"I agree!"}},
        {"twelve", 400, 350, 0, "abcdef ghijk", {"abcdef ghijk"}},
        {"thirteen", 400, 300, 0, "abcdef ghijkl", {"abcdef", "ghijkl"}},
        {"keep", 420, 300, 2, "-Operating System to download", {"Operating System to download"}},
        {"centred", 700, 250, 1, "Operating System to download", {"Operating System to download"}},
    };
}

static std::string num(float v)
{
    char buf[32];
    snprintf(buf, sizeof buf, "%.3f", v);
    return buf;
}

// Where each line of the item lands, by the scan and the line step, in UI units.
static void predict(const Item& it, float returned)
{
    const int slot = it.style >= 1 && it.style <= 4 ? 1 : 0;
    const int fixed = it.style == 2 ? 6 : it.style == 3 ? 8 : it.style == 4 ? 10 : 0;
    OGL_font_obj* f = OGL_font_get(slot);
    const char* p = it.text.c_str();
    const char* end = p + it.text.size();
    float y = it.y;
    while (p < end) {
        const OGL_text_line line = OGL_scan_line(f, p, end, it.wrap, fixed);
        float x0 = it.x;
        if (it.align == 1) x0 -= line.width / 2;
        if (it.align == 2) x0 -= line.width;
        // From a whole unit; after a blank the pen moves on to a whole unit.
        x0 = std::floor(x0);
        float pen = x0, ink_end = x0, last = 0;
        for (const char* q = p; q < line.brk;) {
            const uint32_t c = OGL_utf8_next(q, end);
            const float a = f->get_glyph(c);
            ink_end = std::max(ink_end, pen + a);
            last = fixed ? (float)fixed : a;
            pen += fixed ? (float)fixed : a;
            if (c == ' ') pen = std::ceil(pen - 0.001f);
        }
        say(std::string("line ") + it.name + " " + num(x0) + " " + num(ink_end) + " " + num(y) + " " +
            num(line.width) + " " + num(line.width - last));
        if (it.wrap > 0 && it.wrap < 9999) y -= 10;
        p = line.next;
    }
    say(std::string("item ") + it.name + " " + num(returned) + " " + num(OGL_measure_string(it.text)));
}

static void draw_page(int page, bool report)
{
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    if (page == 1) {
        // The first strings drawn are blanks only: no atlas rows yet, nothing to upload or bind.
        const float y1 = OGL_draw_string(kWhite, 20, 100, "   ", 9999, 0, 0);
        const float y2 = OGL_draw_string(kWhite, 20, 100, " \t ", 50, 1, 1);
        if (report) say("blanks: " + num(y1) + " " + num(y2));
    }
    for (const Item& it : page == 1 ? page_one() : page_two()) {
        const float r = OGL_draw_string(kWhite, it.x, it.y, it.text, it.wrap, it.style, it.align);
        // The draw itself renders a glyph new to the face, also with a fixed advance.
        if (report && it.style == 2 && it.text == "WWW")
            say("W rendered: " + std::to_string(gFonts[1]->glyphs.count('W')));
        if (report) predict(it, r);
    }
    if (page == 2) {
        for (const Label& l : labels()) {
            BTN_draw_label(l.x, l.y, l.align, l.text, 0);
            if (!report) continue;
            const float base = l.lines.size() == 2 ? l.y + 4 : l.y - 1;
            for (size_t i = 0; i < l.lines.size(); ++i) {
                // Aligned by the scan's truncated width, as every drawn line is.
                const char* t = l.lines[i].c_str();
                const float w = OGL_scan_line(OGL_font_get(0), t, t + l.lines[i].size(), 9999, 0).width;
                const float x0 = l.align == 0 ? l.x - w : l.align == 1 ? l.x - w / 2 : l.x;
                say(std::string("line ") + l.name + " " + num(x0) + " " + num(x0 + OGL_measure_string(l.lines[i])) + " " +
                    num(base - 10 * i) + " " + num(w) + " " + num(w));
            }
            say(std::string("item ") + l.name + " 0 0");
        }
    }
}

int main(int argc, char** argv)
{
    if (probe_begin(argc, argv).empty()) return 2;
    gFontFrameLink.language = &gLanguage;
    gFontFrameLink.ui_ready = &gUIReady;
    gLanguage = 0;

    probe_make_window(1024, 768);
    say("size: " + std::to_string(gWindowW) + "x" + std::to_string(gWindowH));
    COL_set_color(kWhite, 1, 1, 1);
    // Labels draw in colour 52, black by default: here a colour that shows on black.
    COL_set_color(52, 1.0f, 0.75f, 0.5f);
    say("colour 52: " + std::to_string(lroundf(gColors[52][0] * 255)) + " " + std::to_string(lroundf(gColors[52][1] * 255)) +
        " " + std::to_string(lroundf(gColors[52][2] * 255)));

    const int timeout_s = CMDLINE_has_option("--timeout") ? atoi(CMDLINE_get_option("--timeout").c_str()) : 60;
    auto start = std::chrono::steady_clock::now();
    int page = 1, frames = 0;
    bool timed_out = false;
    while (!gQuit) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(timeout_s)) {
            timed_out = true;
            break;
        }
        if (page == 1 && access("page2", F_OK) == 0) {
            gLanguage = 3; // as the language chooser would, after text was drawn
            page = 2;
            frames = 0;
        }
        draw_page(page, frames == 0);
        hl_do_frame();
        ++frames;
        if (frames == 3) {
            // The atlases are the texture manager's, uploaded from its scratch buffer.
            for (int slot = 0; slot < 2; ++slot) {
                TEX_obj* t = gTextures.get_tex(1021 + slot);
                say("atlas " + std::to_string(1021 + slot) + ": " +
                    (t ? t->tex_name + " " + std::to_string(t->format == GL_ALPHA) + " " +
                             std::to_string(t->loaded_width) + "x" + std::to_string(t->loaded_height) + " rows " +
                             std::to_string(gFonts[slot]->atlas_height)
                       : std::string("none")));
            }
            say("page " + std::to_string(page) + " drawn");
        }
    }
    app_shutdown(1);
    say("shut down");
    return timed_out ? 3 : 0;
}
