// The clipboard text on SDL2 (see plat_clipboard.h).
#include "platform/plat_clipboard.h"

#include <SDL.h>

int PLAT_clipboard_get_text(std::string& out)
{
    out.clear();
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return 0;
    // SDL answers "" both for no text and for an empty one.
    char* text = SDL_GetClipboardText();
    if (!text) return 0;
    out = text;
    SDL_free(text);
    return out.empty() ? 0 : 1;
}

int PLAT_clipboard_set_text(const std::string& text)
{
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return -1;
    return SDL_SetClipboardText(text.c_str()) == 0 ? 0 : -1;
}
