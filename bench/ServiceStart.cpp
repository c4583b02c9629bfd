#include "bench/ServiceStart.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace kiv_bench {

namespace {

constexpr int kStartAttempts = 12;
constexpr auto kStartRetryPause = std::chrono::seconds(10);

} // namespace

bool startService(kiv_test::RunningService& service, const std::map<std::string, std::string>& settings)
{
    for (int attempt = 1; attempt <= kStartAttempts; ++attempt) {
        if (service.start(settings))
            return true;
        if (!service.waitExit(std::chrono::milliseconds(0)))
            return false; // running but not reading the terminal: no lock held elsewhere
        std::fprintf(stderr, "kiv_proxy ended at start (attempt %d of %d), maybe another one runs; waiting\n", attempt,
                     kStartAttempts);
        std::this_thread::sleep_for(kStartRetryPause);
    }
    return false;
}

} // namespace kiv_bench
