#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kiv_proxy {

// The tunnel messages the local listener sends to the terminal, packed and
// ready for the transport. Packing errors (Proxy::IProxyException) reach the caller.

// PMT_CONNECTION_CONTROL asking the terminal to open connection `id`
// to 127.0.0.1:`port`.
std::vector<unsigned char> packConnectionRequest(uint64_t id, int port);
// PMT_SEND_DATA carrying bytes a client sent.
std::vector<unsigned char> packClientData(uint64_t id, const unsigned char* data, size_t length);
// PMT_CONNECTION_RESULT carrying a connection status.
std::vector<unsigned char> packConnectionResult(uint64_t id, int status);

} // namespace kiv_proxy
