#pragma once

// Arithmetic on seconds/microseconds values and the poll wrapper of the
// socket layer. Microseconds are expected in 0..999999.

#include <poll.h>
#include <sys/time.h>

#ifdef __cplusplus
extern "C" {
#endif

// a := a - b; a negative result is not clamped.
void lTools_timeValSubtraction(struct timeval* a, const struct timeval* b);

// 1 when a is later than b, -1 when earlier, 0 when equal.
int lTools_timeValCompare(const struct timeval* a, const struct timeval* b);

// poll(); a time-out (0) or an error (-1, errno set) is returned unchanged,
// otherwise the 1-based position of the first entry with returned events.
int xpoll(struct pollfd* fds, nfds_t count, int timeoutMs);

#ifdef __cplusplus
}
#endif
