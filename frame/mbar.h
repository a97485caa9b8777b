// Menus and pop-up lists. Filled in by their own unit later; the frame and the window
// procedure already call them.
#pragma once

// Non-zero when a menu is open and the pointer lies over another top-level menu title.
int MENU_mouse_over_title();
void MENU_press();
void MENU_release();
// Forgets which drop-down button owns the pop-up list.
void MENU_clear_dropdown_owner();
void MENU_draw_bar();
void MENU_draw();
// Makes the menu table; this program creates no menus.
void MENU_init(int first);
