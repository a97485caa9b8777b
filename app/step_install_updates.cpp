// The wizard's Install Updates step: on entry the engine decides what to do with every file and
// makes the folders; then every frame runs the download, extract and delete worklist for 0.02 s
// and shows the current file, the time left, the rate and one line per update server.
#include "app/main.h"
#include "app/size_text.h"
#include "app/wizard.h"
#include "engine/http.h"
#include "engine/utils.h"
#include "engine/worklist.h"
#include "foundation/frame_clock.h"
#include "foundation/log.h"
#include "foundation/translation.h"

#include <cmath>

float gInstallProgress = 0.0f;

bool confirm_stop_update()
{
    const int answer = install_ask_two_choices(
        LANG_translate("Are you sure you want to stop the update? Corvane 10 will not be usable until the update is "
                       "finished.  You can resume the update later."),
        LANG_translate("Stop"), LANG_translate("the update."), LANG_translate("Continue"),
        LANG_translate("the update process."));
    // Continue, and a question window closed some other way, both keep the install going.
    return answer == 1;
}

// A stream at work holds a file it downloads, installs, deletes or passes over: it exists, does
// not rest, and is not past the last group.
static bool stream_at_work(const install_stream* st, float now)
{
    return st && !(st->resume_time > now) && st->group >= 0 && st->group < (int)gPlan.install_groups.size();
}

static std::string install_caption(bool at_work)
{
    // The engine's current file is the last one a stream took: while every server rests or has
    // nothing to take, it names nothing being done now.
    if (!at_work) return {};
    switch (install_action) {
    case action_delete:
        return LANG_substitute_1(LANG_translate("Deleting %1:file% because that file is no longer needed!"),
                                 gCurrentFileName);
    case action_download: {
        // Before the length is known the engine reports a negative share.
        const float f = gCurrentFileFraction * 100.0f;
        const int percent = f > 0.0f ? (f < 100.0f ? (int)f : 100) : 0;
        return LANG_substitute_2(LANG_translate("Downloading and installing %1:file%, currently %2:progress%% done "
                                                "with that file."),
                                 gCurrentFileName, format_int(percent));
    }
    case action_skip_installed:
        return LANG_substitute_1(LANG_translate("Skipping %1:file% because it is already installed."),
                                 gCurrentFileName);
    case action_skip_unneeded:
        return LANG_substitute_1(LANG_translate("Skipping %1:file% because you don't need it."), gCurrentFileName);
    default: return {};
    }
}

// Whether some stream is at work.
static bool any_stream_at_work(float now)
{
    const std::vector<install_stream>& streams = gPlan.streams;
    for (size_t i = 0; i < gServers.size() && i < streams.size(); ++i)
        if (stream_at_work(&streams[i], now)) return true;
    return false;
}

static std::string install_text(float now)
{
    if (!(gInstallProgress > 0.01f)) return {};
    const float downloaded = gPlan.downloaded_bytes + gPlan.inflight_bytes;
    float remaining = gDownloadSize - downloaded;
    if (!(remaining > 0.0f)) remaining = 0.0f;
    float elapsed = now - gPlan.start_time;
    if (!(elapsed > 1.0f)) elapsed = 1.0f;
    const float rate = downloaded / elapsed;
    const float left = rate > 0.0f ? remaining / rate : INFINITY;

    // The server parts, which also tell whether some stream receives bytes.
    std::string parts;
    bool receiving = false;
    const std::vector<install_stream>& streams = gPlan.streams;
    for (size_t i = 0; i < gServers.size(); ++i) {
        const std::string& host = gServers[i].host;
        const install_stream* st = i < streams.size() ? &streams[i] : nullptr;
        if (st && st->resume_time > now) {
            const float wait = st->resume_time - now;
            const int seconds = wait > 0.0f ? (wait < 2e9f ? (int)wait : 2000000000) : 0;
            // The engine's message is a sentence of its own; the text adds its full stop.
            std::string message = st->error_message;
            if (!message.empty() && message.back() == '.') message.pop_back();
            parts += LANG_substitute_3(
                LANG_translate_plural(seconds, "\n\n%1:server%: %2:errormessage%.  Will retry in %3:seconds% second.",
                                      "\n\n%1:server%: %2:errormessage%.  Will retry in %3:seconds% seconds."),
                host, message, format_int(seconds));
        } else if (!stream_at_work(st, now)) {
            parts += LANG_substitute_1(LANG_translate("\n\n%1:server% is finished."), host);
        } else {
            if (now - gNet.last_activity(INSTALL_STREAM_SLOT + (int32_t)i) < INSTALL_STALL_SECONDS) receiving = true;
            // A stream still waiting for its reply counts its download as a negative share.
            const float stream_rate = (st->bytes_done + st->progress) / elapsed;
            if (stream_rate > 0.0f)
                parts += LANG_substitute_2(LANG_translate("\n\nDownloading at %1:rate% from %2:server%."),
                                           format_rate(stream_rate), host);
            else
                parts += LANG_substitute_1(LANG_translate("\n\nDownloading from %1:server%."), host);
        }
    }
    // Entries that downloaded nothing give no rate and no time left: no headline then. Nor while
    // no stream receives bytes (each rests, has nothing to take, or its server has been silent
    // for a while), when the time left would only grow until the next byte, nor while only files
    // that servers failed are left: they are retried until one gives them, if ever.
    if (rate > 0.0f && std::isfinite(left) && receiving && !install_only_failed_files_left()) {
        const int servers = (int)gServers.size();
        const std::string headline = LANG_substitute_3(
            LANG_translate_plural(servers,
                                  "About %1:time% left in the install, downloading at %2:rate% with %3:number% "
                                  "download stream.",
                                  "About %1:time% left in the install, downloading at %2:rate% with %3:number% "
                                  "simultaneous servers."),
            format_duration(left), format_rate(rate), format_int(servers));
        return headline + parts;
    }
    return parts;
}

int step_install_updates(int entering, StepPage* page)
{
    if (entering) {
        // A cancel in the modified-file question, or a folder that cannot be made (the engine has
        // shown its alert), goes back to Check Disk Space before anything is fetched.
        if (!install_decide_actions() || install_make_folders() != 0) {
            gLog << "Install Updates: not started; back to Check Disk Space.\n" << std::flush;
            page->next = step_check_disk_space;
            return 1;
        }
        install_reset_worklist();
        gLog << "Install Updates: started with " << gServers.size() << " download streams.\n" << std::flush;
    }

    page->title = LANG_translate("Installing");
    const float dt = gTimer.sim_frame_time;
    // Nothing to install has no share: the bar must never be NaN.
    const int64_t t0 = hl_timer_clock_us();
    do {
        if (install_run_worklist()) {
            install_reset_worklist();
            page->back = nullptr;
            page->next = step_finish;
            return 1;
        }
        const float share = gSpaceNeeded > 0.0f ? gPlan.installed_bytes / gSpaceNeeded : 0.0f;
        float p = (1.0f - 5.0f * dt) * gInstallProgress + 5.0f * dt * share;
        if (!(p > 0.0f)) p = 0.0f;
        if (p > 1.0f) p = 1.0f;
        gInstallProgress = p;
    } while (hl_timer_clock_us() < t0 + 20000);

    // Only the last turn's texts are ever shown, so they are made once, after the turns.
    const float now = gTimer.hl_timer_real_time;
    page->caption = install_caption(any_stream_at_work(now));
    page->text = install_text(now);
    page->progress = gInstallProgress;
    page->back = step_check_disk_space;
    page->next = nullptr;
    page->confirm_quit = confirm_stop_update;
    return 0;
}
