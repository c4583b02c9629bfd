#include "relay/RelayFrame.h"

#include <algorithm>

#include <fmt/format.h>

#include "LibMisc/CCode/Bytes.h"

namespace kiv_proxy {

namespace {
constexpr size_t kLengthBytes = 2;
constexpr size_t kMinIpv4Header = 20;

std::string dotted(const uint8_t* bytes) { return fmt::format("{}.{}.{}.{}", bytes[0], bytes[1], bytes[2], bytes[3]); }

uint16_t port(const uint8_t* bytes) { return static_cast<uint16_t>(ltools_bytesToull(bytes, 2)); }
} // namespace

std::string RelayRequest::sourceIp() const { return dotted(&addresses[0]); }
uint16_t RelayRequest::sourcePort() const { return port(&addresses[4]); }
std::string RelayRequest::destinationIp() const { return dotted(&addresses[6]); }
uint16_t RelayRequest::destinationPort() const { return port(&addresses[10]); }

RelayReadStatus readRelayRequest(const ExactReader& readExact, RelayRequest& request)
{
    uint8_t lengthBytes[kLengthBytes];
    if (!readExact(lengthBytes, kLengthBytes))
        return RelayReadStatus::LengthFailed;
    const size_t length = ltools_bytesToull(lengthBytes, kLengthBytes);
    if (length < kRelayMinLength)
        return RelayReadStatus::TooShort;
    if (!readExact(request.addresses.data(), kRelayAddressBytes))
        return RelayReadStatus::HeaderFailed;

    std::vector<uint8_t> body(length - kRelayAddressBytes);
    if (!readExact(body.data(), body.size()))
        return RelayReadStatus::BodyFailed;
    request.command = body[0];
    request.payload.assign(body.begin() + 1, body.end());
    return RelayReadStatus::Ok;
}

std::vector<uint8_t> buildRelayAnswer(const RelayRequest& request, const uint8_t* answer, size_t length)
{
    std::vector<uint8_t> frame(kLengthBytes + kRelayMinLength + length);
    ltools_ullToBytes(frame.data(), kRelayMinLength + length, kLengthBytes);
    std::copy(request.addresses.begin(), request.addresses.end(), frame.begin() + kLengthBytes);
    frame[kLengthBytes + kRelayAddressBytes] = request.command;
    std::copy(answer, answer + length, frame.begin() + kLengthBytes + kRelayMinLength);
    return frame;
}

std::vector<uint8_t> stripIpv4Header(const uint8_t* packet, size_t length)
{
    if (length < kMinIpv4Header)
        return {};
    const size_t headerLength = static_cast<size_t>(packet[0] & 0x0F) * 4;
    if (length < headerLength)
        return {};
    return std::vector<uint8_t>(packet + headerLength, packet + length);
}

const char* relayCommandName(uint8_t command)
{
    switch (command) {
    case RelayUdp:
        return "udp";
    case RelayIcmp:
        return "icmp";
    default:
        return "unknown";
    }
}

} // namespace kiv_proxy
