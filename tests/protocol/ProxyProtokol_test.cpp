#include "protocol/ProxyProtokol.h"

#include "logging/Logger.h"

#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>

#include <cstring>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

using namespace Proxy;
using LibMisc::BerTlv;

namespace {

std::vector<uint8_t> bytesOf(const std::string& hex)
{
    std::string digits;
    for (char c : hex)
        if (c != ' ')
            digits += c;
    return BerTlv::getBytes(digits);
}

std::string hexOf(const uint8_t* bytes, std::size_t n)
{
    return BerTlv::getHexString(bytes, n);
}

std::string hexOf(const std::vector<uint8_t>& bytes)
{
    return hexOf(bytes.data(), bytes.size());
}

std::string packed(IProtokol& message, unsigned bufferSize = 64000)
{
    std::vector<uint8_t> buffer(bufferSize);
    const unsigned n = message.pack(buffer.data(), bufferSize);
    return hexOf(buffer.data(), n);
}

LibMisc::ByteArray dataOf(const std::string& hex)
{
    const std::vector<uint8_t> bytes = bytesOf(hex);
    return LibMisc::ByteArray(bytes.data(), bytes.size());
}

TcpConnInfo connection(const char* ip, uint16_t port, long seconds)
{
    TcpConnInfo info;
    snprintf(info.ip, sizeof(info.ip), "%s", ip);
    info.port = port;
    info.timeout = timespec{seconds, 0};
    return info;
}

// A command message for id 1 around the payload.
std::vector<uint8_t> commandMessage(const std::string& payloadHex)
{
    const std::vector<uint8_t> payload = bytesOf(payloadHex);
    std::vector<uint8_t> message = bytesOf("0000 0002 0000000000000001");
    message[0] = static_cast<uint8_t>((payload.size() + 10) >> 8);
    message[1] = static_cast<uint8_t>(payload.size() + 10);
    message.insert(message.end(), payload.begin(), payload.end());
    return message;
}

const char* const closeNotice5 = "001B 0002 0000000000000005 C304FFFFFFFD C109313233343536373839";
const char* const connectionRequest7 =
    "0028 0002 0000000000000007 F213 81083130 2E302E30 2E31 8203343433 83023330 C107556E6B6E6F776E";

// Captures the application log for the duration of a test.
class ProtocolLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        _saved = logger::Log::s_CoreLogger;
        auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(_lines);
        sink->set_pattern("%l %v");
        logger::Log::s_CoreLogger = std::make_shared<spdlog::logger>("protocol-test", sink);
    }
    void TearDown() override { logger::Log::s_CoreLogger = _saved; }

    std::string lines() const { return _lines.str(); }

    std::shared_ptr<IProtokol> deserialize(const std::string& hex)
    {
        std::vector<uint8_t> bytes = bytesOf(hex);
        return protocolDeserialize(bytes.data(), static_cast<unsigned>(bytes.size()));
    }

private:
    std::shared_ptr<spdlog::logger> _saved;
    std::ostringstream _lines;
};

} // namespace

TEST(ProxyProtokolPack, WireBytes)
{
    DataProtokol data(258, PMT_SEND_DATA);
    data.setData(dataOf("414243"));
    EXPECT_EQ("000D00010000000000000102414243", packed(data));

    DataProtokol probe(0, PMT_EVENT_ACCESS);
    EXPECT_EQ("000A00350000000000000000", packed(probe));

    CmdProtokol close(5, PMT_CONNECTION_CONTROL, "123456789");
    close.addConnectionStatus(-3);
    EXPECT_EQ(hexOf(bytesOf(closeNotice5)), packed(close));

    CmdProtokol request(7, PMT_CONNECTION_CONTROL, "Unknown");
    request.setNewConnection(connection("10.0.0.1", 443, 30));
    EXPECT_EQ(42u, bytesOf(connectionRequest7).size());
    EXPECT_EQ(hexOf(bytesOf(connectionRequest7)), packed(request));
}

TEST(ProxyProtokolPack, CommandObjectsInOrderAddedThenSerial)
{
    CmdProtokol command(1, PMT_CONNECTION_RESULT, "S");
    command.addBufferSize(8192);
    command.addConnectionStatus(0);
    EXPECT_EQ(hexOf(bytesOf("0019 0022 0000000000000001 C40400002000 C30400000000 C10153")), packed(command));
}

TEST(ProxyProtokolPack, PackingTwiceGivesTheSameBytes)
{
    CmdProtokol close(5, PMT_CONNECTION_CONTROL, "123456789");
    close.addConnectionStatus(-3);
    const unsigned expectedSize = close.getPackageSize();
    const std::string first = packed(close);
    EXPECT_EQ(first, packed(close));
    EXPECT_EQ(29u, expectedSize);
    EXPECT_EQ(29u, close.getPackageSize());
}

TEST(ProxyProtokolPack, SmallBufferWritesNothing)
{
    CmdProtokol close(5, PMT_CONNECTION_CONTROL, "123456789");
    close.addConnectionStatus(-3);
    std::vector<uint8_t> buffer(28, 0xEE);
    try {
        protocolSerialize(buffer.data(), 28, std::make_shared<CmdProtokol>(close));
        FAIL() << "no exception";
    } catch (const ESmallBuffer& e) {
        EXPECT_STREQ("Small buffer size", e.what());
    }
    EXPECT_EQ(std::vector<uint8_t>(28, 0xEE), buffer);
}

TEST(ProxyProtokolPack, PayloadLimitOfTheSizeField)
{
    std::vector<uint8_t> buffer(70000);
    DataProtokol largest(1, PMT_SEND_DATA);
    largest.setData(LibMisc::ByteArray(maxPayloadSize));
    EXPECT_EQ(65537u, largest.pack(buffer.data(), 70000));
    EXPECT_EQ("FFFF", hexOf(buffer.data(), 2));

    DataProtokol tooLarge(1, PMT_SEND_DATA);
    tooLarge.setData(LibMisc::ByteArray(maxPayloadSize + 1));
    EXPECT_THROW(tooLarge.pack(buffer.data(), 70000), ESmallBuffer);
}

TEST(ProxyProtokolUnpack, TruncatedOrInconsistentLeavesFieldsUnchanged)
{
    const char* cases[] = {
        "000D 0001 00000000000001",       // 11 bytes
        "0009 0001 0000000000000102",        // size field under 10
        "000E 0001 0000000000000102 414243", // one byte missing
    };
    for (const char* hex : cases) {
        DataProtokol message(9, PMT_EVENT_DATA);
        message.setData(dataOf("AA"));
        const std::vector<uint8_t> bytes = bytesOf(hex);
        try {
            message.unpack(bytes.data(), static_cast<unsigned>(bytes.size()));
            ADD_FAILURE() << "no exception for " << hex;
        } catch (const EPackageShort& e) {
            EXPECT_STREQ("The package short", e.what());
        }
        EXPECT_EQ(PMT_EVENT_DATA, message.getTMessageType()) << hex;
        EXPECT_EQ(9u, message.getConnectionId()) << hex;
        EXPECT_EQ(1u, message.getData().size) << hex;
    }
}

TEST(ProxyProtokolUnpack, BytesBeyondTheMessageAreIgnored)
{
    DataProtokol message;
    const std::vector<uint8_t> bytes = bytesOf("000B 0001 0000000000000102 41 4243");
    EXPECT_EQ(15u, message.unpack(bytes.data(), 15));
    EXPECT_EQ(PMT_SEND_DATA, message.getTMessageType());
    EXPECT_EQ(258u, message.getConnectionId());
    EXPECT_EQ("41", hexOf(message.getData().data, message.getData().size));
}

TEST(ProxyProtokolUnpack, CloseNotice)
{
    CmdProtokol command;
    const std::vector<uint8_t> bytes = bytesOf(closeNotice5);
    command.unpack(bytes.data(), static_cast<unsigned>(bytes.size()));

    EXPECT_EQ(PMT_CONNECTION_CONTROL, command.getTMessageType());
    EXPECT_EQ(5u, command.getConnectionId());
    EXPECT_EQ("123456789", command.getSerialNumber());
    EXPECT_TRUE(command.isConnectionStatus());
    EXPECT_EQ(-3, command.getConnectionStatus());
    EXPECT_FALSE(command.isNewConnenection());
    EXPECT_FALSE(command.isBufferSize());
    try {
        command.getBufferSize();
        FAIL() << "no exception";
    } catch (const LibMisc::TreeException& e) {
        EXPECT_EQ(-1, e.getCode());
        EXPECT_STREQ("Element not found", e.what());
    }

    unsigned char status[4];
    EXPECT_EQ(4, command._getBerTlvCommand(TAG_CONNECTION_STATUS, status, 4));
    EXPECT_EQ(-1, command._getBerTlvCommand(TAG_CONNECTION_STATUS, status, 3));
    EXPECT_EQ(-1, command._getBerTlvCommand(TAG_BUFFER_SIZE, status, 4));
}

TEST(ProxyProtokolUnpack, ConnectionRequest)
{
    CmdProtokol command;
    const std::vector<uint8_t> bytes = bytesOf(connectionRequest7);
    command.unpack(bytes.data(), static_cast<unsigned>(bytes.size()));

    EXPECT_EQ("Unknown", command.getSerialNumber());
    ASSERT_TRUE(command.isNewConnenection());
    const TcpConnInfo info = command.getNewConnection();
    EXPECT_STREQ("10.0.0.1", info.ip);
    EXPECT_EQ(443, info.port);
    EXPECT_EQ(30, info.timeout.seconds());
    EXPECT_EQ(0, info.timeout.nanoseconds());
}

// The reader finds each object wherever the peer put it, and cuts nothing:
// parameters that do not fit are missing.
TEST(ProxyProtokolUnpack, NewConnectionParameters)
{
    const struct {
        const char* payload;
        const char* ip; // null: "Element not found"
        uint16_t port;
        int seconds;
    } cases[] = {
        {"C10131 F20C 83022D35 8103312E32 820137", "1.2", 7, -5},
        {"F217 810F 3132332E3132332E3132332E313233 820130 830130 C10100", "123.123.123.123", 0, 0},
        {"F219 810131 8209313233343536373839 8309313233343536373839 C10100", "1", 0xCD15, 123456789},
        {"F218 8110 3132332E3132332E3132332E31323334 820130 830130 C10100", nullptr, 0, 0},
        {"F212 810131 820A31323334353637383930 830130 C10100", nullptr, 0, 0},
        {"F212 810131 820130 830A31323334353637383930 C10100", nullptr, 0, 0},
        {"F206 810131 820132 C10100", nullptr, 0, 0},
        {"C10100", nullptr, 0, 0},
    };
    for (const auto& c : cases) {
        CmdProtokol command;
        const std::vector<uint8_t> bytes = commandMessage(c.payload);
        command.unpack(bytes.data(), static_cast<unsigned>(bytes.size()));
        if (c.ip == nullptr) {
            try {
                command.getNewConnection();
                ADD_FAILURE() << "no exception for " << c.payload;
            } catch (const LibMisc::TreeException& e) {
                EXPECT_EQ(-1, e.getCode()) << c.payload;
            }
            continue;
        }
        const TcpConnInfo info = command.getNewConnection();
        EXPECT_STREQ(c.ip, info.ip) << c.payload;
        EXPECT_EQ(c.port, info.port) << c.payload;
        EXPECT_EQ(c.seconds, info.timeout.seconds()) << c.payload;
    }
}

TEST(ProxyProtokolUnpack, NewConnectionRoundTrip)
{
    CmdProtokol request(3, PMT_CONNECTION_CONTROL, "T1");
    request.setNewConnection(connection("192.168.100.200", 65535, -5));
    std::vector<uint8_t> buffer(128);
    const unsigned n = request.pack(buffer.data(), 128);

    CmdProtokol received;
    received.unpack(buffer.data(), n);
    const TcpConnInfo info = received.getNewConnection();
    EXPECT_STREQ("192.168.100.200", info.ip);
    EXPECT_EQ(65535, info.port);
    EXPECT_EQ(-5, info.timeout.seconds());
    EXPECT_EQ("T1", received.getSerialNumber());
}

TEST_F(ProtocolLog, DeserializeBuildsTheClassOfTheTypeCode)
{
    enum Kind { None, Data, Command };
    const struct {
        unsigned type;
        Kind kind;
    } cases[] = {
        {0, None},     {1, Data},  {2, Command}, {3, Data},  {5, None},     {6, Data},   {7, Data},
        {17, Data},    {34, Command}, {52, Data}, {53, Data}, {54, None}, {0xFFFF, None},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes = commandMessage("C10100");
        bytes[2] = static_cast<uint8_t>(c.type >> 8);
        bytes[3] = static_cast<uint8_t>(c.type);
        const std::shared_ptr<IProtokol> message =
            protocolDeserialize(bytes.data(), static_cast<unsigned>(bytes.size()));
        switch (c.kind) {
        case None:
            EXPECT_EQ(nullptr, message) << c.type;
            break;
        case Data:
            ASSERT_NE(nullptr, message) << c.type;
            EXPECT_STREQ(typeid(DataProtokol).name(), message->type()) << c.type;
            EXPECT_EQ(c.type, static_cast<DataProtokol&>(*message).getTMessageType());
            break;
        case Command:
            ASSERT_NE(nullptr, message) << c.type;
            EXPECT_STREQ(typeid(CmdProtokol).name(), message->type()) << c.type;
            EXPECT_EQ(c.type, static_cast<CmdProtokol&>(*message).getTMessageType());
            break;
        }
    }
    EXPECT_EQ("", lines());
}

TEST_F(ProtocolLog, ShortMessageComesBackWithDefaults)
{
    const std::shared_ptr<IProtokol> message = deserialize("000D 0001 00000000000001");
    ASSERT_NE(nullptr, message);
    const auto& data = static_cast<DataProtokol&>(*message);
    EXPECT_EQ(PMT_SEND_DATA_RESULT, data.getTMessageType());
    EXPECT_EQ(0u, data.getConnectionId());
    EXPECT_EQ(0u, data.getData().size);
    EXPECT_EQ("error [Proxy protocol] Protocol deserialize exception: The package short\n", lines());
}

TEST_F(ProtocolLog, TooShortForATypeFieldIsNoMessage)
{
    EXPECT_EQ(nullptr, deserialize("000A00"));
    EXPECT_EQ("error [Proxy protocol] Protocol deserialize exception: The package short\n", lines());
}

TEST_F(ProtocolLog, CommandWithoutSerialIsOtherwiseComplete)
{
    const std::shared_ptr<IProtokol> message = deserialize("0010 0022 0000000000000004 C30400000000");
    ASSERT_NE(nullptr, message);
    const auto& command = static_cast<CmdProtokol&>(*message);
    EXPECT_EQ(PMT_CONNECTION_RESULT, command.getTMessageType());
    EXPECT_EQ(4u, command.getConnectionId());
    EXPECT_EQ("Unknown", command.getSerialNumber());
    EXPECT_EQ(0, command.getConnectionStatus());
    EXPECT_EQ("error [Proxy protocol] Protocol deserialize exception: Element not found\n", lines());
}

TEST(ProxyProtokolUnpack, SerialEndsAtItsFirstZeroByte)
{
    const struct {
        const char* payload;
        const char* serial;
    } cases[] = {
        {"C107 41424300444546", "ABC"},
        {"C100", ""},
    };
    for (const auto& c : cases) {
        CmdProtokol command;
        const std::vector<uint8_t> bytes = commandMessage(c.payload);
        command.unpack(bytes.data(), static_cast<unsigned>(bytes.size()));
        EXPECT_EQ(c.serial, command.getSerialNumber()) << c.payload;
    }
}
