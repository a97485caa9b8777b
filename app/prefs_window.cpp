// Picture buttons and the preferences window (see prefs_window.h).
#include "app/prefs_window.h"

int BTN_elements_button(float, float, int, int, int* out_width, int, int)
{
    if (out_width) *out_width = 0;
    return 0;
}

void run_prefs_window()
{
}
