#pragma once

#include <cstddef>
#include <cstdint>

namespace Proxy {
class IProtokol;
}

namespace kiv_proxy {

// Room for the message header on top of the payload when packing.
constexpr size_t kMessageOverhead = 64;
// PMT_SEND_DATA_CONTROL payloads start with a big-endian packet number.
constexpr size_t kPacketNumberSize = 4;

// Packs the message into a zeroed buffer of `bufferSize` bytes and writes it
// to the terminal under serial_port_mutex; a blocking write waits for the
// terminal's confirmation. Returns false when there is no transport.
// Exceptions of packing and writing reach the caller.
bool writeToTerminal(Proxy::IProtokol& message, size_t bufferSize, bool blocking = true);

// A connection command (status only) with the serial number "123456789".
bool sendConnectionStatus(uint64_t id, int messageType, int status, size_t bufferSize);

// Close notification: PMT_CONNECTION_CONTROL with status -3.
bool sendCloseNotification(uint64_t id);

} // namespace kiv_proxy
