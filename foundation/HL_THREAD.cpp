// The thread framework (see HL_THREAD.h).
#include "foundation/HL_THREAD.h"

#include "foundation/alert.h"
#include "foundation/gl_handoff.h"
#include "foundation/log.h"
#include "foundation/options.h"
#include "foundation/pref.h"
#include "foundation/quit.h"
#include "foundation/shutdown.h"

#include <cerrno>
#include <cstdlib>
#include <cxxabi.h>
#include <exception>
#include <vector>

std::atomic<uint32_t> gMainThreadId{0};
std::atomic<int32_t> gThreadsInited{0};
UTL_queue<exce_class*>* gThreadMessages = nullptr;
UTL_queue<exce_class*>* gThreadErrors = nullptr;
UTL_threadpool* gWorkerPool = nullptr;
void (*gShutdownHook)(int full) = nullptr;
THREAD_gl_hooks gThreadGL;

// ---- alert records ----

exce_class::exce_class(const std::string& line1, const std::string& line2, const std::string& line3,
                       const std::string& line4, const char* file_name, int32_t line_number, int32_t alert)
    : text{line1, line2, line3, line4}, file(file_name), line(line_number), code(alert)
{
}

void exce_class::make_crash()
{
    code = t_crash;
}

void exce_class::report()
{
    if (THREAD_is_main_thread() || !THREAD_is_inited()) {
        MACIBM_alert(0, text[0], text[1], text[2], text[3], code, file, line);
        return;
    }
    gLog << "EXCEPTION REPORTED FROM THREAD!!  File: " << (file ? file : "") << ", line " << line << ".\n";
    for (const std::string& t : text) gLog << t << "\n";
    gLog.flush();
    gQuit = 1;
    if (gShutdownHook) gShutdownHook(1);
    exit(0);
}

void THREAD_forward_exception(const exce_class& rec)
{
    if (rec.code != t_note && rec.code != t_fatal && rec.code != t_crash) return;
    // Without the framework there is no queue to carry it: the alert is shown where it was raised.
    if (!gThreadErrors || !gThreadMessages) {
        MACIBM_alert(0, rec.text[0], rec.text[1], rec.text[2], rec.text[3], rec.code, rec.file, rec.line);
        return;
    }
    if (rec.code == t_note) {
        QUEUE_push(gThreadMessages, new exce_class(rec));
        return;
    }
    QUEUE_push(gThreadErrors, new exce_class(rec));
    if (!THREAD_is_main_thread()) THREAD_exit_current(0);
}

void THREAD_report_exceptions(int32_t with_notes)
{
    // Nothing can be queued before the framework is up.
    if (!gThreadErrors) return;
    while (exce_class* e = QUEUE_pop(gThreadErrors, 0)) {
        e->report();
        delete e;
    }
    if (!with_notes || !gThreadMessages) return;
    while (exce_class* e = QUEUE_pop(gThreadMessages, 0)) {
        e->report();
        delete e;
    }
}

// ---- queries ----

int32_t THREAD_is_main_thread()
{
    return THREAD_current_id() == gMainThreadId.load() ? 1 : 0;
}

int32_t THREAD_is_inited()
{
    return gThreadsInited.load();
}

// ---- pools the framework does not own ----

namespace {
struct pool_registry {
    UTL_mutex lock;
    std::vector<std::pair<void*, THREAD_pool_stop_func>> pools;
    pool_registry() { MUTEX_init(&lock); }
};

// Never destroyed, so a pool that goes during the process's end still finds it.
pool_registry& registry()
{
    static pool_registry* r = new pool_registry();
    return *r;
}
} // namespace

void THREAD_register_pool(void* pool, THREAD_pool_stop_func stop)
{
    pool_registry& r = registry();
    MUTEX_lock(&r.lock);
    r.pools.emplace_back(pool, stop);
    MUTEX_unlock(&r.lock);
}

void THREAD_unregister_pool(void* pool)
{
    pool_registry& r = registry();
    MUTEX_lock(&r.lock);
    for (size_t i = 0; i < r.pools.size(); ++i)
        if (r.pools[i].first == pool) {
            r.pools.erase(r.pools.begin() + (long)i);
            break;
        }
    MUTEX_unlock(&r.lock);
}

static void stop_registered_pools()
{
    pool_registry& r = registry();
    MUTEX_lock(&r.lock);
    auto pools = r.pools;
    MUTEX_unlock(&r.lock);
    // Outside the lock: stopping joins threads, and a stopped pool stays registered until its
    // owner destroys it.
    for (auto& p : pools) p.second(p.first);
}

// ---- start and end ----

int32_t THREAD_worker_count(int32_t cpu_count, int has_option, const std::string& option_value, int threaded)
{
    if (!threaded) return 0;
    // Wide arithmetic: the option's value may be anything up to the int limits.
    long long n = cpu_count;
    if (has_option) n = (long long)PREF_parse_int(option_value) + 1;
    long long k = n - 1;
    if (k < 1) k = 1;
    if (k > 32) k = 32;
    return (int32_t)k;
}

void THREAD_init()
{
    if (CMDLINE_has_option("--lock_main_thread")) {
        unsigned long long previous = 0;
        if (PLAT_thread_lock_to_cpu0(&previous) == 0)
            gLog << "Thread affinity was " << previous << " is now 1.\n";
    }
    gMainThreadId = THREAD_current_id();
    gThreadMessages = QUEUE_create<exce_class*>();
    gThreadErrors = QUEUE_create<exce_class*>();
    gThreadsInited = 1;
}

// Driver detection's verdict, through the hooks: none set counts as no threaded OpenGL.
static int threaded_gl()
{
    return gThreadGL.threaded_avail ? gThreadGL.threaded_avail() : 0;
}

void THREAD_init_workers()
{
    const int32_t cpus = THREAD_cpu_count();
    gLog << "CPU count        : " << cpus << "\n";
    const bool has = CMDLINE_has_option("--num_workers");
    gWorkerPool = new UTL_threadpool(
        THREAD_worker_count(cpus, has, has ? CMDLINE_get_option("--num_workers") : std::string(), threaded_gl()));
    RL_create();
}

void THREAD_exit()
{
    if (!THREAD_is_inited()) return;
    if (gWorkerPool) {
        delete gWorkerPool;
        gWorkerPool = nullptr;
    }
    // The work queues' workers raise alerts through the queues freed below.
    stop_registered_pools();
    RL_destroy();
    QUEUE_destroy(gThreadMessages);
    gThreadMessages = nullptr;
    QUEUE_destroy(gThreadErrors);
    gThreadErrors = nullptr;
    gThreadsInited = 0;
    gLog << "Clean exit from threads.\n";
}

// ---- threads ----

namespace {
// Lives on the starting thread's stack until the new thread pushes its start marker.
struct THREAD_start_rec {
    UTL_thread_func func;
    void* arg;
    UTL_queue<void*>* start_queue;
    int32_t use_gl; // cleared by the new thread when it could not get its context
    PLAT_gl_context* main_context;
};
} // namespace

// glibc's forced unwind has no exception object, so catching it binds a reference to null;
// that is how the runtime hands it over, not a fault, so the null check is off here.
__attribute__((no_sanitize("null"))) static uint32_t THREAD_entry(void* p)
{
    THREAD_start_rec* rec = (THREAD_start_rec*)p;
    if (rec->use_gl && !gThreadGL.make_loader_context(rec->main_context)) rec->use_gl = 0;
    UTL_thread_func func = rec->func;
    void* arg = rec->arg;
    QUEUE_push<void*>(rec->start_queue, nullptr);
    try {
        return func(arg);
    } catch (abi::__forced_unwind&) {
        // The thread is being ended (a forwarded fatal alert ends it this way): let it end.
        throw;
    } catch (exce_class& e) {
        e.make_crash();
        THREAD_forward_exception(e);
    } catch (const std::exception& e) {
        THREAD_forward_exception(exce_class("Caught an unhandled C++ exception", e.what(), "", "", "HL_THREAD", 249, t_crash));
    } catch (...) {
        THREAD_forward_exception(exce_class("Caught an unhandled unknown exception", "", "", "", "HL_THREAD", 251, t_crash));
    }
    return 0;
}

void THREAD_start(UTL_thread_func func, void* arg, UTL_thread_handle* out_thread, uint32_t* out_id,
                  UTL_thread_handle* out_wait, int32_t use_gl)
{
    if (!threaded_gl()) use_gl = 0;
    THREAD_start_rec rec = {func, arg, nullptr, use_gl, nullptr};
    if (use_gl) {
        rec.main_context = gThreadGL.main_context();
        if (!rec.main_context) {
            use_gl = 0;
            rec.use_gl = 0;
            gThreadGL.setup_failed_alert();
        }
    }
    rec.start_queue = QUEUE_create<void*>();
    // A context is current on one thread at a time: the new thread needs the main context for a
    // moment to share its objects.
    if (use_gl && gThreadGL.release_context() != 0)
        gLog << "Failed to release GL context from main thread: " << (unsigned)errno << "\n";
    THREAD_create(&THREAD_entry, &rec, out_thread, out_id, out_wait);
    // A thread that never started sends no start marker.
    if (*out_thread) QUEUE_pop(rec.start_queue, -1);
    QUEUE_destroy(rec.start_queue);
    if (use_gl && !rec.use_gl) gThreadGL.setup_failed_alert();
    if (use_gl && gThreadGL.make_main_current() != 0)
        gLog << "Failed to release GL context frmo main thread: " << (unsigned)errno << "\n";
}

// ---- asynchronous calls ----

THREAD_call::THREAD_call(UTL_thread_func f, void* a) : done(QUEUE_create<void*>()), func(f), arg(a), result(0)
{
}

THREAD_call::~THREAD_call()
{
    QUEUE_destroy(done);
}

int32_t THREAD_call::run(int32_t)
{
    result = func(arg);
    QUEUE_push<void*>(done, this);
    return 0;
}

const char* THREAD_call::name()
{
    return "THREAD_call async call";
}

static bool pool_has_workers()
{
    return gWorkerPool && gWorkerPool->thread_count() > 0;
}

THREAD_call* THREAD_call_async(UTL_thread_func func, void* arg)
{
    THREAD_call* call = new THREAD_call(func, arg);
    if (!pool_has_workers())
        call->run(-1);
    else
        gWorkerPool->submit(call, 1);
    return call;
}

int32_t THREAD_call_wait(THREAD_call* call, int32_t timeout)
{
    THREAD_report_exceptions(0);
    if (!pool_has_workers()) return 1;
    void* got = nullptr;
    if (timeout < 0) {
        // In slices, so that a worker's fatal alert is shown instead of the wait never ending.
        while (!(got = QUEUE_pop(call->done, 100))) THREAD_report_exceptions(0);
    } else {
        got = QUEUE_pop(call->done, timeout);
    }
    THREAD_report_exceptions(0);
    return got ? 1 : 0;
}

uint32_t THREAD_call_result(THREAD_call* call)
{
    THREAD_report_exceptions(0);
    uint32_t r = call->result;
    delete call;
    return r;
}
