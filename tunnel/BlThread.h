#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include <poll.h>

#include "LibMisc/TcpSocket.h"
#include "tunnel/BlClient.h"
#include "tunnel/ConnectionIDHolder.h"

namespace LibMisc {
class ISerialPortTrasport;
}

namespace kiv_proxy {

enum PendingActionType { ConnectionOk = 0, CloseConnection = 1 };

// The local tunnel listener: every TCP client accepted here becomes one
// tunnel connection to the terminal, with an id from the registry.
// Accepting, reading clients and changing the connection sets happen on the
// listener thread; the dispatcher reaches it through markConnectionOk,
// closeConnection (queued) and onSendData (direct write to the client).
class BlThread {
public:
    using Transport = std::shared_ptr<LibMisc::ISerialPortTrasport>;

    // How long an announced connection may wait for the terminal's answer.
    static constexpr std::chrono::milliseconds kPendingTimeout{30000};

    explicit BlThread(ConnectionIDHolder& registry = ConnectionIDHolder::getManager(),
                      std::chrono::milliseconds pendingTimeout = kPendingTimeout);
    // Stops the listener thread, waits for it and closes every socket.
    ~BlThread();
    BlThread(const BlThread&) = delete;
    BlThread& operator=(const BlThread&) = delete;

    // Listens on ip:port and starts the listener thread. `portToConnect` is the
    // port announced to the terminal; std::invalid_argument or
    // std::out_of_range when it is not a port number, before any socket exists.
    // Socket failures are logged and leave the listener without a thread.
    void run(const std::string& ip, int port, Transport transport, const std::string& portToConnect);
    // The loop ends at once.
    void stop();
    // The transport of a newly opened serial port; any thread.
    void setTransport(Transport transport);
    // The port the listener is bound to, -1 before a successful run.
    int getPort() const;

    // The terminal confirmed / closed connection `id`; any thread, takes
    // effect on the listener thread, which is woken for it.
    void markConnectionOk(uint64_t id);
    void closeConnection(uint64_t id);
    // Writes terminal data for `id` completely to its client.
    void onSendData(uint64_t id, const unsigned char* data, size_t length);

private:
    using ClientMap = std::unordered_map<uint64_t, std::shared_ptr<BlClient>>;
    struct PendingClient {
        TcpSocket socket;
        std::chrono::steady_clock::time_point announcedAt;
    };
    struct FoundClient {
        uint64_t id = 0;
        std::shared_ptr<BlClient> client;
    };

    void threadFunction();
    void tryAccept();
    void drainPendingActions();
    void doMarkConnectionOk(uint64_t id);
    void doCloseConnection(uint64_t id);
    // Removes the client of pollSet entry i; its id, or none for an entry no client owns.
    std::optional<uint64_t> removeClientByIndex(size_t i);
    // -1 without a transport, -2 when it is not connected, -3 when every attempt failed.
    int sendData2ComPort(uint64_t id, const unsigned char* data, size_t length);
    void sendConnectionResult(uint64_t id, int status);

    void _pollLoop();
    // Reads pollSet entry i; false when the entry was removed.
    bool _serveClient(size_t i, std::vector<unsigned char>& buffer);
    void _announce(uint64_t id, const std::vector<unsigned char>& request, const Transport& port);
    void _closeExpiredPending();
    std::optional<TcpSocket> _takePending(uint64_t id);
    FoundClient _findClientByFd(int fd);
    FoundClient _takeClientByFd(int fd);
    // Needs mapsMutex held.
    ClientMap::iterator _clientByFdLocked(int fd);
    void _queueAction(PendingActionType type, uint64_t id);
    // Ends the listener thread's poll.
    void _wake();
    Transport _currentTransport() const;
    static void _closeClient(BlClient& client);

    ConnectionIDHolder& _registry;
    const std::chrono::milliseconds _pendingTimeout;

    TcpSocket listenSocket;
    std::atomic<bool> running{false};
    std::atomic<int> wakeDescriptor{-1}; // an eventfd in pollSet
    std::thread listenerThread;
    std::vector<pollfd> pollSet; // listener thread only (and run before it starts)
    int portToConnect = 0;

    std::mutex mapsMutex;
    ClientMap clients;
    std::unordered_map<uint64_t, PendingClient> pending;

    std::mutex actionsMutex;
    std::deque<std::pair<PendingActionType, uint64_t>> actions;

    mutable std::mutex transportMutex;
    Transport transport;
};

} // namespace kiv_proxy
