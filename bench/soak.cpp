// Sales over the cashier port one after another for a fixed time, while the
// terminal simulator refuses frames, withholds acknowledgements, corrupts
// checks, delays its line and is unplugged every 20 seconds. Every sale must
// end answered or closed by the service with a logged reason; the service
// must not end, and must hold no more descriptors, threads or memory at the
// end than at the start, within a small bound.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "bench/FaultInjector.h"
#include "bench/LogFollower.h"
#include "bench/ProcessUsage.h"
#include "bench/ServiceStart.h"
#include "bench/SoakSale.h"
#include "tests/service/RunningService.h"
#include "tests/support/Process.h"
#include "tools/terminal-sim/PaymentApplication.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using kiv_bench::SaleOutcome;

namespace {

constexpr int kDefaultSeconds = 120;
// Longer than an unplug, the service finding the terminal again and the
// terminal offering its answer anew.
constexpr auto kPatience = 60s;
constexpr auto kBetweenSales = 20ms;
constexpr auto kAfterFailedSale = 250ms;
constexpr auto kReasonLogged = 2s;
constexpr auto kRecoveryLimit = 60s;
constexpr int kRecoverySales = 3;
constexpr auto kSettleLimit = 15s;
constexpr long kDescriptorGrowth = 2;
constexpr long kThreadGrowth = 2;
constexpr long kMemoryGrowthKiB = 4096;

// What the service logs when it closes a cashier connection unanswered.
const char* const kClosingReasons[] = {
    "[Event client] SerialPort write PMT_EVENT_DATA error",
    "[Event client] EventClient exception",
    "[Event client] Last operation still in process, close connection",
};

struct Options {
    int seconds = kDefaultSeconds;
    uint32_t seed = std::random_device{}();
};

struct Counts {
    unsigned answered = 0;
    unsigned closedWithReason = 0;
    unsigned lost = 0;
    unsigned otherAnswers = 0;
    unsigned crashes = 0;
    unsigned total() const { return answered + closedWithReason + lost + otherAnswers; }
};

bool holdsReason(const std::string& log)
{
    for (const char* reason : kClosingReasons)
        if (log.find(reason) != std::string::npos)
            return true;
    return false;
}

// Sorts one sale into the counts; `log` follows the service's log from
// before the sale on.
void count(SaleOutcome outcome, kiv_bench::LogFollower& log, unsigned number, Counts& counts)
{
    std::string logged = log.next();
    switch (outcome) {
    case SaleOutcome::Answered:
        ++counts.answered;
        return;
    case SaleOutcome::OtherAnswer:
        ++counts.otherAnswers;
        break;
    case SaleOutcome::Closed:
        if (kiv_test::waitFor([&] { return holdsReason(logged += log.next()); }, kReasonLogged)) {
            ++counts.closedWithReason;
            return;
        }
        ++counts.lost;
        break;
    case SaleOutcome::NoAnswer:
        ++counts.lost;
        break;
    }
    std::printf("  sale %u: %s\n", number, kiv_bench::describe(outcome));
}

// As between two customers; a cashier tries again after a failure, not at once.
void pauseAfter(SaleOutcome outcome)
{
    std::this_thread::sleep_for(outcome == SaleOutcome::Answered ? kBetweenSales : kAfterFailedSale);
}

// True once kRecoverySales sales in a row were answered.
bool answersSales(int port, unsigned& number)
{
    const auto deadline = Clock::now() + kRecoveryLimit;
    for (int inARow = 0; Clock::now() < deadline;) {
        const SaleOutcome outcome = kiv_bench::runSale(port, ++number, kPatience);
        inARow = outcome == SaleOutcome::Answered ? inARow + 1 : 0;
        if (inARow == kRecoverySales)
            return true;
        pauseAfter(outcome);
    }
    return false;
}

bool withinBounds(const kiv_bench::ProcessUsage& start, const kiv_bench::ProcessUsage& now)
{
    return now.descriptors <= start.descriptors + kDescriptorGrowth && now.threads <= start.threads + kThreadGrowth &&
           now.rssKiB <= start.rssKiB + kMemoryGrowthKiB;
}

std::optional<Options> parse(int argc, char** argv)
{
    Options options;
    if (const char* seconds = std::getenv("KIV_SOAK_SECONDS"))
        options.seconds = std::atoi(seconds);
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            options.seconds = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--seed") == 0)
            options.seed = static_cast<uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
        else
            return std::nullopt;
    }
    if (argc % 2 == 0 || options.seconds <= 0)
        return std::nullopt;
    return options;
}

void printUsage(const char* what, long start, long end, const char* unit)
{
    std::printf("  %-44s %ld%s at the start, %ld%s at the end\n", what, start, unit, end, unit);
}

} // namespace

int main(int argc, char** argv)
{
    const auto options = parse(argc, argv);
    if (!options) {
        std::fprintf(stderr, "usage: %s [--seconds N] [--seed N]   (KIV_SOAK_SECONDS sets the default of %d)\n",
                     argv[0], kDefaultSeconds);
        return 2;
    }

    auto terminalOptions = kiv_test::RunningService::quietTerminal();
    terminalOptions.keepAliveInterval = 5s; // as a real terminal
    kiv_test::RunningService service(terminalOptions);
    terminal_sim::PaymentApplication payments(service.terminal(), {});
    if (!kiv_bench::startService(service, {{"LogLevel", "2"}})) {
        std::fprintf(stderr, "kiv_proxy did not start\n%s", service.log().c_str());
        return 1;
    }
    const int port = service.cashierPort();
    kiv_bench::LogFollower log(service.logsDir());
    unsigned number = 0;
    if (!answersSales(port, number)) {
        std::fprintf(stderr, "no sale answered before the faults\n");
        return 1;
    }
    const auto start = kiv_bench::processUsage(service.pid());
    if (!start) {
        std::fprintf(stderr, "cannot read the service's usage from /proc\n");
        return 1;
    }

    std::printf("soak: %d s of sales with faults, seed %u\n", options->seconds, options->seed);
    Counts counts;
    kiv_bench::FaultInjector faults(service.terminal(), options->seed);
    faults.start();
    log.next();
    for (const auto end = Clock::now() + std::chrono::seconds(options->seconds); Clock::now() < end;) {
        const SaleOutcome outcome = kiv_bench::runSale(port, ++number, kPatience);
        count(outcome, log, number, counts);
        if (service.waitExit(0ms)) {
            ++counts.crashes;
            break;
        }
        pauseAfter(outcome);
    }
    faults.stop();

    const bool recovered = counts.crashes == 0 && answersSales(port, number);
    std::optional<kiv_bench::ProcessUsage> end;
    // Connection threads end a moment after their sale.
    kiv_test::waitFor([&] { return (end = kiv_bench::processUsage(service.pid())) && withinBounds(*start, *end); },
                      kSettleLimit);

    std::printf("  faults injected:\n");
    for (const auto& [fault, times] : faults.injected())
        std::printf("    %-42s %u\n", fault.c_str(), times);
    std::printf("  %-44s %u\n", "sales", counts.total());
    std::printf("  %-44s %u\n", "answered", counts.answered);
    std::printf("  %-44s %u\n", "closed by the service with the logged error", counts.closedWithReason);
    std::printf("  %-44s %u\n", "lost without either", counts.lost);
    std::printf("  %-44s %u\n", "answered, but not with this sale's approval", counts.otherAnswers);
    std::printf("  %-44s %u\n", "crashes", counts.crashes);
    std::printf("  %-44s %s\n", "answered again after the faults", recovered ? "yes" : "no");
    if (end) {
        printUsage("open descriptors", start->descriptors, end->descriptors, "");
        printUsage("threads", start->threads, end->threads, "");
        printUsage("resident memory", start->rssKiB, end->rssKiB, " KiB");
    }
    const bool passed = counts.lost == 0 && counts.otherAnswers == 0 && counts.crashes == 0 && counts.answered > 0 &&
                        recovered && end && withinBounds(*start, *end);
    std::printf("  %-44s %s\n", "verdict", passed ? "passed" : "FAILED");
    return passed ? 0 : 1;
}
