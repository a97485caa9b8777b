// The wizard's Check Disk Space step: a fresh install run is prepared on entry; with nothing to
// fetch or delete the wizard passes on to Finish, otherwise the page shows the download size and
// the disk figures and offers Next only while the free space suffices.
#include "app/main.h"
#include "app/size_text.h"
#include "app/wizard.h"
#include "engine/utils.h"
#include "engine/worklist.h"
#include "foundation/log.h"
#include "foundation/translation.h"

int step_check_disk_space(int entering, StepPage* page)
{
    // Install Updates' Back comes here (so do a cancel and a failed start, before any run): the
    // run is dropped, its failure with it, and no stream or rate clock is left for the next one.
    if (entering) install_reset_for_back();

    page->title = LANG_translate("Check Disk Space");
    page->back = step_search_updates;
    page->next = step_install_updates;

    // A release that only deletes files needs no space, yet still has work to do: only both
    // counts at 0 mean the copy is up to date.
    if (gFilesToFetch == 0 && gFilesToDelete == 0) {
        if (entering) gLog << "Check Disk Space: nothing to fetch or delete.\n" << std::flush;
        page->next = step_finish;
        return 1;
    }

    // Measured on every frame, so space freed while the page shows enables Next at once.
    const bool enough = draw_disk_space(LANG_translate("You have enough free disk space to update Corvane 10"),
                                        LANG_translate("You do not have enough free disk space to update Corvane 10."));
    if (!enough) {
        page->next = nullptr;
        page->text = LANG_translate("There is a newer version of Corvane 10 available, but you do not have enough "
                                    "free disk space to download and install the update.\n\nPlease free some space "
                                    "on your hard drive.");
    } else {
        page->text = LANG_substitute_2(LANG_translate("You are about to download %1:download size% of compressed "
                                                      "data to update to %2:install name%."),
                                       format_bytes(gDownloadSize), gInstallName);
    }
    // What the user was offered, for a support request.
    if (entering)
        gLog << "Check Disk Space: " << gFilesToFetch << " files to fetch, " << gFilesToDelete << " to delete, "
             << gDownloadSize << " KB to download, " << gSpaceNeeded << " KB needed, "
             << (enough ? "enough space" : "not enough space") << ".\n"
             << std::flush;
    return 0;
}
