#include "serial/WireFormat.h"

#include <cstring>

#include <gtest/gtest.h>

#include "tests/support/PtyPair.h"

using kiv_test::Bytes;
using kiv_test::hexBytes;
using kiv_test::hexText;

namespace {

TEST(WireFormat, ChecksCoverTheDocumentedBytes)
{
    struct Case {
        const char* bytes;
        size_t length;
        bool covered; // the frame protocol's coverage instead of every complete word
        uint16_t expected;
    };
    const Case cases[] = {
        {"00 05 01 02 03", 5, false, 0x0107},             // 03 is not covered
        {"00 0E 00 0A 00 35 00 00 00 00 00 00 00 00", 14, false, 0x0031}, // keep-alive
        {"00 06 01 02 03 04", 6, true, 0x0104},           // 03 04 are not covered
        {"00 05 01 02 03", 5, true, 0x0107},              // odd data: its last byte is not covered
        {"00 02", 2, true, 0x0000},
        {"AB", 1, false, 0x0000},
        {"", 0, false, 0x0000},
    };
    for (const Case& c : cases) {
        const Bytes bytes = hexBytes(c.bytes);
        const uint16_t check = c.covered ? SerialLink::coveredWordCheck(bytes.data(), c.length)
                                         : SerialLink::xorWordCheck(bytes.data(), c.length);
        EXPECT_EQ(check, c.expected) << c.bytes;
    }
}

TEST(WireFormat, FramesCarryLengthDataAndCheck)
{
    const Bytes data = hexBytes("01 02 03");
    EXPECT_EQ(hexText(SerialLink::buildFrame(data.data(), data.size(), SerialLink::xorWordCheck)),
              "00 05 01 02 03 01 07");
    EXPECT_EQ(hexText(SerialLink::buildFrame(nullptr, 0, SerialLink::xorWordCheck)), "00 02 00 02");
    const Bytes four = hexBytes("01 02 03 04");
    EXPECT_EQ(hexText(SerialLink::buildFrame(four.data(), four.size(), SerialLink::coveredWordCheck)),
              "00 06 01 02 03 04 01 04");
    EXPECT_EQ(hexText(Bytes(std::begin(SerialLink::kKeepAliveFrame), std::end(SerialLink::kKeepAliveFrame))),
              "00 0E 00 0A 00 35 00 00 00 00 00 00 00 00 00 31");
}

TEST(WireFormat, PacketsCarryTheIdentifierInMachineOrder)
{
    const uint64_t id = 0x1122334455667788ULL;
    const Bytes payload = hexBytes("0A 0B 0C 0D");
    const Bytes packet = SerialLink::buildPacket(id, payload.data(), payload.size(), SerialLink::coveredWordCheck);
    ASSERT_EQ(packet.size(), 18u);
    EXPECT_EQ(hexText(Bytes(packet.begin(), packet.begin() + 4)), "FE FD 00 0E");
    uint64_t carried;
    std::memcpy(&carried, packet.data() + 4, sizeof carried);
    EXPECT_EQ(carried, id);
    EXPECT_EQ(Bytes(packet.begin() + 12, packet.begin() + 16), payload);
    // The last two payload bytes are not covered by the check.
    Bytes damaged = packet;
    damaged[14] ^= 0xFF;
    damaged[15] ^= 0x55;
    EXPECT_EQ(SerialLink::coveredWordCheck(damaged.data(), 16), SerialLink::readBigEndian16(packet.data() + 16));
}

TEST(WireFormat, OversizedMessagesAreRefused)
{
    const Bytes big(65534);
    EXPECT_THROW(SerialLink::buildFrame(big.data(), big.size(), SerialLink::xorWordCheck), std::invalid_argument);
    EXPECT_NO_THROW(SerialLink::buildFrame(big.data(), 65533, SerialLink::xorWordCheck));
    EXPECT_THROW(SerialLink::buildPacket(1, big.data(), 65526, SerialLink::coveredWordCheck), std::invalid_argument);
    EXPECT_NO_THROW(SerialLink::buildPacket(1, big.data(), 65525, SerialLink::coveredWordCheck));
}

} // namespace
