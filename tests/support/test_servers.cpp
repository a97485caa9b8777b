// nginx and the fault server on 127.0.0.1 for the network tests (see test_servers.h).
#include "support/test_servers.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <sstream>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef CORVANE_TEST_SOURCE_DIR
#error "CORVANE_TEST_SOURCE_DIR must name the tests folder"
#endif

using steady = std::chrono::steady_clock;

static double seconds_since(steady::time_point t)
{
    return std::chrono::duration<double>(steady::now() - t).count();
}

int TS_free_port()
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    int port = 0;
    socklen_t len = sizeof a;
    if (bind(fd, (sockaddr*)&a, sizeof a) == 0 && getsockname(fd, (sockaddr*)&a, &len) == 0) port = ntohs(a.sin_port);
    close(fd);
    return port;
}

// True when something takes connections on 127.0.0.1:port (blocking connect on loopback
// answers at once).
static bool port_takes_connections(int port)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons((uint16_t)port);
    bool ok = connect(fd, (sockaddr*)&a, sizeof a) == 0;
    close(fd);
    return ok;
}

// Starts argv with its output in files of dir; the child dies with the test program.
static pid_t spawn(const std::vector<std::string>& argv, const std::string& dir)
{
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, 0);
        int out = open((dir + "stdout.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        int err = open((dir + "stderr.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (out >= 0) dup2(out, 1);
        if (err >= 0) dup2(err, 2);
        signal(SIGPIPE, SIG_DFL);
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

static bool child_gone(pid_t pid)
{
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == pid;
}

// Waits until the server takes connections on the port that port() tells (0 while not known);
// false once the server has ended or the time since start is up.
static bool wait_serving(TS_server& s, steady::time_point start, double timeout_s, const std::function<int()>& port)
{
    while (seconds_since(start) < timeout_s) {
        const int p = port();
        if (p > 0 && port_takes_connections(p)) return true;
        if (child_gone(s.pid)) {
            s.pid = -1;
            return false;
        }
        usleep(20 * 1000);
    }
    return false;
}

void TS_server_stop(TS_server& s)
{
    if (s.pid > 0) {
        kill(s.pid, SIGTERM);
        bool gone = false;
        for (int i = 0; i < 100 && !gone; ++i) {
            gone = child_gone(s.pid);
            if (!gone) usleep(20 * 1000);
        }
        if (!gone) {
            kill(s.pid, SIGKILL);
            int status = 0;
            waitpid(s.pid, &status, 0);
        }
    }
    s.pid = -1;
    s.port = 0;
}

TS_server::~TS_server()
{
    TS_server_stop(*this);
}

static std::string nginx_config(const TS_server& s, const std::map<std::string, std::string>& roots)
{
    const std::string& d = s.dir;
    const std::string listen = "127.0.0.1:" + std::to_string(s.port);
    std::string c;
    c += "master_process off;\nworker_processes 1;\n";
    c += "events { worker_connections 256; }\n";
    c += "http {\n";
    c += "    log_format corv '$connection $connection_requests $host $status $body_bytes_sent \"$request\"';\n";
    c += "    access_log " + d + "access.log corv;\n";
    c += "    client_body_temp_path " + d + "t_body;\n";
    c += "    proxy_temp_path " + d + "t_proxy;\n";
    c += "    fastcgi_temp_path " + d + "t_fastcgi;\n";
    c += "    uwsgi_temp_path " + d + "t_uwsgi;\n";
    c += "    scgi_temp_path " + d + "t_scgi;\n";
    c += "    default_type application/octet-stream;\n";
    c += "    sendfile on;\n";
    c += "    keepalive_timeout 75s;\n";
    auto fallback = roots.find("");
    c += "    server {\n        listen " + listen + " default_server;\n        server_name _;\n";
    if (fallback != roots.end())
        c += "        root " + fallback->second + ";\n";
    else
        c += "        return 404;\n";
    c += "    }\n";
    for (const auto& [host, root] : roots) {
        if (host.empty()) continue;
        c += "    server {\n        listen " + listen + ";\n        server_name " + host + ";\n";
        if (root.rfind("http://", 0, 7) == 0)
            c += "        location / { proxy_pass " + root + "; proxy_buffering off; }\n    }\n";
        else
            c += "        root " + root + ";\n    }\n";
    }
    c += "}\n";
    return c;
}

bool TS_nginx_start(TS_server& s, const std::map<std::string, std::string>& roots, double timeout_s)
{
    TS_server_stop(s);
    s.dir = TS_new_dir("nginx");
    const auto start = steady::now();
    // A port found free can be taken by someone else before nginx binds it: then another one.
    for (int attempt = 0; attempt < 5 && seconds_since(start) < timeout_s; ++attempt) {
        s.port = TS_free_port();
        if (s.port == 0) continue;
        TS_write_file(s.dir + "nginx.conf", nginx_config(s, roots));
        const std::string globals =
            "daemon off; pid " + s.dir + "nginx.pid; error_log " + s.dir + "error.log;";
        s.pid = spawn({"nginx", "-p", s.dir, "-c", s.dir + "nginx.conf", "-g", globals}, s.dir);
        if (s.pid < 0) return false;
        if (wait_serving(s, start, timeout_s, [&] { return s.port; })) return true;
        TS_server_stop(s);
    }
    return false;
}

std::vector<std::string> TS_nginx_access_lines(const TS_server& s)
{
    std::vector<std::string> lines = TS_lines(TS_read_file(s.dir + "access.log"));
    lines.erase(std::remove(lines.begin(), lines.end(), ""), lines.end());
    return lines;
}

int TS_release_archive_requests(const TS_server& nginx)
{
    int n = 0;
    for (const std::string& l : TS_nginx_access_lines(nginx))
        if (l.find(".zip") != std::string::npos && l.find("directory.txt.zip") == std::string::npos) ++n;
    return n;
}

void TS_expect_copy_is_release(const std::string& rel, const std::string& copy)
{
    const TS_result r = TS_run({"md5sum", "--quiet", "-c", rel + "expected.md5"}, {}, 120, copy);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    for (const std::string& p : TS_lines(TS_read_file(rel + "gone.txt")))
        EXPECT_EQ(TS_sh("ls -d '" + copy + p + "' 2>/dev/null"), "") << p;
}

std::vector<TS_nginx_request> TS_nginx_requests(const TS_server& s)
{
    std::vector<TS_nginx_request> out;
    for (const std::string& line : TS_nginx_access_lines(s)) {
        std::istringstream in(line);
        std::string conn, nreq, bytes;
        TS_nginx_request r;
        in >> conn >> nreq >> r.host >> r.status >> bytes;
        // The request line names the path after the proxy form's "http://host".
        const size_t url = line.find("http://");
        const size_t slash = url == std::string::npos ? url : line.find('/', url + 7);
        const size_t end = line.rfind(" HTTP/");
        if (slash != std::string::npos && end != std::string::npos && end > slash) r.path = line.substr(slash, end - slash);
        for (size_t at = r.path.find("%20"); at != std::string::npos; at = r.path.find("%20")) r.path.replace(at, 3, " ");
        out.push_back(r);
    }
    return out;
}

bool TS_fault_server_start(TS_server& s, double timeout_s)
{
    TS_server_stop(s);
    s.dir = TS_new_dir("faultserver");
    const std::string script = std::string(CORVANE_TEST_SOURCE_DIR) + "/support/fault_server.py";
    s.pid = spawn({"python3", script, s.dir}, s.dir);
    if (s.pid < 0) return false;
    // It writes the port it listens on into its folder.
    if (wait_serving(s, steady::now(), timeout_s, [&] { return s.port = atoi(TS_read_file(s.dir + "port").c_str()); }))
        return true;
    TS_server_stop(s);
    return false;
}

static std::vector<std::string> recorded_names(const TS_server& s)
{
    std::vector<std::string> names;
    DIR* d = opendir(s.dir.c_str());
    if (!d) return names;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n.rfind("req-", 0) == 0 && n.size() > 4 && n.compare(n.size() - 4, 4, ".bin") == 0) names.push_back(n);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<TS_request> TS_fault_requests(const TS_server& s)
{
    std::vector<TS_request> out;
    for (const std::string& n : recorded_names(s)) {
        TS_request r;
        const size_t c = n.find("-c");
        r.conn = c == std::string::npos ? 0 : atoi(n.c_str() + c + 2);
        r.bytes = TS_read_file(s.dir + n);
        out.push_back(r);
    }
    return out;
}

void TS_fault_clear(const TS_server& s)
{
    for (const std::string& n : recorded_names(s)) unlink((s.dir + n).c_str());
}
