// The wizard frame: backdrop, panels, step list, the current step's page and its buttons.
#include "app/wizard.h"

#include "app/prefs_window.h"
#include "foundation/quit.h"
#include "frame/butn.h"
#include "frame/hl_colors.h"
#include "frame/hl_event.h"
#include "graphics/OGL_draw.h"
#include "graphics/OGL_font.h"
#include "graphics/OGL_snapshot.h"
#include "graphics/OGL_view.h"
#include "graphics/TEX_obj.h"
#include "graphics/hl_window.h"
#include "graphics/tman.h"

#include <algorithm>
#include <cstring>

StepFunc gCurStep = step_welcome;
StepFunc gPrevStep = nullptr;
std::vector<std::string> gStepTitles;
std::vector<StepFunc> gStepFuncs;

int step_quit(int, StepPage*)
{
    gQuit = 1;
    return 1;
}

static const int kBackgroundSlot = 1025;
static const int kWhite = 117;
static const int kElementsSlot = 1023;

// The background picture one texel per unit from its lower-left corner, cut at the window's edges.
static void draw_backdrop()
{
    COL_set_color(kWhite, 1, 1, 1);
    const float w = (float)gWindowW, h = (float)gWindowH;
    OGL_draw_tex_quad(kBackgroundSlot, kWhite, 1.0f, 0, 0, 0, 0, 0, h, 0, h / 1024.0f, w, h, w / 1024.0f,
                      h / 1024.0f, w, 0, w / 1024.0f, 0, 1, 0, 0);
}

static const int kPanelColour = 61; // the colour BTN_frame2 draws its tiles in

// What the backdrop and the two panels are drawn from. While it stays the same so do their
// pixels, and the copy of them taken after the last frame that drew them is shown instead.
struct PanelsKey {
    void* context;
    int window_w, window_h;
    float popup_x, popup_y;
    float white[4], panel[4]; // the colours as they reach OpenGL
    struct Picture {
        const void* obj;
        unsigned gl_name, load_count;
        int loaded;
    } pictures[2];
};

static PanelsKey panels_key()
{
    PanelsKey k;
    std::memset(&k, 0, sizeof k); // compared bytewise, padding included
    k.context = gWindows.context[0];
    k.window_w = gWindowW;
    k.window_h = gWindowH;
    k.popup_x = gPopupX;
    k.popup_y = gPopupY;
    const int colours[2] = {kWhite, kPanelColour};
    float* out[2] = {k.white, k.panel};
    for (int i = 0; i < 2; ++i) {
        const float* c = gColors[colours[i]];
        float* o = out[i];
        o[0] = c[0], o[1] = c[1], o[2] = c[2], o[3] = 1.0f;
        gInterface.OGL_adjust_color(&o[0], &o[1], &o[2], &o[3], colours[i] >= 43);
    }
    const int slots[2] = {kBackgroundSlot, kElementsSlot};
    for (int i = 0; i < 2; ++i) {
        if (TEX_obj* t = gTextures.get_tex(slots[i])) {
            k.pictures[i].obj = t;
            k.pictures[i].gl_name = t->gl_name.load();
            k.pictures[i].load_count = t->load_count.load();
            k.pictures[i].loaded = t->loaded.load();
        }
    }
    return k;
}

static OGL_snapshot sPanels;
static PanelsKey sPanelsKey;
static int sPanelsAge = 0; // frames shown from the copy since it was taken

// Some drivers leave the parts of a window that another window covers undefined when they are
// read back; a copy taken then would show them for as long as nothing changes, so it is taken
// anew now and then (every two seconds or so, at 60 frames a second).
static const int kPanelsMaxAge = 120;

// The backdrop and the panels hold some 1,700 small tiles, whose set-up in Mesa's software
// rasteriser cost more than half of an idle frame; they change only with the window, the
// colours or the pictures, so they are drawn once and copied, and the copy is shown after.
static void draw_backdrop_and_panels()
{
    COL_set_color(kWhite, 1, 1, 1);
    const PanelsKey key = panels_key();
    if (sPanels.name && ++sPanelsAge < kPanelsMaxAge && std::memcmp(&key, &sPanelsKey, sizeof key) == 0) {
        OGL_snapshot_draw(sPanels);
        return;
    }
    sPanelsAge = 0;
    draw_backdrop();
    BTN_frame2(23, 10, 50, 190, 453, "", 1.0f);
    BTN_frame2(23, 210, 50, 580, 453, "", 1.0f);
    // A different context cannot use the old texture name at all.
    if (sPanels.name && key.context != sPanelsKey.context) sPanels = OGL_snapshot();
    if (OGL_snapshot_take(sPanels, gWindowW, gWindowH)) sPanelsKey = key;
}

float wizard_bar_end(float progress)
{
    // The bar always shows its first 4 percent, so a started task never looks idle.
    const float f = std::clamp(0.04f + 0.96f * progress, 0.04f, 1.0f);
    return 240.0f + 520.0f * f;
}

static void draw_progress(const StepPage& page)
{
    if (!(page.progress >= 0)) return;
    const float e = wizard_bar_end(page.progress);
    // BTN_frame1 adds the popup origin back.
    BTN_frame1(4, 500 - gPopupX, 155 - gPopupY, 520, 0);
    BTN_frame1(5, (240 + e) / 2 - gPopupX, 155 - gPopupY, e - 240, 0);
    OGL_draw_string(12, 242, 120, page.caption, 520, font_regular, align_left);
}

void wizard_draw_frame()
{
    // The panels and buttons are cut from the language's sheet, which only WinMain loads: a
    // program that runs frames without WinMain (the frame's own test tools) shows no wizard
    // rather than meet the texture manager's crash alert for an empty slot.
    if (!gTextures.is_loaded(kElementsSlot)) return;
    draw_backdrop_and_panels();

    const StepFunc current = gCurStep;
    for (size_t i = 0; i < gStepTitles.size(); ++i) {
        const bool on = i < gStepFuncs.size() && gStepFuncs[i] == current;
        OGL_draw_string(on ? 77 : 54, 30, 480 - 20.0f * (float)i, gStepTitles[i], 170, on ? font_bold : font_regular,
                        align_left);
    }
    if (!gCurStep) {
        gQuit = 1;
        return;
    }

    StepPage page;
    const int r = gCurStep(gCurStep != gPrevStep, &page);
    gPrevStep = gCurStep;

    OGL_draw_string(12, 500, 480, page.title, 540, font_bold, align_center);
    OGL_draw_string(12, 230, 440, page.text, 540, font_regular, align_left);

    // Later changes replace earlier ones: a choice, then Next, then Back, then the step's result.
    for (size_t i = 0; i < page.choice_labels.size(); ++i)
        if (BTN_push_button(500, 350 - 25.0f * (float)i, 250, 0, 1, page.choice_labels[i], "-") &&
            i < page.choice_steps.size())
            gCurStep = page.choice_steps[i];

    draw_progress(page);

    const bool last_page = page.next == step_quit;
    if (!last_page) {
        int wq = 0;
        if (BTN_elements_button(30, 12, 0, 1, &wq, 1, 0) && (!page.confirm_quit || page.confirm_quit())) gQuit = 1;
        const int prefs = page.prefs_allowed != 0;
        if (BTN_elements_button(30 + (float)wq + 10, 12, 6, 1, nullptr, prefs, prefs ? 0 : 2) && prefs)
            run_prefs_window();
    }
    int wn = 0;
    const int has_next = page.next != nullptr;
    if (BTN_elements_button(770, 12, last_page ? 0 : 2, -1, &wn, has_next, has_next ? 0 : 2) && has_next)
        gCurStep = page.next;
    const int has_back = page.back != nullptr;
    if (BTN_elements_button(770 - (float)(wn + 10), 12, 1, -1, nullptr, has_back, has_back ? 0 : 2) && has_back)
        gCurStep = page.back;

    if (r && page.next) gCurStep = page.next;
    // The new page answers only presses made once it is on screen.
    if (gCurStep != current) hl_view_changed();
    // The scan's workers run only while Search for Updates is current.
    if (gPrevStep == step_search_updates && gCurStep != step_search_updates) step_search_updates_left();
}
