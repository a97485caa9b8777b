// Shutdown of the application frame.
#pragma once

// full 1: the orderly end of a normal run; 0: the short end after a fatal alert.
void app_shutdown(int full);
