#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <netinet/in.h>
#include <string>

namespace kiv_proxy {

// An IPv4 address and port; the socket address follows every change.
class IpAddress {
public:
    IpAddress();
    IpAddress(const std::string& ip, int port);

    void setIp(const std::string& ip);
    void setPort(int port);
    const std::string& getIp() const { return _ip; }
    int getPort() const { return _port; }
    const sockaddr_in& getSockAddr() const { return _sockAddr; }

private:
    void _update();

    std::string _ip;
    int _port = 0;
    sockaddr_in _sockAddr{};
};

// An IPv4 stream socket with its address. Copies share the descriptor, and
// destroying a copy never closes it: the owner of a connection decides when
// it ends with close(), which every copy then sees (descriptor -1).
class TcpSocket {
public:
    TcpSocket();

    bool create(bool reuseAddress);
    bool bind(const IpAddress& address);
    bool listen();
    // The accepted descriptor is closed again when the peer's address
    // cannot be read, so nothing leaks.
    bool accept(TcpSocket& client);
    int recv(unsigned char* buffer, int length);
    // One send; a short write is returned as is.
    int send(const unsigned char* data, int length);
    // All bytes, waiting up to `stallTimeout` whenever the socket is full.
    bool sendAll(const unsigned char* data, size_t length, std::chrono::milliseconds stallTimeout);
    bool makeNonBlocking();
    void close() const;

    const IpAddress& getIpAddress() const { return _address; }
    int getDescriptor() const { return _descriptor->load(); }
    // The port the socket is bound to (useful after binding port 0); -1 on failure.
    int getLocalPort() const;

private:
    explicit TcpSocket(int descriptor);

    std::shared_ptr<std::atomic<int>> _descriptor;
    IpAddress _address;
};

// Size of the receive and send blocks of the socket users, 4096 initially.
int getBufferSize();
void setBufferSize(int size);

} // namespace kiv_proxy
