// Arbitrary bytes as the header and body of a confirmed-protocol frame.

#include <cstdlib>
#include <vector>

#include "fuzz/serial/MemoryInput.h"
#include "serial/FrameReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < SerialLink::kLengthSize + 1)
        return 0;
    // The first byte picks a small or the service's capacity, so both bounds are exercised.
    const size_t capacity = data[0] & 1 ? 64064 : data[0];
    const uint8_t* header = data + 1;
    MemoryInput input(data + 1 + SerialLink::kLengthSize, size - 1 - SerialLink::kLengthSize);
    std::vector<uint8_t> frame;
    const SerialLink::FrameResult result =
        SerialLink::readFrame(header, {true, 1, capacity, 500}, input, SerialLink::coveredWordCheck, frame);
    if (result.kind == SerialLink::FrameResult::Kind::Frame) {
        if (result.length == 0 || result.length > capacity || frame.size() != result.length + 2u)
            std::abort();
        if (SerialLink::coveredWordCheck(frame.data(), result.length) !=
            SerialLink::readBigEndian16(frame.data() + result.length))
            std::abort();
    }
    return 0;
}
