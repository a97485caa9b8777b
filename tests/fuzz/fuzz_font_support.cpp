// Stand-ins for what the font unit reaches outside itself beyond fuzz_support.cpp (see
// fuzz_font_support.h): the embedded faces are read from the system's font folder, the
// texture manager checks what the atlas uploads and binds, and the OpenGL calls of a line are
// checked instead of drawn.
#include "fuzz_font_support.h"

#include "foundation/resources.h"
#include "graphics/OGL_font.h"
#include "graphics/COL_scheme.h"
#include "graphics/OGL_state.h"
#include "graphics/tman.h"

#include <GL/gl.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

float gPopupX = 0, gPopupY = 0;
unsigned char* gScratchPixels = (unsigned char*)malloc(TMAN_SCRATCH_BYTES);
int gScratchWidth = 0, gScratchHeight = 0;
tman gTextures;
COL_scheme gInterface;
float (&gColors)[COL_COLOR_COUNT][3] = gInterface.colors;

static int sLanguage = 0;
static int sInBatch = 0;
static long sVertices = 0;

void fuzz_check(bool ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "fuzz check failed: %s\n", what);
        abort();
    }
}

void fuzz_set_language(int language)
{
    sLanguage = language;
    gFontFrameLink.language = &sLanguage;
}

void fuzz_after_draw()
{
    fuzz_check(sInBatch == 0, "quad batch left open");
    fuzz_check(sVertices % 4 == 0, "whole quads");
    sVertices = 0;
    for (OGL_font_obj* f : gFonts) {
        if (!f) continue;
        fuzz_check(f->atlas_height <= FONT_ATLAS_MAX_ROWS, "atlas within its limit");
        if (f->glyphs.size() > 200000) OGL_font_reload(2);
    }
}

bool RES_is_resource_path(std::string& path)
{
    if (path.compare(0, 9, "RESOURCE:") != 0) return false;
    path.erase(0, 9);
    return true;
}

const unsigned char* RES_get_resource(const std::string& name, uint32_t& size)
{
    static std::string regular, bold;
    std::string* bytes = name == "DejaVuSans.ttf" ? &regular : name == "DejaVuSansBold.ttf" ? &bold : nullptr;
    if (!bytes) return nullptr;
    if (bytes->empty()) {
        const std::string file = name == "DejaVuSans.ttf" ? "DejaVuSans.ttf" : "DejaVuSans-Bold.ttf";
        std::ifstream in("/usr/share/fonts/truetype/dejavu/" + file, std::ios::binary);
        bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        fuzz_check(!bytes->empty(), "the DejaVu fonts are installed");
    }
    size = (uint32_t)bytes->size();
    return (const unsigned char*)bytes->data();
}

void OGL_set_state(int, int, int, int, int, int)
{
}

int clamp_int(int value, int lo, int hi)
{
    return value < lo ? lo : value > hi ? hi : value;
}

COL_scheme::COL_scheme()
{
}

COL_scheme::~COL_scheme()
{
}

void COL_scheme::OGL_set_color(float, float, float, float, int)
{
}

tman::tman()
{
}

tman::~tman()
{
}

// The atlas height each slot was last given.
static int sUploaded[2];

int tman::load_bitmap(unsigned char policy, int ref, int filter, unsigned char load_time, const std::string& name)
{
    fuzz_check(policy == 4 && (ref == 1021 || ref == 1022) && filter == 0x80203 && load_time == 2 &&
                   name == "scratch_array-fonts",
               "the atlas request");
    fuzz_check(gScratchWidth == FONT_ATLAS_WIDTH && gScratchHeight >= 1 && gScratchHeight <= FONT_ATLAS_MAX_ROWS &&
                   (gScratchHeight & (gScratchHeight - 1)) == 0,
               "the atlas size");
    sUploaded[ref - 1021] = gScratchHeight;
    return ref;
}

void tman::bind_tex(int ref, int unit, int mode)
{
    fuzz_check((ref == 1021 || ref == 1022) && unit == 0 && mode == 0, "the atlas binding");
    // The texture bound is the atlas the quads' coordinates are computed for.
    fuzz_check(gFonts[ref - 1021] && sUploaded[ref - 1021] == gFonts[ref - 1021]->atlas_height, "an uploaded atlas");
}

extern "C" {
void glBegin(GLenum mode)
{
    fuzz_check(mode == GL_QUADS && !sInBatch, "one quad batch at a time");
    sInBatch = 1;
}

void glEnd()
{
    fuzz_check(sInBatch, "batch ended once");
    sInBatch = 0;
}

void glTexCoord2f(GLfloat s, GLfloat t)
{
    fuzz_check(sInBatch && s >= 0 && s <= 1 && t >= 0 && t <= 1, "texture coordinates inside the atlas");
}

void glVertex2f(GLfloat x, GLfloat y)
{
    fuzz_check(sInBatch && std::isfinite(x) && std::isfinite(y), "finite vertices");
    ++sVertices;
}
}
