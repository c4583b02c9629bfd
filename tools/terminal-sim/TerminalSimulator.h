#pragma once

#include "tools/terminal-sim/LineSession.h"
#include "tools/terminal-sim/TerminalMessages.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace terminal_sim {

class PseudoTerminal;

struct SimulatorOptions {
    LineProtocol protocol = LineProtocol::NonBtp;
    // Also make this path a symbolic link to the slave (for example /dev/ttyACM7).
    std::string linkPath;
    // Zero: no keep-alives of its own.
    std::chrono::milliseconds keepAliveInterval{5000};
    // Asked for in every keep-alive as {"confirmation_timeout": N}.
    std::optional<int> confirmationTimeout;
    // Progress lines; none when empty.
    std::function<void(const std::string&)> log;
    // Named in every command the terminal sends.
    std::string serialNumber = "SIM00001";
};

struct SimulatorStats {
    LineStats line;
    unsigned probes = 0; // empty PMT_EVENT_ACCESS from the service
    unsigned keepAlivesSent = 0;
    unsigned keepAliveAnswers = 0;    // the proxy information, as expected
    unsigned badKeepAliveAnswers = 0; // anything else
};

// Plays the payment terminal on a pseudo-terminal. One thread runs the line:
// it polls the master, answers frames and packets, repeats its own sends and
// sends keep-alives. Every public call may come from any other thread.
class TerminalSimulator {
public:
    // Sees each received message on the simulator's thread before it is
    // queued; returns true to consume it. Must not block: answers go out
    // through sendAsync or sendInOrderAsync, waits through schedule.
    using MessageHandler = std::function<bool(const TunnelMessage&)>;

    explicit TerminalSimulator(SimulatorOptions options);
    ~TerminalSimulator();
    TerminalSimulator(const TerminalSimulator&) = delete;
    TerminalSimulator& operator=(const TerminalSimulator&) = delete;

    // Before start().
    void addMessageHandler(MessageHandler handler);

    // Opens the line and starts the thread; std::system_error when the
    // pseudo-terminal or the link cannot be made.
    void start();
    // Stops the thread and removes the line and the link.
    void stop();
    // The device the service opens; empty while unplugged.
    std::string slavePath() const;

    // True once the service confirmed or acknowledged the message; false when
    // it refused it for good, never answered, or the line is gone.
    std::future<bool> sendAsync(Bytes message);
    bool send(const Bytes& message);
    // Each message once the service took the one before; true when it took
    // them all. Stops at the first one it does not take.
    std::future<bool> sendInOrderAsync(std::vector<Bytes> messages);
    // On the simulator's thread only (from a handler or a scheduled action):
    // sends one message; `done` runs on this thread too.
    void sendFromThread(Bytes message, LineSession::Completion done);
    // A keep-alive now; its answer is checked against the time-out asked for.
    bool sendKeepAlive(std::optional<int> confirmationTimeout);

    // The oldest received message (that no handler consumed), or nothing
    // after the time-out.
    std::optional<TunnelMessage> waitMessage(std::chrono::milliseconds timeout);
    // The oldest one that matches; the others stay queued.
    std::optional<TunnelMessage> waitMessage(const std::function<bool(const TunnelMessage&)>& match,
                                             std::chrono::milliseconds timeout);

    // Fault switches; each is in force when the call returns.
    void refuseNextFrames(unsigned count);
    void withholdAcknowledgements(unsigned count);
    void corruptNextCheck();
    void setAnswerDelay(std::chrono::milliseconds delay);
    void setSilent(bool silent);
    // Closes the terminal's side (the service sees the device vanish) and
    // removes the link; plugIn opens a new pair and links it again.
    void unplug();
    void plugIn();

    // Runs `action` on the simulator's thread once `delay` has passed; never
    // when the simulator stops first.
    void schedule(std::chrono::milliseconds delay, std::function<void()> action);

    SimulatorStats stats() const;
    const SimulatorOptions& options() const { return _options; }
    // A progress line in the simulator's log.
    void log(const std::string& line) const;

private:
    using Clock = LineSession::Clock;

    void _run();
    void _iterate();
    // Runs `action` on the simulator's thread (at once when it does not run)
    // and waits for it; its exceptions reach the caller.
    void _call(std::function<void()> action);
    std::future<bool> _submitAsync(std::function<void(LineSession::Completion)> submit);
    static bool _outcome(std::future<bool> result);
    // Under the commands lock, while the thread runs.
    void _wake();

    // On the simulator's thread:
    void _submit(Bytes message, LineSession::Completion done);
    void _submitInOrder(std::shared_ptr<std::deque<Bytes>> messages, LineSession::Completion done);
    void _runDueTimers(Clock::time_point now);
    void _sendKeepAlive(std::optional<int> confirmationTimeout, LineSession::Completion done);
    void _deliver(Bytes bytes);
    void _checkKeepAliveAnswer(const TunnelMessage& message);
    void _readLine(Clock::time_point now);
    void _writeLine(Clock::time_point now);
    void _plugIn();
    void _unplug(const std::string& why);

    const SimulatorOptions _options;
    std::vector<MessageHandler> _handlers;

    // Owned by the simulator's thread while it runs.
    LineSession _session;
    std::unique_ptr<PseudoTerminal> _line;
    bool _lineBlocked = false; // the last write would have blocked
    std::optional<int> _expectedTimeout;
    bool _keepAliveOutstanding = false;
    Clock::time_point _nextKeepAlive;
    bool _stopping = false;
    std::multimap<Clock::time_point, std::function<void()>> _timers;

    int _wakeFd = -1;
    std::thread _thread;

    mutable std::mutex _commandsMutex;
    std::deque<std::function<void()>> _commands;
    bool _running = false;

    mutable std::mutex _inboxMutex;
    std::condition_variable _inboxSignal;
    std::deque<TunnelMessage> _inbox;

    mutable std::mutex _statusMutex;
    std::string _slavePath;
    SimulatorStats _stats;
};

} // namespace terminal_sim
