// The movie recorder: its per-frame tick, which presents every frame, and the fatal alert for a
// failed movie call. Recording is filled in by its own unit later; on Linux the recorder reports
// itself unavailable.
#pragma once
#include <string>

void QT_movie_tick();

// The fatal alert on the main window with the three lines and the error number's decimal text
// (at most its last eight digits) as the fourth. Does not return.
void QT_alert_err(const std::string& line1, const std::string& line2, const char* line3, int error);
