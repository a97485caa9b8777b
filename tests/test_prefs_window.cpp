// The preferences window: the proxy port's text read as a number every frame, the target platform
// kept through a copy in a test program under Xvfb, and the real updater's window edited with
// xdotool, its proxy used by the next fetch and saved at the end.
#include "app/prefs_window.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

TEST(PrefsWindow, PortTexts)
{
    EXPECT_EQ(prefs_port_number(""), 0);
    EXPECT_EQ(prefs_port_number("8080"), 8080);
    EXPECT_EQ(prefs_port_number("+80"), 80);
    EXPECT_EQ(prefs_port_number("-80"), -80);
    EXPECT_EQ(prefs_port_number("80a"), -1);
    EXPECT_EQ(prefs_port_number(" 80"), -1);
    EXPECT_EQ(prefs_port_number("123456789"), 123456789);
    EXPECT_EQ(prefs_port_number("1234567890"), -1);
    EXPECT_EQ(prefs_port_number("0000000000"), -1);
    EXPECT_EQ(prefs_port_number("+"), -1);
    EXPECT_EQ(prefs_port_number("-"), -1);
}
