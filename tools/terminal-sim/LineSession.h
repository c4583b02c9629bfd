#pragma once

#include "tools/terminal-sim/TerminalWire.h"
#include "tools/terminal-sim/WireDecoder.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <utility>

namespace terminal_sim {

enum class LineProtocol {
    Confirmed, // frames confirmed with FE 06, one outstanding at a time
    NonBtp,    // packets acknowledged with FE FC and their identifier
};

struct LineStats {
    unsigned messagesReceived = 0;   // good frames and packets handed on
    unsigned refused = 0;            // good ones refused on purpose
    unsigned badReceived = 0;        // bad length, check or body time-out
    unsigned rejectionsReceived = 0; // FE 15 (or other FE xx) from the service
    unsigned repeatsSent = 0;
    unsigned sendsFailed = 0;
};

// The terminal's protocol engine without any I/O: bytes from the line go in,
// bytes for the line and received messages come out, time is passed in.
class LineSession {
public:
    using Clock = std::chrono::steady_clock;
    using Completion = std::function<void(bool acknowledged)>;
    using Delivery = std::function<void(Bytes message)>;

    static constexpr std::chrono::milliseconds frameConfirmationTimeout{3000};
    static constexpr int frameRepeatLimit = 20;
    static constexpr std::chrono::milliseconds packetAcknowledgementTimeout{2000};
    static constexpr int packetAttempts = 5;

    LineSession(LineProtocol protocol, Delivery deliver);

    // Sends one tunnel message; `done` learns whether the service took it.
    void submit(Bytes message, Completion done, Clock::time_point now);
    void onInput(const uint8_t* bytes, std::size_t n, Clock::time_point now);
    // Time-outs of sends and of unfinished input.
    void onTimer(Clock::time_point now);
    std::optional<Clock::time_point> nextDeadline() const;

    // When the first unwritten output falls due (it may be due already).
    std::optional<Clock::time_point> nextOutputTime() const;
    // The bytes to write now, if any are due; consumeOutput after writing.
    std::optional<std::pair<const uint8_t*, std::size_t>> outputDue(Clock::time_point now) const;
    void consumeOutput(std::size_t n);

    void refuseNext(unsigned count) { _refuse = count; }
    void withholdNext(unsigned count) { _withhold = count; }
    void corruptNextCheck() { _corrupt = true; }
    void setDelay(std::chrono::milliseconds delay) { _delay = delay; }
    // A silent terminal writes nothing at all.
    void setSilent(bool silent) { _silent = silent; }

    // The line is gone: unfinished sends fail, unread input and unwritten
    // output are dropped.
    void reset();

    const LineStats& stats() const { return _stats; }

private:
    struct Outgoing {
        Bytes message;
        Completion done;
        Clock::time_point deadline;
        int repeats = 0;
    };
    struct Output {
        Clock::time_point due;
        Bytes bytes;
    };

    void _handle(WireEvent event, Clock::time_point now);
    void _receive(Bytes message, const Bytes& answer, bool frame, Clock::time_point now);
    void _write(Bytes bytes, Clock::time_point now);
    void _transmitFrame(Clock::time_point now);
    void _transmitPacket(Outgoing outgoing, Clock::time_point now);
    void _finishFrame(bool acknowledged, Clock::time_point now);
    Bytes _maybeCorrupted(Bytes encoded);
    PacketId _newPacketId();

    LineProtocol _protocol;
    Delivery _deliver;
    WireDecoder _decoder;

    std::deque<Outgoing> _frames; // the front one is on the line
    std::map<PacketId, Outgoing> _packets;
    uint64_t _nextPacketId;

    std::deque<Output> _output;
    std::size_t _written = 0; // of the front output

    unsigned _refuse = 0;
    unsigned _withhold = 0;
    bool _corrupt = false;
    std::chrono::milliseconds _delay{0};
    bool _silent = false;

    LineStats _stats;
};

} // namespace terminal_sim
