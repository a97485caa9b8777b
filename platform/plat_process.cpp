// Starting other programs (see plat_process.h).
#include "platform/plat_process.h"

#include <cerrno>
#include <csignal>
#include <spawn.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

// The started program gets a clean start: none of our open files or sockets, no blocked
// signals, and default handlers for everything (ignored signals would otherwise carry over).
static int spawn_detached(const char* file, bool search_path, const std::vector<std::string>& argv)
{
    posix_spawn_file_actions_t fa;
    posix_spawnattr_t attr;
    if (int err = posix_spawn_file_actions_init(&fa)) return err;
    if (int err = posix_spawnattr_init(&attr)) {
        posix_spawn_file_actions_destroy(&fa);
        return err;
    }
    int err = posix_spawn_file_actions_addclosefrom_np(&fa, 3);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    if (!err) err = posix_spawnattr_setsigmask(&attr, &none);
    if (!err) err = posix_spawnattr_setsigdefault(&attr, &all);
    if (!err) err = posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (!err) {
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        pid_t pid;
        err = search_path ? posix_spawnp(&pid, file, &fa, &attr, args.data(), environ)
                          : posix_spawn(&pid, file, &fa, &attr, args.data(), environ);
    }
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&fa);
    return err;
}

int PLAT_launch(const std::string& path, const std::vector<std::string>& args)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return errno ? errno : ENOENT;
    if (S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0) {
        std::vector<std::string> argv{path};
        argv.insert(argv.end(), args.begin(), args.end());
        return spawn_detached(path.c_str(), false, argv);
    }
    return spawn_detached("xdg-open", true, {"xdg-open", path});
}

int PLAT_open_url(const std::string& url)
{
    // Anything else could be a local file or program, or an option of xdg-open itself.
    const bool web = strncasecmp(url.c_str(), "http://", 7) == 0 || strncasecmp(url.c_str(), "https://", 8) == 0;
    if (!web || url.find('\0') != std::string::npos) return EINVAL;
    return spawn_detached("xdg-open", true, {"xdg-open", url});
}
