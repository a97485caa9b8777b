// The wizard's Finish step.
#include "app/wizard.h"

int step_finish(int, StepPage*)
{
    return 0;
}
