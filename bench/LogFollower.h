#pragma once

#include <cstdint>
#include <string>

namespace kiv_bench {

// Reads what the service appends to its daily log, also across midnight,
// when it starts a new file.
class LogFollower {
public:
    explicit LogFollower(std::string logsDir);

    // The whole lines written since the last call.
    std::string next();

private:
    std::string _read(const std::string& name);

    const std::string _logsDir;
    std::string _name; // the file followed
    uint64_t _offset = 0;
    std::string _partial; // the unfinished last line
};

} // namespace kiv_bench
