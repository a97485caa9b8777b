// The quit flag, as the foundation sets it. The frame defines it; its main loop ends after the
// current frame once the flag is non-zero.
#pragma once

extern int gQuit; // 0 while the program runs
