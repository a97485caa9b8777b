// The file and folder dialogs, shown by zenity (see file_dialogs.h).
#include "frame/file_dialogs.h"

#include "foundation/FILE_ops.h"
#include "foundation/log.h"
#include "foundation/paths.h"
#include "frame/hl_event.h"
#include "platform/plat_process.h"

#include <cerrno>
#include <vector>

// The argument that names where the dialog starts: a folder with its trailing '/', for the save
// kind followed by the proposed name, or the name alone.
static std::string start_argument(int kind, const std::string& start_folder, const std::string& name)
{
    std::string folder;
    if (!start_folder.empty()) {
        folder = FILE_abs_path(start_folder);
        if (folder.back() != '/') folder += '/';
    }
    if (kind == FILE_dialog_save) return folder + name;
    return folder;
}

bool FILE_show_dialog(int kind, const std::string& prompt, const std::string&, int, const std::string& start_folder,
                      std::string& path)
{
    if (kind != FILE_dialog_open && kind != FILE_dialog_save && kind != FILE_dialog_folder) return false;

    std::vector<std::string> argv = {"zenity", "--file-selection"};
    if (kind == FILE_dialog_folder) argv.push_back("--directory");
    if (kind == FILE_dialog_save) argv.push_back("--save");
    argv.push_back("--title=" + prompt);
    // Callers may pass the same string as start folder and path, so it is read before path changes.
    const std::string start = start_argument(kind, start_folder, path);
    if (!start.empty()) argv.push_back("--filename=" + start);

    std::string answer;
    int status = -1;
    const int err = PLAT_run_modal(argv, &answer, &status);
    if (!answer.empty() && answer.back() == '\n') answer.pop_back();

    // The dialog is modal: the presses given to the window while it was open wait in the frame's
    // queue and count for nothing, since the window's view is shown again only from the next frame
    // that draws it. The click and keys that opened it act on nothing else in this frame.
    hl_view_changed();
    gMouseDown = gMouseUp = gKeyDown = gKeyEnter = gKeyEscape = gKeyDelete = 0;

    bool chosen = false;
    if (err == ECANCELED)
        gLog << "The file dialog (zenity) was closed: the program was asked to quit.\n";
    else if (err)
        gLog << "WARNING: the file dialog could not be started (zenity: " << FILE_error_text(err) << ")\n";
    else if (status != 0 && status != 1)
        gLog << "WARNING: the file dialog (zenity) ended with status " << status << "; taken as a cancel\n";
    else if (status == 0 && answer.empty())
        gLog << "WARNING: the file dialog (zenity) chose nothing; taken as a cancel\n";
    else
        chosen = status == 0;

    if (!chosen) {
        if (kind == FILE_dialog_open) path.clear();
        return false;
    }
    // The path is used as given: Linux names may hold '\' and ':' like any other character.
    path = answer;
    if (kind == FILE_dialog_folder && path.back() != '/') path += '/';
    return true;
}
