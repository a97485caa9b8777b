// Process entry: turns argv into the command-line text and hands it to WinMain.
#include "app/main.h"
#include "foundation/options.h"

int main(int argc, char** argv)
{
    std::string text = CMDLINE_text_from_argv(argc, argv);
    return WinMain(text.c_str());
}
