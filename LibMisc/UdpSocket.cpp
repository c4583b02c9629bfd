#include "LibMisc/UdpSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

#include "LibMisc/SocketIo.h"
#include "logging/Logger.h"

namespace kiv_proxy {

namespace {
[[noreturn]] void throwSocketError(const std::string& text)
{
    const int error = errno;
    logger::Log::s_CoreLogger->critical("[UdpSocket]: Throw exception. Reason: {0}", text);
    throw std::runtime_error("[UdpSocket]: " + text + ": " + strerror(error));
}
} // namespace

UdpSocket::UdpSocket() : _descriptor(socket(AF_INET, SOCK_DGRAM, 0))
{
    if (_descriptor < 0)
        throwSocketError("socket(AF_INET,SOCK_DGRAM)");
}

UdpSocket::~UdpSocket()
{
    if (_descriptor != -1)
        close(_descriptor);
}

std::vector<uint8_t> UdpSocket::transaction(const std::string& ip, unsigned short port, const unsigned char* data,
                                            size_t length)
{
    _destination = sockaddr_in{};
    _destination.sin_family = AF_INET;
    _destination.sin_port = htons(port);
    if (inet_pton(AF_INET, ip.c_str(), &_destination.sin_addr) != 1)
        throw std::runtime_error("inet_pton failed for " + ip);

    if (sendto(_descriptor, data, length, 0, reinterpret_cast<const sockaddr*>(&_destination), sizeof(_destination)) < 0)
        throwSocketError("sendto(udp)");

    const auto timeout = std::chrono::milliseconds(static_cast<long long>(_timeoutSeconds * 1000));
    switch (waitForEvents(_descriptor, POLLIN, timeout)) {
    case WaitResult::Ready:
        break;
    case WaitResult::TimedOut:
        throw std::runtime_error("UDP recv timeout");
    case WaitResult::Failed:
        throwSocketError("select");
    }

    std::vector<uint8_t> answer(kMaxAnswer);
    const ssize_t received = recvfrom(_descriptor, answer.data(), answer.size(), 0, nullptr, nullptr);
    if (received < 0)
        throwSocketError("recvfrom(udp)");
    answer.resize(static_cast<size_t>(received));
    logger::Log::s_CoreLogger->info("[UdpVpn] UDP Transaction size: {0}", received);
    return answer;
}

} // namespace kiv_proxy
