#pragma once

#include "tools/terminal-sim/ProcessingProtocol.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace terminal_sim {

// Plays the terminal's processing host on 127.0.0.1: answers every
// authorisation request line on every connection (see ProcessingProtocol.h),
// approving all of them. One thread polls the listener and the connections.
class ProcessingHost {
public:
    using Log = std::function<void(const std::string&)>;

    static constexpr std::size_t maxConnections = 32;

    // Port 0 takes a free one; std::system_error when it cannot listen.
    explicit ProcessingHost(uint16_t port, Log log = {});
    ~ProcessingHost();
    ProcessingHost(const ProcessingHost&) = delete;
    ProcessingHost& operator=(const ProcessingHost&) = delete;

    uint16_t port() const { return _port; }
    unsigned requestsAnswered() const { return _answered; }

private:
    struct Connection {
        int fd;
        std::string pending; // an unfinished line
    };

    void _run();
    void _accept();
    // False when the connection is to be closed.
    bool _serve(Connection& connection);
    void _log(const std::string& line) const;

    Log _logLine;
    int _listenFd = -1;
    int _wakeFd = -1;
    uint16_t _port = 0;
    std::thread _thread;

    // Owned by the thread.
    std::vector<Connection> _connections;
    Approver _approver;

    std::atomic<unsigned> _answered{0};
};

} // namespace terminal_sim
