// The frame's answer to the screen-resolution preferences' hook (foundation/screen_prefs.h).
#pragma once
#include "foundation/screen_prefs.h"

// Points out at the live display, OpenGL and language settings.
void PREF_get_screen_vars(PREF_screen_vars& out);
