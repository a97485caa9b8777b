// The wizard's page record, its step functions and the step list the left panel shows.
#pragma once
#include <string>
#include <vector>

struct StepPage;
// A wizard step: fills the page every frame; non-zero sends the wizard to page.next.
typedef int (*StepFunc)(int entering, StepPage* page);

// What a step puts on the page; made fresh every frame, so nothing on it lasts.
struct StepPage {
    std::string title;
    std::string text;
    StepFunc back = nullptr;
    StepFunc next = nullptr; // step_quit turns Next into Quit and hides Quit and Preferences
    float progress = -1.0f;  // below 0: no bar
    std::string caption;
    int prefs_allowed = 0;
    std::vector<std::string> choice_labels;
    std::vector<StepFunc> choice_steps; // parallel to choice_labels
    bool (*confirm_quit)() = nullptr;
};

extern StepFunc gCurStep;  // step_welcome from the program's start
extern StepFunc gPrevStep; // the step called on the previous frame
extern std::vector<std::string> gStepTitles;
extern std::vector<StepFunc> gStepFuncs; // parallel to gStepTitles

// The steps, in the order the left panel lists them.
int step_welcome(int entering, StepPage* page);
int step_pick_destination(int entering, StepPage* page);
int step_search_updates(int entering, StepPage* page);
int step_check_disk_space(int entering, StepPage* page);
int step_install_updates(int entering, StepPage* page);
int step_finish(int entering, StepPage* page);
// Find It's note that a folder is no copy and lies inside none; the folder is its second line.
void alert_not_a_copy(const std::string& folder);
// The wizard frame calls this when it leaves Search for Updates for another step: the scan's
// workers are stopped and joined before that step can change the folder or the plan.
void step_search_updates_left();
// Where the progress bar's filled part ends (x, UI units) for a progress of 0 to 1; at least 4
// percent of the track, at most all of it.
float wizard_bar_end(float progress);

// Draws the current wizard step and its page; the frame runs it once per frame while no popup is
// open, through gAppFrameHook, which app_set_hooks sets.
void wizard_draw_frame();

// Next of the last page: sets gQuit and returns 1.
int step_quit(int entering, StepPage* page);

// Install Updates' smoothed progress; never reset, so a later run starts where the last one left it.
extern float gInstallProgress;
// Install Updates' quit confirmation: true only when the user chose to stop the update.
bool confirm_stop_update();
// Finish's choice: starts the simulator in the copy and ends the program; when it cannot be
// started, a note names the file and the error, and the wizard goes back to Finish.
int launch_simulator(int entering, StepPage* page);
