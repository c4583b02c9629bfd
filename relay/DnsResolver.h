#pragma once

#include <atomic>
#include <string>
#include <thread>

// Name resolution for the terminal: one host name per TCP connection,
// answered with its first IPv4 address as dotted text (nothing when it does
// not resolve), then the connection closes. Clients are served one at a
// time; later ones wait in the listen queue.
class DNSResolver {
public:
    // Listens on all addresses at `port` (0 picks a free one) and starts the
    // accept thread; raises std::runtime_error "Can't start DNSResolver".
    explicit DNSResolver(int port);
    ~DNSResolver();
    DNSResolver(const DNSResolver&) = delete;
    DNSResolver& operator=(const DNSResolver&) = delete;

    // The port actually listened on.
    int getPort() const { return port; }

    // The first IPv4 address of `name` as dotted text, empty when it does not resolve.
    static std::string resolveDomain(const std::string& name);
    // Serves one connection and closes it.
    static void handleClient(int descriptor);

private:
    bool start();
    void thread_function();

    int port;
    int listenDescriptor = -1;
    std::atomic<bool> running{false};
    std::thread acceptThread;
};
