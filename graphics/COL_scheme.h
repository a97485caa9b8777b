// The colour scheme record as drawing and the image readers see it: screen gamma and its two
// gamma tables, the colour table that colour indexes name, the channel gains and the colour
// modes. The record and its defaults live here, where drawing and the image readers read them;
// the frame's colour unit (frame/hl_colors) sets its entries.
#pragma once
#include <cstdint>

enum { COL_COLOR_COUNT = 119 };

// Maps an 8-bit colour value made for one gamma to the screen gamma.
using COL_gamma_table = uint8_t[256];

struct COL_scheme {
    float gamma;              // the screen gamma both tables are built for
    COL_gamma_table gamma_18; // entry i: byte i of a picture made for gamma 1.8, on this screen
    COL_gamma_table gamma_22; // the same for pictures made for gamma 2.2
    float colors[COL_COLOR_COUNT][3]; // red, green, blue from 0 to 1, by colour index
    float red_gain, red_back_gain, green_gain, green_back_gain, blue_gain, blue_back_gain;
    int32_t monochrome; // drawn colours become green of their brightness (when red_shift is off)
    float pulse;        // 0.6 to 1.0, set every frame by the frame timer
    float red_shift;    // above 0: colours fade toward red of their brightness, fully at 0.5

    COL_scheme();
    ~COL_scheme();

    // Changes red, green and blue in place as setting the colour would: the channel gains
    // (unless raw), then the red shift or, without one, the monochrome mode. Alpha stays.
    void OGL_adjust_color(float* r, float* g, float* b, float* a, int raw);
    // Adjusts the colour and makes it OpenGL's current colour.
    void OGL_set_color(float r, float g, float b, float a, int raw);
};

extern COL_scheme gInterface;
// The colour table of gInterface, as every drawing call names it.
extern float (&gColors)[COL_COLOR_COUNT][3];

// Fills table with 255 x (i / 255)^exponent + 0.5, truncated.
void COL_build_gamma_table(COL_gamma_table& table, double exponent);
