#pragma once

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/support/LoopbackClient.h"

// A TCP server on 127.0.0.1 and an ephemeral port, accepting with a time-out.
class LoopbackServer {
public:
    explicit LoopbackServer(int backlog = 8) : _descriptor(socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (_descriptor < 0 || bind(_descriptor, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(_descriptor, backlog) != 0 ||
            getsockname(_descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ::close(_descriptor);
            throw std::runtime_error("cannot listen on 127.0.0.1");
        }
        _port = ntohs(address.sin_port);
    }
    ~LoopbackServer() { ::close(_descriptor); }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return _port; }

    std::optional<LoopbackClient> accept(std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        pollfd entry{_descriptor, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(timeout.count())) <= 0)
            return std::nullopt;
        const int connection = ::accept(_descriptor, nullptr, nullptr);
        if (connection < 0)
            return std::nullopt;
        return LoopbackClient::adopt(connection);
    }

private:
    int _descriptor;
    int _port = 0;
};
