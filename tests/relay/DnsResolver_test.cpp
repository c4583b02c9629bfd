#include "relay/DnsResolver.h"

#include <gtest/gtest.h>
#include <stdexcept>

#include "tests/support/LoopbackClient.h"

using namespace std::chrono_literals;

namespace {

// A label longer than 63 bytes: the resolver refuses it without asking any
// name server, so the test stays on this machine.
const std::string kUnresolvable = std::string(70, 'a') + ".test";

std::string asText(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(DnsResolver, AnswersWithTheAddressOrNothingAndCloses)
{
    DNSResolver resolver(0);
    const struct {
        std::string request;
        std::string answer;
    } cases[] = {
        {"localhost\r\n", "127.0.0.1"},
        {"localhost \t", "127.0.0.1"},
        {" localhost", ""}, // leading blanks are part of the name
        {kUnresolvable, ""},
        {" \r\n", ""},
    };
    for (const auto& c : cases) {
        LoopbackClient client(resolver.getPort());
        client.send(c.request);
        EXPECT_EQ(asText(client.receiveUntilClosed()), c.answer) << "request: " << c.request;
        EXPECT_TRUE(client.peerClosed());
    }
}

TEST(DnsResolver, ServesOneClientAtATime)
{
    DNSResolver resolver(0);
    LoopbackClient first(resolver.getPort());
    LoopbackClient second(resolver.getPort());
    second.send("localhost");
    EXPECT_TRUE(second.receive(1, 300ms).empty()) << "answered while the first client was still served";

    first.close();
    EXPECT_EQ(asText(second.receiveUntilClosed()), "127.0.0.1");
}

TEST(DnsResolver, APortInUseRaisesTheStartError)
{
    DNSResolver first(0);
    try {
        DNSResolver second(first.getPort());
        FAIL() << "two resolvers on one port";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Can't start DNSResolver");
    }
}

} // namespace
