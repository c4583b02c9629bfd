#include "tools/terminal-sim/TerminalWire.h"

#include "LibMisc/CCode/Bytes.h"

#include <stdexcept>

namespace terminal_sim {

namespace {

void appendCheck(Bytes& out, std::size_t limit)
{
    const uint16_t check = lineCheck(out.data(), limit);
    out.push_back(static_cast<uint8_t>(check >> 8));
    out.push_back(static_cast<uint8_t>(check));
}

} // namespace

uint16_t lineCheck(const uint8_t* bytes, std::size_t limit)
{
    uint8_t even = 0;
    uint8_t odd = 0;
    for (std::size_t i = 0; i < limit; i += 2) {
        even ^= bytes[i];
        odd ^= bytes[i + 1];
    }
    return static_cast<uint16_t>(even << 8 | odd);
}

Bytes encodeFrame(const Bytes& message)
{
    if (message.size() > maxFrameMessage)
        throw std::length_error("message too long for a frame");
    const std::size_t length = message.size() + 2;
    Bytes out(2);
    ltools_ullToBytes(out.data(), length, 2);
    out.insert(out.end(), message.begin(), message.end());
    appendCheck(out, message.size());
    return out;
}

Bytes encodePacket(const PacketId& id, const Bytes& message)
{
    if (message.size() > maxPacketMessage)
        throw std::length_error("message too long for a packet");
    const std::size_t length = message.size() + 10;
    Bytes out = {controlByte, packetByte, 0, 0};
    ltools_ullToBytes(out.data() + 2, length, 2);
    out.insert(out.end(), id.begin(), id.end());
    out.insert(out.end(), message.begin(), message.end());
    appendCheck(out, length);
    return out;
}

Bytes encodeAcknowledgement(const PacketId& id)
{
    Bytes out = {controlByte, acknowledgementByte};
    out.insert(out.end(), id.begin(), id.end());
    return out;
}

} // namespace terminal_sim
