#include "relay/RelayFrame.h"

#include <gtest/gtest.h>

using namespace kiv_proxy;

namespace {

// Serves exact reads from a byte string, failing once it runs out.
class ByteSource {
public:
    explicit ByteSource(std::vector<uint8_t> bytes) : _bytes(std::move(bytes)) {}
    ExactReader reader()
    {
        return [this](uint8_t* buffer, size_t n) {
            if (_bytes.size() - _offset < n)
                return false;
            std::copy_n(_bytes.begin() + static_cast<ptrdiff_t>(_offset), n, buffer);
            _offset += n;
            return true;
        };
    }
    size_t consumed() const { return _offset; }

private:
    std::vector<uint8_t> _bytes;
    size_t _offset = 0;
};

const std::vector<uint8_t> kAddresses = {10, 0, 0, 7, 0x1F, 0x90, 127, 0, 0, 1, 0x00, 0x35};

std::vector<uint8_t> request(uint16_t length, uint8_t command, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    bytes.insert(bytes.end(), kAddresses.begin(), kAddresses.end());
    bytes.push_back(command);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

TEST(RelayFrame, ReadsTheFieldsOfARequest)
{
    ByteSource source(request(16, RelayUdp, {'a', 'b', 'c'}));
    RelayRequest parsed;
    ASSERT_EQ(readRelayRequest(source.reader(), parsed), RelayReadStatus::Ok);
    EXPECT_EQ(parsed.sourceIp(), "10.0.0.7");
    EXPECT_EQ(parsed.sourcePort(), 8080);
    EXPECT_EQ(parsed.destinationIp(), "127.0.0.1");
    EXPECT_EQ(parsed.destinationPort(), 53);
    EXPECT_EQ(parsed.command, RelayUdp);
    EXPECT_EQ(parsed.payload, (std::vector<uint8_t>{'a', 'b', 'c'}));
}

TEST(RelayFrame, ReportsWhereARequestEnds)
{
    const std::vector<uint8_t> full = request(16, RelayIcmp, {1, 2, 3});
    const struct {
        std::vector<uint8_t> bytes;
        RelayReadStatus status;
        size_t consumed;
    } cases[] = {
        {request(13, RelayUdp, {}), RelayReadStatus::Ok, 15},  // no payload
        {request(12, RelayUdp, {}), RelayReadStatus::TooShort, 2}, // nothing read after L
        {request(0, RelayUdp, {}), RelayReadStatus::TooShort, 2},
        {{0x00}, RelayReadStatus::LengthFailed, 0},
        {{full.begin(), full.begin() + 13}, RelayReadStatus::HeaderFailed, 2},
        {{full.begin(), full.end() - 1}, RelayReadStatus::BodyFailed, 14},
    };
    for (const auto& c : cases) {
        ByteSource source(c.bytes);
        RelayRequest parsed;
        EXPECT_EQ(readRelayRequest(source.reader(), parsed), c.status) << ::testing::PrintToString(c.bytes);
        EXPECT_EQ(source.consumed(), c.consumed) << ::testing::PrintToString(c.bytes);
    }
}

TEST(RelayFrame, ConsecutiveRequestsOnOneStream)
{
    std::vector<uint8_t> stream = request(14, RelayUdp, {1});
    const auto second = request(15, RelayIcmp, {2, 3});
    stream.insert(stream.end(), second.begin(), second.end());
    ByteSource source(stream);
    RelayRequest first, next;
    ASSERT_EQ(readRelayRequest(source.reader(), first), RelayReadStatus::Ok);
    ASSERT_EQ(readRelayRequest(source.reader(), next), RelayReadStatus::Ok);
    EXPECT_EQ(first.payload, std::vector<uint8_t>{1});
    EXPECT_EQ(next.command, RelayIcmp);
    EXPECT_EQ(next.payload, (std::vector<uint8_t>{2, 3}));
}

TEST(RelayFrame, AnswerRepeatsAddressesAndCommand)
{
    ByteSource source(request(13, RelayIcmp, {}));
    RelayRequest parsed;
    ASSERT_EQ(readRelayRequest(source.reader(), parsed), RelayReadStatus::Ok);
    const std::vector<uint8_t> answer(300, 0xAB);
    const auto frame = buildRelayAnswer(parsed, answer.data(), answer.size());
    std::vector<uint8_t> expected = {0x01, 0x39}; // 13 + 300
    expected.insert(expected.end(), kAddresses.begin(), kAddresses.end());
    expected.push_back(RelayIcmp);
    expected.insert(expected.end(), answer.begin(), answer.end());
    EXPECT_EQ(frame, expected);
}

TEST(RelayFrame, StripsTheIpv4HeaderByItsOwnLength)
{
    auto packet = [](uint8_t firstByte, size_t size) {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<uint8_t>(i);
        bytes[0] = firstByte;
        return bytes;
    };
    const struct {
        std::vector<uint8_t> packet;
        size_t expectedSize; // bytes kept from the end
    } cases[] = {
        {packet(0x45, 28), 8},  // 20-byte header
        {packet(0x46, 32), 8},  // 24 bytes with options
        {packet(0x45, 20), 0},  // header only
        {packet(0x45, 19), 0},  // shorter than any header
        {packet(0x4F, 40), 0},  // shorter than its own 60-byte header
        {{}, 0},
    };
    for (const auto& c : cases) {
        const auto icmp = stripIpv4Header(c.packet.data(), c.packet.size());
        EXPECT_EQ(icmp, std::vector<uint8_t>(c.packet.end() - static_cast<ptrdiff_t>(c.expectedSize), c.packet.end()))
            << ::testing::PrintToString(c.packet);
    }
}

} // namespace
