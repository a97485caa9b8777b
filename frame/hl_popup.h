// Popup windows inside the main window. Filled in by their own unit later. hl_open_window is
// declared where the engine's questions call it.
#pragma once
#include "engine/modal_frame.h"
