// Test program: text fields in popup 2, run by the frame. Two fields stand where the preferences
// window draws the proxy host and port (x 85, y 40 and 20, width 455, max_length 65, want_focus
// 1), a narrow one (x 85, y 200, width 40) above them. Starting texts come from the hex in
// FIELD_HOST, FIELD_PORT and FIELD_NARROW. F12 asks for a sync line, printed once the keys before
// it are drawn and on the screen; F2 makes the caller cut the host text to its first two bytes.
// F3 holds the next pump a second after printing "hold N", so keys sent then come in one frame.
// The program prints:
//   ready popup=X,Y c54=R,G,B c66=R,G,B | state focus=ID host=HEX port=HEX narrow=HEX |
//   changed NAME | sync N
#include "probe_common.h"
#include "frame/butn.h"
#include "frame/hl_event.h"
#include "frame/hl_init.h"
#include "frame/hl_keyboard.h"
#include "frame/hl_shutdown.h"
#include "frame/mbar.h"
#include "graphics/OGL_draw.h"
#include "graphics/OGL_view.h"
#include "platform/plat_window.h"
#include "ui_window.h"

#include <GL/gl.h>
#include <string>
#include <unistd.h>

static std::string hex(const std::string& s)
{
    static const char* d = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out += d[c >> 4];
        out += d[c & 15];
    }
    return out.empty() ? "-" : out;
}

static std::string unhex(const char* h)
{
    std::string out;
    for (size_t i = 0; h && h[i] && h[i + 1]; i += 2) out += (char)std::stoi(std::string(h + i, 2), nullptr, 16);
    return out;
}

static std::string rgb(int c)
{
    auto b = [&](int i) { return std::to_string((int)(gColors[c][i] * 255.0f + 0.5f)); };
    return b(0) + "," + b(1) + "," + b(2);
}

static int gSyncAsked = 0, gCutAsked = 0, gHoldAsked = 0;

static void probe_window_proc(const PLAT_event& ev)
{
    hl_event_arrived(ev); // the program's own window procedure
    if (ev.kind != PLAT_EV_KEY_DOWN) return;
    if (ev.vk == 113) gCutAsked = 1; // F2
    if (ev.vk == 114) ++gHoldAsked; // F3
}

int main(int argc, char** argv)
{
    if (!probe_start_ui(argc, argv, probe_window_proc)) return 1;
    MENU_init(1);
    hl_open_window(2);

    std::string host = unhex(getenv("FIELD_HOST")), port = unhex(getenv("FIELD_PORT")),
                narrow = unhex(getenv("FIELD_NARROW"));
    std::string last_state;
    int frames = 0, syncs = 0;
    while (!gQuit && gPopup == 2) {
        if (gCutAsked) {
            host.resize(host.size() < 2 ? host.size() : 2);
            gCutAsked = 0;
        }
        glClearColor(0.2f, 0.3f, 0.4f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        OGL_draw_rect(43, 1.0f, 0, 0, gPopupW, gPopupH);
        if (BTN_text_field(85, 200, narrow, 65, "narrow|right{narrow help", 40, 0)) say("changed narrow");
        if (BTN_text_field(85, 40, host, 65, "-proxy host", 455, 1)) say("changed host");
        if (BTN_text_field(85, 20, port, 65, "-proxy port", 455, 1)) say("changed port");

        const std::string state = "state focus=" + std::to_string(gFocusId) + " host=" + hex(host) +
                                  " port=" + hex(port) + " narrow=" + hex(narrow);
        if (state != last_state) say(state);
        last_state = state;
        if (++frames == 5)
            say("ready popup=" + std::to_string((int)gPopupX) + "," + std::to_string((int)gPopupY) +
                " c54=" + rgb(54) + " c66=" + rgb(66));
        // The keys before an F12 were taken by the fields just drawn; the sync goes out once
        // that frame is on the screen. An F12 counts once a frame took it (keys may wait).
        const int drawn = gSyncAsked;
        for (static int holds = 0; holds < gHoldAsked; usleep(1000000)) say("hold " + std::to_string(++holds));
        hl_do_frame();
        while (syncs < drawn) say("sync " + std::to_string(++syncs));
        if (gKeyboard.last_code == 123) ++gSyncAsked, gKeyboard.last_code = 0; // counted once
    }
    app_shutdown(1);
    say("shut down");
    return 0;
}
