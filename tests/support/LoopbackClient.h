#pragma once

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

// A TCP client of a service on 127.0.0.1 with bounded receives.
class LoopbackClient {
public:
    explicit LoopbackClient(int port) : _descriptor(socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (_descriptor < 0 || connect(_descriptor, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
            close();
            throw std::runtime_error("cannot connect to 127.0.0.1:" + std::to_string(port));
        }
    }
    // Takes over a connected descriptor (a connection a test server accepted).
    static LoopbackClient adopt(int descriptor) { return LoopbackClient(descriptor, Adopt{}); }
    LoopbackClient(LoopbackClient&& other) noexcept : _descriptor(other._descriptor), _peerClosed(other._peerClosed)
    {
        other._descriptor = -1;
    }
    ~LoopbackClient() { close(); }
    LoopbackClient(const LoopbackClient&) = delete;
    LoopbackClient& operator=(const LoopbackClient&) = delete;

    void send(const void* data, size_t length)
    {
        const auto* bytes = static_cast<const uint8_t*>(data);
        while (length > 0) {
            const ssize_t sent = ::send(_descriptor, bytes, length, MSG_NOSIGNAL);
            if (sent <= 0)
                throw std::runtime_error("send failed");
            bytes += sent;
            length -= static_cast<size_t>(sent);
        }
    }
    void send(const std::vector<uint8_t>& bytes) { send(bytes.data(), bytes.size()); }
    void send(const std::string& text) { send(text.data(), text.size()); }

    // Up to `n` bytes: fewer when the peer closes or `timeout` passes first.
    std::vector<uint8_t> receive(size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::vector<uint8_t> bytes;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (bytes.size() < n) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            const auto some = receiveSome(left, n - bytes.size());
            if (some.empty())
                break;
            bytes.insert(bytes.end(), some.begin(), some.end());
        }
        return bytes;
    }

    // Up to `most` bytes of what has arrived, once something has: empty when
    // the peer closed or `timeout` passed first.
    std::vector<uint8_t> receiveSome(std::chrono::milliseconds timeout, size_t most = 65536)
    {
        pollfd entry{_descriptor, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(timeout.count())) <= 0)
            return {};
        std::vector<uint8_t> bytes(std::min<size_t>(most, 65536));
        const ssize_t received = recv(_descriptor, bytes.data(), bytes.size(), 0);
        if (received <= 0) {
            _peerClosed = true;
            return {};
        }
        bytes.resize(static_cast<size_t>(received));
        return bytes;
    }

    // Everything the peer sends until it closes, within `timeout`.
    std::vector<uint8_t> receiveUntilClosed(std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        return receive(SIZE_MAX, timeout);
    }

    // The client's own port, as the service sees it.
    int localPort() const
    {
        sockaddr_in address{};
        socklen_t length = sizeof(address);
        getsockname(_descriptor, reinterpret_cast<sockaddr*>(&address), &length);
        return ntohs(address.sin_port);
    }

    // Whether a receive has seen the peer's end of the connection.
    bool peerClosed() const { return _peerClosed; }

    void close()
    {
        if (_descriptor >= 0)
            ::close(_descriptor);
        _descriptor = -1;
    }

private:
    struct Adopt {};
    LoopbackClient(int descriptor, Adopt) : _descriptor(descriptor) {}

    int _descriptor;
    bool _peerClosed = false;
};
