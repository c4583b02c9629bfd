#include "serial/ProxySerialPort.h"

#include <future>

#include <gtest/gtest.h>

#include "serial/SerialPortExceptions.h"
#include "tests/serial/TransportOnPty.h"

using namespace std::chrono_literals;
using kiv_test::Bytes;
using kiv_test::hexBytes;
using kiv_test::hexText;
using spdlog::level::warn;
using Clock = std::chrono::steady_clock;

namespace {

class FramedProxy : public Proxy::ProxySerialPort {
public:
    explicit FramedProxy(const std::string& name) : ProxySerialPort(name, true) {}
};

class ProxySerialPortTest : public kiv_test::TransportOnPty<FramedProxy> {
protected:
    std::future<int> writeAsync(const Bytes& data)
    {
        return std::async(std::launch::async, [this, data] { return transport->write(data.data(), data.size()); });
    }
};

const Bytes kFrame01020304 = hexBytes("00 06 01 02 03 04 01 04");

TEST_F(ProxySerialPortTest, WriteReturnsOnceTheReaderGetsTheConfirmation)
{
    startReader();
    auto written = writeAsync(hexBytes("01 02 03 04"));
    EXPECT_EQ(hexText(pty.receive(8)), hexText(kFrame01020304));
    EXPECT_EQ(written.wait_for(100ms), std::future_status::timeout);
    pty.send(hexBytes("FE 06"));
    ASSERT_EQ(written.wait_for(3s), std::future_status::ready);
    EXPECT_EQ(written.get(), 0);
}

TEST_F(ProxySerialPortTest, RejectedFrameIsResentAndGivenUpAfterTheLimit)
{
    transport->setConfirmationTimeout(30000);
    startReader();
    auto written = writeAsync(hexBytes("01 02 03 04"));
    ASSERT_EQ(hexText(pty.receive(8)), hexText(kFrame01020304));
    for (int resend = 1; resend <= 21; ++resend) {
        pty.send(hexBytes("FE 15"));
        ASSERT_EQ(hexText(pty.receive(8)), hexText(kFrame01020304)) << "re-send " << resend;
    }
    pty.send(hexBytes("FE 15")); // the 22nd rejection gives the frame up
    ASSERT_EQ(written.wait_for(3s), std::future_status::ready);
    EXPECT_EQ(written.get(), 0);
    EXPECT_TRUE(pty.drain(100ms).empty());
    EXPECT_EQ(log.count(spdlog::level::info, "Repeat write\n"), 21u);
}

TEST_F(ProxySerialPortTest, StrayRejectionSendsTheKeepAliveFrame)
{
    startReader();
    pty.send(hexBytes("FE 15"));
    EXPECT_EQ(hexText(pty.receive(16)), "00 0E 00 0A 00 35 00 00 00 00 00 00 00 00 00 31");
    EXPECT_TRUE(log.waitFor(spdlog::level::info, "Last buffer is empty, write keep alive"));
}

TEST_F(ProxySerialPortTest, GoodFrameIsConfirmedAndDeliveredWithItsCheck)
{
    startReader();
    pty.send(kFrame01020304);
    EXPECT_EQ(hexText(pty.receive(2)), "FE 06");
    const auto outcome = nextRead();
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->result, 6);
    EXPECT_EQ(hexText(outcome->data), "01 02 03 04 01 04");
}

TEST_F(ProxySerialPortTest, BadInputIsRejectedAndNothingDelivered)
{
    struct Case {
        const char* input;
        const char* warning; // "" when none is logged
    };
    const Case cases[] = {
        {"00 00", ""},
        {"FF FF", ""}, // longer than the reader's buffer
        {"00 06 01 02 03 04 FF FF", "Not match hash! calcHash: 260, recvHash: 65535"},
    };
    startReader();
    for (const Case& c : cases) {
        pty.send(hexBytes(c.input));
        EXPECT_EQ(hexText(pty.receive(2)), "FE 15") << c.input;
        const auto outcome = nextRead();
        ASSERT_TRUE(outcome) << c.input;
        EXPECT_EQ(outcome->result, 0) << c.input;
        if (*c.warning) {
            EXPECT_EQ(log.count(warn, c.warning), 1u) << c.input;
        }
    }
    // The line is usable afterwards.
    pty.send(kFrame01020304);
    EXPECT_EQ(hexText(pty.receive(2)), "FE 06");
    const auto outcome = nextDelivery();
    ASSERT_TRUE(outcome);
    EXPECT_EQ(hexText(outcome->data), "01 02 03 04 01 04");
}

TEST_F(ProxySerialPortTest, ShortBodyIsRejectedAfterHalfASecond)
{
    startReader();
    const auto start = Clock::now();
    pty.send(hexBytes("00 06 01 02"));
    EXPECT_EQ(hexText(pty.receive(2)), "FE 15");
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, 480ms);
    EXPECT_LT(elapsed, 2s);
    EXPECT_TRUE(log.waitFor(warn, "Read timeout, size: 6"));
}

TEST_F(ProxySerialPortTest, UnconfirmedWriteReopensTheLineAndThrows)
{
    transport->setConfirmationTimeout(300);
    const Bytes data = hexBytes("01 02 03 04");
    const auto start = Clock::now();
    try {
        transport->write(data.data(), data.size());
        FAIL() << "write returned";
    } catch (const LibMisc::EWriteData& e) {
        EXPECT_STREQ(e.what(), "Error writing data. Expired time confirmation.");
    }
    EXPECT_GE(Clock::now() - start, 300ms);
    EXPECT_EQ(hexText(pty.receive(8)), hexText(kFrame01020304));
    EXPECT_TRUE(transport->isOpen());
}

TEST_F(ProxySerialPortTest, NotBlockingWriteGivesUpQuietly)
{
    const Bytes data = hexBytes("01 02 03 04");
    const auto start = Clock::now();
    EXPECT_EQ(transport->writeNotBloking(data.data(), data.size()), 0);
    EXPECT_GE(Clock::now() - start, 500ms);
    EXPECT_EQ(hexText(pty.receive(8)), hexText(kFrame01020304));
}

} // namespace
