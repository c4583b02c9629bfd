#include "LibMisc/TcpSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "LibMisc/SocketIo.h"
#include "logging/Logger.h"

namespace kiv_proxy {

namespace {
constexpr int kListenBacklog = 128;
std::atomic<int> g_bufferSize{4096};
} // namespace

IpAddress::IpAddress() { _update(); }

IpAddress::IpAddress(const std::string& ip, int port) : _ip(ip), _port(port) { _update(); }

void IpAddress::setIp(const std::string& ip)
{
    _ip = ip;
    _update();
}

void IpAddress::setPort(int port)
{
    _port = port;
    _update();
}

void IpAddress::_update()
{
    _sockAddr = sockaddr_in{};
    _sockAddr.sin_family = AF_INET;
    _sockAddr.sin_port = htons(static_cast<uint16_t>(_port));
    _sockAddr.sin_addr.s_addr = inet_addr(_ip.c_str());
}

TcpSocket::TcpSocket() : TcpSocket(-1) {}

TcpSocket::TcpSocket(int descriptor) : _descriptor(std::make_shared<std::atomic<int>>(descriptor)) {}

bool TcpSocket::create(bool reuseAddress)
{
    const int descriptor = socket(AF_INET, SOCK_STREAM, 0);
    if (descriptor < 0) {
        logger::Log::s_CoreLogger->error("[TcpSocket]: Error creating socket");
        return false;
    }
    _descriptor = std::make_shared<std::atomic<int>>(descriptor);
    const int on = 1;
    if (reuseAddress && setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) < 0) {
        logger::Log::s_CoreLogger->error("[TcpSocket]: Failed to set SO_REUSEADDR for socket");
        return false;
    }
    return true;
}

bool TcpSocket::bind(const IpAddress& address)
{
    const sockaddr_in& sockAddr = address.getSockAddr();
    if (::bind(getDescriptor(), reinterpret_cast<const sockaddr*>(&sockAddr), sizeof(sockAddr)) < 0)
        return false;
    _address = address;
    return true;
}

bool TcpSocket::listen() { return ::listen(getDescriptor(), kListenBacklog) == 0; }

bool TcpSocket::accept(TcpSocket& client)
{
    const int descriptor = kiv_proxy::acceptConnection(getDescriptor());
    if (descriptor < 0)
        return false;
    sockaddr_in peer{};
    socklen_t peerLength = sizeof(peer);
    if (getpeername(descriptor, reinterpret_cast<sockaddr*>(&peer), &peerLength) < 0) {
        const int error = errno;
        ::close(descriptor);
        errno = error;
        return false;
    }
    char ip[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof(ip));
    client = TcpSocket(descriptor);
    client._address = IpAddress(ip, ntohs(peer.sin_port));
    return true;
}

int TcpSocket::recv(unsigned char* buffer, int length)
{
    return static_cast<int>(::recv(getDescriptor(), buffer, static_cast<size_t>(length), 0));
}

int TcpSocket::send(const unsigned char* data, int length)
{
    return static_cast<int>(::send(getDescriptor(), data, static_cast<size_t>(length), MSG_NOSIGNAL));
}

bool TcpSocket::sendAll(const unsigned char* data, size_t length, std::chrono::milliseconds stallTimeout)
{
    return kiv_proxy::sendAll(getDescriptor(), data, length, stallTimeout);
}

bool TcpSocket::makeNonBlocking()
{
    const int descriptor = getDescriptor();
    const int flags = fcntl(descriptor, F_GETFL, 0);
    if (flags < 0) {
        logger::Log::s_CoreLogger->error("[TcpSocket]: ffcntl F_GETFL");
        return false;
    }
    if (fcntl(descriptor, F_SETFL, flags | O_NONBLOCK) < 0) {
        logger::Log::s_CoreLogger->error("[TcpSocket]: fcntl F_SETFL O_NONBLOCK");
        return false;
    }
    return true;
}

void TcpSocket::close() const
{
    const int descriptor = _descriptor->exchange(-1);
    if (descriptor >= 0)
        ::close(descriptor);
}

int TcpSocket::getLocalPort() const
{
    sockaddr_in local{};
    socklen_t length = sizeof(local);
    if (getsockname(getDescriptor(), reinterpret_cast<sockaddr*>(&local), &length) < 0)
        return -1;
    return ntohs(local.sin_port);
}

int getBufferSize() { return g_bufferSize.load(); }

void setBufferSize(int size) { g_bufferSize.store(size); }

} // namespace kiv_proxy
