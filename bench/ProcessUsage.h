#pragma once

// Processor time and resident memory of a running process, read from /proc.

#include <optional>
#include <string>
#include <sys/types.h>

namespace kiv_bench {

struct ProcessUsage {
    double cpuSeconds = 0; // user and system time of all its threads
    long rssKiB = 0;
};

std::optional<ProcessUsage> processUsage(pid_t pid);

// A child of this process whose command name is `name`; -1 when none.
pid_t childNamed(const std::string& name);

} // namespace kiv_bench
