// The wizard's Welcome step.
#include "app/wizard.h"

int step_welcome(int, StepPage*)
{
    return 0;
}
