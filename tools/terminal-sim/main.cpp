// kiv_terminal_sim: plays the payment terminal on a pseudo-terminal, so that
// kiv_proxy can be run and shown without one.

#include "tools/terminal-sim/ListenerPeer.h"
#include "tools/terminal-sim/PaymentApplication.h"
#include "tools/terminal-sim/ProcessingHost.h"
#include "tools/terminal-sim/TerminalSimulator.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

using namespace terminal_sim;

namespace {

const char* const usage =
    "Usage: kiv_terminal_sim [options]\n"
    "Plays the payment terminal on a pseudo-terminal and prints the device to give kiv_proxy.\n"
    "It answers the point-of-sale requests that kiv_proxy passes on from its cashier port, and\n"
    "the cancel requests from its tunnel listener port.\n"
    "\n"
    "  --link PATH                    also make PATH a symbolic link to the device (removed on exit)\n"
    "  --protocol nonbtp|confirmed    line protocol: NonBTP packets (default) or confirmed frames\n"
    "  --keep-alive SECONDS           interval between keep-alives, 0 for none (default 5)\n"
    "  --confirmation-timeout N       ask for a confirmation time-out of N ms in every keep-alive\n"
    "  --processing-host ADDR:PORT    authorise money operations at this IPv4 address and port,\n"
    "                                 through a host connection of kiv_proxy (default: approve them\n"
    "                                 without a processing host)\n"
    "  --serve-processing-host PORT   also play the processing host on 127.0.0.1:PORT (0: any free\n"
    "                                 port); without --processing-host the terminal uses it\n"
    "  --decline CODE                 refuse every operation with response code CODE (1 to 8 letters\n"
    "                                 or digits, not 0 or 00)\n"
    "  --never-answer                 read the requests and answer none of them\n"
    "  --answer-delay MS              wait MS milliseconds before working on each operation\n"
    "  --help                         print this help and exit\n"
    "\n"
    "Runs until interrupted; received messages and events are logged on standard error.\n";

std::mutex logMutex;

void logLine(const std::string& line)
{
    char stamp[16];
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    std::strftime(stamp, sizeof(stamp), "%H:%M:%S", localtime_r(&now, &local));
    std::lock_guard<std::mutex> lock(logMutex);
    std::cerr << stamp << ' ' << line << std::endl;
}

bool number(const std::string& text, int& value, int limit = 1000000)
{
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || parsed < 0 || parsed > limit)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

bool hostAddress(const std::string& text, HostAddress& address)
{
    const std::size_t colon = text.rfind(':');
    in_addr parsed {};
    int port = 0;
    if (colon == std::string::npos || inet_pton(AF_INET, text.substr(0, colon).c_str(), &parsed) != 1 ||
        !number(text.substr(colon + 1), port, 65535) || port == 0)
        return false;
    address = {text.substr(0, colon), static_cast<uint16_t>(port)};
    return true;
}

bool responseCode(const std::string& text)
{
    return !text.empty() && text.size() <= 8 && text != "0" && text != "00" &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isalnum(c); });
}

struct CommandLine {
    SimulatorOptions simulator;
    PaymentOptions payment;
    Scenario scenario;
    std::optional<uint16_t> servedHostPort;
    bool help = false;
};

// False (after a message) when the command line is wrong.
bool parse(int argc, char** argv, CommandLine& line)
{
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            line.help = true;
            return true;
        }
        if (option == "--never-answer") {
            line.scenario.neverAnswer = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::cerr << "kiv_terminal_sim: " << option << ": unknown option or missing value\n";
            return false;
        }
        const std::string value = argv[++i];
        int n = 0;
        HostAddress host;
        if (option == "--link") {
            line.simulator.linkPath = value;
        } else if (option == "--protocol" && (value == "nonbtp" || value == "confirmed")) {
            line.simulator.protocol = value == "nonbtp" ? LineProtocol::NonBtp : LineProtocol::Confirmed;
        } else if (option == "--keep-alive" && number(value, n)) {
            line.simulator.keepAliveInterval = std::chrono::seconds(n);
        } else if (option == "--confirmation-timeout" && number(value, n)) {
            line.simulator.confirmationTimeout = n;
        } else if (option == "--processing-host" && hostAddress(value, host)) {
            line.payment.processingHost = host;
        } else if (option == "--serve-processing-host" && number(value, n, 65535)) {
            line.servedHostPort = static_cast<uint16_t>(n);
        } else if (option == "--decline" && responseCode(value)) {
            line.scenario.declineCode = value;
        } else if (option == "--answer-delay" && number(value, n)) {
            line.scenario.answerDelay = std::chrono::milliseconds(n);
        } else {
            std::cerr << "kiv_terminal_sim: " << option << " " << value << ": unknown option or bad value\n";
            return false;
        }
    }
    return true;
}

std::string describe(const TunnelMessage& message)
{
    std::string line = "received type " + std::to_string(message.type) + " for id " +
                       std::to_string(message.connectionId) + ", " + std::to_string(message.payload.size()) +
                       " payload bytes";
    if (const auto status = message.connectionStatus())
        line += ", status " + std::to_string(*status);
    return line;
}

} // namespace

int main(int argc, char** argv)
{
    CommandLine line;
    if (!parse(argc, argv, line)) {
        std::cerr << usage;
        return 2;
    }
    if (line.help) {
        std::cout << usage;
        return 0;
    }
    line.simulator.log = logLine;

    // Every thread inherits the mask; the main thread takes the signals.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::unique_ptr<ProcessingHost> processingHost;
    try {
        if (line.servedHostPort) {
            processingHost = std::make_unique<ProcessingHost>(*line.servedHostPort, logLine);
            if (!line.payment.processingHost)
                line.payment.processingHost = HostAddress{"127.0.0.1", processingHost->port()};
        }
    } catch (const std::exception& e) {
        std::cerr << "kiv_terminal_sim: " << e.what() << '\n';
        return 1;
    }

    TerminalSimulator simulator(line.simulator);
    simulator.addMessageHandler([](const TunnelMessage& message) {
        logLine(describe(message));
        return false;
    });
    PaymentApplication payments(simulator, line.payment);
    payments.setScenario(line.scenario);
    ListenerPeer listener(simulator, [&payments] { payments.cancelOperation(); });
    // Nobody waits for the rest.
    simulator.addMessageHandler([](const TunnelMessage&) { return true; });
    try {
        simulator.start();
    } catch (const std::exception& e) {
        std::cerr << "kiv_terminal_sim: " << e.what() << '\n';
        return 1;
    }
    std::cout << simulator.slavePath() << std::endl;

    int signal = 0;
    sigwait(&stopSignals, &signal);
    simulator.stop();
    const SimulatorStats stats = simulator.stats();
    logLine("stopped: " + std::to_string(stats.keepAliveAnswers) + " good and " +
            std::to_string(stats.badKeepAliveAnswers) + " bad keep-alive answers, " +
            std::to_string(stats.line.messagesReceived) + " messages received");
    return 0;
}
