// Update-server discovery (see server_search.h).
#include "app/server_search.h"

#include "app/main.h"
#include "app/server_list.h"
#include "engine/http.h"
#include "engine/utils.h"
#include "engine/worklist.h"
#include "foundation/FILE_compress.h"
#include "foundation/alert.h"
#include "foundation/frame_clock.h"
#include "foundation/log.h"
#include "foundation/options.h"
#include "foundation/shared_paths.h"
#include "foundation/translation.h"
#include "platform/plat_fileio.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

int gServerIndex = 0;
int gSearchPhase = 0;

// No request is started before this time. After a failed unpacking the archive is asked for
// again only after the engine's rest: at once, the alert would come back before Back or Quit
// could be reached. After a failed request, or a list that names no usable server, the wait
// grows while they go on, so that a server that stays away is not asked fifty times a second.
static float gResume = -1e30f;
static float gRetryWait = 0; // the wait after the next failure is twice this (the first wait at least)

// A list that names no usable server is logged once; the same list coming again is only counted
// (and not read again: the same bytes give the same records), so that a look-up server handing
// it out for an hour leaves a few lines, not thousands.
static LOG_repeats gUnusableList;

// The beta box as it stood when the kept records were read: the release they name follows it.
static int gListBetas = 0;

void server_search_end_repeats()
{
    LOG_repeats_end(gUnusableList);
}

void server_search_reset_rest()
{
    gResume = -1e30f;
    gRetryWait = 0;
}

static bool resting()
{
    return gTimer.hl_timer_real_time < gResume;
}

// Paces the requests by the result of the one that ended (0 while it runs).
static void pace(int result)
{
    if (result == 1) {
        gRetryWait = 0;
    } else if (result == 2) {
        gRetryWait = std::clamp(gRetryWait * 2, SEARCH_RETRY_FIRST_SECONDS, SEARCH_RETRY_LONGEST_SECONDS);
        gResume = gTimer.hl_timer_real_time + gRetryWait;
    }
}

void server_apply_options()
{
    if (CMDLINE_has_option("--install_name")) gInstallName = CMDLINE_get_option("--install_name");
    if (CMDLINE_has_option("--server")) {
        const ServerRecord r = server_record_from_option(CMDLINE_get_option("--server"), gInstallName);
        if (server_record_usable(r, "--server")) {
            gServers.clear();
            gServers.push_back(r);
        }
    }
    if (CMDLINE_has_option("--add_server")) {
        const ServerRecord r = server_record_from_option(CMDLINE_get_option("--add_server"), gInstallName);
        if (server_record_usable(r, "--add_server")) gServers.push_back(r);
    }
    if (CMDLINE_has_option("--server_clone")) {
        const size_t n = server_clone_count(CMDLINE_get_option("--server_clone"), gServers.size());
        for (size_t i = 0; i < n; ++i) gServers.push_back(gServers[0]);
    }
}

static void fetch_server_list()
{
    if (resting()) return;
    std::string host = LOOKUP_HOST, path = SERVER_LIST_PATH, list = gTempFolder + "server_list_10.txt";
    install_clear_for_request(SERVER_LIST_SLOT, "server_list_10.txt");
    // The list and the directory archive change at the same addresses with each release: no
    // proxy's cache may answer for them.
    const int r = gNet.net_check(SERVER_LIST_SLOT, host, path, list, SERVER_LIST_MAX_BYTES, true);
    if (r != 1) {
        pace(r);
        return;
    }

    xmap_file f(list);
    static const int versions[] = {SERVER_LIST_VERSION, 0};
    if (!f.begin || check_file(f, FILE_KIND_TEXT, versions, "SERVERS", nullptr) != SERVER_LIST_VERSION) {
        f.close();
        install_need_new_installer_dialog(list);
        return;
    }
    // A list without a usable server is no better than a failed request, and waits as one would.
    const std::string bytes(f.begin, f.end);
    if (LOG_repeated(gUnusableList, bytes)) {
        f.close();
        pace(2);
        return;
    }
    server_search_end_repeats();
    std::string page;
    // Each list names its release itself: one that names none must not inherit an earlier one's.
    gInstallName = NOT_SCANNED_NAME;
    gListBetas = gWantBetas;
    const server_list_end end = server_list_read_body(f, gServers, gInstallName, gWantBetas, page);
    f.close();
    if (end == server_list_newer) {
        install_newer_updater_dialog(page);
        return;
    }
    server_apply_options();
    // Records of no release would ask for a folder named after the placeholder.
    if (gInstallName == NOT_SCANNED_NAME) gServers.clear();
    if (gServers.empty()) {
        gLog << "WARNING: the server list " << list << " names no update server that can be used.\n";
        LOG_repeats_keep(gUnusableList, bytes, "unusable server list above");
    }
    gLog.flush();
    pace(gServers.empty() ? 2 : 1);
}

static void unpack_directory(const std::string& archive, const std::string& directory)
{
    // An archive without the file must not leave the last run's file to be read as its own.
    install_clear_temp_name("directory.txt");
    std::vector<std::string> stale;
    PLAT_remove_replace_temps(gTempFolder, "directory.txt", stale);
    // Only the directory file is taken: nothing else the server packs lands where later runs
    // write. It is written beside its name and put there complete, and it is no larger than the
    // archive's download may be.
    PLAT_replace_file out;
    FILE_result err = FILE_unzip_file(archive, "directory.txt", directory, out, DIRECTORY_ARCHIVE_MAX_BYTES);
    if (err == EBADMSG) {
        gLog << "WARNING: the directory file in " << archive << " is larger than " << DIRECTORY_ARCHIVE_MAX_BYTES
             << " bytes; it is not taken.\n";
        err = EFBIG;
    }
    if (!err) err = PLAT_replace_commit(out);
    if (!err)
        gSearchPhase = search_unpacked;
    else {
        MACIBM_alert(0, LANG_translate("The installer cannot extract a file."),
                     LANG_substitute_1(LANG_translate("Error: %1:message%."), FILE_error_text(err)),
                     LANG_substitute_1(LANG_translate("Compressed File  %1:file%."), archive),
                     LANG_substitute_1(LANG_translate("Destination Path: %1:file%."), gTempFolder), t_note,
                     "main.cpp", 619);
        gResume = gTimer.hl_timer_real_time + INSTALL_RETRY_SECONDS;
    }
    FILE_delete_file(archive);
}

static void fetch_directory(const std::string& archive, const std::string& directory)
{
    if (resting()) return;
    if (gServerIndex < 0 || (size_t)gServerIndex >= gServers.size()) gServerIndex = 0;
    const ServerRecord& rec = gServers[(size_t)gServerIndex];
    std::string host = rec.host, path = rec.dir + "directory.txt.zip", local = archive;
    install_clear_for_request(DIRECTORY_SLOT, "directory.txt.zip");
    const int r = gNet.net_check(DIRECTORY_SLOT, host, path, local, DIRECTORY_ARCHIVE_MAX_BYTES, true);
    pace(r);
    if (r == 2)
        gServerIndex = gServers.size() == 1 ? 0 : rand() % (int)gServers.size();
    else if (r == 1)
        unpack_directory(archive, directory);
}

// The user changed the beta box on Welcome since the list was read: the records, the directory
// and the plan of the release not wanted any more go, and the list is asked for again.
static void follow_beta_box(const std::string& archive, const std::string& directory)
{
    if (gServers.empty() || gListBetas == gWantBetas) return;
    gLog << "The beta box changed since the server list was read; the list is asked for again.\n";
    gNet.cancel_slot(DIRECTORY_SLOT);
    gServers.clear();
    gServerIndex = 0;
    gSearchPhase = search_fetching;
    gInstallName = NOT_SCANNED_NAME;
    gPlan.install_groups.clear();
    FILE_delete_file(archive);
    FILE_delete_file(directory);
    server_search_reset_rest();
}

void find_update_servers()
{
    const std::string archive = gTempFolder + "directory.txt.zip";
    const std::string directory = gTempFolder + "directory.txt";
    follow_beta_box(archive, directory);
    if (gServers.empty())
        fetch_server_list();
    else if (gSearchPhase == search_fetching)
        fetch_directory(archive, directory);
    else if (gSearchPhase == search_unpacked)
        gSearchPhase = install_read_directory_file(directory);
}
