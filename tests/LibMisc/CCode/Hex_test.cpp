#include "LibMisc/CCode/Hex.h"

#include <gtest/gtest.h>

#include <string>

TEST(HexDigitToInt, DigitsOfBothCasesAndEverythingElse)
{
    struct Case {
        char c;
        int expected;
    };
    const Case cases[] = {
        {'0', 0},  {'9', 9},  {'a', 10}, {'f', 15}, {'A', 10}, {'F', 15},
        // Neighbours of the ranges and odd bytes.
        {'g', -1}, {'G', -1}, {'/', -1}, {':', -1}, {'@', -1}, {'`', -1},
        {' ', -1}, {'\0', -1}, {static_cast<char>(0xC1), -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(lTools_hexDigitToInt(c.c), c.expected) << "char code " << int(static_cast<unsigned char>(c.c));
}

TEST(ByteToHexStr, TwoDigitsNoTerminator)
{
    struct Case {
        uint8_t byte;
        int upper;
        const char* expected;
    };
    const Case cases[] = {
        {0xAB, 1, "AB"}, {0xAB, 0, "ab"}, {0xAB, -1, "ab"}, {0x0F, 2, "0F"}, {0x00, 1, "00"}, {0xF0, 0, "f0"},
    };
    for (const Case& c : cases) {
        char out[3] = {'x', 'x', 'x'};
        EXPECT_EQ(lTools_byteToHexStr(c.byte, out, c.upper), 2);
        EXPECT_EQ(std::string(out, 2), c.expected);
        EXPECT_EQ(out[2], 'x');
    }
}
