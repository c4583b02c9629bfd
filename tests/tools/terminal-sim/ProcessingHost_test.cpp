// The processing host stand-in and the lines the terminal exchanges with it.

#include "tools/terminal-sim/ProcessingHost.h"

#include "tests/support/LoopbackClient.h"

#include <gtest/gtest.h>

#include <regex>

using namespace terminal_sim;
using namespace std::chrono_literals;

namespace {

// One line from the host, line feed included; what came when it closed or
// went silent otherwise.
std::string receiveLine(LoopbackClient& client)
{
    std::string line;
    while (line.empty() || line.back() != '\n') {
        const std::vector<uint8_t> byte = client.receive(1, 5s);
        if (byte.empty())
            break;
        line += static_cast<char>(byte[0]);
    }
    return line;
}

} // namespace

TEST(ProcessingHost, ApprovesEachRequestLine)
{
    ProcessingHost host(0);
    LoopbackClient client(host.port());
    PaymentRequest sale{"sale", {{"currency", "643"}, {"amount", "1500"}, {"uid", "u-1"}}, 32};
    const std::string request = authorisationRequest(sale);
    EXPECT_EQ("{\"operation\": \"sale\", \"currency\": \"643\", \"amount\": \"1500\", \"uid\": \"u-1\"}\n", request);

    client.send(request.substr(0, 10));
    client.send(request.substr(10) + "\r\n" + request); // a blank line between is skipped
    const Authorisation first = readAuthorisationAnswer(receiveLine(client));
    const Authorisation second = readAuthorisationAnswer(receiveLine(client));
    EXPECT_TRUE(first.approved());
    EXPECT_EQ("Approved", first.responseDescription);
    EXPECT_TRUE(std::regex_match(first.authorizationCode, std::regex("[0-9]{6}")));
    EXPECT_TRUE(std::regex_match(first.referenceNumber, std::regex("[0-9]{12}")));
    EXPECT_NE(first.referenceNumber, second.referenceNumber);
    EXPECT_NE(first.authorizationCode, second.authorizationCode);

    client.send("sale 1500\n");
    const Authorisation refused = readAuthorisationAnswer(receiveLine(client));
    EXPECT_EQ("30", refused.responseCode);
    EXPECT_EQ("bad authorisation request: not a JSON object with an \"operation\"", refused.responseDescription);
    EXPECT_EQ(3u, host.requestsAnswered());

    // A peer that never ends its line is let go; the others are still served.
    LoopbackClient flood(host.port());
    flood.send(std::string(maxAuthorisationLine + 4096, 'x'));
    flood.receiveUntilClosed(5s);
    EXPECT_TRUE(flood.peerClosed());
    client.send(request);
    EXPECT_TRUE(readAuthorisationAnswer(receiveLine(client)).approved());
}

TEST(ProcessingHost, TakenPortIsAnError)
{
    ProcessingHost host(0);
    EXPECT_THROW(ProcessingHost(host.port()), std::system_error);
}

TEST(ProcessingProtocol, AnswersTheTerminalCannotReadAreRefusals)
{
    const struct {
        const char* line;
        const char* code;
        const char* description;
    } cases[] = {
        {R"({"responseCode": "05", "responseDescription": "Do not honour"})", "05", "Do not honour"},
        {R"({"responseCode": "00"})", "00", ""},
        {"", "91", "unreadable answer from the processing host: not a JSON object"},
        {"[\"00\"]", "91", "unreadable answer from the processing host: not a JSON object"},
        {R"({"responseDescription": "Approved"})", "91", "unreadable answer from the processing host: no \"responseCode\""},
        {R"({"responseCode": 0})", "91", "unreadable answer from the processing host: \"responseCode\" is not a JSON string"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const Authorisation verdict = readAuthorisationAnswer(c.line);
        EXPECT_EQ(c.code, verdict.responseCode);
        EXPECT_EQ(c.description, verdict.responseDescription);
    }
}
