// What the engine's questions need of the frame to run as modal popups: one frame at a time,
// the popup that is open, opening another, and the drawing of the two question windows. The
// frame and its display state fill these in.
#pragma once
#include "foundation/open_popup.h"

#include <string>
#include <vector>

// Runs exactly one frame. Called by the main loop and by every modal loop.
void hl_do_frame();
// Selects the popup with this id (0 the whole window) and lays it out.
void hl_open_window(int id);

// One frame of the modified-file question (popup 996): draws the three lines and the five buttons
// (labels in this order: act, keep, act for the folder, keep for the folder, cancel) and answers
// the install_answer of the first button clicked, or, when none was, runs one frame and answers 0.
int install_modified_file_frame(const std::string& line1, const std::string& path, const std::string& line3,
                                const std::vector<std::string>& labels);
// One frame of the two-button question (popup 997): 1 or 2 for the button clicked, or, when none
// was, runs one frame and answers 0.
int install_two_choices_frame(const std::string& top, const std::string& label1, const std::string& text1,
                              const std::string& label2, const std::string& text2);
