// Listening servers (TCP and local-domain) with one accept thread each.

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "LibMisc/CCode/Communication/Sockets.h"

namespace {

constexpr int kBacklog = 12;

enum State { kCreated = -1, kListening = 0, kStopRequested = 1, kFinished = 2 };

struct ServerRecord {
    std::string path; // local-domain servers only
    void* context = nullptr;
    int listeningFd = -1;
    int state = kCreated;
    std::mutex lock; // guards listeningFd and state; held while a callback runs
    std::condition_variable finished;
    LibMisc_acceptCallback onAccept = nullptr;
    LibMisc_acceptErrorCallback onAcceptError = nullptr;
    LibMisc_closeCallback onClose = nullptr;
};

void destroyRecord(void* object)
{
    auto* record = static_cast<ServerRecord*>(object);
    if (record->listeningFd != -1)
        ::close(record->listeningFd);
    delete record;
}

ServerRecord* recordOf(const SmartPointer& server) { return static_cast<ServerRecord*>(lTools_spGetObject(&server)); }

SmartPointer fail(SmartPointer& server, int* error, int code)
{
    *error = code;
    lTools_spDelete(&server);
    return lTools_spCreateVoid();
}

// Steps shared by both kinds: the record, its handle, the signal dispositions.
SmartPointer newServer(LibMisc_acceptCallback onAccept, LibMisc_acceptErrorCallback onAcceptError,
                       LibMisc_closeCallback onClose, void* context)
{
    auto* record = new ServerRecord;
    record->context = context;
    record->onAccept = onAccept;
    record->onAcceptError = onAcceptError;
    record->onClose = onClose;
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGHUP, SIG_IGN);
    return lTools_spCreate(record, destroyRecord);
}

void acceptLoop(SmartPointer server)
{
    ServerRecord* record = recordOf(server);
    int listeningFd;
    {
        std::lock_guard<std::mutex> guard(record->lock);
        listeningFd = record->listeningFd;
    }
    for (;;) {
        const int client = ::accept(listeningFd, nullptr, nullptr);
        const int error = errno;
        std::lock_guard<std::mutex> guard(record->lock);
        if (client >= 0) {
            if (record->onAccept != nullptr)
                record->onAccept(server, client, record->context);
            else
                ::close(client);
            continue;
        }
        if (error == EBADF || record->state == kStopRequested)
            break;
        if (record->onAcceptError != nullptr && record->onAcceptError(server, error, record->context) != 0)
            break;
    }
    {
        // This thread closes the descriptor: deletion only shuts it down, so
        // the number is never reused while accept may still be using it.
        std::lock_guard<std::mutex> guard(record->lock);
        if (record->listeningFd != -1) {
            ::close(record->listeningFd);
            record->listeningFd = -1;
        }
    }
    if (record->onClose != nullptr)
        record->onClose(server, record->context);
    {
        // Finished only after the close callback, so that deletion also
        // waits for it and the caller may then free the context.
        std::lock_guard<std::mutex> guard(record->lock);
        record->state = kFinished;
        record->finished.notify_all();
    }
    lTools_spDelete(&server);
}

int startServer(SmartPointer server)
{
    ServerRecord* record = recordOf(server);
    if (record == nullptr)
        return LIBMISC_SERVER_NOT_CREATED_STATE;
    std::lock_guard<std::mutex> guard(record->lock);
    if (record->state != kCreated)
        return LIBMISC_SERVER_NOT_CREATED_STATE;
    if (::listen(record->listeningFd, kBacklog) != 0)
        return LIBMISC_SERVER_LISTEN_FAILED;
    SmartPointer threadHandle = lTools_spDuplicate(&server);
    try {
        std::thread(acceptLoop, threadHandle).detach();
    } catch (const std::system_error&) {
        lTools_spDelete(&threadHandle);
        return LIBMISC_SERVER_NO_THREAD;
    }
    record->state = kListening;
    return LIBMISC_SERVER_OK;
}

void deleteServer(SmartPointer* server)
{
    ServerRecord* record = recordOf(*server);
    if (record != nullptr) {
        std::unique_lock<std::mutex> guard(record->lock);
        if (record->state == kListening) {
            record->state = kStopRequested;
            // Ends the blocked accept; the accept thread closes the descriptor.
            ::shutdown(record->listeningFd, SHUT_RDWR);
        } else if (record->state == kCreated && record->listeningFd != -1) {
            ::close(record->listeningFd);
            record->listeningFd = -1;
        }
        if (record->state != kCreated)
            record->finished.wait(guard, [record] { return record->state == kFinished; });
    }
    lTools_spDelete(server);
}

} // namespace

SmartPointer LibMisc_socketServerCreate(uint16_t port, LibMisc_acceptCallback onAccept,
                                        LibMisc_acceptErrorCallback onAcceptError, LibMisc_closeCallback onClose,
                                        int* error, void* context)
{
    SmartPointer server = newServer(onAccept, onAcceptError, onClose, context);
    ServerRecord* record = recordOf(server);
    record->listeningFd = LibMisc_CreateTcpSocket();
    if (record->listeningFd < 0)
        return fail(server, error, LIBMISC_SERVER_NO_SOCKET);
    const in_addr any{htonl(INADDR_ANY)};
    if (LibMisc_BindHostAddress(record->listeningFd, &any, port) != 0)
        return fail(server, error, LIBMISC_SERVER_NOT_BOUND);
    *error = LIBMISC_SERVER_OK;
    return server;
}

int LibMisc_socketServerStart(SmartPointer server) { return startServer(server); }

void LibMisc_socketServerDelete(SmartPointer* server) { deleteServer(server); }

SmartPointer LibMisc_socketServiceCreate(const char* path, LibMisc_acceptCallback onAccept,
                                         LibMisc_acceptErrorCallback onAcceptError, LibMisc_closeCallback onClose,
                                         int* error, void* context)
{
    SmartPointer service = newServer(onAccept, onAcceptError, onClose, context);
    ServerRecord* record = recordOf(service);
    record->path = path;
    if (::access(path, F_OK) == 0 && ::unlink(path) != 0)
        return fail(service, error, LIBMISC_SERVER_PATH_NOT_REMOVED);
    record->listeningFd = LibMisc_CreateLocalSocket();
    if (record->listeningFd < 0)
        return fail(service, error, LIBMISC_SERVER_NO_SOCKET);
    sockaddr_un* address = LibMisc_CreateNamedSocketPath(path);
    const bool bound = address != nullptr && ::bind(record->listeningFd, reinterpret_cast<const sockaddr*>(address),
                                                    sizeof *address) == 0;
    std::free(address);
    if (!bound)
        return fail(service, error, LIBMISC_SERVER_NOT_BOUND);
    *error = LIBMISC_SERVER_OK;
    return service;
}

int LibMisc_socketServiceStart(SmartPointer service) { return startServer(service); }

void LibMisc_socketServiceDelete(SmartPointer* service) { deleteServer(service); }

const char* LibMisc_socketGetSvcName(SmartPointer server)
{
    ServerRecord* record = recordOf(server);
    return record != nullptr ? record->path.c_str() : nullptr;
}

void* LibMisc_socketGetContext(SmartPointer server)
{
    ServerRecord* record = recordOf(server);
    return record != nullptr ? record->context : nullptr;
}
