// Shared test helpers and the test programs' main (see test_support.h).
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

static std::string gScratch;

const std::string& TS_scratch()
{
    return gScratch;
}

static void mkdirs(const std::string& path)
{
    std::string cur;
    for (size_t i = 0; i < path.size(); ++i) {
        cur += path[i];
        if (path[i] == '/') mkdir(cur.c_str(), 0700);
    }
    mkdir(path.c_str(), 0700);
}

std::string TS_new_dir(const std::string& name)
{
    static int counter = 0;
    std::string d = gScratch + name + "-" + std::to_string(++counter) + "/";
    TS_sh("rm -rf '" + d + "'");
    mkdirs(d);
    return d;
}

std::string TS_read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void TS_write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), (std::streamsize)bytes.size());
}

TS_result TS_run(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                 double timeout_s, const std::string& cwd, const std::string& stdin_text)
{
    TS_result r;
    int out_p[2], err_p[2], in_p[2];
    if (pipe(out_p) || pipe(err_p) || pipe(in_p)) return r;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in_p[0], 0);
        dup2(out_p[1], 1);
        dup2(err_p[1], 2);
        close(in_p[1]);
        close(out_p[0]);
        close(err_p[0]);
        for (auto& [k, v] : env) {
            if (v.empty())
                unsetenv(k.c_str());
            else
                setenv(k.c_str(), v.c_str(), 1);
        }
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(in_p[0]);
    close(out_p[1]);
    close(err_p[1]);
    if (!stdin_text.empty()) {
        ssize_t w = write(in_p[1], stdin_text.data(), stdin_text.size());
        (void)w;
    }
    close(in_p[1]);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds((long)(timeout_s * 1000));
    bool out_open = true, err_open = true;
    char buf[65536];
    while (out_open || err_open) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            r.timed_out = true;
            kill(pid, SIGKILL);
            break;
        }
        struct pollfd fds[2] = {{out_p[0], POLLIN, 0}, {err_p[0], POLLIN, 0}};
        int n = poll(fds, 2, (int)std::min<long>(left, 1000));
        if (n < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t got = read(fds[i].fd, buf, sizeof buf);
            if (got <= 0) {
                (i == 0 ? out_open : err_open) = false;
                fds[i].fd = -1;
            } else {
                (i == 0 ? r.out : r.err).append(buf, (size_t)got);
            }
        }
    }
    close(out_p[0]);
    close(err_p[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    return r;
}

std::string TS_sh(const std::string& cmd)
{
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

// Every test program works in a scratch folder of its own, with the user's folders inside it.
static void setup_scratch(const char* argv0)
{
    const char* base = getenv("CORVANE_TEST_SCRATCH");
    std::string root = base && base[0] ? base : "/tmp/corvane-tests";
    std::string prog = argv0;
    size_t slash = prog.rfind('/');
    if (slash != std::string::npos) prog.erase(0, slash + 1);
    gScratch = root + "/" + prog + "-" + std::to_string(getpid()) + "/";
    TS_sh("rm -rf '" + gScratch + "'");
    mkdirs(gScratch + "home");
    mkdirs(gScratch + "data");
    mkdirs(gScratch + "config");
    mkdirs(gScratch + "tmp");
    setenv("HOME", (gScratch + "home").c_str(), 1);
    setenv("XDG_DATA_HOME", (gScratch + "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (gScratch + "config").c_str(), 1);
    setenv("TMPDIR", (gScratch + "tmp").c_str(), 1);
    if (!getenv("LANG")) setenv("LANG", "en_US.UTF-8", 1);
}

int main(int argc, char** argv)
{
    signal(SIGPIPE, SIG_IGN);
    setup_scratch(argv[0]);
    testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    if (rc == 0 && !getenv("CORVANE_KEEP_SCRATCH")) TS_sh("rm -rf '" + gScratch + "'");
    return rc;
}
