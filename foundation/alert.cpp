// The alert's entry point (see alert.h): hand-over from other threads, location text,
// automation mode, then the registered presenter.
#include "foundation/alert.h"

#include "foundation/HL_THREAD.h"
#include "foundation/hl_memory.h"
#include "foundation/log.h"
#include "foundation/options.h"
#include "platform/plat_system.h"

#include <cstdio>
#include <cstdlib>

static ALERT_presenter sPresenter = nullptr;

void ALERT_set_presenter(ALERT_presenter presenter)
{
    sPresenter = presenter;
}

std::string ALERT_location_text(const char* file, int line)
{
    std::string name = file ? file : "";
    size_t cut = name.find_last_of("/\\");
    if (cut != std::string::npos) name.erase(0, cut + 1);
    long long v = line;
    bool neg = v < 0;
    if (neg) v = -v;
    std::string digits = std::to_string(v % 100000000LL);
    return "(" + name + ":" + (neg ? "-" : "") + digits + ")";
}

std::string ALERT_message_box_text(const std::string (&lines)[4], size_t limit)
{
    // Empty last lines would only leave blank lines under the text; an empty line between two
    // texts stays, as the space the caller asked for.
    int n = 4;
    while (n > 1 && lines[n - 1].empty()) --n;
    std::string text = lines[0];
    for (int i = 1; i < n; ++i) text += "\n\n" + lines[i];
    if (text.size() <= limit) return text;
    // Never in the middle of a character: step back over continuation bytes.
    size_t cut = limit;
    while (cut > 0 && ((unsigned char)text[cut] & 0xC0) == 0x80) --cut;
    text.resize(cut);
    return text;
}

static void log_lines(const std::string (&lines)[4], const std::string& where)
{
    for (const std::string& l : lines) gLog << l << "\n";
    gLog << where << "\n";
    gLog.flush();
}

void ALERT_to_standard_error(const std::string (&lines)[4], const std::string& where)
{
    std::string text = "Hangaron Message";
    for (const std::string& l : lines) text += "\n\n" + l;
    text += "\n\n" + where + "\n";
    fputs(text.c_str(), stderr);
    fflush(stderr);
}

void ALERT_exit_after_fatal()
{
    const int signo = PLAT_quit_signal();
    exit(signo ? 128 + signo : 0);
}

// Before the frame is there (or in a program without one) the alert goes to the log, to
// standard error and, where a display is, to the system message box; the codes that end the
// program still end it.
static void present_without_frame(const std::string (&lines)[4], int code, const std::string& where)
{
    gLog << "\n";
    log_lines(lines, where);
    ALERT_to_standard_error(lines, where);
    // Whoever started the program from the desktop sees no standard error.
    (void)PLAT_show_message_box("Hangaron Message", ALERT_message_box_text(lines, ALERT_MESSAGE_BOX_LIMIT));
    if (code == t_crash) {
        MEM_dump_info("MACIBM_alert (with code t_crash)");
        PLAT_abort();
    }
    if (code == t_fatal) ALERT_exit_after_fatal();
}

void MACIBM_alert(int popup_to_reopen, const std::string& line1, const std::string& line2,
                  const std::string& line3, const std::string& line4, int code, const char* file, int line)
{
    // Only the main thread shows alerts: another thread hands its alert over and, for fatal and
    // crash codes, ends there.
    if (THREAD_is_inited() && !THREAD_is_main_thread()) {
        THREAD_forward_exception(exce_class(line1, line2, line3, line4, file, line, code));
        return;
    }

    const std::string lines[4] = {line1, line2, line3, line4};
    const std::string where = ALERT_location_text(file, line);

    if (CMDLINE_has_option("--fps_test") || CMDLINE_has_option("--qa_script")) {
        log_lines(lines, where);
        if (code == t_fatal || code == t_crash) PLAT_exit_now(1);
        return;
    }

    if (!sPresenter) {
        present_without_frame(lines, code, where);
        return;
    }
    // What was logged before is on disk while the alert waits for the user; its own lines follow
    // the answer.
    gLog.flush();
    sPresenter(popup_to_reopen, lines, code, where);
    // A presenter that came back from an alert that ends the program has not ended it.
    if (code == t_crash) PLAT_abort();
    if (code == t_fatal) ALERT_exit_after_fatal();
}
