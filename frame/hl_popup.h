// Popup windows inside the main window. Filled in by their own unit later.
#pragma once

// Selects the popup with this id (0 the whole window) and lays it out.
void hl_open_window(int id);
