// The table of embedded resources and the "RESOURCE:" path prefix.
#include "foundation/resources.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

static const char kFontDir[] = "/usr/share/fonts/truetype/dejavu/";

static void expect_embedded(const char* name, const std::string& source)
{
    uint32_t size = 7;
    const unsigned char* bytes = RES_get_resource(name, size);
    ASSERT_NE(bytes, nullptr) << name;
    std::string want = TS_read_file(source);
    ASSERT_FALSE(want.empty()) << source;
    EXPECT_EQ(size, want.size()) << name;
    EXPECT_EQ(std::string((const char*)bytes, size), want) << name;
}

TEST(Resources, FontsAreEmbeddedUnderTheNamesTheProgramAsksFor)
{
    expect_embedded("DejaVuSans.ttf", std::string(kFontDir) + "DejaVuSans.ttf");
    expect_embedded("DejaVuSansBold.ttf", std::string(kFontDir) + "DejaVuSans-Bold.ttf");
}

TEST(Resources, LookupIgnoresCase)
{
    uint32_t a = 0, b = 0, c = 0;
    const unsigned char* upper = RES_get_resource("DEJAVUSANS.TTF", a);
    ASSERT_NE(upper, nullptr);
    EXPECT_EQ(RES_get_resource("dejavusans.ttf", b), upper);
    EXPECT_EQ(RES_get_resource("dEjAvUsAnS.TtF", c), upper);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, c);
    EXPECT_NE(RES_get_resource("dejavusansbold.ttf", b), upper);
}

TEST(Resources, MissingNamesLeaveTheSizeAlone)
{
    for (const char* name : {"", "DejaVuSans", "DejaVuSans.ttfx", "XDejaVuSans.ttf", "Italian.txt", "DejaVuSans.tt"}) {
        uint32_t size = 12345;
        EXPECT_EQ(RES_get_resource(name, size), nullptr) << name;
        EXPECT_EQ(size, 12345u) << name;
    }
}

TEST(Resources, ResourcePathPrefix)
{
    std::string p = "RESOURCE:French.txt";
    EXPECT_TRUE(RES_is_resource_path(p));
    EXPECT_EQ(p, "French.txt");
    p = "RESOURCE:elements_english.png";
    EXPECT_TRUE(RES_is_resource_path(p));
    EXPECT_EQ(p, "elements_english.png");
    p = "RESOURCE:";
    EXPECT_TRUE(RES_is_resource_path(p));
    EXPECT_EQ(p, "");
    uint32_t size = 1;
    EXPECT_EQ(RES_get_resource(p, size), nullptr);
    for (const char* other : {"resource:French.txt", "RESOURCE", "Resource:x", "", "/RESOURCE:x", "RESOURCES:x"}) {
        p = other;
        EXPECT_FALSE(RES_is_resource_path(p)) << other;
        EXPECT_EQ(p, other);
    }
}
