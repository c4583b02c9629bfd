#pragma once

// Counts what one host connection brings to the terminal, as it arrives.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "tools/terminal-sim/TerminalSimulator.h"

namespace kiv_bench {

class DownloadMeter {
public:
    using Clock = std::chrono::steady_clock;

    explicit DownloadMeter(uint64_t connectionId);

    // Consumes the connection's data messages on the simulator's thread.
    terminal_sim::TerminalSimulator::MessageHandler handler();

    // When byte number `total` arrived; nothing if it did not within `limit`.
    std::optional<Clock::time_point> waitFor(size_t total, std::chrono::milliseconds limit);
    size_t bytes() const;
    // The largest data message: the service's chunk size.
    size_t largestChunk() const;

private:
    struct State {
        mutable std::mutex mutex;
        std::condition_variable arrived;
        size_t bytes = 0;
        size_t largest = 0;
        Clock::time_point last;
    };

    const uint64_t _id;
    // Shared with the handler, which the simulator may keep longer.
    const std::shared_ptr<State> _state = std::make_shared<State>();
};

} // namespace kiv_bench
