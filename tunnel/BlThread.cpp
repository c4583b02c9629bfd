#include "tunnel/BlThread.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <stdexcept>

#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "logging/Logger.h"
#include "serial/ISerialPortTrasport.h"
#include "tunnel/ListenerMessages.h"

namespace kiv_proxy {

namespace {

// Pending connections expire between wake-ups.
constexpr int kPollPeriodMs = 1000;
// pollSet holds the listener, the wake-up descriptor, then the clients.
constexpr size_t kListenerEntry = 0;
constexpr size_t kWakeEntry = 1;
constexpr size_t kFirstClientEntry = 2;
constexpr size_t kReceiveBufferSize = 64000;
constexpr int kWriteAttempts = 3;
constexpr std::chrono::milliseconds kAnnounceRetryPause{200};
// How long a client may leave terminal data unread before it is given up.
constexpr std::chrono::milliseconds kClientStallTimeout{1000};
constexpr int kStatusClosed = -3;
constexpr int kMaxPort = 65535;

spdlog::logger& log() { return *logger::Log::s_CoreLogger; }

const char* pollErrorText(short revents)
{
    switch (revents) {
    case POLLHUP:
        return "POLLHUP";
    case POLLNVAL:
        return "POLLNVAL";
    case POLLERR:
        return "POLLERR";
    default:
        return "OtherReason";
    }
}

// The confirmed-frame protocol reports success as 0, the packet protocol as
// the length: only a negative result is a failure.
bool writeSucceeded(int result) { return result >= 0; }

} // namespace

BlThread::BlThread(ConnectionIDHolder& registry, std::chrono::milliseconds pendingTimeout)
    : _registry(registry), _pendingTimeout(pendingTimeout)
{
}

BlThread::~BlThread()
{
    stop();
    if (listenerThread.joinable())
        listenerThread.join();
    listenSocket.close();
    if (const int wake = wakeDescriptor.exchange(-1); wake >= 0)
        ::close(wake);
    for (auto& entry : clients)
        _closeClient(*entry.second);
    for (auto& entry : pending)
        entry.second.socket.close();
}

void BlThread::run(const std::string& ip, int port, Transport newTransport, const std::string& portText)
{
    const int connectPort = std::stoi(portText);
    if (connectPort < 0 || connectPort > kMaxPort)
        throw std::out_of_range("port to connect out of range: " + portText);
    if (listenerThread.joinable())
        throw std::logic_error("BlThread::run called twice");

    setTransport(std::move(newTransport));
    portToConnect = connectPort;

    if (!listenSocket.create(true)) {
        log().error("[BlThread]: Failed to create socket");
        listenSocket.close();
        return;
    }
    if (!listenSocket.bind(IpAddress(ip, port))) {
        log().error("[BlThread]: Failed to bind socket");
        listenSocket.close();
        return;
    }
    if (!listenSocket.listen()) {
        log().error("[BlThread]: Failed to listen on socket");
        listenSocket.close();
        return;
    }
    wakeDescriptor = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeDescriptor < 0) {
        log().error("[BlThread]: Failed to create the wake-up descriptor");
        listenSocket.close();
        return;
    }
    pollSet.push_back(pollfd{listenSocket.getDescriptor(), POLLIN, 0});
    pollSet.push_back(pollfd{wakeDescriptor, POLLIN, 0});
    running = true;
    log().warn("[BlThread]: Start OK!");
    listenerThread = std::thread(&BlThread::threadFunction, this);
}

void BlThread::stop()
{
    running = false;
    _wake();
}

void BlThread::_wake()
{
    // Set in run() before the thread starts; closed only after it ended.
    if (wakeDescriptor >= 0)
        eventfd_write(wakeDescriptor, 1);
}

void BlThread::setTransport(Transport newTransport)
{
    std::lock_guard<std::mutex> lock(transportMutex);
    transport = std::move(newTransport);
}

BlThread::Transport BlThread::_currentTransport() const
{
    std::lock_guard<std::mutex> lock(transportMutex);
    return transport;
}

int BlThread::getPort() const { return listenSocket.getLocalPort(); }

void BlThread::markConnectionOk(uint64_t id) { _queueAction(ConnectionOk, id); }

void BlThread::closeConnection(uint64_t id) { _queueAction(CloseConnection, id); }

void BlThread::_queueAction(PendingActionType type, uint64_t id)
{
    {
        std::lock_guard<std::mutex> lock(actionsMutex);
        actions.emplace_back(type, id);
    }
    _wake();
}

void BlThread::onSendData(uint64_t id, const unsigned char* data, size_t length)
{
    std::shared_ptr<BlClient> client;
    {
        std::lock_guard<std::mutex> lock(mapsMutex);
        const auto it = clients.find(id);
        if (it != clients.end())
            client = it->second;
    }
    if (!client) {
        log().error("[BlThread]: onSendData. Founded Client is nullptr. ConnID: {0}", id);
        return;
    }
    std::lock_guard<std::mutex> sendLock(client->sendMutex);
    if (!client->active)
        return;
    if (client->socket.sendAll(data, length, kClientStallTimeout))
        return;
    const int error = errno;
    log().error("[BlThread]: onSendData. SendBytes: {0}", -1);
    // The rest of the answer is lost: end the connection rather than hand the
    // client a stream with a gap. The listener thread sees the hang-up,
    // removes the client and tells the terminal.
    log().warn("[BlThread]: onSendData. Ending connection {0}: {1}", id, std::strerror(error));
    ::shutdown(client->socket.getDescriptor(), SHUT_RDWR);
}

void BlThread::threadFunction()
{
    try {
        _pollLoop();
    } catch (const std::exception& e) {
        log().error("[BlThread]: exception: {0}", e.what());
    }
}

void BlThread::_pollLoop()
{
    std::vector<unsigned char> buffer(kReceiveBufferSize);
    while (running) {
        drainPendingActions();
        _closeExpiredPending();
        const int ready = poll(pollSet.data(), pollSet.size(), kPollPeriodMs);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            log().error("[BlThread]: PollError {0}: ", errno);
            return;
        }
        if (ready == 0)
            continue;
        if (pollSet[kWakeEntry].revents & POLLIN) {
            eventfd_t wakes;
            eventfd_read(wakeDescriptor, &wakes);
        }
        tryAccept();
        for (size_t i = kFirstClientEntry; i < pollSet.size();) {
            if (_serveClient(i, buffer))
                ++i;
        }
    }
}

bool BlThread::_serveClient(size_t i, std::vector<unsigned char>& buffer)
{
    const pollfd entry = pollSet[i];
    if (entry.revents & (POLLERR | POLLHUP | POLLNVAL)) {
        log().error("[BlThread]: Client socket. Reason: {0}, fd={1}", pollErrorText(entry.revents), entry.fd);
        // The terminal would otherwise keep its side of a reset connection open.
        if (const auto id = removeClientByIndex(i))
            sendConnectionResult(*id, kStatusClosed);
        return false;
    }
    if (!(entry.revents & POLLIN))
        return true;

    const FoundClient found = _findClientByFd(entry.fd);
    if (!found.client) {
        removeClientByIndex(i);
        return false;
    }
    const int received = found.client->socket.recv(buffer.data(), static_cast<int>(buffer.size()));
    if (received > 0) {
        log().info("[BlThread]: ReceivedData: {0} bytes. Fd: {1}. ConnectionID: {2}", received, entry.fd, found.id);
        if (log().should_log(spdlog::level::debug))
            log().debug("[BlThread]: HexDump: {0}", HexDump16ToString(buffer.data(), static_cast<size_t>(received)));
        if (sendData2ComPort(found.id, buffer.data(), static_cast<size_t>(received)) == 0)
            return true;
        // Dropping the bytes would leave a gap in the client's stream.
        log().warn("[BlThread]: Data not delivered to the terminal, closing client. ConnectionID: {0}", found.id);
    } else {
        if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return true;
        log().warn("[BlThread]: Client disconnected, fd={0}. recvBytes = {1}", entry.fd, received);
    }
    removeClientByIndex(i);
    sendConnectionResult(found.id, kStatusClosed);
    return false;
}

void BlThread::tryAccept()
{
    if (!(pollSet[kListenerEntry].revents & POLLIN))
        return;

    TcpSocket client;
    const Transport port = _currentTransport();
    if (!port) {
        listenSocket.accept(client);
        log().warn("[BlThread]: Serial port is not ready, rejecting incoming connection");
        client.close();
        return;
    }
    if (!listenSocket.accept(client)) {
        log().error("[BlThread]: accept() failed: {0}", errno);
        return;
    }
    log().info("[BlThread]: New client accepted: {0}", client.getDescriptor());

    const uint64_t id = _registry.generateConnectionId();
    log().warn("[BlThread]: Generate ConnectionID: {0}", id);
    _registry.addListenerId(id);

    log().warn("[BlThread]: Creating!~! Command Protocol");
    std::vector<unsigned char> request;
    try {
        request = packConnectionRequest(id, portToConnect);
    } catch (const std::exception&) {
        log().error("[BlThread]: Error to pack. Close connection");
        client.close();
        return;
    }
    log().warn("[BlThread]: Created Command Protocol");

    if (!client.makeNonBlocking()) {
        log().error("[BlThread]: OnAccept. Can't make socket nonblocking.");
        client.close();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mapsMutex);
        pending[id] = PendingClient{client, std::chrono::steady_clock::now()};
    }
    log().warn("[BlThread]: Send 2 ComPort");
    _announce(id, request, port);
}

void BlThread::_announce(uint64_t id, const std::vector<unsigned char>& request, const Transport& port)
{
    try {
        for (int attempt = 1; attempt <= kWriteAttempts; ++attempt) {
            const int result = port->write(request.data(), request.size());
            if (writeSucceeded(result)) {
                log().warn("[BlThread]: Success write to ComPort {0}: bytes", request.size());
                return;
            }
            log().error("[BlThread]: [!] ErrorWrite to ComPort {0}: bytes", result);
            if (attempt < kWriteAttempts)
                std::this_thread::sleep_for(kAnnounceRetryPause);
        }
    } catch (const std::exception& e) {
        // Whether the terminal got the request is unknown: the connection
        // stays pending until it answers or the pending time-out ends it.
        log().error("[BlThread]: OnAccept Error to send2ComPort {0}", e.what());
        return;
    }
    log().warn("[BlThread]: [!] No add to clients. Due to error write to ComPort");
    if (auto socket = _takePending(id))
        socket->close();
}

void BlThread::drainPendingActions()
{
    std::deque<std::pair<PendingActionType, uint64_t>> queued;
    {
        std::lock_guard<std::mutex> lock(actionsMutex);
        queued.swap(actions);
    }
    for (const auto& [type, id] : queued) {
        switch (type) {
        case ConnectionOk:
            doMarkConnectionOk(id);
            break;
        case CloseConnection:
            doCloseConnection(id);
            break;
        }
    }
}

void BlThread::doMarkConnectionOk(uint64_t id)
{
    std::lock_guard<std::mutex> lock(mapsMutex);
    const auto it = pending.find(id);
    if (it == pending.end()) {
        log().error("[BlThread]: [!] Possible Connection not found. {0}", id);
        return;
    }
    auto client = std::make_shared<BlClient>(it->second.socket);
    pending.erase(it);
    pollSet.push_back(pollfd{client->socket.getDescriptor(), POLLIN, 0});
    clients[id] = std::move(client);
}

void BlThread::doCloseConnection(uint64_t id)
{
    std::shared_ptr<BlClient> client;
    {
        std::lock_guard<std::mutex> lock(mapsMutex);
        const auto it = clients.find(id);
        if (it != clients.end()) {
            client = it->second;
            clients.erase(it);
        }
    }
    if (client) {
        log().info("[BlThread]: Close Connection. ID: {0}", id);
        const int fd = client->socket.getDescriptor();
        const auto ownedByClient = [fd](const pollfd& e) { return e.fd == fd; };
        pollSet.erase(std::remove_if(pollSet.begin() + kFirstClientEntry, pollSet.end(), ownedByClient), pollSet.end());
        _closeClient(*client);
        return;
    }
    // A refusal of a connection still waiting for its answer.
    if (auto socket = _takePending(id)) {
        log().info("[BlThread]: Close Connection. ID: {0}", id);
        socket->close();
        return;
    }
    log().warn("[BlThread]: [?] Close Connection. No Client ID: {0}", id);
}

std::optional<uint64_t> BlThread::removeClientByIndex(size_t i)
{
    const int fd = pollSet[i].fd;
    log().warn("[BlThread]: Remove client. SocketHandler: {0}", fd);
    const FoundClient found = _takeClientByFd(fd);
    // An entry no client owns goes too: kept, it would wake every poll.
    pollSet.erase(pollSet.begin() + static_cast<std::ptrdiff_t>(i));
    if (!found.client) {
        log().warn("[BlThread]: Not found client by fd: {0}", fd);
        return std::nullopt;
    }
    _closeClient(*found.client);
    return found.id;
}

void BlThread::_closeExpiredPending()
{
    const auto now = std::chrono::steady_clock::now();
    std::vector<std::pair<uint64_t, TcpSocket>> expired;
    {
        std::lock_guard<std::mutex> lock(mapsMutex);
        for (auto it = pending.begin(); it != pending.end();) {
            if (now - it->second.announcedAt < _pendingTimeout) {
                ++it;
                continue;
            }
            expired.emplace_back(it->first, it->second.socket);
            it = pending.erase(it);
        }
    }
    for (auto& [id, socket] : expired) {
        log().warn("[BlThread]: No answer from the terminal, closing pending connection. ID: {0}", id);
        socket.close();
        sendConnectionResult(id, kStatusClosed);
    }
}

std::optional<TcpSocket> BlThread::_takePending(uint64_t id)
{
    std::lock_guard<std::mutex> lock(mapsMutex);
    const auto it = pending.find(id);
    if (it == pending.end())
        return std::nullopt;
    TcpSocket socket = it->second.socket;
    pending.erase(it);
    return socket;
}

BlThread::ClientMap::iterator BlThread::_clientByFdLocked(int fd)
{
    return std::find_if(clients.begin(), clients.end(),
                        [fd](const auto& entry) { return entry.second->socket.getDescriptor() == fd; });
}

BlThread::FoundClient BlThread::_findClientByFd(int fd)
{
    std::lock_guard<std::mutex> lock(mapsMutex);
    const auto it = _clientByFdLocked(fd);
    return it == clients.end() ? FoundClient{} : FoundClient{it->first, it->second};
}

BlThread::FoundClient BlThread::_takeClientByFd(int fd)
{
    std::lock_guard<std::mutex> lock(mapsMutex);
    const auto it = _clientByFdLocked(fd);
    if (it == clients.end())
        return FoundClient{};
    FoundClient found{it->first, it->second};
    clients.erase(it);
    return found;
}

void BlThread::_closeClient(BlClient& client)
{
    std::lock_guard<std::mutex> sendLock(client.sendMutex);
    client.active = false;
    client.socket.close();
}

int BlThread::sendData2ComPort(uint64_t id, const unsigned char* data, size_t length)
{
    const Transport port = _currentTransport();
    if (!port)
        return -1;
    if (!port->isConnected())
        return -2;
    std::vector<unsigned char> message;
    try {
        message = packClientData(id, data, length);
    } catch (const std::exception& e) {
        log().error("[BlThread]: exception: {0}", e.what());
        return -3;
    }
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
        try {
            const int result = port->write(message.data(), message.size());
            if (writeSucceeded(result))
                return 0;
            log().error("[BlThread]: write error: {0}", result);
        } catch (const std::exception& e) {
            log().error("[BlThread]: exception: {0}", e.what());
        }
    }
    return -3;
}

void BlThread::sendConnectionResult(uint64_t id, int status)
{
    const Transport port = _currentTransport();
    if (!port || !port->isConnected())
        return;
    try {
        const std::vector<unsigned char> message = packConnectionResult(id, status);
        port->write(message.data(), message.size());
    } catch (const std::exception& e) {
        log().error("[BlThread]: exception: {0}", e.what());
    }
}

} // namespace kiv_proxy
