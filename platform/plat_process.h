// Starting other programs: a program file directly; anything else, web pages too, through the
// desktop's opener (xdg-open), waited for briefly; dialog programs waited for. Never through a shell.
#pragma once
#include <string>
#include <vector>

// What became of the desktop's opener (xdg-open) when a start went through it.
struct PLAT_opener {
    std::string name;    // "xdg-open" when the start went through it, else empty
    int exit_status = 0; // when it ended within the wait: its exit status,
    int end_signal = 0;  // or the signal that ended it; both 0 while it runs on (that counts as opened)
};

// Starts the file at this absolute path in a session of its own. An executable regular file runs
// with args behind its own path and is not waited for; any other file or folder is handed to
// xdg-open, which takes no arguments, and is waited for as PLAT_open_url_waiting does. Answers 0
// once the process is started, else the error number (ENOENT for a missing file; nothing is
// started then). opener (if given) tells whether the start went through xdg-open, so that an
// error is not taken for the file's, and how the opener ended. A process still running is not
// reaped: the one caller ends the program right after a successful start.
int PLAT_launch(const std::string& path, const std::vector<std::string>& args, int opener_wait_ms,
                PLAT_opener* opener = nullptr);

// Hands a web address to xdg-open (found on PATH) in a session of its own, then waits up to
// max_wait_ms for it to end: the callers quit right afterwards, and an opener that fails at once
// (no browser set up) can still be told of. Only addresses beginning "http://" or "https://"
// (scheme in any case) are passed on; any other text gives EINVAL and nothing is started. 0 once
// xdg-open is started, else the error number; *opener tells how it ended. One still running is
// left running, and the callers' end hands it to the system.
int PLAT_open_url_waiting(const std::string& url, int max_wait_ms, PLAT_opener* opener);

// Runs a program found on PATH (argv[0] its name) as a modal dialog: waits for it to end while
// handing the events of the program's windows to the window procedure, so the window keeps
// answering, but runs no frame. Its standard input is /dev/null and its standard output is
// collected in *out; an output longer than max_out bytes is dropped whole (*out empty).
// Answers 0 once the program has ended and been reaped, with *status its exit status (128 plus
// the signal number when a signal ended it); ECANCELED when a quit request (PLAT_quit_requested)
// came first, the program being ended then; otherwise the error number of the start (ENOENT
// when no such program is on PATH). Nothing is left running.
int PLAT_run_modal(const std::vector<std::string>& argv, std::string* out, int* status,
                   size_t max_out = 65536);
