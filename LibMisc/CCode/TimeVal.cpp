#include "LibMisc/CCode/TimeVal.h"

namespace {
constexpr long kMicrosecondsPerSecond = 1000000;
}

void lTools_timeValSubtraction(struct timeval* a, const struct timeval* b)
{
    if (b->tv_usec > a->tv_usec) {
        a->tv_sec -= b->tv_sec + b->tv_usec / kMicrosecondsPerSecond + 1;
        a->tv_usec = a->tv_usec + kMicrosecondsPerSecond - b->tv_usec % kMicrosecondsPerSecond;
    } else {
        a->tv_sec -= b->tv_sec;
        a->tv_usec -= b->tv_usec;
    }
}

int lTools_timeValCompare(const struct timeval* a, const struct timeval* b)
{
    if (a->tv_sec != b->tv_sec)
        return a->tv_sec > b->tv_sec ? 1 : -1;
    if (a->tv_usec != b->tv_usec)
        return a->tv_usec > b->tv_usec ? 1 : -1;
    return 0;
}

int xpoll(struct pollfd* fds, nfds_t count, int timeoutMs)
{
    const int result = poll(fds, count, timeoutMs);
    if (result <= 0)
        return result;
    for (nfds_t i = 0; i < count; ++i) {
        if (fds[i].revents != 0)
            return static_cast<int>(i + 1);
    }
    return result; // not reached: poll counted a ready entry
}
