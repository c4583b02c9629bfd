#include "LibMisc/CCode/Bytes.h"

#include <gtest/gtest.h>

#include <vector>

using Bytes = std::vector<uint8_t>;

TEST(UllToBytes, WritesTheLowBytesBigEndian)
{
    struct Case {
        uint64_t value;
        size_t n;
        Bytes expected;
    };
    const Case cases[] = {
        {0x0102030405060708ULL, 8, {1, 2, 3, 4, 5, 6, 7, 8}},
        {0x010203, 3, {1, 2, 3}},
        {0xAABBCCDD, 2, {0xCC, 0xDD}},
        {0xFF, 1, {0xFF}},
        {0, 0, {}},
        {0x0102, 10, {0, 0, 0, 0, 0, 0, 0, 0, 1, 2}}, // wider than 8: zero-filled, no shift past 64 bits
    };
    for (const Case& c : cases) {
        Bytes out(c.n + 1, 0xEE); // the byte after the last must stay untouched
        ltools_ullToBytes(out.data(), c.value, c.n);
        Bytes expected = c.expected;
        expected.push_back(0xEE);
        EXPECT_EQ(out, expected) << "value " << std::hex << c.value << " n " << c.n;
    }
}

TEST(BytesToUll, ReadsAtMostEightBytesBigEndian)
{
    const Bytes nine = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    struct Case {
        size_t n;
        uint64_t expected;
    };
    const Case cases[] = {
        {3, 66051}, {1, 1}, {8, 0x0102030405060708ULL}, {9, 0x0102030405060708ULL}, {100, 0x0102030405060708ULL},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ltools_bytesToull(nine.data(), c.n), c.expected) << "n " << c.n;
    EXPECT_EQ(ltools_bytesToull(nullptr, 0), 0u); // reads nothing
}

TEST(BytesToUll, RoundTripsEveryWidth)
{
    const uint64_t value = 0xF1E2D3C4B5A69788ULL;
    for (size_t n = 1; n <= 8; ++n) {
        uint8_t buffer[8];
        ltools_ullToBytes(buffer, value, n);
        const uint64_t mask = n == 8 ? ~0ULL : (1ULL << (8 * n)) - 1;
        EXPECT_EQ(ltools_bytesToull(buffer, n), value & mask) << "n " << n;
    }
}
