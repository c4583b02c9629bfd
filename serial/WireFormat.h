#pragma once

// Layout of everything that crosses the serial line: frames, control frames,
// packets and their acknowledgements, and the XOR check that guards them.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace SerialLink {

// Control frames: FE followed by one code.
constexpr uint8_t kControlPrefix = 0xFE;
constexpr uint8_t kAccepted = 0x06;
constexpr uint8_t kRejected = 0x15;
constexpr uint8_t kPacketMarker = 0xFD;
constexpr uint8_t kAcknowledgementMarker = 0xFC;

constexpr size_t kLengthSize = 2;
constexpr size_t kCheckSize = 2;
constexpr size_t kPacketIdSize = 8;
// FE FD and the length field.
constexpr size_t kPacketHeaderSize = 4;
// What a packet's length field counts besides the payload: identifier and check.
constexpr size_t kPacketOverhead = kPacketIdSize + kCheckSize;

// Tunnel keep-alive (type 53, connection id 0, no data) as a frame.
extern const uint8_t kKeepAliveFrame[16];

// Computes the check of the first `length` bytes; the transports supply theirs.
using Check = std::function<uint16_t(const uint8_t* bytes, size_t length)>;

// XOR of the complete big-endian 16-bit words among the first `length` bytes
// (a last odd byte is not covered). Not a polynomial CRC.
uint16_t xorWordCheck(const uint8_t* bytes, size_t length);

// The check of the confirmed-frame and packet protocols, called with a frame's
// length field L (or a packet's L + 2): the words at offsets below L - 2, so
// the last data bytes stay uncovered. 0 for L up to 2.
uint16_t coveredWordCheck(const uint8_t* bytes, size_t length);

uint16_t readBigEndian16(const uint8_t* bytes);

// Length n + 2, the n data bytes, then check(frame, n + 2).
// Throws std::invalid_argument when the data does not fit the length field.
std::vector<uint8_t> buildFrame(const uint8_t* data, size_t size, const Check& check);

// FE FD, L = n + 10, the identifier in machine byte order, the payload, then
// check(packet, L + 2). Throws std::invalid_argument when the payload does not fit.
std::vector<uint8_t> buildPacket(uint64_t id, const uint8_t* payload, size_t size, const Check& check);

// FE FC and the identifier bytes exactly as they were received.
std::vector<uint8_t> buildAcknowledgement(const uint8_t* idBytes);

} // namespace SerialLink
