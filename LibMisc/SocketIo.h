#pragma once

#include <chrono>
#include <cstddef>
#include <sys/socket.h>
#include <utility>

namespace kiv_proxy {

// Owns one descriptor and closes it on every path, unless it was released.
class UniqueDescriptor {
public:
    explicit UniqueDescriptor(int descriptor) : _descriptor(descriptor) {}
    ~UniqueDescriptor();
    UniqueDescriptor(const UniqueDescriptor&) = delete;
    UniqueDescriptor& operator=(const UniqueDescriptor&) = delete;

    int get() const { return _descriptor; }
    int release() { return std::exchange(_descriptor, -1); }

private:
    int _descriptor;
};

enum class WaitResult { Ready, TimedOut, Failed };

// Waits until `descriptor` reports one of `events` (poll flags). A wait cut
// short by a signal goes on for the remaining time. Failed leaves errno set.
WaitResult waitForEvents(int descriptor, short events, std::chrono::milliseconds timeout);

// Accepts one connection from `listener`; -1 (errno set) when none was taken.
// Out of descriptors or memory, the connection stays pending and the listener
// readable, so this pauses briefly before returning: a poll loop around it
// would otherwise spin until the shortage ends.
int acceptConnection(int listener, sockaddr* peer = nullptr, socklen_t* peerLength = nullptr);

// ENFILE, EMFILE, ENOBUFS or ENOMEM: a shortage that passes, not a fault of
// the listener.
bool isResourceShortage(int error);

// Sends all `length` bytes, continuing short writes. On a non-blocking
// socket that cannot take more, waits up to `stallTimeout` for room.
// Never raises SIGPIPE. Returns false (errno set) when the peer is gone,
// the socket fails or stays full for longer than `stallTimeout`.
bool sendAll(int descriptor, const void* data, size_t length, std::chrono::milliseconds stallTimeout);

} // namespace kiv_proxy
