#include "relay/UdpVpn.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>

#include "LibMisc/SocketIo.h"
#include "LibMisc/UdpSocket.h"
#include "logging/Logger.h"
#include "relay/IcmpExchange.h"
#include "relay/RelayError.h"
#include "relay/RelayFrame.h"

namespace kiv_proxy {

namespace {
constexpr int kListenBacklog = 128;
constexpr auto kStopCheckPeriod = std::chrono::milliseconds(500);
// A client that takes no answer bytes for this long is given up.
constexpr auto kSendStallTimeout = std::chrono::seconds(30);

int openListener(const std::string& ip, int port)
{
    UniqueDescriptor listener(socket(AF_INET, SOCK_STREAM, 0));
    if (listener.get() < 0)
        throwRelayError("socket(AF_INET,SOCK_STREAM)");
    const int on = 1;
    if (setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) < 0)
        throwRelayError("setsockopt(SO_REUSEADDR)");

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, ip.c_str(), &address.sin_addr) != 1)
        throw std::runtime_error("[UdpVpn]: inet_pton failed for bind host " + ip);
    if (bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) < 0)
        throwRelayError("bind");
    if (listen(listener.get(), kListenBacklog) < 0)
        throwRelayError("listen");
    // Non-blocking, so that a connection reset between poll and accept
    // cannot hold the loop in accept.
    fcntl(listener.get(), F_SETFL, fcntl(listener.get(), F_GETFL, 0) | O_NONBLOCK);
    return listener.release();
}

int boundPort(int descriptor)
{
    sockaddr_in local{};
    socklen_t length = sizeof(local);
    getsockname(descriptor, reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(local.sin_port);
}

// Failures of accept that concern one connection, not the listener.
bool isTransientAcceptError(int error)
{
    switch (error) {
    case EINTR:
    case EAGAIN:
    case ECONNABORTED:
    case EPROTO:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
        return true;
    default:
        return false;
    }
}

bool recv_all(int descriptor, uint8_t* buffer, size_t n)
{
    try {
        while (n > 0) {
            const ssize_t received = recv(descriptor, buffer, n, 0);
            if (received == 0)
                throw std::runtime_error("EOF while reading");
            if (received < 0) {
                if (errno == EINTR)
                    continue;
                throwRelayError("recv_all");
            }
            buffer += received;
            n -= static_cast<size_t>(received);
        }
        return true;
    } catch (const std::exception& error) {
        logger::Log::s_CoreLogger->error("UdpVpn: Catch Handler to exception {0}", error.what());
        return false;
    }
}

std::vector<uint8_t> relayExchange(const RelayRequest& request, int timeout)
{
    if (request.command == RelayUdp) {
        UdpSocket udp;
        udp.setTimeout(timeout);
        return udp.transaction(request.destinationIp(), request.destinationPort(), request.payload.data(),
                               request.payload.size());
    }
    return do_icmp_transaction_unix(request.destinationIp(), request.payload.data(), request.payload.size(),
                                    std::chrono::seconds(timeout));
}

// Serves one request; false ends the connection.
bool serveRequest(int descriptor, int timeout)
{
    RelayRequest request;
    const auto readExact = [descriptor](uint8_t* buffer, size_t n) { return recv_all(descriptor, buffer, n); };
    switch (readRelayRequest(readExact, request)) {
    case RelayReadStatus::Ok:
        break;
    case RelayReadStatus::LengthFailed:
        logger::Log::s_CoreLogger->error("[UdpVpn]: [!] handle_client. Error to recv lenbuffer");
        return false;
    case RelayReadStatus::TooShort:
        return false;
    case RelayReadStatus::HeaderFailed:
        logger::Log::s_CoreLogger->error("[UdpVpn]: [!] handle_client. Error to recv header");
        return false;
    case RelayReadStatus::BodyFailed:
        logger::Log::s_CoreLogger->error("[UdpVpn]: [!] handle_client. Error to recv body");
        return false;
    }

    logger::Log::s_CoreLogger->warn("[UdpVpn]: CMD {0}", request.command);
    logger::Log::s_CoreLogger->info("[UpdVpn]: request type [!] {4} from {0}: {1} : to {2} : {3}", request.sourceIp(),
                request.sourcePort(), request.destinationIp(), request.destinationPort(),
                relayCommandName(request.command));
    if (request.command != RelayUdp && request.command != RelayIcmp)
        return false;

    const std::vector<uint8_t> answer = relayExchange(request, timeout);
    const std::vector<uint8_t> frame = buildRelayAnswer(request, answer.data(), answer.size());
    if (!sendAll(descriptor, frame.data(), frame.size(), kSendStallTimeout))
        throwRelayError("send");
    return true;
}
} // namespace

UdpVpn::~UdpVpn()
{
    stop();
    if (_thread.joinable())
        _thread.join();
}

bool UdpVpn::run(const std::string& ip, int port, int timeout)
{
    logger::Log::s_CoreLogger->info("[UdpVpn]: Listeting on {0}:{1}", ip, port);
    try {
        const int listenDescriptor = openListener(ip, port);
        _port = boundPort(listenDescriptor);
        running = true;
        _thread = std::thread(&UdpVpn::threadFunction, this, listenDescriptor, timeout);
        return true;
    } catch (const std::exception& error) {
        logger::Log::s_CoreLogger->critical("[UdpVpn]: Relay not started: {0}", error.what());
        return false;
    }
}

void UdpVpn::stop() { running = false; }

void UdpVpn::threadFunction(int listenDescriptor, int timeout)
{
    const UniqueDescriptor listener(listenDescriptor);
    try {
        while (running) {
            const WaitResult ready = waitForEvents(listener.get(), POLLIN, kStopCheckPeriod);
            if (ready == WaitResult::TimedOut)
                continue;
            if (ready == WaitResult::Failed)
                throwRelayError("poll");
            sockaddr_in peer{};
            socklen_t peerLength = sizeof(peer);
            UniqueDescriptor client(acceptConnection(listener.get(), reinterpret_cast<sockaddr*>(&peer), &peerLength));
            if (client.get() < 0) {
                if (isResourceShortage(errno)) {
                    logger::Log::s_CoreLogger->warn("[UdpVpn]: accept() failed: {0}", std::strerror(errno));
                    continue;
                }
                if (isTransientAcceptError(errno))
                    continue;
                throwRelayError("accept");
            }
            logger::Log::s_CoreLogger->info("[UdpVpn]: Accept socket {0}", client.get());
            try {
                std::thread(&UdpVpn::handle_client, client.get(), peer, timeout).detach();
                client.release();
            } catch (const std::system_error& error) {
                logger::Log::s_CoreLogger->error("[UdpVpn]: Cannot start client thread: {0}", error.what());
            }
        }
    } catch (const std::exception& error) {
        logger::Log::s_CoreLogger->critical("[UdpVpn]: Relay stopped: {0}", error.what());
    }
    _port = -1;
}

void UdpVpn::handle_client(int descriptor, sockaddr_in peer, int timeout)
{
    const UniqueDescriptor client(descriptor);
    char ip[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof(ip));
    logger::Log::s_CoreLogger->info("[UdpVpn]: New client connected {0}: {1}", ip, ntohs(peer.sin_port));
    try {
        while (serveRequest(descriptor, timeout)) {
        }
    } catch (const std::exception& error) {
        logger::Log::s_CoreLogger->error("[UdpVpn]: handle_client error: {0}", error.what());
    }
    logger::Log::s_CoreLogger->info("[UdpVpn]: Client disconnected {0}: {1}", ip, ntohs(peer.sin_port));
}

} // namespace kiv_proxy
