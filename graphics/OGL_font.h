// Text drawing with the two TrueType faces of the interface: UTF-8 text is measured, fitted and
// drawn as one textured quad per glyph from an 8-bit coverage atlas per face, which the texture
// manager holds in slot 1021 (regular) or 1022 (bold). Main thread only, with the OpenGL context
// current for drawing.
#pragma once
#include "foundation/xmap.h"

#include <cstdint>
#include <string>
#include <unordered_map>

struct FT_FaceRec_;

// The style byte: 0 regular, 1 bold, 2 to 4 bold with a fixed advance of 6, 8 and 10 units; any
// other value draws like 0.
enum OGL_font_style : unsigned char {
    font_regular = 0,
    font_bold = 1,
    font_bold_fixed6 = 2,
    font_bold_fixed8 = 3,
    font_bold_fixed10 = 4,
};

// The alignment byte: 1 centred on x, 2 ending at x, any other value starting at x.
enum OGL_text_align : unsigned char {
    align_left = 0,
    align_center = 1,
    align_right = 2,
};

const int FONT_ATLAS_WIDTH = 1024;
// The texture manager's largest side: an atlas never grows past it.
const int FONT_ATLAS_MAX_ROWS = 2048;

// One rendered glyph: its bitmap in the atlas (columns x0..x1, rows y0..y1, ends exclusive, row
// y0 at the glyph's top) and its metrics in pixels.
struct OGL_glyph {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    float left = 0;    // pen position to the bitmap's left edge
    float bottom = 0;  // baseline to the bitmap's bottom edge, negative below it
    float advance = 0; // how far the pen moves
    int error = 0;     // FreeType's error for the glyph, 0 for a good one
};

class OGL_font_obj {
public:
    explicit OGL_font_obj(int manual_ref);
    ~OGL_font_obj();
    OGL_font_obj(const OGL_font_obj&) = delete;
    OGL_font_obj& operator=(const OGL_font_obj&) = delete;

    // (Re)opens the face at size pixels per em and forgets every glyph; the horizontal scale is
    // the current UI language's.
    void load(const std::string& path, float size);
    // The glyph's advance, rendered into the atlas on first use.
    float get_glyph(uint32_t code_point);
    // Emits the glyph's quad inside an open GL_QUADS batch; returns its advance.
    float draw_glyph(uint32_t code_point, float x, float y);

    int manual_ref;
    int atlas_height = 0; // rows, a power of two once there is an atlas
    int atlas_dirty = 0;  // a glyph was added since the last upload
    int shelf_x = 0, shelf_y = 0, shelf_height = 0;
    std::unordered_map<uint32_t, OGL_glyph> glyphs;
    unsigned char* atlas = nullptr; // FONT_ATLAS_WIDTH x atlas_height coverage bytes, row 0 first
    FT_FaceRec_* face = nullptr;
    xmap_file file; // the bytes of a face read from a plain file

    float scale = 1.0f;     // horizontal scale the face was loaded with
    int atlas_uploaded = 0; // the texture manager holds an upload of this atlas
    int full_warned = 0;    // the atlas-full warning was logged since the last load
};

// What the text drawing reads from the frame above it. Start-up points these at the UI language
// index and the UI-ready flag; until then text is drawn for English.
struct OGL_font_frame_link {
    const int* language = nullptr;
    int* ui_ready = nullptr; // lowered before a font failure's alert, so it uses the message box
};
extern OGL_font_frame_link gFontFrameLink;

// The faces by slot, 0 regular and 1 bold; null until first used.
extern OGL_font_obj* gFonts[2];

// Draws text with its first baseline at (x, y), popup coordinates, in colour-table entry colour;
// wraps at blanks when 0 < wrap_width < 9999. Returns the y of the line below the last one drawn.
// Each line starts on a whole unit, and so does each word after a blank.
float OGL_draw_string(int colour, float x, float y, const std::string& text, float wrap_width,
                      unsigned char style, unsigned char align);
// Sums of the regular face's advances, each blank ending on a whole unit from begin.
float OGL_measure_string(const std::string& text);
float OGL_measure_range(const char* begin, const char* end);
// The first character at which the running width passes width; end when everything fits.
const char* OGL_fit_range(const char* begin, const char* end, float width);
// The start of the longest tail of [begin, end) not wider than width.
const char* OGL_fit_range_back(const char* begin, const char* end, float width);
// How many lines OGL_draw_string draws the text in at this wrap width (0 for an empty text).
int OGL_count_lines(const std::string& text, float wrap_width);
// Reloads face 0 or 1 if it exists, or both for 2.
void OGL_font_reload(unsigned char slot);

// The code point at p, which moves to the next character's start (never beyond end). A broken
// byte gives 0; continuation bytes missing at end or at a NUL count as zero bits.
uint32_t OGL_utf8_next(const char*& p, const char* end);
// The start of the character before p (never before begin).
const char* OGL_utf8_prev(const char* begin, const char* p);
// The coverage correction every rendered byte goes through.
unsigned char OGL_font_coverage(unsigned char c);
// The face of a slot, made and (re)loaded as the current language needs.
OGL_font_obj* OGL_font_get(int slot);
// The horizontal scale the current UI language asks for: 0.9 for Russian, else 1.
float OGL_font_language_scale();

// One line of OGL_draw_string's scan: from start, the line ends at brk with width width
// (truncated advances, or fixed ones); next is where the following line begins.
struct OGL_text_line {
    const char* brk;
    float width;
    const char* next;
};
OGL_text_line OGL_scan_line(OGL_font_obj* f, const char* start, const char* end, float wrap_width, int fixed_advance);
