#include "LibMisc/ByteArray.h"

#include <gtest/gtest.h>

#include <vector>

using LibMisc::ByteArray;
using Bytes = std::vector<unsigned char>;

namespace {
Bytes contents(const ByteArray& array)
{
    return array.data ? Bytes(array.data, array.data + array.size) : Bytes();
}

void expectEmpty(const ByteArray& array)
{
    EXPECT_EQ(array.size, 0u);
    EXPECT_EQ(array.data, nullptr);
}
} // namespace

TEST(ByteArray, ConstructionKeepsTheTextTerminator)
{
    const unsigned char raw[] = {1, 2, 3};
    struct Case {
        const char* name;
        ByteArray array;
        Bytes expected;
    };
    const Case cases[] = {
        {"std::string abc", ByteArray(std::string("abc")), {0x61, 0x62, 0x63, 0x00}},
        {"empty std::string", ByteArray(std::string()), {0x00}},
        {"const char* abc", ByteArray("abc"), {0x61, 0x62, 0x63, 0x00}},
        {"std::string with inner zero", ByteArray(std::string("a\0b", 3)), {0x61, 0x00, 0x62, 0x00}},
        {"bytes", ByteArray(raw, 3), {1, 2, 3}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.array.size, c.expected.size()) << c.name;
        EXPECT_EQ(contents(c.array), c.expected) << c.name;
    }
}

TEST(ByteArray, NothingToHoldGivesAnEmptyArray)
{
    const unsigned char raw[] = {1};
    expectEmpty(ByteArray());
    expectEmpty(ByteArray(size_t(0)));
    expectEmpty(ByteArray(static_cast<const char*>(nullptr)));
    expectEmpty(ByteArray(raw, 0));
    expectEmpty(ByteArray(nullptr, 3));

    const ByteArray sized(size_t(5));
    EXPECT_EQ(sized.size, 5u);
    EXPECT_NE(sized.data, nullptr);
}

TEST(ByteArray, CopiesAreDeep)
{
    ByteArray original("ab");
    ByteArray copy(original);
    ByteArray assigned("xyz");
    assigned = original;
    copy.data[0] = 'X';
    assigned.data[0] = 'Y';
    EXPECT_EQ(contents(original), (Bytes{'a', 'b', 0}));
    EXPECT_EQ(contents(copy), (Bytes{'X', 'b', 0}));
    EXPECT_EQ(contents(assigned), (Bytes{'Y', 'b', 0}));
}

TEST(ByteArray, MovesLeaveTheSourceEmpty)
{
    ByteArray source("abc");
    const unsigned char* buffer = source.data;
    ByteArray moved(std::move(source));
    expectEmpty(source);
    EXPECT_EQ(moved.data, buffer);

    ByteArray target("old");
    target = std::move(moved);
    expectEmpty(moved);
    EXPECT_EQ(target.data, buffer);
    EXPECT_EQ(target.size, 4u);
}

TEST(ByteArray, Assignments)
{
    ByteArray array("abc");
    array = ByteArray();
    expectEmpty(array);

    array = std::string("hi");
    EXPECT_EQ(contents(array), (Bytes{'h', 'i', 0}));
    array = "";
    EXPECT_EQ(contents(array), (Bytes{0}));
    array = static_cast<const char*>(nullptr);
    expectEmpty(array);

    ByteArray self("same");
    const ByteArray& alias = self;
    self = alias;
    EXPECT_EQ(contents(self), (Bytes{'s', 'a', 'm', 'e', 0}));
}
