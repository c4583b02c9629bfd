#pragma once

// Reading one frame of the confirmed-frame protocol once its two header bytes
// are in: a control frame (FE xx) or the length field of a data frame.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "serial/LineInput.h"
#include "serial/WireFormat.h"

namespace SerialLink {

struct FrameRules {
    bool controlFrames;      // FE in the first byte starts a control frame
    uint16_t minimumLength;  // smallest acceptable length field
    size_t capacity;         // largest acceptable length field
    unsigned bodyTimeoutMs;  // the rest of the frame must arrive within this
};

struct FrameResult {
    enum class Kind { Control, Frame, BadLength, ShortBody, BadCheck };
    Kind kind = Kind::Frame;
    uint8_t code = 0;        // Control: the byte after FE
    uint16_t length = 0;     // the length field L
    uint16_t calculated = 0; // BadCheck: computed and received checks
    uint16_t received = 0;
};

// On Frame, `frame` holds the whole frame: header, L - 2 data bytes, check.
FrameResult readFrame(const uint8_t header[kLengthSize], const FrameRules& rules, ILineInput& input,
                      const Check& check, std::vector<uint8_t>& frame);

} // namespace SerialLink
