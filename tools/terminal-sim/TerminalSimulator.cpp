#include "tools/terminal-sim/TerminalSimulator.h"

#include "tools/terminal-sim/PseudoTerminal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace terminal_sim {

namespace {

// Longer than any send can take: 5 packets x 2 s, or 3 s for a frame.
constexpr std::chrono::seconds sendBound{30};
constexpr std::chrono::seconds callBound{5};

// The service takes a requested time-out only from 101 to 9999 ms;
// otherwise it keeps its configured one, which the terminal cannot know.
std::optional<int> announcedTimeout(std::optional<int> requested)
{
    if (requested && *requested >= 101 && *requested <= 9999)
        return requested;
    return std::nullopt;
}

int pollTimeout(std::optional<std::chrono::steady_clock::time_point> deadline)
{
    if (!deadline)
        return -1;
    const auto left = *deadline - std::chrono::steady_clock::now();
    // Round up, so the wait never ends just before the deadline.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::max<decltype(ms)>(0, ms));
}

} // namespace

TerminalSimulator::TerminalSimulator(SimulatorOptions options)
    : _options(std::move(options)),
      _session(_options.protocol, [this](Bytes bytes) { _deliver(std::move(bytes)); }),
      _expectedTimeout(announcedTimeout(_options.confirmationTimeout))
{
}

TerminalSimulator::~TerminalSimulator()
{
    stop();
}

void TerminalSimulator::addMessageHandler(MessageHandler handler)
{
    _handlers.push_back(std::move(handler));
}

void TerminalSimulator::start()
{
    std::lock_guard<std::mutex> lock(_commandsMutex);
    if (_running)
        return;
    _wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (_wakeFd < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
    try {
        _plugIn();
    } catch (...) {
        ::close(_wakeFd);
        _wakeFd = -1;
        throw;
    }
    _stopping = false;
    _nextKeepAlive = Clock::now() + _options.keepAliveInterval;
    _running = true;
    _thread = std::thread(&TerminalSimulator::_run, this);
}

void TerminalSimulator::stop()
{
    {
        std::lock_guard<std::mutex> lock(_commandsMutex);
        if (!_running)
            return;
        _commands.push_back([this] { _stopping = true; });
        _wake();
    }
    _thread.join();

    std::deque<std::function<void()>> dropped; // their callers see a broken promise
    {
        std::lock_guard<std::mutex> lock(_commandsMutex);
        _running = false;
        dropped.swap(_commands);
        ::close(_wakeFd);
        _wakeFd = -1;
    }
    dropped.clear();
    _timers.clear();
    _unplug("simulator stopped");
}

std::string TerminalSimulator::slavePath() const
{
    std::lock_guard<std::mutex> lock(_statusMutex);
    return _slavePath;
}

std::future<bool> TerminalSimulator::sendAsync(Bytes message)
{
    return _submitAsync([this, message = std::move(message)](LineSession::Completion done) mutable {
        _submit(std::move(message), std::move(done));
    });
}

bool TerminalSimulator::send(const Bytes& message)
{
    return _outcome(sendAsync(message));
}

std::future<bool> TerminalSimulator::sendInOrderAsync(std::vector<Bytes> messages)
{
    auto queue = std::make_shared<std::deque<Bytes>>(std::make_move_iterator(messages.begin()),
                                                     std::make_move_iterator(messages.end()));
    return _submitAsync([this, queue](LineSession::Completion done) { _submitInOrder(queue, std::move(done)); });
}

void TerminalSimulator::sendFromThread(Bytes message, LineSession::Completion done)
{
    _submit(std::move(message), std::move(done));
}

bool TerminalSimulator::sendKeepAlive(std::optional<int> confirmationTimeout)
{
    return _outcome(_submitAsync([this, confirmationTimeout](LineSession::Completion done) {
        _sendKeepAlive(confirmationTimeout, std::move(done));
    }));
}

std::optional<TunnelMessage> TerminalSimulator::waitMessage(std::chrono::milliseconds timeout)
{
    return waitMessage([](const TunnelMessage&) { return true; }, timeout);
}

std::optional<TunnelMessage> TerminalSimulator::waitMessage(const std::function<bool(const TunnelMessage&)>& match,
                                                            std::chrono::milliseconds timeout)
{
    std::optional<TunnelMessage> found;
    std::unique_lock<std::mutex> lock(_inboxMutex);
    _inboxSignal.wait_for(lock, timeout, [&] {
        const auto it = std::find_if(_inbox.begin(), _inbox.end(), match);
        if (it == _inbox.end())
            return false;
        found = std::move(*it);
        _inbox.erase(it);
        return true;
    });
    return found;
}

void TerminalSimulator::refuseNextFrames(unsigned count)
{
    _call([this, count] { _session.refuseNext(count); });
}

void TerminalSimulator::withholdAcknowledgements(unsigned count)
{
    _call([this, count] { _session.withholdNext(count); });
}

void TerminalSimulator::corruptNextCheck()
{
    _call([this] { _session.corruptNextCheck(); });
}

void TerminalSimulator::setAnswerDelay(std::chrono::milliseconds delay)
{
    _call([this, delay] { _session.setDelay(delay); });
}

void TerminalSimulator::setSilent(bool silent)
{
    _call([this, silent] { _session.setSilent(silent); });
}

void TerminalSimulator::unplug()
{
    _call([this] { _unplug("unplugged"); });
}

void TerminalSimulator::plugIn()
{
    _call([this] { _plugIn(); });
}

void TerminalSimulator::schedule(std::chrono::milliseconds delay, std::function<void()> action)
{
    const Clock::time_point due = Clock::now() + delay;
    std::lock_guard<std::mutex> lock(_commandsMutex);
    if (!_running)
        return;
    _commands.push_back([this, due, action = std::move(action)]() mutable { _timers.emplace(due, std::move(action)); });
    _wake();
}

SimulatorStats TerminalSimulator::stats() const
{
    std::lock_guard<std::mutex> lock(_statusMutex);
    return _stats;
}

void TerminalSimulator::_run()
{
    while (!_stopping) {
        try {
            _iterate();
        } catch (const std::exception& e) {
            log(std::string("error: ") + e.what());
        }
    }
}

void TerminalSimulator::_iterate()
{
    std::deque<std::function<void()>> commands;
    {
        std::lock_guard<std::mutex> lock(_commandsMutex);
        commands.swap(_commands);
    }
    for (auto& command : commands)
        command();
    if (_stopping)
        return;

    const Clock::time_point now = Clock::now();
    _runDueTimers(now);
    _session.onTimer(now);
    const bool keepAlives = _line && _options.keepAliveInterval.count() > 0;
    if (keepAlives && now >= _nextKeepAlive) {
        _nextKeepAlive = now + _options.keepAliveInterval;
        if (!_keepAliveOutstanding)
            _sendKeepAlive(_options.confirmationTimeout, [](bool) {});
    }
    _writeLine(now);
    {
        std::lock_guard<std::mutex> lock(_statusMutex);
        _stats.line = _session.stats();
    }

    std::optional<Clock::time_point> deadline = _session.nextDeadline();
    const auto consider = [&deadline](Clock::time_point t) {
        if (!deadline || t < *deadline)
            deadline = t;
    };
    if (keepAlives)
        consider(_nextKeepAlive);
    if (!_timers.empty())
        consider(_timers.begin()->first);
    if (const auto output = _session.nextOutputTime(); output && !_lineBlocked)
        consider(*output);

    pollfd fds[2] = {{_wakeFd, POLLIN, 0}, {-1, 0, 0}};
    nfds_t count = 1;
    if (_line) {
        fds[1] = {_line->master(), static_cast<short>(POLLIN | (_lineBlocked ? POLLOUT : 0)), 0};
        count = 2;
    }
    if (poll(fds, count, pollTimeout(deadline)) < 0) {
        if (errno != EINTR)
            throw std::system_error(errno, std::generic_category(), "poll");
        return;
    }

    if (fds[0].revents & POLLIN) {
        uint64_t wakes;
        (void)!read(_wakeFd, &wakes, sizeof(wakes));
    }
    if (count == 2) {
        if (fds[1].revents & POLLOUT)
            _lineBlocked = false;
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR))
            _readLine(Clock::now());
    }
}

void TerminalSimulator::_call(std::function<void()> action)
{
    auto task = std::make_shared<std::packaged_task<void()>>(std::move(action));
    std::future<void> done = task->get_future();
    {
        std::lock_guard<std::mutex> lock(_commandsMutex);
        if (!_running || std::this_thread::get_id() == _thread.get_id()) {
            (*task)();
        } else {
            _commands.push_back([task] { (*task)(); });
            _wake();
        }
    }
    if (done.wait_for(callBound) != std::future_status::ready)
        throw std::runtime_error("terminal simulator does not respond");
    try {
        done.get();
    } catch (const std::future_error&) {
        // stopped before it ran
    }
}

std::future<bool> TerminalSimulator::_submitAsync(std::function<void(LineSession::Completion)> submit)
{
    auto promise = std::make_shared<std::promise<bool>>();
    std::future<bool> result = promise->get_future();
    std::lock_guard<std::mutex> lock(_commandsMutex);
    if (!_running) {
        promise->set_value(false);
        return result;
    }
    _commands.push_back([submit = std::move(submit), promise] {
        submit([promise](bool acknowledged) { promise->set_value(acknowledged); });
    });
    _wake();
    return result;
}

bool TerminalSimulator::_outcome(std::future<bool> result)
{
    if (result.wait_for(sendBound) != std::future_status::ready)
        return false;
    try {
        return result.get();
    } catch (const std::future_error&) {
        return false; // stopped before it was sent
    }
}

void TerminalSimulator::_wake()
{
    const uint64_t one = 1;
    (void)!write(_wakeFd, &one, sizeof(one));
}

void TerminalSimulator::_submit(Bytes message, LineSession::Completion done)
{
    if (!_line) {
        done(false);
        return;
    }
    _session.submit(std::move(message), std::move(done), Clock::now());
}

void TerminalSimulator::_submitInOrder(std::shared_ptr<std::deque<Bytes>> messages, LineSession::Completion done)
{
    if (messages->empty()) {
        done(true);
        return;
    }
    Bytes next = std::move(messages->front());
    messages->pop_front();
    _submit(std::move(next), [this, messages, done = std::move(done)](bool acknowledged) mutable {
        if (acknowledged)
            _submitInOrder(std::move(messages), std::move(done));
        else
            done(false); // the rest would arrive out of order
    });
}

void TerminalSimulator::_runDueTimers(Clock::time_point now)
{
    while (!_timers.empty() && _timers.begin()->first <= now) {
        std::function<void()> action = std::move(_timers.begin()->second);
        _timers.erase(_timers.begin());
        action();
    }
}

void TerminalSimulator::_sendKeepAlive(std::optional<int> confirmationTimeout, LineSession::Completion done)
{
    _expectedTimeout = announcedTimeout(confirmationTimeout);
    _keepAliveOutstanding = true;
    {
        std::lock_guard<std::mutex> lock(_statusMutex);
        ++_stats.keepAlivesSent;
    }
    _submit(keepAlive(confirmationTimeout), [this, done = std::move(done)](bool acknowledged) {
        _keepAliveOutstanding = false;
        if (!acknowledged && !_stopping)
            log("keep-alive not acknowledged");
        done(acknowledged);
    });
}

void TerminalSimulator::_deliver(Bytes bytes)
{
    std::optional<TunnelMessage> message = TunnelMessage::parse(bytes);
    if (!message) {
        log("dropped " + std::to_string(bytes.size()) + " bytes that hold no tunnel message");
        return;
    }
    if (message->type == Proxy::PMT_EVENT_ACCESS)
        _checkKeepAliveAnswer(*message);
    for (const MessageHandler& handler : _handlers)
        if (handler(*message))
            return;
    {
        std::lock_guard<std::mutex> lock(_inboxMutex);
        _inbox.push_back(std::move(*message));
    }
    _inboxSignal.notify_all();
}

void TerminalSimulator::_checkKeepAliveAnswer(const TunnelMessage& message)
{
    std::string fault;
    if (!message.payload.empty())
        fault = proxyInformationFault(message.payload, _expectedTimeout);
    {
        std::lock_guard<std::mutex> lock(_statusMutex);
        if (message.payload.empty())
            ++_stats.probes;
        else if (fault.empty())
            ++_stats.keepAliveAnswers;
        else
            ++_stats.badKeepAliveAnswers;
    }
    if (!fault.empty())
        log("keep-alive answer is wrong: " + fault);
}

void TerminalSimulator::_readLine(Clock::time_point now)
{
    uint8_t buffer[4096];
    while (_line) {
        const ssize_t n = read(_line->master(), buffer, sizeof(buffer));
        if (n > 0) {
            _session.onInput(buffer, static_cast<std::size_t>(n), now);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            return;
        } else {
            _unplug(std::string("line lost: ") + (n == 0 ? "end of file" : std::strerror(errno)));
            return;
        }
    }
}

void TerminalSimulator::_writeLine(Clock::time_point now)
{
    while (_line && !_lineBlocked) {
        const auto output = _session.outputDue(now);
        if (!output)
            return;
        const ssize_t n = write(_line->master(), output->first, output->second);
        if (n > 0)
            _session.consumeOutput(static_cast<std::size_t>(n));
        else if (n == 0 || errno == EAGAIN)
            _lineBlocked = true; // the service does not read; wait until it does
        else if (errno != EINTR)
            _unplug(std::string("line lost: ") + std::strerror(errno));
    }
}

void TerminalSimulator::_plugIn()
{
    if (_line)
        return;
    _line = std::make_unique<PseudoTerminal>(_options.linkPath);
    {
        std::lock_guard<std::mutex> lock(_statusMutex);
        _slavePath = _line->slavePath();
    }
    log("terminal on " + _line->slavePath() + (_options.linkPath.empty() ? "" : " linked as " + _options.linkPath));
}

void TerminalSimulator::_unplug(const std::string& why)
{
    _session.reset();
    _lineBlocked = false;
    _keepAliveOutstanding = false;
    if (!_line)
        return;
    _line.reset();
    {
        std::lock_guard<std::mutex> lock(_statusMutex);
        _slavePath.clear();
        _stats.line = _session.stats();
    }
    log("line closed: " + why);
}

void TerminalSimulator::log(const std::string& line) const
{
    if (_options.log)
        _options.log(line);
}

} // namespace terminal_sim
