// Keyboard translation and key bindings (see hl_keyboard.h).
#include "frame/hl_keyboard.h"

#include "frame/hl_event.h"
#include "graphics/OGL_view.h"
#include "platform/plat_window.h"

// Until keys are translated into the program's key codes, a key-down only raises the frame's
// Return, Escape and Delete flags; a popup with a close box closes on Return or Escape, while
// the alert and the dialogs 994 to 999 read the flags in their own loops.
void KEY_handle_message(const PLAT_event& ev)
{
    if (ev.kind != PLAT_EV_KEY_DOWN) return;
    if (ev.key == PLAT_KEY_RETURN || ev.key == PLAT_KEY_KP_ENTER) gKeyEnter = 1;
    if (ev.key == PLAT_KEY_ESCAPE) gKeyEscape = 1;
    if (ev.key == PLAT_KEY_DELETE || ev.key == PLAT_KEY_BACKSPACE) gKeyDelete = 1;
    const bool own_keys = gPopup >= 994 && gPopup <= 999;
    if (gPopup > 0 && !own_keys && (gKeyEnter || gKeyEscape)) hl_close_window();
}

void KEY_process_bindings()
{
}
