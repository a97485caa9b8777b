// The interface's colour scheme record as far as the image readers and the colour call need it:
// the screen gamma and the two tables that re-map colour bytes made for gamma 1.8 and 2.2 to it,
// the channel gains, monochrome and red shift. The colour table and the pulse join this record
// with the rest of the colour scheme.
#pragma once
#include <cstdint>

using COL_gamma_table = uint8_t[256];

struct COL_scheme {
    float gamma;              // screen gamma the tables are built for
    COL_gamma_table gamma_18; // entry i: byte i of a picture made for gamma 1.8, on this screen
    COL_gamma_table gamma_22; // the same for pictures made for gamma 2.2
    // Factors of drawn colours (the plain gains) and of backdrop textures; nothing here changes them.
    float red_gain = 1.0f, red_back_gain = 1.0f;
    float green_gain = 1.0f, green_back_gain = 1.0f;
    float blue_gain = 1.0f, blue_back_gain = 1.0f;
    int32_t monochrome = 0; // drawn as green of the summed brightness (while red shift is off)
    float red_shift = 0.0f; // above 0: colours fade to a red of their brightness, fully at 0.5

    COL_scheme();

    // Changes red, green and blue in place as setting the colour does: the gains unless raw, then
    // red shift or monochrome. Alpha stays.
    void OGL_adjust_color(float* r, float* g, float* b, float* a, int raw);
    // Sets the current OpenGL colour after the adjustment; opaque above alpha 0.99.
    void OGL_set_color(float r, float g, float b, float a, int raw);
};

extern COL_scheme gInterface;

// Fills table with 255 x (i / 255)^exponent + 0.5, truncated.
void COL_build_gamma_table(COL_gamma_table& table, double exponent);
