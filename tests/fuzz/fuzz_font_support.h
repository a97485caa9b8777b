// What the text fuzz target needs around the font unit: the alert that unwinds, checks, and the
// language it draws for.
#pragma once
#include <cstddef>
#include <cstdint>

// Thrown by the stand-in alert for fatal and crash codes, which would end the program.
struct fuzz_font_alert {
    int code;
};

// Aborts with the message when ok is false.
void fuzz_check(bool ok, const char* what);
void fuzz_set_language(int language);
// Checks what one drawing call emitted and bounds the glyph maps between inputs.
void fuzz_after_draw();
