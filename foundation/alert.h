// The program's one user-facing message and error routine, as every unit calls it. The entry
// point hands alerts of other threads to the main thread and only logs in automation mode; what
// is shown and what follows is the presenter's, which the frame registers at start-up.
#pragma once
#include <cstddef>
#include <string>

enum alert_code { t_language = 0, t_note = 1, t_fatal = 2, t_crash = 3 };

// Lines are already translated by the caller. t_fatal and t_crash do not return.
void MACIBM_alert(int popup_to_reopen, const std::string& line1, const std::string& line2,
                  const std::string& line3, const std::string& line4, int code, const char* file, int line);

// "(" + base name of the source file + ":" + line + ")", at most the last eight digits of the line.
std::string ALERT_location_text(const char* file, int line);

// The message box's text: the four lines with blank lines between them, cut to at most limit
// bytes, never inside a UTF-8 character.
std::string ALERT_message_box_text(const std::string (&lines)[4], size_t limit);
// The longest message-box text; a longer one is cut.
const size_t ALERT_MESSAGE_BOX_LIMIT = 2000;

// Writes the alert to standard error as the message box lays it out, with the location behind:
// for whoever started the program from a terminal, and where no box can show.
void ALERT_to_standard_error(const std::string (&lines)[4], const std::string& where);

// Ends the process after a fatal alert's shutdown: status 0, or 128 + the signal when a quit
// signal had asked the program to end, as a shell expects.
[[noreturn]] void ALERT_exit_after_fatal();

// Shows an alert that reached the main thread outside automation mode, logs it and, by code,
// ends the program; it must not return for t_fatal and t_crash. where is the location text.
typedef void (*ALERT_presenter)(int popup_to_reopen, const std::string (&lines)[4], int code,
                                const std::string& where);
// null takes the presenter away: alerts are then logged, written to standard error and shown in
// the system message box where a display is.
void ALERT_set_presenter(ALERT_presenter presenter);
