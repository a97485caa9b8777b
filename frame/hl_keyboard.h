// Keyboard translation and key bindings. Filled in by its own unit later; the window procedure
// and the frame already call it.
#pragma once

struct PLAT_event;

// Turns a key-down or key-up event of the window into the program's key events.
void KEY_handle_message(const PLAT_event& ev);
// The per-frame pass over the key bindings (it runs no command).
void KEY_process_bindings();
