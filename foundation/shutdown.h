// The frame's shutdown, as the file operations call it before the process ends.
#pragma once

// full 1: the orderly end of a normal run; 0: the short end after a fatal alert.
void app_shutdown(int full);
