#include "bench/FaultInjector.h"

#include <exception>

namespace kiv_bench {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr auto kUnplugPeriod = std::chrono::seconds(20);

} // namespace

FaultInjector::FaultInjector(terminal_sim::TerminalSimulator& terminal, uint32_t seed)
    : _terminal(terminal), _random(seed)
{
}

FaultInjector::~FaultInjector()
{
    stop();
}

void FaultInjector::start()
{
    _thread = std::thread(&FaultInjector::_run, this);
}

void FaultInjector::stop()
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _stopping = true;
    }
    _stopSignal.notify_all();
    if (!_thread.joinable())
        return;
    _thread.join();
    _terminal.plugIn();
    _terminal.setAnswerDelay(milliseconds(0));
    _terminal.refuseNextFrames(0);
    _terminal.withholdAcknowledgements(0);
}

void FaultInjector::_run()
{
    auto nextUnplug = Clock::now() + kUnplugPeriod;
    while (_wait(_between(500, 3000))) {
        try {
            if (Clock::now() >= nextUnplug) {
                nextUnplug += kUnplugPeriod;
                _unplugForAWhile();
            } else {
                _injectOne();
            }
        } catch (const std::exception&) {
            ++_injected["simulator busy, fault skipped"];
        }
    }
}

void FaultInjector::_injectOne()
{
    switch (std::uniform_int_distribution<int>(0, 3)(_random)) {
    case 0:
        _terminal.refuseNextFrames(std::uniform_int_distribution<unsigned>(1, 3)(_random));
        ++_injected["frames refused"];
        break;
    case 1:
        _terminal.withholdAcknowledgements(std::uniform_int_distribution<unsigned>(1, 2)(_random));
        ++_injected["acknowledgements withheld"];
        break;
    case 2:
        _terminal.corruptNextCheck();
        ++_injected["checks corrupted"];
        break;
    default:
        _terminal.setAnswerDelay(_between(50, 800));
        ++_injected["line delays"];
        if (_wait(_between(500, 2000)))
            _terminal.setAnswerDelay(milliseconds(0));
        break;
    }
}

void FaultInjector::_unplugForAWhile()
{
    _terminal.unplug();
    ++_injected["unplugs"];
    _wait(_between(1000, 3000));
    _terminal.plugIn();
}

bool FaultInjector::_wait(milliseconds period)
{
    std::unique_lock<std::mutex> lock(_mutex);
    return !_stopSignal.wait_for(lock, period, [this] { return _stopping; });
}

milliseconds FaultInjector::_between(int fromMs, int toMs)
{
    return milliseconds(std::uniform_int_distribution<int>(fromMs, toMs)(_random));
}

} // namespace kiv_bench
