// Keyboard translation and key bindings (see hl_keyboard.h).
#include "frame/hl_keyboard.h"

// No key is translated yet.
void KEY_handle_message(const PLAT_event&)
{
}

void KEY_process_bindings()
{
}
