// The quit flag, set by every layer and defined in the lowest one that sets it; the main loop
// ends after the current frame once the flag is non-zero.
#pragma once

extern int gQuit; // 0 while the program runs
