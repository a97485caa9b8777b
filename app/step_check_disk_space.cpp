// The wizard's Check Disk Space step.
#include "app/wizard.h"

int step_check_disk_space(int, StepPage*)
{
    return 0;
}
