// What the window events need to describe a key as the desktop's key messages do: virtual-key
// numbers and PC scan codes by SDL scancode, and the layout's characters of an X key code.
// Used by plat_window.cpp only.
#pragma once
#include <SDL.h>

// The virtual-key number of the keys coded by it (see PLAT_VK_... in plat_window.h), else 0.
int PLAT_key_vk(SDL_Scancode sc, int num_lock);
// The PC scan code (set 1, without E0) of the key, 0 when it has none.
int PLAT_key_pc_scan(SDL_Scancode sc);
// Makes SDL hand over the X events behind its key events (called once the video is up).
void PLAT_key_watch_native();
// Notes the X key code of a native key event; the key event SDL makes of it follows.
void PLAT_key_note_native(const SDL_Event& e);
// 1 when the key last noted came with the layout's third-level shift (AltGr) down.
int PLAT_key_altgr();
// The current layout's characters of the key last noted (unshifted and shifted), as code points;
// 0 for none. Falls back on SDL's symbol for the unshifted one when no X key was noted.
void PLAT_key_layout_chars(SDL_Keycode sym, int* plain, int* shifted);
