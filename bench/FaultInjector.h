#pragma once

// Line faults for the terminal simulator, one every few seconds at random,
// and an unplug with a plug-in again every 20 seconds, on a thread of its own.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "tools/terminal-sim/TerminalSimulator.h"

namespace kiv_bench {

class FaultInjector {
public:
    FaultInjector(terminal_sim::TerminalSimulator& terminal, uint32_t seed);
    ~FaultInjector();
    FaultInjector(const FaultInjector&) = delete;
    FaultInjector& operator=(const FaultInjector&) = delete;

    void start();
    // Ends the faults and leaves the terminal plugged in and well.
    void stop();

    // How often each fault was injected, by name; after stop().
    const std::map<std::string, unsigned>& injected() const { return _injected; }

private:
    void _run();
    void _injectOne();
    void _unplugForAWhile();
    // False when stop() came first.
    bool _wait(std::chrono::milliseconds period);
    std::chrono::milliseconds _between(int fromMs, int toMs);

    terminal_sim::TerminalSimulator& _terminal;
    std::mt19937 _random;
    std::map<std::string, unsigned> _injected;

    std::mutex _mutex;
    std::condition_variable _stopSignal;
    bool _stopping = false;
    std::thread _thread;
};

} // namespace kiv_bench
