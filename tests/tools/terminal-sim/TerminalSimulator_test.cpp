#include "tools/terminal-sim/TerminalSimulator.h"

#include "Hex.h"
#include "ProxyInformation.h"
#include "ServiceEnd.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace terminal_sim;
using namespace std::chrono_literals;

namespace {

// Frames and packets as the service writes them.
const char* const probeFrame = "000E 000A0035 0000000000000000 0031";
const char* const dataFrame258 = "0011 000D0001 0000000000000102 414243 405D";
const char* const closeNotice5 = "001B 0002 0000000000000005 C304FFFFFFFD C109 313233343536373839";
const char* const closeNoticePacket =
    "FEFD 0027 1122334455667788 001B0002 0000000000000005 C304FFFFFFFD C109313233343536373839 FC49";

SimulatorOptions quietOptions(LineProtocol protocol)
{
    SimulatorOptions options;
    options.protocol = protocol;
    options.keepAliveInterval = 0ms;
    return options;
}

std::string linkTarget(const std::string& path)
{
    char target[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), target, sizeof(target));
    return n < 0 ? std::string() : std::string(target, static_cast<std::size_t>(n));
}

bool exists(const std::string& path)
{
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/kiv-terminal-sim-XXXXXX";
        _path = mkdtemp(pattern);
    }
    ~TempDir() { std::system(("rm -rf '" + _path + "'").c_str()); }
    const std::string& path() const { return _path; }

private:
    std::string _path;
};

bool ready(std::future<bool>& result)
{
    return result.wait_for(5s) == std::future_status::ready;
}

} // namespace

TEST(TerminalSimulator, LinkFollowsTheLine)
{
    TempDir dir;
    SimulatorOptions options = quietOptions(LineProtocol::Confirmed);
    options.linkPath = dir.path() + "/ttyACM7";
    TerminalSimulator simulator(options);
    simulator.start();
    EXPECT_EQ(simulator.slavePath(), linkTarget(options.linkPath));

    std::future<bool> pending = simulator.sendAsync(keepAlive(std::nullopt));
    simulator.unplug();
    ASSERT_TRUE(ready(pending));
    EXPECT_FALSE(pending.get());
    EXPECT_FALSE(exists(options.linkPath));
    EXPECT_EQ("", simulator.slavePath());
    EXPECT_FALSE(simulator.send(keepAlive(std::nullopt)));

    simulator.plugIn();
    ASSERT_NE("", simulator.slavePath());
    EXPECT_EQ(simulator.slavePath(), linkTarget(options.linkPath));
    ServiceEnd service(options.linkPath);
    service.write(hexBytes(probeFrame));
    EXPECT_EQ(hexOf("FE06"), hexText(service.read(2)));

    simulator.stop();
    EXPECT_FALSE(exists(options.linkPath));
}

TEST(TerminalSimulator, ExistingFileIsNotReplacedByTheLink)
{
    TempDir dir;
    SimulatorOptions options = quietOptions(LineProtocol::Confirmed);
    options.linkPath = dir.path() + "/ttyACM7";
    std::ofstream(options.linkPath) << "keep";

    TerminalSimulator simulator(options);
    EXPECT_THROW(simulator.start(), std::system_error);
    std::string content;
    std::ifstream(options.linkPath) >> content;
    EXPECT_EQ("keep", content);
}

TEST(TerminalSimulator, ConfirmedFramesBothWays)
{
    TerminalSimulator simulator(quietOptions(LineProtocol::Confirmed));
    simulator.start();
    ServiceEnd service(simulator.slavePath());

    service.write(hexBytes(probeFrame));
    EXPECT_EQ(hexOf("FE06"), hexText(service.read(2)));
    const auto probe = simulator.waitMessage(5s);
    ASSERT_TRUE(probe);
    EXPECT_EQ(Proxy::PMT_EVENT_ACCESS, probe->type);
    EXPECT_TRUE(probe->payload.empty());
    EXPECT_EQ(1u, simulator.stats().probes);

    service.write(hexBytes("000E 000A0035 0000000000000000 0030")); // bad check
    EXPECT_EQ(hexOf("FE15"), hexText(service.read(2)));

    std::future<bool> sent = simulator.sendAsync(dataMessage(Proxy::PMT_SEND_DATA, 258, hexBytes("414243")));
    EXPECT_EQ(hexOf(dataFrame258), hexText(service.read(19)));
    service.write(frameRejected);
    EXPECT_EQ(hexOf(dataFrame258), hexText(service.read(19)));
    service.write(frameAccepted);
    ASSERT_TRUE(ready(sent));
    EXPECT_TRUE(sent.get());

    const SimulatorStats stats = simulator.stats();
    EXPECT_EQ(1u, stats.line.badReceived);
    EXPECT_EQ(1u, stats.line.rejectionsReceived);
    EXPECT_EQ(1u, stats.line.repeatsSent);
}

TEST(TerminalSimulator, NonBtpPacketsBothWays)
{
    TerminalSimulator simulator(quietOptions(LineProtocol::NonBtp));
    simulator.start();
    ServiceEnd service(simulator.slavePath());

    std::future<bool> sent = simulator.sendAsync(connectionStatus(5, Proxy::PMT_CONNECTION_CONTROL, -3, "123456789"));
    const Bytes packet = service.read(4 + 0x27);
    ASSERT_EQ(43u, packet.size());
    EXPECT_EQ(hexOf("FEFD 0027"), hexText(Bytes(packet.begin(), packet.begin() + 4)));
    EXPECT_EQ(hexOf(closeNotice5), hexText(Bytes(packet.begin() + 12, packet.end() - 2)));
    PacketId id;
    std::copy(packet.begin() + 4, packet.begin() + 12, id.begin());
    EXPECT_EQ(hexText(encodePacket(id, hexBytes(closeNotice5))), hexText(packet));
    Bytes acknowledgement = hexBytes("FEFC");
    acknowledgement.insert(acknowledgement.end(), id.begin(), id.end());
    service.write(acknowledgement);
    ASSERT_TRUE(ready(sent));
    EXPECT_TRUE(sent.get());

    service.write(hexBytes(closeNoticePacket));
    EXPECT_EQ(hexOf("FEFC 1122334455667788"), hexText(service.read(10)));
    const auto close = simulator.waitMessage(5s);
    ASSERT_TRUE(close);
    EXPECT_EQ(5u, close->connectionId);
    EXPECT_EQ(-3, close->connectionStatus());

    // Unacknowledged: the same message again under a new identifier.
    std::future<bool> repeated = simulator.sendAsync(dataMessage(Proxy::PMT_EVENT_DATA, 0, hexBytes("6869")));
    const Bytes first = service.read(28);
    const Bytes second = service.read(28, 4s);
    ASSERT_EQ(28u, second.size());
    EXPECT_NE(hexText(Bytes(first.begin() + 4, first.begin() + 12)), hexText(Bytes(second.begin() + 4, second.begin() + 12)));
    EXPECT_EQ(hexText(Bytes(first.begin() + 12, first.end() - 2)), hexText(Bytes(second.begin() + 12, second.end() - 2)));
    Bytes secondAcknowledgement = hexBytes("FEFC");
    secondAcknowledgement.insert(secondAcknowledgement.end(), second.begin() + 4, second.begin() + 12);
    service.write(secondAcknowledgement);
    ASSERT_TRUE(ready(repeated));
    EXPECT_TRUE(repeated.get());
    EXPECT_EQ(1u, simulator.stats().line.repeatsSent);
}

TEST(TerminalSimulator, FaultSwitches)
{
    TerminalSimulator simulator(quietOptions(LineProtocol::Confirmed));
    simulator.start();
    ServiceEnd service(simulator.slavePath());
    const Bytes probe = hexBytes(probeFrame);

    simulator.refuseNextFrames(1);
    service.write(probe);
    EXPECT_EQ(hexOf("FE15"), hexText(service.read(2)));
    service.write(probe);
    EXPECT_EQ(hexOf("FE06"), hexText(service.read(2)));
    EXPECT_TRUE(simulator.waitMessage(5s));
    EXPECT_EQ(1u, simulator.stats().line.refused);

    simulator.withholdAcknowledgements(1);
    service.write(probe);
    EXPECT_TRUE(simulator.waitMessage(5s));
    EXPECT_TRUE(service.silentFor(200ms));

    simulator.setAnswerDelay(300ms);
    const auto before = std::chrono::steady_clock::now();
    service.write(probe);
    EXPECT_EQ(hexOf("FE06"), hexText(service.read(2)));
    EXPECT_GE(std::chrono::steady_clock::now() - before, 300ms);
    simulator.setAnswerDelay(0ms);

    simulator.corruptNextCheck();
    std::future<bool> sent = simulator.sendAsync(dataMessage(Proxy::PMT_SEND_DATA, 258, hexBytes("414243")));
    EXPECT_EQ(hexOf("0011 000D0001 0000000000000102 414243 40A2"), hexText(service.read(19)));
    service.write(frameRejected);
    EXPECT_EQ(hexOf(dataFrame258), hexText(service.read(19)));
    service.write(frameAccepted);
    ASSERT_TRUE(ready(sent));
    EXPECT_TRUE(sent.get());

    simulator.setSilent(true);
    service.write(probe);
    EXPECT_TRUE(simulator.waitMessage(5s));
    EXPECT_TRUE(service.silentFor(300ms));
}

TEST(TerminalSimulator, KeepAliveAnswersAreChecked)
{
    SimulatorOptions options = quietOptions(LineProtocol::Confirmed);
    options.keepAliveInterval = 100ms;
    options.confirmationTimeout = 700;
    TerminalSimulator simulator(options);
    simulator.start();
    ServiceEnd service(simulator.slavePath());

    // While it is unconfirmed no further keep-alive goes out.
    const Bytes expected = encodeFrame(keepAlive(700));
    EXPECT_EQ(hexText(expected), hexText(service.read(expected.size())));

    const auto answer = [&](int timeout) {
        const std::string information = proxyInformation(timeout);
        Bytes text(information.begin(), information.end());
        text.push_back(0);
        service.write(encodeFrame(dataMessage(Proxy::PMT_EVENT_ACCESS, 0, text)));
        EXPECT_EQ(hexOf("FE06"), hexText(service.read(2)));
        EXPECT_TRUE(simulator.waitMessage(5s));
    };
    answer(700);
    EXPECT_EQ(1u, simulator.stats().keepAliveAnswers);
    answer(3000);
    EXPECT_EQ(1u, simulator.stats().badKeepAliveAnswers);

    service.write(frameAccepted);
    EXPECT_EQ(hexText(expected), hexText(service.read(expected.size())));
    EXPECT_GE(simulator.stats().keepAlivesSent, 2u);
}

TEST(TerminalSimulator, InOrderSendsWaitForEachAcknowledgement)
{
    TerminalSimulator simulator(quietOptions(LineProtocol::NonBtp));
    simulator.start();
    ServiceEnd service(simulator.slavePath());
    const Bytes first = dataMessage(Proxy::PMT_EVENT_DATA, 1, hexBytes("01"));
    const Bytes second = dataMessage(Proxy::PMT_EVENT_DATA, 1, hexBytes("02"));
    const auto acknowledge = [&service](const Bytes& packet) {
        Bytes acknowledgement = hexBytes("FEFC");
        acknowledgement.insert(acknowledgement.end(), packet.begin() + 4, packet.begin() + 12);
        service.write(acknowledgement);
    };

    std::future<bool> both = simulator.sendInOrderAsync({first, second});
    const Bytes packet = service.read(first.size() + 14);
    EXPECT_EQ(hexText(first), hexText(Bytes(packet.begin() + 12, packet.end() - 2)));
    EXPECT_TRUE(service.silentFor(300ms));
    acknowledge(packet);
    const Bytes next = service.read(second.size() + 14);
    ASSERT_EQ(second.size() + 14, next.size());
    EXPECT_EQ(hexText(second), hexText(Bytes(next.begin() + 12, next.end() - 2)));
    acknowledge(next);
    ASSERT_TRUE(ready(both));
    EXPECT_TRUE(both.get());

    std::future<bool> broken = simulator.sendInOrderAsync({first, second});
    EXPECT_EQ(first.size() + 14, service.read(first.size() + 14).size());
    simulator.unplug();
    ASSERT_TRUE(ready(broken));
    EXPECT_FALSE(broken.get());
}
