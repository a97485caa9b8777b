// Process entry: turns argv into the command-line text and the folder to update, and hands them
// to WinMain.
#include "app/main.h"
#include "foundation/options.h"
#include "platform/plat_paths.h"
#include "platform/plat_system.h"

int main(int argc, char** argv)
{
    // Ctrl+C or a polite kill ends the run as closing the window does, from here on: also while a
    // message box of the early start-up waits for a click.
    PLAT_catch_quit_signals();
    // Read first, before anything could change it: a relative folder is the shell's.
    const std::string working = PLAT_working_dir();
    const std::string text = CMDLINE_text_from_argv(argc, argv);
    const int code = WinMain(text.c_str(), command_line_folder(argc, argv, working));
    // A run that a quit signal ended, in order, still ends as a shell expects of that signal.
    const int signo = PLAT_quit_signal();
    return signo ? 128 + signo : code;
}
