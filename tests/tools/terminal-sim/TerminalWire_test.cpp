#include "tools/terminal-sim/WireDecoder.h"

#include "Hex.h"

#include <gtest/gtest.h>

using namespace terminal_sim;

namespace {

const PacketId id1to8 = {1, 2, 3, 4, 5, 6, 7, 8};
const char* const probeMessage = "000A0035 0000000000000000";

std::string summary(const std::vector<WireEvent>& events)
{
    std::string text;
    for (const WireEvent& e : events) {
        switch (e.kind) {
        case WireEvent::Kind::Frame:
            text += "frame:" + hexText(e.message);
            break;
        case WireEvent::Kind::BadFrame:
            text += "bad-frame";
            break;
        case WireEvent::Kind::Packet:
            text += "packet:" + hexText(Bytes(e.id.begin(), e.id.end())) + ":" + hexText(e.message);
            break;
        case WireEvent::Kind::BadPacket:
            text += "bad-packet";
            break;
        case WireEvent::Kind::Acknowledgement:
            text += "ack:" + hexText(Bytes(e.id.begin(), e.id.end()));
            break;
        case WireEvent::Kind::Accepted:
            text += "accepted";
            break;
        case WireEvent::Kind::Rejected:
            text += "rejected";
            break;
        }
        text += " ";
    }
    return text;
}

} // namespace

TEST(TerminalWire, FramesCheckTheFirstNBytes)
{
    const struct {
        const char* message;
        const char* frame;
    } cases[] = {
        {"01020304", "0006 01020304 0104"},
        {"010203", "0005 010203 0107"},
        {"", "0002 0000"},
        {probeMessage, "000E 000A0035 0000000000000000 0031"}, // the keep-alive frame
    };
    for (const auto& c : cases)
        EXPECT_EQ(hexOf(c.frame), hexText(encodeFrame(hexBytes(c.message)))) << c.message;
    EXPECT_THROW(encodeFrame(Bytes(maxFrameMessage + 1)), std::length_error);
}

TEST(TerminalWire, PacketsAndAcknowledgements)
{
    EXPECT_EQ(hexOf("FEFD 0016 0102030405060708 000A0035 0000000000000000 FEDC"),
              hexText(encodePacket(id1to8, hexBytes(probeMessage))));
    EXPECT_EQ(hexOf("FEFC 0102030405060708"), hexText(encodeAcknowledgement(id1to8)));
    EXPECT_THROW(encodePacket(id1to8, Bytes(maxPacketMessage + 1)), std::length_error);
}

TEST(WireDecoder, SplitsTheServiceOutput)
{
    const struct {
        const char* input;
        const char* events;
    } cases[] = {
        {"0006 01020304 0104", "frame:01020304 "},
        {"0006 0102AAAA 0104", "frame:0102AAAA "}, // the last two bytes are not covered
        {"0006 01020304 0105", "bad-frame "},
        {"0000 0006010203040104", "bad-frame frame:01020304 "},
        {"FE06 FE15 FE33", "accepted rejected rejected "},
        {"FEFD 0016 0102030405060708 000A0035 0000000000000000 FEDC",
         "packet:0102030405060708:000A00350000000000000000 "},
        {"FEFD 0016 0102030405060708 000A0035 0000000000000000 FEDD", "bad-packet "},
        {"FEFD 0009 FE06", "bad-packet accepted "},
        {"FEFC 0102030405060708 0006 01020304 0104 FE06", "ack:0102030405060708 frame:01020304 accepted "},
    };
    const auto now = WireDecoder::Clock::now();
    for (const auto& c : cases) {
        const Bytes input = hexBytes(c.input);
        WireDecoder whole;
        EXPECT_EQ(c.events, summary(whole.feed(input.data(), input.size(), now))) << c.input;
        EXPECT_FALSE(whole.deadline()) << c.input;

        WireDecoder byteByByte;
        std::vector<WireEvent> events;
        for (uint8_t byte : input)
            for (WireEvent& e : byteByByte.feed(&byte, 1, now))
                events.push_back(std::move(e));
        EXPECT_EQ(c.events, summary(events)) << c.input;
    }
}

TEST(WireDecoder, UnfinishedInputIsGivenUp)
{
    const auto start = WireDecoder::Clock::now();
    const struct {
        const char* input;
        const char* events;
    } cases[] = {
        {"0006 0102", "bad-frame "}, // refused, so the service sends it again
        {"00", "bad-frame "},
        {"FEFD 0016 01", ""},
        {"FEFC 0102", ""},
    };
    for (const auto& c : cases) {
        WireDecoder decoder;
        const Bytes input = hexBytes(c.input);
        EXPECT_EQ("", summary(decoder.feed(input.data(), input.size(), start)));
        ASSERT_TRUE(decoder.deadline());
        EXPECT_EQ(start + WireDecoder::partialTimeout, *decoder.deadline());
        EXPECT_EQ("", summary(decoder.expire(start + WireDecoder::partialTimeout - std::chrono::milliseconds(1))));
        EXPECT_EQ(c.events, summary(decoder.expire(start + WireDecoder::partialTimeout))) << c.input;

        const Bytes next = hexBytes("FE06");
        EXPECT_EQ("accepted ", summary(decoder.feed(next.data(), next.size(), start))) << c.input;
    }
}
