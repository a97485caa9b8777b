// Widgets (see butn.h).
#include "frame/butn.h"

// No widget takes the focus yet.
void BTN_focus_begin_frame()
{
}

// The close boxes are drawn from the interface artwork, which is not loaded yet.
void BTN_corner_boxes(int)
{
}
