// kiv_terminal_sim: plays the payment terminal on a pseudo-terminal, so that
// kiv_proxy can be run and shown without one.

#include "tools/terminal-sim/TerminalSimulator.h"

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <mutex>
#include <string>

using namespace terminal_sim;

namespace {

const char* const usage =
    "Usage: kiv_terminal_sim [options]\n"
    "Plays the payment terminal on a pseudo-terminal and prints the device to give kiv_proxy.\n"
    "\n"
    "  --link PATH                  also make PATH a symbolic link to the device (removed on exit)\n"
    "  --protocol nonbtp|confirmed  line protocol: NonBTP packets (default) or confirmed frames\n"
    "  --keep-alive SECONDS         interval between keep-alives, 0 for none (default 5)\n"
    "  --confirmation-timeout N     ask for a confirmation time-out of N ms in every keep-alive\n"
    "  --help                       print this help and exit\n"
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

bool number(const std::string& text, int& value)
{
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || parsed < 0 || parsed > 1000000)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

// Fills the options; false (after a message) when the command line is wrong.
bool parse(int argc, char** argv, SimulatorOptions& options, bool& help)
{
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            help = true;
            return true;
        }
        if (i + 1 >= argc) {
            std::cerr << "kiv_terminal_sim: " << option << ": unknown option or missing value\n";
            return false;
        }
        const std::string value = argv[++i];
        int n = 0;
        if (option == "--link") {
            options.linkPath = value;
        } else if (option == "--protocol" && (value == "nonbtp" || value == "confirmed")) {
            options.protocol = value == "nonbtp" ? LineProtocol::NonBtp : LineProtocol::Confirmed;
        } else if (option == "--keep-alive" && number(value, n)) {
            options.keepAliveInterval = std::chrono::seconds(n);
        } else if (option == "--confirmation-timeout" && number(value, n)) {
            options.confirmationTimeout = n;
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
    SimulatorOptions options;
    bool help = false;
    if (!parse(argc, argv, options, help)) {
        std::cerr << usage;
        return 2;
    }
    if (help) {
        std::cout << usage;
        return 0;
    }
    options.log = logLine;

    // Every thread inherits the mask; the main thread takes the signals.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    TerminalSimulator simulator(options);
    simulator.addMessageHandler([](const TunnelMessage& message) {
        logLine(describe(message));
        return true;
    });
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
