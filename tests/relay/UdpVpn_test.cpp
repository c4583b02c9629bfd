#include "relay/UdpVpn.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include "tests/support/LogCapture.h"
#include "tests/support/LoopbackClient.h"
#include "tests/support/LoopbackUdpServer.h"

using namespace kiv_proxy;
using namespace std::chrono_literals;

namespace {

using Answer = LoopbackUdpServer::Answer;

const std::vector<uint8_t> kSource = {192, 168, 1, 20, 0x30, 0x39};

// The 12 address bytes of a request to 127.0.0.1:port.
std::vector<uint8_t> addressesTo(uint16_t port)
{
    std::vector<uint8_t> bytes = kSource;
    bytes.insert(bytes.end(), {127, 0, 0, 1, static_cast<uint8_t>(port >> 8), static_cast<uint8_t>(port)});
    return bytes;
}

std::vector<uint8_t> frame(const std::vector<uint8_t>& addresses, uint8_t command, const std::vector<uint8_t>& payload,
                           size_t length)
{
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    bytes.insert(bytes.end(), addresses.begin(), addresses.end());
    bytes.push_back(command);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

std::vector<uint8_t> request(const std::vector<uint8_t>& addresses, uint8_t command, const std::vector<uint8_t>& payload)
{
    return frame(addresses, command, payload, 13 + payload.size());
}

// Reads one answer frame; its address bytes and command must be the request's.
std::vector<uint8_t> readAnswer(LoopbackClient& client, const std::vector<uint8_t>& addresses, uint8_t command)
{
    const auto length = client.receive(2);
    if (length.size() != 2) {
        ADD_FAILURE() << "no answer frame";
        return {};
    }
    const auto rest = client.receive(static_cast<size_t>(length[0] << 8 | length[1]));
    EXPECT_GE(rest.size(), 13u);
    EXPECT_EQ(std::vector<uint8_t>(rest.begin(), rest.begin() + 12), addresses);
    EXPECT_EQ(rest[12], command);
    return std::vector<uint8_t>(rest.begin() + 13, rest.end());
}

uint16_t internetChecksum(const std::vector<uint8_t>& bytes)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < bytes.size(); i += 2)
        sum += static_cast<uint32_t>(bytes[i] << 8 | (i + 1 < bytes.size() ? bytes[i + 1] : 0));
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

class UdpVpnTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(relay.run("127.0.0.1", 0, 1)); }

    // Client threads are detached: a test ends only once they have, so
    // that none logs into a capture that is gone.
    void TearDown() override
    {
        for (int port : clientPorts)
            EXPECT_TRUE(log.waitFor(spdlog::level::info, "[UdpVpn]: Client disconnected 127.0.0.1: " +
                                                             std::to_string(port)))
                << "the thread of the client on port " << port << " is still running";
    }

    std::unique_ptr<LoopbackClient> connect()
    {
        auto client = std::make_unique<LoopbackClient>(relay.getPort());
        clientPorts.push_back(client->localPort());
        return client;
    }

    kiv_test::LogCapture log;
    std::vector<int> clientPorts;
    UdpVpn relay;
    LoopbackUdpServer echo{[](const std::vector<uint8_t>& datagram) {
        std::vector<uint8_t> answer = {'r', ':'};
        answer.insert(answer.end(), datagram.begin(), datagram.end());
        return Answer(answer);
    }};
};

TEST_F(UdpVpnTest, AnswersRequestsOnOneConnectionInOrder)
{
    auto client = connect();
    const auto addresses = addressesTo(echo.port());
    client->send(request(addresses, 1, {}));
    client->send(request(addresses, 1, {'x', 'y', 'z'}));
    EXPECT_EQ(readAnswer(*client, addresses, 1), (std::vector<uint8_t>{'r', ':'}));
    EXPECT_EQ(readAnswer(*client, addresses, 1), (std::vector<uint8_t>{'r', ':', 'x', 'y', 'z'}));
}

TEST_F(UdpVpnTest, ClosesWithoutAnswerOnAShortLengthOrAnUnknownCommand)
{
    const auto addresses = addressesTo(echo.port());
    for (const auto& bad : {frame(addresses, 1, {'a'}, 12), request(addresses, 3, {'a'})}) {
        auto client = connect();
        client->send(bad);
        EXPECT_TRUE(client->receiveUntilClosed().empty());
        EXPECT_TRUE(client->peerClosed());
    }
    EXPECT_EQ(log.count(spdlog::level::warn, "[UdpVpn]: CMD 3"), 1u);
    EXPECT_EQ(log.count(spdlog::level::info, "[UpdVpn]: request type [!] unknown from 192.168.1.20: 12345 : to "
                                             "127.0.0.1 : " + std::to_string(echo.port())),
              1u);
}

TEST_F(UdpVpnTest, ADestinationThatDoesNotAnswerClosesTheConnection)
{
    LoopbackUdpServer silent([](const std::vector<uint8_t>&) { return Answer(); });
    auto client = connect();
    client->send(request(addressesTo(silent.port()), 1, {'?'}));
    EXPECT_TRUE(client->receiveUntilClosed().empty());
    EXPECT_TRUE(client->peerClosed());
    EXPECT_TRUE(log.waitFor(spdlog::level::err, "[UdpVpn]: handle_client error: UDP recv timeout"));
}

TEST_F(UdpVpnTest, AClientLeavingBetweenRequestsEndsOnlyItsOwnThread)
{
    const auto addresses = addressesTo(echo.port());
    auto leaving = connect();
    leaving->send(request(addresses, 1, {'1'}));
    readAnswer(*leaving, addresses, 1);
    leaving.reset();
    EXPECT_TRUE(log.waitFor(spdlog::level::err, "UdpVpn: Catch Handler to exception EOF while reading"));
    EXPECT_TRUE(log.waitFor(spdlog::level::err, "[UdpVpn]: [!] handle_client. Error to recv lenbuffer"));

    auto next = connect();
    next->send(request(addresses, 1, {'2'}));
    EXPECT_EQ(readAnswer(*next, addresses, 1), (std::vector<uint8_t>{'r', ':', '2'}));
}

TEST_F(UdpVpnTest, IcmpEchoReturnsTheReplyWithoutItsIpv4Header)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "raw ICMP sockets need root";
    std::vector<uint8_t> echoRequest = {8, 0, 0, 0, 0x4B, 0x49, 0x00, 0x01, 'p', 'i', 'n', 'g'};
    const uint16_t checksum = internetChecksum(echoRequest);
    echoRequest[2] = static_cast<uint8_t>(checksum >> 8);
    echoRequest[3] = static_cast<uint8_t>(checksum);

    auto client = connect();
    const auto addresses = addressesTo(0);
    client->send(request(addresses, 2, echoRequest));
    const auto reply = readAnswer(*client, addresses, 2);
    ASSERT_EQ(reply.size(), echoRequest.size()) << "no IPv4 header in front";
    EXPECT_EQ(reply[0], 0) << "an echo reply, not the request coming back";
    EXPECT_EQ(std::vector<uint8_t>(reply.begin() + 4, reply.end()),
              std::vector<uint8_t>(echoRequest.begin() + 4, echoRequest.end()));
}

TEST_F(UdpVpnTest, AListenerThatCannotBeSetUpEndsOnlyThatRelay)
{
    UdpVpn second;
    EXPECT_FALSE(second.run("127.0.0.1", relay.getPort(), 1));
    EXPECT_EQ(second.getPort(), -1);
    EXPECT_EQ(log.count(spdlog::level::critical, "[UdpVpn]: Throw exception. Reason: bind"), 1u);

    UdpVpn badAddress;
    EXPECT_FALSE(badAddress.run("not an address", 0, 1));
    EXPECT_EQ(log.count(spdlog::level::critical,
                        "[UdpVpn]: Relay not started: [UdpVpn]: inet_pton failed for bind host not an address"),
              1u);

    auto client = connect();
    const auto addresses = addressesTo(echo.port());
    client->send(request(addresses, 1, {'!'}));
    EXPECT_EQ(readAnswer(*client, addresses, 1), (std::vector<uint8_t>{'r', ':', '!'}));
}

} // namespace

TEST_F(UdpVpnTest, RunningOutOfDescriptorsHoldsConnectionsBackWithoutEndingTheRelay)
{
#ifdef KIV_SANITIZED
    GTEST_SKIP() << "the sanitizers' checks open descriptors of their own and fail without them";
#endif
    const int waiting = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(waiting, 0);
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    const rlimit lowered{256, limit.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    std::vector<int> taken;
    for (int copy; (copy = dup(waiting)) >= 0;)
        taken.push_back(copy);

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(relay.getPort()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = ::connect(waiting, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    const bool refused = log.waitFor(spdlog::level::warn, "[UdpVpn]: accept() failed: Too many open files");
    for (int copy : taken)
        close(copy);
    setrlimit(RLIMIT_NOFILE, &limit);
    ASSERT_TRUE(connected);
    EXPECT_TRUE(refused);

    auto client = LoopbackClient::adopt(waiting);
    clientPorts.push_back(client.localPort());
    const auto addresses = addressesTo(echo.port());
    client.send(request(addresses, 1, {'!'}));
    EXPECT_EQ(readAnswer(client, addresses, 1), (std::vector<uint8_t>{'r', ':', '!'}));
}
