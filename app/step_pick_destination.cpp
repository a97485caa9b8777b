// The wizard's Pick Destination step: for now only its title and its way back and on.
#include "app/wizard.h"
#include "engine/update_state.h"
#include "foundation/translation.h"

int step_pick_destination(int, StepPage* page)
{
    page->title = LANG_translate("Pick Destination");
    page->prefs_allowed = 1;
    page->back = step_welcome;
    page->next = gInstallPath.empty() ? nullptr : step_search_updates;
    return 0;
}
