#pragma once

#include <chrono>
#include <ctime>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kiv_test {

using namespace std::chrono_literals;

// Waits until `condition` holds, looking every few milliseconds, at most `limit`.
template <typename Condition>
bool waitFor(Condition condition, std::chrono::milliseconds limit = 10s)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        const timespec pause = {0, 5'000'000};
        nanosleep(&pause, nullptr);
    }
    return true;
}

std::string readFile(const std::string& path);

// A program started with its standard output and error written to files.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv, const std::string& outputDir);
    ~ChildProcess(); // kills the program if it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // True when the program ended within `limit`; then status() is its exit status (-1 for a signal).
    bool waitExit(std::chrono::milliseconds limit = 20s);
    void terminate(); // SIGTERM, then SIGKILL if it does not end
    int status() const { return _status; }
    pid_t pid() const { return _pid; }
    std::string out() const { return readFile(_outPath); }
    std::string err() const { return readFile(_errPath); }

private:
    pid_t _pid = -1;
    int _status = -1;
    bool _ended = false;
    std::string _outPath, _errPath;
};

} // namespace kiv_test
