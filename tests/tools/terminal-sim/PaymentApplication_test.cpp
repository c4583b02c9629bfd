// The terminal's point-of-sale and listener sides, driven through its line by
// a stand-in for the service.

#include "tools/terminal-sim/ListenerPeer.h"
#include "tools/terminal-sim/PaymentApplication.h"
#include "tools/terminal-sim/ProcessingHost.h"

#include "CashierHttp.h"
#include "FakeService.h"
#include "tests/support/LoopbackClient.h"
#include "tests/support/Process.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <regex>

using namespace terminal_sim;
using namespace std::chrono_literals;

namespace {

const std::string sale = R"("operation": "sale", "currency": "643", "amount": "1500")";

bool matches(const std::string& text, const char* pattern)
{
    return std::regex_match(text, std::regex(pattern));
}

// The simulator with both sides, started, and the service's end of its line.
struct Terminal {
    explicit Terminal(PaymentOptions options = {})
        : simulator(loggingOptions()),
          payments(simulator, std::move(options)),
          listener(simulator, [this] { payments.cancelOperation(); })
    {
        simulator.start();
        service.emplace(simulator.slavePath());
    }

    SimulatorOptions loggingOptions()
    {
        SimulatorOptions options;
        options.keepAliveInterval = 0ms;
        options.log = [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(logMutex);
            logText += line + "\n";
        };
        return options;
    }

    // Whether the simulator logs `part` within the time-out.
    bool logs(const std::string& part, std::chrono::milliseconds timeout = 5s)
    {
        return kiv_test::waitFor(
            [&] {
                std::lock_guard<std::mutex> lock(logMutex);
                return logText.find(part) != std::string::npos;
            },
            timeout);
    }

    // The request as cashier connection `id`, cut into pieces at `cuts`.
    void ask(uint64_t id, const std::string& http, std::vector<std::size_t> cuts = {})
    {
        cuts.push_back(http.size());
        std::size_t from = 0;
        for (const std::size_t to : cuts) {
            service->send(dataMessage(Proxy::PMT_EVENT_DATA, id, Bytes(http.begin() + from, http.begin() + to)));
            from = to;
        }
    }

    HttpAnswer answer(std::chrono::milliseconds timeout = 5s)
    {
        return readAnswer(service->receiveHttp(ofType(Proxy::PMT_EVENT_DATA), timeout));
    }

    std::mutex logMutex; // before the simulator, which logs into it
    std::string logText;
    TerminalSimulator simulator;
    PaymentApplication payments;
    ListenerPeer listener;
    std::optional<FakeService> service;
};

PaymentOptions withProcessingHost(uint16_t port, std::chrono::milliseconds timeout = 5s)
{
    PaymentOptions options;
    options.processingHost = HostAddress{"127.0.0.1", port};
    options.connectTimeoutSeconds = 3;
    options.authorisationTimeout = timeout;
    return options;
}

} // namespace

TEST(PaymentApplication, AnswersEveryOperation)
{
    const std::string money = R"(, "currency": "643", "amount": "1500")";
    const std::string reference = R"(, "referenceNumber": "111122223333")";
    const std::string qr = R"(, "qrcId": "AD10004")";
    const auto operation = [](const std::string& name, const std::string& more = "") {
        return "\"operation\": \"" + name + "\"" + more;
    };
    const struct {
        std::string members;
        const char* paymentMethod;
        bool authorised;
        const char* referenceNumber; // for those decided without the host
    } cases[] = {
        {sale, "card", true, ""},
        {operation("refund", money + reference), "card", true, ""},
        {operation("customerreversal", money + reference), "card", true, ""},
        {operation("techreversal"), "", true, ""},
        {operation("closebatch"), "", false, ""},
        {operation("test"), "", false, ""},
        {operation("sale_cashback", money + R"(, "cashabackAmount": "500")"), "card", true, ""},
        {operation("print", reference), "", false, "111122223333"},
        {operation("print", R"(, "reportType": "summary")"), "", false, ""},
        {operation("\xD1\x81reditvoucher", money), "card", true, ""},
        {operation("\\u0441reditvoucher", money), "card", true, ""}, // as ASCII-only writers send it
        {operation("balance"), "card", false, ""},
        {operation("sbpsale", money), "qr", true, ""},
        {operation("sbpsalestatus", money + qr), "qr", false, ""},
        {operation("sbprefund", money + reference + qr), "qr", true, ""},
        {operation("sbprefundstatus", money + reference + qr), "qr", false, "111122223333"},
    };
    Terminal terminal;
    uint64_t cashierId = 1000;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.members);
        const std::string http = post(requestBody(c.members, "40"));
        terminal.ask(++cashierId, http, {5, http.size() - 9}); // cut inside the head and the body
        HttpAnswer answer = terminal.answer();

        EXPECT_TRUE(matches(answer.head, "HTTP/1\\.1 200 OK\r\n[\\s\\S]*Content-Type: application/json\r\n[\\s\\S]*"));
        EXPECT_EQ("00", answer.member("responseCode"));
        EXPECT_EQ(c.paymentMethod, answer.member("paymentMethod"));
        EXPECT_EQ(c.authorised, matches(answer.member("authorizationCode"), "[0-9]{6}"));
        if (c.authorised) // a new one, not that of the operation referred to
            EXPECT_TRUE(matches(answer.member("referenceNumber"), "[0-9]{12}") &&
                        answer.member("referenceNumber") != "111122223333");
        else
            EXPECT_EQ(c.referenceNumber, answer.member("referenceNumber"));
        const std::string receipt = answer.member("receiptData");
        EXPECT_TRUE(matches(receipt, "(.{40}\n){5,}.{40}")) << receipt;
        EXPECT_NE(std::string::npos, receipt.find("APPROVED"));
    }

    // The cancel request names nothing to print.
    terminal.ask(++cashierId, post(R"({"request": {"operation": "canceloperation"}})"));
    HttpAnswer cancel = terminal.answer();
    EXPECT_EQ("00", cancel.member("responseCode"));
    EXPECT_EQ("", cancel.member("receiptData"));
}

TEST(PaymentApplication, RequestsItCannotServeAreRefusedWithTheReason)
{
    Terminal terminal;
    terminal.ask(1, post(requestBody(R"("operation": "payout", "amount": "5")")));
    HttpAnswer unknown = terminal.answer();
    EXPECT_EQ(0u, unknown.head.rfind("HTTP/1.1 400 Bad Request\r\n", 0));
    EXPECT_EQ("30", unknown.member("responseCode"));
    EXPECT_EQ("unknown operation \"payout\"", unknown.member("responseDescription"));

    // Once a request is read, more bytes on the same connection are no new one.
    terminal.ask(1, post(requestBody(sale)));
    EXPECT_FALSE(terminal.service->receive(ofType(Proxy::PMT_EVENT_DATA), 300ms));
}

TEST(PaymentApplication, NewCashierConnectionStartsAfresh)
{
    Terminal terminal;
    const std::string http = post(requestBody(sale));
    terminal.ask(1, http.substr(0, http.size() / 2)); // the cashier gave up half-way
    terminal.ask(2, http);
    const auto first = terminal.service->receive(ofType(Proxy::PMT_EVENT_DATA));
    ASSERT_TRUE(first);
    EXPECT_EQ(2u, first->connectionId);
}

TEST(PaymentApplication, MoneyGoesThroughTheProcessingHost)
{
    ProcessingHost host(0);
    Terminal terminal(withProcessingHost(host.port()));
    terminal.ask(7, post(requestBody(sale)));

    // Plays the service: connects to the host and relays both ways.
    const auto request = terminal.service->receive(ofType(Proxy::PMT_CONNECTION_CONTROL));
    ASSERT_TRUE(request);
    const std::optional<Proxy::TcpConnInfo> target = request->newConnection();
    ASSERT_TRUE(target);
    EXPECT_STREQ("127.0.0.1", target->ip);
    EXPECT_EQ(host.port(), target->port);
    EXPECT_EQ(3, target->timeout.seconds());
    const uint64_t id = request->connectionId;
    LoopbackClient connection(target->port);
    terminal.service->send(connectionStatus(id, Proxy::PMT_CONNECTION_RESULT, statusConnected, "123456789"));

    const auto authorisation = terminal.service->receive(ofType(Proxy::PMT_SEND_DATA, id));
    ASSERT_TRUE(authorisation);
    const std::string sent(authorisation->payload.begin(), authorisation->payload.end());
    EXPECT_TRUE(matches(sent, "\\{\"operation\": \"sale\", .*\"amount\": \"1500\".*\\}\n")) << sent;
    connection.send(sent);
    std::string reply;
    while (reply.empty() || reply.back() != '\n') {
        const std::vector<uint8_t> more = connection.receive(1);
        ASSERT_EQ(1u, more.size()) << reply;
        reply += static_cast<char>(more[0]);
    }
    // Host data with packet numbers, as over the NonBTP transport, cut in two.
    const std::size_t half = reply.size() / 2;
    terminal.service->send(dataControlMessage(id, 0, Bytes(reply.begin(), reply.begin() + half)));
    terminal.service->send(dataControlMessage(id, 1, Bytes(reply.begin() + half, reply.end())));

    const auto close = terminal.service->receive(ofType(Proxy::PMT_CONNECTION_CONTROL, id));
    ASSERT_TRUE(close);
    EXPECT_EQ(statusClosed, close->connectionStatus());
    HttpAnswer answer = terminal.answer();
    EXPECT_EQ("00", answer.member("responseCode"));
    EXPECT_NE(std::string::npos, reply.find("\"authorizationCode\": \"" + answer.member("authorizationCode") + "\""));
    EXPECT_NE(std::string::npos, reply.find("\"referenceNumber\": \"" + answer.member("referenceNumber") + "\""));
    EXPECT_EQ(1u, host.requestsAnswered());
}

TEST(PaymentApplication, ProcessingHostFailuresRefuseTheOperation)
{
    const struct {
        const char* what;
        std::vector<std::pair<Proxy::ProxyMessType, int>> statuses; // from the service
        const char* hostAnswer;                                      // none: silent
        const char* description;
        bool terminalCloses;
    } cases[] = {
        {"unreachable", {{Proxy::PMT_CONNECTION_RESULT, statusClosed}}, nullptr, "Processing host unreachable", false},
        {"closes", {{Proxy::PMT_CONNECTION_RESULT, statusConnected}, {Proxy::PMT_CONNECTION_CONTROL, statusClosed}},
         nullptr, "The processing host closed the connection", false},
        {"silent", {{Proxy::PMT_CONNECTION_RESULT, statusConnected}}, nullptr, "No answer from the processing host",
         true},
        {"garbled", {{Proxy::PMT_CONNECTION_RESULT, statusConnected}}, "<html>\n",
         "unreadable answer from the processing host: not a JSON object", true},
    };
    Terminal terminal(withProcessingHost(9, 500ms));
    uint64_t cashierId = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        terminal.ask(++cashierId, post(requestBody(sale)));
        const auto request = terminal.service->receive(ofType(Proxy::PMT_CONNECTION_CONTROL));
        ASSERT_TRUE(request);
        const uint64_t id = request->connectionId;
        for (const auto& status : c.statuses)
            terminal.service->send(connectionStatus(id, status.first, status.second, "123456789"));
        if (c.hostAnswer)
            terminal.service->send(
                dataMessage(Proxy::PMT_SEND_DATA, id, Bytes(c.hostAnswer, c.hostAnswer + std::strlen(c.hostAnswer))));

        HttpAnswer answer = terminal.answer();
        EXPECT_EQ("91", answer.member("responseCode"));
        EXPECT_EQ(c.description, answer.member("responseDescription"));
        EXPECT_NE(std::string::npos, answer.member("receiptData").find("DECLINED"));
        const auto close = terminal.service->receive(
            [id](const TunnelMessage& m) { return m.connectionId == id && m.connectionStatus() == statusClosed; },
            c.terminalCloses ? 5s : 200ms);
        EXPECT_EQ(c.terminalCloses, close.has_value());
    }
}

TEST(PaymentApplication, ScenarioSwitches)
{
    ProcessingHost host(0);
    Terminal terminal(withProcessingHost(host.port()));

    // Refused by the terminal itself: the host is not asked.
    terminal.payments.setScenario({"51", false, 0ms});
    terminal.ask(1, post(requestBody(sale)));
    HttpAnswer declined = terminal.answer();
    EXPECT_EQ("51", declined.member("responseCode"));
    EXPECT_EQ("Declined", declined.member("responseDescription"));
    EXPECT_EQ("", declined.member("authorizationCode"));
    EXPECT_FALSE(terminal.service->receive(ofType(Proxy::PMT_CONNECTION_CONTROL), 0ms));

    terminal.payments.setScenario({"", true, 0ms});
    terminal.ask(2, post(requestBody(R"("operation": "test")")));
    EXPECT_FALSE(terminal.service->receive(ofType(Proxy::PMT_EVENT_DATA), 500ms));

    terminal.payments.setScenario({"", false, 400ms});
    const auto asked = std::chrono::steady_clock::now();
    terminal.ask(3, post(requestBody(R"("operation": "test")")));
    EXPECT_EQ("00", terminal.answer().member("responseCode"));
    EXPECT_GE(std::chrono::steady_clock::now() - asked, 400ms);
}

TEST(PaymentApplication, AnswerTheLineLostIsOfferedAgainUntilANewerRequest)
{
    Terminal terminal;
    terminal.payments.setScenario({"", false, 200ms});
    const auto unplugWhileWorking = [&terminal](uint64_t id) {
        const unsigned before = terminal.simulator.stats().line.messagesReceived;
        terminal.ask(id, post(requestBody(sale)));
        ASSERT_TRUE(kiv_test::waitFor([&] { return terminal.simulator.stats().line.messagesReceived > before; }, 5s));
        terminal.service.reset();
        terminal.simulator.unplug();
        ASSERT_TRUE(terminal.logs("answer to connection " + std::to_string(id) + " not taken"));
        terminal.simulator.plugIn();
        terminal.service.emplace(terminal.simulator.slavePath());
    };

    unplugWhileWorking(1);
    const auto kept = terminal.service->receive(ofType(Proxy::PMT_EVENT_DATA), 5s);
    ASSERT_TRUE(kept);
    EXPECT_EQ(1u, kept->connectionId);

    // Once the cashier asks anew, the old answer would reach the wrong sale.
    unplugWhileWorking(2);
    terminal.ask(3, post(requestBody(sale)));
    const auto fresh = terminal.service->receive(ofType(Proxy::PMT_EVENT_DATA), 5s);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(3u, fresh->connectionId);
    EXPECT_FALSE(terminal.service->receive(ofType(Proxy::PMT_EVENT_DATA), 1500ms));
}

TEST(ListenerPeer, CancelRequestEndsTheOperationInProcess)
{
    Terminal terminal;
    terminal.payments.setScenario({"", false, 10s}); // the customer takes their time
    terminal.ask(1, post(requestBody(sale)));

    const uint64_t id = firstListenerId;
    terminal.service->send(connectionRequest(id, "127.0.0.1", 12500, 0, "Unknown"));
    const auto accepted = terminal.service->receive(ofType(Proxy::PMT_CONNECTION_RESULT, id));
    ASSERT_TRUE(accepted);
    EXPECT_EQ(statusConnected, accepted->connectionStatus());

    // As the plug-in sends it: no uid, no receipt settings, no Connection header.
    const std::string body = R"({"request":{"operation":"canceloperation"}})";
    const std::string cancel = "POST /api/1/ecr/transaction HTTP/1.1\r\nHost: 127.0.0.1:12500\r\n"
                               "Content-Type: application/json\r\nContent-Length: " +
                               std::to_string(body.size()) + "\r\n\r\n" + body;
    terminal.service->send(dataMessage(Proxy::PMT_SEND_DATA, id, Bytes(cancel.begin(), cancel.begin() + 30)));
    terminal.service->send(dataMessage(Proxy::PMT_SEND_DATA, id, Bytes(cancel.begin() + 30, cancel.end())));
    HttpAnswer answer = readAnswer(terminal.service->receiveHttp(ofType(Proxy::PMT_SEND_DATA, id)));
    EXPECT_EQ(0u, answer.head.rfind("HTTP/1.1 200 OK\r\n", 0));
    EXPECT_EQ("00", answer.member("responseCode"));
    const auto close = terminal.service->receive(ofType(Proxy::PMT_CONNECTION_CONTROL, id));
    ASSERT_TRUE(close);
    EXPECT_EQ(statusClosed, close->connectionStatus());

    HttpAnswer sale = terminal.answer(1s);
    EXPECT_EQ("17", sale.member("responseCode"));
    EXPECT_EQ("Operation cancelled", sale.member("responseDescription"));
}

TEST(ListenerPeer, RefusesWhatIsNoCancelRequest)
{
    Terminal terminal;
    // Only the terminal opens host connections.
    terminal.service->send(connectionRequest(5, "127.0.0.1", 12500, 0, "Unknown"));
    const auto refused = terminal.service->receive(ofType(Proxy::PMT_CONNECTION_RESULT, 5));
    ASSERT_TRUE(refused);
    EXPECT_EQ(statusClosed, refused->connectionStatus());

    const uint64_t id = firstListenerId + 1;
    terminal.service->send(connectionRequest(id, "127.0.0.1", 12500, 0, "Unknown"));
    ASSERT_TRUE(terminal.service->receive(ofType(Proxy::PMT_CONNECTION_RESULT, id)));
    const std::string saleRequest = post(requestBody(sale));
    terminal.service->send(dataMessage(Proxy::PMT_SEND_DATA, id, Bytes(saleRequest.begin(), saleRequest.end())));
    HttpAnswer answer = readAnswer(terminal.service->receiveHttp(ofType(Proxy::PMT_SEND_DATA, id)));
    EXPECT_EQ(0u, answer.head.rfind("HTTP/1.1 400 Bad Request\r\n", 0));
    EXPECT_EQ("30", answer.member("responseCode"));
    EXPECT_TRUE(terminal.service->receive(ofType(Proxy::PMT_CONNECTION_CONTROL, id)));

    // A client that left: later data for it is not the listener's any more.
    const uint64_t gone = firstListenerId + 2;
    terminal.service->send(connectionRequest(gone, "127.0.0.1", 12500, 0, "Unknown"));
    ASSERT_TRUE(terminal.service->receive(ofType(Proxy::PMT_CONNECTION_RESULT, gone)));
    terminal.service->send(connectionStatus(gone, Proxy::PMT_CONNECTION_RESULT, statusClosed, "123456789"));
    terminal.service->send(dataMessage(Proxy::PMT_SEND_DATA, gone, Bytes(saleRequest.begin(), saleRequest.end())));
    const auto unclaimed = terminal.simulator.waitMessage(ofType(Proxy::PMT_SEND_DATA, gone), 5s);
    EXPECT_TRUE(unclaimed);
}
