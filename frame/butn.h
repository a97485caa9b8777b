// Immediate-mode widgets and their labels. A label carries its own layout: the text left of the
// widget, the text right of it after '|', and the hover help after '{'.
#pragma once
// BTN_split_label lives in the foundation, where the translation check uses it too.
#include "foundation/label_split.h"

#include <string>
#include <vector>

// Draws one part of a label: align 0 ends it at x, 1 centres it on x, 2 starts it at x; in colour
// 95 when highlighted, else 52. A long part (more than 12 bytes, unless it begins with "-", which
// is not drawn) is broken into two lines near its middle, except when centred.
void BTN_draw_label(float x, float y, int align, const std::string& text, int highlight);
// The lines BTN_draw_label draws: 1 with the part broken into first and second, 0 with one line.
int BTN_label_lines(const std::string& text, int align, std::string& first, std::string& second);

// ---- keyboard focus ----
// Focus is a widget id plus the ring of the focusable widgets drawn in the last frame, in drawing
// order (the Tab order). Each registers every frame with its key queue and the keys it takes.

// Which keys a widget takes; a key no bit covers goes on to the rest of the keyboard handling.
enum BTN_key_filter {
    key_filter_tab = 0x1,         // key code 9
    key_filter_enter = 0x2,       // key codes 13 and 187
    key_filter_delete = 0x4,      // Backspace 8 and Delete 46
    key_filter_escape = 0x8,      // key code 27
    key_filter_move = 0x10,       // key codes 33 to 40: pages, End, Home, arrows
    key_filter_letters = 0x20,    // characters A to Z and a to z
    key_filter_digits = 0x40,     // characters 0 to 9
    key_filter_sign = 0x80,       // characters + and -
    key_filter_printable = 0x100, // other printable characters below 128, and every one from 128
    key_filter_clipboard = 0x200, // Ctrl with key codes 65, 67, 86, 88; Shift with Insert 45
    key_filter_other = 0x400,     // everything else
};

// One focusable widget of the ring: its id and its key queue (arrays the widget owns).
struct BTN_focus_entry {
    int id;
    int* chars;
    int* keys;
    int* flags;
    int* ids; // the focused id at the time each key was queued
    int* count;
    int capacity;
    int mask; // BTN_key_filter bits
};

// The key queue all text fields share.
enum { BTN_FIELD_KEYS = 64 };
struct BTN_key_queue {
    int chars[BTN_FIELD_KEYS];
    int keys[BTN_FIELD_KEYS];
    int flags[BTN_FIELD_KEYS];
    int ids[BTN_FIELD_KEYS];
    int count;
};
extern BTN_key_queue gFieldKeys;

extern int gFocusId; // the widget holding the focus, 0 for none
extern std::vector<BTN_focus_entry> gFocusRing;

// Starts the keyboard focus ring of this frame.
void BTN_focus_begin_frame();
// Takes the keyboard focus from whatever widget holds it.
void BTN_clear_focus();
// Adds a widget to this frame's ring; with take it gets the focus. 1 when it holds the focus.
int BTN_register_focus(int id, int* chars, int* keys, int* flags, int* ids, int* count, int capacity, int mask,
                       int take);
// The BTN_key_filter bit that a key falls under.
int BTN_key_class(int character, int key, int modifiers);
// 1 when a key must wait for the next frame: the focused widget would queue it but its queue is
// full, or would not and its queue still holds keys, which must reach it first.
int BTN_key_waits(int character, int key, int modifiers);
// Offers a key to the focused widget (Tab moves the focus when that widget does not take it).
// 1 when taken: the keyboard translation then does nothing more with it.
int BTN_handle_key(int character, int key, int modifiers);
// Draws the two close boxes of the open popup's title bar, pressed or not; 1 when the mouse went
// down this frame inside either.
int BTN_corner_boxes(int pressed);

// ---- frames, panels and widgets: coordinates in UI units from the open popup's origin ----
// A widget draws itself, hit-tests the mouse (bounds included) while no menu is open, assigns its
// help text to gHoverHelp while under the mouse, and returns 1 on the frame of the click.

// One textured quad of the interface sheet centred at (x, y), showing the texels u +- half_w,
// v +- half_h, in a colour-table colour.
void BTN_draw_sprite(float x, float y, float u, float v, float half_w, float half_h, int colour);
// A bar of bar style 0 to 5 or 7 to 13, centred at (x, y), width wide. Another style is a crash
// alert.
void BTN_frame1(int style, float x, float y, float width, int colour);
// A box of box style 14 to 23 around the rectangle (x, y, w, h), with its title. Another style is
// a crash alert.
void BTN_frame2(int style, float x, float y, float w, float h, const std::string& title, float alpha);
// Frames the whole open popup with its title: box style 15 for look 0, else 14. inner 1 adds the
// top bar, 24 nothing, any other value a box of that style inside.
void BTN_window_frame(int look, int inner);
// A titled panel: negative x or y become 10, a negative w reaches the popup's right edge less 10,
// a negative h its top less 28 and reserve. out_right and out_top (when given) receive where the
// next panel may start.
void BTN_panel(float reserve, int style, float x, float y, float w, float h, const std::string& title,
               float* out_right, float* out_top);
// A push button centred at (x, y); a width of 0 or less fits the face text. down draws it held;
// kind 0 never flashes, 2 highlights the face while down. side_text ("-" none) is drawn right of it.
int BTN_push_button(float x, float y, float w, int down, int kind, const std::string& label,
                    const std::string& side_text);
// A check box (look 0) or a box with radio-button artwork (look 1) at (x, y); a click flips *value
// between 0 and 1.
int BTN_check_box(float x, float y, int* value, const std::string& label, int look);
// A radio button standing for choice; a click makes *value choice (a chosen one stays as it is).
int BTN_radio_button(float x, float y, int* value, int choice, const std::string& label);

// The drop-down chooser: a box at (x, y) (the centre of the chosen item's text, popup units)
// showing item *selection of items, each item ended by separator (the text after the last one
// is the last item), with label's left and right texts beside it. A press on the box opens the
// items as a pop-up list; returns 1 on the frame the choice is written into *selection. The
// selection is clamped to the items and, while the list shows near a popup edge, moves with the
// list: a caller whose value must not change until a choice passes a copy.
int BTN_text_list(float x, float y, int* selection, const std::string& items, const std::string& label,
                  char separator);
// The id of the drop-down at (x, y): the owner recorded in the menu table.
int BTN_text_list_id(float x, float y);
// The drawn width of a list whose widest item measures w units, in UI language language.
float BTN_text_list_width(float w, int language);
// Where a drop-down at x with drawn width ws has its box's ends (about: the bar rounds them),
// where its left text ends and where its right text starts.
struct BTN_list_edges {
    float box_left, box_right, left_end, right_start;
};
BTN_list_edges BTN_text_list_edges(float x, float ws);

// The one-line text field: edits text in place through the shared text engine while it holds
// the keyboard focus; max_length in bytes; want_focus asks for the focus when no widget has it.
// Returns 1 when the text changed during this call.
int BTN_text_field(float x, float y, std::string& text, unsigned max_length, const std::string& label, float width,
                   int want_focus);
