// The open popup's id, as the display state keeps it and the engine's question loops watch it.
// It lives here, below both the graphics and the engine.
#pragma once

extern int gPopup; // the open popup: 0 the whole window, -1 none opened yet
