// What the engine's questions need of the frame to run as modal popups: opening a popup and one
// frame of each question window. The frame's start-up fills these in, all at once; while they are
// null no question window opens, and a question answers as if its window had been closed. Tests
// answer the questions by putting their own frames here.
#pragma once
#include "foundation/open_popup.h"

#include <string>
#include <vector>

struct install_modal_hooks {
    // Selects the popup with this id (0 the whole window), lays it out and measures the mouse from
    // its corner, so that a click without a move lands where the pointer stands.
    void (*open_window)(int id) = nullptr;
    // One frame of the modified-file question (popup 996): draws the three lines and the five
    // buttons (labels in this order: act, keep, act for the folder, keep for the folder, cancel)
    // and answers the install_answer of the first button clicked, or, when none was, runs one
    // frame and answers 0.
    int (*modified_file_frame)(const std::string& line1, const std::string& path, const std::string& line3,
                               const std::vector<std::string>& labels) = nullptr;
    // One frame of the two-button question (popup 997): 1 or 2 for the button clicked, or, when
    // none was, runs one frame and answers 0.
    int (*two_choices_frame)(const std::string& top, const std::string& label1, const std::string& text1,
                             const std::string& label2, const std::string& text2) = nullptr;
};
extern install_modal_hooks gInstallModal;
