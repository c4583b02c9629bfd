#pragma once

#include <chrono>
#include <memory>
#include <string>

#include <spdlog/common.h>

namespace kiv_test {

// Sets the application logger up once (log files in a temporary directory).
void initTestLogger();

// Records every line of the application log while it exists. Create it
// before the threads under test start and destroy it after they have ended.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Lines at `level` whose text equals `text` exactly.
    size_t count(spdlog::level::level_enum level, const std::string& text) const;
    // Lines at any level containing `part`.
    size_t countContaining(const std::string& part) const;
    // Waits (bounded) until count(level, text) reaches `atLeast`.
    bool waitFor(spdlog::level::level_enum level, const std::string& text, size_t atLeast = 1,
                 std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) const;

    class Sink;

private:
    std::shared_ptr<Sink> _sink;
};

} // namespace kiv_test
