#include "tunnel/BlThread.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "LibMisc/SocketIo.h"
#include "protocol/ProxyProtokol.h"
#include "tests/support/LogCapture.h"
#include "tests/support/LoopbackClient.h"
#include "tests/tunnel/FakeTransport.h"

using kiv_proxy::BlThread;
using kiv_proxy::ConnectionIDHolder;
using namespace std::chrono_literals;

namespace {

constexpr uint64_t kFirstId = 100000;
constexpr int kPortToConnect = 12999;

// What the listener sent to the terminal, decoded.
struct TerminalMessage {
    unsigned type = 0;
    uint64_t id = 0;
    std::string serial;
    std::vector<unsigned char> payload;
    bool hasStatus = false;
    int status = 0;
    bool hasTarget = false;
    Proxy::TcpConnInfo target;
};

TerminalMessage decode(FakeTransport::Bytes bytes)
{
    const auto message = Proxy::protocolDeserialize(bytes.data(), static_cast<unsigned>(bytes.size()));
    const auto data = std::dynamic_pointer_cast<Proxy::DataProtokol>(message);
    if (!data)
        throw std::runtime_error("not a tunnel message");
    TerminalMessage decoded;
    decoded.type = data->getTMessageType();
    decoded.id = data->getConnectionId();
    decoded.payload.assign(data->getData().data, data->getData().data + data->getData().size);
    if (const auto command = std::dynamic_pointer_cast<Proxy::CmdProtokol>(message)) {
        decoded.serial = command->getSerialNumber();
        decoded.hasStatus = command->isConnectionStatus();
        decoded.status = decoded.hasStatus ? command->getConnectionStatus() : 0;
        decoded.hasTarget = command->isNewConnenection();
        if (decoded.hasTarget)
            decoded.target = command->getNewConnection();
    }
    return decoded;
}

std::vector<TerminalMessage> decodeAll(const std::vector<FakeTransport::Bytes>& writes)
{
    std::vector<TerminalMessage> messages;
    for (const auto& bytes : writes)
        messages.push_back(decode(bytes));
    return messages;
}

// A listener on an ephemeral loopback port with its own registry and a fake terminal.
struct Listener {
    explicit Listener(std::chrono::milliseconds pendingTimeout = BlThread::kPendingTimeout, bool withTransport = true)
        : transport(std::make_shared<FakeTransport>()), bl(registry, pendingTimeout)
    {
        bl.run("127.0.0.1", 0, withTransport ? transport : nullptr, std::to_string(kPortToConnect));
        port = bl.getPort();
    }

    // Connects a client and waits for the announcement that is write number `nthWrite`.
    std::unique_ptr<LoopbackClient> connect(size_t nthWrite)
    {
        auto client = std::make_unique<LoopbackClient>(port);
        if (transport->waitForWrites(nthWrite).size() < nthWrite)
            throw std::runtime_error("no connection request");
        return client;
    }

    // The first client, confirmed by the terminal; returns once its first
    // bytes went out (writes 1 and 2).
    std::unique_ptr<LoopbackClient> establishFirst()
    {
        auto client = connect(1);
        bl.markConnectionOk(kFirstId);
        client->send(std::string("ping"));
        if (transport->waitForWrites(2).size() < 2)
            throw std::runtime_error("connection not established");
        return client;
    }

    kiv_test::LogCapture log; // first in, last out: outlives the listener thread
    std::shared_ptr<FakeTransport> transport;
    ConnectionIDHolder registry;
    BlThread bl;
    int port = -1;
};

// A bare loopback client descriptor, so a test can choose how it ends.
int connectRaw(int port)
{
    kiv_proxy::UniqueDescriptor descriptor(socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(descriptor.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
        throw std::runtime_error("cannot connect");
    return descriptor.release();
}

// Closes with a reset instead of a FIN.
void resetConnection(int descriptor)
{
    const linger reset{1, 0};
    setsockopt(descriptor, SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
    ::close(descriptor);
}

bool closedByListener(LoopbackClient& client, std::chrono::milliseconds timeout = 5s)
{
    client.receiveUntilClosed(timeout);
    return client.peerClosed();
}

} // namespace

TEST(BlThread, AnnouncesEveryClientWithTheNextIdAndTheConfiguredPort)
{
    Listener listener;
    const auto first = listener.connect(1);
    const auto second = listener.connect(2);

    const auto messages = decodeAll(listener.transport->writes());
    ASSERT_EQ(messages.size(), 2u);
    for (size_t i = 0; i < messages.size(); ++i) {
        SCOPED_TRACE(i);
        const TerminalMessage& request = messages[i];
        EXPECT_EQ(request.type, Proxy::PMT_CONNECTION_CONTROL);
        EXPECT_EQ(request.id, kFirstId + i);
        EXPECT_EQ(request.serial, "Unknown");
        EXPECT_FALSE(request.hasStatus);
        ASSERT_TRUE(request.hasTarget);
        EXPECT_STREQ(request.target.ip, "127.0.0.1");
        EXPECT_EQ(request.target.port, kPortToConnect);
        EXPECT_EQ(request.target.timeout.seconds(), 0);
        EXPECT_EQ(listener.registry.hasConnectionID(kFirstId + i),
                  std::make_pair(true, ConnectionIDHolder::kListenerConnection));
    }
}

TEST(BlThread, ClientArrivingBeforeTheTransportIsRejectedWithoutUsingAnId)
{
    Listener listener(BlThread::kPendingTimeout, false);
    LoopbackClient early(listener.port);
    EXPECT_TRUE(closedByListener(early));

    listener.bl.setTransport(listener.transport);
    const auto client = listener.connect(1);
    EXPECT_EQ(decode(listener.transport->writes().at(0)).id, kFirstId);
}

TEST(BlThread, ConfirmedClientCarriesDataBothWaysCompletely)
{
    Listener listener;
    auto client = listener.connect(1);
    client->send(std::string("sent while pending"));
    listener.bl.markConnectionOk(kFirstId);

    const auto writes = listener.transport->waitForWrites(2);
    ASSERT_EQ(writes.size(), 2u);
    const TerminalMessage data = decode(writes[1]);
    EXPECT_EQ(data.type, Proxy::PMT_SEND_DATA);
    EXPECT_EQ(data.id, kFirstId);
    EXPECT_EQ(std::string(data.payload.begin(), data.payload.end()), "sent while pending");

    // Far more than a socket buffer holds: the non-blocking socket writes short.
    std::vector<unsigned char> answer(8 * 1024 * 1024);
    for (size_t i = 0; i < answer.size(); ++i)
        answer[i] = static_cast<unsigned char>(i * 7 + i / 251);
    std::thread dispatcher([&] { listener.bl.onSendData(kFirstId, answer.data(), answer.size()); });
    const auto received = client->receive(answer.size());
    dispatcher.join();
    EXPECT_EQ(received.size(), answer.size());
    EXPECT_TRUE(received == answer);
}

TEST(BlThread, ClientThatLeavesIsReportedToTheTerminalOnce)
{
    const bool resets[] = {false, true};
    for (const bool reset : resets) {
        SCOPED_TRACE(reset ? "reset" : "orderly close");
        Listener listener;
        kiv_proxy::UniqueDescriptor client(connectRaw(listener.port));
        ASSERT_EQ(listener.transport->waitForWrites(1).size(), 1u);
        listener.bl.markConnectionOk(kFirstId);
        ASSERT_EQ(::send(client.get(), "x", 1, MSG_NOSIGNAL), 1);
        ASSERT_EQ(listener.transport->waitForWrites(2).size(), 2u);
        if (reset)
            resetConnection(client.release());
        else
            ::close(client.release());

        const auto writes = listener.transport->waitForWrites(3);
        ASSERT_EQ(writes.size(), 3u);
        const TerminalMessage result = decode(writes[2]);
        EXPECT_EQ(result.type, Proxy::PMT_CONNECTION_RESULT);
        EXPECT_EQ(result.id, kFirstId);
        EXPECT_EQ(result.serial, "Unknown");
        ASSERT_TRUE(result.hasStatus);
        EXPECT_EQ(result.status, -3);

        // The terminal's own close that follows finds nothing left to close.
        listener.bl.closeConnection(kFirstId);
        EXPECT_TRUE(
            listener.log.waitFor(spdlog::level::warn, "[BlThread]: [?] Close Connection. No Client ID: 100000"));
        EXPECT_EQ(listener.transport->writes().size(), 3u);
    }
}

TEST(BlThread, TerminalCloseEndsTheClientWhetherEstablishedOrPending)
{
    const bool confirmed[] = {true, false};
    for (const bool established : confirmed) {
        SCOPED_TRACE(established ? "established" : "pending");
        Listener listener;
        auto client = established ? listener.establishFirst() : listener.connect(1);
        const size_t writesBefore = listener.transport->writes().size();
        listener.bl.closeConnection(kFirstId);
        EXPECT_TRUE(closedByListener(*client));
        EXPECT_TRUE(listener.log.waitFor(spdlog::level::info, "[BlThread]: Close Connection. ID: 100000"));

        const unsigned char late[] = {1, 2, 3};
        listener.bl.onSendData(kFirstId, late, sizeof(late));
        const std::string noClient = "[BlThread]: onSendData. Founded Client is nullptr. ConnID: 100000";
        EXPECT_EQ(listener.log.count(spdlog::level::err, noClient), 1u);
        // Nothing goes back to the terminal: it closed the connection itself.
        EXPECT_EQ(listener.transport->writes().size(), writesBefore);
    }
}

TEST(BlThread, UnansweredConnectionIsClosedAfterThePendingTimeOut)
{
    Listener listener(200ms);
    auto client = listener.connect(1);
    EXPECT_TRUE(closedByListener(*client));

    const auto writes = listener.transport->waitForWrites(2);
    ASSERT_EQ(writes.size(), 2u);
    const TerminalMessage result = decode(writes[1]);
    EXPECT_EQ(result.type, Proxy::PMT_CONNECTION_RESULT);
    EXPECT_EQ(result.id, kFirstId);
    EXPECT_EQ(result.status, -3);

    listener.bl.markConnectionOk(kFirstId);
    EXPECT_TRUE(listener.log.waitFor(spdlog::level::err, "[BlThread]: [!] Possible Connection not found. 100000"));
}

TEST(BlThread, AnnouncementWriteResultDecidesRetryAndClose)
{
    struct Case {
        const char* name;
        int result;
        bool throws;
        size_t attempts;
        bool clientClosed;
    };
    const Case cases[] = {
        {"confirmed write returns 0", 0, false, 1, false},
        {"packet write returns a byte count", 44, false, 1, false},
        {"write fails", -1, false, 3, true},
        {"write throws", 0, true, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Listener listener;
        listener.transport->answerWritesWith(c.result);
        if (c.throws)
            listener.transport->throwOnWrite();
        auto client = listener.connect(1);
        // The next client's request marks the end of the first one's attempts.
        const auto next = listener.connect(c.attempts + 1);

        const auto messages = decodeAll(listener.transport->writes());
        ASSERT_GE(messages.size(), c.attempts + 1);
        for (size_t i = 0; i < c.attempts; ++i)
            EXPECT_EQ(messages[i].id, kFirstId);
        EXPECT_EQ(messages[c.attempts].id, kFirstId + 1);
        client->receive(1, 100ms);
        EXPECT_EQ(client->peerClosed(), c.clientClosed);
    }
}

TEST(BlThread, ReplacedTransportCarriesTheConnectionOn)
{
    Listener listener;
    auto client = listener.establishFirst();
    const auto next = std::make_shared<FakeTransport>();

    // Replacements racing with the client's traffic.
    std::atomic<bool> flipping{true};
    std::thread supervisor([&] {
        while (flipping)
            listener.bl.setTransport(listener.transport);
    });
    client->send(std::string("during"));
    ASSERT_EQ(listener.transport->waitForWrites(3).size(), 3u);
    flipping = false;
    supervisor.join();

    listener.bl.setTransport(next);
    client->send(std::string("after"));
    const auto writes = next->waitForWrites(1);
    ASSERT_EQ(writes.size(), 1u);
    const TerminalMessage data = decode(writes[0]);
    EXPECT_EQ(data.type, Proxy::PMT_SEND_DATA);
    EXPECT_EQ(data.id, kFirstId);
    EXPECT_EQ(std::string(data.payload.begin(), data.payload.end()), "after");
    EXPECT_EQ(listener.transport->writes().size(), 3u);
}

TEST(BlThread, ClientThatStopsReadingIsGivenUpInsteadOfBlockingTheDispatcher)
{
    Listener listener;
    auto client = listener.establishFirst();
    std::vector<unsigned char> answer(8 * 1024 * 1024, 0x5A);

    const auto start = std::chrono::steady_clock::now();
    listener.bl.onSendData(kFirstId, answer.data(), answer.size());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);

    const auto writes = listener.transport->waitForWrites(3);
    ASSERT_EQ(writes.size(), 3u);
    const TerminalMessage result = decode(writes[2]);
    EXPECT_EQ(result.type, Proxy::PMT_CONNECTION_RESULT);
    EXPECT_EQ(result.id, kFirstId);
    EXPECT_EQ(result.status, -3);
}

TEST(BlThread, RunRefusesAPortToConnectThatIsNoPort)
{
    ConnectionIDHolder registry;
    BlThread listener(registry);
    EXPECT_THROW(listener.run("127.0.0.1", 0, nullptr, "abc"), std::invalid_argument);
    EXPECT_THROW(listener.run("127.0.0.1", 0, nullptr, "99999999999"), std::out_of_range);
    EXPECT_THROW(listener.run("127.0.0.1", 0, nullptr, "65536"), std::out_of_range);
    EXPECT_EQ(listener.getPort(), -1);
}
