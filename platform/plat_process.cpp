// Starting other programs (see plat_process.h).
#include "platform/plat_process.h"

#include "platform/plat_system.h"
#include "platform/plat_window.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

// The started program gets a clean start: none of our open files or sockets, no blocked
// signals, and default handlers for everything (ignored signals would otherwise carry over).
// With out_fd set, the program reads /dev/null and writes its standard output to out_fd.
static int spawn_child(const char* file, bool search_path, const std::vector<std::string>& argv, bool new_session,
                       int out_fd, pid_t* pid_out)
{
    posix_spawn_file_actions_t fa;
    posix_spawnattr_t attr;
    if (int err = posix_spawn_file_actions_init(&fa)) return err;
    if (int err = posix_spawnattr_init(&attr)) {
        posix_spawn_file_actions_destroy(&fa);
        return err;
    }
    int err = 0;
    if (out_fd >= 0) {
        err = posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
        if (!err) err = posix_spawn_file_actions_adddup2(&fa, out_fd, 1);
    }
    if (!err) err = posix_spawn_file_actions_addclosefrom_np(&fa, 3);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (new_session) flags |= POSIX_SPAWN_SETSID;
    if (!err) err = posix_spawnattr_setsigmask(&attr, &none);
    if (!err) err = posix_spawnattr_setsigdefault(&attr, &all);
    if (!err) err = posix_spawnattr_setflags(&attr, flags);
    if (!err) {
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        pid_t pid;
        err = search_path ? posix_spawnp(&pid, file, &fa, &attr, args.data(), environ)
                          : posix_spawn(&pid, file, &fa, &attr, args.data(), environ);
        if (!err && pid_out) *pid_out = pid;
    }
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&fa);
    return err;
}

// Hands one argument to xdg-open and waits up to max_wait_ms for it to end, so that an opener
// that fails at once is seen failing; one still running is left to itself.
static int open_waiting(const std::string& what, int max_wait_ms, PLAT_opener* opener)
{
    PLAT_opener seen;
    seen.name = "xdg-open";
    pid_t pid = -1;
    const int err = spawn_child("xdg-open", true, {"xdg-open", what}, true, -1, &pid);
    const int step_ms = 20;
    for (int waited = 0; !err && waited <= max_wait_ms; waited += step_ms) {
        int st = 0;
        const pid_t r = waitpid(pid, &st, WNOHANG);
        if (r == pid) {
            if (WIFEXITED(st)) seen.exit_status = WEXITSTATUS(st);
            else if (WIFSIGNALED(st)) seen.end_signal = WTERMSIG(st);
            break;
        }
        if (r < 0 && errno != EINTR) break; // reaped elsewhere: nothing is known against it
        if (waited < max_wait_ms) poll(nullptr, 0, step_ms);
    }
    if (opener) *opener = seen;
    return err;
}

int PLAT_launch(const std::string& path, const std::vector<std::string>& args, int opener_wait_ms, PLAT_opener* opener)
{
    if (opener) *opener = PLAT_opener();
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return errno ? errno : ENOENT;
    if (S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0) {
        std::vector<std::string> argv{path};
        argv.insert(argv.end(), args.begin(), args.end());
        return spawn_child(path.c_str(), false, argv, true, -1, nullptr);
    }
    return open_waiting(path, opener_wait_ms, opener);
}

int PLAT_open_url_waiting(const std::string& url, int max_wait_ms, PLAT_opener* opener)
{
    if (opener) *opener = PLAT_opener();
    // Anything else could be a local file or program, or an option of xdg-open itself.
    const bool web = strncasecmp(url.c_str(), "http://", 7) == 0 || strncasecmp(url.c_str(), "https://", 8) == 0;
    if (!web || url.find('\0') != std::string::npos) return EINVAL;
    return open_waiting(url, max_wait_ms, opener);
}

// Reads what the pipe holds now without waiting; false once it is at its end (or broken).
static bool drain(int fd, std::string* out, size_t max_out, bool* too_long)
{
    char chunk[4096];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n > 0) {
            // Read on to the end all the same, or the program would block on a full pipe.
            if (!*too_long && out->size() + (size_t)n <= max_out) out->append(chunk, (size_t)n);
            else *too_long = true;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return n < 0 && errno == EAGAIN;
    }
}

int PLAT_run_modal(const std::vector<std::string>& argv, std::string* out, int* status, size_t max_out)
{
    out->clear();
    *status = -1;
    if (argv.empty()) return EINVAL;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return errno;
    pid_t pid = -1;
    const int err = spawn_child(argv[0].c_str(), true, argv, false, fds[1], &pid);
    close(fds[1]);
    if (err) {
        close(fds[0]);
        return err;
    }
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);

    // The window's events are handed on every few milliseconds, so the desktop never takes the
    // window for hung; the window procedure decides what they still count for afterwards.
    // The wait ends when the program ends, not when its output closes: a process it left behind
    // may hold the pipe open.
    int fd = fds[0];
    bool too_long = false, cancelled = false;
    for (;;) {
        PLAT_pump_events();
        pollfd p{fd, POLLIN, 0};
        poll(&p, fd >= 0 ? 1 : 0, 10);
        if (fd >= 0 && !drain(fd, out, max_out, &too_long)) {
            close(fd);
            fd = -1;
        }
        // A program that asked to quit does not leave its dialog behind.
        if (PLAT_quit_requested()) {
            kill(pid, SIGTERM);
            while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
            cancelled = true;
            break;
        }
        int st = 0;
        const pid_t r = waitpid(pid, &st, WNOHANG);
        if (r == pid) {
            *status = WIFEXITED(st) ? WEXITSTATUS(st) : WIFSIGNALED(st) ? 128 + WTERMSIG(st) : -1;
            break;
        }
        if (r < 0 && errno != EINTR) break; // reaped elsewhere; its status is lost (-1)
    }
    if (fd >= 0) {
        drain(fd, out, max_out, &too_long);
        close(fd);
    }
    if (too_long || cancelled) out->clear();
    return cancelled ? ECANCELED : 0;
}
