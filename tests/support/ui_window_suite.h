// One Xvfb and one in-process window (tools/ui_window.h) for a whole test suite, opened before
// its first test. Suite is the deriving test class, so that each suite has its own.
#pragma once
#include "tools/ui_window.h"

#include <gtest/gtest.h>
#include <memory>

template <class Suite> class UI_window_suite : public testing::Test {
protected:
    static std::unique_ptr<TS_xvfb> x;
    static bool ready;
    static void SetUpTestSuite() { ready = UI_open_window_on_xvfb(x); }
    void SetUp() override { ASSERT_TRUE(ready) << "no window under Xvfb"; }
};
template <class Suite> std::unique_ptr<TS_xvfb> UI_window_suite<Suite>::x;
template <class Suite> bool UI_window_suite<Suite>::ready = false;
