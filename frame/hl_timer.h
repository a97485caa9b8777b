// The frame timer, ticked once per frame. Its type and clock are declared where the lower
// layers read them (foundation/frame_clock.h); frame times and mouse press timing are filled
// in by its own unit later.
#pragma once
#include "foundation/frame_clock.h"
