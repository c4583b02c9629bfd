// Stream input and output of the socket layer.

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "LibMisc/CCode/Communication/SocketWait.h"
#include "LibMisc/CCode/Communication/Sockets.h"

using LibMisc::socket_wait::Outcome;
using LibMisc::socket_wait::Plan;
using LibMisc::socket_wait::waitFor;

namespace {

bool retryable(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

// Repeats `once(offset, room)` until at least `minimum` of `size` bytes arrived:
// the total, or the first result that is not positive.
template <class Once>
int collect(size_t size, size_t minimum, Once once)
{
    const size_t wanted = minimum < size ? minimum : size;
    size_t total = 0;
    do {
        const int n = once(total, size - total);
        if (n <= 0)
            return n;
        total += static_cast<size_t>(n);
    } while (total < wanted);
    return static_cast<int>(total);
}

// One read after waiting for input: the count; -1 failure or closed by the
// peer (ECONNRESET); -2 time-out; -3 terminated.
template <class Reader>
int receiveOnce(int fd, void* buffer, size_t size, const Plan& plan, Reader read)
{
    for (;;) {
        switch (waitFor(fd, POLLIN | POLLPRI, plan)) {
        case Outcome::Ready: {
            const ssize_t n = read(fd, buffer, size);
            if (n > 0)
                return static_cast<int>(n);
            if (n == 0) {
                errno = ECONNRESET;
                return -1;
            }
            if (retryable(errno))
                continue;
            return -1;
        }
        case Outcome::TimedOut:
            errno = ETIMEDOUT;
            return -2;
        case Outcome::Terminated:
        case Outcome::Cancelled:
            errno = ECONNABORTED;
            return -3;
        case Outcome::Failed:
            return -1;
        }
    }
}

// One recv after waiting per `plan`, reporting through `*error`: the count;
// -1 time-out (ETIMEDOUT); -2 other error, cancel or termination.
int receiveReporting(int fd, void* buffer, size_t size, int flags, const Plan& plan, int* error, bool checkPending)
{
    for (;;) {
        const Outcome outcome = waitFor(fd, POLLIN | POLLPRI, plan);
        if (outcome == Outcome::TimedOut) {
            *error = ETIMEDOUT;
            return -1;
        }
        if (outcome != Outcome::Ready) {
            *error = outcome == Outcome::Failed ? errno : ECONNABORTED;
            return -2;
        }
        if (checkPending) {
            const int pending = LibMisc_SocketIsUp(fd);
            if (pending != 0) {
                *error = pending;
                return -2;
            }
        }
        const ssize_t n = ::recv(fd, buffer, size, flags);
        if (n > 0) {
            *error = 0;
            return static_cast<int>(n);
        }
        if (n < 0 && retryable(errno))
            continue;
        *error = n == 0 ? ECONNRESET : errno;
        return -2;
    }
}

ssize_t recvWith(int flags, int fd, void* buffer, size_t size) { return ::recv(fd, buffer, size, flags); }

char* at(void* buffer, size_t offset) { return static_cast<char*>(buffer) + offset; }

} // namespace

int LibMisc_Send(int fd, const void* data, size_t length, int flags)
{
    const char* bytes = static_cast<const char*>(data);
    size_t sent = 0;
    while (sent < length) {
        errno = 0;
        // A vanished peer must not raise SIGPIPE in the caller.
        const ssize_t n = ::send(fd, bytes + sent, length - sent, flags | MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // Full non-blocking socket: wait for room instead of spinning.
            if (waitFor(fd, POLLOUT, Plan{}) == Outcome::Ready)
                continue;
            return -1;
        }
        if (n == 0)
            errno = ECONNRESET;
        return -1;
    }
    return static_cast<int>(length);
}

int LibMisc_Receive(int fd, void* buffer, size_t size, int flags, const struct timespec* timeout)
{
    return receiveOnce(fd, buffer, size, LibMisc::socket_wait::planFor(timeout),
                       [flags](int s, void* b, size_t n) { return recvWith(flags, s, b, n); });
}

int LibMisc_ReceiveBlock(int fd, void* buffer, size_t size, int flags, const struct timespec* timeout)
{
    const Plan plan = LibMisc::socket_wait::planFor(timeout);
    return collect(size, size, [&](size_t offset, size_t room) {
        return receiveOnce(fd, at(buffer, offset), room, plan,
                           [flags](int s, void* b, size_t n) { return recvWith(flags, s, b, n); });
    });
}

int LibMisc_ReadBlock(int fd, void* buffer, size_t size, const struct timespec* timeout)
{
    const Plan plan = LibMisc::socket_wait::planFor(timeout);
    return collect(size, size, [&](size_t offset, size_t room) {
        return receiveOnce(fd, at(buffer, offset), room, plan, [](int s, void* b, size_t n) { return ::read(s, b, n); });
    });
}

int LibMisc_SimpleReceive(int fd, void* buffer, size_t size, int flags)
{
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, size, flags);
        if (n > 0)
            return static_cast<int>(n);
        if (n == 0) {
            errno = ECONNRESET;
            return -2;
        }
        if (!retryable(errno))
            return -2;
        if (errno != EINTR && waitFor(fd, POLLIN | POLLPRI, Plan{}) == Outcome::Failed)
            return -2;
    }
}

int LibMisc_SimpleReceiveMinimalBlock(int fd, void* buffer, size_t size, size_t minimum, int flags)
{
    return collect(size, minimum, [&](size_t offset, size_t room) {
        return LibMisc_SimpleReceive(fd, at(buffer, offset), room, flags);
    });
}

int LibMisc_SimpleReceiveBlock(int fd, void* buffer, size_t size, int flags)
{
    return LibMisc_SimpleReceiveMinimalBlock(fd, buffer, size, size, flags);
}

int LibMisc_socketReceive(int fd, void* buffer, size_t size, int flags, const struct timeval* timeout, int* error)
{
    return receiveReporting(fd, buffer, size, flags, LibMisc::socket_wait::planFor(timeout), error, false);
}

int LibMisc_socketReceiveMinimalBlock(int fd, void* buffer, size_t size, size_t minimum, int flags,
                                      const struct timeval* timeout, int* error)
{
    const Plan plan = LibMisc::socket_wait::planFor(timeout);
    return collect(size, minimum, [&](size_t offset, size_t room) {
        return receiveReporting(fd, at(buffer, offset), room, flags, plan, error, false);
    });
}

int LibMisc_socketNonBlockingReceive(int fd, void* buffer, size_t size, int flags, const struct timeval* total,
                                     int* error, LibMisc_cancelFunction cancel, void* cancelArgument)
{
    return LibMisc_socketNonBlockingReceiveMinimalBlock(fd, buffer, size, 1, flags, total, error, cancel,
                                                        cancelArgument);
}

int LibMisc_socketNonBlockingReceiveMinimalBlock(int fd, void* buffer, size_t size, size_t minimum, int flags,
                                                 const struct timeval* total, int* error,
                                                 LibMisc_cancelFunction cancel, void* cancelArgument)
{
    const Plan plan =
        LibMisc::socket_wait::slicedPlan(total, cancel, cancelArgument, std::chrono::microseconds(500));
    return collect(size, minimum, [&](size_t offset, size_t room) {
        return receiveReporting(fd, at(buffer, offset), room, flags, plan, error, true);
    });
}

int LibMisc_checkIfSocketClosed(int fd)
{
    char byte;
    const ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0 || (n < 0 && retryable(errno)))
        return 0;
    return -1;
}

int read_pool_hup_case(int fd, void* buffer, size_t size, int flags)
{
    const ssize_t n = ::recv(fd, buffer, size, flags);
    if (n == 0) {
        errno = ECONNRESET;
        return -1;
    }
    return n > 0 ? static_cast<int>(n) : -1;
}
