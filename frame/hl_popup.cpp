// Popup windows (see hl_popup.h).
#include "frame/hl_popup.h"

// Without popups the whole window stays as the layout left it.
void hl_open_window(int)
{
}
