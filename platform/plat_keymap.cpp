// Virtual-key numbers, PC scan codes and layout characters of keys (see plat_keymap.h).
#include "platform/plat_keymap.h"

#include <SDL_syswm.h>
#include <X11/XKBlib.h>
#include <xkbcommon/xkbcommon.h>

int PLAT_key_vk(SDL_Scancode sc, int num_lock)
{
    // The keypad's digits and point type with Num Lock, and move the caret without it.
    static const int kPadNav[10] = {45, 35, 40, 34, 37, 12, 39, 36, 38, 33};
    if (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_0) {
        const int digit = sc == SDL_SCANCODE_KP_0 ? 0 : sc - SDL_SCANCODE_KP_1 + 1;
        return num_lock ? 96 + digit : kPadNav[digit];
    }
    if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12) return 112 + (sc - SDL_SCANCODE_F1);
    if (sc >= SDL_SCANCODE_F13 && sc <= SDL_SCANCODE_F24) return 124 + (sc - SDL_SCANCODE_F13);
    switch (sc) {
    case SDL_SCANCODE_BACKSPACE: return 8;
    case SDL_SCANCODE_TAB: return 9;
    case SDL_SCANCODE_CLEAR: return 12;
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_RETURN2:
    case SDL_SCANCODE_KP_ENTER: return 13;
    case SDL_SCANCODE_ESCAPE: return 27;
    case SDL_SCANCODE_SPACE: return 32;
    case SDL_SCANCODE_PAGEUP: return 33;
    case SDL_SCANCODE_PAGEDOWN: return 34;
    case SDL_SCANCODE_END: return 35;
    case SDL_SCANCODE_HOME: return 36;
    case SDL_SCANCODE_LEFT: return 37;
    case SDL_SCANCODE_UP: return 38;
    case SDL_SCANCODE_RIGHT: return 39;
    case SDL_SCANCODE_DOWN: return 40;
    case SDL_SCANCODE_SELECT: return 41;
    case SDL_SCANCODE_EXECUTE: return 43;
    case SDL_SCANCODE_PRINTSCREEN: return 44;
    case SDL_SCANCODE_INSERT: return 45;
    case SDL_SCANCODE_DELETE: return 46;
    case SDL_SCANCODE_HELP: return 47;
    case SDL_SCANCODE_KP_PERIOD: return num_lock ? 110 : 46;
    case SDL_SCANCODE_KP_MULTIPLY: return 106;
    case SDL_SCANCODE_KP_PLUS: return 107;
    case SDL_SCANCODE_KP_MINUS: return 109;
    case SDL_SCANCODE_KP_DIVIDE: return 111;
    case SDL_SCANCODE_LSHIFT:
    case SDL_SCANCODE_RSHIFT: return 16;
    case SDL_SCANCODE_LCTRL:
    case SDL_SCANCODE_RCTRL: return 17;
    case SDL_SCANCODE_LALT:
    case SDL_SCANCODE_RALT: return 18;
    case SDL_SCANCODE_CAPSLOCK: return 20;
    case SDL_SCANCODE_NUMLOCKCLEAR: return 144;
    case SDL_SCANCODE_SCROLLLOCK: return 145;
    default: return 0;
    }
}

int PLAT_key_pc_scan(SDL_Scancode sc)
{
    // Letters A to Z, then the digit row 1 to 0, in SDL's (USB) order.
    static const unsigned char kLetters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                               0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                               0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
    static const unsigned char kPad[10] = {0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49, 0x52};
    if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return kLetters[sc - SDL_SCANCODE_A];
    if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_0) return 0x02 + (sc - SDL_SCANCODE_1);
    if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F10) return 0x3B + (sc - SDL_SCANCODE_F1);
    if (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_9) return kPad[sc - SDL_SCANCODE_KP_1];
    if (sc >= SDL_SCANCODE_F13 && sc <= SDL_SCANCODE_F23) return 0x64 + (sc - SDL_SCANCODE_F13);
    switch (sc) {
    case SDL_SCANCODE_RETURN: return 0x1C;
    case SDL_SCANCODE_ESCAPE: return 0x01;
    case SDL_SCANCODE_BACKSPACE: return 0x0E;
    case SDL_SCANCODE_TAB: return 0x0F;
    case SDL_SCANCODE_SPACE: return 0x39;
    case SDL_SCANCODE_MINUS: return 0x0C;
    case SDL_SCANCODE_EQUALS: return 0x0D;
    case SDL_SCANCODE_LEFTBRACKET: return 0x1A;
    case SDL_SCANCODE_RIGHTBRACKET: return 0x1B;
    case SDL_SCANCODE_BACKSLASH:
    case SDL_SCANCODE_NONUSHASH: return 0x2B;
    case SDL_SCANCODE_SEMICOLON: return 0x27;
    case SDL_SCANCODE_APOSTROPHE: return 0x28;
    case SDL_SCANCODE_GRAVE: return 0x29;
    case SDL_SCANCODE_COMMA: return 0x33;
    case SDL_SCANCODE_PERIOD: return 0x34;
    case SDL_SCANCODE_SLASH: return 0x35;
    case SDL_SCANCODE_CAPSLOCK: return 0x3A;
    case SDL_SCANCODE_F11: return 0x57;
    case SDL_SCANCODE_F12: return 0x58;
    case SDL_SCANCODE_F24: return 0x76;
    case SDL_SCANCODE_PRINTSCREEN: return 0x37;
    case SDL_SCANCODE_SCROLLLOCK: return 0x46;
    case SDL_SCANCODE_PAUSE: return 0x45;
    case SDL_SCANCODE_INSERT: return 0x52;
    case SDL_SCANCODE_HOME: return 0x47;
    case SDL_SCANCODE_PAGEUP: return 0x49;
    case SDL_SCANCODE_DELETE: return 0x53;
    case SDL_SCANCODE_END: return 0x4F;
    case SDL_SCANCODE_PAGEDOWN: return 0x51;
    case SDL_SCANCODE_RIGHT: return 0x4D;
    case SDL_SCANCODE_LEFT: return 0x4B;
    case SDL_SCANCODE_DOWN: return 0x50;
    case SDL_SCANCODE_UP: return 0x48;
    case SDL_SCANCODE_NUMLOCKCLEAR: return 0x45;
    case SDL_SCANCODE_KP_DIVIDE: return 0x35;
    case SDL_SCANCODE_KP_MULTIPLY: return 0x37;
    case SDL_SCANCODE_KP_MINUS: return 0x4A;
    case SDL_SCANCODE_KP_PLUS: return 0x4E;
    case SDL_SCANCODE_KP_ENTER: return 0x1C;
    case SDL_SCANCODE_KP_0: return 0x52;
    case SDL_SCANCODE_KP_PERIOD: return 0x53;
    case SDL_SCANCODE_NONUSBACKSLASH: return 0x56;
    case SDL_SCANCODE_APPLICATION: return 0x5D;
    case SDL_SCANCODE_INTERNATIONAL1: return 0x73;
    case SDL_SCANCODE_INTERNATIONAL3: return 0x7D;
    case SDL_SCANCODE_LCTRL:
    case SDL_SCANCODE_RCTRL: return 0x1D;
    case SDL_SCANCODE_LSHIFT: return 0x2A;
    case SDL_SCANCODE_RSHIFT: return 0x36;
    case SDL_SCANCODE_LALT:
    case SDL_SCANCODE_RALT: return 0x38;
    case SDL_SCANCODE_LGUI: return 0x5B;
    case SDL_SCANCODE_RGUI: return 0x5C;
    default: return 0;
    }
}

static Display* gKeyDisplay = nullptr;
static unsigned gKeyCode = 0;  // X key code of the last native key event, 0 for none
static unsigned gKeyState = 0; // its modifier state

void PLAT_key_watch_native()
{
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
}

void PLAT_key_note_native(const SDL_Event& e)
{
    const SDL_SysWMmsg* m = e.syswm.msg;
    if (!m || m->subsystem != SDL_SYSWM_X11) return;
    const XEvent& x = m->msg.x11.event;
    if (x.type != KeyPress && x.type != KeyRelease) return;
    gKeyDisplay = x.xkey.display;
    gKeyCode = x.xkey.keycode;
    gKeyState = x.xkey.state;
}

int PLAT_key_altgr()
{
    if (!gKeyDisplay) return 0;
    const unsigned level3 = XkbKeysymToModifiers(gKeyDisplay, XKB_KEY_ISO_Level3_Shift) |
                            XkbKeysymToModifiers(gKeyDisplay, XKB_KEY_Mode_switch);
    return (gKeyState & level3) ? 1 : 0;
}

// The level of the key's type that the modifiers select in this group (XKB's own rule).
static int level_of(XkbDescPtr desc, unsigned kc, int group, unsigned mods)
{
    const XkbKeyTypePtr type = XkbKeyKeyType(desc, kc, group);
    if (!type) return 0;
    mods &= type->mods.mask;
    for (int i = 0; i < type->map_count; ++i)
        if (type->map[i].active && type->map[i].mods.mask == mods) return type->map[i].level;
    return 0;
}

void PLAT_key_layout_chars(SDL_Keycode sym, int* plain, int* shifted)
{
    *plain = 0;
    *shifted = 0;
    const unsigned kc = gKeyCode;
    gKeyCode = 0;
    if (!gKeyDisplay || kc == 0) {
        if (sym > 0 && sym < 0x110000) *plain = sym;
        return;
    }
    // Read afresh for every key: the layout can change under a running program (setxkbmap), and
    // a key is rare enough for the round trip.
    XkbStateRec state;
    if (XkbGetState(gKeyDisplay, XkbUseCoreKbd, &state) != Success) return;
    XkbDescPtr desc = XkbGetMap(gKeyDisplay, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
    if (!desc) return;
    if (kc >= desc->min_key_code && kc <= desc->max_key_code) {
        const int groups = XkbKeyNumGroups(desc, kc);
        if (groups > 0) {
            const int group = state.group % groups;
            const int width = XkbKeyGroupWidth(desc, kc, group);
            const int lp = level_of(desc, kc, group, 0), ls = level_of(desc, kc, group, ShiftMask);
            if (lp < width) *plain = (int)xkb_keysym_to_utf32((xkb_keysym_t)XkbKeySymEntry(desc, kc, lp, group));
            if (ls < width) *shifted = (int)xkb_keysym_to_utf32((xkb_keysym_t)XkbKeySymEntry(desc, kc, ls, group));
        }
    }
    XkbFreeKeyboard(desc, 0, True);
}
