#include "LibMisc/SocketIo.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace kiv_proxy {

namespace {

constexpr auto kShortagePause = std::chrono::milliseconds(100);

} // namespace

UniqueDescriptor::~UniqueDescriptor()
{
    if (_descriptor >= 0)
        close(_descriptor);
}

WaitResult waitForEvents(int descriptor, short events, std::chrono::milliseconds timeout)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    pollfd entry{descriptor, events, 0};
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const int result = poll(&entry, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        if (result > 0)
            return WaitResult::Ready;
        if (result == 0)
            return WaitResult::TimedOut;
        if (errno != EINTR)
            return WaitResult::Failed;
    }
}

int acceptConnection(int listener, sockaddr* peer, socklen_t* peerLength)
{
    const int descriptor = ::accept(listener, peer, peerLength);
    if (descriptor < 0 && isResourceShortage(errno)) {
        const int error = errno;
        std::this_thread::sleep_for(kShortagePause);
        errno = error;
    }
    return descriptor;
}

bool isResourceShortage(int error)
{
    return error == ENFILE || error == EMFILE || error == ENOBUFS || error == ENOMEM;
}

bool sendAll(int descriptor, const void* data, size_t length, std::chrono::milliseconds stallTimeout)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (length > 0) {
        const ssize_t sent = ::send(descriptor, bytes, length, MSG_NOSIGNAL);
        if (sent > 0) {
            bytes += sent;
            length -= static_cast<size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const WaitResult room = waitForEvents(descriptor, POLLOUT, stallTimeout);
            if (room == WaitResult::Ready)
                continue;
            if (room == WaitResult::TimedOut)
                errno = ETIMEDOUT;
            return false;
        }
        if (sent == 0)
            errno = ECONNRESET;
        return false;
    }
    return true;
}

} // namespace kiv_proxy
