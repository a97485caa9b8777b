// The desktop's clipboard text: on X the CLIPBOARD selection, carried as UTF-8. The program
// answers other programs' requests for what it copied from its event pump, so a copied text
// can be read only while frames run.
#pragma once
#include <string>

// 1 and the clipboard's text (up to its first NUL byte) when it holds a non-empty text; 0 when it
// holds none, or when there is no display.
int PLAT_clipboard_get_text(std::string& out);
// Puts the text (up to its first NUL byte) on the clipboard; 0, or -1 without a display or when
// the desktop refused it.
int PLAT_clipboard_set_text(const std::string& text);
