#pragma once

#include <atomic>
#include <mutex>

#include "LibMisc/TcpSocket.h"

namespace kiv_proxy {

// One established listener connection. Held by shared pointer so that a
// writer on another thread keeps it alive after the listener removed it.
struct BlClient {
    explicit BlClient(const TcpSocket& clientSocket) : socket(clientSocket) {}

    TcpSocket socket; // non-blocking
    // Serialises writes to the client with each other and with its close,
    // so no write meets a closed (and possibly reused) descriptor.
    std::mutex sendMutex;
    // Cleared, under sendMutex, once the client is removed.
    std::atomic<bool> active{true};
};

} // namespace kiv_proxy
