#pragma once

#include <atomic>
#include <netinet/in.h>
#include <string>
#include <thread>

namespace kiv_proxy {

// Relays UDP request/answer and ICMP echo-style exchanges for the terminal,
// which reaches the outside world only through TCP. Each TCP client is
// served on its own thread and may send any number of framed requests.
class UdpVpn {
public:
    UdpVpn() = default;
    ~UdpVpn();
    UdpVpn(const UdpVpn&) = delete;
    UdpVpn& operator=(const UdpVpn&) = delete;

    // Listens on ip:port (port 0 picks a free one) and starts the accept
    // thread; `timeout` is the answer wait in seconds. A listener that
    // cannot be set up is logged at critical level and false is returned:
    // the rest of the service runs on without the relay.
    bool run(const std::string& ip, int port, int timeout);
    // Ends the accept loop within one poll period; clients run on.
    void stop();
    // The port the relay listens on, -1 when it does not listen.
    int getPort() const { return _port.load(); }

private:
    void threadFunction(int listenDescriptor, int timeout);
    static void handle_client(int descriptor, sockaddr_in peer, int timeout);

    std::thread _thread;
    std::atomic<bool> running{false};
    std::atomic<int> _port{-1};
};

} // namespace kiv_proxy
