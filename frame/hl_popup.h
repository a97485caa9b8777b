// Popup windows inside the main window. Filled in by their own unit later.
#pragma once
#include "engine/modal_frame.h"
