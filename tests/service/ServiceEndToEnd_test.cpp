// The real kiv_proxy against the terminal simulator on a pseudo-terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>

#include "tests/service/RunningService.h"
#include "tests/support/LoopbackClient.h"
#include "tests/support/LoopbackServer.h"

namespace {

using namespace kiv_test;
using namespace terminal_sim;

const std::string kSerial = "SIM00001";

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }
std::string textOf(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(service.start()) << service.log(); }

    // Asks for a host connection to `host` and takes the connection there.
    LoopbackClient openHostConnection(uint64_t id, LoopbackServer& host)
    {
        EXPECT_TRUE(service.terminal().send(connectionRequest(id, "127.0.0.1", static_cast<uint16_t>(host.port()), 3, kSerial)));
        const auto result = service.waitMessage(Proxy::PMT_CONNECTION_RESULT, id);
        EXPECT_TRUE(result && result->connectionStatus() == statusConnected);
        auto connection = host.accept();
        if (!connection)
            throw std::runtime_error("the service did not connect");
        return std::move(*connection);
    }

    RunningService service;
};

TEST_F(ServiceTest, KeepAliveIsAnsweredWithTheProxyInformation)
{
    const struct {
        std::optional<int> asked;
        int described;
    } cases[] = {{500, 500}, {100, 3000}, {10000, 3000}, {std::nullopt, 3000}};
    for (const auto& c : cases) {
        ASSERT_TRUE(service.terminal().send(keepAlive(c.asked)));
        const auto answer = service.waitMessage(Proxy::PMT_EVENT_ACCESS);
        ASSERT_TRUE(answer);
        EXPECT_EQ(proxyInformationFault(answer->payload, c.described), "") << c.described;
    }
}

TEST_F(ServiceTest, HostConnectionRelaysBothWaysInPacketOrder)
{
    LoopbackServer host;
    auto connection = openHostConnection(5, host);

    connection.send("hello");
    const auto fromHost = service.waitMessage(Proxy::PMT_SEND_DATA_CONTROL, 5);
    ASSERT_TRUE(fromHost);
    EXPECT_EQ(fromHost->payload, bytesOf(std::string("\0\0\0\0hello", 9)));

    auto& terminal = service.terminal();
    ASSERT_TRUE(terminal.send(dataControlMessage(5, 0, bytesOf("abc"))));
    EXPECT_EQ(textOf(connection.receive(3)), "abc");
    ASSERT_TRUE(terminal.send(dataControlMessage(5, 1, bytesOf("d"))));
    EXPECT_EQ(textOf(connection.receive(1)), "d");
    ASSERT_TRUE(terminal.send(dataControlMessage(5, 3, bytesOf("f"))));
    EXPECT_EQ(textOf(connection.receive(1)), "f");
    EXPECT_TRUE(service.waitLog("[SerialPort] Packet number error. Wait: 2 read: 3"));
    // Number 2 is now behind the expected 3: a repeat, dropped.
    ASSERT_TRUE(terminal.send(dataControlMessage(5, 2, bytesOf("e"))));
    ASSERT_TRUE(terminal.send(dataMessage(Proxy::PMT_SEND_DATA, 5, bytesOf("g"))));
    EXPECT_EQ(textOf(connection.receive(1)), "g");

    // Closed by the terminal: the host sees the end, the terminal no notice.
    ASSERT_TRUE(terminal.send(connectionStatus(5, Proxy::PMT_CONNECTION_CONTROL, statusClosed, kSerial)));
    EXPECT_TRUE(connection.receiveUntilClosed().empty());
    EXPECT_TRUE(connection.peerClosed());
    EXPECT_FALSE(service.waitMessage(Proxy::PMT_CONNECTION_CONTROL, 5, 1s));
}

TEST_F(ServiceTest, HostCloseIsNotifiedOnlyAfterTheTerminalSentData)
{
    LoopbackServer host;
    auto quiet = openHostConnection(6, host);
    quiet.close();
    EXPECT_TRUE(service.waitLog("[Lan service] Close client connection"));
    EXPECT_FALSE(service.waitMessage(Proxy::PMT_CONNECTION_CONTROL, 6, 1s));

    auto talked = openHostConnection(7, host);
    ASSERT_TRUE(service.terminal().send(dataMessage(Proxy::PMT_SEND_DATA, 7, bytesOf("x"))));
    EXPECT_EQ(textOf(talked.receive(1)), "x");
    talked.close();
    const auto notice = service.waitMessage(Proxy::PMT_CONNECTION_CONTROL, 7);
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->connectionStatus(), statusClosed);
}

TEST_F(ServiceTest, UnansweredConnectTimesOutWithAResultAndANotice)
{
    // A listener whose accept queue (one place) is full drops further attempts.
    LoopbackServer host(0);
    LoopbackClient filler(host.port());

    ASSERT_TRUE(service.terminal().send(connectionRequest(8, "127.0.0.1", static_cast<uint16_t>(host.port()), 3, kSerial)));
    const auto result = service.waitMessage(Proxy::PMT_CONNECTION_RESULT, 8, 8s);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->connectionStatus(), statusClosed);
    const auto notice = service.waitMessage(Proxy::PMT_CONNECTION_CONTROL, 8);
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->connectionStatus(), statusClosed);
}

TEST_F(ServiceTest, DataForAnUnknownConnectionIsAnsweredWithAClose)
{
    ASSERT_TRUE(service.terminal().send(dataMessage(Proxy::PMT_SEND_DATA, 999, bytesOf("x"))));
    const auto notice = service.waitMessage(Proxy::PMT_CONNECTION_CONTROL, 999);
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->connectionStatus(), statusClosed);
}

TEST_F(ServiceTest, CashierBytesReachTheTerminalAndTheAnswerComesBack)
{
    LoopbackClient pos(service.cashierPort());
    const std::string request = "POST /api/1/ecr/transaction HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}";
    pos.send(request);
    const auto forwarded = service.waitMessage(Proxy::PMT_EVENT_DATA);
    ASSERT_TRUE(forwarded);
    EXPECT_EQ(forwarded->payload, bytesOf(request));

    const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}";
    ASSERT_TRUE(service.terminal().send(dataMessage(Proxy::PMT_EVENT_DATA, forwarded->connectionId, bytesOf(answer))));
    EXPECT_EQ(textOf(pos.receive(answer.size())), answer);
}

TEST_F(ServiceTest, SecondCashierConnectionWaitsForTheFirstOrIsRefused)
{
    auto first = std::make_unique<LoopbackClient>(service.cashierPort());
    first->send("first");
    ASSERT_TRUE(service.waitMessage(Proxy::PMT_EVENT_DATA));

    LoopbackClient refused(service.cashierPort());
    refused.send("refused");
    EXPECT_TRUE(refused.receiveUntilClosed(8s).empty());
    EXPECT_TRUE(refused.peerClosed());
    EXPECT_EQ(service.logCount("[Event client] Last operation still in process, close connection"), 1u);

    LoopbackClient waiting(service.cashierPort());
    waiting.send("second");
    ASSERT_TRUE(service.waitLog("[Event client] Last operation in process, start waiting", 2));
    first.reset();
    const auto forwarded = service.waitMessage(Proxy::PMT_EVENT_DATA);
    ASSERT_TRUE(forwarded);
    EXPECT_EQ(forwarded->payload, bytesOf("second"));
}

TEST_F(ServiceTest, TerminalThatStopsConfirmingEndsTheOperationOnly)
{
    service.terminal().setSilent(true);
    LoopbackClient lost(service.cashierPort());
    lost.send("lost");
    EXPECT_TRUE(lost.receiveUntilClosed(20s).empty());
    EXPECT_TRUE(lost.peerClosed());
    EXPECT_TRUE(service.waitLog("[Event client] SerialPort write PMT_EVENT_DATA error: "));

    service.terminal().setSilent(false);
    LoopbackClient next(service.cashierPort());
    next.send("next");
    // The silent terminal still heard the repeats of "lost"; look past them.
    EXPECT_TRUE(service.terminal().waitMessage([](const TunnelMessage& m) { return m.payload == bytesOf("next"); }, 15s));
}

TEST_F(ServiceTest, UnplugStopsTheSerialServiceAndPlugReopensIt)
{
    service.terminal().unplug();
    EXPECT_TRUE(service.waitLog(std::string("[PORT MONITORING] [ACM DISCONNECTED] port: ") + RunningService::kDeviceName));
    EXPECT_TRUE(service.waitLog("[Proxy service] Service stop"));
    EXPECT_TRUE(service.waitLog("[Proxy service] Close port"));
    EXPECT_TRUE(service.waitLog("[SerialPort] SerialPortProcess stop"));

    service.terminal().plugIn();
    EXPECT_TRUE(service.waitLog(std::string("[PORT MONITORING] [ACM CONNECTED] port: ") + RunningService::kDeviceName));
    EXPECT_TRUE(service.waitLog("[SerialPort] Data reading...", 2));
    ASSERT_TRUE(service.terminal().send(keepAlive(std::nullopt)));
    EXPECT_TRUE(service.waitMessage(Proxy::PMT_EVENT_ACCESS));
}

TEST(ServiceStart, BusyCashierPortEndsTheService)
{
    RunningService service;
    LoopbackServer other;
    EXPECT_FALSE(service.start({{"ServerPort", std::to_string(other.port())}}));
    EXPECT_EQ(service.waitExit(), 0);
    EXPECT_EQ(service.logCount("[Proxy service] Can't bind proxy service socket with port " + std::to_string(other.port()) +
                               ". Error 3 \n"),
              1u)
        << service.log();
}

TEST(ServiceDiscovery, AutoDetectionFindsTheTerminalByItsProbeAnswer)
{
    RunningService service;
    ASSERT_TRUE(service.start({{"AutoDetect", "yes"}})) << service.log();
    EXPECT_EQ(service.logCount("[Proxy service] Auto detect start"), 1u);
    EXPECT_EQ(service.logCount(std::string("[Proxy service] Serial port '/dev/") + RunningService::kDeviceName + "' is open"), 1u)
        << service.log();
    ASSERT_TRUE(service.terminal().send(keepAlive(std::nullopt)));
    EXPECT_TRUE(service.waitMessage(Proxy::PMT_EVENT_ACCESS));
}

} // namespace
