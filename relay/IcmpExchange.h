#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kiv_proxy {

// Sends `payload` unchanged as one ICMP message to `ip` over a raw socket
// (needs the privilege to open one) and returns the ICMP part of the first
// packet from that address that is not a copy of the message itself: on
// loopback the request arrives before its reply. Raises std::runtime_error,
// "ICMP recv timeout" when nothing fits within `timeout`.
std::vector<uint8_t> do_icmp_transaction_unix(const std::string& ip, const uint8_t* payload, size_t length,
                                              std::chrono::milliseconds timeout);

} // namespace kiv_proxy
