// The line-end and blank tests that every hand-written text reader applies at a view's cursor,
// and the cursor moves built on them, shared by the readers of every layer.
#pragma once
#include "foundation/xmap.h"

// True when the cursor is at or past the end of the view, or on a NUL, LF or CR byte.
bool TXT_at_eol(const xmap_file& f);

// True when the cursor is before the end of the view and on a space or a TAB.
bool TXT_at_blank(const xmap_file& f);

// Moves the cursor past blanks and TABs.
inline void TXT_skip_blanks(xmap_file& f)
{
    while (TXT_at_blank(f)) ++f.cursor;
}

// Moves the cursor to the line's end: a NUL, LF or CR byte, or the end of the view.
inline void TXT_skip_to_eol(xmap_file& f)
{
    while (!TXT_at_eol(f)) ++f.cursor;
}

// Moves the cursor past line ends, NULs, empty lines and the blanks that begin the next line.
inline void TXT_skip_line_ends(xmap_file& f)
{
    while (f.cursor < f.end && (TXT_at_eol(f) || TXT_at_blank(f))) ++f.cursor;
}
