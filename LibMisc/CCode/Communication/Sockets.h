#pragma once

// Plain-function socket layer: listening servers with an accept thread,
// stream input and output with time-outs, and connects with time-outs.
// Results are integers and the error number; nothing throws. Rare internal
// errors go to the trace channel (logging/log.h).

#include <netinet/in.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <time.h>

#include "LibMisc/CCode/Communication/SmartPointer.h"

#ifdef __cplusplus
extern "C" {
#endif

// ---- Servers -------------------------------------------------------------
// The callbacks run on the server's accept thread with the server's lock
// held: they must return promptly and must not delete their own server.

// A connection was accepted; the callback owns `clientDescriptor`.
typedef void (*LibMisc_acceptCallback)(SmartPointer server, int clientDescriptor, void* context);
// accept failed with `errorNumber`; a non-zero result stops the server.
typedef int (*LibMisc_acceptErrorCallback)(SmartPointer server, int errorNumber, void* context);
// The accept thread is about to end.
typedef void (*LibMisc_closeCallback)(SmartPointer server, void* context);

enum {
    LIBMISC_SERVER_OK = 0,
    LIBMISC_SERVER_PATH_NOT_REMOVED = 1,
    LIBMISC_SERVER_NO_SOCKET = 2,
    LIBMISC_SERVER_NOT_BOUND = 3,
    LIBMISC_SERVER_LISTEN_FAILED = 4,
    LIBMISC_SERVER_NO_THREAD = 5,
    LIBMISC_SERVER_NOT_CREATED_STATE = 6
};

// TCP server on 0.0.0.0:`port`. `*error` gets 0, 2 or 3; the empty handle on failure.
SmartPointer LibMisc_socketServerCreate(uint16_t port, LibMisc_acceptCallback onAccept,
                                        LibMisc_acceptErrorCallback onAcceptError, LibMisc_closeCallback onClose,
                                        int* error, void* context);
// 0, 4 (listen failed), 5 (no thread) or 6 (not in the created state).
int LibMisc_socketServerStart(SmartPointer server);
// Stops the server, waits for its accept thread and releases `*server`.
void LibMisc_socketServerDelete(SmartPointer* server);

// Local-domain server bound to `path` (an existing file there is removed first;
// code 1 when that fails). Same codes and behaviour as the TCP server.
SmartPointer LibMisc_socketServiceCreate(const char* path, LibMisc_acceptCallback onAccept,
                                         LibMisc_acceptErrorCallback onAcceptError, LibMisc_closeCallback onClose,
                                         int* error, void* context);
int LibMisc_socketServiceStart(SmartPointer service);
void LibMisc_socketServiceDelete(SmartPointer* service);
// The path of a local-domain server ("" for a TCP server); the context of either kind.
const char* LibMisc_socketGetSvcName(SmartPointer server);
void* LibMisc_socketGetContext(SmartPointer server);

// ---- Stream input and output ----------------------------------------------

// Sends everything: `length` on success, -1 on failure (ECONNRESET when the
// socket accepted nothing). A full non-blocking socket is waited for.
int LibMisc_Send(int fd, const void* data, size_t length, int flags);
// One recv after waiting for input: the count (1 or more); -1 failure or peer
// closed (ECONNRESET); -2 time-out (ETIMEDOUT); -3 aborted by the thread's
// terminator (ECONNABORTED). A null time-out waits without limit.
int LibMisc_Receive(int fd, void* buffer, size_t size, int flags, const struct timespec* timeout);
// As LibMisc_Receive until exactly `size` bytes arrived; returns `size`.
int LibMisc_ReceiveBlock(int fd, void* buffer, size_t size, int flags, const struct timespec* timeout);
// As LibMisc_ReceiveBlock with read(), for descriptors that are not sockets.
int LibMisc_ReadBlock(int fd, void* buffer, size_t size, const struct timespec* timeout);

// recv retried on EAGAIN and EINTR: the count, or -2 (ECONNRESET when the peer closed).
int LibMisc_SimpleReceive(int fd, void* buffer, size_t size, int flags);
// Repeats until at least min(size, minimum) bytes arrived: the total, or the first negative result.
int LibMisc_SimpleReceiveMinimalBlock(int fd, void* buffer, size_t size, size_t minimum, int flags);
int LibMisc_SimpleReceiveBlock(int fd, void* buffer, size_t size, int flags);

// Wait then one recv: the count; -1 time-out (ETIMEDOUT); -2 other error.
int LibMisc_socketReceive(int fd, void* buffer, size_t size, int flags, const struct timeval* timeout, int* error);
int LibMisc_socketReceiveMinimalBlock(int fd, void* buffer, size_t size, size_t minimum, int flags,
                                      const struct timeval* timeout, int* error);

// Called between wait slices; non-zero cancels the operation (ECONNABORTED).
typedef int (*LibMisc_cancelFunction)(void* argument);

// Waits in 500 µs slices, asking `cancel` after each: the count; -1 when
// `total` is used up (ETIMEDOUT); -2 on error or cancel.
int LibMisc_socketNonBlockingReceive(int fd, void* buffer, size_t size, int flags, const struct timeval* total,
                                     int* error, LibMisc_cancelFunction cancel, void* cancelArgument);
int LibMisc_socketNonBlockingReceiveMinimalBlock(int fd, void* buffer, size_t size, size_t minimum, int flags,
                                                 const struct timeval* total, int* error,
                                                 LibMisc_cancelFunction cancel, void* cancelArgument);

// 0 while the connection is open (data waiting or not), -1 once the peer closed it or it failed.
int LibMisc_checkIfSocketClosed(int fd);
// One recv: the count, or -1 (ECONNRESET when the peer closed).
int read_pool_hup_case(int fd, void* buffer, size_t size, int flags);

// ---- Terminator ------------------------------------------------------------
// A thread may install a descriptor (1 or more) in *__terminator_fd(); its
// receive and connect waits then also end when a 4-byte command arrives on it.

int* __terminator_fd(void);
// Writes the 4-byte command into a terminator; 0, or -1 (traced).
int send_termination_cmd(int fd, int32_t command);
// Waits for a command on the calling thread's terminator alone: -3 when one
// arrived, 0 on time-out (ETIMEDOUT), -1 on error.
int LibMisc_WaitFor(const struct timespec* timeout);

// ---- Connecting ------------------------------------------------------------

// 0 with the connected (non-blocking) descriptor in *socketOut; -1 no socket
// or time-out (*error = errno or ETIMEDOUT); -2 the connection failed.
int LibMisc_tcpConnect(const struct in_addr* address, uint16_t port, const struct timeval* timeout, int* socketOut,
                       int* error);
// Local-domain counterpart (path of at most 107 characters).
int LibMisc_svcConnect(const char* path, const struct timeval* timeout, int* socketOut, int* error);
// Connect waits in 10 µs slices asking `cancel` after each (-2, ECONNABORTED).
int LibMisc_tcpNonBlockingConnect(const struct in_addr* address, uint16_t port, const struct timeval* total,
                                  int* socketOut, int* error, LibMisc_cancelFunction cancel, void* cancelArgument);
int LibMisc_svcNonBlockingConnect(const char* path, const struct timeval* total, int* socketOut, int* error,
                                  LibMisc_cancelFunction cancel, void* cancelArgument);
// Connects `fd` watching the terminator too: 0 (previous blocking mode
// restored), -1 failure, -2 time-out, -3 terminated.
int LibMisc_SocketConnect(int fd, const struct sockaddr* address, socklen_t length, const struct timespec* timeout);
// A local-domain socket connected with LibMisc_SocketConnect; same results.
int LibMisc_ServiceConnect(const char* path, const struct timespec* timeout, int* socketOut);

// ---- Small helpers ---------------------------------------------------------

int LibMisc_CreateTcpSocket(void);
int LibMisc_CreateUdpSocket(void);
int LibMisc_CreateLocalSocket(void);
// A local-domain address holding `path`, allocated for the caller to free();
// null (ENAMETOOLONG) when the path does not fit.
struct sockaddr_un* LibMisc_CreateNamedSocketPath(const char* path);
void LibMisc_SetInternetAddres(struct sockaddr_in* address, const struct in_addr* host, uint16_t port);
int LibMisc_BindHostAddress(int fd, const struct in_addr* host, uint16_t port);
int LibMisc_SetNoblockingFlag(int fd);
int LibMisc_ClearNoblockingFlag(int fd);
int LibMisc_AssignSocketToInterface(void);
// The socket's pending error, 0 when healthy; the error number when it cannot be read.
int LibMisc_SocketIsUp(int fd);

#ifdef __cplusplus
}
#endif
