// The wizard frame: backdrop, panels, step list, the current step's page and its buttons.
#include "app/wizard.h"

#include "app/prefs_window.h"
#include "foundation/quit.h"
#include "frame/app_frame.h"
#include "frame/butn.h"
#include "frame/hl_colors.h"
#include "graphics/OGL_draw.h"
#include "graphics/OGL_font.h"
#include "graphics/OGL_view.h"
#include "graphics/tman.h"

#include <algorithm>

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
    draw_backdrop();
    BTN_frame2(23, 10, 50, 190, 453, "", 1.0f);
    BTN_frame2(23, 210, 50, 580, 453, "", 1.0f);

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
    // The scan's workers run only while Search for Updates is current.
    if (gPrevStep == step_search_updates && gCurStep != step_search_updates) step_search_updates_left();
}
