// The frame's shutdown, as the file operations and the thread framework call it before the
// process ends. The frame's start-up points the hook at app_shutdown; while it is null nothing is
// shut down, and the caller ends the process all the same.
#pragma once

// full 1: the orderly end of a normal run; 0: the short end after a fatal alert.
extern void (*gShutdownHook)(int full);
