// The MD5 scan of the local copy (see checksum_task.h).
#include "engine/checksum_task.h"

#include "engine/update_state.h"
#include "engine/utils.h"
#include "foundation/FILE_compress.h"
#include "foundation/FILE_ops.h"
#include "foundation/frame_clock.h"
#include "foundation/log.h"

#include <algorithm>

UTL_work_queue* gScanPool = nullptr;

// Set only by install_stop_md5_pool while it waits for the jobs.
static std::atomic<int> gScanStop{0};
// First group a stopped scan left unchecked, or -1.
static int gScanResume = -1;
// What the running scan's jobs are given, fixed when its pool is made.
static std::string gScanRoot;
static int gScanTarget = 0;

// Groups per job: enough to keep the queue traffic small beside the hashing.
static const int kGroupsPerJob = 10;
static const int kJobsPerWorker = 4;

checksum_task::checksum_task(int32_t first_group, int32_t end_group, const std::string& root, int target_os,
                             const std::atomic<int>* stop)
    : first(first_group), end(end_group), unchecked(end_group), root_(root), target_os_(target_os), stop_(stop)
{
}

std::string checksum_task::name()
{
    return "";
}

void checksum_task::run()
{
    // Only this job touches the last entries of its range while it runs; the group vectors do
    // not change while any job exists.
    auto& groups = gPlan.install_groups;
    for (int32_t g = first; g < end; ++g) {
        if (stop_ && stop_->load(std::memory_order_relaxed)) {
            unchecked = g;
            return;
        }
        if (g < 0 || (size_t)g >= groups.size() || groups[(size_t)g].empty()) continue;
        install_entry& e = groups[(size_t)g].back();
        if (!install_os_wanted(e.os, target_os_)) continue;
        std::string hex;
        e.sig_have = FILE_md5_of_file(root_ + e.path, hex) == 0 ? hex : "NONE";
        e.up_to_date = e.sig_want == e.sig_have ? 1 : 0;
    }
}

static double clock_seconds()
{
    return (double)hl_timer_clock_us() / 1000000.0;
}

int install_scan_md5(int& next_group, float& progress)
{
    auto& groups = gPlan.install_groups;
    const int count = (int)groups.size();

    if (gInstallPath.empty() || !FILE_is_dir(gInstallPath)) {
        // The workers of an earlier scan must be gone before these fields are written.
        install_stop_md5_pool();
        for (auto& g : groups) {
            if (g.empty()) continue;
            g.back().sig_have = "NONE";
            g.back().up_to_date = g.back().sig_want == "NONE" ? 1 : 0;
        }
        return 1;
    }

    if (!gScanPool) {
        if (gScanResume >= 0 && gScanResume < next_group) next_group = gScanResume;
        gScanResume = -1;
        const int cpus = THREAD_cpu_count();
        gScanRoot = gInstallPath;
        gScanTarget = gTargetOS;
        gScanPool = new UTL_work_queue(cpus, kJobsPerWorker * cpus);
        gLog << " Start of MD5 at " << clock_seconds() << "\n";
    }
    if (next_group < 0) next_group = 0;

    // Finished jobs are taken back before the refill, so that their room goes to new jobs in
    // this same poll instead of idling the workers until the next frame.
    while (UTL_work_task* job = gScanPool->poll_done()) delete job;
    while (next_group < count && gScanPool->has_room()) {
        const int n = std::min(kGroupsPerJob, count - next_group);
        gScanPool->add_task(new checksum_task(next_group, next_group + n, gScanRoot, gScanTarget, &gScanStop));
        next_group += n;
    }

    progress = count > 0 ? (float)next_group / (float)count : 0.0f;

    if (next_group >= count && gScanPool->outstanding() == 0) {
        delete gScanPool;
        gScanPool = nullptr;
        gLog << " End of MD5 at " << clock_seconds() << "\n";
        gLog.flush();
        return 1;
    }
    return 0;
}

bool install_stop_md5_pool()
{
    if (!gScanPool) return true;
    // Without the flag, quitting would wait until every queued job had hashed all of its files.
    gScanStop.store(1, std::memory_order_relaxed);
    while (UTL_work_task* job = gScanPool->wait_done()) {
        const checksum_task* t = static_cast<checksum_task*>(job);
        if (t->unchecked < t->end && (gScanResume < 0 || t->unchecked < gScanResume)) gScanResume = t->unchecked;
        delete job;
    }
    delete gScanPool; // joins the workers
    gScanPool = nullptr;
    gScanStop.store(0, std::memory_order_relaxed);
    return true;
}

void install_scan_forget()
{
    gScanResume = -1;
}
