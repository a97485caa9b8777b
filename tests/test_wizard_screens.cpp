// The wizard as the user meets it: the real program under Xvfb with Mesa, in English and in
// Russian, on Welcome with a command-line folder and with one registered copy. Screenshots are
// read where the wizard draws: backdrop, panels, step list with the current title, beta box,
// picture buttons dimmed, under the pointer and held; then the beta box and Quit.
#include "support/test_servers.h"
#include "support/wizard_run.h"

#include <gtest/gtest.h>
#include <ostream>

namespace {

// The picture buttons' edges on each language's sheet (English, French, German, Russian).
const int kSheet[8][4] = {{0, 0, 0, 0},         {56, 91, 96, 75},     {145, 172, 181, 144}, {246, 284, 256, 211},
                          {357, 477, 422, 346}, {489, 695, 611, 422}, {605, 874, 762, 501}, {691, 958, 859, 616}};

// The centres of Quit, Preferences, Back and Next in UI units (buttons stand from y 12 to 34).
struct Buttons {
    int quit, prefs, back, next;
};
Buttons buttons_for(int lang)
{
    auto w = [lang](int pic) { return kSheet[pic + 1][lang] - kSheet[pic][lang]; };
    Buttons b;
    b.quit = 30 + w(0) / 2;
    b.prefs = 30 + w(0) + 20 + 10 + w(6) / 2;
    b.next = 770 - w(2) / 2;
    b.back = 770 - (w(2) + 20 + 10) - w(1) / 2;
    return b;
}

const WR_rgb kTitle77 = {51, 51, 204};  // colour 77, the current step's title
const WR_rgb kWhite = {255, 255, 255};  // the panels' ground
const WR_rgb kNavy = {23, 40, 60};      // the pictures' words in their normal and held bands
const WR_rgb kMintDeep = {31, 120, 88}; // the words in the band under the pointer

// Pixels of exactly colour c in the box.
// The step list's title rows: ink in each of the first `rows` rows, none below them, and colour
// 77 only in row `current`.
void expect_step_list(const WR_shot& s, int rows, int current, const std::string& what)
{
    for (int i = 0; i < 7; ++i) {
        const int base = 480 - 20 * i;
        const int ink = s.ink(28, 195, base - 4, base + 11, true);
        if (i < rows)
            EXPECT_GT(ink, 20) << what << ": title " << i;
        else
            EXPECT_EQ(ink, 0) << what << ": row " << i << " should be empty";
        EXPECT_EQ(s.exact(28, 195, base - 4, base + 11, kTitle77) > 5, i == current) << what << ": title " << i;
    }
}

// The backdrop is the background picture one texel per unit from its lower-left corner: the
// strip above the panels, arcs included, matches the picture.
void expect_backdrop(const WR_shot& s, const WR_shot& picture)
{
    int off = 0;
    for (int y = 510; y < 600; ++y)
        for (int x = 0; x < 800; x += 3)
            if (!s.at(x, y).near(picture.at(x, y), 3)) ++off;
    EXPECT_LT(off, 10) << s.png;
    // Between the panels and beside them.
    EXPECT_TRUE(s.at(205, 300).near(picture.at(205, 300), 3)) << s.png;
    EXPECT_TRUE(s.at(4, 300).near(picture.at(4, 300), 3)) << s.png;
}

struct Lang {
    int index;
    const char* env;
};
void PrintTo(const Lang& l, std::ostream* os)
{
    *os << "LANG=" << l.env;
}

class WizardScreens : public WR_screens<Lang> {};

// True when the buttons' row shows: Quit's word in the navy of the normal band.
bool welcome_shows(const WR_shot& s, const Buttons& b)
{
    return s.exact(b.quit - 20, b.quit + 20, 14, 32, kNavy) > 10 && s.exact(28, 195, 476, 491, kTitle77) > 5;
}

// The beta box ticks on the press; the button is held while the pointer moves onto Next (a
// press outside a button is no click there): Next shows the held band (navy words on the held
// bar), not the pointer's green. Then the pointer leaves and the button goes up. s comes back as
// the held screenshot.
void press_beta_and_hold_over_next(WR_run& r, const Buttons& b, WR_shot& s)
{
    const WR_shot before = s; // Next in its normal look
    const int before_ink = s.ink(242, 258, 392, 408, true);
    ASSERT_TRUE(WR_press(r, 250, 403));
    s = WR_wait_for(r, "beta", [&](const WR_shot& s) { return s.ink(242, 258, 392, 408, true) > before_ink + 10; });
    EXPECT_GT(s.ink(242, 258, 392, 408, true), before_ink + 10) << "beta box ticked " << s.png;
    ASSERT_TRUE(WR_move(r, b.next, 23));
    s = WR_wait_for(r, "held-next", [&](const WR_shot& s) {
        return s.exact(b.next - 20, b.next + 20, 14, 32, kNavy) > 10 && s.at(b.next, 13) != before.at(b.next, 13);
    });
    EXPECT_EQ(s.exact(b.next - 20, b.next + 20, 14, 32, kMintDeep), 0) << s.png;
    EXPECT_GT(s.exact(b.next - 20, b.next + 20, 14, 32, kNavy), 10) << s.png;
    EXPECT_NE(s.at(b.next, 13).str(), before.at(b.next, 13).str()) << "held bar " << s.png;
    ASSERT_TRUE(WR_move(r, 500, 250));
    ASSERT_TRUE(WR_release(r));
}

} // namespace

// Command-line folder: five titles, the picture buttons in all their looks, the beta box saved,
// Next to Search for Updates, Quit with status 0.
TEST_P(WizardScreens, WelcomeWithACommandLineFolder)
{
    const Lang lang = GetParam();
    const Buttons b = buttons_for(lang.index);
    WR_run r;
    ASSERT_TRUE(WR_prepare(r, x, "cmdline"));
    const std::string copy = TS_new_copy("My Sim");
    // Next starts the server look-up: through a proxy on a closed local port, so no test asks the
    // network.
    TS_write_file(r.data + "Corvane Installer.prf",
                  "I\n10 version\n_proxy_host 127.0.0.1\n_proxy_port_int " + std::to_string(TS_free_port()) + "\n");
    ASSERT_TRUE(WR_launch(r, {copy}, {{"LANG", lang.env}})) << r.proc.err;

    // Pointer away from every button.
    ASSERT_TRUE(WR_move(r, 500, 250));
    WR_shot s = WR_wait_for(r, "welcome", [&](const WR_shot& s) { return welcome_shows(s, b); });
    ASSERT_TRUE(s.ok());
    expect_backdrop(s, picture);
    expect_step_list(s, 5, 0, s.png);
    // Panels: white grounds from (10, 50) 190 x 453 and from (210, 50) 580 x 453.
    EXPECT_EQ(s.exact(14, 196, 54, 99, kWhite), 183 * 46) << s.png;
    EXPECT_EQ(s.exact(214, 786, 54, 99, kWhite), 573 * 46) << s.png;
    EXPECT_FALSE(s.at(8, 300) == kWhite);
    EXPECT_FALSE(s.at(202, 300) == kWhite);
    EXPECT_FALSE(s.at(792, 300) == kWhite);
    EXPECT_FALSE(s.at(500, 47) == kWhite);
    // The page: its title centred on 500 in bold colour 12 ink, its text from x 230, the beta box
    // near (250, 400) with its label right of it.
    const WR_shot::Box title = s.extent(214, 786, 476, 495, [](WR_rgb c) { return c.sum() < 300; });
    EXPECT_NEAR((title.left + title.right) / 2.0, 500, 5) << s.png;
    const WR_shot::Box text = s.extent(214, 786, 425, 452, [](WR_rgb c) { return c.sum() < 300; });
    EXPECT_NEAR(text.left, 231, 2) << s.png;
    EXPECT_GT(s.ink(242, 258, 392, 408, true), 20) << "beta box " << s.png;
    EXPECT_GT(s.ink(262, 700, 385, 415, true), 100) << "beta label " << s.png;

    // Back has no target: dimmed, its word at half alpha (no full-strength navy); Next is normal.
    EXPECT_EQ(s.exact(b.back - 25, b.back + 25, 14, 32, kNavy), 0) << s.png;
    EXPECT_GT(s.ink(b.back - 25, b.back + 25, 14, 32, true), 20) << s.png;
    EXPECT_GT(s.exact(b.next - 20, b.next + 20, 14, 32, kNavy), 10) << s.png;
    EXPECT_GT(s.exact(b.prefs - 20, b.prefs + 20, 14, 32, kNavy), 10) << s.png;

    // Under the pointer: Next's word turns to the band's green; Back, dimmed, does not.
    ASSERT_TRUE(WR_move(r, b.next, 23));
    s = WR_wait_for(r, "hover-next",
                    [&](const WR_shot& s) { return s.exact(b.next - 20, b.next + 20, 14, 32, kMintDeep) > 10; });
    EXPECT_GT(s.exact(b.next - 20, b.next + 20, 14, 32, kMintDeep), 10) << s.png;
    EXPECT_EQ(s.exact(b.next - 20, b.next + 20, 14, 32, kNavy), 0) << s.png;
    ASSERT_TRUE(WR_move(r, b.back, 23));
    s = WR_wait_for(r, "hover-back",
                    [&](const WR_shot& s) { return s.exact(b.next - 20, b.next + 20, 14, 32, kNavy) > 10; });
    EXPECT_EQ(s.exact(b.back - 25, b.back + 25, 14, 32, kMintDeep), 0) << s.png;
    EXPECT_EQ(s.exact(b.back - 25, b.back + 25, 14, 32, kNavy), 0) << s.png;

    press_beta_and_hold_over_next(r, b, s);
    expect_step_list(s, 5, 0, s.png + " (still Welcome)");

    // Next goes straight to Search for Updates (the second of five titles).
    ASSERT_TRUE(WR_click(r, b.next, 23));
    ASSERT_TRUE(WR_move(r, 500, 250));
    s = WR_wait_for(r, "search", [&](const WR_shot& s) { return s.exact(28, 195, 456, 471, kTitle77) > 5; });
    expect_step_list(s, 5, 1, s.png);

    ASSERT_TRUE(WR_click(r, b.quit, 23));
    TS_result end = WR_finish(r, 60);
    EXPECT_FALSE(end.timed_out);
    EXPECT_EQ(end.exit_code, 0) << end.err;
    const std::string prefs = TS_read_file(r.data + "Corvane Installer.prf");
    EXPECT_NE(prefs.find("\n_get_beta 1\n"), std::string::npos) << prefs;
    EXPECT_NE(WR_log(r).find("Clean exit from threads."), std::string::npos);
}

// One registered copy, no command line: six titles, and that copy is chosen (Pick Destination,
// reached with Next, lets the user go on).
TEST_P(WizardScreens, WelcomeWithOneRegisteredCopy)
{
    const Lang lang = GetParam();
    const Buttons b = buttons_for(lang.index);
    WR_run r;
    ASSERT_TRUE(WR_prepare(r, x, "registered"));
    const std::string copy = TS_new_dir("Sim Copy");
    TS_write_file(r.data + "corvane_install_10.txt", copy + "\n");
    ASSERT_TRUE(WR_launch(r, {}, {{"LANG", lang.env}})) << r.proc.err;
    ASSERT_TRUE(WR_move(r, 500, 250));

    WR_shot s = WR_wait_for(r, "welcome", [&](const WR_shot& s) { return welcome_shows(s, b); });
    expect_backdrop(s, picture);
    expect_step_list(s, 6, 0, s.png);
    EXPECT_EQ(s.exact(b.back - 25, b.back + 25, 14, 32, kNavy), 0) << s.png;
    ASSERT_TRUE(WR_move(r, b.prefs, 23));
    s = WR_wait_for(r, "hover-prefs",
                    [&](const WR_shot& s) { return s.exact(b.prefs - 20, b.prefs + 20, 14, 32, kMintDeep) > 10; });
    EXPECT_GT(s.exact(b.prefs - 20, b.prefs + 20, 14, 32, kMintDeep), 10) << s.png;
    ASSERT_TRUE(WR_move(r, 500, 250));
    s = WR_wait_for(r, "away",
                    [&](const WR_shot& s) { return s.exact(b.prefs - 20, b.prefs + 20, 14, 32, kNavy) > 10; });
    press_beta_and_hold_over_next(r, b, s);

    ASSERT_TRUE(WR_click(r, b.next, 23));
    ASSERT_TRUE(WR_move(r, 500, 250));
    // The pointer has left Next once the frame after the move is drawn: wait for that one too.
    s = WR_wait_for(r, "pick", [&](const WR_shot& s) {
        return s.exact(28, 195, 456, 471, kTitle77) > 5 && s.exact(b.next - 20, b.next + 20, 14, 32, kNavy) > 10;
    });
    expect_step_list(s, 6, 1, s.png);
    // A chosen folder enables Next and Back goes to Welcome: both in the normal look.
    EXPECT_GT(s.exact(b.next - 20, b.next + 20, 14, 32, kNavy), 10) << s.png;
    EXPECT_GT(s.exact(b.back - 20, b.back + 20, 14, 32, kNavy), 10) << s.png;

    ASSERT_TRUE(WR_click(r, b.back, 23));
    ASSERT_TRUE(WR_move(r, 500, 250));
    s = WR_wait_for(r, "back", [&](const WR_shot& s) { return s.exact(28, 195, 476, 491, kTitle77) > 5; });
    expect_step_list(s, 6, 0, s.png);

    ASSERT_TRUE(WR_click(r, b.quit, 23));
    TS_result end = WR_finish(r, 60);
    EXPECT_EQ(end.exit_code, 0) << end.err;
    EXPECT_NE(TS_read_file(r.data + "Corvane Installer.prf").find("\n_get_beta 1\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Languages, WizardScreens,
                         testing::Values(Lang{0, "en_US.UTF-8"}, Lang{3, "ru_RU.UTF-8"}),
                         [](const testing::TestParamInfo<Lang>& i) { return i.param.index ? "Russian" : "English"; });
