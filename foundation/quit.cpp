// The quit flag (see quit.h).
#include "foundation/quit.h"

int gQuit = 0;
