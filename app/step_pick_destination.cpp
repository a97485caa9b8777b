// The wizard's Pick Destination step: the registered copies of the simulator to choose from, and
// "Find It", which looks for one more with the folder dialog and remembers it.
#include "app/install_registry.h"
#include "app/wizard.h"
#include "engine/update_state.h"
#include "engine/worklist.h"
#include "foundation/alert.h"
#include "foundation/translation.h"
#include "frame/butn.h"
#include "frame/file_dialogs.h"
#include "graphics/OGL_font.h"

#include <algorithm>

void alert_not_a_copy(const std::string& folder)
{
    MACIBM_alert(0, LANG_translate("You selected the folder path:"), folder,
                 LANG_translate("But it does not appear to be an installed copy of Corvane 10."),
                 LANG_translate("Please be sure to select the folder that contains the Corvane application."), t_note,
                 "main", 405);
}

// The user may pick any folder inside a copy, so the copy is looked for from there upwards.
// With none on the way, the alert names the folder picked and the previous choice stays.
static void find_copy_with_dialog()
{
    std::string picked = gInstallPath;
    if (!FILE_show_dialog(FILE_dialog_folder, LANG_translate("Please select your Corvane 10 folder."),
                          LANG_translate("Select"), 1, gInstallPath, picked))
        return;
    const std::string copy = find_installed_copy(picked);
    if (copy.empty()) {
        alert_not_a_copy(picked);
        return;
    }
    gInstallPath = copy;
    // Listed, and marked as chosen, from the next frame on.
    register_install_folder();
    read_install_registry();
}

// The page body: one radio box per registered copy, then the question and "Find It" below them.
static void pick_copy_list()
{
    const int n = (int)gInstalledCopies.size();
    if (n == 1 && gInstallPath.empty()) gInstallPath = gInstalledCopies[0];
    for (int i = 0; i < n; ++i) {
        int marked = gInstallPath == gInstalledCopies[i] ? 1 : 0;
        if (BTN_check_box(250, 400 - 25 * i, &marked, "|-" + gInstalledCopies[i], 1)) gInstallPath = gInstalledCopies[i];
    }
    const std::string question = LANG_translate("Is the copy of Corvane 10 you're looking for missing from this list?");
    OGL_draw_string(54, 230, 400 - 25 * n, question, 400, 0, 0);
    const float w = std::min(OGL_measure_string(question), 400.0f);
    if (BTN_push_button(w + 285, 403 - 25 * n, 100, 0, 1, LANG_translate("Find It"), "-")) find_copy_with_dialog();
}

int step_pick_destination(int entering, StepPage* page)
{
    if (entering) install_reset_worklist();
    page->title = LANG_translate("Pick Destination");
    page->prefs_allowed = 1;
    if (gInstalledCopies.size() > 1)
        page->text = LANG_translate("You have more than one copy of Corvane 10 installed on this computer.  ");
    page->text += LANG_translate("Please select which copy of Corvane 10 you would like to update.");
    pick_copy_list();
    page->back = step_welcome;
    page->next = gInstallPath.empty() ? nullptr : step_search_updates;
    return 0;
}
