#pragma once

#include <arpa/inet.h>
#include <atomic>
#include <cstdint>
#include <functional>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

// A UDP server on 127.0.0.1 that answers each datagram with `answerFor(request)`
// (no answer for nullopt).
class LoopbackUdpServer {
public:
    using Answer = std::optional<std::vector<uint8_t>>;

    explicit LoopbackUdpServer(std::function<Answer(const std::vector<uint8_t>&)> answerFor)
        : _descriptor(socket(AF_INET, SOCK_DGRAM, 0)), _answerFor(std::move(answerFor))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(_descriptor, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        socklen_t length = sizeof(address);
        getsockname(_descriptor, reinterpret_cast<sockaddr*>(&address), &length);
        _port = ntohs(address.sin_port);
        _thread = std::thread([this] { _serve(); });
    }
    ~LoopbackUdpServer()
    {
        _running = false;
        _thread.join();
        close(_descriptor);
    }

    unsigned short port() const { return _port; }

private:
    void _serve()
    {
        while (_running) {
            pollfd entry{_descriptor, POLLIN, 0};
            if (poll(&entry, 1, 50) <= 0)
                continue;
            std::vector<uint8_t> request(65536);
            sockaddr_in peer{};
            socklen_t length = sizeof(peer);
            const ssize_t n = recvfrom(_descriptor, request.data(), request.size(), 0,
                                       reinterpret_cast<sockaddr*>(&peer), &length);
            if (n < 0)
                continue;
            request.resize(static_cast<size_t>(n));
            if (const Answer answer = _answerFor(request))
                sendto(_descriptor, answer->data(), answer->size(), 0, reinterpret_cast<sockaddr*>(&peer), length);
        }
    }

    int _descriptor;
    unsigned short _port = 0;
    std::function<Answer(const std::vector<uint8_t>&)> _answerFor;
    std::atomic<bool> _running{true};
    std::thread _thread;
};
