#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kiv_proxy {

// Framing of the UDP/ICMP relay. A request is
//   L (2, big-endian) | source ip (4) | source port (2) | destination ip (4)
//   | destination port (2) | command (1) | payload (L - 13)
// and its answer repeats the 12 address bytes and the command in front of
// the answer bytes.
enum RelayCommand : uint8_t { RelayUdp = 1, RelayIcmp = 2 };

constexpr size_t kRelayAddressBytes = 12;
// The smallest L: the addresses and the command, no payload.
constexpr size_t kRelayMinLength = kRelayAddressBytes + 1;

struct RelayRequest {
    std::array<uint8_t, kRelayAddressBytes> addresses{};
    uint8_t command = 0;
    std::vector<uint8_t> payload;

    std::string sourceIp() const;
    uint16_t sourcePort() const;
    std::string destinationIp() const;
    uint16_t destinationPort() const;
};

enum class RelayReadStatus { Ok, LengthFailed, TooShort, HeaderFailed, BodyFailed };

// Reads exactly n bytes into the buffer; false when they cannot be had.
using ExactReader = std::function<bool(uint8_t* buffer, size_t n)>;

// Reads one request. TooShort means L below kRelayMinLength: the
// connection is to be closed without reading further.
RelayReadStatus readRelayRequest(const ExactReader& readExact, RelayRequest& request);

// The answer frame for a request. The caller keeps `length` small enough
// for the 16-bit length field (answers are at most 4096 bytes).
std::vector<uint8_t> buildRelayAnswer(const RelayRequest& request, const uint8_t* answer, size_t length);

// The ICMP part of a received IPv4 packet: without the header whose length
// is the low 4 bits of the first byte times 4; empty when the packet is
// shorter than 20 bytes or than its own header.
std::vector<uint8_t> stripIpv4Header(const uint8_t* packet, size_t length);

// "udp", "icmp" or "unknown".
const char* relayCommandName(uint8_t command);

} // namespace kiv_proxy
