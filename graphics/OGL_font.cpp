// Text drawing with TrueType fonts (see OGL_font.h).
#include "graphics/OGL_font.h"

#include "foundation/alert.h"
#include "foundation/log.h"
#include "foundation/resources.h"
#include "foundation/tunables.h"
#include "graphics/COL_scheme.h"
#include "graphics/OGL_state.h"
#include "graphics/OGL_view.h"
#include "graphics/tman.h"

#include <GL/gl.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdlib>
#include <cstring>

OGL_font_frame_link gFontFrameLink;
OGL_font_obj* gFonts[2] = {nullptr, nullptr};

static const char* const kFontFile[2] = {"RESOURCE:DejaVuSans.ttf", "RESOURCE:DejaVuSansBold.ttf"};
static const float kFontSize[2] = {10.5f, 10.5f};
// FT_LOAD_RENDER with FT_LOAD_TARGET_LIGHT.
static const FT_Int32 kLoadFlags = 0x10004;

static FT_Library sLibrary = nullptr;
// The atlas rows of both faces, that is their memory in KiB.
static TunableRec sTexMem("font/tex_mem", 0, 0.0f);

static void add_tex_mem(int rows)
{
    float v = TUNABLE_own_float(sTexMem) + (float)rows;
    std::memcpy(&sTexMem.value, &v, sizeof v);
}

// A drawn alert would need the very font that failed, so the alert is told to use the message box.
static void font_failure(int code, const std::string& l1, const std::string& l2, const std::string& l3, int line)
{
    if (gFontFrameLink.ui_ready) *gFontFrameLink.ui_ready = 0;
    MACIBM_alert(0, l1, l2, l3, "", code, "OGL_font", line);
}

// ---- UTF-8 ----

uint32_t OGL_utf8_next(const char*& p, const char* end)
{
    const unsigned char lead = (unsigned char)*p;
    uint32_t cp;
    int more;
    if (lead < 0x80) {
        cp = lead;
        more = 0;
    } else if ((lead & 0xE0) == 0xC0) {
        cp = lead & 0x1F;
        more = 1;
    } else if ((lead & 0xF0) == 0xE0) {
        cp = lead & 0x0F;
        more = 2;
    } else if ((lead & 0xF8) == 0xF0) {
        cp = lead & 0x07;
        more = 3;
    } else {
        cp = 0;
        more = 0;
    }
    // The bytes after the lead are taken whatever their form; the end or a NUL stops the reading.
    const char* q = p + 1;
    bool stopped = false;
    for (int i = 0; i < more; ++i) {
        uint32_t bits = 0;
        if (!stopped && q + i < end && q[i] != 0)
            bits = (unsigned char)q[i] & 0x3F;
        else
            stopped = true;
        cp = cp << 6 | bits;
    }
    ++p;
    while (p < end && ((unsigned char)*p & 0xC0) == 0x80) ++p;
    return cp;
}

const char* OGL_utf8_prev(const char* begin, const char* p)
{
    if (p <= begin) return begin;
    --p;
    while (p > begin && ((unsigned char)*p & 0xC0) == 0x80) --p;
    return p;
}

// ---- faces ----

static unsigned char sCoverage[256];
static bool sCoverageBuilt = false;

unsigned char OGL_font_coverage(unsigned char c)
{
    if (!sCoverageBuilt) {
        for (int i = 0; i < 256; ++i) {
            const float power = powf((float)i / 255.0f, 0.6f);
            sCoverage[i] = (unsigned char)(int)(power * 255.0f);
        }
        sCoverageBuilt = true;
    }
    return sCoverage[c];
}

float OGL_font_language_scale()
{
    const int* language = gFontFrameLink.language;
    return language && *language == 3 ? 0.9f : 1.0f;
}

OGL_font_obj::OGL_font_obj(int ref) : manual_ref(ref)
{
}

OGL_font_obj::~OGL_font_obj()
{
    add_tex_mem(-atlas_height);
    free(atlas);
    if (face) FT_Done_Face(face);
}

void OGL_font_obj::load(const std::string& path, float size)
{
    if (!sLibrary && FT_Init_FreeType(&sLibrary) != 0) {
        sLibrary = nullptr;
        font_failure(t_crash, "Unable to initialize freetype.", "", "", __LINE__);
        return;
    }

    add_tex_mem(-atlas_height);
    atlas_height = 0;
    atlas_dirty = 0;
    glyphs.clear();
    free(atlas);
    atlas = nullptr;
    if (face) FT_Done_Face(face);
    face = nullptr;
    shelf_x = shelf_y = shelf_height = 0;
    atlas_uploaded = 0;
    full_warned = 0;
    scale = OGL_font_language_scale();

    std::string name = path;
    const unsigned char* bytes = nullptr;
    uint32_t count = 0;
    if (RES_is_resource_path(name)) {
        file.close();
        bytes = RES_get_resource(name, count);
    } else if (file.map(path)) {
        bytes = (const unsigned char*)file.begin;
        count = (uint32_t)(file.end - file.begin);
    }
    if (!bytes || count == 0) {
        font_failure(t_fatal, "Error: unable to make font from file", path,
                     "(We could not open the file and read its contents.)", __LINE__);
        return;
    }
    if (FT_New_Memory_Face(sLibrary, bytes, (FT_Long)count, 0, &face) != 0) {
        face = nullptr;
        font_failure(t_fatal, "Error: unable to make font from file", path,
                     "(Free-type could not process the .ttf file.)", __LINE__);
        return;
    }
    if (FT_Set_Char_Size(face, 0, (FT_F26Dot6)(size * 64), 72, 72) != 0) {
        FT_Done_Face(face);
        face = nullptr;
        font_failure(t_fatal, "Error: unable to set char size for font", path, "", __LINE__);
        return;
    }
    FT_Matrix m;
    m.xx = (FT_Fixed)(scale * 65536);
    m.xy = 0;
    m.yx = 0;
    m.yy = 65536;
    FT_Set_Transform(face, &m, nullptr);
}

float OGL_font_obj::get_glyph(uint32_t code_point)
{
    if (code_point == 9) return 0;
    auto found = glyphs.find(code_point);
    if (found != glyphs.end()) return found->second.advance;

    OGL_glyph g;
    const FT_Error err = face ? FT_Load_Char(face, code_point, kLoadFlags) : FT_Err_Invalid_Face_Handle;
    if (err != 0) {
        g.error = err;
        glyphs.emplace(code_point, g);
        return 0;
    }
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bm = slot->bitmap;
    int w = (int)bm.width, h = (int)bm.rows;
    if (w <= 0 || h <= 0 || !bm.buffer || bm.pixel_mode != FT_PIXEL_MODE_GRAY) w = h = 0;

    // The bitmap's own left edge: the metrics are the unnarrowed outline's, so the narrowed bitmap
    // of a Russian face starts up to a unit left of horiBearingX x scale, and glyphs placed by that
    // drift off the pen by up to a unit each, opening blank-wide gaps inside words. For an
    // unnarrowed face both are the same whole number.
    g.left = w > 0 ? (float)slot->bitmap_left : (float)slot->metrics.horiBearingX * scale / 64;
    g.bottom = (float)(slot->metrics.horiBearingY - slot->metrics.height) / 64;
    g.advance = (float)slot->metrics.horiAdvance * scale / 64;

    // Shelf packing, edge to edge; the atlas grows to the next power of two and never past the
    // texture manager's largest side.
    int sx = shelf_x, sy = shelf_y, sh = shelf_height;
    if (sx + w > FONT_ATLAS_WIDTH) {
        sy += sh;
        sx = 0;
        sh = 0;
    }
    if (h > sh) sh = h;
    bool fits = w <= FONT_ATLAS_WIDTH;
    int new_height = atlas_height;
    if (fits && sy + sh > atlas_height) {
        const long need = (long)atlas_height + sh;
        long rows = 1;
        while (rows < need && rows <= FONT_ATLAS_MAX_ROWS) rows <<= 1;
        if (rows > FONT_ATLAS_MAX_ROWS)
            fits = false;
        else
            new_height = (int)rows;
    }
    unsigned char* grown = nullptr;
    if (fits && new_height != atlas_height) {
        grown = (unsigned char*)calloc((size_t)FONT_ATLAS_WIDTH * new_height, 1);
        if (!grown) fits = false;
    }
    if (!fits) {
        if (!full_warned) {
            full_warned = 1;
            gLog << "WARNING: the font atlas of texture " << manual_ref << " is full; glyph " << code_point
                 << " is drawn as blank.\n";
            gLog.flush();
        }
        glyphs.emplace(code_point, g);
        return g.advance;
    }
    if (grown) {
        if (atlas) std::memcpy(grown, atlas, (size_t)FONT_ATLAS_WIDTH * atlas_height);
        free(atlas);
        atlas = grown;
        add_tex_mem(new_height - atlas_height);
        atlas_height = new_height;
    }

    g.x0 = sx;
    g.y0 = sy;
    g.x1 = sx + w;
    g.y1 = sy + h;
    // Rows lie pitch bytes apart; a negative pitch stores the bottom row first.
    const unsigned char* top = bm.pitch >= 0 || h == 0 ? bm.buffer : bm.buffer + (size_t)(-bm.pitch) * (h - 1);
    for (int r = 0; r < h; ++r) {
        const unsigned char* src = top + (ptrdiff_t)r * bm.pitch;
        unsigned char* dst = atlas + (size_t)(sy + r) * FONT_ATLAS_WIDTH + sx;
        for (int c = 0; c < w; ++c) dst[c] = OGL_font_coverage(src[c]);
    }
    shelf_x = sx + w;
    shelf_y = sy;
    shelf_height = sh;
    atlas_dirty = 1;
    glyphs.emplace(code_point, g);
    return g.advance;
}

float OGL_font_obj::draw_glyph(uint32_t code_point, float x, float y)
{
    if (code_point == 9) return 0;
    auto found = glyphs.find(code_point);
    if (found == glyphs.end() || found->second.error != 0) return 0;
    const OGL_glyph& g = found->second;
    if (atlas_height <= 0) return g.advance;
    const float s0 = (float)g.x0 / FONT_ATLAS_WIDTH, s1 = (float)g.x1 / FONT_ATLAS_WIDTH;
    const float t0 = (float)g.y0 / atlas_height, t1 = (float)g.y1 / atlas_height;
    // The glyph snaps to whole units; the pen keeps its fractions.
    const float vx0 = floorf(x + g.left), vx1 = vx0 + (float)(g.x1 - g.x0);
    const float vy0 = floorf(y + g.bottom), vy1 = vy0 + (float)(g.y1 - g.y0);
    glTexCoord2f(s0, t1);
    glVertex2f(vx0, vy0);
    glTexCoord2f(s0, t0);
    glVertex2f(vx0, vy1);
    glTexCoord2f(s1, t0);
    glVertex2f(vx1, vy1);
    glTexCoord2f(s1, t1);
    glVertex2f(vx1, vy0);
    return g.advance;
}

void OGL_font_reload(unsigned char slot)
{
    for (int i = 0; i < 2; ++i)
        if ((slot == i || slot == 2) && gFonts[i]) gFonts[i]->load(kFontFile[i], kFontSize[i]);
}

OGL_font_obj* OGL_font_get(int slot)
{
    if (!gFonts[slot]) {
        gFonts[slot] = new OGL_font_obj(1021 + slot);
        OGL_font_reload((unsigned char)slot);
    } else if (gFonts[slot]->scale != OGL_font_language_scale()) {
        // The language changed since the face was loaded: bitmaps and metrics must share one scale.
        OGL_font_reload((unsigned char)slot);
    }
    return gFonts[slot];
}

// ---- measuring and fitting, always in the regular face ----

// The pen after character c of this advance. After a blank it moves on to the next whole unit:
// every word of a line starts on a whole unit and never left of where the font puts it, so the
// narrowed (Russian) face's fractions cannot close a blank up to less than the gaps inside its
// words. Whole advances (English) never move it.
static float pen_after(float pen, uint32_t c, float advance)
{
    return c == 32 ? std::ceil(pen + advance - 0.001f) : pen + advance;
}

float OGL_measure_range(const char* begin, const char* end)
{
    OGL_font_obj* f = OGL_font_get(0);
    float sum = 0;
    for (const char* p = begin; p < end;) {
        const uint32_t c = OGL_utf8_next(p, end);
        sum = pen_after(sum, c, f->get_glyph(c));
    }
    return sum;
}

float OGL_measure_string(const std::string& text)
{
    const char* p = text.c_str();
    return OGL_measure_range(p, p + strlen(p));
}

const char* OGL_fit_range(const char* begin, const char* end, float width)
{
    OGL_font_obj* f = OGL_font_get(0);
    float sum = 0;
    for (const char* p = begin; p < end;) {
        const char* at = p;
        const uint32_t c = OGL_utf8_next(p, end);
        sum = pen_after(sum, c, f->get_glyph(c));
        if (sum > width) return at;
    }
    return begin < end ? end : begin;
}

const char* OGL_fit_range_back(const char* begin, const char* end, float width)
{
    // A tail's blanks end on whole units counted from its own start, so each longer tail is
    // measured afresh.
    const char* p = end;
    while (p > begin) {
        const char* at = OGL_utf8_prev(begin, p);
        if (OGL_measure_range(at, end) > width) return p;
        p = at;
    }
    return begin;
}

// ---- drawing ----

OGL_text_line OGL_scan_line(OGL_font_obj* f, const char* start, const char* end, float wrap_width, int fixed_advance)
{
    const bool wrapping = wrap_width > 0 && wrap_width < 9999;
    float w = 0;
    const char* brk = start;
    float brk_w = 0;
    const char* p = start;
    while (p < end && (!wrapping || w < wrap_width)) {
        const char* q = p;
        const uint32_t c = OGL_utf8_next(q, end);
        if (c == 13 || c == 10) {
            brk = p;
            brk_w = w;
            break;
        }
        if (c == 32) {
            brk = p;
            brk_w = w;
        }
        // Also with a fixed advance: the glyph must be in the atlas before it is drawn.
        const float a = f->get_glyph(c);
        // The line is measured as the drawing pen moves: a width cut to whole units made narrowed
        // (Russian) lines wider than measured, past the wrap width and off centre.
        w = pen_after(w, c, fixed_advance ? (float)fixed_advance : a);
        p = q;
    }
    // The last line is never broken at a blank, and a word without a blank is cut where the
    // scan stopped.
    if (p == end || brk == start) {
        brk = p;
        brk_w = w;
    }
    // Characters, not bytes: a broken sequence can decode to a line end or a blank too.
    const char* next = brk;
    const char* q = next;
    uint32_t c = next < end ? OGL_utf8_next(q, end) : 0;
    if (c == 13 || c == 10) {
        next = q;
        c = next < end ? OGL_utf8_next(q, end) : 0;
    }
    while (next < end && c == 32) {
        next = q;
        c = next < end ? OGL_utf8_next(q, end) : 0;
    }
    return {brk, brk_w, next};
}

int OGL_count_lines(const std::string& text, float wrap_width)
{
    OGL_font_obj* f = OGL_font_get(0);
    const char* p = text.c_str();
    const char* const end = p + strlen(p);
    int n = 0;
    for (; p < end; ++n) p = OGL_scan_line(f, p, end, wrap_width, 0).next;
    return n;
}

// A changed atlas goes up through the texture manager's scratch buffer, into the face's slot.
static void upload_atlas(OGL_font_obj* f)
{
    f->atlas_dirty = 0;
    gScratchWidth = FONT_ATLAS_WIDTH;
    gScratchHeight = f->atlas_height;
    std::memcpy(gScratchPixels, f->atlas, (size_t)FONT_ATLAS_WIDTH * f->atlas_height);
    f->atlas_uploaded = gTextures.load_bitmap(4, f->manual_ref, 0x80203, 2, "scratch_array-fonts") != 0;
}

// The state, colour and texture of one line's quad batch.
static void begin_line(OGL_font_obj* f, int colour)
{
    OGL_set_state(1, 1, 1, 1, 1, 1);
    const float* rgb = gColors[clamp_int(colour, 0, COL_COLOR_COUNT - 1)];
    gInterface.OGL_set_color(rgb[0], rgb[1], rgb[2], 1.0f, colour >= 43);
    gTextures.bind_tex(f->manual_ref, 0, 0);
    glBegin(GL_QUADS);
}

float OGL_draw_string(int colour, float x, float y, const std::string& text, float wrap_width, unsigned char style,
                      unsigned char align)
{
    const char* p = text.c_str();
    const char* const end = p + strlen(p);
    if (p == end) return y;

    const int slot = style >= 1 && style <= 4 ? 1 : 0;
    const int fixed = style == 2 ? 6 : style == 3 ? 8 : style == 4 ? 10 : 0;
    const bool wrapping = wrap_width > 0 && wrap_width < 9999;
    x += gPopupX;
    y += gPopupY;
    const float line_x = x;
    OGL_font_obj* f = OGL_font_get(slot);

    while (p < end) {
        const OGL_text_line line = OGL_scan_line(f, p, end, wrap_width, fixed);
        // After the scan, so the upload holds every glyph of the line. An atlas without rows
        // (blanks so far) has nothing to upload or bind.
        if (f->atlas_dirty && f->atlas_height > 0) upload_atlas(f);
        if (f->atlas_uploaded && f->atlas_height > 0) {
            begin_line(f, colour);
            if (align == 1)
                x -= line.width / 2;
            else if (align == 2)
                x -= line.width;
            // From a whole unit, as the scan measured the line: its words then start on whole units.
            x = std::floor(x);
            for (const char* q = p; q < line.brk;) {
                const uint32_t c = OGL_utf8_next(q, end);
                const float a = f->draw_glyph(c, x, y);
                x = pen_after(x, c, fixed ? (float)fixed : a);
            }
            glEnd();
        }
        x = line_x;
        if (wrapping) y -= 10;
        p = line.next;
    }
    return y - gPopupY;
}
