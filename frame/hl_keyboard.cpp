// Keyboard translation and key bindings (see hl_keyboard.h).
#include "frame/hl_keyboard.h"

#include "frame/butn.h"
#include "frame/hl_event.h"
#include "graphics/OGL_view.h"
#include "platform/plat_window.h"

const KEY_key_name KEY_key_table[] = {
    {8, "Backspace"}, {9, "Tab"}, {12, "Clear"}, {13, "Return"}, {27, "Escape"}, {32, "Space"},
    {33, "PageUp"}, {34, "PageDown"}, {35, "End"}, {36, "Home"}, {37, "Left"}, {38, "Up"},
    {39, "Right"}, {40, "Down"}, {41, "Select"}, {42, "Print"}, {43, "Execute"}, {44, "Snapshot"},
    {45, "Insert"}, {46, "Delete"}, {47, "Help"},
    {48, "0"}, {49, "1"}, {50, "2"}, {51, "3"}, {52, "4"}, {53, "5"}, {54, "6"}, {55, "7"}, {56, "8"}, {57, "9"},
    {65, "A"}, {66, "B"}, {67, "C"}, {68, "D"}, {69, "E"}, {70, "F"}, {71, "G"}, {72, "H"}, {73, "I"},
    {74, "J"}, {75, "K"}, {76, "L"}, {77, "M"}, {78, "N"}, {79, "O"}, {80, "P"}, {81, "Q"}, {82, "R"},
    {83, "S"}, {84, "T"}, {85, "U"}, {86, "V"}, {87, "W"}, {88, "X"}, {89, "Y"}, {90, "Z"},
    {96, "Numpad-0"}, {97, "Numpad-1"}, {98, "Numpad-2"}, {99, "Numpad-3"}, {100, "Numpad-4"},
    {101, "Numpad-5"}, {102, "Numpad-6"}, {103, "Numpad-7"}, {104, "Numpad-8"}, {105, "Numpad-9"},
    {106, "Numpad-*"}, {107, "Numpad-+"}, {109, "Numpad--"}, {110, "Numpad-."}, {111, "Numpad-/"},
    {112, "F1"}, {113, "F2"}, {114, "F3"}, {115, "F4"}, {116, "F5"}, {117, "F6"}, {118, "F7"}, {119, "F8"},
    {120, "F9"}, {121, "F10"}, {122, "F11"}, {123, "F12"}, {124, "F13"}, {125, "F14"}, {126, "F15"},
    {127, "F16"}, {128, "F17"}, {129, "F18"}, {130, "F19"}, {131, "F20"}, {132, "F21"}, {133, "F22"},
    {134, "F23"}, {135, "F24"},
    // Keys known by the character they type: their virtual keys differ between layouts.
    {176, "="}, {177, "-"}, {178, "]"}, {179, "["}, {180, "'"}, {181, ";"}, {182, "\\"}, {183, ","},
    {184, "/"}, {185, "."}, {186, "`"}, {187, "Enter"}, {188, "Numpad-Enter"}, {189, "Numpad-="},
    {0, nullptr},
};

KEY_keyboard gKeyboard;

KEY_keyboard::KEY_keyboard()
{
    KEY_init_keymap(*this);
}

void KEY_init_keymap(KEY_keyboard& kb)
{
    kb.bindings.clear();
    kb.free_codes.clear();
    kb.highest_code = 0;
    kb.last_code = kb.last_char = kb.last_mods = 0;
    bool used[256] = {};
    for (const KEY_key_name* k = KEY_key_table; k->code != 0; ++k) {
        used[k->code] = true;
        if (k->code > kb.highest_code) kb.highest_code = k->code;
    }
    for (int c = 1; c <= kb.highest_code; ++c)
        if (!used[c]) kb.free_codes.push_back(c);
}

int KEY_free_code(const KEY_keyboard& kb, int scan)
{
    const int n = (int)kb.free_codes.size();
    if (scan >= 0 && scan < n) return kb.free_codes[(size_t)scan];
    return scan - n + kb.highest_code + 1;
}

const char* KEY_key_name_of(int code)
{
    for (const KEY_key_name* k = KEY_key_table; k->code != 0; ++k)
        if (k->code == code) return k->name;
    return nullptr;
}

// The virtual-key numbers that are key codes by themselves.
static bool coded_by_vk(int vk)
{
    return vk == 8 || vk == 9 || vk == 12 || vk == 13 || vk == 27 || (vk >= 32 && vk <= 47) || (vk >= 96 && vk <= 135);
}

// The characters that name a key, in the order they are tried: the first one that either the
// unshifted or the shifted character matches gives the code (a German ',' key shifts to ';', so
// it is 181).
static const struct {
    char first, last;
    int code;
} kCharCodes[] = {{'.', '.', 185},  {' ', ' ', 32},  {'a', 'z', 65},  {'=', '=', 176}, {'-', '-', 177},
                  {']', ']', 178},  {'[', '[', 179}, {'\'', '\'', 180}, {';', ';', 181}, {'\\', '\\', 182},
                  {',', ',', 183},  {'/', '/', 184}, {'`', '`', 186},  {'0', '9', 48}};

// The code the key's two characters name, or 0.
static int code_of_chars(int plain, int shifted)
{
    for (const auto& e : kCharCodes)
        for (int c = e.first; c <= e.last; ++c)
            if (plain == c || shifted == c) return e.code + (c - e.first);
    return 0;
}

// The characters some keys carry whatever the layout says.
static int fixed_char(int code, int ch)
{
    switch (code) {
    case 8: return 8;
    case 9: return 9;
    case 13: return 13;
    case 27: return 27;
    case 37: return 28;
    case 39: return 29;
    case 38: return 30;
    case 40: return 31;
    case 110: return '.';
    default: break;
    }
    if (code >= 96 && code <= 105) return '0' + (code - 96);
    return ch;
}

// The program's key event of a window key event: its character, code and flags. False for what
// the program does not take as a key (a modifier alone, an event of no key).
static bool key_event_of(const PLAT_event& ev, int& ch, int& code, int& flags)
{
    if (ev.kind != PLAT_EV_KEY_DOWN && ev.kind != PLAT_EV_KEY_UP) return false;
    const int vk = ev.vk;
    if (vk == PLAT_VK_SHIFT || vk == PLAT_VK_CONTROL || vk == PLAT_VK_ALT || vk == PLAT_VK_CAPS_LOCK ||
        vk == PLAT_VK_NUM_LOCK || vk == PLAT_VK_SCROLL_LOCK)
        return false;

    flags = ((ev.mods & PLAT_MOD_SHIFT) ? key_flag_shift : 0) | ((ev.mods & PLAT_MOD_CTRL) ? key_flag_control : 0) |
            ((ev.mods & PLAT_MOD_ALT) ? key_flag_alt : 0);
    if (ev.kind == PLAT_EV_KEY_DOWN && !ev.repeat) flags |= key_flag_down;
    if (ev.kind == PLAT_EV_KEY_UP) flags |= key_flag_up;

    code = 0;
    if (coded_by_vk(vk)) {
        code = vk;
    } else {
        code = code_of_chars(ev.ch_plain, ev.ch_shifted);
        // A character without a key has no scan code to fall back on.
        if (code == 0 && !ev.text_only) code = KEY_free_code(gKeyboard, ev.pc_scan);
    }
    ch = fixed_char(code, ev.ch);
    // A release reports its press's character.
    if ((flags & key_flag_up) && code == gKeyboard.last_code && (flags & 7) == gKeyboard.last_mods)
        ch = gKeyboard.last_char;
    return flags != 0 || code != 0 || ch != 0;
}

int KEY_must_wait(const PLAT_event& ev)
{
    int ch = 0, code = 0, flags = 0;
    return key_event_of(ev, ch, code, flags) && BTN_key_waits(ch, code, flags);
}

void KEY_handle_message(const PLAT_event& ev)
{
    int ch = 0, code = 0, flags = 0;
    if (!key_event_of(ev, ch, code, flags)) return;
    if (flags & key_flag_down) {
        gKeyboard.last_code = code;
        gKeyboard.last_char = ch;
        gKeyboard.last_mods = flags & 7;
    }
    if (BTN_handle_key(ch, code, flags)) return;

    if (!(flags & key_flag_up)) {
        if (code == 13 || code == 187) gKeyEnter = 1;
        if (code == 27) gKeyEscape = 1;
        if (code == 46 || code == 8) gKeyDelete = 1;
        const bool own_keys = gPopup >= 994 && gPopup <= 999;
        if (gPopup > 0 && !own_keys && (gKeyEnter || gKeyEscape)) {
            hl_close_window();
            return;
        }
        // The alert and the dialogs read the flag in their own loops.
        if (own_keys && (gKeyEnter || gKeyEscape)) return;
    }
    if (gPopup != 999 && code != 0) KEY_update_bindings(code, flags);
}

void KEY_update_bindings(int code, int flags)
{
    for (KEY_binding& b : gKeyboard.bindings) {
        if (b.key != code) continue;
        const int32_t was = b.held;
        if ((flags & 7) == b.modifiers && (flags & key_flag_down)) b.held = 1;
        // A release clears it whatever modifiers are down by then.
        if (b.held == 1 && (flags & key_flag_up)) b.held = 0;
        if (b.held != was) ++gKeyboard.held_changes;
    }
}

void KEY_process_bindings()
{
    // Nothing runs a command in this program; the pass only visits the bindings.
    for (KEY_binding& b : gKeyboard.bindings) (void)b;
}
