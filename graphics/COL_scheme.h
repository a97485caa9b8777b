// The interface's colour scheme record as far as the image readers need it: the screen gamma and
// the two tables that re-map colour bytes made for gamma 1.8 and 2.2 to it. The colour table,
// gains and monochrome settings join this record with the rest of the colour scheme.
#pragma once
#include <cstdint>

using COL_gamma_table = uint8_t[256];

struct COL_scheme {
    float gamma;              // screen gamma the tables are built for
    COL_gamma_table gamma_18; // entry i: byte i of a picture made for gamma 1.8, on this screen
    COL_gamma_table gamma_22; // the same for pictures made for gamma 2.2

    COL_scheme();
};

extern COL_scheme gInterface;

// Fills table with 255 x (i / 255)^exponent + 0.5, truncated.
void COL_build_gamma_table(COL_gamma_table& table, double exponent);
