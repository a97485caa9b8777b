// Helpers the tests share: a scratch folder per test program, files, and child processes
// run with bounded time.
#pragma once
#include <map>
#include <string>
#include <vector>

// The scratch folder of this test program (ends in '/'); HOME, XDG_DATA_HOME, XDG_CONFIG_HOME
// and TMPDIR point into it from the start of main.
const std::string& TS_scratch();

// A new empty folder below the scratch folder (ends in '/').
std::string TS_new_dir(const std::string& name);

std::string TS_read_file(const std::string& path);
void TS_write_file(const std::string& path, const std::string& bytes);

struct TS_result {
    int exit_code = -1; // exit status, or -1 when killed by a signal
    int signal = 0;     // the signal that ended it, 0 if none
    bool timed_out = false;
    std::string out, err;
};

// Runs argv (argv[0] looked up on PATH) with extra environment settings ("" value unsets),
// in the given folder ("" = current), killing it after timeout_s seconds.
TS_result TS_run(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {},
                 double timeout_s = 60, const std::string& cwd = "", const std::string& stdin_text = "");

// Runs a command line through /bin/sh (for tools like md5sum or df in tests only); returns stdout.
std::string TS_sh(const std::string& cmd);
