#include "LibMisc/CCode/Communication/SocketWait.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "logging/log.h"

namespace LibMisc::socket_wait {

namespace {

// Longest time-out in seconds still counted; larger ones mean no limit.
constexpr time_t kLongestTimeoutSeconds = 2147482;

thread_local int t_terminator = 0;

Plan planAfter(std::chrono::microseconds duration)
{
    Plan plan;
    plan.deadline = Clock::now() + duration;
    return plan;
}

timespec untilDeadline(const Plan& plan)
{
    auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(*plan.deadline - Clock::now());
    if (plan.cancel != nullptr)
        left = std::min<std::chrono::nanoseconds>(left, plan.slice);
    left = std::max(left, std::chrono::nanoseconds(0));
    return timespec{static_cast<time_t>(left.count() / 1000000000), static_cast<long>(left.count() % 1000000000)};
}

void onTerminator(pollfd& entry)
{
    if (entry.revents & (POLLERR | POLLHUP | POLLNVAL)) {
        const int error = (entry.revents & POLLNVAL) ? EBADF : EPIPE;
        if (!(entry.revents & POLLNVAL))
            ::close(entry.fd);
        t_terminator = -1;
        LOG_TRACEF("[ERROR] Terminator error: (%d) %s\n", error, std::strerror(error));
        return;
    }
    int32_t command;
    (void)!::read(entry.fd, &command, sizeof command);
}

} // namespace

Plan planFor(const timespec* timeout)
{
    if (timeout == nullptr || timeout->tv_sec > kLongestTimeoutSeconds)
        return Plan{};
    return planAfter(std::chrono::milliseconds(timeout->tv_sec * 1000 + timeout->tv_nsec / 1000000));
}

Plan planFor(const timeval* timeout)
{
    if (timeout == nullptr)
        return Plan{};
    return planAfter(std::chrono::seconds(timeout->tv_sec) + std::chrono::microseconds(timeout->tv_usec));
}

Plan slicedPlan(const timeval* total, LibMisc_cancelFunction cancel, void* cancelArgument,
                std::chrono::microseconds slice)
{
    Plan plan = planFor(total);
    plan.cancel = cancel;
    plan.cancelArgument = cancelArgument;
    plan.slice = slice;
    return plan;
}

Outcome waitFor(int fd, short events, const Plan& plan)
{
    pollfd entries[2] = {{fd, events, 0}, {t_terminator >= 1 ? t_terminator : -1, POLLIN | POLLPRI, 0}};
    const bool sliced = plan.cancel != nullptr;
    for (;;) {
        timespec wait{};
        if (plan.deadline)
            wait = untilDeadline(plan);
        else if (sliced)
            wait = timespec{0, static_cast<long>(std::chrono::nanoseconds(plan.slice).count())};
        const int ready = ::ppoll(entries, 2, (plan.deadline || sliced) ? &wait : nullptr, nullptr);
        if (ready < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return Outcome::Failed;
        }
        if (entries[0].revents != 0)
            return Outcome::Ready;
        if (entries[1].revents != 0) {
            onTerminator(entries[1]);
            return Outcome::Terminated;
        }
        if (plan.deadline && Clock::now() >= *plan.deadline)
            return Outcome::TimedOut;
        if (sliced && plan.cancel(plan.cancelArgument) != 0)
            return Outcome::Cancelled;
    }
}

} // namespace LibMisc::socket_wait

int* __terminator_fd(void) { return &LibMisc::socket_wait::t_terminator; }

int send_termination_cmd(int fd, int32_t command)
{
    if (::write(fd, &command, sizeof command) == static_cast<ssize_t>(sizeof command))
        return 0;
    const int error = errno;
    LOG_TRACEF("[ERROR] Can't send termination command. Error (%d) %s\n", error, std::strerror(error));
    return -1;
}

int LibMisc_WaitFor(const struct timespec* timeout)
{
    using LibMisc::socket_wait::Outcome;
    switch (LibMisc::socket_wait::waitFor(-1, 0, LibMisc::socket_wait::planFor(timeout))) {
    case Outcome::Terminated:
        return -3;
    case Outcome::TimedOut:
        errno = ETIMEDOUT;
        return 0;
    default:
        return -1;
    }
}
