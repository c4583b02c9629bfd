#include "relay/RelayError.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "logging/Logger.h"

namespace kiv_proxy {

void throwRelayError(const std::string& text)
{
    const int error = errno;
    logger::Log::s_CoreLogger->critical("[UdpVpn]: Throw exception. Reason: {0}", text);
    throw std::runtime_error("[UdpVpn]: " + text + ": " + strerror(error));
}

} // namespace kiv_proxy
