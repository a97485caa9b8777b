// The thread framework (see HL_THREAD.h).
#include "foundation/HL_THREAD.h"

// No other thread runs yet, so nothing can be queued.
void THREAD_report_exceptions(int)
{
}
