#include "serial/NonBtpSerialPortTransport.h"

#include <cstring>
#include <future>
#include <set>

#include <gtest/gtest.h>

#include "serial/SerialPortExceptions.h"
#include "serial/WireFormat.h"
#include "tests/serial/TransportOnPty.h"

using namespace std::chrono_literals;
using kiv_test::Bytes;
using kiv_test::hexBytes;
using kiv_test::hexText;
using spdlog::level::warn;
using Clock = std::chrono::steady_clock;

namespace {

class NonBtp : public Proxy::NonBtpSerialPortTransport {
public:
    using NonBtpSerialPortTransport::NonBtpSerialPortTransport;
    using NonBtpSerialPortTransport::_waitWrite;
};

// A packet as the terminal sends it.
Bytes packetFrom(const Bytes& idBytes, const Bytes& payload)
{
    uint64_t id;
    std::memcpy(&id, idBytes.data(), sizeof id);
    return SerialLink::buildPacket(id, payload.data(), payload.size(), SerialLink::coveredWordCheck);
}

const Bytes kId = hexBytes("11 22 33 44 55 66 77 88");

class NonBtpTest : public kiv_test::TransportOnPty<NonBtp> {
protected:
    // Reads one packet written by the transport and checks its frame.
    Bytes receivePacket()
    {
        const Bytes header = pty.receive(SerialLink::kPacketHeaderSize);
        if (header.size() < SerialLink::kPacketHeaderSize || header[0] != 0xFE || header[1] != 0xFD) {
            ADD_FAILURE() << "not a packet: " << hexText(header);
            return {};
        }
        Bytes packet = header;
        const Bytes rest = pty.receive(SerialLink::readBigEndian16(header.data() + 2));
        packet.insert(packet.end(), rest.begin(), rest.end());
        EXPECT_EQ(SerialLink::coveredWordCheck(packet.data(), packet.size() - 2),
                  SerialLink::readBigEndian16(packet.data() + packet.size() - 2));
        return packet;
    }

    static Bytes idOf(const Bytes& packet) { return Bytes(packet.begin() + 4, packet.begin() + 12); }

    void acknowledge(const Bytes& packet)
    {
        Bytes ack = hexBytes("FE FC");
        const Bytes id = idOf(packet);
        ack.insert(ack.end(), id.begin(), id.end());
        pty.send(ack);
    }
};

TEST_F(NonBtpTest, PacketMarkerSwitchesToThePacketProtocol)
{
    startReader();
    EXPECT_EQ(transport->getProtocolType(), NonBtp::SP_CONFIRMED_FRAMES);
    pty.send(packetFrom(kId, hexBytes("0A 0B 0C")));
    EXPECT_EQ(hexText(pty.receive(10)), "FE FC 11 22 33 44 55 66 77 88");
    const auto outcome = nextRead();
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->result, 3);
    EXPECT_EQ(hexText(outcome->data), "0A 0B 0C");
    EXPECT_EQ(transport->getProtocolType(), NonBtp::SP_PACKETS);
}

TEST_F(NonBtpTest, AcknowledgementMarkerIsRecordedForItsWriter)
{
    startReader();
    uint64_t id;
    std::memcpy(&id, kId.data(), sizeof id);
    Bytes ack = hexBytes("FE FC");
    ack.insert(ack.end(), kId.begin(), kId.end());
    pty.send(ack);
    EXPECT_TRUE(transport->_waitWrite(id, 3000));
    EXPECT_EQ(transport->getProtocolType(), NonBtp::SP_PACKETS);
    EXPECT_FALSE(transport->_waitWrite(id, 10)); // collected once
}

TEST_F(NonBtpTest, ConcurrentWritersEachGetTheirAcknowledgement)
{
    transport->setProtocolType(NonBtp::SP_PACKETS);
    startReader();
    constexpr int kWriters = 4;
    constexpr int kMessages = 5;
    std::thread terminal([this] {
        for (int i = 0; i < kWriters * kMessages; ++i)
            acknowledge(receivePacket());
    });
    std::vector<std::future<int>> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.push_back(std::async(std::launch::async, [this, w] {
            int total = 0;
            for (int m = 0; m < kMessages; ++m) {
                const Bytes payload(static_cast<size_t>(10 + w), static_cast<uint8_t>(m));
                total += transport->write(payload.data(), payload.size());
            }
            return total;
        }));
    }
    for (int w = 0; w < kWriters; ++w)
        EXPECT_EQ(writers[static_cast<size_t>(w)].get(), (10 + w) * kMessages);
    terminal.join();
}

TEST_F(NonBtpTest, EmptyPacketIsAcknowledgedButDeliversNothing)
{
    transport->setProtocolType(NonBtp::SP_PACKETS);
    startReader();
    pty.send(packetFrom(kId, {}));
    EXPECT_EQ(hexText(pty.receive(10)), "FE FC 11 22 33 44 55 66 77 88");
    const auto outcome = nextRead();
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->result, 0);
}

TEST_F(NonBtpTest, NoiseBeforeThePacketIsSkipped)
{
    transport->setProtocolType(NonBtp::SP_PACKETS);
    startReader();
    Bytes input = hexBytes("01 02 03");
    const Bytes packet = packetFrom(kId, hexBytes("0A 0B 0C 0D"));
    input.insert(input.end(), packet.begin(), packet.end());
    pty.send(input);
    const auto outcome = nextDelivery();
    ASSERT_TRUE(outcome);
    EXPECT_EQ(hexText(outcome->data), "0A 0B 0C 0D");
}

TEST_F(NonBtpTest, EvenPayloadWithDamagedLastBytesStillPasses)
{
    transport->setProtocolType(NonBtp::SP_PACKETS);
    startReader();
    Bytes packet = packetFrom(kId, hexBytes("0A 0B 0C 0D"));
    packet[14] = 0xEE; // the two last payload bytes are not covered by the check
    packet[15] = 0xFF;
    pty.send(packet);
    const auto outcome = nextDelivery();
    ASSERT_TRUE(outcome);
    EXPECT_EQ(hexText(outcome->data), "0A 0B EE FF");
}

TEST_F(NonBtpTest, BadInputIsDroppedWithoutAnswer)
{
    Bytes badCheck = packetFrom(kId, hexBytes("0A 0B 0C 0D"));
    badCheck[12] ^= 0xFF;
    struct Case {
        Bytes input;
        spdlog::level::level_enum level;
        const char* line;
    };
    const Case cases[] = {
        {hexBytes("FE FD 00 09"), warn, "Error len package, request size: 9"},
        {hexBytes("FE 06"), warn, "Read unsupported control data, byte: 6"},
        {badCheck, warn, "Not match hash! calcHash: 2928, recvHash: 62576"},
        {hexBytes("FE FC 01 02"), warn, "Error read id package"},
        {hexBytes("FE FD 00"), warn, "Error read len package"},
        {hexBytes("FE FD 00 0C 01 02 03"), spdlog::level::err, "Read package timeout, size: 12"},
    };
    transport->setProtocolType(NonBtp::SP_PACKETS);
    startReader();
    for (const Case& c : cases) {
        pty.send(c.input);
        EXPECT_TRUE(log.waitFor(c.level, c.line)) << c.line;
        EXPECT_TRUE(pty.drain(50ms).empty()) << c.line;
    }
}

TEST_F(NonBtpTest, UnacknowledgedWriteTriesFiveTimesWithNewIdentifiers)
{
    transport->setProtocolType(NonBtp::SP_PACKETS);
    const Bytes payload = hexBytes("01 02 03");
    std::set<Bytes> ids;
    std::thread terminal([&] {
        for (int i = 0; i < 5; ++i)
            ids.insert(idOf(receivePacket()));
    });
    const auto start = Clock::now();
    EXPECT_THROW(transport->write(payload.data(), payload.size()), LibMisc::EWriteData);
    const auto elapsed = Clock::now() - start;
    terminal.join();
    EXPECT_GE(elapsed, 9900ms);
    EXPECT_LT(elapsed, 12s);
    EXPECT_EQ(ids.size(), 5u);
    for (const Bytes& id : ids) {
        uint64_t value;
        std::memcpy(&value, id.data(), sizeof value);
        EXPECT_EQ(log.count(warn, "Timeout package " + std::to_string(value)), 1u);
    }
}

TEST_F(NonBtpTest, NotBlockingWriteReportsWhetherItWasAcknowledged)
{
    transport->setProtocolType(NonBtp::SP_PACKETS);
    startReader();
    const Bytes payload = hexBytes("01 02");
    auto acknowledged = std::async(std::launch::async,
                                   [&] { return transport->writeNotBloking(payload.data(), payload.size()); });
    acknowledge(receivePacket());
    EXPECT_EQ(acknowledged.get(), 2);
    EXPECT_EQ(transport->writeNotBloking(payload.data(), payload.size()), 0);
}

} // namespace
