#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tools/terminal-sim/TerminalSimulator.h"

namespace kiv_test {

// The real kiv_proxy with its own configuration and logs, talking to the
// terminal simulator linked at a /dev/ttyACM name.
class RunningService {
public:
    static constexpr const char* kDeviceName = "ttyACM77";

    explicit RunningService(terminal_sim::SimulatorOptions terminal = quietTerminal());
    ~RunningService();

    static terminal_sim::SimulatorOptions quietTerminal();

    // Starts the terminal, writes the configuration (`settings` replace the
    // test's defaults) and starts the service; true once it reads from the
    // terminal. Handlers and applications join the terminal before this.
    bool start(const std::map<std::string, std::string>& settings = {});

    terminal_sim::TerminalSimulator& terminal() { return *_terminal; }
    int cashierPort() const { return _cashierPort; }
    int listenerPort() const { return _listenerPort; }
    int fileTransferPort() const { return _fileTransferPort; }
    int relayPort() const { return _relayPort; }
    std::string logsDir() const { return _dir.path() + "/logs"; }

    // The service's process id; -1 before start().
    pid_t pid() const { return _service ? _service->pid() : -1; }
    // The service's exit status, when it ended within `limit`.
    std::optional<int> waitExit(std::chrono::milliseconds limit = 10s);

    const std::string& directory() const { return _dir.path(); }
    std::string log() const;
    size_t logCount(const std::string& text) const;
    // Waits until `text` appears in the log at least `atLeast` times.
    bool waitLog(const std::string& text, size_t atLeast = 1, std::chrono::milliseconds limit = 15s) const;

    // The next message of `type` (and `id` when given) from the service.
    std::optional<terminal_sim::TunnelMessage> waitMessage(uint16_t type, std::optional<uint64_t> id = std::nullopt,
                                                           std::chrono::milliseconds limit = 10s);

private:
    TempDir _dir;
    std::unique_ptr<terminal_sim::TerminalSimulator> _terminal;
    std::unique_ptr<ChildProcess> _service;
    int _cashierPort, _listenerPort, _fileTransferPort, _relayPort;
};

// A host connection that the terminal opens through the service to
// 127.0.0.1:port, with the bytes it carries in both directions.
class TerminalConnection {
public:
    // Throws when the service does not report the connection open.
    TerminalConnection(RunningService& service, uint64_t id, int port);

    // As numbered data messages; true when the service took them all.
    bool send(const terminal_sim::Bytes& bytes);
    // Up to `n` bytes from the far end: fewer when it closes or `limit` passes.
    terminal_sim::Bytes receive(size_t n, std::chrono::milliseconds limit = 10s);
    terminal_sim::Bytes receiveUntilClosed(std::chrono::milliseconds limit = 10s) { return receive(SIZE_MAX, limit); }
    // Whether the service has announced the far end's close.
    bool closed() const { return _closed; }

private:
    RunningService& _service;
    const uint64_t _id;
    uint32_t _nextPacket = 0;
    bool _closed = false;
    terminal_sim::Bytes _unread; // received beyond what was asked for
};

// A port nobody listens on right now.
int freePort();

} // namespace kiv_test
