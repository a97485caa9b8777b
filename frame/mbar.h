// Menus and pop-up lists. Filled in by their own unit later; the frame and the window
// procedure already call them.
#pragma once
#include <cstdint>

// The menu table: so far only the open-menu index that widgets read before they hit-test, and
// the owners of a pop-up list. The menus themselves come with their own unit.
struct MENU_table {
    int32_t open = -1;          // index of the open menu, -1 for none
    int32_t dropdown_owner = 0; // the drop-down button whose list is showing, 0 none
    int32_t chosen_owner = 0;   // the drop-down button for which a choice waits, 0 none
    int32_t chosen_index = 0;   // the chosen line of that list
};
extern MENU_table gMenus;

// Non-zero when a menu is open and the pointer lies over another top-level menu title.
int MENU_mouse_over_title();
void MENU_press();
void MENU_release();
// Forgets which drop-down button owns the pop-up list.
void MENU_clear_dropdown_owner();
void MENU_draw_bar();
void MENU_draw();
// Marks the reserved pop-up-list entry's rectangle empty; called when a popup opens.
void MENU_clear_rects();
// Makes the menu table; this program creates no menus.
void MENU_init(int first);
