// The line-end and blank tests that every hand-written text reader applies at a view's cursor.
// The application's text helpers fill them in.
#pragma once
#include "foundation/xmap.h"

// True when the cursor is at or past the end of the view, or on a NUL, LF or CR byte.
bool TXT_at_eol(const xmap_file& f);

// True when the cursor is before the end of the view and on a space or a TAB.
bool TXT_at_blank(const xmap_file& f);
