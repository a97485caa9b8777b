// The colour scheme record (see COL_scheme.h).
#include "graphics/COL_scheme.h"

#include <cmath>

COL_scheme gInterface;

void COL_build_gamma_table(COL_gamma_table& table, double exponent)
{
    for (int i = 0; i < 256; ++i) {
        const double y = i == 0 ? 0.0 : std::pow(i / 255.0, exponent);
        table[i] = (uint8_t)(int)(y * 255.0 + 0.5);
    }
}

COL_scheme::COL_scheme() : gamma(2.5f)
{
    COL_build_gamma_table(gamma_18, 1.8 / gamma);
    COL_build_gamma_table(gamma_22, 2.2 / gamma);
}
