// The real kiv_proxy against the terminal simulator, which answers at once:
// time of a sale on the cashier port, goodput of a host connection relaying
// a download to the terminal, and processor time and memory of the idle
// service with the terminal connected.

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/DownloadMeter.h"
#include "bench/ProcessUsage.h"
#include "bench/SaleAnswer.h"
#include "tests/service/RunningService.h"
#include "tests/support/LoopbackClient.h"
#include "tests/support/LoopbackServer.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using kiv_bench::DownloadMeter;
using kiv_test::RunningService;

namespace {

// Other runs of the service hold its lock for a while; this waits them out.
constexpr int kStartAttempts = 12;
constexpr auto kStartRetryPause = 10s;
constexpr int kSales = 500;
// As between two customers: the service has ended the operation before.
constexpr auto kBetweenSales = 20ms;
constexpr auto kSalesLimit = 120s;
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

std::string saleRequest()
{
    const std::string body = R"({"request": {"operation": "sale", "currency": "643", "amount": "12500",)"
                             R"( "uid": "6f1c2b7e-0d4a-4e38-9a51-3c2f8e7b6d10", "receiptWidth": 32}})";
    return "POST /api/1/ecr/transaction HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
           "Accept: application/json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Milliseconds from connecting to the whole answer, as the point of sale
// sees it; nothing when the sale failed.
std::optional<double> timeOneSale(int port, const std::string& request)
{
    try {
        const auto start = Clock::now();
        LoopbackClient pos(port);
        pos.send(request);
        const auto answer = pos.receive(kiv_bench::saleAnswer().size(), 10s);
        const auto end = Clock::now();
        if (answer != kiv_bench::saleAnswer())
            return std::nullopt;
        return secondsBetween(start, end) * 1e3;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// Nearest rank of the sorted samples.
double percentile(const std::vector<double>& sorted, double fraction)
{
    const auto rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::max<size_t>(rank, 1) - 1];
}

bool measureSales(RunningService& service)
{
    const std::string request = saleRequest();
    std::vector<double> times;
    const auto deadline = Clock::now() + kSalesLimit;
    int tried = 0;
    for (; tried < kSales && Clock::now() < deadline; ++tried) {
        if (const auto time = timeOneSale(service.cashierPort(), request))
            times.push_back(*time);
        std::this_thread::sleep_for(kBetweenSales);
    }
    const std::string sales = std::to_string(times.size()) + " of " + std::to_string(tried) + " answered";
    std::printf("  %-48s %s\n", "sales (one connection each)", sales.c_str());
    std::printf("  %-48s %zu B / %zu B\n", "request / answer", request.size(), kiv_bench::saleAnswer().size());
    if (times.empty())
        return false;
    std::sort(times.begin(), times.end());
    std::printf("  %-48s %.3f ms\n", "sale, fastest", times.front());
    std::printf("  %-48s %.3f ms\n", "sale, median", percentile(times, 0.5));
    std::printf("  %-48s %.3f ms\n", "sale, 99th percentile", percentile(times, 0.99));
    std::printf("  %-48s %.3f ms\n", "sale, slowest", times.back());
    std::printf("  %-48s %zu\n", "sales that waited for the one before",
                service.logCount("[Event client] Last operation in process, start waiting"));
    return static_cast<int>(times.size()) == kSales;
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

bool measureIdle(RunningService& service, pid_t servicePid, int seconds)
{
    std::this_thread::sleep_for(1s); // the download's thread ends first
    const unsigned answeredBefore = service.terminal().stats().keepAliveAnswers;
    const auto before = kiv_bench::processUsage(servicePid);
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const auto after = kiv_bench::processUsage(servicePid);
    const double elapsed = secondsBetween(start, Clock::now());
    if (!before || !after)
        return false;
    const double used = after->cpuSeconds - before->cpuSeconds;
    const std::string over = "idle over " + std::to_string(seconds) + " s: ";
    std::printf("  %-48s %u\n", (over + "keep-alives answered").c_str(),
                service.terminal().stats().keepAliveAnswers - answeredBefore);
    std::printf("  %-48s %.0f ms\n", (over + "processor time").c_str(), used * 1e3);
    std::printf("  %-48s %.3f %% (goal < 0.5 %%)\n", (over + "share of one core").c_str(), 100.0 * used / elapsed);
    std::printf("  %-48s %ld KiB (%ld KiB at the start)\n", (over + "resident memory").c_str(), after->rssKiB,
                before->rssKiB);
    return true;
}

bool startService(RunningService& service, const std::map<std::string, std::string>& settings)
{
    for (int attempt = 1; attempt <= kStartAttempts; ++attempt) {
        if (service.start(settings))
            return true;
        if (!service.waitExit(0ms))
            return false; // running but not reading the terminal: no lock held elsewhere
        std::fprintf(stderr, "kiv_proxy ended at start (attempt %d of %d), maybe another one runs; waiting\n", attempt,
                     kStartAttempts);
        std::this_thread::sleep_for(kStartRetryPause);
    }
    return false;
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
    const pid_t servicePid = startService(service, settings) ? service.pid() : -1;
    if (servicePid < 0) {
        std::fprintf(stderr, "kiv_proxy did not start\n%s", service.log().c_str());
        return 1;
    }

    std::printf("kiv_proxy end to end, terminal simulator answering at once\n");
    bool complete = measureSales(service);
    complete = measureDownload(service, meter, servicePid) && complete;
    complete = measureIdle(service, servicePid, options->idleSeconds) && complete;
    return complete ? 0 : 1;
}
