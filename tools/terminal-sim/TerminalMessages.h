#pragma once

// Tunnel messages as the terminal writes and reads them.

#include "protocol/ProxyProtokol.h"
#include "tools/terminal-sim/TerminalWire.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace terminal_sim {

// Connection status that closes or refuses a connection.
constexpr int statusClosed = -3;
constexpr int statusConnected = 0;
// The service numbers the connections of its tunnel listener from here on.
constexpr uint64_t firstListenerId = 100000;
// The most payload bytes the terminal puts into one data message of its own.
constexpr std::size_t dataChunk = 4096;

// One message received from the service.
struct TunnelMessage {
    uint16_t type = 0;
    uint64_t connectionId = 0;
    Bytes payload;
    Bytes bytes; // the whole message as it came off the line

    // Nothing when the header does not describe the bytes.
    static std::optional<TunnelMessage> parse(const Bytes& bytes);

    // The C3 status of a command message, if it carries one.
    std::optional<int> connectionStatus() const;
    // The parameters of a command that asks for a new connection.
    std::optional<Proxy::TcpConnInfo> newConnection() const;
    // The bytes of a PMT_SEND_DATA or PMT_SEND_DATA_CONTROL message, without
    // the packet number.
    std::optional<Bytes> connectionData() const;

private:
    std::optional<Proxy::CmdProtokol> _command() const;
};

// Type 53 for id 0: empty, or {"confirmation_timeout": N}.
Bytes keepAlive(std::optional<int> confirmationTimeout);
// PMT_CONNECTION_CONTROL asking the service to open a host connection.
Bytes connectionRequest(uint64_t id, const std::string& ip, uint16_t port, int timeoutSeconds,
                        const std::string& serial);
// A command (PMT_CONNECTION_CONTROL or PMT_CONNECTION_RESULT) with one status.
Bytes connectionStatus(uint64_t id, Proxy::ProxyMessType type, int status, const std::string& serial);
// PMT_SEND_DATA, PMT_EVENT_DATA or any other data message.
Bytes dataMessage(Proxy::ProxyMessType type, uint64_t id, const Bytes& payload);
// Data messages of at most `chunk` payload bytes that carry `bytes` in order.
std::vector<Bytes> dataMessages(Proxy::ProxyMessType type, uint64_t id, const Bytes& bytes, std::size_t chunk);
// PMT_SEND_DATA_CONTROL: the packet number, then the data.
Bytes dataControlMessage(uint64_t id, uint32_t packetNumber, const Bytes& payload);

// Empty when the keep-alive answer is the service's proxy information text
// followed by one zero byte (and, when given, announces the expected
// confirmation time-out); otherwise what is wrong with it.
std::string proxyInformationFault(const Bytes& payload, std::optional<int> expectedConfirmationTimeout);

} // namespace terminal_sim
