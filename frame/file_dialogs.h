// The system's modal dialogs for choosing a file to open, a name to save under, or a folder.
#pragma once
#include <string>

enum { FILE_dialog_open = 0, FILE_dialog_save = 1, FILE_dialog_folder = 2 };

// Shows the dialog of this kind titled prompt and waits for it; the frame does not run meanwhile.
// start_folder (when not empty, made absolute) is where it starts. path is in and out: for the
// save kind it comes in as the proposed name. A choice puts the chosen path in path (a folder
// ends in '/') and answers true. A cancel answers false: the open kind empties path, the save
// kind leaves the proposed name, the folder kind leaves path as it was; a quit request closes the
// dialog as a cancel. button_label and option have no counterpart in the dialogs of this system.
// Any other kind answers false and shows nothing.
bool FILE_show_dialog(int kind, const std::string& prompt, const std::string& button_label, int option,
                      const std::string& start_folder, std::string& path);
