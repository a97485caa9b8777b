// Menus and pop-up lists: one table of menus (bar titles, pull-down menus, sub-menus) and one
// reserved entry that shows the pop-up list of a drop-down button. The table hit-tests presses
// and releases, reports a chosen item and draws the open menu over the frame. This program
// makes no menus, so the bar never shows; only the reserved entry is ever used.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct MENU_item {
    std::string label; // empty: a free slot; "-...": a separator; "=...": text that is never chosen
    int32_t id = 0;    // the command handed to the application when the item is chosen
    int16_t left = 0, bottom = 0, right = 0, top = 0; // UI units, edges included
};

struct MENU_entry {
    std::string name;   // the title in the bar, empty for a free entry
    int32_t parent = -1; // -1 for a top-level title, else the entry this sub-menu opens from
    int16_t left = 0, bottom = 0, right = 0, top = 0; // where the title is hit and highlighted
    std::vector<MENU_item> items;
};

const int MENU_ENTRY_COUNT = 1520;
const int MENU_POPUP_LIST = 1519; // the reserved entry of the pop-up lists

struct MENU_table {
    std::vector<MENU_entry> entries;
    int32_t open = -1;          // index of the open menu, -1 for none
    int32_t dropdown_owner = 0; // the drop-down button whose list is showing, 0 none
    int32_t chosen_owner = 0;   // the drop-down button for which a choice waits, 0 none
    int32_t chosen_index = 0;   // the chosen line of that list
};
extern MENU_table gMenus;

// Where a chosen item of an ordinary menu goes: the application's start-up points it at
// app_menu_command, a test at its stand-in; while it is null the choice goes nowhere.
extern void (*gMenuCommandHook)(int32_t id);

// With 1, empties the table and makes its 1520 free entries; any other value does nothing.
void MENU_init(int first);
// Non-zero when a menu is open and the pointer lies over another top-level menu title.
int MENU_mouse_over_title();
// The press of either button, before any widget sees it: opens or closes a title, chooses an
// item, or closes the open menu.
void MENU_press();
// The release of either button, once it is no click in place.
void MENU_release();
// Chooses the item of the open menu under the pointer; 1 when one was chosen.
int MENU_hit_item();
// Shows labels[0..last_index] as the pop-up list, centred on x, the line anchor at height y; the
// list moves one line per frame towards the inside of the popup, and anchor moves with it (held
// within 0 and last_index). Called every frame while the list shows.
void MENU_popup_list(float x, float y, float width, int last_index, const std::string* labels, int& anchor);
// Forgets which drop-down button owns the pop-up list.
void MENU_clear_dropdown_owner();
// Marks the reserved pop-up-list entry's rectangle empty; called when a popup opens.
void MENU_clear_rects();
void MENU_draw_bar();
void MENU_draw();
