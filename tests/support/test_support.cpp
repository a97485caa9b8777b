// Shared test helpers and the test programs' main (see test_support.h).
#include "support/test_support.h"

#include "foundation/log.h"
#include "frame/hl_init.h"

#include <gtest/gtest.h>

#include <algorithm>
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
#include <sys/prctl.h>
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

std::string TS_new_copy(const std::string& name)
{
    const std::string d = TS_new_dir(name);
    TS_sh("cd '" + d + "' && mkdir Airfoils Instructions Output Resources");
    return d;
}

std::string TS_read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::string TS_log_path()
{
    return gScratch + "test-log.txt";
}

std::string TS_read_log(const std::string& path)
{
    gLog.flush();
    return TS_read_file(path);
}

void TS_write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), (std::streamsize)bytes.size());
}

void TS_serve_file(const std::string& path, const std::string& bytes)
{
    TS_write_file(path + ".part", bytes);
    if (rename((path + ".part").c_str(), path.c_str()) != 0) ADD_FAILURE() << path << ": " << strerror(errno);
}

int TS_apart(int x)
{
    static int nudge = -3;
    return x + (nudge = -nudge);
}

void TS_write_script(const std::string& path, const std::string& body)
{
    TS_write_file(path, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0755);
}

// Both ends close on exec, so no child inherits another child's pipes.
static bool cloexec_pipe(int fds[2])
{
    return pipe2(fds, O_CLOEXEC) == 0;
}

bool TS_start(TS_proc& p, const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
              const std::string& cwd, const std::string& stdin_text)
{
    int out_p[2], err_p[2], in_p[2];
    if (!cloexec_pipe(out_p)) return false;
    if (!cloexec_pipe(err_p)) {
        close(out_p[0]);
        close(out_p[1]);
        return false;
    }
    if (!cloexec_pipe(in_p)) {
        close(out_p[0]);
        close(out_p[1]);
        close(err_p[0]);
        close(err_p[1]);
        return false;
    }
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in_p[0], 0);
        dup2(out_p[1], 1);
        dup2(err_p[1], 2);
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
    if (pid < 0) {
        close(in_p[1]);
        close(out_p[0]);
        close(err_p[0]);
        return false;
    }
    if (!stdin_text.empty()) {
        ssize_t w = write(in_p[1], stdin_text.data(), stdin_text.size());
        (void)w;
    }
    close(in_p[1]);
    p.pid = pid;
    p.out_fd = out_p[0];
    p.err_fd = err_p[0];
    p.out.clear();
    p.err.clear();
    return true;
}

// Reads what is there within wait_ms; false once both outputs are closed.
static bool read_some(TS_proc& p, int wait_ms)
{
    if (p.out_fd < 0 && p.err_fd < 0) return false;
    struct pollfd fds[2] = {{p.out_fd, POLLIN, 0}, {p.err_fd, POLLIN, 0}};
    int n = poll(fds, 2, wait_ms);
    if (n < 0 && errno != EINTR) return false;
    char buf[65536];
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        ssize_t got = read(fds[i].fd, buf, sizeof buf);
        if (got <= 0) {
            close(fds[i].fd);
            (i == 0 ? p.out_fd : p.err_fd) = -1;
        } else {
            (i == 0 ? p.out : p.err).append(buf, (size_t)got);
        }
    }
    return true;
}

static long ms_left(std::chrono::steady_clock::time_point deadline)
{
    return (long)std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
        .count();
}

bool TS_wait_for_output(TS_proc& p, const std::string& text, double timeout_s)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds((long)(timeout_s * 1000));
    while (p.out.find(text) == std::string::npos) {
        long left = ms_left(deadline);
        if (left <= 0) return false;
        if (!read_some(p, (int)std::min<long>(left, 200))) return p.out.find(text) != std::string::npos;
    }
    return true;
}

bool TS_wait_after(TS_proc& p, size_t& mark, const std::string& text, double timeout_s)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds((long)(timeout_s * 1000));
    for (;;) {
        size_t at = p.out.find(text, mark);
        if (at != std::string::npos) {
            mark = at + text.size();
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) return false;
        TS_wait_for_output(p, "\x01never", 0.1);
    }
}

TS_result TS_finish(TS_proc& p, double timeout_s)
{
    TS_result r;
    if (p.pid < 0) return r;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds((long)(timeout_s * 1000));
    while (p.out_fd >= 0 || p.err_fd >= 0) {
        long left = ms_left(deadline);
        if (left <= 0) {
            r.timed_out = true;
            kill(p.pid, SIGKILL);
            break;
        }
        if (!read_some(p, (int)std::min<long>(left, 1000))) break;
    }
    if (p.out_fd >= 0) close(p.out_fd);
    if (p.err_fd >= 0) close(p.err_fd);
    p.out_fd = p.err_fd = -1;
    int status = 0;
    waitpid(p.pid, &status, 0);
    p.pid = -1;
    if (WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    r.out = p.out;
    r.err = p.err;
    return r;
}

std::map<std::string, std::string> TS_xvfb_env(const TS_xvfb& x)
{
    // Mesa's rasterizer threads synchronise in ways ThreadSanitizer cannot see: without them the
    // program's own threads are the only ones a ThreadSanitizer run checks.
    return {{"DISPLAY", x.display},
            {"WAYLAND_DISPLAY", ""},
            {"LIBGL_ALWAYS_SOFTWARE", "1"},
            {"SDL_VIDEODRIVER", ""},
            {"LP_NUM_THREADS", "0"}};
}

bool TS_wait_for_file_text(TS_proc& p, const std::string& path, const std::string& text, double timeout_s)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds((long)(timeout_s * 1000));
    for (;;) {
        if (TS_read_file(path).find(text) != std::string::npos) return true;
        long left = ms_left(deadline);
        if (left <= 0) return false;
        // Outputs closed: the child has ended.
        if (!read_some(p, (int)std::min<long>(left, 100))) return TS_read_file(path).find(text) != std::string::npos;
    }
}

const char* const TS_ASKING = "On screen, asking: popup ";

bool TS_wait_asking(TS_proc& p, const std::string& log, size_t& mark, double timeout_s)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds((long)(timeout_s * 1000));
    for (;;) {
        const size_t at = TS_read_file(log).find(TS_ASKING, mark);
        if (at != std::string::npos) {
            mark = at + strlen(TS_ASKING);
            usleep(600 * 1000);
            return true;
        }
        const long left = ms_left(deadline);
        if (left <= 0 || !read_some(p, (int)std::min<long>(left, 100))) return false;
    }
}

std::string TS_find_window(const TS_xvfb& x, const std::string& name, double timeout_s, bool viewable)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds((long)(timeout_s * 1000));
    for (;;) {
        std::vector<std::string> argv = {"xdotool", "search", "--name", "^" + name + "$"};
        if (viewable) argv.insert(argv.begin() + 2, "--onlyvisible");
        TS_result r = TS_run(argv, TS_xvfb_env(x), 20);
        std::istringstream in(r.out);
        std::string id;
        if (r.exit_code == 0 && (in >> id)) return id;
        if (ms_left(deadline) <= 0) return "";
        usleep(100 * 1000);
    }
}

bool TS_focus_window(const TS_xvfb& x, const std::string& id, double timeout_s)
{
    // A window found by its name may not be mapped yet (BadMatch), and on a busy machine the
    // focus may come later than xdotool waits for it.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds((long)(timeout_s * 1000));
    for (int tries = 0; tries < 100; ++tries) {
        if (TS_run({"xdotool", "windowfocus", "--sync", id}, TS_xvfb_env(x), 20).exit_code == 0) return true;
        if (ms_left(deadline) <= 0) break;
        usleep(100 * 1000);
    }
    return false;
}

bool TS_act_until(const std::function<void(double left_s)>& act, const std::function<bool(double wait_s)>& took,
                  double timeout_s)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds((long)(timeout_s * 1000));
    auto left = [&] { return std::min(10.0, std::max(0.0, ms_left(deadline) / 1000.0)); };
    for (int tries = 0; tries < 5 && left() > 0; ++tries) {
        // The effect of an earlier try may still be on its way: looked for in any case.
        act(left());
        if (took(left())) return true;
    }
    return took(0);
}

bool TS_press_in_window(const TS_xvfb& x, const std::string& id, const std::string& key,
                        const std::function<bool(double wait_s)>& took, double timeout_s)
{
    return TS_act_until(
        [&](double left_s) {
            if (TS_focus_window(x, id, left_s)) TS_run({"xdotool", "key", key}, TS_xvfb_env(x), 20);
        },
        took, timeout_s);
}

bool TS_close_window(const TS_xvfb& x, const std::string& id)
{
    return TS_run({CORVANE_X_CLOSE_EXE, id}, TS_xvfb_env(x), 20).exit_code == 0;
}

const char* const TS_LOG_NAME = "Corvane Installer Log.txt";

TS_result TS_run_updater_closed(const std::string& program, const std::vector<std::string>& args,
                                const std::map<std::string, std::string>& env, const TS_xvfb& x, double timeout_s)
{
    std::map<std::string, std::string> all = TS_xvfb_env(x);
    for (const auto& e : env) all[e.first] = e.second;
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    const std::string log = program.substr(0, program.rfind('/') + 1) + TS_LOG_NAME;
    unlink(log.c_str());
    TS_proc p;
    if (!TS_start(p, argv, all)) return TS_result();
    if (TS_wait_for_file_text(p, log, "os_dir_prefs\t", timeout_s)) {
        const std::string id = TS_find_window(x, "Hangaron", 10);
        if (!id.empty()) TS_close_window(x, id);
    }
    return TS_finish(p, timeout_s);
}

TS_result TS_run(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                 double timeout_s, const std::string& cwd, const std::string& stdin_text)
{
    TS_proc p;
    if (!TS_start(p, argv, env, cwd, stdin_text)) return TS_result();
    return TS_finish(p, timeout_s);
}

bool TS_xvfb_start(TS_xvfb& x, const std::string& screen, double timeout_s, const std::string& xorg_config)
{
    TS_xvfb_stop(x);
    int fds[2];
    if (!cloexec_pipe(fds)) return false;
    std::string log = gScratch + "xvfb.log";
    const std::string conf = xorg_config.empty() ? "" : TS_new_dir("xorg") + "xorg.conf", xlog = conf + ".log";
    if (!conf.empty()) TS_write_file(conf, xorg_config);
    pid_t pid = fork();
    if (pid == 0) {
        // The server goes with the test program, however that ends.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, 0);
        int logfd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (logfd >= 0) {
            dup2(logfd, 1);
            dup2(logfd, 2);
        }
        int flags = fcntl(fds[1], F_GETFD);
        fcntl(fds[1], F_SETFD, flags & ~FD_CLOEXEC);
        std::string fd = std::to_string(fds[1]);
        if (!conf.empty()) {
            execlp("Xorg", "Xorg", "-displayfd", fd.c_str(), "-config", conf.c_str(), "-logfile", xlog.c_str(),
                   "-nolisten", "tcp", "-noreset", "-novtswitch", "-sharevts", (char*)nullptr);
            _exit(127);
        }
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
               "-noreset", (char*)nullptr);
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return false;
    }
    x.pid = pid;
    // The server writes its display number once it takes connections.
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds((long)(timeout_s * 1000));
    while (got.find('\n') == std::string::npos) {
        long left = ms_left(deadline);
        if (left <= 0) break;
        struct pollfd pfd = {fds[0], POLLIN, 0};
        int n = poll(&pfd, 1, (int)std::min<long>(left, 200));
        if (n < 0 && errno != EINTR) break;
        if (n <= 0) continue;
        char buf[64];
        ssize_t r = read(fds[0], buf, sizeof buf);
        if (r <= 0) break;
        got.append(buf, (size_t)r);
    }
    close(fds[0]);
    size_t nl = got.find('\n');
    if (nl == std::string::npos || nl == 0) {
        TS_xvfb_stop(x);
        return false;
    }
    x.display = ":" + got.substr(0, nl);
    return true;
}

void TS_xvfb_stop(TS_xvfb& x)
{
    if (x.pid > 0) {
        kill(x.pid, SIGTERM);
        int status = 0;
        bool gone = false;
        for (int i = 0; i < 100 && !gone; ++i) {
            if (waitpid(x.pid, &status, WNOHANG) == x.pid) gone = true;
            else usleep(50 * 1000);
        }
        if (!gone) {
            kill(x.pid, SIGKILL);
            waitpid(x.pid, &status, 0);
        }
    }
    x.pid = -1;
    x.display.clear();
}

TS_xvfb::~TS_xvfb()
{
    TS_xvfb_stop(*this);
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

int TS_count(const std::string& text, const std::string& part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

std::string TS_value(const std::string& text, const std::string& label)
{
    size_t at = text.find(label);
    if (at == std::string::npos) return "<none>";
    at += label.size();
    return text.substr(at, text.find('\n', at) - at);
}

std::vector<std::string> TS_lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

std::string TS_md5_of_text(const std::string& text)
{
    const std::string f = gScratch + "md5-input";
    TS_write_file(f, text);
    return TS_sh("md5sum < '" + f + "'").substr(0, 32);
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
    // Tests draw only on the Xvfb they start: an alert without its presenter would otherwise open
    // a message box on the desktop the tests were started from, and wait there.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    // What the code writes beside it when it has no folder of its own (the memory report of a
    // crash alert, the stack crawl) lands here, not wherever the program was started.
    if (chdir(gScratch.c_str()) != 0) perror(gScratch.c_str());
}

int main(int argc, char** argv)
{
    signal(SIGPIPE, SIG_IGN);
    setup_scratch(argv[0]);
    // The lower layers reach the frame through its hooks, as the program's start-up links them.
    hl_set_hooks();
    testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    if (rc == 0 && !getenv("CORVANE_KEEP_SCRATCH")) TS_sh("rm -rf '" + gScratch + "'");
    return rc;
}

std::string TS_shot::at(int sx, int sy) const
{
    if (!ok() || sx < 0 || sx >= w || sy < 0 || sy >= h) return "";
    const size_t o = ((size_t)sy * w + (size_t)sx) * 3;
    return std::to_string((unsigned char)rgb[o]) + "," + std::to_string((unsigned char)rgb[o + 1]) + "," +
           std::to_string((unsigned char)rgb[o + 2]);
}

void TS_shot::rgb_at(int sx, int sy, int c[3]) const
{
    const size_t o = ((size_t)sy * w + (size_t)sx) * 3;
    for (int i = 0; i < 3; ++i) c[i] = ok() && sx >= 0 && sx < w && sy >= 0 && sy < h ? (unsigned char)rgb[o + i] : -1;
}

TS_shot TS_screenshot(const TS_xvfb& x, const std::string& png, int w, int h)
{
    TS_shot s;
    const std::string crop = std::to_string(w) + "x" + std::to_string(h) + "+0+0";
    if (TS_run({"import", "-window", "root", "-crop", crop, "+repage", png}, TS_xvfb_env(x), 60).exit_code != 0) return s;
    if (TS_run({"convert", png, "-depth", "8", "rgb:" + png + ".rgb"}, {}, 60).exit_code != 0) return s;
    s.rgb = TS_read_file(png + ".rgb");
    s.w = w;
    s.h = h;
    return s;
}
