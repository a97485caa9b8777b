// The program's one user-facing message and error routine.
#pragma once
#include <string>

enum alert_code { t_language = 0, t_note = 1, t_fatal = 2, t_crash = 3 };

extern int gAlertShowing;

// Lines are already translated by the caller. t_fatal and t_crash do not return.
void MACIBM_alert(int popup_to_reopen, const std::string& line1, const std::string& line2,
                  const std::string& line3, const std::string& line4, int code, const char* file, int line);

// "(" + base name of the source file + ":" + line + ")", at most the last eight digits of the line.
std::string ALERT_location_text(const char* file, int line);
