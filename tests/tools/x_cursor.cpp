// Test tool for the X pointer. Without arguments it prints the pointer image the X server shows
// now, read through XFixes, as "WIDTHxHEIGHT hot=X,Y opaque=N" (N: pixels whose alpha is not 0,
// so 0 means no visible pointer). With "double-click X Y MS DX" it moves the pointer to (X, Y),
// clicks the left button there and MS milliseconds later DX pixels to the right, through XTest.
// Usage: x_cursor [double-click X Y MS DX]   (DISPLAY names the server)
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static int print_image(Display* d)
{
    int event_base = 0, error_base = 0;
    if (!XFixesQueryExtension(d, &event_base, &error_base)) {
        fprintf(stderr, "x_cursor: the server has no XFIXES\n");
        return 1;
    }
    XFixesCursorImage* img = XFixesGetCursorImage(d);
    if (!img) {
        fprintf(stderr, "x_cursor: no pointer image\n");
        return 1;
    }
    long opaque = 0;
    for (long i = 0; i < (long)img->width * img->height; ++i)
        if ((img->pixels[i] >> 24) & 0xff) ++opaque;
    printf("%dx%d hot=%d,%d opaque=%ld\n", img->width, img->height, img->xhot, img->yhot, opaque);
    XFree(img);
    return 0;
}

// The whole double click goes to the server in one write, the second click carrying the pause
// as XTest's delay: the server keeps the interval, however late this process runs meanwhile.
static int double_click(Display* d, int x, int y, unsigned long ms, int dx)
{
    int event_base = 0, error_base = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(d, &event_base, &error_base, &major, &minor)) {
        fprintf(stderr, "x_cursor: the server has no XTEST\n");
        return 1;
    }
    const int screen = DefaultScreen(d);
    XTestFakeMotionEvent(d, screen, x, y, CurrentTime);
    XTestFakeButtonEvent(d, Button1, True, CurrentTime);
    XTestFakeButtonEvent(d, Button1, False, CurrentTime);
    XTestFakeMotionEvent(d, screen, x + dx, y, ms);
    XTestFakeButtonEvent(d, Button1, True, CurrentTime);
    XTestFakeButtonEvent(d, Button1, False, CurrentTime);
    // Returns once the server has made all of it.
    XSync(d, False);
    return 0;
}

int main(int argc, char** argv)
{
    const bool click = argc == 6 && strcmp(argv[1], "double-click") == 0;
    if (argc != 1 && !click) {
        fprintf(stderr, "usage: x_cursor [double-click X Y MS DX]\n");
        return 2;
    }
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        fprintf(stderr, "x_cursor: cannot open the display\n");
        return 1;
    }
    const int rc = click ? double_click(d, atoi(argv[2]), atoi(argv[3]), strtoul(argv[4], nullptr, 10), atoi(argv[5]))
                         : print_image(d);
    XCloseDisplay(d);
    return rc;
}
