#include "service/Dispatcher.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <typeinfo>
#include <vector>

#include "LibMisc/CCode/Bytes.h"
#include "LibMisc/json.h"
#include "config/ProxyConfig.h"
#include "logging/Logger.h"
#include "protocol/ProxyProtokol.h"
#include "serial/SerialPortTransport.h"
#include "service/HostConnection.h"
#include "service/ProxyState.h"
#include "service/TerminalWriter.h"
#include "tunnel/ConnectionIDHolder.h"

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

using kiv_proxy::kMessageOverhead;
using kiv_proxy::kPacketNumberSize;

constexpr size_t kReadBufferSize = 64064;
constexpr int kStatusConnected = 0;
constexpr int kStatusClosed = -3;
constexpr int kMinKeepAliveTimeout = 101;
constexpr int kMaxKeepAliveTimeout = 9999;
constexpr int kListenerKind = kiv_proxy::ConnectionIDHolder::kListenerConnection;
constexpr int kHostKind = kiv_proxy::ConnectionIDHolder::kHostConnection;

auto& log() { return logger::Log::s_CoreLogger; }

kiv_proxy::ConnectionIDHolder& registry() { return kiv_proxy::ConnectionIDHolder::getManager(); }

// The living host connection for `id`, or the result code of the lookup.
std::shared_ptr<Client> findClient(uint64_t id, int& code)
{
    Lock lock(client_map_access);
    auto entry = client_map.find(id);
    if (entry == client_map.end()) {
        log()->error("[SerialPort] Client not found");
        code = -1;
        return nullptr;
    }
    auto client = entry->second.lock();
    if (!client) {
        log()->error("[SerialPort] Client pointer is empty");
        code = -2;
        return nullptr;
    }
    code = 0;
    return client;
}

void sendHostPacket(uint64_t id, const LibMisc::ByteArray& payload)
{
    if (payload.size <= kPacketNumberSize) {
        log()->error("[SerialPort]: Error send data to client");
        return;
    }
    int code = 0;
    Lock lock(client_map_access);
    auto client = findClient(id, code);
    const auto number = static_cast<uint32_t>(ltools_bytesToull(payload.data, kPacketNumberSize));
    if (!client || !client->sendPacket(number, payload.data + kPacketNumberSize, payload.size - kPacketNumberSize))
        log()->error("[SerialPort]: Error send data to client");
}

void handleConnectionData(const Proxy::DataProtokol& message)
{
    const uint64_t id = message.getConnectionId();
    const auto type = message.getTMessageType();
    log()->info(type == Proxy::PMT_SEND_DATA ? "[SerialPort]: PMT_SEND_DATA" : "[SerialPort]: PMT_SEND_DATA_CONTROL");
    const auto [known, kind] = registry().hasConnectionID(id);
    const LibMisc::ByteArray& payload = message.getData();
    if (!known) {
        log()->info("[SerialPort]: Client not found? id: {}. Send close", id);
        std::thread(&Client::closeClient, id).detach();
    } else if (kind == kListenerKind) {
        const size_t skip = type == Proxy::PMT_SEND_DATA_CONTROL ? std::min(payload.size, kPacketNumberSize) : 0;
        if (g_blThreadCallbacks.onSendData)
            g_blThreadCallbacks.onSendData(id, payload.data + skip, payload.size - skip);
    } else if (kind == kHostKind) {
        if (type == Proxy::PMT_SEND_DATA_CONTROL)
            sendHostPacket(id, payload);
        else if (sendToClient(id, payload) != 0)
            log()->error("[SerialPort]: Error send data to client");
    }
}

void handleSendResult(const Proxy::DataProtokol& message)
{
    log()->info("[SerialPort] PMT_SEND_DATA_RESULT");
    const LibMisc::ByteArray& payload = message.getData();
    const uint64_t result = ltools_bytesToull(payload.data, payload.size);
    if (result != 0) {
        closeClient(message.getConnectionId());
        log()->error("[SerialPort] Error receive the send data result: {}", static_cast<int32_t>(result));
    }
}

void handleCashierData(const Proxy::DataProtokol& message)
{
    log()->info("[SerialPort] PMT_EVENT_DATA");
    const LibMisc::ByteArray& payload = message.getData();
    gCashierClient.send(payload.data, payload.size);
}

// The confirmation time-out the terminal asks for in its keep-alive, if valid.
std::optional<int> requestedTimeout(const LibMisc::ByteArray& payload)
{
    const auto* text = reinterpret_cast<const char*>(payload.data);
    try {
        json::JSON request = json::JSON::Load(std::string(text, strnlen(text, payload.size)));
        if (request.kind() != json::JSON::ObjectValue || !request.hasMember("confirmation_timeout"))
            return std::nullopt;
        const json::JSON& value = request["confirmation_timeout"];
        if (value.kind() != json::JSON::IntegerValue)
            return std::nullopt;
        const int64_t timeout = value.integerValue();
        if (timeout < kMinKeepAliveTimeout || timeout > kMaxKeepAliveTimeout)
            return std::nullopt;
        return static_cast<int>(timeout);
    } catch (const std::exception& e) {
        log()->error("[SerialPort] Error parse keep alive : {}", e.what());
        return std::nullopt;
    }
}

void handleKeepAlive(const Proxy::DataProtokol& message, LibMisc::ISerialPortTrasport& port, const ProxyConfig& config)
{
    log()->debug("[SerialPort] PMT_EVENT_ACCESS");
    int timeout = config.getConfirmationTimeout();
    if (message.getData().size > 0) {
        if (const auto requested = requestedTimeout(message.getData())) {
            Lock lock(serial_port_mutex);
            port.setConfirmationTimeout(static_cast<unsigned>(*requested));
            timeout = *requested;
        }
    }
    auto answer = std::make_shared<Proxy::DataProtokol>(message.getConnectionId(), Proxy::PMT_EVENT_ACCESS);
    const std::string info = config.getProxyInfo(timeout);
    answer->setData(LibMisc::ByteArray(info));
    // Not on this thread: only this thread reads the terminal's confirmations.
    std::thread([answer, size = info.size() + kMessageOverhead] {
        try {
            kiv_proxy::writeToTerminal(*answer, size, false);
        } catch (const std::exception& e) {
            log()->error("[SerialPort] Error send keep alive confirmation: {}", e.what());
        }
    }).detach();
}

void handleData(const Proxy::DataProtokol& message, LibMisc::ISerialPortTrasport& port, const ProxyConfig& config)
{
    switch (message.getTMessageType()) {
    case Proxy::PMT_SEND_DATA:
    case Proxy::PMT_SEND_DATA_CONTROL:
        handleConnectionData(message);
        break;
    case Proxy::PMT_SEND_DATA_RESULT:
        handleSendResult(message);
        break;
    case Proxy::PMT_EVENT_DATA:
        handleCashierData(message);
        break;
    case Proxy::PMT_EVENT_ACCESS:
        handleKeepAlive(message, port, config);
        break;
    default:
        break;
    }
}

void openHostConnection(const Proxy::CmdProtokol& command)
{
    const uint64_t id = command.getConnectionId();
    const Proxy::TcpConnInfo target = command.getNewConnection();
    registry().addHostId(id);
    Lock lock(client_map_access);
    auto client = Client::create(id);
    client->setTarget(target.ip, target.port, target.timeout);
    std::thread(lanProcess, new std::shared_ptr<Client>(client)).detach();
}

void handleConnectionStatus(const Proxy::CmdProtokol& command)
{
    const uint64_t id = command.getConnectionId();
    const int status = command.getConnectionStatus();
    log()->info("[SerialPort] Result command: {}", status);
    const auto [known, kind] = registry().hasConnectionID(id);
    if (status == kStatusClosed) {
        if (closeClient(id) != 0)
            log()->error("[SerialPort] Error send status to client");
        if (known) {
            if (kind == kListenerKind && g_blThreadCallbacks.closeConnection)
                g_blThreadCallbacks.closeConnection(id);
            registry().removeConnectionId(id);
        }
        return;
    }
    {
        Lock lock(client_map_access);
        if (client_map.count(id) != 0) {
            const int32_t raw = status;
            const LibMisc::ByteArray bytes(reinterpret_cast<const unsigned char*>(&raw), sizeof(raw));
            if (sendToClient(id, bytes) != 0)
                log()->error("[SerialPort] Error send status to client");
        }
    }
    if (status == kStatusConnected && known && kind == kListenerKind && g_blThreadCallbacks.markConnectionOk) {
        g_blThreadCallbacks.markConnectionOk(id);
        log()->info("[ProxyThread]: Connection status is ok: for {0}", id);
    }
}

void handleCommand(const Proxy::CmdProtokol& command)
{
    const auto type = command.getTMessageType();
    if (type != Proxy::PMT_CONNECTION_CONTROL && type != Proxy::PMT_CONNECTION_RESULT)
        return;
    if (command.isBufferSize()) {
        const int size = command.getBufferSize();
        if (GlobalBufferSize::acceptable(size))
            GlobalBufferSize::set(size);
    }
    log()->info("[SerialPort] Buffer size: {}", GlobalBufferSize::get());
    if (command.isNewConnenection())
        openHostConnection(command);
    if (command.isConnectionStatus())
        handleConnectionStatus(command);
}

void dispatch(unsigned char* bytes, int length, LibMisc::ISerialPortTrasport& port, const ProxyConfig& config)
{
    if (logger::Log::isHexDumpEnable())
        log()->info("[SerialPort] Read from terminal: {}", kiv_proxy::HexDump16ToString(bytes, static_cast<size_t>(length)));
    const auto message = Proxy::protocolDeserialize(bytes, static_cast<unsigned>(length));
    if (!message)
        return;
    const Proxy::IProtokol& received = *message;
    if (typeid(received) == typeid(Proxy::CmdProtokol))
        handleCommand(static_cast<const Proxy::CmdProtokol&>(received));
    else if (typeid(received) == typeid(Proxy::DataProtokol))
        handleData(static_cast<const Proxy::DataProtokol&>(received), port, config);
}

} // namespace

int sendToClient(uint64_t id, const LibMisc::ByteArray& bytes)
{
    int code = 0;
    Lock lock(client_map_access);
    auto client = findClient(id, code);
    if (!client)
        return code;
    return client->sendData(bytes.data, bytes.size) ? 0 : -3;
}

int closeClient(uint64_t id)
{
    int code = 0;
    Lock lock(client_map_access);
    auto client = findClient(id, code);
    if (client)
        client->closeByTerminal();
    return code;
}

void serialPortReceiving(std::shared_ptr<LibMisc::ISerialPortTrasport>& port, const ProxyConfig& config)
{
    log()->info("[SerialPort] Data reading...");
    std::vector<unsigned char> buffer(kReadBufferSize);
    while (serviceRunning()) {
        int length = 0;
        try {
            length = port->read(buffer.data(), buffer.size());
        } catch (const std::exception& e) {
            log()->error("[SerialPort] Read exception: {}", e.what());
            return;
        } catch (...) {
            log()->error("[SerialPort] Unknown exception");
            return;
        }
        if (length <= 0)
            continue;
        try {
            dispatch(buffer.data(), length, *port, config);
        } catch (const Proxy::IProxyException& e) {
            log()->error("[SerialPort] Exception unpack data: {}", e.what());
        } catch (const std::exception& e) {
            log()->error("[SerialPort] Read exception: {}", e.what());
        } catch (...) {
            log()->error("[SerialPort] Unknown exception");
        }
    }
}

void serialPortProcess(std::shared_ptr<LibMisc::ISerialPortTrasport>* heldPort, const ProxyConfig& config)
{
    std::unique_ptr<std::shared_ptr<LibMisc::ISerialPortTrasport>> port(heldPort);
    try {
        serialPortReceiving(*port, config);
    } catch (const std::exception& e) {
        log()->error("[SerialPort] Exception: {}", e.what());
    } catch (...) {
        log()->error("[SerialPort] Unknown exception");
    }
    log()->info("[SerialPort] SerialPortProcess stop");
}
