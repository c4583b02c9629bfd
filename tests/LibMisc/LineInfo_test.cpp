#include "LibMisc/LineInfo.h"

#include <gtest/gtest.h>

TEST(LineInfo, BuildsTheSourceLocationText)
{
    const LineInfo info("a.c", "f", 12, "x");
    EXPECT_STREQ(info.get(), "[a.c:f():12] [x] ");
    EXPECT_EQ(info.size(), 17);
    const std::string text = info;
    EXPECT_EQ(text, "[a.c:f():12] [x] ");
    EXPECT_STREQ(static_cast<const char*>(info), "[a.c:f():12] [x] ");

    EXPECT_STREQ(LineInfo("b.c", "g", 4294967295u, nullptr).get(), "[b.c:g():4294967295] [] ");
}

TEST(LineInfo, CopyDuplicatesAndMoveTakesOver)
{
    LineInfo original("a.c", "f", 1, "x");
    LineInfo copy(original);
    EXPECT_NE(copy.get(), original.get());
    EXPECT_STREQ(copy.get(), original.get());

    const char* text = original.get();
    LineInfo moved(std::move(original));
    EXPECT_EQ(moved.get(), text);
    EXPECT_STREQ(original.get(), "");
    EXPECT_EQ(original.size(), -1);

    original = copy;
    EXPECT_STREQ(original.get(), "[a.c:f():1] [x] ");
}
