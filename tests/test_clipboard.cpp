// The clipboard module on the X CLIPBOARD selection of an Xvfb of our own (the text field's test
// has xclip as the other program): texts come back byte for byte, a closing NUL is counted, sizes
// and formats that do not match fail, and an empty copy leaves nothing to paste.
#include "frame/clipboard.h"
#include "platform/plat_window.h"
#include "support/test_support.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

class Clipboard : public testing::Test {
protected:
    static TS_xvfb* x;
    static PLAT_window* w;

    static void SetUpTestSuite()
    {
        x = new TS_xvfb;
        if (!TS_xvfb_start(*x, "640x480x24")) return;
        setenv("DISPLAY", x->display.c_str(), 1);
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        unsetenv("WAYLAND_DISPLAY");
        // The display connection that carries the clipboard comes with the first window.
        w = PLAT_create_gl_window("clipboard", 0, 0, 64, 64, 1, PLAT_gl_format());
    }
    static void TearDownTestSuite()
    {
        if (w) PLAT_destroy_window(w);
        PLAT_unregister_window_class("Hangaron");
        delete x;
    }
    void SetUp() override { ASSERT_NE(w, nullptr) << "no window on Xvfb"; }
};
TS_xvfb* Clipboard::x = nullptr;
PLAT_window* Clipboard::w = nullptr;

} // namespace

TEST_F(Clipboard, TextComesBackUnchangedAndMismatchesFail)
{
    const std::string utf8 = "h\xC3\xA9llo \xD0\x96 \xE2\x82\xAC";
    CLIP_put_text(utf8);
    ASSERT_EQ(gClipFormats.names, std::vector<std::string>({"text"}));
    std::string got = "old";
    ASSERT_TRUE(CLIP_get_text(got));
    EXPECT_EQ(got, utf8);
    EXPECT_EQ(CLIP_data_size(0), utf8.size() + 1);

    // A size other than the data's, or a format that is not there, copies nothing.
    char buf[64];
    memset(buf, 'z', sizeof buf);
    EXPECT_FALSE(CLIP_get_data(0, utf8.size(), buf));
    EXPECT_FALSE(CLIP_get_data(1, utf8.size() + 1, buf));
    EXPECT_EQ(buf[0], 'z');
    EXPECT_TRUE(CLIP_get_data(0, utf8.size() + 1, buf));
    EXPECT_EQ(std::string(buf), utf8);
    EXPECT_EQ(CLIP_data_size(3), 0u);
    const int bad = 3;
    const size_t one = 1;
    const void* data = "x";
    EXPECT_FALSE(CLIP_set_data(1, &bad, &one, &data));

    // A block longer than its text carries the text before the first NUL.
    const int text = 0;
    const size_t six = 6;
    const void* block = "ab\0cd";
    EXPECT_TRUE(CLIP_set_data(1, &text, &six, &block));
    ASSERT_TRUE(CLIP_get_text(got));
    EXPECT_EQ(got, "ab");

    // An empty copy: a paste finds no text.
    CLIP_put_text("");
    got = "kept";
    EXPECT_FALSE(CLIP_get_text(got));
    EXPECT_EQ(got, "kept");
    EXPECT_EQ(CLIP_data_size(0), 0u);
}
