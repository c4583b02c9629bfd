#include "bench/DownloadMeter.h"

#include <algorithm>

namespace kiv_bench {

DownloadMeter::DownloadMeter(uint64_t connectionId) : _id(connectionId) {}

terminal_sim::TerminalSimulator::MessageHandler DownloadMeter::handler()
{
    return [id = _id, state = _state](const terminal_sim::TunnelMessage& message) {
        if (message.connectionId != id)
            return false;
        const auto data = message.connectionData();
        if (!data)
            return false;
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            state->bytes += data->size();
            state->largest = std::max(state->largest, data->size());
            state->last = Clock::now();
        }
        state->arrived.notify_all();
        return true;
    };
}

std::optional<DownloadMeter::Clock::time_point> DownloadMeter::waitFor(size_t total, std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(_state->mutex);
    if (!_state->arrived.wait_for(lock, limit, [&] { return _state->bytes >= total; }))
        return std::nullopt;
    return _state->last;
}

size_t DownloadMeter::bytes() const
{
    std::lock_guard<std::mutex> lock(_state->mutex);
    return _state->bytes;
}

size_t DownloadMeter::largestChunk() const
{
    std::lock_guard<std::mutex> lock(_state->mutex);
    return _state->largest;
}

} // namespace kiv_bench
