// Test tool: prints the pointer image the X server shows now, read through XFixes, as
// "WIDTHxHEIGHT hot=X,Y opaque=N" (N: pixels whose alpha is not 0, so 0 means no visible
// pointer). Usage: x_cursor   (DISPLAY names the server)
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#include <cstdio>

int main()
{
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        fprintf(stderr, "x_cursor: cannot open the display\n");
        return 1;
    }
    int event_base = 0, error_base = 0;
    if (!XFixesQueryExtension(d, &event_base, &error_base)) {
        fprintf(stderr, "x_cursor: the server has no XFIXES\n");
        XCloseDisplay(d);
        return 1;
    }
    XFixesCursorImage* img = XFixesGetCursorImage(d);
    if (!img) {
        fprintf(stderr, "x_cursor: no pointer image\n");
        XCloseDisplay(d);
        return 1;
    }
    long opaque = 0;
    for (long i = 0; i < (long)img->width * img->height; ++i)
        if ((img->pixels[i] >> 24) & 0xff) ++opaque;
    printf("%dx%d hot=%d,%d opaque=%ld\n", img->width, img->height, img->xhot, img->yhot, opaque);
    XFree(img);
    XCloseDisplay(d);
    return 0;
}
