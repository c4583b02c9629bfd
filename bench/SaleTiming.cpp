#include "bench/SaleTiming.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <thread>

#include "bench/SaleAnswer.h"
#include "tests/support/LoopbackClient.h"

namespace kiv_bench {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kSales = 500;
// As between two customers: the relay has ended the operation before.
constexpr auto kBetweenSales = 20ms;
constexpr auto kSalesLimit = 120s;

// Milliseconds from the request to the whole answer; nothing when the sale
// failed.
std::optional<double> exchange(LoopbackClient& pos, Clock::time_point start)
{
    pos.send(saleRequest());
    const auto answer = pos.receive(saleAnswer().size(), 10s);
    const auto end = Clock::now();
    if (answer != saleAnswer())
        return std::nullopt;
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// From connecting on, as the point of sale sees it.
std::optional<double> timeOneSale(int port, std::optional<LoopbackClient>& kept)
{
    try {
        if (kept)
            return exchange(*kept, Clock::now());
        const auto start = Clock::now();
        LoopbackClient pos(port);
        return exchange(pos, start);
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

} // namespace

const std::string& saleRequest()
{
    static const std::string request = saleRequest("12500", "6f1c2b7e-0d4a-4e38-9a51-3c2f8e7b6d10");
    return request;
}

bool SaleTimes::complete() const { return static_cast<int>(milliseconds.size()) == kSales; }

double SaleTimes::median() const { return percentile(milliseconds, 0.5); }

double SaleTimes::percentile99() const { return percentile(milliseconds, 0.99); }

SaleTimes timeSales(int port, Connections connections)
{
    SaleTimes sales;
    sales.connections = connections;
    std::optional<LoopbackClient> kept;
    if (connections == Connections::OneForAll)
        kept.emplace(port);
    const auto deadline = Clock::now() + kSalesLimit;
    for (; sales.tried < kSales && Clock::now() < deadline; ++sales.tried) {
        if (const auto time = timeOneSale(port, kept))
            sales.milliseconds.push_back(*time);
        std::this_thread::sleep_for(kBetweenSales);
    }
    std::sort(sales.milliseconds.begin(), sales.milliseconds.end());
    return sales;
}

void printSales(const SaleTimes& sales)
{
    const auto& times = sales.milliseconds;
    const std::string answered = std::to_string(times.size()) + " of " + std::to_string(sales.tried) + " answered";
    const bool perSale = sales.connections == Connections::PerSale;
    std::printf("  %-48s %s\n", perSale ? "sales (one connection each)" : "sales (one connection for all)",
                answered.c_str());
    std::printf("  %-48s %zu B / %zu B\n", "request / answer", saleRequest().size(), saleAnswer().size());
    if (times.empty())
        return;
    std::printf("  %-48s %.3f ms\n", "sale, fastest", times.front());
    std::printf("  %-48s %.3f ms\n", "sale, median", sales.median());
    std::printf("  %-48s %.3f ms\n", "sale, 99th percentile", sales.percentile99());
    std::printf("  %-48s %.3f ms\n", "sale, slowest", times.back());
}

} // namespace kiv_bench
