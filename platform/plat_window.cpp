// Windows, OpenGL contexts, display modes and window events on SDL2 (see plat_window.h).
#include "platform/plat_window.h"

#include "platform/plat_cursor.h"
#include "platform/plat_keymap.h"
#include "platform/plat_system.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/extensions/Xrandr.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <strings.h>
#include <poll.h>

static_assert(PLAT_KEY_BACKSPACE == (int)SDLK_BACKSPACE && PLAT_KEY_RETURN == (int)SDLK_RETURN &&
                  PLAT_KEY_ESCAPE == (int)SDLK_ESCAPE && PLAT_KEY_DELETE == (int)SDLK_DELETE &&
                  PLAT_KEY_KP_ENTER == (int)SDLK_KP_ENTER,
              "the key symbols are SDL's");

static PLAT_window_proc gProc = nullptr;
static Uint32 gCreateEvent = (Uint32)-1; // the event type that carries PLAT_EV_CREATE
static const char* kFormatKey = "plat_gl_format";
static int gLiveWindows = 0; // windows made by PLAT_create_gl_window and not yet destroyed

static SDL_Window* sdl(PLAT_window* w)
{
    return reinterpret_cast<SDL_Window*>(w);
}

static PLAT_window* plat(SDL_Window* w)
{
    return reinterpret_cast<PLAT_window*>(w);
}

// SDL's drivers for a display a person can see, in the order SDL_VIDEODRIVER gives (else SDL's
// own), each only when its display is named. Left to itself SDL would fall back to an off-screen
// driver and the program would run where nobody sees it.
static std::string visible_drivers()
{
    const char* asked = getenv("SDL_VIDEODRIVER");
    const std::string order = asked && asked[0] ? asked : "x11,wayland";
    const char* x11 = getenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    std::string out;
    size_t at = 0;
    while (at <= order.size()) {
        size_t end = order.find(',', at);
        if (end == std::string::npos) end = order.size();
        const std::string name = order.substr(at, end - at);
        const bool seen = (strcasecmp(name.c_str(), "x11") == 0 && x11 && x11[0]) ||
                          (strcasecmp(name.c_str(), "wayland") == 0 && wayland && wayland[0]);
        if (seen && out.find(name) == std::string::npos) out += (out.empty() ? "" : ",") + name;
        at = end + 1;
    }
    return out;
}

// The display connection is opened on first need; without a display nothing is tried.
static bool video_ready()
{
    if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
    const std::string drivers = visible_drivers();
    if (drivers.empty()) return false;
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, drivers.c_str(), SDL_HINT_OVERRIDE);
    // A full-screen window stays up when another window takes the focus, as on the desktop.
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    if (gCreateEvent == (Uint32)-1) gCreateEvent = SDL_RegisterEvents(1);
    // Characters come as text events behind their key-downs; the native events carry the key
    // code that the layout's characters are looked up by.
    SDL_StartTextInput();
    PLAT_key_watch_native();
    return true;
}

void PLAT_register_window_class(const char* /*name*/, PLAT_window_proc proc)
{
    gProc = proc;
}

void PLAT_unregister_window_class(const char* /*name*/)
{
    gProc = nullptr;
    // Closing the connection while a window still exists would pull it away from its owner.
    if (SDL_WasInit(SDL_INIT_VIDEO) && gLiveWindows == 0) {
        PLAT_cursor_release();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
}

// The modifiers as the last key event left them. SDL's own state is read when the events are
// handed out, by then past keys still queued behind a click (Shift released after a Shift+click).
static int sKeyMods = 0;

static bool translate(const SDL_Event& e, PLAT_event& out)
{
    switch (e.type) {
    case SDL_QUIT:
        out.kind = PLAT_EV_CLOSE;
        PLAT_note_close_request();
        return true;
    case SDL_WINDOWEVENT:
        out.window = plat(SDL_GetWindowFromID(e.window.windowID));
        if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
            out.kind = PLAT_EV_CLOSE;
            PLAT_note_close_request();
        } else if (e.window.event == SDL_WINDOWEVENT_EXPOSED) {
            out.kind = PLAT_EV_PAINT;
        } else {
            return false;
        }
        return true;
    case SDL_MOUSEMOTION:
        out.kind = PLAT_EV_MOUSE_MOVE;
        out.window = plat(SDL_GetWindowFromID(e.motion.windowID));
        out.x = e.motion.x;
        out.y = e.motion.y;
        return true;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        out.kind = e.type == SDL_MOUSEBUTTONDOWN ? PLAT_EV_BUTTON_DOWN : PLAT_EV_BUTTON_UP;
        out.window = plat(SDL_GetWindowFromID(e.button.windowID));
        out.x = e.button.x;
        out.y = e.button.y;
        out.mods = sKeyMods;
        if (e.button.button == SDL_BUTTON_LEFT) out.button = PLAT_BUTTON_LEFT;
        else if (e.button.button == SDL_BUTTON_RIGHT) out.button = PLAT_BUTTON_RIGHT;
        else if (e.button.button == SDL_BUTTON_MIDDLE) out.button = PLAT_BUTTON_MIDDLE;
        else return false;
        return true;
    case SDL_MOUSEWHEEL: {
        out.kind = PLAT_EV_WHEEL;
        out.window = plat(SDL_GetWindowFromID(e.wheel.windowID));
        double travel = e.wheel.preciseY * (double)PLAT_WHEEL_STEP;
        if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) travel = -travel;
        if (!(std::fabs(travel) < 1e6)) travel = 0; // nothing sensible can be that large
        out.wheel = (int)std::lround(travel);
        return true;
    }
    default:
        if (e.type == gCreateEvent) {
            out.kind = PLAT_EV_CREATE;
            out.window = plat(SDL_GetWindowFromID(e.user.windowID));
            return out.window != nullptr; // a window destroyed before its event came is gone
        }
        return false;
    }
}

// The first character of UTF-8 text as a code point; *len receives its length in bytes (0 at the
// end). A byte that starts no valid sequence stands for itself, one byte long.
static int next_code_point(const char* s, int* len)
{
    const unsigned char* u = (const unsigned char*)s;
    *len = 0;
    if (!u[0]) return 0;
    int n = u[0] < 0x80 ? 1 : (u[0] >> 5) == 6 ? 2 : (u[0] >> 4) == 14 ? 3 : (u[0] >> 3) == 30 ? 4 : 0;
    int cp = n == 1 ? u[0] : n == 2 ? (u[0] & 0x1F) : n == 3 ? (u[0] & 0x0F) : (u[0] & 0x07);
    for (int i = 1; i < n; ++i) {
        if ((u[i] & 0xC0) != 0x80) {
            n = 0;
            break;
        }
        cp = (cp << 6) | (u[i] & 0x3F);
    }
    if (n == 0) {
        *len = 1;
        return u[0];
    }
    *len = n;
    return cp;
}

static int key_mods(Uint16 m)
{
    int mods = ((m & KMOD_SHIFT) ? PLAT_MOD_SHIFT : 0) | ((m & KMOD_ALT) ? PLAT_MOD_ALT : 0) |
               ((m & KMOD_CTRL) ? PLAT_MOD_CTRL : 0);
    if (m & KMOD_MODE) mods |= PLAT_MOD_CTRL | PLAT_MOD_ALT;
    return mods;
}

// A key event with everything the translation reads; the key-down's text comes separately.
static void translate_key(const SDL_Event& e, PLAT_event& out)
{
    const SDL_Keysym& k = e.key.keysym;
    const bool down = e.type == SDL_KEYDOWN;
    out.window = plat(SDL_GetWindowFromID(e.key.windowID));
    out.key = k.sym;
    out.scancode = k.scancode;
    // AltGr (the layout's third level) is Ctrl and Alt on the desktop that the program knows,
    // and types its characters rather than being a desktop key.
    const bool altgr = (k.mod & KMOD_MODE) || ((k.mod & KMOD_RALT) && PLAT_key_altgr());
    out.mods = key_mods(k.mod) | (altgr ? PLAT_MOD_CTRL | PLAT_MOD_ALT : 0);
    sKeyMods = out.mods;
    out.repeat = down && e.key.repeat ? 1 : 0;
    out.vk = PLAT_key_vk(k.scancode, (k.mod & KMOD_NUM) ? 1 : 0);
    out.pc_scan = PLAT_key_pc_scan(k.scancode);
    PLAT_key_layout_chars(k.sym, &out.ch_plain, &out.ch_shifted);
    // Alt without Ctrl, and F10, belong to the desktop (its menu keys).
    const bool sys = ((k.mod & KMOD_ALT) && !(k.mod & KMOD_CTRL) && !altgr) || k.scancode == SDL_SCANCODE_F10;
    out.kind = sys ? (down ? PLAT_EV_SYS_KEY_DOWN : PLAT_EV_SYS_KEY_UP) : (down ? PLAT_EV_KEY_DOWN : PLAT_EV_KEY_UP);
    if (k.mod & KMOD_CTRL) {
        // With Ctrl a letter types its control code (Ctrl+C is 3), anything else nothing.
        out.ch = out.ch_plain >= 'a' && out.ch_plain <= 'z' ? out.ch_plain - 'a' + 1 : 0;
    } else if (!down) {
        out.ch = (k.mod & KMOD_SHIFT) ? out.ch_shifted : out.ch_plain;
    }
}

uint64_t PLAT_event_clock_ms()
{
    return SDL_GetTicks64();
}

// SDL stamps an event with the low 32 bits of its clock when it takes it in, which is before now:
// the whole time is now less the stamp's age, which stays right for 49 days.
uint64_t PLAT_event_time_from_stamp(uint32_t stamp, uint64_t now)
{
    return now - (uint32_t)((uint32_t)now - stamp);
}

int PLAT_pump_events()
{
    int n = 0;
    // A quit signal closes the program as the window's close box does.
    if (gProc && PLAT_take_quit_request()) {
        PLAT_event pe;
        pe.kind = PLAT_EV_CLOSE;
        gProc(pe);
        ++n;
    }
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return n;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        ++n;
        PLAT_event pe;
        pe.time_ms = PLAT_event_time_from_stamp(e.common.timestamp, SDL_GetTicks64());
        if (e.type == SDL_SYSWMEVENT) {
            PLAT_key_note_native(e);
            continue;
        }
        const char* text = nullptr; // characters still to deliver
        char kept[sizeof e.text.text];
        if (e.type == SDL_KEYDOWN || e.type == SDL_KEYUP) {
            translate_key(e, pe);
            // The text a key-down typed is queued right behind it.
            SDL_Event next;
            if (e.type == SDL_KEYDOWN && SDL_PeepEvents(&next, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1 &&
                next.type == SDL_TEXTINPUT) {
                SDL_PollEvent(&next);
                memcpy(kept, next.text.text, sizeof kept);
                kept[sizeof kept - 1] = 0;
                text = kept;
                int len = 0;
                const int cp = next_code_point(text, &len);
                if (!(e.key.keysym.mod & KMOD_CTRL)) pe.ch = cp;
                text += len;
                // Ctrl types nothing at all, and the desktop's keys type nothing in the program.
                if ((e.key.keysym.mod & KMOD_CTRL) || pe.kind == PLAT_EV_SYS_KEY_DOWN) text = nullptr;
            }
            if (gProc) gProc(pe);
        } else if (e.type == SDL_TEXTINPUT) {
            memcpy(kept, e.text.text, sizeof kept);
            kept[sizeof kept - 1] = 0;
            text = kept;
        } else if (translate(e, pe) && gProc) {
            gProc(pe);
        }
        // Text without a key of its own: one key-down per character.
        while (text && *text) {
            int len = 0;
            PLAT_event te;
            te.kind = PLAT_EV_KEY_DOWN;
            te.window = plat(SDL_GetKeyboardFocus());
            te.mods = key_mods((Uint16)SDL_GetModState());
            te.ch = te.ch_plain = te.ch_shifted = next_code_point(text, &len);
            te.text_only = 1;
            te.time_ms = pe.time_ms;
            text += len;
            if (gProc) gProc(te);
        }
    }
    return n;
}

// The X server connection of the current window, -1 when there is none or it is not X11.
static int x_connection_fd()
{
    SDL_Window* w = SDL_GL_GetCurrentWindow();
    if (!w) return -1;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(w, &info) || info.subsystem != SDL_SYSWM_X11 || !info.info.x11.display) return -1;
    return ConnectionNumber(info.info.x11.display);
}

void PLAT_wait_event(int ms)
{
    if (ms <= 0) return;
    if (!SDL_WasInit(SDL_INIT_VIDEO)) {
        SDL_Delay((Uint32)ms);
        return;
    }
    // Not SDL_WaitEventTimeout: when it times out it stays armed to wake the window it waited on,
    // so a later event (a window being destroyed pushes some) sends a message to that window over
    // a second connection, which can reach the server after the window is gone; Xlib then ends
    // the process with status 1. Instead the wait sleeps on the X connection itself, which wakes
    // it as soon as the server sends anything; every input arrives there, and the pump just before
    // the sleep has taken in whatever the buffer swap read off the connection. Without X it looks
    // every millisecond, which costs a pump and a wake-up each time (a sixth of an idle frame).
    const Uint64 until = SDL_GetTicks64() + (Uint64)ms;
    const int fd = x_connection_fd();
    for (;;) {
        SDL_PumpEvents();
        if (SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) return;
        const Uint64 now = SDL_GetTicks64();
        if (now >= until) return;
        if (fd < 0) {
            SDL_Delay(1);
            continue;
        }
        pollfd p = {fd, POLLIN, 0};
        (void)poll(&p, 1, (int)(until - now));
    }
}

// SDL cannot read the desktop's setting; its own double-click time is 500 ms.
int PLAT_double_click_ms()
{
    return 500;
}

// ---- monitors and display modes ----

static void to_plat(const SDL_DisplayMode& m, PLAT_display_mode* out)
{
    out->width = m.w;
    out->height = m.h;
    out->bits = (int)SDL_BITSPERPIXEL(m.format);
    out->hz = m.refresh_rate;
}

int PLAT_display_count()
{
    if (!video_ready()) return -1;
    return SDL_GetNumVideoDisplays();
}

int PLAT_display_bounds(int display, int* x, int* y, int* w, int* h)
{
    if (!video_ready()) return -1;
    SDL_Rect r;
    if (SDL_GetDisplayBounds(display, &r) != 0) return -1;
    if (x) *x = r.x;
    if (y) *y = r.y;
    if (w) *w = r.w;
    if (h) *h = r.h;
    return 0;
}

int (*PLAT_display_modes_hook)(int display, PLAT_display_mode* out, int max) = nullptr;

// The modes the hook lists for the display, when it lists any.
static bool test_modes(int display, std::vector<PLAT_display_mode>& out)
{
    if (!PLAT_display_modes_hook) return false;
    out.assign(64, PLAT_display_mode());
    const int n = PLAT_display_modes_hook(display, out.data(), (int)out.size());
    out.resize(n < 0 ? 0 : n > 64 ? 64 : n);
    return !out.empty();
}

int PLAT_display_current_mode(int display, PLAT_display_mode* out)
{
    if (!video_ready() || !out) return -1;
    std::vector<PLAT_display_mode> t;
    if (test_modes(display, t)) {
        *out = t[0];
        return 0;
    }
    SDL_DisplayMode m;
    if (SDL_GetCurrentDisplayMode(display, &m) != 0) return -1;
    to_plat(m, out);
    return 0;
}

int PLAT_display_mode_count(int display)
{
    if (!video_ready()) return -1;
    std::vector<PLAT_display_mode> t;
    if (test_modes(display, t)) return (int)t.size();
    int n = SDL_GetNumDisplayModes(display);
    return n < 0 ? -1 : n;
}

int PLAT_display_mode_at(int display, int index, PLAT_display_mode* out)
{
    if (!video_ready() || !out) return -1;
    std::vector<PLAT_display_mode> t;
    if (test_modes(display, t)) {
        if (index < 0 || index >= (int)t.size()) return -1;
        *out = t[index];
        return 0;
    }
    SDL_DisplayMode m;
    if (SDL_GetDisplayMode(display, index, &m) != 0) return -1;
    to_plat(m, out);
    return 0;
}

// SDL's record of the display's mode at index; a mode the hook listed is asked of the server in
// the desktop's pixel format.
static int sdl_mode_at(int display, int index, SDL_DisplayMode* out)
{
    std::vector<PLAT_display_mode> t;
    if (!test_modes(display, t)) return SDL_GetDisplayMode(display, index, out);
    if (index < 0 || index >= (int)t.size() || SDL_GetDesktopDisplayMode(display, out) != 0) return -1;
    out->w = t[index].width;
    out->h = t[index].height;
    out->refresh_rate = t[index].hz;
    out->driverdata = nullptr;
    return 0;
}

// ---- windows with OpenGL ----

static void set_gl_attributes(const PLAT_gl_format& f, int depth)
{
    SDL_GL_ResetAttributes();
    // A legacy context: the drawing code uses the fixed-function pipeline. No profile and no
    // version are asked for, so the driver's plain context call is used: it gives the newest
    // compatibility context, and drivers older than the version SDL would ask for still work.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, f.double_buffer ? 1 : 0);
    int c = f.color_bits & 0xFF;
    if (c == 0 || c >= 24) {
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    } else if (c >= 15) {
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 5);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 5);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 5);
    }
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, f.alpha_bits);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, f.stencil_bits);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, f.samples > 0 ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, f.samples > 0 ? f.samples : 0);
}

// Makes the window with the first depth that a surface offers, from the wished one downwards.
static SDL_Window* make_window(const char* title, int x, int y, int w, int h, Uint32 flags,
                               const PLAT_gl_format& f, int* depth_used)
{
    if (!video_ready()) return nullptr;
    if (w < 1) w = 1;
    if (h < 1) h = 1;
    const int tries[] = {f.depth_bits, 24, 16};
    for (int i = 0; i < 3; ++i) {
        int d = tries[i];
        if (i > 0 && d >= f.depth_bits) continue;
        set_gl_attributes(f, d);
        SDL_Window* win = SDL_CreateWindow(title, x, y, w, h, flags | SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (win) {
            if (depth_used) *depth_used = d;
            return win;
        }
    }
    return nullptr;
}

PLAT_window* PLAT_create_gl_window(const char* title, int x, int y, int w, int h, int bordered,
                                   const PLAT_gl_format& format)
{
    int depth = format.depth_bits;
    SDL_Window* win = make_window(title, x, y, w, h, bordered ? 0 : SDL_WINDOW_BORDERLESS, format, &depth);
    if (!win) return nullptr;
    // The context must be made for the same surface the window got.
    PLAT_gl_format* kept = new PLAT_gl_format(format);
    kept->depth_bits = depth;
    SDL_SetWindowData(win, kFormatKey, kept);
    ++gLiveWindows;
    SDL_Event e = {};
    e.type = gCreateEvent;
    e.user.windowID = SDL_GetWindowID(win);
    SDL_PushEvent(&e);
    return plat(win);
}

int PLAT_gl_format_available(const PLAT_gl_format& format)
{
    SDL_Window* win = make_window("", 0, 0, 16, 16, SDL_WINDOW_BORDERLESS, format, nullptr);
    if (!win) return 0;
    SDL_DestroyWindow(win);
    return 1;
}

void PLAT_show_window(PLAT_window* w)
{
    if (w) SDL_ShowWindow(sdl(w));
}

void PLAT_destroy_window(PLAT_window* w)
{
    if (!w) return;
    delete static_cast<PLAT_gl_format*>(SDL_SetWindowData(sdl(w), kFormatKey, nullptr));
    SDL_DestroyWindow(sdl(w));
    --gLiveWindows;
}

int (*PLAT_gl_refuse_hook)(const char* call) = nullptr;

static bool refused(const char* call)
{
    if (!PLAT_gl_refuse_hook || !PLAT_gl_refuse_hook(call)) return false;
    SDL_SetError("refused on request");
    return true;
}

int PLAT_gl_use_window_format(PLAT_window* w)
{
    if (refused("PLAT_gl_use_window_format")) return -1;
    auto* f = w ? static_cast<PLAT_gl_format*>(SDL_GetWindowData(sdl(w), kFormatKey)) : nullptr;
    if (!f) {
        SDL_SetError("the window has no OpenGL surface");
        return -1;
    }
    set_gl_attributes(*f, f->depth_bits);
    return 0;
}

const char* PLAT_gl_error()
{
    const char* e = SDL_GetError();
    return e && *e ? e : "no reason given";
}

PLAT_gl_context* PLAT_gl_create_context(PLAT_window* w, int share_with_current)
{
    if (!w || refused("PLAT_gl_create_context")) return nullptr;
    SDL_Window* keep_win = SDL_GL_GetCurrentWindow();
    SDL_GLContext keep_ctx = SDL_GL_GetCurrentContext();
    auto* f = static_cast<PLAT_gl_format*>(SDL_GetWindowData(sdl(w), kFormatKey));
    if (f) set_gl_attributes(*f, f->depth_bits);
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, share_with_current ? 1 : 0);
    SDL_GLContext c = SDL_GL_CreateContext(sdl(w));
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
    // Creating a context makes it current; the caller decides what is current.
    if (c) SDL_GL_MakeCurrent(keep_win, keep_ctx);
    return reinterpret_cast<PLAT_gl_context*>(c);
}

void PLAT_gl_delete_context(PLAT_gl_context* c)
{
    if (c) SDL_GL_DeleteContext(reinterpret_cast<SDL_GLContext>(c));
}

int PLAT_gl_make_current(PLAT_window* w, PLAT_gl_context* c)
{
    if (refused("PLAT_gl_make_current")) return -1;
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return -1;
    if (c && !w) return -1;
    return SDL_GL_MakeCurrent(sdl(w), reinterpret_cast<SDL_GLContext>(c)) == 0 ? 0 : -1;
}

void PLAT_gl_swap(PLAT_window* w)
{
    if (w) SDL_GL_SwapWindow(sdl(w));
}

int PLAT_gl_set_swap_interval(int interval)
{
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return -1;
    SDL_ClearError();
    if (SDL_GL_SetSwapInterval(interval) == 0) return 0;
    // SDL answers "... not supported" when it loaded none of the swap-control entry points
    // (their extensions are not advertised); any other failure is the driver's refusal.
    return strstr(SDL_GetError(), "not supported") ? -1 : -2;
}

int PLAT_gl_has_extension(const char* name)
{
    if (!SDL_WasInit(SDL_INIT_VIDEO) || !SDL_GL_GetCurrentContext()) return 0;
    return SDL_GL_ExtensionSupported(name) ? 1 : 0;
}

void* PLAT_gl_get_proc_address(const char* name)
{
    if (!name || !SDL_WasInit(SDL_INIT_VIDEO)) return nullptr;
    return SDL_GL_GetProcAddress(name);
}

// ---- moving and restyling ----

void PLAT_window_set_bordered(PLAT_window* w, int bordered)
{
    if (w) SDL_SetWindowBordered(sdl(w), bordered ? SDL_TRUE : SDL_FALSE);
}

void PLAT_window_set_client_rect(PLAT_window* w, int x, int y, int width, int height)
{
    if (!w) return;
    SDL_SetWindowPosition(sdl(w), x, y);
    SDL_SetWindowSize(sdl(w), width < 1 ? 1 : width, height < 1 ? 1 : height);
}

void PLAT_window_get_client_rect(PLAT_window* w, int* x, int* y, int* width, int* height)
{
    int a = 0, b = 0, c = 0, d = 0;
    if (w) {
        SDL_GetWindowPosition(sdl(w), &a, &b);
        SDL_GetWindowSize(sdl(w), &c, &d);
    }
    if (x) *x = a;
    if (y) *y = b;
    if (width) *width = c;
    if (height) *height = d;
}

// Xlib's own error handler ends the process. A switch the X server refuses can answer with an
// error (a mode too large for its video memory) after SDL has already switched the output off,
// which would leave a monitor dark: the errors of a switch are counted instead, and the screen's
// layout as it was before is put back.
static int sSwitchErrors = 0;

static int count_switch_error(Display*, XErrorEvent*)
{
    ++sSwitchErrors;
    return 0;
}

struct XCrtcSetting {
    RRCrtc crtc = 0;
    int x = 0, y = 0;
    RRMode mode = None;
    Rotation rotation = RR_Rotate_0;
    std::vector<RROutput> outputs;
};

// The screen's size and what every CRTC shows; dpy stays null without X or RandR.
struct XLayout {
    Display* dpy = nullptr;
    Window root = 0;
    unsigned w = 0, h = 0;
    int mm_w = 0, mm_h = 0;
    std::vector<XCrtcSetting> crtcs;
};

static unsigned screen_size(Display* dpy, Window root, unsigned* h)
{
    Window r;
    int x, y;
    unsigned w = 0, border, depth;
    *h = 0;
    XGetGeometry(dpy, root, &r, &x, &y, &w, h, &border, &depth);
    return w;
}

static void read_layout(SDL_Window* win, XLayout& l)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    int event_base, error_base;
    if (!SDL_GetWindowWMInfo(win, &info) || info.subsystem != SDL_SYSWM_X11 || !info.info.x11.display) return;
    Display* dpy = info.info.x11.display;
    if (!XRRQueryExtension(dpy, &event_base, &error_base)) return;
    XWindowAttributes a;
    if (!XGetWindowAttributes(dpy, info.info.x11.window, &a)) return;
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(dpy, a.root);
    if (!res) return;
    l.dpy = dpy;
    l.root = a.root;
    l.w = screen_size(dpy, a.root, &l.h);
    l.mm_w = WidthMMOfScreen(a.screen);
    l.mm_h = HeightMMOfScreen(a.screen);
    for (int i = 0; i < res->ncrtc; ++i) {
        XRRCrtcInfo* c = XRRGetCrtcInfo(dpy, res, res->crtcs[i]);
        if (!c) continue;
        l.crtcs.push_back({res->crtcs[i], c->x, c->y, c->mode, c->rotation,
                           std::vector<RROutput>(c->outputs, c->outputs + c->noutput)});
        XRRFreeCrtcInfo(c);
    }
    XRRFreeScreenResources(res);
}

// Every CRTC that changed is switched off first, so that the screen can take its old size, and
// then given its old setting again.
static void put_back(const XLayout& l)
{
    XRRScreenResources* res = l.dpy ? XRRGetScreenResourcesCurrent(l.dpy, l.root) : nullptr;
    if (!res) return;
    std::vector<XCrtcSetting> changed;
    for (const XCrtcSetting& s : l.crtcs) {
        XRRCrtcInfo* c = XRRGetCrtcInfo(l.dpy, res, s.crtc);
        if (!c) continue;
        if (c->mode != s.mode || c->x != s.x || c->y != s.y || c->rotation != s.rotation) {
            changed.push_back(s);
            XRRSetCrtcConfig(l.dpy, res, s.crtc, CurrentTime, 0, 0, None, c->rotation, nullptr, 0);
        }
        XRRFreeCrtcInfo(c);
    }
    unsigned h = 0;
    if (screen_size(l.dpy, l.root, &h) != l.w || h != l.h)
        XRRSetScreenSize(l.dpy, l.root, (int)l.w, (int)l.h, l.mm_w, l.mm_h);
    for (XCrtcSetting& s : changed)
        if (s.mode != None)
            XRRSetCrtcConfig(l.dpy, res, s.crtc, CurrentTime, s.x, s.y, s.mode, s.rotation, s.outputs.data(),
                             (int)s.outputs.size());
    XRRFreeScreenResources(res);
}

// Shows the window full screen in m; false, with the window plain and the screen as before, when
// SDL or the X server refused it.
static bool switch_to(SDL_Window* win, int display, SDL_DisplayMode m)
{
    XLayout before;
    read_layout(win, before);
    int (*kept)(Display*, XErrorEvent*) = before.dpy ? XSetErrorHandler(count_switch_error) : nullptr;
    sSwitchErrors = 0;
    bool ok = SDL_SetWindowDisplayMode(win, &m) == 0 && SDL_SetWindowFullscreen(win, SDL_WINDOW_FULLSCREEN) == 0;
    if (before.dpy) XSync(before.dpy, False);
    // SDL answers success also when the server had no such mode and the screen kept its own: only
    // a screen now of the mode's size has taken it.
    SDL_DisplayMode now;
    ok = ok && sSwitchErrors == 0 && SDL_GetCurrentDisplayMode(display, &now) == 0 && now.w == m.w && now.h == m.h;
    if (!ok) {
        SDL_SetWindowFullscreen(win, 0);
        if (sSwitchErrors) put_back(before);
    }
    if (before.dpy) {
        XSync(before.dpy, False);
        XSetErrorHandler(kept);
    }
    return ok;
}

int PLAT_window_set_fullscreen(PLAT_window* w, const PLAT_display_mode* mode)
{
    if (!w) return -1;
    if (!mode) return SDL_SetWindowFullscreen(sdl(w), 0) == 0 ? 0 : -1;
    int display = SDL_GetWindowDisplayIndex(sdl(w));
    if (display < 0) display = 0;
    int n = PLAT_display_mode_count(display);
    for (int i = 0; i < n; ++i) {
        PLAT_display_mode pm;
        SDL_DisplayMode m;
        if (PLAT_display_mode_at(display, i, &pm) != 0 || sdl_mode_at(display, i, &m) != 0) continue;
        if (pm.width != mode->width || pm.height != mode->height || pm.bits != mode->bits || pm.hz != mode->hz)
            continue;
        if (switch_to(sdl(w), display, m)) return 0;
    }
    return -1;
}

int PLAT_window_is_fullscreen(PLAT_window* w)
{
    if (!w) return 0;
    return (SDL_GetWindowFlags(sdl(w)) & SDL_WINDOW_FULLSCREEN) ? 1 : 0;
}
