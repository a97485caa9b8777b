// The install registry and the installed-copy test (see install_registry.h).
#include "app/install_registry.h"

std::vector<std::string> gInstalledCopies;

void read_install_registry()
{
}

void register_install_folder()
{
}

int is_installed_copy()
{
    return 0;
}
