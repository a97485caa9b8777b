// The wizard's Welcome step: the step list, the folder chosen without a question, the greeting
// and the beta check box.
#include "app/install_registry.h"
#include "app/main.h"
#include "app/wizard.h"
#include "engine/worklist.h"
#include "foundation/translation.h"
#include "frame/butn.h"

// Rebuilt on every entry: a folder given on the command line needs no Pick Destination.
static void build_step_list()
{
    gStepTitles.clear();
    gStepFuncs.clear();
    auto add = [](const std::string& title, StepFunc f) {
        gStepTitles.push_back(title);
        gStepFuncs.push_back(f);
    };
    add(LANG_translate("Welcome"), step_welcome);
    if (gCmdLinePath.empty()) add(LANG_translate("Pick Destination"), step_pick_destination);
    add(LANG_translate("Search for Updates"), step_search_updates);
    add(LANG_translate("Check Disk Space"), step_check_disk_space);
    add(LANG_translate("Install Updates"), step_install_updates);
    add(LANG_translate("Finish"), step_finish);
}

int step_welcome(int entering, StepPage* page)
{
    if (entering) {
        read_install_registry();
        build_step_list();
        // Before the folder is chosen below, so leftovers under the previous choice go.
        install_reset_worklist();
    }

    if (!gCmdLinePath.empty())
        gInstallPath = gCmdLinePath;
    else if (gInstalledCopies.size() == 1) {
        if (gInstallPath.empty()) gInstallPath = gInstalledCopies[0];
    } else
        gInstallPath.clear(); // the user picks on the next page

    page->title = LANG_translate("Corvane 10 Web Updater");
    page->prefs_allowed = 1;
    page->text = LANG_translate(
        "I will guide you through the process of updating your copy of Corvane 10 to the latest version.");
    page->next = gCmdLinePath.empty() ? step_pick_destination : step_search_updates;
    BTN_check_box(250, 400, &gWantBetas,
                  LANG_translate("|Check for new betas as well as updates. Leave this off unless you want to "
                                 "participate in the Corvane beta program!"),
                  0);
    return 0;
}
