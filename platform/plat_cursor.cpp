// The mouse pointer on SDL2 (see plat_cursor.h).
#include "platform/plat_cursor.h"

#include <SDL.h>

static PLAT_cursor_counts gCounts;
static int gLastShow = -1; // the state the previous call asked for, -1 before the first
static SDL_Cursor* gArrow = nullptr;

void PLAT_cursor_show(int show)
{
    show = show ? 1 : 0;
    if (show) ++gCounts.shows;
    else ++gCounts.hides;
    if (show == gLastShow) ++gCounts.repeats;
    gLastShow = show;
    // Without a display there is no pointer; the count still records what was asked.
    if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

void PLAT_cursor_set_arrow()
{
    ++gCounts.arrows;
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
    if (!gArrow) gArrow = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
    // SDL's own default on X is the root window's pointer, not an arrow.
    if (gArrow) SDL_SetCursor(gArrow);
}

void PLAT_cursor_release()
{
    if (gArrow && SDL_WasInit(SDL_INIT_VIDEO)) SDL_FreeCursor(gArrow);
    gArrow = nullptr;
}

PLAT_cursor_counts PLAT_cursor_get_counts()
{
    return gCounts;
}
