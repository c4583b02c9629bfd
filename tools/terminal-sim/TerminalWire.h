#pragma once

// The terminal's side of the serial line: confirmed frames, NonBTP packets
// and their control bytes. Written apart from the service's transports so a
// fault shared by both sides cannot hide.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace terminal_sim {

using Bytes = std::vector<uint8_t>;
// Opaque on the line: echoed byte for byte in the acknowledgement.
using PacketId = std::array<uint8_t, 8>;

constexpr uint8_t controlByte = 0xFE;
constexpr uint8_t acceptedByte = 0x06;
constexpr uint8_t rejectedByte = 0x15;
constexpr uint8_t packetByte = 0xFD;
constexpr uint8_t acknowledgementByte = 0xFC;

// Longest tunnel messages the length fields can describe.
constexpr std::size_t maxFrameMessage = 0xFFFF - 2;
constexpr std::size_t maxPacketMessage = 0xFFFF - 10;

const Bytes frameAccepted = {controlByte, acceptedByte};
const Bytes frameRejected = {controlByte, rejectedByte};

// XOR of the 16-bit words at offsets 0, 2, ... below `limit` (so `limit`
// rounded up to even bytes are read): the high byte collects the even
// offsets, the low byte the odd ones.
uint16_t lineCheck(const uint8_t* bytes, std::size_t limit);

// Length L = n + 2, message, check over the first n bytes of the frame.
// std::length_error when the message does not fit the length field.
Bytes encodeFrame(const Bytes& message);
// FE FD, L = n + 10, identifier, message, check over the first L bytes.
Bytes encodePacket(const PacketId& id, const Bytes& message);
Bytes encodeAcknowledgement(const PacketId& id);

} // namespace terminal_sim
