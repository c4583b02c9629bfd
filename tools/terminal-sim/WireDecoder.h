#pragma once

#include "tools/terminal-sim/TerminalWire.h"

#include <chrono>
#include <optional>
#include <vector>

namespace terminal_sim {

struct WireEvent {
    enum class Kind {
        Frame,           // a good frame: message
        BadFrame,        // bad length, check or body time-out: to be refused
        Packet,          // a good packet: id and message
        BadPacket,       // bad length or check: dropped without an answer
        Acknowledgement, // FE FC: id
        Accepted,        // FE 06
        Rejected,        // FE 15 or any other FE xx
    };
    Kind kind;
    Bytes message;
    PacketId id{};
};

// Splits what the service writes into frames, packets and control bytes,
// whatever the chunks the bytes arrive in.
class WireDecoder {
public:
    using Clock = std::chrono::steady_clock;
    // Input that stops in the middle of an item is given up after this.
    static constexpr std::chrono::milliseconds partialTimeout{500};

    std::vector<WireEvent> feed(const uint8_t* bytes, std::size_t n, Clock::time_point now);
    // When the unfinished item at hand is given up, if there is one.
    std::optional<Clock::time_point> deadline() const;
    // Gives up an unfinished item once its deadline has passed: a frame is
    // reported as BadFrame, a partial packet or control item vanishes.
    std::vector<WireEvent> expire(Clock::time_point now);
    void reset() { _pending.clear(); }

private:
    // One complete item from the front of the input, or nothing yet.
    std::optional<WireEvent> _next();
    void _consume(std::size_t n);

    Bytes _pending;
    Clock::time_point _lastInput;
};

} // namespace terminal_sim
