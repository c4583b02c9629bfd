#pragma once

// The service's end of the simulator's line, driven byte by byte by a test.

#include "tools/terminal-sim/TerminalWire.h"

#include <chrono>
#include <string>

class ServiceEnd {
public:
    explicit ServiceEnd(const std::string& device);
    ~ServiceEnd();
    ServiceEnd(const ServiceEnd&) = delete;
    ServiceEnd& operator=(const ServiceEnd&) = delete;

    void write(const terminal_sim::Bytes& bytes);
    // Exactly n bytes, or fewer when the time-out ends the wait.
    terminal_sim::Bytes read(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // What has arrived, at least one byte, or nothing after the time-out.
    terminal_sim::Bytes readSome(std::chrono::milliseconds timeout);
    // True when no byte arrives for the whole period.
    bool silentFor(std::chrono::milliseconds period);

private:
    int _fd = -1;
};
