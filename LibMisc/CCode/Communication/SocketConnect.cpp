// Connecting, and the small socket helpers.

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "LibMisc/CCode/Communication/SocketWait.h"
#include "LibMisc/CCode/Communication/Sockets.h"
#include "LibMisc/CCode/Memory.h"
#include "logging/log.h"

using LibMisc::socket_wait::Outcome;
using LibMisc::socket_wait::Plan;

namespace {

// Connects `fd` (left non-blocking) waiting per `plan`: 0; -1 time-out
// (ETIMEDOUT); -2 failure or cancel; -3 terminated. `*error` gets the reason.
int connectWithin(int fd, const sockaddr* address, socklen_t length, const Plan& plan, int* error)
{
    LibMisc_SetNoblockingFlag(fd);
    if (::connect(fd, address, length) == 0) {
        *error = 0;
        return 0;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        *error = errno;
        return -2;
    }
    switch (LibMisc::socket_wait::waitFor(fd, POLLOUT, plan)) {
    case Outcome::Ready:
        break;
    case Outcome::TimedOut:
        *error = ETIMEDOUT;
        return -1;
    case Outcome::Terminated:
        *error = ECONNABORTED;
        return -3;
    case Outcome::Cancelled:
        *error = ECONNABORTED;
        return -2;
    case Outcome::Failed:
        *error = errno;
        return -2;
    }
    int pending = 0;
    socklen_t size = sizeof pending;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &size) != 0)
        pending = errno;
    *error = pending;
    return pending == 0 ? 0 : -2;
}

// A new socket connected per `plan`; every failed attempt closes its socket.
// Termination counts as a failed connection here.
int connectNew(int fd, const sockaddr* address, socklen_t length, const Plan& plan, int* socketOut, int* error)
{
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    const int result = connectWithin(fd, address, length, plan, error);
    if (result != 0) {
        ::close(fd);
        return result == -3 ? -2 : result;
    }
    *socketOut = fd;
    return 0;
}

int connectTcp(const in_addr* address, uint16_t port, const Plan& plan, int* socketOut, int* error)
{
    sockaddr_in target;
    LibMisc_SetInternetAddres(&target, address, port);
    return connectNew(LibMisc_CreateTcpSocket(), reinterpret_cast<const sockaddr*>(&target), sizeof target, plan,
                      socketOut, error);
}

int connectLocal(const char* path, const Plan& plan, int* socketOut, int* error)
{
    sockaddr_un* target = LibMisc_CreateNamedSocketPath(path);
    if (target == nullptr) {
        *error = ENAMETOOLONG;
        return -2;
    }
    const int result = connectNew(LibMisc_CreateLocalSocket(), reinterpret_cast<const sockaddr*>(target),
                                  sizeof *target, plan, socketOut, error);
    std::free(target);
    return result;
}

} // namespace

int LibMisc_tcpConnect(const struct in_addr* address, uint16_t port, const struct timeval* timeout, int* socketOut,
                       int* error)
{
    return connectTcp(address, port, LibMisc::socket_wait::planFor(timeout), socketOut, error);
}

int LibMisc_svcConnect(const char* path, const struct timeval* timeout, int* socketOut, int* error)
{
    return connectLocal(path, LibMisc::socket_wait::planFor(timeout), socketOut, error);
}

int LibMisc_tcpNonBlockingConnect(const struct in_addr* address, uint16_t port, const struct timeval* total,
                                  int* socketOut, int* error, LibMisc_cancelFunction cancel, void* cancelArgument)
{
    return connectTcp(address, port,
                      LibMisc::socket_wait::slicedPlan(total, cancel, cancelArgument, std::chrono::microseconds(10)),
                      socketOut, error);
}

int LibMisc_svcNonBlockingConnect(const char* path, const struct timeval* total, int* socketOut, int* error,
                                  LibMisc_cancelFunction cancel, void* cancelArgument)
{
    return connectLocal(path,
                        LibMisc::socket_wait::slicedPlan(total, cancel, cancelArgument, std::chrono::microseconds(10)),
                        socketOut, error);
}

int LibMisc_SocketConnect(int fd, const struct sockaddr* address, socklen_t length, const struct timespec* timeout)
{
    const int flags = ::fcntl(fd, F_GETFL);
    int error = 0;
    const int result = connectWithin(fd, address, length, LibMisc::socket_wait::planFor(timeout), &error);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags);
    errno = error;
    switch (result) {
    case 0:
        return 0;
    case -1:
        return -2;
    case -3:
        return -3;
    default:
        return -1;
    }
}

int LibMisc_ServiceConnect(const char* path, const struct timespec* timeout, int* socketOut)
{
    sockaddr_un* target = LibMisc_CreateNamedSocketPath(path);
    if (target == nullptr)
        return -1;
    const int fd = LibMisc_CreateLocalSocket();
    int result = -1;
    if (fd >= 0) {
        result = LibMisc_SocketConnect(fd, reinterpret_cast<const sockaddr*>(target), sizeof *target, timeout);
        if (result == 0) {
            *socketOut = fd;
        } else {
            const int error = errno;
            ::close(fd);
            errno = error;
        }
    }
    std::free(target);
    return result;
}

int LibMisc_CreateTcpSocket(void) { return ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP); }

int LibMisc_CreateUdpSocket(void) { return ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP); }

int LibMisc_CreateLocalSocket(void) { return ::socket(AF_UNIX, SOCK_STREAM, 0); }

struct sockaddr_un* LibMisc_CreateNamedSocketPath(const char* path)
{
    const size_t length = std::strlen(path);
    if (length >= sizeof(sockaddr_un::sun_path)) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    auto* address = static_cast<sockaddr_un*>(xmalloc(sizeof(sockaddr_un)));
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    std::memcpy(address->sun_path, path, length);
    return address;
}

void LibMisc_SetInternetAddres(struct sockaddr_in* address, const struct in_addr* host, uint16_t port)
{
    std::memset(address, 0, sizeof *address);
    address->sin_family = AF_INET;
    address->sin_port = htons(port);
    address->sin_addr = *host;
}

int LibMisc_BindHostAddress(int fd, const struct in_addr* host, uint16_t port)
{
    sockaddr_in address;
    LibMisc_SetInternetAddres(&address, host, port);
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

int LibMisc_SetNoblockingFlag(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return 0;
}

int LibMisc_ClearNoblockingFlag(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return 0;
}

int LibMisc_AssignSocketToInterface(void) { return 0; }

int LibMisc_SocketIsUp(int fd)
{
    int pending = 0;
    socklen_t size = sizeof pending;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &size) == 0)
        return pending;
    const int error = errno;
    LOG_TRACEF("[ERROR] Error getting socket error code: %s\n", std::strerror(error));
    return error;
}
