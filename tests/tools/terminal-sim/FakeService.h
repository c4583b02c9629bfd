#pragma once

// The service's end of the simulator's line, speaking NonBTP packets: what a
// test sends is one packet, and every packet from the terminal is acknowledged.

#include "ServiceEnd.h"

#include "tools/terminal-sim/TerminalMessages.h"
#include "tools/terminal-sim/WireDecoder.h"

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>

class FakeService {
public:
    using Match = std::function<bool(const terminal_sim::TunnelMessage&)>;

    explicit FakeService(const std::string& device) : _end(device) {}

    void send(const terminal_sim::Bytes& message);
    // The oldest message from the terminal that matches; those that do not
    // stay for later calls. Nothing after the time-out.
    std::optional<terminal_sim::TunnelMessage> receive(const Match& match,
                                                       std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // An HTTP message gathered from the data of the terminal's messages that
    // match, up to the end of its Content-Length body; empty after the time-out.
    std::string receiveHttp(const Match& match, std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    ServiceEnd _end;
    terminal_sim::WireDecoder _decoder;
    std::deque<terminal_sim::TunnelMessage> _received;
    uint64_t _nextPacket = 1;
};

// Matches messages of one type, and of one connection when `id` is given.
FakeService::Match ofType(uint16_t type, std::optional<uint64_t> id = std::nullopt);
