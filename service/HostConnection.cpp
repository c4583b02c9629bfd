#include "service/HostConnection.h"

#include <arpa/inet.h>
#include <cstring>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "LibMisc/ByteArray.h"
#include "LibMisc/CCode/Bytes.h"
#include "LibMisc/CCode/Communication/Sockets.h"
#include "logging/Logger.h"
#include "protocol/ProxyProtokol.h"
#include "serial/SerialPortExceptions.h"
#include "serial/SerialPortTransport.h"
#include "service/ProxyState.h"
#include "service/TerminalWriter.h"

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

using kiv_proxy::kMessageOverhead;
using kiv_proxy::kPacketNumberSize;

constexpr size_t kConnectResultBuffer = 64000;
constexpr int kChunksBeforePause = 6;
constexpr auto kPause = std::chrono::milliseconds(100);

auto& log() { return logger::Log::s_CoreLogger; }

bool sameObject(const std::weak_ptr<Client>& a, const std::weak_ptr<Client>& b)
{
    return !a.owner_before(b) && !b.owner_before(a);
}

} // namespace

std::shared_ptr<Client> Client::create(uint64_t id)
{
    std::shared_ptr<Client> client(new Client(id));
    Lock registry(client_map_access);
    auto& entry = client_map[id];
    if (auto previous = entry.lock())
        previous->closeByTerminal();
    entry = client;
    return client;
}

Client::~Client()
{
    log()->debug("Destroy client\n");
    if (!_noCloseNotice) {
        // Sent from its own thread: the last reference may be dropped on the
        // dispatcher thread, which alone receives the confirmation this write awaits.
        std::thread(&Client::closeClient, _id).detach();
    }
    Lock registry(client_map_access);
    auto entry = client_map.find(_id);
    if (entry != client_map.end() && sameObject(entry->second, weak_from_this()))
        client_map.erase(entry);
}

void Client::setTarget(const std::string& ip, uint16_t port, const LibMisc::TimeSpec& timeout)
{
    Lock lock(_mutex);
    snprintf(_ip, sizeof(_ip), "%s", ip.c_str());
    _port = port;
    _timeout = timeout;
}

void Client::openConnectResult(int status)
{
    try {
        kiv_proxy::sendConnectionStatus(_id, Proxy::PMT_CONNECTION_RESULT, status, kConnectResultBuffer);
    } catch (const std::exception& e) {
        log()->error("Write to serial port exception: {}", e.what());
    }
}

void Client::closeClient(uint64_t id)
{
    try {
        kiv_proxy::sendCloseNotification(id);
    } catch (const std::exception& e) {
        log()->error("[Lan service] SerialPort write CLOSE CONNECTION error: {}", e.what());
    }
}

bool Client::sendData(const unsigned char* data, size_t length)
{
    Lock lock(_mutex);
    return _sendLocked(data, length);
}

bool Client::sendPacket(uint32_t number, const unsigned char* data, size_t length)
{
    Lock lock(_mutex);
    if (number != _expectedPacketNumber) {
        log()->error("[SerialPort] Packet number error. Wait: {} read: {}", _expectedPacketNumber, number);
        if (number < _expectedPacketNumber)
            return true; // a repeated packet
    }
    if (!_sendLocked(data, length))
        return false;
    ++_expectedPacketNumber;
    return true;
}

void Client::closeByTerminal()
{
    Lock lock(_mutex);
    _noCloseNotice = true;
    _shutdownLocked();
}

bool Client::_sendLocked(const unsigned char* data, size_t length)
{
    _noCloseNotice = false;
    if (_socket != -1 && LibMisc_Send(_socket, data, length, 0) == static_cast<int>(length))
        return true;
    log()->error("[SerialPort] Send data to client error");
    _shutdownLocked();
    return false;
}

// Wakes the connection's thread, which closes the descriptor it owns.
void Client::_shutdownLocked()
{
    if (_socket == -1)
        return;
    shutdown(_socket, SHUT_RDWR);
    _socket = -1;
}

namespace {

LibMisc::ByteArray chunkPayload(int protocolType, uint32_t packet, const unsigned char* chunk, size_t length)
{
    if (protocolType == 0)
        return LibMisc::ByteArray(chunk, length);
    LibMisc::ByteArray payload(kPacketNumberSize + length);
    ltools_ullToBytes(payload.data, packet, kPacketNumberSize);
    memcpy(payload.data + kPacketNumberSize, chunk, length);
    return payload;
}

int terminalProtocolType()
{
    Lock lock(serial_port_mutex);
    auto* transport = dynamic_cast<LibMisc::SerialPortTransport*>(pSerialPort.get());
    if (!transport || !transport->isOpen())
        return 0;
    const int type = transport->getProtocolType();
    log()->info("[Lan service] Using protocol: {}", type != 0 ? "NonBTP" : "BTP");
    return type;
}

// Forwards one chunk; true when the terminal confirmed it.
bool forwardChunk(uint64_t id, int protocolType, uint32_t packet, const unsigned char* chunk, size_t length)
{
    Proxy::DataProtokol message(id, protocolType != 0 ? Proxy::PMT_SEND_DATA_CONTROL : Proxy::PMT_SEND_DATA);
    message.setData(chunkPayload(protocolType, packet, chunk, length));
    std::vector<unsigned char> packed(length + kPacketNumberSize + kMessageOverhead, 0);
    const unsigned packedLength = message.pack(packed.data(), static_cast<unsigned>(packed.size()));

    Lock lock(serial_port_mutex);
    if (!pSerialPort || !pSerialPort->isOpen()) {
        log()->warn("[Lan service] SerialPort pointer is empty");
        return false;
    }
    try {
        pSerialPort->write(packed.data(), packedLength);
        return true;
    } catch (const LibMisc::EWriteData& e) {
        log()->error("[Lan service] Error: {}", e.what());
        return false;
    }
}

} // namespace

bool Client::_socketOpen() const
{
    Lock lock(_mutex);
    return _socket != -1;
}

void Client::_relayHostData(int fd)
{
    log()->info("[Lan service] Receive...");
    const int protocolType = terminalProtocolType();
    uint32_t packet = 0;
    int chunks = 0;
    std::vector<unsigned char> buffer;
    for (;;) {
        buffer.resize(static_cast<size_t>(GlobalBufferSize::get()));
        if (!_socketOpen())
            return;
        const int received = LibMisc_Receive(fd, buffer.data(), buffer.size(), 0, nullptr);
        if (received <= 0) {
            log()->error("[Lan service] Receive client data error: {}", received);
            return;
        }
        if (++chunks == kChunksBeforePause) {
            std::this_thread::sleep_for(kPause);
            chunks = 0;
        }
        if (logger::Log::isHexDumpEnable())
            log()->info("[Lan service] Receive hex: {}", kiv_proxy::HexDump16ToString(buffer.data(), received));
        if (forwardChunk(_id, protocolType, packet, buffer.data(), static_cast<size_t>(received)))
            ++packet;
    }
}

void lanProcess(std::shared_ptr<Client>* heldClient)
{
    std::shared_ptr<Client> client = std::move(*heldClient);
    delete heldClient;

    log()->info("[Lan service] Run client thread");
    char ip[sizeof(client->_ip)];
    uint16_t port;
    LibMisc::TimeSpec timeout;
    {
        Lock lock(client->_mutex);
        memcpy(ip, client->_ip, sizeof(ip));
        port = client->_port;
        timeout = client->_timeout;
    }
    log()->info("[Lan service] Receive TcpConnInfo, ip: {0}, port: {1}, timeout sec: {2}", ip, port, timeout.seconds());

    in_addr address{};
    address.s_addr = inet_addr(ip); // an invalid text gives the all-ones address
    timeval connectTimeout = static_cast<timeval>(timeout);
    int fd = -1;
    int error = 0;
    const int connected = LibMisc_tcpConnect(&address, port, &connectTimeout, &fd, &error);
    if (connected != 0) {
        client->openConnectResult(-3);
        log()->error("[Lan service] Connection error: {}", connected);
    } else {
        {
            Lock lock(client->_mutex);
            client->_socket = fd;
            client->_noCloseNotice = true;
        }
        client->openConnectResult(0);
        try {
            client->_relayHostData(fd);
        } catch (const std::exception& e) {
            log()->error("[Lan service] Client exception: {}", e.what());
        } catch (...) {
            log()->error("[Lan service] Client unknown exception");
        }
        {
            Lock lock(client->_mutex);
            client->_socket = -1;
        }
        close(fd);
    }
    log()->info("[Lan service] Close client connection");
}
