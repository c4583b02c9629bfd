#include "tools/terminal-sim/TerminalMessages.h"

#include "LibMisc/CCode/Bytes.h"

#include <algorithm>
#include <cstring>

namespace terminal_sim {

namespace {

Bytes packed(Proxy::DataProtokol& message)
{
    Bytes out(message.getPackageSize());
    out.resize(message.pack(out.data(), static_cast<unsigned>(out.size())));
    return out;
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

std::optional<TunnelMessage> TunnelMessage::parse(const Bytes& bytes)
{
    if (bytes.size() < Proxy::headerSize)
        return std::nullopt;
    const std::size_t sizeField = ltools_bytesToull(bytes.data(), 2);
    if (sizeField < 10 || sizeField + 2 > bytes.size())
        return std::nullopt;
    TunnelMessage message;
    message.type = static_cast<uint16_t>(ltools_bytesToull(bytes.data() + 2, 2));
    message.connectionId = ltools_bytesToull(bytes.data() + 4, 8);
    message.payload.assign(bytes.begin() + Proxy::headerSize, bytes.begin() + static_cast<std::ptrdiff_t>(sizeField + 2));
    message.bytes = bytes;
    return message;
}

std::optional<Proxy::CmdProtokol> TunnelMessage::_command() const
{
    if (type != Proxy::PMT_CONNECTION_CONTROL && type != Proxy::PMT_CONNECTION_RESULT)
        return std::nullopt;
    Proxy::CmdProtokol command;
    try {
        command.unpack(bytes.data(), static_cast<unsigned>(bytes.size()));
    } catch (const LibMisc::TreeException&) {
        // no serial number; the rest may still be there
    }
    return command;
}

std::optional<int> TunnelMessage::connectionStatus() const
{
    const std::optional<Proxy::CmdProtokol> command = _command();
    if (!command || !command->isConnectionStatus())
        return std::nullopt;
    return command->getConnectionStatus();
}

std::optional<Proxy::TcpConnInfo> TunnelMessage::newConnection() const
{
    const std::optional<Proxy::CmdProtokol> command = _command();
    if (!command || !command->isNewConnenection())
        return std::nullopt;
    try {
        return command->getNewConnection();
    } catch (const LibMisc::TreeException&) {
        return std::nullopt; // parameters that do not fit their fields
    }
}

std::optional<Bytes> TunnelMessage::connectionData() const
{
    if (type == Proxy::PMT_SEND_DATA)
        return payload;
    if (type == Proxy::PMT_SEND_DATA_CONTROL && payload.size() >= 4)
        return Bytes(payload.begin() + 4, payload.end());
    return std::nullopt;
}

Bytes keepAlive(std::optional<int> confirmationTimeout)
{
    Bytes payload;
    if (confirmationTimeout) {
        const std::string json = "{\"confirmation_timeout\": " + std::to_string(*confirmationTimeout) + "}";
        payload.assign(json.begin(), json.end());
    }
    return dataMessage(Proxy::PMT_EVENT_ACCESS, 0, payload);
}

Bytes connectionRequest(uint64_t id, const std::string& ip, uint16_t port, int timeoutSeconds,
                        const std::string& serial)
{
    Proxy::TcpConnInfo info;
    std::strncpy(info.ip, ip.c_str(), sizeof(info.ip) - 1);
    info.port = port;
    info.timeout = timespec{timeoutSeconds, 0};
    Proxy::CmdProtokol command(id, Proxy::PMT_CONNECTION_CONTROL, serial);
    command.setNewConnection(info);
    return packed(command);
}

Bytes connectionStatus(uint64_t id, Proxy::ProxyMessType type, int status, const std::string& serial)
{
    Proxy::CmdProtokol command(id, type, serial);
    command.addConnectionStatus(status);
    return packed(command);
}

Bytes dataMessage(Proxy::ProxyMessType type, uint64_t id, const Bytes& payload)
{
    Proxy::DataProtokol message(id, type);
    message.setData(LibMisc::ByteArray(payload.data(), payload.size()));
    return packed(message);
}

std::vector<Bytes> dataMessages(Proxy::ProxyMessType type, uint64_t id, const Bytes& bytes, std::size_t chunk)
{
    std::vector<Bytes> messages;
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(at);
        const auto end = bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), at + chunk));
        messages.push_back(dataMessage(type, id, Bytes(begin, end)));
    }
    return messages;
}

Bytes dataControlMessage(uint64_t id, uint32_t packetNumber, const Bytes& payload)
{
    Bytes numbered(4);
    ltools_ullToBytes(numbered.data(), packetNumber, 4);
    numbered.insert(numbered.end(), payload.begin(), payload.end());
    return dataMessage(Proxy::PMT_SEND_DATA_CONTROL, id, numbered);
}

std::string proxyInformationFault(const Bytes& payload, std::optional<int> expectedConfirmationTimeout)
{
    if (payload.empty() || payload.back() != 0)
        return "not terminated by a zero byte";
    const std::string text(payload.begin(), payload.end() - 1);
    if (!startsWith(text, "{\n   \"proxy\": {\n") || text.back() != '}')
        return "not the proxy information text";
    if (text.find("\n       \"supported_NonBtp\" : 1\n") == std::string::npos)
        return "no \"supported_NonBtp\" : 1";

    const std::string key = "\n       \"confirmation_timeout\" : ";
    const std::size_t at = text.find(key);
    if (at == std::string::npos)
        return "no confirmation_timeout";
    const std::string announced = text.substr(at + key.size(), text.find(',', at) - at - key.size());
    if (expectedConfirmationTimeout && announced != std::to_string(*expectedConfirmationTimeout))
        return "confirmation_timeout " + announced + " instead of " + std::to_string(*expectedConfirmationTimeout);
    return {};
}

} // namespace terminal_sim
