// The wizard's Pick Destination step.
#include "app/wizard.h"

int step_pick_destination(int, StepPage*)
{
    return 0;
}
