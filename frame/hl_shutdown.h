// Shutdown of the application frame, the start-up's choice of the translation table, and
// opening a web page before the program ends.
#pragma once
// app_shutdown and open_url are declared where the lower layers call them.
#include "engine/web_page.h"
#include "foundation/shutdown.h"

#include <string>

// Selects the translation table of gLanguage: none for English (0), else that language's.
void load_installer_text();
