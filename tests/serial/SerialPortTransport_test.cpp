#include "serial/SerialPortTransport.h"

#include <future>

#include <gtest/gtest.h>

#include "tests/serial/TransportOnPty.h"

using namespace std::chrono_literals;
using kiv_test::Bytes;
using kiv_test::hexBytes;
using kiv_test::hexText;
using spdlog::level::err;

namespace {

class FramedTransport : public LibMisc::SerialPortTransport {
public:
    explicit FramedTransport(const std::string& name) : SerialPortTransport(name, true) {}
};

class SerialPortTransportTest : public kiv_test::TransportOnPty<FramedTransport> {
protected:
    // The base transport reads its confirmation inside write.
    std::future<int> writeAsync(const Bytes& data)
    {
        return std::async(std::launch::async, [this, data] { return transport->write(data.data(), data.size()); });
    }
};

TEST_F(SerialPortTransportTest, WriteFramesTheDataAndReadsTheConfirmation)
{
    auto written = writeAsync(hexBytes("01 02 03"));
    EXPECT_EQ(hexText(pty.receive(7)), "00 05 01 02 03 01 07");
    pty.send(hexBytes("FE 06"));
    EXPECT_EQ(written.get(), 0);

    written = writeAsync({});
    EXPECT_EQ(hexText(pty.receive(4)), "00 02 00 02");
    pty.send(hexBytes("FE 06"));
    EXPECT_EQ(written.get(), 0);
}

TEST_F(SerialPortTransportTest, RejectionsResendUntilTheLimitIsPassed)
{
    const Bytes frame = hexBytes("00 05 01 02 03 01 07");
    for (int write = 1; write <= 22; ++write) {
        auto written = writeAsync(hexBytes("01 02 03"));
        ASSERT_EQ(hexText(pty.receive(7)), hexText(frame)) << "write " << write;
        pty.send(hexBytes("FE 15"));
        ASSERT_EQ(written.get(), 0);
        if (write <= 21) {
            ASSERT_EQ(hexText(pty.receive(7)), hexText(frame)) << "re-send " << write;
        }
    }
    EXPECT_TRUE(pty.drain(100ms).empty()); // the 22nd rejection reset the counter instead
}

TEST_F(SerialPortTransportTest, SilentLineEndsTheWriteWithReadTimeout)
{
    auto written = writeAsync(hexBytes("01"));
    ASSERT_EQ(written.wait_for(5s), std::future_status::ready);
    EXPECT_THROW(written.get(), SerialPort::ReadTimeout);
}

TEST_F(SerialPortTransportTest, ReadConfirmsGoodFramesAndRejectsBadOnes)
{
    struct Case {
        const char* input;
        const char* answer;
        const char* data;
    };
    const Case cases[] = {
        {"00 05 01 02 03 01 07", "FE 06", "01 02 03"},
        {"00 05 01 02 03 01 08", "FE 15", ""},
        {"00 01 00", "FE 15", ""}, // too short to hold a check
    };
    for (const Case& c : cases) {
        pty.send(hexBytes(c.input));
        std::vector<unsigned char> data;
        EXPECT_EQ(transport->read(data), 0);
        EXPECT_EQ(hexText(pty.receive(2)), c.answer) << c.input;
        EXPECT_EQ(hexText(Bytes(data.begin(), data.end())), c.data) << c.input;
    }
    EXPECT_EQ(log.count(spdlog::level::warn, "[Serial Port] Not match hash! calcHash: 263, recvHash: 264"), 1u);
}

TEST_F(SerialPortTransportTest, SettingsAndStateErrorsAreLoggedNotThrown)
{
    EXPECT_FALSE(transport->setBaudRate(1200));
    EXPECT_EQ(log.count(err, "[Serial Port] Error set speed. Serial port not supported 1200 baud rate"), 1u);
    EXPECT_EQ(transport->getBaudRate(), 115200u);
    EXPECT_TRUE(transport->setBaudRate(9600));
    EXPECT_EQ(transport->getBaudRate(), 9600u);

    EXPECT_FALSE(transport->open()); // already open: false, still open, nothing logged
    EXPECT_TRUE(transport->isOpen());

    transport->close();
    transport->close();
    EXPECT_EQ(log.count(err, "[Serial Port] Close error: Serial port not open."), 1u);
    EXPECT_EQ(transport->getBaudRate(), 57600u);
    EXPECT_EQ(log.count(err, "[Serial Port] Getbaudrate error: Serial port not open."), 1u);

    EXPECT_TRUE(transport->reopen());
    transport->setSerialPortName("/dev/kiv-no-such-device");
    EXPECT_FALSE(transport->reopen());
    EXPECT_FALSE(transport->isOpen());
    EXPECT_EQ(transport->getSerialPortName(), "/dev/kiv-no-such-device");
}

TEST(SerialPortTransport, KnownPortPaths)
{
    EXPECT_EQ(LibMisc::SerialPortTransport::getSerialPortPath(LibMisc::TTY_S0), "/dev/ttyS0");
    EXPECT_EQ(LibMisc::SerialPortTransport::getSerialPortPath(LibMisc::TTY_GS0), "/dev/ttyGS0");
    EXPECT_EQ(LibMisc::SerialPortTransport::getSerialPortPath(LibMisc::TTY_ACM3), "/dev/ttyACM3");
    EXPECT_EQ(LibMisc::SerialPortTransport::getSerialPortPath(static_cast<LibMisc::SerialPortName>(42)), "/dev/ttyS0");
}

} // namespace
