#pragma once

// The one waiting loop of the socket layer (internal to it): poll on a
// descriptor together with the calling thread's terminator, bounded by a
// deadline, optionally in slices that ask a cancel function.

#include <chrono>
#include <optional>

#include "LibMisc/CCode/Communication/Sockets.h"

namespace LibMisc::socket_wait {

using Clock = std::chrono::steady_clock;

struct Plan {
    std::optional<Clock::time_point> deadline; // none: no limit
    LibMisc_cancelFunction cancel = nullptr;   // asked after every slice
    void* cancelArgument = nullptr;
    std::chrono::microseconds slice{0};
};

enum class Outcome { Ready, TimedOut, Terminated, Cancelled, Failed };

Plan planFor(const timespec* timeout);
Plan planFor(const timeval* timeout);
Plan slicedPlan(const timeval* total, LibMisc_cancelFunction cancel, void* cancelArgument,
                std::chrono::microseconds slice);

// Waits until `fd` reports one of `events` (fd < 0: the terminator alone).
// A command on the terminator is consumed; a broken terminator is closed and
// uninstalled. Failed leaves errno set.
Outcome waitFor(int fd, short events, const Plan& plan);

} // namespace LibMisc::socket_wait
