#pragma once

#include <string>

namespace kiv_proxy {

// Logs the failed step at critical level and raises std::runtime_error
// "[UdpVpn]: <text>: <system error text>" for the current errno.
[[noreturn]] void throwRelayError(const std::string& text);

} // namespace kiv_proxy
