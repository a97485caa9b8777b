// The wizard frame: backdrop, panels, step list, the current step's page and its buttons.
#include "app/wizard.h"

#include "frame/app_frame.h"
#include "foundation/quit.h"

StepFunc gCurStep = step_welcome;
StepFunc gPrevStep = nullptr;
std::vector<std::string> gStepTitles;
std::vector<StepFunc> gStepFuncs;

int step_quit(int, StepPage*)
{
    gQuit = 1;
    return 1;
}

void wizard_draw_frame()
{
}
