#pragma once

#include "tools/terminal-sim/HttpFraming.h"
#include "tools/terminal-sim/TerminalSimulator.h"

#include <cstdint>
#include <functional>
#include <map>

namespace terminal_sim {

// The terminal's end of the connections that local programs open through the
// service's tunnel listener: it takes each one, answers the HTTP request it
// carries (the point-of-sale side's "canceloperation") and closes it.
// Runs on the simulator's thread.
class ListenerPeer {
public:
    // Before the simulator starts; `cancel` runs on the simulator's thread
    // for every cancel request.
    ListenerPeer(TerminalSimulator& simulator, std::function<void()> cancel);
    // Stops the simulator, whose thread calls into this object.
    ~ListenerPeer();
    ListenerPeer(const ListenerPeer&) = delete;
    ListenerPeer& operator=(const ListenerPeer&) = delete;

private:
    bool _handle(const TunnelMessage& message);
    void _accept(uint64_t id);
    void _onData(uint64_t id, const Bytes& bytes);
    // Sends the answer, then closes the connection.
    void _answer(uint64_t id, const Bytes& http);

    TerminalSimulator& _simulator;
    const std::function<void()> _cancel;
    // On the simulator's thread: the connections taken, each with its request so far.
    std::map<uint64_t, HttpRequestReader> _connections;
};

} // namespace terminal_sim
