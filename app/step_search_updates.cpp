// The wizard's Search for Updates step.
#include "app/wizard.h"

int step_search_updates(int, StepPage*)
{
    return 0;
}
