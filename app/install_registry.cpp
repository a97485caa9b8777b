// The install registry, one installed-copy folder per line in the data folder, and the test
// whether a folder holds a copy of the simulator (see install_registry.h).
#include "app/install_registry.h"

#include "engine/update_state.h"
#include "foundation/FILE_ops.h"
#include "foundation/log.h"
#include "foundation/paths.h"
#include "foundation/xmap.h"
#include "platform/plat_fileio.h"

std::vector<std::string> gInstalledCopies;

static const char kRegistryName[] = "corvane_install_10.txt";

std::string install_folder_path(const std::string& path)
{
    if (path.empty()) return path;
    std::string p = FILE_abs_path(path);
    // Without the '/', "…/Corvane 10" + "Resources/…" would name a file beside the copy.
    if (p.back() != '/') p += '/';
    return p;
}

// The registry file's full path; false, with the warning logged, when there is no data folder.
static bool registry_file(std::string& path)
{
    std::string dir;
    FILE_get_special_dir(os_dir_prefs, dir);
    if (dir.empty()) {
        gLog << "WARNING: registration of this hangaron folder failed!\n";
        return false;
    }
    path = dir + kRegistryName;
    return true;
}

// The registry's usable lines; ends_open is set when the file's last line has no line end (an
// append must not run on from it).
static void read_registry_lines(const std::string& file, std::vector<std::string>& lines, bool& ends_open)
{
    ends_open = false;
    xmap_file view(file);
    if (!view.begin) return;
    ends_open = view.end[-1] != '\n';
    install_registry_lines(view.begin, view.end, lines);
}

void read_install_registry()
{
    gInstalledCopies.clear();
    std::string file;
    if (!registry_file(file)) return;
    std::vector<std::string> lines;
    bool ends_open = false;
    read_registry_lines(file, lines, ends_open);
    // A folder that is gone stays in the file; it is only left out of this run's list.
    for (const std::string& folder : lines)
        if (FILE_is_dir(folder)) gInstalledCopies.push_back(folder);
}

void register_install_folder()
{
    std::string file;
    if (!registry_file(file)) return;
    const std::string folder = install_folder_path(gInstallPath);
    if (folder.empty()) return;
    // Written out, a line end inside the name would register folders nobody chose.
    if (folder.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        std::string shown = folder;
        for (char& c : shown)
            if (c == '\r' || c == '\n' || c == '\0') c = '?';
        gLog << "WARNING: a folder whose name holds a line end is not registered: " << shown << "\n";
        return;
    }
    // Compared with the file's lines, not with gInstalledCopies: a folder that is gone for now
    // is still in the file and is not written twice.
    std::vector<std::string> lines;
    bool ends_open = false;
    read_registry_lines(file, lines, ends_open);
    for (const std::string& line : lines)
        if (line == folder) return;

    const std::string record = (ends_open ? "\n" : "") + folder + "\n";
    int err = 0;
    const int fd = PLAT_append_open(file, err);
    if (fd >= 0) {
        err = PLAT_out_write(fd, record.data(), record.size());
        const int close_err = PLAT_out_close(fd);
        if (err == 0) err = close_err;
    }
    if (fd < 0 || err != 0) gLog << "WARNING: could not append registration file: " << file << "\n";
}

static int holds_copy(const std::string& path)
{
    const std::string folder = install_folder_path(path);
    if (folder.empty()) return 0;
    std::vector<std::string> names;
    std::vector<int32_t> types;
    const int n = FILE_get_directory(folder, 0, names, types);
    static const char* const kWords[4] = {"Airfoils", "Instructions", "Output", "Resources"};
    bool found[4] = {false, false, false, false};
    for (int i = 0; i < n && i < (int)names.size() && i < (int)types.size(); ++i) {
        // Only folders count; a file named "Resources" does not make a copy.
        if (types[i] != 1) continue;
        for (int w = 0; w < 4; ++w)
            if (names[i].find(kWords[w]) != std::string::npos) found[w] = true;
    }
    return found[0] && found[1] && found[2] && found[3] ? 1 : 0;
}

int is_installed_copy()
{
    return holds_copy(gInstallPath);
}

// The folder that holds this one, with its trailing '/'; "/" is its own parent, and a path
// without a '/' before its last name has none (""). Only '/' separates names here: a Linux
// name may hold '\' or ':'.
static std::string parent_folder(const std::string& folder)
{
    if (folder == "/") return folder;
    std::string p = folder;
    if (!p.empty() && p.back() == '/') p.pop_back();
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
}

std::string find_installed_copy(const std::string& folder)
{
    std::string f = folder;
    while (!holds_copy(f)) {
        const std::string parent = parent_folder(f);
        if (parent.empty() || parent == f) return "";
        f = parent;
    }
    return f;
}
