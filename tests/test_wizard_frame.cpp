// The wizard frame driven in-process in a real window under Xvfb: which step a frame leaves
// current when buttons and the step's result disagree, the entering flag, the progress bar's end
// read back from the drawn pixels, the last page's Quit-only buttons, the picture buttons'
// edges and an enabled Back drawn unchanged after a dimmed Next; the backdrop and panels shown
// from their kept copy exactly as drawn, and drawn anew when a colour or picture changes. Also start-up's pure pieces:
// "--os", the command-line folder, the disc relaunch test and the five OS-folder log lines.
#include "app/main.h"
#include "app/prefs_window.h"
#include "app/wizard.h"
#include "foundation/app_folder.h"
#include "foundation/paths.h"
#include "foundation/quit.h"
#include "frame/hl_colors.h"
#include "frame/hl_event.h"
#include "frame/mbar.h"
#include "support/test_support.h"
#include "support/ui_window_suite.h"

#include <gtest/gtest.h>
#include <GL/gl.h>
#include <cstdlib>
#include <memory>

namespace {

// What the scripted steps put on their page, and every call they get.
struct Script {
    StepFunc next = nullptr, back = nullptr;
    int result = 0;
    std::vector<StepFunc> choices;
    float progress = -1;
    std::string caption;
};
Script gScript[3];
std::vector<std::pair<int, int>> gCalls; // (step 0, 1 or 2; entering)

int scripted(int id, int entering, StepPage* page)
{
    gCalls.push_back({id, entering});
    const Script& s = gScript[id];
    page->title = "Step";
    page->next = s.next;
    page->back = s.back;
    page->progress = s.progress;
    page->caption = s.caption;
    for (size_t i = 0; i < s.choices.size(); ++i) {
        page->choice_labels.push_back("Choice " + std::to_string(i));
        page->choice_steps.push_back(s.choices[i]);
    }
    return s.result;
}
int step_a(int e, StepPage* p) { return scripted(0, e, p); }
int step_b(int e, StepPage* p) { return scripted(1, e, p); }
int step_c(int e, StepPage* p) { return scripted(2, e, p); }

// One frame with the mouse at (x, y), pressed this frame or not; the window's pixels are read
// back as RGB rows from the bottom.
std::vector<unsigned char> gPixels;
void frame(float x = 400, float y = 300, int down = 0, int held = 0)
{
    gMouseX = x;
    gMouseY = y;
    gMouseDown = down;
    gMouseHeld = held;
    gMenus.open = -1;
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    wizard_draw_frame();
    glFinish();
    gPixels.assign(800 * 600 * 3, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, 800, 600, GL_RGB, GL_UNSIGNED_BYTE, gPixels.data());
    gMouseDown = 0;
}
// The pixel at UI (x, y) of the last frame, as one number.
int px(int x, int y)
{
    const size_t o = ((size_t)y * 800 + (size_t)x) * 3;
    return gPixels[o] << 16 | gPixels[o + 1] << 8 | gPixels[o + 2];
}
std::vector<int> row(int y)
{
    std::vector<int> r(800);
    for (int x = 0; x < 800; ++x) r[x] = px(x, y);
    return r;
}
std::vector<int> box(int x0, int x1, int y0, int y1)
{
    std::vector<int> r;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) r.push_back(px(x, y));
    return r;
}

class WizardFrame : public UI_window_suite<WizardFrame> {
protected:
    static void SetUpTestSuite()
    {
        UI_window_suite::SetUpTestSuite();
        if (!ready) return;
        gTextures.load_bitmap(4, 1025, 0x90241, 2, "RESOURCE:background.png");
        gTextures.load_bitmap(4, 1023, 0x90242, 2, "RESOURCE:elements_English.png");
        gLanguage = 0;
    }
    void SetUp() override
    {
        ASSERT_TRUE(ready) << "no window under Xvfb";
        for (Script& s : gScript) s = Script();
        gCalls.clear();
        gStepTitles.clear();
        gStepFuncs.clear();
        gCurStep = step_a;
        gPrevStep = nullptr;
        gQuit = 0;
    }
    void TearDown() override { gQuit = 0; }
};

// English button centres (UI units, y 23 is the buttons' middle).
const int kNextX = 719, kBackX = 594, kQuitX = 58;

} // namespace

TEST_F(WizardFrame, StepChangesInTheirOrderAndTheEnteringFlag)
{
    // First frame enters; later frames do not; a step returning 1 without next stays.
    gScript[0].result = 1;
    frame();
    frame();
    EXPECT_EQ(gCurStep, step_a);
    EXPECT_EQ(gCalls, (std::vector<std::pair<int, int>>{{0, 1}, {0, 0}}));

    struct Case {
        const char* what;
        StepFunc next, back;
        int result;
        std::vector<StepFunc> choices;
        float x, y;
        StepFunc want;
    };
    std::vector<StepFunc> fourteen(14, step_a);
    fourteen[13] = step_b; // choice 13 stands at (500, 25), over Back's left half
    const Case cases[] = {
        {"Next", step_b, step_c, 0, {}, (float)kNextX, 23, step_b},
        {"Next disabled", nullptr, step_c, 0, {}, (float)kNextX, 23, step_a},
        {"Back", step_b, step_c, 0, {}, (float)kBackX, 23, step_c},
        {"Back disabled", step_b, nullptr, 0, {}, (float)kBackX, 23, step_a},
        {"result with next", step_b, nullptr, 1, {}, 400, 300, step_b},
        {"result wins over Back", step_b, step_c, 1, {}, (float)kBackX, 23, step_b},
        {"choice", nullptr, step_c, 0, fourteen, 400, 25, step_b},
        {"Back wins over a choice", nullptr, step_c, 0, fourteen, 600, 25, step_c},
        {"result wins over a choice", step_c, nullptr, 1, fourteen, 400, 25, step_c},
    };
    for (const Case& c : cases) {
        gCurStep = step_a;
        gPrevStep = step_a;
        gScript[0] = Script();
        gScript[0].next = c.next;
        gScript[0].back = c.back;
        gScript[0].result = c.result;
        gScript[0].choices = c.choices;
        gCalls.clear();
        frame(c.x, c.y, 1);
        EXPECT_EQ(gCurStep, c.want) << c.what;
        // The step that now is current runs next, entering unless it is the one that just ran.
        frame();
        ASSERT_EQ(gCalls.size(), 2u) << c.what;
        EXPECT_EQ(gCalls[0], std::make_pair(0, 0)) << c.what;
        EXPECT_EQ(gCalls[1].second, c.want == step_a ? 0 : 1) << c.what;
    }

    // A press on Quit ends the program; with no step current the frame ends it too.
    gCurStep = step_a;
    gScript[0] = Script();
    frame(kQuitX, 23, 1);
    EXPECT_EQ(gQuit, 1);
    gQuit = 0;
    gCurStep = nullptr;
    frame();
    EXPECT_EQ(gQuit, 1);
}

TEST_F(WizardFrame, ProgressBarEndsWhereTheProgressSays)
{
    auto draw = [](float p) {
        gScript[0] = Script();
        gScript[0].progress = p;
        gScript[0].caption = "Downloading";
        frame();
        return row(155);
    };
    const std::vector<int> none = draw(-1), half = draw(0.5f), full = draw(1.2f), one = draw(1.0f),
                           start = draw(0.0f), most = draw(0.9f);
    // Filled to 510.4: like the full bar left of it, like the bare track (filled only to 260.8)
    // right of it.
    for (int x = 262; x <= 505; ++x) EXPECT_EQ(half[x], full[x]) << x;
    for (int x = 516; x <= 755; ++x) EXPECT_EQ(half[x], start[x]) << x;
    EXPECT_NE(half[400], start[400]);
    // Beyond 1 the bar stays at its end, 760.
    EXPECT_EQ(full, one);
    EXPECT_NE(full[745], most[745]);
    // No bar and no caption for a negative progress: the page's ground only.
    for (int x = 230; x <= 770; ++x) EXPECT_EQ(none[x], 0xFFFFFF) << x;
    draw(-1);
    const std::vector<int> no_caption = box(240, 400, 110, 132);
    draw(0.5f);
    EXPECT_NE(box(240, 400, 110, 132), no_caption);
}

TEST_F(WizardFrame, LastPageShowsOnlyQuitAtNextsPlace)
{
    // The ground the buttons stand on: a frame that draws no page.
    gCurStep = nullptr;
    frame();
    const std::vector<int> ground = box(20, 780, 8, 38);
    auto same_as_ground = [&](int x0, int x1) {
        for (int y = 8; y <= 38; ++y)
            for (int x = x0; x <= x1; ++x)
                if (px(x, y) != ground[(size_t)(y - 8) * 761 + (size_t)(x - 20)]) return false;
        return true;
    };
    gQuit = 0;
    gCurStep = step_a;
    gScript[0].next = step_b;
    frame();
    EXPECT_FALSE(same_as_ground(20, 220));  // Quit and Preferences
    EXPECT_FALSE(same_as_ground(697, 701)); // inside Next (659 to 780)

    gScript[0].next = step_quit;
    frame();
    EXPECT_TRUE(same_as_ground(20, 575)); // no Quit, no Preferences
    // Quit's picture (56 wide) at Next's place: its bar from 704 to 780, then dimmed Back up to 694.
    EXPECT_TRUE(same_as_ground(697, 701));
    EXPECT_FALSE(same_as_ground(704, 780));
    EXPECT_FALSE(same_as_ground(585, 694));
    // Quit's picture (56 wide) at Next's place, right edge at 770: centre 742.
    frame(742, 23, 1);
    EXPECT_EQ(gCurStep, step_quit);
    frame();
    EXPECT_EQ(gQuit, 1);
}

TEST_F(WizardFrame, PictureButtonEdgesAndPressesWhileDisabled)
{
    // A dimmed Next drawn just before Back leaves nothing behind: Back, enabled, looks as it
    // does beside an enabled Next, its bar full white and its word in the normal navy.
    gScript[0].next = step_b;
    gScript[0].back = step_c;
    frame();
    const std::vector<int> back_normal = box(540, 650, 8, 38);
    gScript[0].next = nullptr;
    frame();
    EXPECT_EQ(box(540, 650, 8, 38), back_normal);
    EXPECT_EQ(px(560, 29), 0xFFFFFF);

    struct Probe {
        float x, y;
        int align, enabled, hit;
    };
    // Next (101 wide): right edge at 770 with alignment -1, left edge at 30 with 1, centred
    // on 400 (349.5 truncated to 349, to 450) with 0; 22 high from y 12; ends included.
    const Probe probes[] = {
        {770, 12, -1, 1, 1},  {669, 34, -1, 0, 1},   {770.1f, 20, -1, 1, 0}, {668.9f, 20, -1, 1, 0},
        {700, 34.1f, -1, 1, 0}, {700, 11.9f, -1, 1, 0}, {30, 12, 1, 1, 1},     {131, 34, 1, 1, 1},
        {29.9f, 20, 1, 1, 0}, {131.1f, 20, 1, 1, 0},  {349, 20, 0, 0, 1},    {450, 20, 0, 1, 1},
        {348.9f, 20, 0, 1, 0}, {450.1f, 20, 0, 1, 0},
    };
    for (const Probe& p : probes) {
        gMouseX = p.x;
        gMouseY = p.y;
        gMouseDown = 1;
        int w = -1;
        const float x = p.align == -1 ? 770.0f : p.align == 1 ? 30.0f : 400.0f;
        EXPECT_EQ(BTN_elements_button(x, 12, 2, p.align, &w, p.enabled, p.enabled ? 0 : 2), p.hit)
            << p.x << "," << p.y << " align " << p.align;
        EXPECT_EQ(w, 121);
    }
    gMouseDown = 0;
    gMouseX = 700;
    gMouseY = 20;
    EXPECT_EQ(BTN_elements_button(770, 12, 2, -1, nullptr, 1, 0), 0); // no press, no click
}

TEST_F(WizardFrame, PanelsFromTheirCopyMatchAFreshDrawAndFollowColourAndPicture)
{
    // Every change below makes the next frame draw the panels anew; the frame after it shows
    // the copy, which must hold the very same pixels.
    auto fresh_then_copy = [](const char* what) {
        frame();
        const std::vector<unsigned char> fresh = gPixels;
        frame();
        EXPECT_TRUE(gPixels == fresh) << what << ": the copy differs from the drawing";
        return fresh;
    };
    const float r = gColors[61][0], g = gColors[61][1], b = gColors[61][2];
    COL_set_color(61, 1, 0.5f, 0.25f);
    const std::vector<unsigned char> tinted = fresh_then_copy("tinted panels");
    const int tinted_page = px(500, 300), tinted_backdrop = px(5, 590);
    COL_set_color(61, r, g, b);
    const std::vector<unsigned char> plain = fresh_then_copy("plain panels");
    EXPECT_EQ(px(500, 300), 0xFFFFFF); // the page's white ground again
    EXPECT_NE(px(500, 300), tinted_page);
    EXPECT_EQ(px(5, 590), tinted_backdrop); // outside the panels colour 61 plays no part

    // Another picture in the backdrop's slot shows at once, and the old one comes back.
    gTextures.load_bitmap(4, 1025, 0x90241, 2, "RESOURCE:elements_English.png");
    fresh_then_copy("other backdrop");
    EXPECT_NE(px(5, 590), tinted_backdrop);
    gTextures.load_bitmap(4, 1025, 0x90241, 2, "RESOURCE:background.png");
    fresh_then_copy("backdrop again");
    EXPECT_TRUE(gPixels == plain);
}

TEST(Start, TargetOsCommandLineFolderAndDiscTest)
{
    EXPECT_EQ(target_os_from_option(false, ""), 2);
    EXPECT_EQ(target_os_from_option(true, ""), 2);
    EXPECT_EQ(target_os_from_option(true, "ALL"), 0);
    EXPECT_EQ(target_os_from_option(true, "APL"), 1);
    EXPECT_EQ(target_os_from_option(true, "IBM"), 2);
    EXPECT_EQ(target_os_from_option(true, "LIN"), 3);
    EXPECT_EQ(target_os_from_option(true, "all"), 2);
    EXPECT_EQ(target_os_from_option(true, "LINUX"), 2);

    // The folder is the arguments that are no option, joined; a relative one is the shell's.
    gAppFolder = "/opt/corvane updater/";
    const std::string here = "/home/me/sims/";
    auto folder = [&](std::vector<const char*> args, const std::string& working = "/home/me/sims/") {
        args.insert(args.begin(), "corvane-updater");
        return command_line_folder((int)args.size(), args.data(), working);
    };
    EXPECT_EQ(folder({}), "");
    EXPECT_EQ(folder({""}), "");
    EXPECT_EQ(folder({"/home/me/Corvane 10"}), "/home/me/Corvane 10/");
    EXPECT_EQ(folder({"/home/me/Corvane  10/"}), "/home/me/Corvane  10/");
    EXPECT_EQ(folder({"/home/me/My", "Sim/"}), "/home/me/My Sim/"); // unquoted, split by the shell
    EXPECT_EQ(folder({"Corvane 10"}), here + "Corvane 10/");
    EXPECT_EQ(folder({"."}), here);
    EXPECT_EQ(folder({"../name/"}), "/home/me/name/");
    EXPECT_EQ(folder({"./a//b/../../c"}), here + "c/");
    EXPECT_EQ(folder({"../../../.."}), "/");
    EXPECT_EQ(folder({"Corvane 10"}, ""), "Corvane 10/"); // no working folder: only named
    // Option arguments are no folder, whatever their values hold.
    EXPECT_EQ(folder({"--os=APL", "-h", "--pref:_x=a b"}), "");
    EXPECT_EQ(folder({"--lang=en", "--pref:note=My \"big\" copy", "/f/copy/", "--os=LIN"}), "/f/copy/");
    EXPECT_EQ(folder({"--pref:note=\"a", "copy", "--x=b\""}), here + "copy/");
    // An empty argument adds nothing; after a lone "--" every argument is a folder word.
    EXPECT_EQ(folder({"/f/copy/", ""}), "/f/copy/");
    EXPECT_EQ(folder({"--os=LIN", "--", "-copy"}), here + "-copy/");
    EXPECT_EQ(folder({"--", "--os=LIN", "", "--", "x"}), here + "--os=LIN -- x/");

    // Only a copy is taken: the folder itself, or the nearest folder above it that is one, with
    // ".." and links read as the file system reads them; a folder inside no copy, or not there,
    // gives none.
    const std::string copy = TS_new_copy("cl copy"), other = TS_new_dir("cl other");
    TS_sh("mkdir -p '" + copy + "Resources/deep' && ln -s '" + copy + "Resources/deep' '" + other + "lnk'");
    EXPECT_EQ(command_line_copy(copy), copy);
    EXPECT_EQ(command_line_copy(folder({"."}, copy + "Resources/deep/")), copy);
    EXPECT_EQ(folder({"lnk/.."}, other), copy + "Resources/");
    EXPECT_EQ(command_line_copy(copy + "Resources/deep/../../Output/"), copy);
    EXPECT_EQ(command_line_copy(other), "");
    EXPECT_EQ(command_line_copy(copy + "missing/"), "");
    EXPECT_EQ(command_line_copy(""), "");

    EXPECT_EQ(runs_from_disc("", "/media/cd/updater", "/tmp/u/"), 0);
    EXPECT_EQ(runs_from_disc("/media/cd/", "/media/cd/updater", "/tmp/u/"), 1);
    EXPECT_EQ(runs_from_disc("/media/cd/", "/media/cdrom/updater", "/tmp/u/"), 0);
    // The root must be matched whole, not only as far as the shorter path goes.
    EXPECT_EQ(runs_from_disc("/media/cd/long/root/", "/media/cd/", "/tmp/u/"), 0);
    // "/" matches every path, but the copy in the temporary folder never relaunches itself.
    EXPECT_EQ(runs_from_disc("/", "/home/me/updater", "/tmp/u/"), 1);
    EXPECT_EQ(runs_from_disc("/", "/tmp/u/updater", "/tmp/u/"), 0);
}

TEST(Start, FiveOsFolderLines)
{
    std::string tmp, prefs;
    const std::string text = os_folder_lines();
    FILE_get_special_dir(os_dir_temp, tmp);
    FILE_get_special_dir(os_dir_prefs, prefs);
    std::string app, desktop;
    FILE_get_special_dir(os_dir_this_app, app);
    FILE_get_special_dir(os_dir_desktop, desktop);
    EXPECT_EQ(text, "os_dir_this_app\t\t=" + app + "\nos_dir_desktop\t\t=" + desktop + "\nos_dir_default_apps\t=" +
                        desktop + "\nos_dir_temp\t\t\t=" + tmp + "\nos_dir_prefs\t\t\t=" + prefs + "\n\n");
    EXPECT_EQ(prefs, TS_scratch() + "data/");
    EXPECT_EQ(desktop, TS_scratch() + "home/Desktop/");
}
