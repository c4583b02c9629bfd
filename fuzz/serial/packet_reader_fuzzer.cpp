// Arbitrary bytes as a line in the packet protocol: read units until the input ends.

#include <cstdlib>

#include "fuzz/serial/MemoryInput.h"
#include "serial/PacketReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t capacity = data[0] & 1 ? 64064 : data[0];
    MemoryInput input(data + 1, size - 1);
    for (;;) {
        const SerialLink::PacketResult result =
            SerialLink::readPacket(input, capacity, SerialLink::coveredWordCheck);
        using Kind = SerialLink::PacketResult::Kind;
        if (result.kind == Kind::SyncFailed)
            break;
        if (result.kind == Kind::Packet) {
            if (result.length < SerialLink::kPacketOverhead || result.length > capacity ||
                result.payloadSize() > capacity ||
                result.packet.size() != SerialLink::kPacketHeaderSize + result.length)
                std::abort();
            if (SerialLink::coveredWordCheck(result.packet.data(), result.length + 2u) !=
                SerialLink::readBigEndian16(result.packet.data() + result.packet.size() - 2))
                std::abort();
        }
        if (input.exhausted())
            break;
    }
    return 0;
}
