#include "serial/PacketReader.h"

#include <algorithm>
#include <stdexcept>

namespace SerialLink {

namespace {

// A device error counts as a short read, as a time-out does.
size_t readOrNothing(ILineInput& input, uint8_t* out, size_t count, unsigned timeoutMs)
{
    try {
        return input.read(out, count, timeoutMs);
    } catch (const std::runtime_error&) {
        return 0;
    }
}

PacketResult withKind(PacketResult::Kind kind, PacketResult result = PacketResult{})
{
    result.kind = kind;
    return result;
}

PacketResult readDataPacket(ILineInput& input, size_t capacity, const Check& check)
{
    PacketResult result = withKind(PacketResult::Kind::Packet);
    uint8_t lengthField[kLengthSize];
    if (readOrNothing(input, lengthField, kLengthSize, kPacketFieldTimeoutMs) < kLengthSize)
        return withKind(PacketResult::Kind::ShortLength);
    result.length = readBigEndian16(lengthField);
    if (result.length < kPacketOverhead || result.length > capacity)
        return withKind(PacketResult::Kind::BadLength, result);
    std::vector<uint8_t>& packet = result.packet;
    packet = {kControlPrefix, kPacketMarker, lengthField[0], lengthField[1]};
    packet.resize(kPacketHeaderSize + result.length);
    if (readOrNothing(input, packet.data() + kPacketHeaderSize, result.length, kPacketBodyTimeoutMs) < result.length)
        return withKind(PacketResult::Kind::ShortBody, result);
    result.calculated = check(packet.data(), kLengthSize + result.length);
    result.received = readBigEndian16(packet.data() + kLengthSize + result.length);
    if (result.calculated != result.received)
        return withKind(PacketResult::Kind::BadCheck, result);
    std::copy_n(packet.data() + kPacketHeaderSize, kPacketIdSize, result.id);
    return result;
}

} // namespace

PacketResult readAfterMarker(uint8_t marker, ILineInput& input, size_t capacity, const Check& check)
{
    switch (marker) {
    case kAcknowledgementMarker: {
        PacketResult result = withKind(PacketResult::Kind::Acknowledgement);
        if (readOrNothing(input, result.id, kPacketIdSize, kPacketFieldTimeoutMs) < kPacketIdSize)
            return withKind(PacketResult::Kind::ShortId);
        return result;
    }
    case kPacketMarker:
        return readDataPacket(input, capacity, check);
    default: {
        PacketResult result = withKind(PacketResult::Kind::Unsupported);
        result.marker = marker;
        return result;
    }
    }
}

PacketResult readPacket(ILineInput& input, size_t capacity, const Check& check)
{
    uint8_t byte = 0;
    try {
        do {
            input.read(&byte, 1, 0);
        } while (byte != kControlPrefix);
        input.read(&byte, 1, 0);
    } catch (const std::runtime_error&) {
        return withKind(PacketResult::Kind::SyncFailed);
    }
    return readAfterMarker(byte, input, capacity, check);
}

} // namespace SerialLink
