// The frame's side of the alert: what is shown once an alert has reached the main thread, and
// what follows it. The entry point every unit calls is in foundation/alert.h.
#pragma once
#include "foundation/alert.h"

extern int gAlertShowing;

// The presenter that start-up registers with ALERT_set_presenter before anything else: the
// system message box (the popup comes later), the log lines and, by code, the shutdown and the
// end of the process.
void ALERT_present(int popup_to_reopen, const std::string (&lines)[4], int code, const std::string& where);
