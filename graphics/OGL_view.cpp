// Display state, 2D view, camera, scissor and frame presentation (see OGL_view.h).
#include "graphics/OGL_view.h"

#include "foundation/frame_clock.h"
#include "foundation/tunables.h"
#include "graphics/OGL_draw.h"
#include "graphics/OGL_extensions.h"
#include "graphics/hl_window.h"
#include "platform/plat_window.h"

#include <GL/gl.h>
#include <cmath>

int gPopupCopy = 0;
int gPointerWindow = 0;
int gPopupOpen = 0;
float gPopupX = 0, gPopupY = 0, gPopupW = 0, gPopupH = 0;
int gFullScreen = 0;
int gWindowedW = 0, gWindowedH = 0;
int gFullScreenW = 0, gFullScreenH = 0;
int gFullScreenBits = 0, gFullScreenHz = 0;
int gWindowW = 0, gWindowH = 0;
int gColorBits = 0;
float gLayoutLeft = 0;
float gViewLeft = 0, gViewBottom = 0, gViewRight = 0, gViewTop = 0;
// The scale is 1.0 from the start: the window procedure divides by it for events that can come
// before the first layout.
float gUIScale = 1.0f;
std::string gPopupTitle;
int gLayoutReady = 0;

OGL_camera gCamera;

float gPerfKillCull = 0.0f;
float gPerfKillClip = 0.0f;
float gShadowPadNearConst = 5.0f;
float gShadowPadNearRatio = 1.0f;

// Published under their names for the debugging tools; this program never changes them.
static TunableRec sKillCull(&gPerfKillCull, "perf/kill_cull", 5);
static TunableRec sKillClip(&gPerfKillClip, "perf/kill_clip", 5);
static TunableRec sPadNearConst(&gShadowPadNearConst, "shadow/csm/pad_near_const", 5);
static TunableRec sPadNearRatio(&gShadowPadNearRatio, "shadow/csm/pad_near_ratio", 5);

int OGL_trunc(float v)
{
    if (!(v == v)) return 0;
    if (v >= 2147483520.0f) return 2147483647;
    if (v <= -2147483648.0f) return -2147483647 - 1;
    return (int)v;
}

void OGL_matrix_identity(float m[16])
{
    for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

void OGL_matrix_ortho(float m[16], float l, float r, float b, float t, float n, float f)
{
    for (int i = 0; i < 16; ++i) m[i] = 0.0f;
    m[0] = 2.0f / (r - l);
    m[5] = 2.0f / (t - b);
    m[10] = -2.0f / (f - n);
    m[12] = -(r + l) / (r - l);
    m[13] = -(t + b) / (t - b);
    m[14] = -(f + n) / (f - n);
    m[15] = 1.0f;
}

void OGL_matrix_frustum(float m[16], float l, float r, float b, float t, float n, float f)
{
    for (int i = 0; i < 16; ++i) m[i] = 0.0f;
    m[0] = 2.0f * n / (r - l);
    m[5] = 2.0f * n / (t - b);
    m[8] = (r + l) / (r - l);
    m[9] = (t + b) / (t - b);
    m[10] = -(f + n) / (f - n);
    m[11] = -1.0f;
    m[14] = -2.0f * f * n / (f - n);
}

void OGL_camera::set_ortho(float l, float r, float b, float t, float n, float f)
{
    kind = 1;
    OGL_matrix_ortho(projection, l, r, b, t, n, f);
    top = t;
    left = l;
    right = r;
    bottom = b;
    near_z = -n;
    far_z = -f;
    cull_far_z = -f;
}

// The middle tenth of one pair of bounds, kept within the pair.
static void narrow(float& a, float& c)
{
    float lo = a < c ? a : c, hi = a < c ? c : a;
    float s = c - a;
    float na = a + 0.45f * s, nc = a + 0.55f * s;
    a = na < lo ? lo : (na > hi ? hi : na);
    c = nc < lo ? lo : (nc > hi ? hi : nc);
}

static void normalize3(float v[3])
{
    float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len > 0.0f) {
        v[0] /= len;
        v[1] /= len;
        v[2] /= len;
    }
}

static void cross3(const float a[3], const float b[3], float out[3])
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

void OGL_camera::set_frustum(float l, float r, float b, float t, float n, float f)
{
    kind = 0;
    float pl = l, pr = r, pb = b, pt = t;
    if (gPerfKillClip != 0.0f) {
        narrow(pl, pr);
        narrow(pb, pt);
    }
    OGL_matrix_frustum(projection, pl, pr, pb, pt, n, f);

    float cl = l, cr = r, cb = b, ct = t;
    if (gPerfKillCull != 0.0f) {
        narrow(cl, cr);
        narrow(cb, ct);
    }
    float tl[3] = {cl, ct, -n}, tr[3] = {cr, ct, -n}, bl[3] = {cl, cb, -n}, br[3] = {cr, cb, -n};
    normalize3(tl);
    normalize3(tr);
    normalize3(bl);
    normalize3(br);
    cross3(tl, tr, sides[0]);
    cross3(bl, tl, sides[1]);
    cross3(tr, br, sides[2]);
    cross3(br, bl, sides[3]);
    for (auto& s : sides) normalize3(s);

    near_z = -n;
    far_z = -f;
    cull_far_z = -f;
}

void OGL_camera::reset_modelview()
{
    OGL_matrix_identity(modelview);
}

void OGL_projection_camera(int mode, float left, float x0, float bottom, float y0, float right, float x1,
                           float znear, float top, float y1, float zfar, float divisor, int aspect,
                           int view_bounds, int viewport[4])
{
    if (mode == 2 && view_bounds) {
        left = gViewLeft;
        right = gViewRight;
        bottom = gViewBottom;
        top = gViewTop;
        x0 = 0;
        y0 = 0;
        x1 = (float)gWindowW;
        y1 = (float)gWindowH;
        znear = -1;
        zfar = 1;
    }
    if (mode == 3) {
        left *= znear;
        bottom *= znear;
        right *= znear;
        top *= znear;
        x0 *= gUIScale;
        x1 *= gUIScale;
        y0 *= gUIScale;
        y1 *= gUIScale;
    }
    float w = x1 - x0, h = y1 - y0;
    if (aspect) {
        bottom *= h / w;
        top *= h / w;
    }
    if (mode == 2)
        gCamera.set_ortho(left / divisor, right / divisor, bottom / divisor, top / divisor, znear, zfar);
    else if (mode == 3)
        gCamera.set_frustum(left / divisor, right / divisor, bottom / divisor, top / divisor, znear, zfar);
    viewport[0] = OGL_trunc(x0);
    viewport[1] = OGL_trunc(y0);
    viewport[2] = OGL_trunc(w);
    viewport[3] = OGL_trunc(h);
    gCamera.reset_modelview();
}

void OGL_set_projection(int mode, float left, float x0, float bottom, float y0, float right, float x1,
                        float znear, float top, float y1, float zfar, float divisor, int aspect, int view_bounds)
{
    int vp[4];
    OGL_projection_camera(mode, left, x0, bottom, y0, right, x1, znear, top, y1, zfar, divisor, aspect,
                          view_bounds, vp);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glViewport(vp[0], vp[1], vp[2], vp[3]);
    glLoadMatrixf(gCamera.projection);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(gCamera.modelview);
    gCamera.changed = 0;
}

void OGL_scissor_box(float x, float y, float w, float h, int box[4])
{
    float s = gUIScale;
    float left = (gPopupX + x) * s;
    float bottom = (gPopupY + y) * s;
    float width = (gPopupX + x + w) * s - left;
    float height = (gPopupY + y + h) * s - bottom;
    if (!(width > 0)) width = 0;
    if (!(height > 0)) height = 0;
    box[0] = OGL_trunc(left);
    box[1] = OGL_trunc(bottom);
    box[2] = OGL_trunc(width);
    box[3] = OGL_trunc(height);
}

void OGL_set_scissor(float x, float y, float w, float h)
{
    int box[4];
    OGL_scissor_box(x, y, w, h, box);
    glEnable(GL_SCISSOR_TEST);
    glScissor(box[0], box[1], box[2], box[3]);
}

void OGL_clear_scissor()
{
    glDisable(GL_SCISSOR_TEST);
}

void hl_update_view_bounds()
{
    gUIScale = 1.0f;
    gViewLeft = 0;
    gViewBottom = 0;
    gViewRight = (float)gWindowW / gUIScale;
    gViewTop = (float)gWindowH / gUIScale;
    gLayoutLeft = ((float)gWindowW / gUIScale - 1024.0f) * 0.5f;
    if (!(gLayoutLeft > 0)) gLayoutLeft = 0;
    if (gPopup == -1) gLayoutLeft = 0;
}

void hl_update_layout()
{
    hl_update_view_bounds();
    if (gPopup >= 0) OGL_set_projection(2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1.0f, 0, 1);
}

void OGL_swap_buffers()
{
    PLAT_window* win = gWindows.window[gWindows.current];
    // Before the window exists there is no context to set a colour in and nothing to present.
    if (!win) return;
    // The scheme's white, raw, through the one colour call (which never leaves a stale alpha).
    gInterface.OGL_set_color(1, 1, 1, 1, 1);
    gTimer.perf_mark("sb1", 0);
    PLAT_gl_swap(win);
    gTimer.perf_mark("sb2", 0);
}

void OGL_reset_drawing_state()
{
    if (!gWindows.window[gWindows.current]) return;
    // Outside a primitive or a list these two only raise errors, which the loop below drops.
    glEnd();
    glEndList();
    for (int i = 0; i < 30; ++i) glGetError();
    // Nothing in this program draws into several colour attachments, so the draw buffers stay.
    if (gCaps.glsl_avail && gCaps.glUseProgramObjectARB) gCaps.glUseProgramObjectARB(0);
    if (gCaps.framebuf_avail && gCaps.glBindFramebufferEXT) gCaps.glBindFramebufferEXT(0x8D40, 0);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_SCISSOR_TEST);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}
