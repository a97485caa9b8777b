// The program's windows with their OpenGL contexts, the monitors' display modes, and the input
// events of the windows, delivered one by one to the registered window procedure.
#pragma once

#include <cstdint>

struct PLAT_window;     // a top-level window that OpenGL draws into
struct PLAT_gl_context; // an OpenGL rendering context

enum PLAT_event_kind {
    PLAT_EV_NONE = 0,
    PLAT_EV_CREATE,      // the window was made; delivered once through the pump, like any event
    PLAT_EV_CLOSE,       // the user asked to close the window, or the process was told to quit
    PLAT_EV_PAINT,       // part of the window was uncovered and must be drawn again
    PLAT_EV_MOUSE_MOVE,  // x, y
    PLAT_EV_BUTTON_DOWN, // button, x, y
    PLAT_EV_BUTTON_UP,   // button, x, y
    PLAT_EV_WHEEL,       // wheel
    PLAT_EV_KEY_DOWN,    // key, scancode, mods, repeat and the key's translation fields
    PLAT_EV_KEY_UP,      // the same, without repeat
    // A key pressed or released with Alt and without Ctrl, or F10: the desktop's own keys, which
    // the program's keyboard translation leaves alone. Same fields as the plain key events.
    PLAT_EV_SYS_KEY_DOWN,
    PLAT_EV_SYS_KEY_UP,
};

enum { PLAT_BUTTON_LEFT = 1, PLAT_BUTTON_RIGHT = 2, PLAT_BUTTON_MIDDLE = 3 };
enum { PLAT_MOD_SHIFT = 1, PLAT_MOD_ALT = 2, PLAT_MOD_CTRL = 4 };
enum { PLAT_WHEEL_STEP = 120 }; // wheel travel of one notch
// Key symbols of the keys the frame reacts to by themselves (the layout's symbol of any key).
enum {
    PLAT_KEY_BACKSPACE = 8,
    PLAT_KEY_RETURN = 13,
    PLAT_KEY_ESCAPE = 27,
    PLAT_KEY_DELETE = 127,
    PLAT_KEY_KP_ENTER = (1 << 30) | 88,
};

struct PLAT_event {
    int kind = PLAT_EV_NONE;
    PLAT_window* window = nullptr; // the window the event is for; null when it names none
    int x = 0, y = 0;              // pointer in pixels from the client area's top-left corner
    int button = 0;                // PLAT_BUTTON_...
    int wheel = 0;                 // PLAT_WHEEL_STEP per notch, positive away from the user
    int key = 0;                   // the key's symbol as the keyboard layout gives it
    int scancode = 0;              // the physical key
    int mods = 0;                  // PLAT_MOD_... bits held with the key or the button
    int repeat = 0;                // 1 for a key-down repeated by the keyboard
    // What the keyboard translation reads of a key, as the desktop's own key messages carry it:
    int vk = 0;         // virtual-key number of the keys coded by it (PLAT_VK_...), else 0
    int pc_scan = 0;    // PC scan code, set 1, without the E0 prefix of the extended keys
    int ch = 0;         // the character the key typed (a code point), 0 for none
    int ch_plain = 0;   // the layout's character for the key without modifiers, 0 for none
    int ch_shifted = 0; // the layout's character for the key with Shift, 0 for none
    int text_only = 0;  // 1: a character that came without a key of its own (compose, input
                        // method, a key code made up by the sender); vk and pc_scan are 0
    uint64_t time_ms = 0; // when the platform took the event in, on PLAT_event_clock_ms's clock
};

// The clock of PLAT_event::time_ms: milliseconds since the platform's start, never wrapping.
uint64_t PLAT_event_clock_ms();
// The time on that clock of an event stamped with the low 32 bits of it, taken in at or before
// now (a clock reading); right while the stamp is less than 2^32 ms old, across the low bits' wrap.
uint64_t PLAT_event_time_from_stamp(uint32_t stamp, uint64_t now);

// The virtual-key numbers set in PLAT_event::vk: Backspace 8, Tab 9, Clear 12 (keypad 5 without
// Num Lock), Return 13 (also keypad Enter), Escape 27, Space 32, Page Up 33 ... Help 47, keypad
// digits 96 to 105 with Num Lock (else the navigation key they carry), keypad operators 106 to
// 111, F1 to F24 112 to 135, and the modifier keys below, which the translation skips.
enum {
    PLAT_VK_SHIFT = 16,
    PLAT_VK_CONTROL = 17,
    PLAT_VK_ALT = 18,
    PLAT_VK_CAPS_LOCK = 20,
    PLAT_VK_NUM_LOCK = 144,
    PLAT_VK_SCROLL_LOCK = 145,
};

typedef void (*PLAT_window_proc)(const PLAT_event& ev);

// The procedure that receives every event of the program's windows. Without it no window
// learns that it was made.
void PLAT_register_window_class(const char* name, PLAT_window_proc proc);
// Forgets the procedure and closes the display connection once no window is left.
void PLAT_unregister_window_class(const char* name);

// Takes every waiting event and hands each to the window procedure, a quit signal first as a
// PLAT_EV_CLOSE without a window; returns how many there were (events the procedure has no kind
// for count too).
int PLAT_pump_events();
// Sleeps until an event is waiting or ms milliseconds have passed; takes no event.
void PLAT_wait_event(int ms);
// The longest time between two presses that makes them a double click, in milliseconds.
int PLAT_double_click_ms();

// ---- monitors and display modes; every call answers -1 when there is no display ----
struct PLAT_display_mode {
    int width = 0, height = 0, bits = 0, hz = 0; // hz 0: the display does not tell
};
int PLAT_display_count();
int PLAT_display_bounds(int display, int* x, int* y, int* w, int* h); // 0 or -1
int PLAT_display_current_mode(int display, PLAT_display_mode* out); // 0 or -1
int PLAT_display_mode_count(int display);                           // -1 without a display
int PLAT_display_mode_at(int display, int index, PLAT_display_mode* out); // 0 or -1
// Asked, when set, for the modes a display says it offers, the desktop's current one first: how
// many it wrote into out (at most max), 0 for the display's own list. Only tests set it, to reach
// other desktops and offers than the test's X server has; a switch still goes to the server,
// which takes it only when it really has such a mode.
extern int (*PLAT_display_modes_hook)(int display, PLAT_display_mode* out, int max);

// ---- windows with OpenGL ----
// What the window's drawing surface holds. depth_bits is a wish: when no surface has that many,
// the nearest smaller one is taken (24, then 16). samples 0 means no multisampling.
struct PLAT_gl_format {
    int color_bits = 24;
    int alpha_bits = 0;
    int depth_bits = 32;
    int stencil_bits = 0;
    int double_buffer = 1;
    int samples = 0;
};

// Makes a hidden window whose client area is w x h at (x, y), with a frame when bordered, and
// queues a PLAT_EV_CREATE for it. Null when the window or its surface cannot be made.
PLAT_window* PLAT_create_gl_window(const char* title, int x, int y, int w, int h, int bordered,
                                   const PLAT_gl_format& format);
// 1 when a window with this surface could be made (tried on a small hidden window).
int PLAT_gl_format_available(const PLAT_gl_format& format);
void PLAT_show_window(PLAT_window* w);
void PLAT_destroy_window(PLAT_window* w);

// Sets up the next context for the window's own surface format: 0, or -1 when the window has
// no OpenGL surface.
int PLAT_gl_use_window_format(PLAT_window* w);
// A context for the window's surface; with share set it shares objects with the current context.
// The new context is not left current.
PLAT_gl_context* PLAT_gl_create_context(PLAT_window* w, int share_with_current);
// Why the last failed window or OpenGL call of this thread failed, in the system's words.
const char* PLAT_gl_error();
void PLAT_gl_delete_context(PLAT_gl_context* c);
// Makes c current on w (c null: no context current). 0 or -1.
int PLAT_gl_make_current(PLAT_window* w, PLAT_gl_context* c);
// Asked, when set, by PLAT_gl_use_window_format, PLAT_gl_create_context and PLAT_gl_make_current
// before they do anything: a non-zero answer makes the call fail, with the reason "refused on
// request". Only tests set it, to reach the failure paths of the callers.
extern int (*PLAT_gl_refuse_hook)(const char* call);
void PLAT_gl_swap(PLAT_window* w);
// 0 when the driver took the swap interval; -1 when it has no entry point for setting one;
// -2 when it has one but refused this interval.
int PLAT_gl_set_swap_interval(int interval);
// 1 when the current context advertises the OpenGL extension.
int PLAT_gl_has_extension(const char* name);
// The driver's address for an OpenGL function name, or null. GLX answers for any name, so
// whether the driver really has the function is for the caller to decide.
void* PLAT_gl_get_proc_address(const char* name);

// ---- moving and restyling a window that exists ----
void PLAT_window_set_bordered(PLAT_window* w, int bordered);
// Places the client area at (x, y) with size w x h.
void PLAT_window_set_client_rect(PLAT_window* w, int x, int y, int width, int height);
void PLAT_window_get_client_rect(PLAT_window* w, int* x, int* y, int* width, int* height);
// Shows the window full screen in this display mode (mode null: back to a plain window and the
// desktop's own mode). 0, or -1 when no listed mode matches or the screen did not take it, an X
// error during the switch included (the window is then left plain and the screen keeps, or gets
// back, the desktop's own mode).
int PLAT_window_set_fullscreen(PLAT_window* w, const PLAT_display_mode* mode);
int PLAT_window_is_fullscreen(PLAT_window* w);
