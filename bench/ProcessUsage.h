#pragma once

// Processor time, resident memory, open descriptors and threads of a running
// process, read from /proc.

#include <optional>
#include <string>
#include <sys/types.h>

namespace kiv_bench {

struct ProcessUsage {
    double cpuSeconds = 0; // user and system time of all its threads
    long rssKiB = 0;
    long descriptors = 0;
    long threads = 0;
};

std::optional<ProcessUsage> processUsage(pid_t pid);

} // namespace kiv_bench
