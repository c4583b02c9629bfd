#include "bench/ProcessUsage.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kiv_bench {

namespace {

struct StatLine {
    unsigned long long userTicks = 0, systemTicks = 0;
};

// The command name sits in parentheses and may hold spaces, so fields are
// counted from the last ')'.
std::optional<StatLine> readStat(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line))
        return std::nullopt;
    const auto close = line.rfind(')');
    if (close == std::string::npos)
        return std::nullopt;
    StatLine stat;
    std::istringstream fields(line.substr(close + 2));
    std::string skip;
    for (int field = 3; field <= 13; ++field)
        fields >> skip;
    fields >> stat.userTicks >> stat.systemTicks; // fields 14 and 15
    if (!fields)
        return std::nullopt;
    return stat;
}

// A number field of /proc/PID/status, such as "VmRSS:"; -1 when missing.
long statusField(pid_t pid, const std::string& name)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(name, 0) == 0)
            return std::strtol(line.c_str() + name.size(), nullptr, 10);
    }
    return -1;
}

long openDescriptors(pid_t pid)
{
    const std::filesystem::path directory = "/proc/" + std::to_string(pid) + "/fd";
    std::error_code error;
    long count = 0;
    for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end; it.increment(error))
        ++count;
    return error ? -1 : count;
}

} // namespace

std::optional<ProcessUsage> processUsage(pid_t pid)
{
    const auto stat = readStat(pid);
    const long rss = statusField(pid, "VmRSS:");
    const long threads = statusField(pid, "Threads:");
    const long descriptors = openDescriptors(pid);
    if (!stat || rss < 0 || threads < 0 || descriptors < 0)
        return std::nullopt;
    const double ticksPerSecond = static_cast<double>(sysconf(_SC_CLK_TCK));
    return ProcessUsage{static_cast<double>(stat->userTicks + stat->systemTicks) / ticksPerSecond, rss, descriptors,
                        threads};
}

} // namespace kiv_bench
