// What the frame runs of the application. The application's start-up points the hooks at its
// frame and at what it writes at quit; while one is null the frame does without it.
#pragma once

// Draws the application's frame (the current wizard step and its page); called once per frame
// while no popup is open.
extern void (*gAppFrameHook)();
// Writes what the application still owes the log (counts of lines it left out while they
// repeated); called at shutdown, before the log closes.
extern void (*gAppQuitHook)();
