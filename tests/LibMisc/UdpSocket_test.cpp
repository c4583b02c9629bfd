#include "LibMisc/UdpSocket.h"

#include <gtest/gtest.h>
#include <stdexcept>

#include "logging/Logger.h"
#include "tests/support/TempDir.h"
#include "tests/support/LoopbackUdpServer.h"

using namespace kiv_proxy;
using namespace std::chrono_literals;

namespace {

using Answer = LoopbackUdpServer::Answer;

// Each transaction is logged: the application log must exist (quiet, in a scratch directory).
class ApplicationLog : public ::testing::Environment {
public:
    void SetUp() override
    {
        logger::Log::setLogDirectoryPath(_directory.path() + "/");
        logger::Log::Init(false, spdlog::level::off);
    }

private:
    TempDir _directory;
};
::testing::Environment* const kApplicationLog = ::testing::AddGlobalTestEnvironment(new ApplicationLog);

TEST(UdpSocket, ReturnsTheAnswerDatagram)
{
    LoopbackUdpServer echo([](const std::vector<uint8_t>& request) { return Answer(request); });
    UdpSocket udp;
    const std::vector<uint8_t> request = {'p', 'i', 'n', 'g', 0, 0xFF};
    EXPECT_EQ(udp.transaction("127.0.0.1", echo.port(), request.data(), request.size()), request);
}

TEST(UdpSocket, CutsALongAnswerTo4096Bytes)
{
    std::vector<uint8_t> longAnswer(5000);
    for (size_t i = 0; i < longAnswer.size(); ++i)
        longAnswer[i] = static_cast<uint8_t>(i);
    LoopbackUdpServer server([&](const std::vector<uint8_t>&) { return Answer(longAnswer); });
    UdpSocket udp;
    const uint8_t request = 1;
    const auto answer = udp.transaction("127.0.0.1", server.port(), &request, 1);
    EXPECT_EQ(answer, std::vector<uint8_t>(longAnswer.begin(), longAnswer.begin() + 4096));
}

TEST(UdpSocket, TimesOutAfterTheGivenFractionOfASecond)
{
    LoopbackUdpServer silent([](const std::vector<uint8_t>&) { return Answer(); });
    UdpSocket udp;
    udp.setTimeout(0.5);
    const uint8_t request = 1;
    const auto start = std::chrono::steady_clock::now();
    try {
        udp.transaction("127.0.0.1", silent.port(), &request, 1);
        FAIL() << "nothing answers";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "UDP recv timeout");
    }
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 480ms);
    EXPECT_LT(waited, 2s);
}

TEST(UdpSocket, RefusesAnAddressThatIsNotDottedIpv4)
{
    UdpSocket udp;
    const uint8_t request = 1;
    for (const std::string ip : {"localhost", "127.0.0", "::1", ""}) {
        try {
            udp.transaction(ip, 9, &request, 1);
            ADD_FAILURE() << ip;
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()), "inet_pton failed for " + ip);
        }
    }
}

} // namespace
