// The wizard's Finish step: tells the outcome of the update and, when the copy is usable, offers
// to start the simulator; Next quits.
#include "app/wizard.h"
#include "engine/update_state.h"
#include "engine/utils.h"
#include "engine/worklist.h"
#include "foundation/FILE_ops.h"
#include "foundation/alert.h"
#include "foundation/log.h"
#include "foundation/translation.h"

int step_finish(int entering, StepPage* page)
{
    page->back = nullptr;
    page->next = step_quit;
    page->title = LANG_translate("Finished Web Update");
    // "Up to date" only when nothing was to be done, never after an install that failed.
    const bool nothing_to_do = gFilesToFetch == 0 && gFilesToDelete == 0;
    if (gInstallFailed) {
        page->text = LANG_translate("There were problems updating Corvane.  You can try this updater again using a "
                                    "different server.");
        if (entering) gLog << "Finish: " << page->text << "\n" << std::flush;
        return 0;
    }
    if (nothing_to_do)
        page->text = LANG_substitute_1(LANG_translate("This copy of Corvane (%1:install path%) is already up to date."),
                                       gInstallPath);
    else
        page->text = LANG_substitute_1(LANG_translate("I have finished updating %1:install path%."), gInstallPath);
    page->choice_labels.push_back(LANG_translate("Fly Corvane Now"));
    page->choice_steps.push_back(launch_simulator);
    if (entering) gLog << "Finish: " << page->text << "\n" << std::flush;
    return 0;
}

int launch_simulator(int, StepPage* page)
{
    const std::string program = gInstallPath + "Corvane" + ".exe";
    // Does not come back when the simulator starts: the program shuts down with exit code 1.
    std::string opener_failure;
    const int err = FILE_launch(program, "", 1, &opener_failure);
    // Tried once: the wizard returns to Finish instead of launching again on every frame. When
    // the start went through the desktop's opener, the error is the opener's, not the program file's.
    MACIBM_alert(0, LANG_translate("I could not start Corvane."), program,
                 LANG_translate("Error: ") + (opener_failure.empty() ? FILE_error_text(err) : opener_failure), "",
                 t_note, __FILE__, __LINE__);
    page->next = step_finish;
    return 1;
}
