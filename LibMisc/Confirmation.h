#pragma once

#include <cstdint>

// The two-byte confirmations shared by the serial link and the file
// transfer: FE 06 accepts, FE 15 refuses.
namespace LibMisc::Confirmation {

constexpr uint8_t kPrefix = 0xFE;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;
constexpr uint8_t kAccepted[2] = {kPrefix, kAck};
constexpr uint8_t kRefused[2] = {kPrefix, kNak};

} // namespace LibMisc::Confirmation
