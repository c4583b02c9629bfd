#include "serial/WireFormat.h"

#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

#include "LibMisc/CCode/Bytes.h"

namespace SerialLink {

const uint8_t kKeepAliveFrame[16] = {0x00, 0x0E, 0x00, 0x0A, 0x00, 0x35, 0x00, 0x00,
                                     0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x31};

namespace {

constexpr size_t kLengthFieldMax = std::numeric_limits<uint16_t>::max();

void appendBigEndian16(std::vector<uint8_t>& out, size_t value)
{
    uint8_t bytes[kLengthSize];
    ltools_ullToBytes(bytes, value, kLengthSize);
    out.insert(out.end(), bytes, bytes + kLengthSize);
}

void appendCheck(std::vector<uint8_t>& out, const Check& check)
{
    appendBigEndian16(out, check(out.data(), out.size()));
}

} // namespace

uint16_t xorWordCheck(const uint8_t* bytes, size_t length)
{
    uint8_t even = 0;
    uint8_t odd = 0;
    for (size_t i = 0; i + 1 < length; i += 2) {
        even ^= bytes[i];
        odd ^= bytes[i + 1];
    }
    return static_cast<uint16_t>(even << 8 | odd);
}

uint16_t coveredWordCheck(const uint8_t* bytes, size_t length)
{
    if (length <= kCheckSize)
        return 0;
    const size_t covered = length - kCheckSize;
    return xorWordCheck(bytes, covered + (covered & 1));
}

uint16_t readBigEndian16(const uint8_t* bytes) { return static_cast<uint16_t>(ltools_bytesToull(bytes, 2)); }

std::vector<uint8_t> buildFrame(const uint8_t* data, size_t size, const Check& check)
{
    if (size > kLengthFieldMax - kCheckSize)
        throw std::invalid_argument("Message of " + std::to_string(size) + " bytes does not fit one frame.");
    std::vector<uint8_t> frame;
    frame.reserve(kLengthSize + size + kCheckSize);
    appendBigEndian16(frame, size + kCheckSize);
    frame.insert(frame.end(), data, data + size);
    appendCheck(frame, check);
    return frame;
}

std::vector<uint8_t> buildPacket(uint64_t id, const uint8_t* payload, size_t size, const Check& check)
{
    if (size > kLengthFieldMax - kPacketOverhead)
        throw std::invalid_argument("Message of " + std::to_string(size) + " bytes does not fit one packet.");
    std::vector<uint8_t> packet{kControlPrefix, kPacketMarker};
    packet.reserve(kPacketHeaderSize + kPacketIdSize + size + kCheckSize);
    appendBigEndian16(packet, size + kPacketOverhead);
    uint8_t idBytes[kPacketIdSize];
    std::memcpy(idBytes, &id, sizeof idBytes);
    packet.insert(packet.end(), idBytes, idBytes + kPacketIdSize);
    packet.insert(packet.end(), payload, payload + size);
    appendCheck(packet, check);
    return packet;
}

std::vector<uint8_t> buildAcknowledgement(const uint8_t* idBytes)
{
    std::vector<uint8_t> acknowledgement{kControlPrefix, kAcknowledgementMarker};
    acknowledgement.insert(acknowledgement.end(), idBytes, idBytes + kPacketIdSize);
    return acknowledgement;
}

} // namespace SerialLink
