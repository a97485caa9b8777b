// Fuzz target of text measuring, fitting and drawing: the input is a few parameter bytes and a
// UTF-8 text of any bytes, measured, fitted and drawn in the ways the widgets and the text engine
// ask for, in both faces and in the languages with and without the narrow scale.
#include "fuzz_font_support.h"
#include "graphics/OGL_font.h"

#include <cmath>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) return 0;
    const uint8_t style = data[0] % 8, align = data[1] % 4;
    static const float wraps[] = {9999, 0, -5, 1, 7.5f, 40, 150, 9998.9f, NAN, INFINITY};
    const float wrap = wraps[data[2] % 10];
    fuzz_set_language(data[3] & 0x80 ? 3 : 0);
    const std::string text((const char*)data + 4, size - 4);
    const char* b = text.data();
    const char* e = b + text.size();

    const float whole = OGL_measure_string(text);
    const float range = OGL_measure_range(b, e);
    fuzz_check(std::isfinite(whole) && std::isfinite(range) && whole >= 0 && range >= whole, "measured width");
    for (float w : {-1.0f, 0.0f, 3.5f, whole / 2, whole, range, 1e9f, (float)NAN}) {
        const char* f = OGL_fit_range(b, e, w);
        const char* r = OGL_fit_range_back(b, e, w);
        fuzz_check(f >= b && f <= e && r >= b && r <= e, "fit inside the range");
        fuzz_check(OGL_measure_range(b, f) >= 0 && OGL_measure_range(r, e) >= 0, "fitted widths");
    }
    // Sub-ranges that start and end inside characters.
    const size_t cut = data[2] % (text.size() + 1);
    OGL_fit_range(b + cut / 2, b + cut, 20);
    OGL_fit_range_back(b + cut / 2, b + cut, 20);
    OGL_measure_range(b + cut, e);

    const float y = OGL_draw_string(data[3] % 119, 10, 500, text, wrap, style, align);
    fuzz_check(std::isfinite(y) && y <= 500, "returned y");
    fuzz_after_draw();
    return 0;
}
