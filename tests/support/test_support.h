// Helpers the tests share: a scratch folder per test program, files, and child processes
// run with bounded time.
#pragma once
#include <functional>
#include <map>
#include <sys/types.h>
#include <string>
#include <vector>

// The scratch folder of this test program (ends in '/'); HOME, XDG_DATA_HOME, XDG_CONFIG_HOME
// and TMPDIR point into it from the start of main.
const std::string& TS_scratch();

// A new empty folder below the scratch folder (ends in '/').
std::string TS_new_dir(const std::string& name);
// A new folder below the scratch folder that holds an installed copy's four folders (ends in '/').
std::string TS_new_copy(const std::string& name);

std::string TS_read_file(const std::string& path);
// The log file of a test that opens the log in its own process, in the scratch folder.
std::string TS_log_path();
// The program's log file at path, once what the program wrote to it so far is flushed.
std::string TS_read_log(const std::string& path = TS_log_path());
void TS_write_file(const std::string& path, const std::string& bytes);
// A file a server may read at any moment, written whole: to a temporary name beside it, then
// renamed over it, so that a request finds the old bytes or the new ones, never a part.
void TS_serve_file(const std::string& path, const std::string& bytes);
// x + 3, then x - 3 for the next call, and so on by turns: clicks at one place meant apart never
// make one double click (5 pixels), whose second press answers nothing after a first that changed
// the page.
int TS_apart(int x);
// A shell script with that body (behind its "#!/bin/sh" line) that anyone may run: a stand-in.
void TS_write_script(const std::string& path, const std::string& body);

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

// A child process running in the background while the test works beside it.
struct TS_proc {
    pid_t pid = -1;
    int out_fd = -1, err_fd = -1;
    std::string out, err; // what it printed so far
};

// Starts argv like TS_run does, without waiting; false when it could not be started.
bool TS_start(TS_proc& p, const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {},
              const std::string& cwd = "", const std::string& stdin_text = "");
// Collects the child's output until its standard output holds the text; false when the time
// ran out or the child closed its output first.
bool TS_wait_for_output(TS_proc& p, const std::string& text, double timeout_s);
// Collects the child's output until the text shows at or after mark, then moves mark past it;
// false when the time ran out first. For output where the same line comes more than once.
bool TS_wait_after(TS_proc& p, size_t& mark, const std::string& text, double timeout_s);
// Waits for the child to end, killing it after timeout_s seconds, and collects the rest.
TS_result TS_finish(TS_proc& p, double timeout_s);

// An X server of our own: Xvfb on a free display number, killed when the object goes.
struct TS_xvfb {
    pid_t pid = -1;
    std::string display; // ":N"; empty while none runs
    TS_xvfb() = default;
    TS_xvfb(const TS_xvfb&) = delete;
    TS_xvfb& operator=(const TS_xvfb&) = delete;
    ~TS_xvfb();
};
// Starts Xvfb with one screen ("1280x1024x24") and waits at most timeout_s for it to take
// connections; false (and nothing left running) when it does not come up. With xorg_config, Xorg
// with that configuration instead (files and log in a new scratch folder "xorg"; no screen).
bool TS_xvfb_start(TS_xvfb& x, const std::string& screen, double timeout_s = 20, const std::string& xorg_config = "");
void TS_xvfb_stop(TS_xvfb& x);

// The environment for a program that draws on x with Mesa's software OpenGL (one thread).
std::map<std::string, std::string> TS_xvfb_env(const TS_xvfb& x);
// Collects the child's output until the file holds the text; false when the time ran out or the
// child ended first.
bool TS_wait_for_file_text(TS_proc& p, const std::string& path, const std::string& text, double timeout_s);
// The line a program of ours logs when a view that asks (an alert, a note, the language chooser,
// a question) is first on screen; no press within the double-click time (0.5 s) after that answers it.
extern const char* const TS_ASKING;
// Collects the child's output until the log file holds TS_ASKING at or after mark, moves mark past
// it, then lets 0.6 s pass, so that a press answers the view; false when it did not show in timeout_s.
bool TS_wait_asking(TS_proc& p, const std::string& log, size_t& mark, double timeout_s);
// The id of the first window of that name on x ("" when none shows within timeout_s); with
// viewable, of the first one that is mapped and viewable, so that it can take the focus and keys.
std::string TS_find_window(const TS_xvfb& x, const std::string& name, double timeout_s, bool viewable = false);
// Gives the window the keyboard focus, again while it cannot take it yet, within timeout_s;
// whether it has it.
bool TS_focus_window(const TS_xvfb& x, const std::string& id, double timeout_s);
// Does act(left_s), then lets took(wait_s) look for its effect within wait_s; again while it is
// not seen, at most five times within timeout_s; whether it was seen. For input a busy machine
// may lose, where the test holds what comes next until the effect of this one shows.
bool TS_act_until(const std::function<void(double left_s)>& act, const std::function<bool(double wait_s)>& took,
                  double timeout_s);
// Focuses the window and presses the key (xdotool's name) in it, again until took(wait_s) sees
// the key's effect, as TS_act_until does; whether it was seen.
bool TS_press_in_window(const TS_xvfb& x, const std::string& id, const std::string& key,
                        const std::function<bool(double wait_s)>& took, double timeout_s);
// Asks the window to close, as a window manager's close button does.
bool TS_close_window(const TS_xvfb& x, const std::string& id);

// The updater's log file name, beside the program.
extern const char* const TS_LOG_NAME;
// Runs a copy of the updater (program is its path; its log lands beside it) under x with extra
// environment settings, waits until start-up is over (the log holds the OS-folder lines), closes
// its window and waits for its end.
TS_result TS_run_updater_closed(const std::string& program, const std::vector<std::string>& args,
                                const std::map<std::string, std::string>& env, const TS_xvfb& x,
                                double timeout_s = 60);

// How often part stands in text (overlapping matches counted).
int TS_count(const std::string& text, const std::string& part);

// What follows the first label in text, up to its line's end; "<none>" when text does not hold it.
std::string TS_value(const std::string& text, const std::string& label);

// The lines of text without their line ends (a last line without one counted too).
std::vector<std::string> TS_lines(const std::string& text);

// The MD5 of the bytes as md5sum prints it (32 lower-case hex digits).
std::string TS_md5_of_text(const std::string& text);

// Runs a command line through /bin/sh (for tools like md5sum or df in tests only); returns stdout.
std::string TS_sh(const std::string& cmd);

// A screenshot of the top-left w x h pixels of x's screen, as 8-bit RGB rows from the top.
struct TS_shot {
    int w = 0, h = 0;
    std::string rgb;
    bool ok() const { return w > 0 && rgb.size() == (size_t)w * h * 3; }
    // The pixel at screen (sx, sy), from the top-left corner, as "r,g,b"; "" outside.
    std::string at(int sx, int sy) const;
    // The pixel at UI (ux, uy), from the bottom-left corner of the shot, as "r,g,b"; "" outside.
    std::string ui(int ux, int uy) const { return at(ux, h - 1 - uy); }
    void rgb_at(int sx, int sy, int c[3]) const;
};
// Takes it with ImageMagick's import into png (kept for a person to look at).
TS_shot TS_screenshot(const TS_xvfb& x, const std::string& png, int w, int h);
