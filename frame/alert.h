// The frame's side of the alert: what is shown once an alert has reached the main thread, and
// what follows it. The entry point every unit calls is in foundation/alert.h.
#pragma once
#include "foundation/alert.h"

#include <cstddef>
#include <string>

extern int gAlertShowing; // 1 while an alert is being shown

// The presenter that start-up registers with ALERT_set_presenter before anything else: the
// system message box until the window can show popups (or while another alert is showing), else
// popup 994; then the log lines and, by code, the memory report, the stack crawl, the shutdown
// and the end of the process (SIGABRT for t_crash and nested alerts).
void ALERT_present(int popup_to_reopen, const std::string (&lines)[4], int code, const std::string& where);

// The height of the divider under the alert panel's title band, popup units.
const float ALERT_DIVIDER_Y = 210.5f;

// Where the alert draws its texts (the four lines, then the location text): each one's first
// baseline and how many lines it wraps into at the popup's width. A first line that fits one
// line sits in the panel's title band, a longer one wraps below the divider; a later text keeps
// its own place unless the text above reaches it, and then starts a blank line below that text.
struct ALERT_place {
    float y;
    int lines;
};
void ALERT_line_places(const std::string (&texts)[5], float popup_w, ALERT_place (&places)[5]);

