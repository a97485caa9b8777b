// What the frame runs of the application. The application's start-up points the hook at its
// frame; while it is null a frame draws no application.
#pragma once

// Draws the application's frame (the current wizard step and its page); called once per frame
// while no popup is open.
extern void (*gAppFrameHook)();
