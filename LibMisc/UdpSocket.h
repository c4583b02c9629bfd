#pragma once

#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <string>
#include <vector>

namespace kiv_proxy {

// One-shot UDP request/answer socket. Failures raise std::runtime_error.
class UdpSocket {
public:
    static constexpr size_t kMaxAnswer = 4096;

    UdpSocket();
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    void setTimeout(double seconds) { _timeoutSeconds = seconds; }

    // Sends one datagram and returns the first one that arrives, whoever
    // sent it, cut to kMaxAnswer bytes.
    std::vector<uint8_t> transaction(const std::string& ip, unsigned short port, const unsigned char* data,
                                     size_t length);

private:
    int _descriptor = -1;
    sockaddr_in _destination{};
    double _timeoutSeconds = 5;
};

} // namespace kiv_proxy
