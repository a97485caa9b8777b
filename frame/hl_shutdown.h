// Shutdown of the application frame, the start-up's choice of the translation table, and
// opening a web page before the program ends.
#pragma once
#include <string>

// full 1: the orderly end of a normal run; 0: the short end after a fatal alert.
void app_shutdown(int full);

// Selects the translation table of gLanguage: none for English (0), else that language's.
void load_installer_text();

// Opens a web page (only "http://" and "https://" addresses) in the desktop's browser without
// waiting; a refused address or a failed start is logged as a warning.
void open_url(const std::string& address);
