// Shutdown of the application frame and the start-up's choice of the translation table.
#pragma once
// app_shutdown is declared where the lower layers call it.
#include "foundation/shutdown.h"

#include <string>

// Selects the translation table of gLanguage: none for English (0), else that language's.
void load_installer_text();
