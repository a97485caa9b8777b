// The wizard's Search for Updates step: drives the server discovery once per frame, tells what it
// is doing, then runs the local MD5 scan and moves on to Check Disk Space by itself.
#include "app/main.h"
#include "app/server_search.h"
#include "app/size_text.h"
#include "app/wizard.h"
#include "engine/checksum_task.h"
#include "engine/http.h"
#include "engine/utils.h"
#include "foundation/translation.h"

#include <cmath>
#include <string>

int gFilesScanned = 0;

// The host is part of the sentence, so the tables hold one whole text for it.
static const char kContacting[] = "I am contacting " CORVANE_LOOKUP_HOST " to find an update server.";

// The directory archive's share received, in whole percent: 0 before the connection exists, -1
// while its length is unknown.
static int directory_percent()
{
    gNet.reserve_slot(DIRECTORY_SLOT);
    const float p = gNet.percent_done(DIRECTORY_SLOT);
    if (!std::isfinite(p) || p < -1.0f) return -1;
    return p > 100.0f ? 100 : (int)p;
}

static void fill_download_page(StepPage* page)
{
    const int percent = directory_percent();
    if (percent == -1)
        page->caption = LANG_translate("I am checking the net for the latest version of Corvane 10 right now, and I "
                                       "am connecting to the server...");
    else
        page->caption = LANG_substitute_1(LANG_translate("I am checking the net for the latest version of Corvane 10 "
                                                         "right now, and I am %1:progress%% done checking."),
                                          std::to_string(percent));
    // -1 while connecting: no bar.
    page->progress = (float)percent * 0.01f;
    const std::string host =
        gServerIndex >= 0 && (size_t)gServerIndex < gServers.size() ? gServers[(size_t)gServerIndex].host : "";
    page->text = LANG_substitute_1(LANG_translate("I am downloading patch info from %1:server name%."), host);
}

// The scan's frame; 1 when it is complete and the wizard is to move on.
static int scan_frame(StepPage* page)
{
    page->confirm_quit = install_stop_md5_pool;
    float fraction = 0.0f;
    if (install_scan_md5(gFilesScanned, fraction)) {
        page->back = nullptr;
        page->next = step_check_disk_space;
        install_count_totals();
        return 1;
    }
    page->text = LANG_substitute_1(LANG_translate("I am scanning %1:folder path% to see what files need updating."),
                                   gInstallPath);
    page->caption = LANG_substitute_2(LANG_translate("Scanning %1:number% of %2:total% files."),
                                      format_int(gFilesScanned), format_int((int)gPlan.install_groups.size()));
    page->progress = fraction;
    return 0;
}

int step_search_updates(int entering, StepPage* page)
{
    if (entering && gSearchPhase == search_read) {
        // Back from a later step, or from the middle of the scan: the kept directory file is read
        // again and the copy scanned from the start, without asking the servers.
        gSearchPhase = search_unpacked;
        gFilesScanned = 0;
    }
    page->title = LANG_translate("Search for Updates");
    page->back = step_pick_destination;
    page->next = nullptr;

    find_update_servers();

    if (gServers.empty())
        page->text = LANG_translate(kContacting);
    else if (gSearchPhase == search_fetching)
        fill_download_page(page);
    else if (gSearchPhase == search_unpacked)
        page->text = LANG_translate("I am processing information about the available patches.");
    else if (gSearchPhase == search_refused)
        page->text = LANG_translate("There was a problem reading information from the servers.");
    else if (gSearchPhase == search_read)
        return scan_frame(page);
    return 0;
}

void step_search_updates_left()
{
    install_stop_md5_pool();
    // Back in the middle of an outage: its repeats are counted now, not when the step is next shown,
    // and Next asks again at once, not after what is left of the growing wait.
    server_search_end_repeats();
    server_search_reset_rest();
    gNet.end_repeats(SERVER_LIST_SLOT);
    gNet.end_repeats(DIRECTORY_SLOT);
}
