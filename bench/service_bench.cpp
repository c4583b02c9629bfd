// The real kiv_proxy against the terminal simulator, which answers at once:
// time of a sale on the cashier port, goodput of a host connection relaying
// a download to the terminal, and processor time and memory of the idle
// service with the terminal connected. The same sales through socat and a
// pty give the baseline any relay costs; socat's idle processor time is
// measured beside the service's.

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/DownloadMeter.h"
#include "bench/ProcessUsage.h"
#include "bench/SaleAnswer.h"
#include "bench/SaleTiming.h"
#include "bench/ServiceStart.h"
#include "bench/SocatRelay.h"
#include "tests/service/RunningService.h"
#include "tests/support/LoopbackClient.h"
#include "tests/support/LoopbackServer.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using kiv_bench::DownloadMeter;
using kiv_bench::SaleTimes;
using kiv_bench::SocatRelay;
using kiv_test::RunningService;

namespace {

constexpr uint64_t kDownloadId = 1;
constexpr size_t kDownloadBytes = 2 << 20;
constexpr auto kDownloadLimit = 60s;
// The service pauses its relay for 100 ms after every sixth chunk.
constexpr int kChunksPerPause = 6;
constexpr double kPauseSeconds = 0.1;

struct Options {
    std::optional<int> bufferSize; // BufferSize of the configuration; the service's default otherwise
    int idleSeconds = 30;
};

double secondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// The last line tells how often the service had not yet ended the sale before.
SaleTimes measureSales(RunningService& service)
{
    const auto sales = kiv_bench::timeSales(service.cashierPort());
    kiv_bench::printSales(sales);
    std::printf("  %-48s %zu\n", "sales that waited for the one before",
                service.logCount("[Event client] Last operation in process, start waiting"));
    return sales;
}

bool measureDownload(RunningService& service, DownloadMeter& meter, pid_t servicePid)
{
    auto& terminal = service.terminal();
    const std::string& serial = terminal.options().serialNumber;
    LoopbackServer host;
    try {
        kiv_test::TerminalConnection opened(service, kDownloadId, host.port());
    } catch (const std::exception& e) {
        std::printf("  %-48s %s\n", "download not started", e.what());
        return false;
    }
    auto connection = host.accept();
    if (!connection)
        return false;

    const std::vector<uint8_t> data(kDownloadBytes, 0xA5);
    const auto start = Clock::now();
    auto sender = std::async(std::launch::async, [&] {
        try {
            connection->send(data);
        } catch (const std::exception&) {
            // The service closed the connection early; the count shows it.
        }
    });
    const auto end = meter.waitFor(data.size(), kDownloadLimit);
    terminal.send(terminal_sim::connectionStatus(kDownloadId, Proxy::PMT_CONNECTION_CONTROL,
                                                 terminal_sim::statusClosed, serial));
    // A service that neither reads nor closes would hold the send for ever.
    if (sender.wait_for(10s) != std::future_status::ready)
        kill(servicePid, SIGKILL);
    sender.wait();
    if (!end) {
        std::printf("  %-48s %zu of %zu B\n", "download did not complete, arrived", meter.bytes(), data.size());
        return false;
    }

    const double goodput = static_cast<double>(data.size()) / secondsBetween(start, *end);
    const size_t chunk = meter.largestChunk();
    const double cap = kChunksPerPause * static_cast<double>(chunk) / kPauseSeconds;
    std::printf("  %-48s %zu B in %zu-byte chunks\n", "download", data.size(), chunk);
    std::printf("  %-48s %.0f B/s\n", "download goodput", goodput);
    std::printf("  %-48s %.0f B/s\n", "cap: 6 chunks per 100 ms pause", cap);
    std::printf("  %-48s %.1f %%\n", "goodput / cap", 100.0 * goodput / cap);
    return true;
}

// socat relaying to a pty of its own, or nothing when it does not listen.
std::unique_ptr<SocatRelay> startRelay(bool forkPerConnection)
{
    try {
        return std::make_unique<SocatRelay>(kiv_bench::saleRequest().size(), kiv_bench::saleAnswer(),
                                            forkPerConnection);
    } catch (const std::exception& e) {
        std::printf("  %-48s %s\n", "socat not started", e.what());
        return nullptr;
    }
}

// The sales through socat; none tried when it did not start.
SaleTimes socatSales(const SocatRelay* relay, kiv_bench::Connections connections)
{
    SaleTimes sales;
    if (relay) {
        sales = kiv_bench::timeSales(relay->port(), connections);
        kiv_bench::printSales(sales);
    }
    return sales;
}

void compareSales(const SaleTimes& proxy, const SaleTimes& socat, const char* heading)
{
    if (proxy.milliseconds.empty() || socat.milliseconds.empty())
        return;
    std::printf("%s\n", heading);
    std::printf("  %-48s %.3f ms / %.3f ms\n", "sale median, kiv_proxy / socat", proxy.median(), socat.median());
    std::printf("  %-48s %.3f ms / %.3f ms\n", "sale 99th percentile, kiv_proxy / socat", proxy.percentile99(),
                socat.percentile99());
    std::printf("  %-48s %.2f\n", "ratio of medians (kiv_proxy / socat)", proxy.median() / socat.median());
    std::printf("  %-48s %.2f\n", "ratio of 99th percentiles (kiv_proxy / socat)",
                proxy.percentile99() / socat.percentile99());
}

void printIdleUse(const std::string& who, double used, double elapsed, const char* note)
{
    std::printf("  %-48s %.0f ms\n", (who + " processor time").c_str(), used * 1e3);
    std::printf("  %-48s %.3f %%%s\n", (who + " share of one core").c_str(), 100.0 * used / elapsed, note);
}

// Both over the same window: kiv_proxy with the terminal connected, socat
// listening with no connection.
bool measureIdle(RunningService& service, pid_t servicePid, const SocatRelay* relay, int seconds)
{
    std::this_thread::sleep_for(1s); // the last connections end first
    const unsigned answeredBefore = service.terminal().stats().keepAliveAnswers;
    const auto before = kiv_bench::processUsage(servicePid);
    const auto relayBefore = relay ? kiv_bench::processUsage(relay->pid()) : std::nullopt;
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const auto after = kiv_bench::processUsage(servicePid);
    const auto relayAfter = relay ? kiv_bench::processUsage(relay->pid()) : std::nullopt;
    const double elapsed = secondsBetween(start, Clock::now());
    std::printf("idle over %d s\n", seconds);
    std::printf("  %-48s %u\n", "kiv_proxy keep-alives answered",
                service.terminal().stats().keepAliveAnswers - answeredBefore);
    if (before && after) {
        printIdleUse("kiv_proxy", after->cpuSeconds - before->cpuSeconds, elapsed, " (goal < 0.5 %)");
        std::printf("  %-48s %ld KiB (%ld KiB at the start)\n", "kiv_proxy resident memory", after->rssKiB,
                    before->rssKiB);
    }
    if (relayBefore && relayAfter)
        printIdleUse("socat", relayAfter->cpuSeconds - relayBefore->cpuSeconds, elapsed, "");
    return before && after && relayBefore && relayAfter;
}

std::optional<Options> parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const int value = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--buffer-size") == 0 && value > 0)
            options.bufferSize = value;
        else if (std::strcmp(argv[i], "--idle-seconds") == 0 && value > 0)
            options.idleSeconds = value;
        else
            return std::nullopt;
    }
    if (argc % 2 == 0)
        return std::nullopt;
    return options;
}

} // namespace

int main(int argc, char** argv)
{
    const auto options = parse(argc, argv);
    if (!options) {
        std::fprintf(stderr, "usage: %s [--buffer-size BYTES] [--idle-seconds N]\n", argv[0]);
        return 2;
    }

    auto terminalOptions = RunningService::quietTerminal();
    terminalOptions.keepAliveInterval = 5s; // as a real terminal
    DownloadMeter meter(kDownloadId);
    RunningService service(terminalOptions);
    kiv_bench::answerSalesAtOnce(service.terminal());
    service.terminal().addMessageHandler(meter.handler());

    std::map<std::string, std::string> settings = {{"LogLevel", "2"}}; // info, the service's own default
    if (options->bufferSize)
        settings["BufferSize"] = std::to_string(*options->bufferSize);
    const pid_t servicePid = kiv_bench::startService(service, settings) ? service.pid() : -1;
    if (servicePid < 0) {
        std::fprintf(stderr, "kiv_proxy did not start\n%s", service.log().c_str());
        return 1;
    }

    std::printf("kiv_proxy end to end, terminal simulator answering at once\n");
    const SaleTimes proxySales = measureSales(service);
    bool complete = proxySales.complete();
    complete = measureDownload(service, meter, servicePid) && complete;

    // After kiv_proxy's measurements, so that neither disturbs the other's.
    std::printf("socat relaying a TCP port to a pty, its far end answering at once\n");
    const auto relay = startRelay(true);
    const SaleTimes relaySales = socatSales(relay.get(), kiv_bench::Connections::PerSale);
    const SaleTimes exchanges = socatSales(startRelay(false).get(), kiv_bench::Connections::OneForAll);
    complete = relaySales.complete() && exchanges.complete() && complete;
    compareSales(proxySales, relaySales, "kiv_proxy against socat, a connection per sale for both");
    compareSales(proxySales, exchanges, "kiv_proxy against socat keeping one connection (the least a relay costs)");

    complete = measureIdle(service, servicePid, relay.get(), options->idleSeconds) && complete;
    return complete ? 0 : 1;
}
