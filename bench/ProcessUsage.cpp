#include "bench/ProcessUsage.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kiv_bench {

namespace {

struct StatLine {
    std::string name;
    pid_t parent = -1;
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
    const auto open = line.find('(');
    const auto close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open)
        return std::nullopt;
    StatLine stat;
    stat.name = line.substr(open + 1, close - open - 1);
    std::istringstream fields(line.substr(close + 2));
    std::string skip;
    fields >> skip >> stat.parent; // fields 3 and 4: state, parent
    for (int field = 5; field <= 13; ++field)
        fields >> skip;
    fields >> stat.userTicks >> stat.systemTicks; // fields 14 and 15
    if (!fields)
        return std::nullopt;
    return stat;
}

long residentKiB(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

} // namespace

std::optional<ProcessUsage> processUsage(pid_t pid)
{
    const auto stat = readStat(pid);
    const long rss = residentKiB(pid);
    if (!stat || rss < 0)
        return std::nullopt;
    const double ticksPerSecond = static_cast<double>(sysconf(_SC_CLK_TCK));
    return ProcessUsage{static_cast<double>(stat->userTicks + stat->systemTicks) / ticksPerSecond, rss};
}

pid_t childNamed(const std::string& name)
{
    DIR* proc = opendir("/proc");
    if (proc == nullptr)
        return -1;
    pid_t found = -1;
    while (const dirent* entry = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || pid <= 0)
            continue;
        const auto stat = readStat(static_cast<pid_t>(pid));
        if (stat && stat->parent == getpid() && stat->name == name) {
            found = static_cast<pid_t>(pid);
            break;
        }
    }
    closedir(proc);
    return found;
}

} // namespace kiv_bench
