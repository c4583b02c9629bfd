#pragma once

// Reading one unit of the packet protocol: an acknowledgement (FE FC + id) or
// a data packet (FE FD, length, id, payload, check). Any failure drops what
// was read; there is no negative acknowledgement.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "serial/LineInput.h"
#include "serial/WireFormat.h"

namespace SerialLink {

constexpr unsigned kPacketFieldTimeoutMs = 50;  // identifier of an acknowledgement, length field
constexpr unsigned kPacketBodyTimeoutMs = 100;

struct PacketResult {
    enum class Kind {
        SyncFailed,      // the device failed while looking for FE
        Acknowledgement, // id holds the acknowledged identifier
        ShortId,
        ShortLength,
        BadLength,
        ShortBody,
        BadCheck,
        Packet,          // packet holds the whole packet; the payload follows the id
        Unsupported      // marker holds the byte after FE
    };
    Kind kind = Kind::SyncFailed;
    uint8_t marker = 0;
    uint16_t length = 0; // the length field L
    uint16_t calculated = 0;
    uint16_t received = 0;
    uint8_t id[kPacketIdSize] = {};
    std::vector<uint8_t> packet;

    const uint8_t* payload() const { return packet.data() + kPacketHeaderSize + kPacketIdSize; }
    size_t payloadSize() const { return length - kPacketOverhead; }
};

// Skips everything up to FE, then reads the marker and what it announces.
// Packets whose length field exceeds `capacity` are refused.
PacketResult readPacket(ILineInput& input, size_t capacity, const Check& check);

// The same once FE and the marker byte have been consumed.
PacketResult readAfterMarker(uint8_t marker, ILineInput& input, size_t capacity, const Check& check);

} // namespace SerialLink
