// Test tool: asks an X window to close, as a window manager's close button does
// (WM_DELETE_WINDOW). Usage: x_close WINDOW-ID   (decimal or 0x hex; DISPLAY names the server)
#include <X11/Xlib.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: x_close WINDOW-ID\n");
        return 2;
    }
    char* end = nullptr;
    unsigned long id = strtoul(argv[1], &end, 0);
    if (!end || *end || id == 0) {
        fprintf(stderr, "x_close: bad window id %s\n", argv[1]);
        return 2;
    }
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        fprintf(stderr, "x_close: cannot open the display\n");
        return 1;
    }
    XEvent ev;
    memset(&ev, 0, sizeof ev);
    ev.xclient.type = ClientMessage;
    ev.xclient.window = (Window)id;
    ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
    ev.xclient.data.l[1] = CurrentTime;
    Status ok = XSendEvent(d, (Window)id, False, NoEventMask, &ev);
    XSync(d, False);
    XCloseDisplay(d);
    return ok ? 0 : 1;
}
