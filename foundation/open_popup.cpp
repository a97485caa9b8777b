// The open popup's id (see open_popup.h).
#include "foundation/open_popup.h"

int gPopup = 0;
