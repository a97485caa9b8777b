// The display state every drawing, input and layout unit reads, the 2D view in UI units built
// from it, the camera with its projection and model-view matrices, scissor clipping, and the
// presentation of a finished frame.
#pragma once
// gPopup lives in the foundation, where the engine's questions read it too.
#include "foundation/open_popup.h"

#include <string>

// ---- display state ----
extern int gPopupCopy;     // a copy of the open popup's id
extern int gPointerWindow; // the window the pointer was last over
extern int gPopupOpen;     // 1 while a popup with its own size is open
extern float gPopupX, gPopupY, gPopupW, gPopupH; // the open popup in UI units
extern int gFullScreen;                          // 0 windowed, 1 full screen
extern int gWindowedW, gWindowedH;               // the windowed client size asked for, pixels
extern int gFullScreenW, gFullScreenH;           // full-screen size, 0 = the desktop's
extern int gFullScreenBits, gFullScreenHz;
extern int gWindowW, gWindowH; // the window's client size in pixels
extern int gColorBits;         // the desktop's bits per pixel
extern float gLayoutLeft;      // left edge of a 1024-unit page layout centred in the window
extern float gViewLeft, gViewBottom, gViewRight, gViewTop; // the 2D view in UI units
extern float gUIScale;                                       // pixels per UI unit, always 1.0
extern std::string gPopupTitle; // the open popup's translated title (kept when the whole window opens)
extern int gLayoutReady;        // 1 once any popup has been laid out

// ---- camera ----
struct OGL_camera {
    unsigned char kind = 1; // 1 orthographic, 0 perspective
    float near_z = 0, far_z = 0, cull_far_z = 0;
    float sides[4][3] = {}; // top, left, right, bottom faces of a perspective view, unit normals into it
    float top = 0, left = 0, right = 0, bottom = 0;
    unsigned char changed = 1; // cleared once the matrices are loaded into OpenGL
    float projection[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float modelview[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

    void set_ortho(float l, float r, float b, float t, float n, float f);
    void set_frustum(float l, float r, float b, float t, float n, float f);
    void reset_modelview();
};

extern OGL_camera gCamera;

// Debugging switches of the perspective form (named "perf/kill_cull" and "perf/kill_clip") and
// two shadow paddings that nothing here reads.
extern float gPerfKillCull, gPerfKillClip, gShadowPadNearConst, gShadowPadNearRatio;

// Matrices are 16 floats in column-major order, as glLoadMatrixf takes them.
void OGL_matrix_identity(float m[16]);
void OGL_matrix_ortho(float m[16], float l, float r, float b, float t, float n, float f);
void OGL_matrix_frustum(float m[16], float l, float r, float b, float t, float n, float f);

// Mode 2 orthographic, mode 3 perspective; (x0, y0)-(x1, y1) is the viewport; divisor divides the
// four bounds; aspect scales bottom and top by the viewport's height-to-width ratio; view_bounds
// (mode 2) takes the 2D view of the whole window instead of the bounds given.
void OGL_set_projection(int mode, float left, float x0, float bottom, float y0, float right, float x1,
                        float znear, float top, float y1, float zfar, float divisor, int aspect, int view_bounds);
// The arithmetic of OGL_set_projection without OpenGL: fills gCamera and the viewport
// (x, y, width, height in pixels).
void OGL_projection_camera(int mode, float left, float x0, float bottom, float y0, float right, float x1,
                           float znear, float top, float y1, float zfar, float divisor, int aspect,
                           int view_bounds, int viewport[4]);

// Clips drawing to a rectangle in UI units relative to the open popup.
void OGL_set_scissor(float x, float y, float w, float h);
// The pixel box (left, bottom, width, height) that OGL_set_scissor hands to OpenGL.
void OGL_scissor_box(float x, float y, float w, float h, int box[4]);
void OGL_clear_scissor();

// Sets the UI scale and the 2D view bounds and, once a popup id is chosen, loads the 2D projection.
void hl_update_layout();
// The first three steps of hl_update_layout: scale, view bounds and page-layout edge.
void hl_update_view_bounds();

// Presents the finished frame on the main window.
void OGL_swap_buffers();

// Puts back what a caller interrupted in the middle of drawing may have left: an open primitive
// or display list, pending errors, a bound program or framebuffer, another blend function, the
// scissor test, line or point polygons. A modal screen calls it before it draws.
void OGL_reset_drawing_state();

// A float turned into an int toward zero, bounded to the int range (NaN gives 0).
int OGL_trunc(float v);
