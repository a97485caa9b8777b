// The wizard's Install Updates step.
#include "app/wizard.h"

int step_install_updates(int, StepPage*)
{
    return 0;
}
