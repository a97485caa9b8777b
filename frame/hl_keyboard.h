// Keyboard translation and key bindings: the keyboard object turns the window's key events into
// the program's key codes with a character and modifier bits, offers them to the focused widget,
// raises the frame's Return, Escape and Delete flags and keeps the held state of the bindings.
#pragma once
#include "frame/hl_commands.h"

#include <cstdint>
#include <vector>

struct PLAT_event;

// Modifier and event bits of a key event.
enum KEY_flags {
    key_flag_shift = 1,
    key_flag_alt = 2,
    key_flag_control = 4,
    key_flag_down = 8, // a first press, not an auto-repeat
    key_flag_up = 16,
};

// One row of the key table: a code of the program's key-code space and its display name.
struct KEY_key_name {
    int32_t code;
    const char* name;
};
// The key table, ended by a row with code 0.
extern const KEY_key_name KEY_key_table[];

struct KEY_keyboard {
    std::vector<KEY_binding> bindings; // built by CMD_init_builtin
    std::vector<int32_t> free_codes;   // the codes 1 to highest_code the table does not use
    int32_t highest_code = 0;
    int32_t last_code = 0;             // the last key-down event
    int32_t last_char = 0;
    int32_t last_mods = 0;             // its modifier bits, without the down and up bits
    int32_t held_changes = 0;          // how often a binding's held flag changed
    KEY_keyboard();
};
extern KEY_keyboard gKeyboard;

// Empties the keyboard and builds its free-code list from the key table.
void KEY_init_keymap(KEY_keyboard& kb);
// The code of a key that neither its virtual-key number nor its characters name, from its PC
// scan code.
int KEY_free_code(const KEY_keyboard& kb, int scan);
// The display name of a code of the key table, or null.
const char* KEY_key_name_of(int code);

// Turns a key-down or key-up event of the window into the program's key event.
void KEY_handle_message(const PLAT_event& ev);
// 1 when the frame must leave a key event for the next frame (see BTN_key_waits).
int KEY_must_wait(const PLAT_event& ev);
// Held-state update of the bindings for one key event.
void KEY_update_bindings(int code, int flags);
// The per-frame pass over the key bindings (it runs no command).
void KEY_process_bindings();
