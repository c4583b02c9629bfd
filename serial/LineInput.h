#pragma once

#include <cstddef>
#include <cstdint>

namespace SerialLink {

// Where the frame and packet readers take their bytes from: the serial device
// in service, memory in tests and fuzzing.
class ILineInput {
public:
    virtual ~ILineInput() = default;
    // Up to `count` bytes, waiting at most `timeoutMs` in all (0: no limit);
    // returns how many arrived. Device faults throw.
    virtual size_t read(uint8_t* out, size_t count, unsigned timeoutMs) = 0;
};

} // namespace SerialLink
