// What the text fuzz target needs around the font unit beyond fuzz_support.h: checks, and the
// language it draws for.
#pragma once
#include <cstddef>
#include <cstdint>

// Aborts with the message when ok is false.
void fuzz_check(bool ok, const char* what);
void fuzz_set_language(int language);
// Checks what one drawing call emitted and bounds the glyph maps between inputs.
void fuzz_after_draw();
