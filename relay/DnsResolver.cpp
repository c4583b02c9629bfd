#include "relay/DnsResolver.h"

#include <arpa/inet.h>
#include <chrono>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "LibMisc/SocketIo.h"

namespace {
constexpr int kListenBacklog = 10;
constexpr size_t kMaxNameRead = 1024;
constexpr auto kStopCheckPeriod = std::chrono::seconds(1);
// One silent client must not hold up everyone queued behind it.
constexpr auto kNameTimeout = std::chrono::seconds(10);
constexpr auto kSendStallTimeout = std::chrono::seconds(10);
} // namespace

DNSResolver::DNSResolver(int port) : port(port)
{
    if (!start()) {
        if (listenDescriptor >= 0)
            close(listenDescriptor);
        throw std::runtime_error("Can't start DNSResolver");
    }
    acceptThread = std::thread(&DNSResolver::thread_function, this);
}

DNSResolver::~DNSResolver()
{
    running = false;
    acceptThread.join();
    close(listenDescriptor);
}

bool DNSResolver::start()
{
    listenDescriptor = socket(AF_INET, SOCK_STREAM, 0);
    if (listenDescriptor < 0)
        return false;
    const int on = 1;
    if (setsockopt(listenDescriptor, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(listenDescriptor, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) < 0)
        return false;
    if (listen(listenDescriptor, kListenBacklog) < 0)
        return false;
    socklen_t length = sizeof(address);
    if (getsockname(listenDescriptor, reinterpret_cast<sockaddr*>(&address), &length) < 0)
        return false;
    port = ntohs(address.sin_port);
    running = true;
    return true;
}

void DNSResolver::thread_function()
{
    while (running) {
        if (kiv_proxy::waitForEvents(listenDescriptor, POLLIN, kStopCheckPeriod) != kiv_proxy::WaitResult::Ready)
            continue;
        const int client = kiv_proxy::acceptConnection(listenDescriptor);
        if (client >= 0)
            handleClient(client);
    }
}

std::string DNSResolver::resolveDomain(const std::string& name)
{
    // The reentrant form: other threads of the process resolve names too.
    hostent entry{};
    hostent* result = nullptr;
    int error = 0;
    std::vector<char> work(8192);
    while (gethostbyname_r(name.c_str(), &entry, work.data(), work.size(), &result, &error) == ERANGE)
        work.resize(work.size() * 2);
    if (result == nullptr || result->h_addrtype != AF_INET || result->h_addr_list[0] == nullptr)
        return {};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, result->h_addr_list[0], text, sizeof(text));
    return text;
}

void DNSResolver::handleClient(int descriptor)
{
    const kiv_proxy::UniqueDescriptor client(descriptor);
    if (kiv_proxy::waitForEvents(descriptor, POLLIN, kNameTimeout) != kiv_proxy::WaitResult::Ready)
        return;
    char request[kMaxNameRead];
    const ssize_t received = recv(descriptor, request, sizeof(request), 0);
    if (received <= 0)
        return;

    std::string name(request, static_cast<size_t>(received));
    name.erase(name.find_last_not_of(" \n\r\t") + 1);
    const std::string address = resolveDomain(name);
    if (!address.empty())
        kiv_proxy::sendAll(descriptor, address.data(), address.size(), kSendStallTimeout);
}
