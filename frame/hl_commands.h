// The built-in commands: their table with default keys, the command name registry and the
// default key bindings that start-up loads from the table.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

enum CMD_builtin {
    cmnd_nothing = 0,
    cmnd_scrshot,
    cmnd_qtim,
    cmnd_quit,
    cmnd_gen_lft,
    cmnd_gen_rgt,
    cmnd_gen_up,
    cmnd_gen_dn,
    cmnd_gen_for,
    cmnd_gen_aft,
    cmnd_gen_zoom_in,
    cmnd_gen_zoom_out,
    cmnd_gen_LFT,
    cmnd_gen_RGT,
    cmnd_gen_UP,
    cmnd_gen_DN,
    cmnd_gen_FOR,
    cmnd_gen_AFT,
    cmnd_gen_ZOOM_IN,
    cmnd_gen_ZOOM_OUT,
    cmnd_v_rot_up,
    cmnd_v_rot_dn,
    cmnd_v_rot_lft,
    cmnd_v_rot_rgt,
    cmnd_v_rot_UP,
    cmnd_v_rot_DN,
    cmnd_v_rot_LFT,
    cmnd_v_rot_RGT,
    cmnd_count
};

// One row of the built-in command table; key codes are the program's own (Space 32, Left 37...),
// modifier bits Shift 1, Alt 2, Control 4.
struct CMD_builtin_row {
    const char* enumerator;
    const char* name;
    const char* description;
    int32_t type; // kept with the command; nothing interprets it
    int32_t key;  // default key code, 0 for none
    int32_t modifiers;
};
extern const CMD_builtin_row CMD_builtin_table[cmnd_count];

// The command registry: the built-in commands by index (index = table row).
struct CMD_registry {
    std::vector<std::string> enumerators;
    std::vector<std::string> names;
    std::vector<std::string> descriptions;
    std::vector<int32_t> types;
};
// The one registry, built from the table on first use.
const CMD_registry& CMD_get_registry();

// Index of the command with exactly this name (lowest on ties), 0 ("sim/none/none") when none.
int CMD_find(const std::string& name);

// The registry's names and listing, as the foundation reaches them through gCommandTable
// (foundation/command_table.h).
int CMD_count();
// Name and description of command index 0 to CMD_count() - 1; the caller guarantees the range.
std::string CMD_get_name(int index);
std::string CMD_get_description(int index);
// Appends the distinct next-level entries of the names below the prefix, in order of first
// appearance: the text behind the prefix up to and including the next '/', or the whole rest.
// The output is not emptied first.
void CMD_list_prefix(const std::string& prefix, std::vector<std::string>& out);

// A key combination bound to a command; held is 1 while the combination is down.
struct KEY_binding {
    int32_t key;
    int32_t modifiers; // only Shift 1, Alt 2, Control 4
    int32_t command;   // index into the registry
    int32_t held;
};
// With 0 (start-up) loads the keyboard's (gKeyboard) default bindings from every table row that
// has a key; with any other value (shutdown) changes nothing.
void CMD_init_builtin(int flag);
