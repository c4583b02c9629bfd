#include "serial/FrameReader.h"

namespace SerialLink {

FrameResult readFrame(const uint8_t header[kLengthSize], const FrameRules& rules, ILineInput& input,
                      const Check& check, std::vector<uint8_t>& frame)
{
    FrameResult result;
    if (rules.controlFrames && header[0] == kControlPrefix) {
        result.kind = FrameResult::Kind::Control;
        result.code = header[1];
        return result;
    }
    result.length = readBigEndian16(header);
    if (result.length < rules.minimumLength || result.length > rules.capacity) {
        result.kind = FrameResult::Kind::BadLength;
        return result;
    }
    frame.assign(header, header + kLengthSize);
    frame.resize(kLengthSize + result.length);
    if (input.read(frame.data() + kLengthSize, result.length, rules.bodyTimeoutMs) < result.length) {
        result.kind = FrameResult::Kind::ShortBody;
        return result;
    }
    result.calculated = check(frame.data(), result.length);
    result.received = readBigEndian16(frame.data() + result.length);
    if (result.calculated != result.received)
        result.kind = FrameResult::Kind::BadCheck;
    return result;
}

} // namespace SerialLink
