// The 2D view and camera arithmetic, scissor boxes, window sizing, the multisample ladder, the
// swap-interval warning, the window procedure, the events' whole times rebuilt from their 32-bit
// stamps, and the frame cycle, all without a display.
#include "foundation/options.h"
#include "frame/hl_event.h"
#include "frame/hl_init.h"
#include "graphics/OGL_extensions.h"
#include "graphics/OGL_view.h"
#include "graphics/hl_monitor.h"
#include "graphics/hl_window.h"
#include "platform/plat_window.h"
#include "support/test_support.h"

#include <climits>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

// Nothing in this program may reach a real display.
static const int kNoDisplay = (unsetenv("DISPLAY"), unsetenv("WAYLAND_DISPLAY"), 0);

class View : public testing::Test {
protected:
    void SetUp() override
    {
        (void)kNoDisplay;
        gPopup = 0;
        gPopupOpen = 0;
        gPopupX = gPopupY = gPopupW = gPopupH = 0;
        gFullScreen = 0;
        gFullScreenW = gFullScreenH = gFullScreenBits = gFullScreenHz = 0;
        gWindowedW = 800;
        gWindowedH = 600;
        gWindowW = gWindowH = 0;
        gUIScale = 1.0f;
        gPerfKillClip = gPerfKillCull = 0;
        gQuit = 0;
        gOptions.opts.clear();
    }
    void TearDown() override { gQuit = 0; }

    // Runs f with the log going to a fresh file and returns what it wrote.
    template <class F> std::string logged(F f)
    {
        std::string path = TS_new_dir("log") + "log.txt";
        hl_open_log(path);
        f();
        hl_close_log();
        return TS_read_file(path);
    }
};

static void expect_matrix(const float* got, const float* want)
{
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(got[i], want[i], 1e-6 + 1e-6 * std::fabs(want[i])) << "element " << i;
}

TEST_F(View, OrthoAndFrustumMatrices)
{
    float m[16];
    OGL_matrix_ortho(m, 0, 1024, 0, 768, -1, 1);
    const float ortho[16] = {2.0f / 1024, 0, 0, 0, 0, 2.0f / 768, 0, 0, 0, 0, -1, 0, -1, -1, 0, 1};
    expect_matrix(m, ortho);

    OGL_matrix_frustum(m, -2, 2, -1, 3, 1, 101);
    const float fr[16] = {0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0.5f, -102.0f / 100, -1, 0, 0, -2.0f * 101 / 100, 0};
    expect_matrix(m, fr);

    OGL_matrix_identity(m);
    const float id[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    expect_matrix(m, id);
}

TEST_F(View, LayoutOfA1024By768Window)
{
    gWindowW = 1024;
    gWindowH = 768;
    hl_update_view_bounds();
    EXPECT_EQ(gViewLeft, 0);
    EXPECT_EQ(gViewBottom, 0);
    EXPECT_EQ(gViewRight, 1024);
    EXPECT_EQ(gViewTop, 768);
    EXPECT_EQ(gLayoutLeft, 0);

    // The call hl_update_layout makes.
    int vp[4];
    gCamera.modelview[3] = 9; // must come back as the identity
    OGL_projection_camera(2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1.0f, 0, 1, vp);
    EXPECT_EQ(vp[0], 0);
    EXPECT_EQ(vp[1], 0);
    EXPECT_EQ(vp[2], 1024);
    EXPECT_EQ(vp[3], 768);
    const float* p = gCamera.projection;
    EXPECT_NEAR(p[0], 2.0 / 1024, 1e-7);
    EXPECT_NEAR(p[5], 2.0 / 768, 1e-7);
    EXPECT_NEAR(p[10], -1, 1e-7);
    EXPECT_NEAR(p[12], -1, 1e-7);
    EXPECT_NEAR(p[13], -1, 1e-7);
    EXPECT_NEAR(p[14], 0, 1e-7);
    const float id[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    expect_matrix(gCamera.modelview, id);
    EXPECT_EQ(gCamera.kind, 1);
    EXPECT_EQ(gCamera.near_z, 1);
    EXPECT_EQ(gCamera.far_z, -1);
    EXPECT_EQ(gCamera.cull_far_z, -1);
    EXPECT_EQ(gCamera.right, 1024);
    EXPECT_EQ(gCamera.top, 768);
}

TEST_F(View, PageLayoutEdge)
{
    gWindowW = 1280;
    gWindowH = 1024;
    gPopup = 2;
    hl_update_view_bounds();
    EXPECT_EQ(gLayoutLeft, 128);
    gPopup = -1; // before any popup the page starts at the left edge
    hl_update_view_bounds();
    EXPECT_EQ(gLayoutLeft, 0);
    gPopup = 0;
    gWindowW = 800; // narrower than the page: never negative
    hl_update_view_bounds();
    EXPECT_EQ(gLayoutLeft, 0);
}

TEST_F(View, OrthoFormWithDivisorAndAspect)
{
    int vp[4];
    // Bounds -100..100 over a 400 x 200 viewport at (10, 20), divided by 2, aspect corrected.
    OGL_projection_camera(2, -100, 10, -100, 20, 100, 410, -5, 100, 220, 5, 2.0f, 1, 0, vp);
    EXPECT_EQ(vp[0], 10);
    EXPECT_EQ(vp[1], 20);
    EXPECT_EQ(vp[2], 400);
    EXPECT_EQ(vp[3], 200);
    EXPECT_FLOAT_EQ(gCamera.left, -50);
    EXPECT_FLOAT_EQ(gCamera.right, 50);
    EXPECT_FLOAT_EQ(gCamera.bottom, -25);
    EXPECT_FLOAT_EQ(gCamera.top, 25);
    EXPECT_FLOAT_EQ(gCamera.near_z, 5);
    EXPECT_FLOAT_EQ(gCamera.far_z, -5);
}

TEST_F(View, PerspectiveFormScalesBoundsByNear)
{
    int vp[4];
    OGL_projection_camera(3, -1, 0, -1, 0, 1, 640, 2, 1, 480, 200, 1.0f, 0, 0, vp);
    EXPECT_EQ(gCamera.kind, 0);
    float want[16];
    OGL_matrix_frustum(want, -2, 2, -2, 2, 2, 200);
    expect_matrix(gCamera.projection, want);
    EXPECT_EQ(vp[2], 640);
    EXPECT_EQ(vp[3], 480);
    EXPECT_FLOAT_EQ(gCamera.near_z, -2);
    EXPECT_FLOAT_EQ(gCamera.far_z, -200);
}

TEST_F(View, FrustumSidesAndDebugNarrowing)
{
    gCamera.set_frustum(-1, 1, -1, 1, 1, 100);
    float want[16];
    OGL_matrix_frustum(want, -1, 1, -1, 1, 1, 100);
    expect_matrix(gCamera.projection, want);
    const float h = (float)std::sqrt(0.5);
    // top, left, right, bottom: unit normals pointing into the view
    const float sides[4][3] = {{0, -h, -h}, {h, 0, -h}, {-h, 0, -h}, {0, h, -h}};
    for (int s = 0; s < 4; ++s)
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(gCamera.sides[s][k], sides[s][k], 1e-6) << s << "," << k;
    EXPECT_FLOAT_EQ(gCamera.far_z, -100);
    EXPECT_FLOAT_EQ(gCamera.cull_far_z, -100);

    gPerfKillClip = 1;
    gCamera.set_frustum(-1, 1, -1, 1, 1, 100);
    OGL_matrix_frustum(want, -0.1f, 0.1f, -0.1f, 0.1f, 1, 100);
    expect_matrix(gCamera.projection, want);
    for (int s = 0; s < 4; ++s)
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(gCamera.sides[s][k], sides[s][k], 1e-6); // culling unchanged

    gPerfKillClip = 0;
    gPerfKillCull = 1;
    gCamera.set_frustum(-1, 1, -1, 1, 1, 100);
    OGL_matrix_frustum(want, -1, 1, -1, 1, 1, 100);
    expect_matrix(gCamera.projection, want);
    // The top face now passes through (x, 0.1, -1): its normal is (0, -1, -0.1) normalised.
    float n = (float)std::sqrt(1.01);
    EXPECT_NEAR(gCamera.sides[0][1], -1 / n, 1e-5);
    EXPECT_NEAR(gCamera.sides[0][2], -0.1 / n, 1e-5);
}

TEST_F(View, ScissorBoxes)
{
    gPopupX = 200;
    gPopupY = 100;
    int box[4];
    OGL_scissor_box(10, 20, 100, 30, box);
    EXPECT_EQ(box[0], 210);
    EXPECT_EQ(box[1], 120);
    EXPECT_EQ(box[2], 100);
    EXPECT_EQ(box[3], 30);
    OGL_scissor_box(10, 20, -5, 30, box);
    EXPECT_EQ(box[2], 0);
    EXPECT_EQ(box[3], 30);
    OGL_scissor_box(10.7f, 20.9f, 0.2f, 0, box); // truncated toward zero
    EXPECT_EQ(box[0], 210);
    EXPECT_EQ(box[1], 120);
    EXPECT_EQ(box[2], 0);
    EXPECT_EQ(box[3], 0);
    OGL_scissor_box(1e30f, -1e30f, NAN, 1e30f, box); // wild input stays defined
    EXPECT_EQ(box[0], INT_MAX);
    EXPECT_EQ(box[1], INT_MIN);
    EXPECT_EQ(box[2], 0);
}

TEST_F(View, WindowSizingWithoutAReadableMonitor)
{
    int x = -1, y = -1, bordered = -1;
    // The monitor cannot be read here, so it counts as 1024 x 768.
    std::string log = logged([&] { hl_plan_window(0, &x, &y, &bordered); });
    EXPECT_EQ(log, "");
    EXPECT_EQ(gWindowW, 800);
    EXPECT_EQ(gWindowH, 600);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(bordered, 1);

    gWindowedW = 1600;
    gWindowedH = 1200;
    log = logged([&] { hl_plan_window(0, &x, &y, &bordered); });
    EXPECT_EQ(log, "The window was last: 1600,1200 and my monitor is 1024,768.  Setting window to 1024x768 it "
                   "fits on screen.\n");
    EXPECT_EQ(gWindowedW, 1024);
    EXPECT_EQ(gWindowedH, 768);
    EXPECT_EQ(gWindowW, 1024);
    EXPECT_EQ(bordered, 0); // as high as the monitor: no frame

    gFullScreen = 1;
    gWindowedW = 800;
    gWindowedH = 600;
    hl_plan_window(0, &x, &y, &bordered);
    EXPECT_EQ(gWindowW, 1024); // the monitor's size
    EXPECT_EQ(gWindowH, 768);
    EXPECT_EQ(bordered, 0);
    gFullScreenW = 1280;
    gFullScreenH = 720;
    hl_plan_window(0, &x, &y, &bordered);
    EXPECT_EQ(gWindowW, 1280);
    EXPECT_EQ(gWindowH, 720);
}

TEST_F(View, WindowOffsets)
{
    gOptions.opts["--monitor_offset_x"] = "1920";
    gOptions.opts["--monitor_offset_y"] = "-30";
    int x, y, bordered;
    hl_plan_window(0, &x, &y, &bordered);
    EXPECT_EQ(x, 1920);
    EXPECT_EQ(y, -30);
    hl_plan_window(1, &x, &y, &bordered); // the second window sits right of the first
    EXPECT_EQ(x, 800);
    EXPECT_EQ(y, -30);
    gFullScreen = 1;
    hl_plan_window(1, &x, &y, &bordered);
    EXPECT_EQ(x, 1024);

    EXPECT_EQ(hl_parse_offset("  -42abc"), -42);
    EXPECT_EQ(hl_parse_offset("+7"), 7);
    EXPECT_EQ(hl_parse_offset(""), 0);
    EXPECT_EQ(hl_parse_offset("x5"), 0);
    EXPECT_EQ(hl_parse_offset("--5"), 0);
    EXPECT_EQ(hl_parse_offset("99999999999999999999"), INT_MAX);
    EXPECT_EQ(hl_parse_offset("-99999999999999999999"), INT_MIN);
}

struct Offer {
    std::vector<int> available;
    std::vector<int> tried;
};

static int offer(int samples, void* data)
{
    Offer* o = static_cast<Offer*>(data);
    o->tried.push_back(samples);
    for (int s : o->available)
        if (s == samples) return 1;
    return 0;
}

TEST_F(View, MultisampleLadder)
{
    Offer a{{8, 2}, {}}; // refuses 4
    EXPECT_EQ(hl_choose_multisample(2, 1, offer, &a), 1);
    EXPECT_EQ(a.tried, (std::vector<int>{4, 2}));

    Offer b{{8, 4}, {}};
    EXPECT_EQ(hl_choose_multisample(4, 1, offer, &b), 3);
    EXPECT_EQ(b.tried, (std::vector<int>{16, 8}));

    Offer c{{}, {}};
    EXPECT_EQ(hl_choose_multisample(4, 1, offer, &c), 0);
    EXPECT_EQ(c.tried, (std::vector<int>{16, 8, 4, 2}));

    Offer d{{2, 4, 8, 16}, {}};
    EXPECT_EQ(hl_choose_multisample(4, 0, offer, &d), 0); // without the extension nothing is tried
    EXPECT_TRUE(d.tried.empty());
    EXPECT_EQ(hl_choose_multisample(0, 1, offer, &d), 0);
    EXPECT_TRUE(d.tried.empty());
}

static int gIntervalSet = -1;
static int take_interval(int i)
{
    gIntervalSet = i;
    return 0;
}
static int refuse_interval(int i)
{
    gIntervalSet = i;
    return -1;
}

TEST_F(View, SwapIntervalAndItsWarning)
{
    gGLSettings.use_vsync1 = 1;
    gGLSettings.use_vsync2 = 1;
    EXPECT_EQ(logged([] { hl_set_swap_interval(take_interval); }), "");
    EXPECT_EQ(gIntervalSet, 3);
    gGLSettings.use_vsync1 = 0;
    gGLSettings.use_vsync2 = 0;
    EXPECT_EQ(logged([] { hl_set_swap_interval(refuse_interval); }),
              "Warning: unable to set vsync - your video card's driver does not support setting v-sync from "
              "Corvane.\n");
    EXPECT_EQ(gIntervalSet, 0);
    // An entry point that exists but refuses the interval is not the missing-driver warning.
    gGLSettings.use_vsync1 = 1;
    EXPECT_EQ(logged([] { hl_set_swap_interval([](int i) { return gIntervalSet = i, -2; }); }),
              "WARNING: the video driver refused the swap interval 1; it keeps its own.\n");
    gGLSettings.use_vsync1 = 0;
}

static PLAT_event ev(int kind)
{
    PLAT_event e;
    e.kind = kind;
    return e;
}

TEST_F(View, WindowProcedureFillsTheInputState)
{
    gWindowW = 800;
    gWindowH = 600;
    gPopupX = 100;
    gPopupY = 50;
    PLAT_event m = ev(PLAT_EV_MOUSE_MOVE);
    m.x = 150;
    m.y = 100;
    hl_window_proc(m);
    EXPECT_FLOAT_EQ(gMouseX, 50);
    EXPECT_FLOAT_EQ(gMouseY, 450); // from the popup's bottom edge, y upwards
    m.x = -20;                     // a pointer dragged out of the window stays left of it
    hl_window_proc(m);
    EXPECT_FLOAT_EQ(gMouseX, -120);

    gMouseWheel = 0;
    PLAT_event w = ev(PLAT_EV_WHEEL);
    w.wheel = 60;
    hl_window_proc(w);
    EXPECT_EQ(gMouseWheel, 0);
    w.wheel = -240;
    hl_window_proc(w);
    EXPECT_EQ(gMouseWheel, -2);
    w.wheel = 360;
    hl_window_proc(w);
    EXPECT_EQ(gMouseWheel, 1);

    gMouseDown = 0;
    PLAT_event b = ev(PLAT_EV_BUTTON_DOWN);
    b.button = PLAT_BUTTON_MIDDLE;
    hl_window_proc(b);
    EXPECT_EQ(gMouseDown, 0);
    b.button = PLAT_BUTTON_RIGHT;
    hl_window_proc(b);
    EXPECT_EQ(gMouseDown, 1);
    EXPECT_EQ(gMouseRight, 1);
    b.button = PLAT_BUTTON_LEFT;
    hl_window_proc(b);
    EXPECT_EQ(gMouseRight, 0);
    gMouseUp = 0;
    b.kind = PLAT_EV_BUTTON_UP;
    hl_window_proc(b);
    EXPECT_EQ(gMouseUp, 1);

    gKeyDown = gKeyHeld = 0;
    hl_window_proc(ev(PLAT_EV_KEY_DOWN));
    EXPECT_EQ(gKeyDown, 1);
    EXPECT_EQ(gKeyHeld, 1);
    hl_window_proc(ev(PLAT_EV_KEY_UP));
    EXPECT_EQ(gKeyHeld, 0);
    EXPECT_EQ(gKeyDown, 1); // cleared only by the next frame

    gWindowCreated = 0;
    hl_window_proc(ev(PLAT_EV_CREATE));
    EXPECT_EQ(gWindowCreated, 1);
    EXPECT_EQ(gQuit, 0);
    hl_window_proc(ev(PLAT_EV_CLOSE));
    EXPECT_EQ(gQuit, 1);

    // The events' whole times, rebuilt from their 32-bit stamps (stamp, clock now, whole time): the
    // stamp is the clock's low 32 bits when the event came in.
    const uint64_t kWrap = 1ull << 32;
    const struct {
        uint32_t stamp;
        uint64_t now, want;
    } rows[] = {
        {990, 1000, 990},                                    // early in the run
        {1000, 1000, 1000},                                  // taken in this very millisecond
        {0xFFFFFEF0u, kWrap - 0x100, kWrap - 0x110},         // before the wrap
        {0xFFFFFFFFu, kWrap, kWrap - 1},                     // the clock at the wrap, the stamp 1 ms behind
        {0, kWrap, kWrap},                                   // stamp and clock at the wrap
        {0xFFFFFFFBu, kWrap + 5, kWrap - 5},                 // stamped before the wrap, read after it
        {0x80, kWrap + 0x100, kWrap + 0x80},                 // both after the wrap
        {0xFFFFFFF0u, 2 * kWrap + 0x10, 2 * kWrap - 0x10},   // across the second wrap
        {6, kWrap + 5, 6},                                   // the oldest stamp it can place, 2^32 - 1 ms old
    };
    for (const auto& r : rows)
        EXPECT_EQ(PLAT_event_time_from_stamp(r.stamp, r.now), r.want) << "stamp " << r.stamp << " now " << r.now;
}

TEST_F(View, CloseBoxes)
{
    EXPECT_TRUE(hl_in_close_box(2, 10, 370, 700, 380));
    EXPECT_TRUE(hl_in_close_box(2, 25, 360, 700, 380)); // edges count as inside
    EXPECT_TRUE(hl_in_close_box(2, 675, 380, 700, 380));
    EXPECT_TRUE(hl_in_close_box(2, 700, 365, 700, 380));
    EXPECT_FALSE(hl_in_close_box(2, 25.5f, 370, 700, 380));
    EXPECT_FALSE(hl_in_close_box(2, 10, 359.5f, 700, 380));
    EXPECT_FALSE(hl_in_close_box(2, 10, 380.5f, 700, 380));
    EXPECT_FALSE(hl_in_close_box(994, 10, 370, 420, 260)); // the alert and the dialogs have none
    EXPECT_FALSE(hl_in_close_box(999, 10, 466, 330, 474));
    EXPECT_FALSE(hl_in_close_box(0, 10, 590, 800, 600));
    // A press in the box closing the popup draws the pressed box from the interface sheet, so it
    // is tested in a window of its own (test_popup, PopupWindow.PressInTheCloseBoxClosesThePopup).
}

TEST_F(View, ClickInPlace)
{
    EXPECT_TRUE(hl_is_click_in_place(10.5f, 10.0f, 102.9f, 50, 100, 50));
    EXPECT_TRUE(hl_is_click_in_place(10.5f, 10.0f, 100, 47.1f, 100, 50));
    EXPECT_FALSE(hl_is_click_in_place(10.5f, 10.0f, 103, 50, 100, 50));
    EXPECT_FALSE(hl_is_click_in_place(11.0f, 10.0f, 100, 50, 100, 50));
}

TEST_F(View, FrameClearsThePerFrameFlags)
{
    gPopup = -1;
    gMouseHeld = 1;
    hl_do_frame();
    EXPECT_EQ(gPopup, 0);
    // The first frame has laid out the whole window, which drops a press held from before; what
    // follows outlives every later frame.
    gMouseDown = gMouseUp = gKeyDown = gKeyEnter = gKeyEscape = gKeyDelete = 1;
    gCursorKind = 3;
    gMouseHeld = 1;
    gMouseWheel = 4;
    gKeyHeld = 1;
    hl_do_frame();
    EXPECT_EQ(gMouseDown + gMouseUp + gKeyDown + gKeyEnter + gKeyEscape + gKeyDelete + gCursorKind, 0);
    // These outlive the frame.
    EXPECT_EQ(gMouseHeld, 1);
    EXPECT_EQ(gMouseWheel, 4);
    EXPECT_EQ(gKeyHeld, 1);
    EXPECT_EQ(gQuit, 0);
}

TEST_F(View, DisplayModesWithoutADisplay)
{
    int w = -7, h = -7, bits = -7, hz = -7, l = -7, t = -7;
    hl_get_monitor_info(0, &l, &t, &w, &h, &bits, &hz);
    EXPECT_EQ(w + h + bits + hz + l + t, -42); // nothing written
    EXPECT_EQ(hl_set_display_mode(0, 1024, 768, 32, 60), 0);

    gColorBits = 24;
    hl_set_window_mode(0); // already windowed: nothing at all
    EXPECT_EQ(gFullScreen, 0);
    EXPECT_EQ(gColorBits, 24);

    // Full screen chosen before any window exists touches no window.
    hl_set_window_mode(2);
    EXPECT_EQ(gFullScreen, 1);
    EXPECT_EQ(gWindows.window[0], nullptr);
    hl_set_window_mode(2); // again: applied once more, still fine
    EXPECT_EQ(gFullScreen, 1);
    hl_set_window_mode(0);
    EXPECT_EQ(gFullScreen, 0);

    // An unreadable desktop does not count as a small one.
    hl_fit_window_to_screen(1);
    EXPECT_EQ(gFullScreen, 0);
}

TEST_F(View, WindowTableWithoutWindows)
{
    EXPECT_EQ(gWindows.hl_set_window_count(-1), 1);
    EXPECT_EQ(gWindows.hl_set_window_count(1), 0);
    EXPECT_EQ(gWindows.hl_set_window_count(-1), 1);
    gWindows.hl_destroy_gl_window(1);
    gWindows.hl_destroy_gl_window(0);
    OGL_swap_buffers(); // nothing to present yet
    EXPECT_EQ(gWindows.hl_get_gl_context(), nullptr);
}
