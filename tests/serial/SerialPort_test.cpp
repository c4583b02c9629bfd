#include "serial/SerialPort.h"

#include <time.h>

#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/PtyPair.h"

using namespace std::chrono_literals;
using kiv_test::Bytes;
using kiv_test::hexBytes;
using Clock = std::chrono::steady_clock;

namespace {

class SerialPortOnPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        port.Open(SerialPort::BAUD_115200, SerialPort::CHAR_SIZE_8, SerialPort::PARITY_NONE, SerialPort::STOP_BITS_1,
                  SerialPort::FLOW_CONTROL_NONE);
    }

    kiv_test::PtyPair pty;
    SerialPort port{pty.slavePath()};
};

template <class Exception>
std::string textOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Exception& e) {
        return e.what();
    }
    return "<nothing thrown>";
}

long long millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(SerialPort, ClosedPortRefusesEveryOperation)
{
    SerialPort port("/dev/null-does-not-exist");
    std::vector<unsigned char> data;
    unsigned char buffer[4];
    const std::vector<std::function<void()>> operations = {
        [&] { port.Close(); },
        [&] { port.SetBaudRate(SerialPort::BAUD_9600); },
        [&] { port.GetParity(); },
        [&] { port.FlushIOBuffers(); },
        [&] { port.IsDataAvailable(); },
        [&] { port.Read(data, 0, 0); },
        [&] { port.ReadBytes(buffer, 4, 10, 100); },
        [&] { port.ReadBytes(0xFE, buffer, 4, 10, 100); },
        [&] { port.Write(buffer, 4); },
        [&] { port.GetFileDescriptor(); },
    };
    for (size_t i = 0; i < operations.size(); ++i)
        EXPECT_EQ(textOf<SerialPort::NotOpen>(operations[i]), "Serial port not open.") << "operation " << i;
    EXPECT_FALSE(port.IsOpen());
}

TEST(SerialPort, OpenReportsTheSystemErrorAndAlreadyOpen)
{
    SerialPort missing("/dev/kiv-no-such-device");
    EXPECT_EQ(textOf<SerialPort::OpenFailed>([&] {
                  missing.Open(SerialPort::BAUD_9600, SerialPort::CHAR_SIZE_8, SerialPort::PARITY_NONE,
                               SerialPort::STOP_BITS_1, SerialPort::FLOW_CONTROL_NONE);
              }),
              "No such file or directory");
    EXPECT_FALSE(missing.IsOpen());

    kiv_test::PtyPair pty;
    SerialPort port(pty.slavePath());
    const auto open = [&] {
        port.Open(SerialPort::BAUD_9600, SerialPort::CHAR_SIZE_8, SerialPort::PARITY_NONE, SerialPort::STOP_BITS_1,
                  SerialPort::FLOW_CONTROL_NONE);
    };
    open();
    EXPECT_EQ(textOf<SerialPort::AlreadyOpen>(open), "Serial port already open.");
    EXPECT_TRUE(port.IsOpen());
    port.Close();
    open(); // a closed port opens again
    EXPECT_TRUE(port.IsOpen());
}

TEST_F(SerialPortOnPty, SettersAndGettersAgree)
{
    // A pseudo-terminal keeps 8 data bits and no parity whatever is asked.
    port.SetBaudRate(SerialPort::BAUD_9600);
    port.SetNumOfStopBits(SerialPort::STOP_BITS_2);
    EXPECT_EQ(port.GetBaudRate(), SerialPort::BAUD_9600);
    EXPECT_EQ(port.GetNumOfStopBits(), SerialPort::STOP_BITS_2);
    EXPECT_EQ(port.GetCharSize(), SerialPort::CHAR_SIZE_8);
    EXPECT_EQ(port.GetFlowControl(), SerialPort::FLOW_CONTROL_NONE);
}

TEST_F(SerialPortOnPty, InvalidSettingsAreRefusedAndChangeNothing)
{
    EXPECT_EQ(textOf<std::invalid_argument>([&] { port.SetParity(static_cast<SerialPort::Parity>(3)); }),
              "Invalid parity setting.");
    EXPECT_EQ(textOf<std::invalid_argument>([&] { port.SetNumOfStopBits(static_cast<SerialPort::StopBits>(2)); }),
              "Invalid number of stop bits.");
    EXPECT_EQ(textOf<std::invalid_argument>([&] { port.SetFlowControl(SerialPort::FLOW_CONTROL_SOFT); }),
              "Invalid flow control.");
    EXPECT_EQ(port.GetParity(), SerialPort::PARITY_NONE);
    EXPECT_EQ(port.GetNumOfStopBits(), SerialPort::STOP_BITS_1);
    EXPECT_EQ(port.GetFlowControl(), SerialPort::FLOW_CONTROL_NONE);
}

TEST_F(SerialPortOnPty, ReadWithoutCountAndTimeoutReturnsAtOnce)
{
    std::vector<unsigned char> data{1, 2, 3};
    const auto start = Clock::now();
    port.Read(data, 0, 0);
    EXPECT_LT(millisecondsSince(start), 50);
    EXPECT_EQ(data, (std::vector<unsigned char>{1, 2, 3}));
}

TEST_F(SerialPortOnPty, ReadWithoutCountCollectsUntilTheTimeout)
{
    pty.send(hexBytes("0A 0B 0C"));
    std::vector<unsigned char> data{9};
    const auto start = Clock::now();
    EXPECT_THROW(port.Read(data, 0, 200), SerialPort::ReadTimeout);
    EXPECT_GE(millisecondsSince(start), 200);
    EXPECT_EQ(Bytes(data.begin(), data.end()), hexBytes("0A 0B 0C"));
}

TEST_F(SerialPortOnPty, ShortReadIsCutAndTimesOut)
{
    pty.send(hexBytes("01 02 03 04"));
    std::vector<unsigned char> data;
    const auto start = Clock::now();
    EXPECT_EQ(textOf<SerialPort::ReadTimeout>([&] { port.Read(data, 10, 500); }), "Read timeout");
    EXPECT_GE(millisecondsSince(start), 500);
    EXPECT_LT(millisecondsSince(start), 1500);
    EXPECT_EQ(Bytes(data.begin(), data.end()), hexBytes("01 02 03 04"));
}

TEST_F(SerialPortOnPty, StartByteReadSkipsNoise)
{
    pty.send(hexBytes("01 02 FE 06"));
    unsigned char buffer[2] = {};
    EXPECT_EQ(port.ReadBytes(0xFE, buffer, 2, 0, 100), 2);
    EXPECT_EQ(Bytes(buffer, buffer + 2), hexBytes("FE 06"));
}

TEST_F(SerialPortOnPty, BufferReadReturnsTheCountAtTheTimeout)
{
    pty.send(hexBytes("01 02 03"));
    unsigned char buffer[8];
    const auto start = Clock::now();
    EXPECT_EQ(port.ReadBytes(buffer, 8, 50, 100), 3);
    EXPECT_GE(millisecondsSince(start), 50);
    EXPECT_LT(millisecondsSince(start), 1000);
}

TEST_F(SerialPortOnPty, BufferReadWaitsForBytesThatArriveLater)
{
    // An empty line between two parts of a block is not a read error.
    std::thread peer([this] {
        pty.send(hexBytes("01 02"));
        std::this_thread::sleep_for(30ms); // the gap on the line under test
        pty.send(hexBytes("03 04"));
    });
    unsigned char buffer[4];
    EXPECT_EQ(port.ReadBytes(buffer, 4, 2000, 100), 4);
    peer.join();
    EXPECT_EQ(Bytes(buffer, buffer + 4), hexBytes("01 02 03 04"));
}

TEST_F(SerialPortOnPty, ReadLineStopsAtATerminator)
{
    std::string line = "old";
    port.ReadLine(line, 100, '\0');
    EXPECT_EQ(line, "");

    pty.send({'a', 'b', '\n', 'c', '\r', 'd'});
    port.ReadLine(line, 1000, '\n');
    EXPECT_EQ(line, "ab\n");
    std::vector<unsigned char> bytes;
    port.ReadLine(bytes, 1000, '\n', '\r');
    EXPECT_EQ(bytes, (std::vector<unsigned char>{'c', '\r'}));
    EXPECT_THROW(port.ReadLine(bytes, 100, '\n'), SerialPort::ReadTimeout);
    EXPECT_EQ(bytes, (std::vector<unsigned char>{'d'}));
}

TEST_F(SerialPortOnPty, LargeWriteArrivesOnceAndInOrder)
{
    std::vector<unsigned char> data(1 << 20);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>(i * 7 + i / 251);
    auto received = std::async(std::launch::async, [&] { return pty.receive(data.size(), 10000ms); });
    port.Write(data);
    EXPECT_EQ(received.get(), Bytes(data.begin(), data.end()));
    EXPECT_TRUE(pty.drain(100ms).empty());
}

TEST_F(SerialPortOnPty, CloseEndsABlockedRead)
{
    auto reader = std::async(std::launch::async, [this] {
        std::vector<unsigned char> data;
        port.Read(data, 2, 0);
    });
    EXPECT_EQ(reader.wait_for(200ms), std::future_status::timeout);
    port.Close();
    ASSERT_EQ(reader.wait_for(5s), std::future_status::ready);
    EXPECT_THROW(reader.get(), std::runtime_error);
}

TEST_F(SerialPortOnPty, ABlockedReadSurvivesAReopen)
{
    auto reader = std::async(std::launch::async, [this] {
        std::vector<unsigned char> data;
        port.Read(data, 2, 0);
        return Bytes(data.begin(), data.end());
    });
    EXPECT_EQ(reader.wait_for(100ms), std::future_status::timeout);
    port.Close();
    port.Open(SerialPort::BAUD_115200, SerialPort::CHAR_SIZE_8, SerialPort::PARITY_NONE, SerialPort::STOP_BITS_1,
              SerialPort::FLOW_CONTROL_NONE);
    pty.send(hexBytes("FE 06"));
    ASSERT_EQ(reader.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(reader.get(), hexBytes("FE 06"));
}

TEST_F(SerialPortOnPty, AnIdleReaderCostsNoProcessorTime)
{
    timespec before{}, after{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &before);
    std::vector<unsigned char> data;
    EXPECT_THROW(port.Read(data, 1, 1000), SerialPort::ReadTimeout);
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &after);
    const double cpuMs = (after.tv_sec - before.tv_sec) * 1e3 + (after.tv_nsec - before.tv_nsec) / 1e6;
    EXPECT_LT(cpuMs, 10.0); // under 1% of the second spent waiting
}

} // namespace
