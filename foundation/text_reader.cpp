// Line-end and blank tests of the text readers (see text_reader.h).
#include "foundation/text_reader.h"

bool TXT_at_eol(const xmap_file& f)
{
    // The end is tested first: a view ends at its last byte, never at a terminating zero.
    if (f.cursor >= f.end) return true;
    const char c = *f.cursor;
    return c == 0 || c == '\n' || c == '\r';
}

bool TXT_at_blank(const xmap_file& f)
{
    if (f.cursor >= f.end) return false;
    const char c = *f.cursor;
    return c == ' ' || c == '\t';
}
