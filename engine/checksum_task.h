// The MD5 scan of the local copy: checksum_task jobs on a work queue of one worker per processor,
// each checking a range of the plan's groups, fed and collected once per frame by the caller.
#pragma once
#include "foundation/work_queue.h"

#include <atomic>
#include <cstdint>
#include <string>

// Checks the current (last) entry of the groups first to end - 1: its sig_have becomes the local
// file's MD5 ("NONE" when it cannot be read) and up_to_date whether that is the listed one.
// Groups for another platform keep their values.
class checksum_task : public UTL_work_task {
public:
    // The install folder and target platform are copies taken when the scan started, so the
    // workers never read the update state the main thread owns. A set stop flag makes the job
    // leave its remaining groups unchecked.
    checksum_task(int32_t first, int32_t end, const std::string& root, int target_os,
                  const std::atomic<int>* stop);
    void run() override;
    std::string name() override;

    int32_t first;      // first group of the range
    int32_t end;        // one past the last group
    int32_t mode = 0;   // always 0: compute MD5
    int32_t unchecked;  // first group the job left unchecked because the scan was stopped; end when none

private:
    std::string root_;
    int target_os_;
    const std::atomic<int>* stop_;
};

// The scan's work queue while a scan runs, else null.
extern UTL_work_queue* gScanPool;

// One frame's share of the scan: hands groups from next_group on to the workers while the queue
// has room, collects finished jobs without waiting, and sets progress to the share of groups
// handed out. 0 while work remains; 1 when every group has come back (the pool is then gone).
// When the install folder does not exist every current entry is marked missing ("NONE") at once.
int install_scan_md5(int& next_group, float& progress);

// Stops the scan for good: jobs still queued or running leave their remaining groups unchecked,
// every worker is joined and the pool destroyed. A later scan goes back to the first group left
// unchecked. Must run before the plan is rebuilt or freed, before gInstallPath or gTargetOS
// change, and before the program ends. Always true (it serves as a quit confirmation).
bool install_stop_md5_pool();

// Forgets where a stopped scan left off; for a plan read anew, whose scan starts from its caller's
// counter again.
void install_scan_forget();
