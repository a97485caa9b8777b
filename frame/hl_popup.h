// Popup windows: rectangles of the one window, centred, in which a dialog lays out its widgets.
// Opening one sets its title, size and origin in the display state, drops the input that
// belonged to the previous one and closes menus and keyboard focus. Also the frames of the
// engine's two question windows, which the engine reaches through gInstallModal
// (engine/modal_frame.h), as it reaches hl_open_window_at_pointer.
#pragma once
#include <string>
#include <vector>

// Selects the popup with this id (0 the whole window) and lays it out.
void hl_open_window(int id);
// As hl_open_window, and the mouse is measured from the new corner at once: for the alert and the
// engine's questions, whose buttons a click without a move may answer.
void hl_open_window_at_pointer(int id);

// One frame of the modified-file question (popup 996): draws the three lines (a path too long for
// its line shortened in the middle of its folder part) and the five buttons (labels in this order:
// act, keep, act for the folder, keep for the folder, cancel) and answers the install_answer of
// the first button clicked, or, when none was, runs one frame and answers 0.
int install_modified_file_frame(const std::string& line1, const std::string& path, const std::string& line3,
                                const std::vector<std::string>& labels);
// The path as one line of width units: a longer path gives up the middle of its folder part to
// "…", so that its start and the file's name stay whole; a name too long by itself keeps its end.
std::string hl_one_line_path(const std::string& path, float width);
// One frame of the two-button question (popup 997): 1 or 2 for the button clicked, or, when none
// was, runs one frame and answers 0.
int install_two_choices_frame(const std::string& top, const std::string& label1, const std::string& text1,
                              const std::string& label2, const std::string& text2);

// A popup with a size of its own, in UI units, and its title before translation.
struct hl_popup_info {
    int id;
    const char* title;
    float w, h;
};

// The popup's row of the table, or null for ids without one (0, the whole window, among them).
const hl_popup_info* hl_find_popup(int id);

// Where a question window puts a push button: its centre and width, popup units. The changed-file
// question's five (act, keep, act for the folder, keep for the folder, cancel) and the two-button
// question's two; a label keeps four units clear of its button's ends.
struct hl_button_place {
    float x, y, w;
};
extern const hl_button_place kModifiedFileButtons[5];
extern const hl_button_place kTwoChoicesButtons[2];

// The origin (whole UI units, never below 0) that centres a popup of pw x ph UI units in a window
// of win_w x win_h pixels at scale pixels per unit. A window between two and three times as wide
// as high is taken as two screens side by side: the popup is centred on the left one.
void hl_center_popup(int win_w, int win_h, float pw, float ph, float scale, float* x, float* y);
