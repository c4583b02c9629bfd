// Payments through the real service: the terminal simulator authorises them
// at its processing host over a host connection of the service; the POS is
// the payment plug-in in the POS stand-in, or a plain HTTP client.
#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <regex>

#include "tests/service/RunningService.h"
#include "tools/terminal-sim/ListenerPeer.h"
#include "tools/terminal-sim/PaymentApplication.h"
#include "tools/terminal-sim/ProcessingHost.h"

namespace {

using namespace kiv_test;
using namespace terminal_sim;

class PaymentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        service.terminal().addMessageHandler([this](const TunnelMessage& message) {
            if (message.type == Proxy::PMT_EVENT_DATA) {
                std::lock_guard<std::mutex> lock(_cashierMutex);
                _cashierBytes.append(message.payload.begin(), message.payload.end());
            }
            return false;
        });
        PaymentOptions options;
        options.processingHost = HostAddress{"127.0.0.1", processingHost.port()};
        payment = std::make_unique<PaymentApplication>(service.terminal(), options);
        listener = std::make_unique<ListenerPeer>(service.terminal(), [this] { payment->cancelOperation(); });
        ASSERT_TRUE(service.start()) << service.log();
        std::ofstream(service.directory() + "/kiv.ini") << "[Kiv]\n"
                                                        << "url=http://127.0.0.1:" << service.cashierPort() << "\n"
                                                        << "blPort=" << service.listenerPort() << "\n"
                                                        << "timeout=3\n";
    }

    void TearDown() override
    {
        listener.reset();
        payment.reset();
    }

    std::unique_ptr<ChildProcess> pos(const std::vector<std::string>& command)
    {
        std::vector<std::string> argv = {KIV_POS_BIN, "--plugin", KIV_PLUGIN, "--config", service.directory() + "/kiv.ini"};
        argv.insert(argv.end(), command.begin(), command.end());
        return std::make_unique<ChildProcess>(argv, service.directory());
    }

    // The "uid" of every request the cashier port passed to the terminal.
    std::vector<std::string> cashierUids()
    {
        std::lock_guard<std::mutex> lock(_cashierMutex);
        std::vector<std::string> uids;
        const std::regex uid("\"uid\"\\s*:\\s*\"([^\"]*)\"");
        for (std::sregex_iterator it(_cashierBytes.begin(), _cashierBytes.end(), uid), end; it != end; ++it)
            uids.push_back((*it)[1]);
        return uids;
    }

    // What the terminal says it does, to follow its progress.
    bool terminalLogged(const std::string& part)
    {
        std::lock_guard<std::mutex> lock(_terminalLogMutex);
        return _terminalLog.find(part) != std::string::npos;
    }

    // Before the service, whose terminal writes to it.
    std::mutex _terminalLogMutex;
    std::string _terminalLog;

    ProcessingHost processingHost{0};
    RunningService service{loggingTerminal()};
    std::unique_ptr<PaymentApplication> payment;
    std::unique_ptr<ListenerPeer> listener;

private:
    SimulatorOptions loggingTerminal()
    {
        auto options = RunningService::quietTerminal();
        options.log = [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(_terminalLogMutex);
            _terminalLog += line + "\n";
        };
        return options;
    }

    std::mutex _cashierMutex;
    std::string _cashierBytes;
};

TEST_F(PaymentTest, ApprovedSalePrintsTheReceipt)
{
    auto sale = pos({"sale", "1500"});
    ASSERT_TRUE(sale->waitExit(20s));
    EXPECT_EQ(sale->status(), 0) << sale->out() << sale->err();
    EXPECT_NE(sale->out().find("error: 0\n"), std::string::npos) << sale->out();
    EXPECT_NE(sale->out().find("APPROVED"), std::string::npos) << sale->out();
    EXPECT_EQ(processingHost.requestsAnswered(), 1u);
}

TEST_F(PaymentTest, SaleWithCurlOnTheCashierPort)
{
    const std::string body =
        R"({"request": {"operation": "sale", "amount": "1500", "currency": "643", "receiptWidth": "32",)"
        R"( "uid": "0b3f4c7e-2d6a-4f7e-9a51-0c8d7e6f5a41"}})";
    ChildProcess curl({"/usr/bin/curl", "-s", "-m", "20", "-H", "Content-Type: application/json", "-d", body,
                       "http://127.0.0.1:" + std::to_string(service.cashierPort()) + "/api/1/ecr/transaction"},
                      service.directory());
    ASSERT_TRUE(curl.waitExit(30s));
    EXPECT_EQ(curl.status(), 0) << curl.err();
    EXPECT_NE(curl.out().find(R"("responseCode": "00")"), std::string::npos) << curl.out();
    EXPECT_EQ(processingHost.requestsAnswered(), 1u);
}

TEST_F(PaymentTest, DeclinedSaleIsRefusedWithoutReversal)
{
    payment->setScenario(Scenario{"05", false, std::chrono::milliseconds(0)});
    auto sale = pos({"sale", "1500"});
    ASSERT_TRUE(sale->waitExit(20s));
    EXPECT_EQ(sale->status(), 1) << sale->out() << sale->err();
    EXPECT_EQ(cashierUids().size(), 1u);
}

TEST_F(PaymentTest, BrokenExchangeEndsWithATechnicalReversalOfTheSale)
{
    payment->setScenario(Scenario{"", true, std::chrono::milliseconds(0)});
    auto sale = pos({"sale", "1500"});
    // The sale is lost; the reversal that follows is answered.
    ASSERT_TRUE(waitFor([&] { return terminalLogged("left unanswered"); }));
    payment->setScenario(Scenario{});
    ASSERT_TRUE(sale->waitExit(30s));
    EXPECT_EQ(sale->status(), 1) << sale->out() << sale->err();
    EXPECT_NE(sale->out().find("Не удалось выполнить операцию. Выполнена техническая отмена"), std::string::npos)
        << sale->out();
    const auto uids = cashierUids();
    ASSERT_EQ(uids.size(), 2u);
    EXPECT_EQ(uids[1], uids[0]) << "the reversal must name the sale";
}

TEST_F(PaymentTest, InterruptReachesTheTerminalThroughTheListener)
{
    auto interrupt = pos({"interrupt"});
    ASSERT_TRUE(interrupt->waitExit(20s));
    EXPECT_EQ(interrupt->status(), 0) << interrupt->out() << interrupt->err();
    EXPECT_NE(interrupt->out().find("interrupted: yes"), std::string::npos) << interrupt->out();
    EXPECT_TRUE(service.waitLog("[BlThread]: Generate ConnectionID: 100000"));
}

} // namespace
