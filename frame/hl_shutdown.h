// Shutdown of the application frame and the start-up's choice of the translation table.
#pragma once
#include <string>

// full 1: the orderly end of a normal run; 0: the short end after a fatal alert. The layers below
// reach it through gShutdownHook (foundation/shutdown.h).
void app_shutdown(int full);

// Selects the translation table of gLanguage: none for English (0), else that language's.
void load_installer_text();
