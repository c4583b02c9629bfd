#include "tests/support/LogCapture.h"

#include <stdlib.h>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

#include <spdlog/sinks/base_sink.h>

#include "logging/Logger.h"

namespace kiv_test {

namespace {
constexpr size_t kSinkRoom = 4096;
} // namespace

void initTestLogger()
{
    static std::once_flag once;
    std::call_once(once, [] {
        char directory[] = "/tmp/kiv-test-log-XXXXXX";
        if (::mkdtemp(directory) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        logger::Log::setLogDirectoryPath(std::string(directory) + "/");
        logger::Log::Init(false, spdlog::level::trace);
    });
}

class LogCapture::Sink : public spdlog::sinks::base_sink<std::mutex> {
public:
    using Match = std::function<bool(spdlog::level::level_enum, const std::string&)>;

    size_t count(const Match& matches) const
    {
        std::lock_guard<std::mutex> guard(_linesLock);
        return countLocked(matches);
    }

    // Stops recording. The sink stays with the logger: detached threads of the
    // code under test may still be logging through it.
    void detach()
    {
        std::lock_guard<std::mutex> guard(_linesLock);
        _detached = true;
        _lines.clear();
    }

    bool waitFor(const Match& matches, size_t atLeast, std::chrono::milliseconds timeout) const
    {
        std::unique_lock<std::mutex> guard(_linesLock);
        return _added.wait_for(guard, timeout, [&] { return countLocked(matches) >= atLeast; });
    }

protected:
    void sink_it_(const spdlog::details::log_msg& message) override
    {
        // Notified under the lock: a waiter that saw the line may destroy the
        // capture at once.
        std::lock_guard<std::mutex> guard(_linesLock);
        if (_detached)
            return;
        _lines.emplace_back(message.level, std::string(message.payload.begin(), message.payload.end()));
        _added.notify_all();
    }
    void flush_() override {}

private:
    size_t countLocked(const Match& matches) const
    {
        return static_cast<size_t>(std::count_if(_lines.begin(), _lines.end(),
                                                 [&](const auto& line) { return matches(line.first, line.second); }));
    }

    mutable std::mutex _linesLock;
    mutable std::condition_variable _added;
    std::vector<std::pair<spdlog::level::level_enum, std::string>> _lines;
    bool _detached = false;
};

LogCapture::LogCapture() : _sink(std::make_shared<Sink>())
{
    initTestLogger();
    auto& sinks = logger::Log::s_CoreLogger->sinks();
    // Room for every capture of a test program, so that adding one never
    // moves the sinks under a thread that is logging.
    if (sinks.capacity() < kSinkRoom)
        sinks.reserve(kSinkRoom);
    sinks.push_back(_sink);
}

LogCapture::~LogCapture() { _sink->detach(); }

namespace {
LogCapture::Sink::Match exactLine(spdlog::level::level_enum level, const std::string& text)
{
    return [level, text](spdlog::level::level_enum l, const std::string& line) { return l == level && line == text; };
}
} // namespace

size_t LogCapture::count(spdlog::level::level_enum level, const std::string& text) const
{
    return _sink->count(exactLine(level, text));
}

size_t LogCapture::countContaining(const std::string& part) const
{
    return _sink->count(
        [&](spdlog::level::level_enum, const std::string& line) { return line.find(part) != std::string::npos; });
}

bool LogCapture::waitFor(spdlog::level::level_enum level, const std::string& text, size_t atLeast,
                         std::chrono::milliseconds timeout) const
{
    return _sink->waitFor(exactLine(level, text), atLeast, timeout);
}

} // namespace kiv_test
