// The built-in commands, the command name registry and the default key bindings (see hl_commands.h).
#include "frame/hl_commands.h"
#include "frame/hl_keyboard.h"

#include <algorithm>

const CMD_builtin_row CMD_builtin_table[cmnd_count] = {
    {"cmnd_nothing", "sim/none/none", "Do nothing at all!", 3, 0, 0},
    {"cmnd_scrshot", "sim/operation/screenshot", "Take a screenshot.", 2, 32, 1},
    {"cmnd_qtim", "sim/operation/quicktime_record_toggle", "Toggle recording of QuickTime movie.", 2, 32, 4},
    {"cmnd_quit", "sim/operation/quit", "Quit the simulation.", 2, 0, 0},
    {"cmnd_gen_lft", "sim/general/left", "General command: left.", 3, 37, 0},
    {"cmnd_gen_rgt", "sim/general/right", "General command: right.", 3, 39, 0},
    {"cmnd_gen_up", "sim/general/up", "General command: up.", 3, 38, 0},
    {"cmnd_gen_dn", "sim/general/down", "General command: down.", 3, 40, 0},
    {"cmnd_gen_for", "sim/general/forward", "General command: forward.", 3, 185, 0},
    {"cmnd_gen_aft", "sim/general/backward", "General command: backward.", 3, 183, 0},
    {"cmnd_gen_zoom_in", "sim/general/zoom_in", "General command: zoom in.", 3, 176, 0},
    {"cmnd_gen_zoom_out", "sim/general/zoom_out", "General command: zoom out.", 3, 177, 0},
    {"cmnd_gen_LFT", "sim/general/left_fast", "General command: left fast.", 3, 37, 1},
    {"cmnd_gen_RGT", "sim/general/right_fast", "General command: right fast.", 3, 39, 1},
    {"cmnd_gen_UP", "sim/general/up_fast", "General command: up fast.", 3, 38, 1},
    {"cmnd_gen_DN", "sim/general/down_fast", "General command: down fast.", 3, 40, 1},
    {"cmnd_gen_FOR", "sim/general/forward_fast", "General command: forward fast.", 3, 185, 1},
    {"cmnd_gen_AFT", "sim/general/backward_fast", "General command: backward fast.", 3, 183, 1},
    {"cmnd_gen_ZOOM_IN", "sim/general/zoom_in_fast", "General command: zoom in fast.", 3, 176, 1},
    {"cmnd_gen_ZOOM_OUT", "sim/general/zoom_out_fast", "General command: zoom out fast.", 3, 177, 1},
    {"cmnd_v_rot_up", "sim/general/rot_up", "General command: tilt up.", 3, 82, 0},
    {"cmnd_v_rot_dn", "sim/general/rot_down", "General command: tilt down.", 3, 70, 0},
    {"cmnd_v_rot_lft", "sim/general/rot_left", "General command: pan left.", 3, 81, 0},
    {"cmnd_v_rot_rgt", "sim/general/rot_right", "General command: pan right.", 3, 69, 0},
    {"cmnd_v_rot_UP", "sim/general/rot_up_fast", "General command: tilt up fast.", 3, 82, 1},
    {"cmnd_v_rot_DN", "sim/general/rot_down_fast", "General command: tilt down fast.", 3, 70, 1},
    {"cmnd_v_rot_LFT", "sim/general/rot_left_fast", "General command: pan left fast.", 3, 81, 1},
    {"cmnd_v_rot_RGT", "sim/general/rot_right_fast", "General command: pan right fast.", 3, 69, 1},
};


// Built on first use so that code running during static construction finds it complete.
const CMD_registry& CMD_get_registry()
{
    static const CMD_registry reg = [] {
        CMD_registry r;
        for (const CMD_builtin_row& row : CMD_builtin_table) {
            r.enumerators.push_back(row.enumerator);
            r.names.push_back(row.name);
            r.descriptions.push_back(row.description);
            r.types.push_back(row.type);
        }
        return r;
    }();
    return reg;
}

int CMD_find(const std::string& name)
{
    const CMD_registry& reg = CMD_get_registry();
    for (size_t i = 0; i < reg.names.size(); ++i)
        if (reg.names[i] == name) return (int)i;
    return 0;
}

std::string CMD_get_name(int index)
{
    return CMD_get_registry().names[(size_t)index];
}

std::string CMD_get_description(int index)
{
    return CMD_get_registry().descriptions[(size_t)index];
}

int CMD_count()
{
    return (int)CMD_get_registry().names.size();
}

void CMD_list_prefix(const std::string& prefix, std::vector<std::string>& out)
{
    std::vector<std::string> added;
    for (const std::string& name : CMD_get_registry().names) {
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        size_t slash = name.find('/', prefix.size());
        std::string entry = slash == std::string::npos ? name.substr(prefix.size())
                                                       : name.substr(prefix.size(), slash + 1 - prefix.size());
        if (std::find(added.begin(), added.end(), entry) != added.end()) continue;
        added.push_back(entry);
        out.push_back(entry);
    }
}

void CMD_init_builtin(int flag)
{
    if (flag != 0) return;
    std::vector<KEY_binding> b;
    for (const CMD_builtin_row& row : CMD_builtin_table)
        if (row.key != 0) b.push_back({row.key, row.modifiers, CMD_find(row.name), 0});
    gKeyboard.bindings = b;
}
