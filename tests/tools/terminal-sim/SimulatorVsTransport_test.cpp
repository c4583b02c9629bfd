// The simulator against the service's own transport over a pseudo-terminal:
// both line protocols, keep-alives, data both ways and a host connection.

#include "tools/terminal-sim/TerminalSimulator.h"

#include "ProxyInformation.h"
#include "logging/Logger.h"
#include "protocol/ProxyProtokol.h"
#include "serial/NonBtpSerialPortTransport.h"

#include <gtest/gtest.h>
#include <spdlog/sinks/null_sink.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

using namespace terminal_sim;
using namespace std::chrono_literals;

namespace {

constexpr std::size_t dispatcherCapacity = 64064;

Bytes textBytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

class SimulatorVsTransport : public ::testing::TestWithParam<LineProtocol> {
protected:
    void SetUp() override
    {
        _savedLogger = logger::Log::s_CoreLogger;
        logger::Log::s_CoreLogger =
            std::make_shared<spdlog::logger>("terminal-sim-test", std::make_shared<spdlog::sinks::null_sink_mt>());

        SimulatorOptions options;
        options.protocol = GetParam();
        options.keepAliveInterval = 0ms;
        simulator = std::make_unique<TerminalSimulator>(options);
        simulator->start();

        transport = std::make_unique<Proxy::NonBtpSerialPortTransport>(simulator->slavePath());
        ASSERT_TRUE(transport->open());
        transport->clearBuffer();
        _reader = std::thread([this] { _dispatch(); });
    }

    void TearDown() override
    {
        // As in the field: the terminal goes, the service closes the line,
        // and that ends its read loop.
        simulator->unplug();
        transport->close();
        _reader.join();
        transport.reset();
        simulator.reset();
        logger::Log::s_CoreLogger = _savedLogger;
    }

    // What the service's read loop delivered next.
    std::optional<Bytes> nextDelivery(std::chrono::milliseconds timeout = 5s)
    {
        std::unique_lock<std::mutex> lock(_mutex);
        if (!_changed.wait_for(lock, timeout, [this] { return !_delivered.empty(); }))
            return std::nullopt;
        Bytes bytes = std::move(_delivered.front());
        _delivered.pop_front();
        return bytes;
    }

    // The message the service decodes from the next delivery.
    template <class Message>
    std::shared_ptr<Message> nextMessage()
    {
        std::optional<Bytes> bytes = nextDelivery();
        if (!bytes)
            return nullptr;
        return std::dynamic_pointer_cast<Message>(
            Proxy::protocolDeserialize(bytes->data(), static_cast<unsigned>(bytes->size())));
    }

    // Writes as the service's senders do.
    void serviceWrite(Proxy::DataProtokol& message)
    {
        std::vector<unsigned char> buffer(message.getPackageSize());
        const unsigned n = message.pack(buffer.data(), static_cast<unsigned>(buffer.size()));
        EXPECT_EQ(acknowledged(n), transport->write(buffer.data(), n));
    }

    // What the service's writes return once the terminal took the message.
    int acknowledged(unsigned length) const
    {
        return GetParam() == LineProtocol::NonBtp ? static_cast<int>(length) : 0;
    }

    std::optional<TunnelMessage> simulatorReceives(uint16_t type)
    {
        return simulator->waitMessage([type](const TunnelMessage& m) { return m.type == type; }, 5s);
    }

    std::unique_ptr<TerminalSimulator> simulator;
    std::unique_ptr<Proxy::NonBtpSerialPortTransport> transport;

private:
    void _dispatch()
    {
        std::vector<unsigned char> buffer(dispatcherCapacity);
        for (;;) {
            int n = 0;
            try {
                n = transport->read(buffer.data(), buffer.size());
            } catch (const std::exception&) {
                return;
            }
            if (n <= 0)
                continue;
            {
                std::lock_guard<std::mutex> lock(_mutex);
                _delivered.emplace_back(buffer.begin(), buffer.begin() + n);
            }
            _changed.notify_all();
        }
    }

    std::shared_ptr<spdlog::logger> _savedLogger;
    std::thread _reader;
    std::mutex _mutex;
    std::condition_variable _changed;
    std::deque<Bytes> _delivered;
};

} // namespace

TEST_P(SimulatorVsTransport, KeepAliveIsAnsweredWithTheProxyInformation)
{
    ASSERT_TRUE(simulator->sendKeepAlive(500));
    const auto request = nextMessage<Proxy::DataProtokol>();
    ASSERT_TRUE(request);
    EXPECT_EQ(Proxy::PMT_EVENT_ACCESS, request->getTMessageType());
    const LibMisc::ByteArray& json = request->getData();
    EXPECT_EQ("{\"confirmation_timeout\": 500}", std::string(json.data, json.data + json.size));

    // The answer as the dispatcher builds it: the text and its zero byte.
    Proxy::DataProtokol answer(0, Proxy::PMT_EVENT_ACCESS);
    answer.setData(LibMisc::ByteArray(proxyInformation(500)));
    std::vector<unsigned char> buffer(answer.getPackageSize());
    const unsigned n = answer.pack(buffer.data(), static_cast<unsigned>(buffer.size()));
    EXPECT_EQ(acknowledged(n), transport->writeNotBloking(buffer.data(), n));

    ASSERT_TRUE(simulatorReceives(Proxy::PMT_EVENT_ACCESS));
    EXPECT_EQ(1u, simulator->stats().keepAliveAnswers);
    EXPECT_EQ(0u, simulator->stats().badKeepAliveAnswers);

    const auto expectedType = GetParam() == LineProtocol::NonBtp ? LibMisc::SerialPortTransport::SP_PACKETS
                                                                 : LibMisc::SerialPortTransport::SP_CONFIRMED_FRAMES;
    EXPECT_EQ(expectedType, transport->getProtocolType());
}

TEST_P(SimulatorVsTransport, HostConnectionAndDataBothWays)
{
    ASSERT_TRUE(simulator->send(connectionRequest(7, "10.0.0.1", 443, 30, "SIM42")));
    const auto request = nextMessage<Proxy::CmdProtokol>();
    ASSERT_TRUE(request);
    EXPECT_EQ(Proxy::PMT_CONNECTION_CONTROL, request->getTMessageType());
    EXPECT_EQ(7u, request->getConnectionId());
    EXPECT_EQ("SIM42", request->getSerialNumber());
    ASSERT_TRUE(request->isNewConnenection());
    const Proxy::TcpConnInfo info = request->getNewConnection();
    EXPECT_STREQ("10.0.0.1", info.ip);
    EXPECT_EQ(443, info.port);
    EXPECT_EQ(30, info.timeout.seconds());

    Proxy::CmdProtokol result(7, Proxy::PMT_CONNECTION_RESULT, "123456789");
    result.addConnectionStatus(0);
    serviceWrite(result);
    const auto connected = simulatorReceives(Proxy::PMT_CONNECTION_RESULT);
    ASSERT_TRUE(connected);
    EXPECT_EQ(7u, connected->connectionId);
    EXPECT_EQ(0, connected->connectionStatus());

    // Terminal to host, in both data forms.
    ASSERT_TRUE(simulator->send(dataMessage(Proxy::PMT_SEND_DATA, 7, textBytes("GET /"))));
    ASSERT_TRUE(simulator->send(dataControlMessage(7, 0, textBytes("more"))));
    const auto plain = nextMessage<Proxy::DataProtokol>();
    const auto numbered = nextMessage<Proxy::DataProtokol>();
    ASSERT_TRUE(plain && numbered);
    EXPECT_EQ(Proxy::PMT_SEND_DATA, plain->getTMessageType());
    EXPECT_EQ("GET /", std::string(plain->getData().data, plain->getData().data + plain->getData().size));
    EXPECT_EQ(Proxy::PMT_SEND_DATA_CONTROL, numbered->getTMessageType());
    EXPECT_EQ(std::string("\0\0\0\0more", 8),
              std::string(numbered->getData().data, numbered->getData().data + numbered->getData().size));

    // Host to terminal.
    const std::string numberedReply("\0\0\0\0" "200 OK", 10);
    Proxy::DataProtokol reply(7, Proxy::PMT_SEND_DATA_CONTROL);
    reply.setData(LibMisc::ByteArray(reinterpret_cast<const unsigned char*>(numberedReply.data()), numberedReply.size()));
    serviceWrite(reply);
    const auto fromHost = simulatorReceives(Proxy::PMT_SEND_DATA_CONTROL);
    ASSERT_TRUE(fromHost);
    EXPECT_EQ(numberedReply, std::string(fromHost->payload.begin(), fromHost->payload.end()));

    // Cashier bytes both ways.
    ASSERT_TRUE(simulator->send(dataMessage(Proxy::PMT_EVENT_DATA, 0, textBytes("{}"))));
    const auto event = nextMessage<Proxy::DataProtokol>();
    ASSERT_TRUE(event);
    EXPECT_EQ(Proxy::PMT_EVENT_DATA, event->getTMessageType());
    Proxy::DataProtokol cashier(99, Proxy::PMT_EVENT_DATA);
    cashier.setData(LibMisc::ByteArray(reinterpret_cast<const unsigned char*>("POST"), 4));
    serviceWrite(cashier);
    const auto toTerminal = simulatorReceives(Proxy::PMT_EVENT_DATA);
    ASSERT_TRUE(toTerminal);
    EXPECT_EQ("POST", std::string(toTerminal->payload.begin(), toTerminal->payload.end()));

    // Closed from both sides with status -3.
    ASSERT_TRUE(simulator->send(connectionStatus(7, Proxy::PMT_CONNECTION_CONTROL, statusClosed, "SIM42")));
    const auto close = nextMessage<Proxy::CmdProtokol>();
    ASSERT_TRUE(close);
    EXPECT_EQ(statusClosed, close->getConnectionStatus());
    Proxy::CmdProtokol notice(7, Proxy::PMT_CONNECTION_CONTROL, "123456789");
    notice.addConnectionStatus(statusClosed);
    serviceWrite(notice);
    const auto closed = simulatorReceives(Proxy::PMT_CONNECTION_CONTROL);
    ASSERT_TRUE(closed);
    EXPECT_EQ(statusClosed, closed->connectionStatus());
}

INSTANTIATE_TEST_SUITE_P(BothProtocols, SimulatorVsTransport,
                         ::testing::Values(LineProtocol::Confirmed, LineProtocol::NonBtp),
                         [](const ::testing::TestParamInfo<LineProtocol>& info) {
                             return info.param == LineProtocol::NonBtp ? "NonBtp" : "Confirmed";
                         });
