// Menus and pop-up lists (see mbar.h).
#include "frame/mbar.h"

MENU_table gMenus;

// No menu exists yet, so none is ever open.
int MENU_mouse_over_title()
{
    return 0;
}

void MENU_press()
{
}

void MENU_release()
{
}

void MENU_clear_dropdown_owner()
{
}

void MENU_draw_bar()
{
}

void MENU_draw()
{
}

void MENU_clear_rects()
{
}

void MENU_init(int)
{
}
