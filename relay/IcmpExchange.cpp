#include "relay/IcmpExchange.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>

#include "LibMisc/SocketIo.h"
#include "relay/RelayError.h"
#include "relay/RelayFrame.h"

namespace kiv_proxy {

namespace {
constexpr size_t kMaxPacket = 4096;
} // namespace

std::vector<uint8_t> do_icmp_transaction_unix(const std::string& ip, const uint8_t* payload, size_t length,
                                              std::chrono::milliseconds timeout)
{
    const UniqueDescriptor raw(socket(AF_INET, SOCK_RAW, IPPROTO_ICMP));
    if (raw.get() < 0)
        throwRelayError("socket(AF_INET,SOCK_RAW,IPPROTO_ICMP)");
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    if (inet_pton(AF_INET, ip.c_str(), &destination.sin_addr) != 1)
        throw std::runtime_error("inet_pton failed for " + ip);

    if (sendto(raw.get(), payload, length, 0, reinterpret_cast<const sockaddr*>(&destination),
               sizeof(destination)) < 0)
        throwRelayError("sendto(icmp)");

    const std::vector<uint8_t> request(payload, payload + length);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        switch (waitForEvents(raw.get(), POLLIN, std::max(left, std::chrono::milliseconds(0)))) {
        case WaitResult::Ready:
            break;
        case WaitResult::TimedOut:
            throw std::runtime_error("ICMP recv timeout");
        case WaitResult::Failed:
            throwRelayError("select");
        }

        uint8_t packet[kMaxPacket];
        sockaddr_in source{};
        socklen_t sourceLength = sizeof(source);
        const ssize_t received = recvfrom(raw.get(), packet, sizeof(packet), 0,
                                          reinterpret_cast<sockaddr*>(&source), &sourceLength);
        if (received < 0)
            throwRelayError("recvfrom(icmp)");
        if (source.sin_addr.s_addr != destination.sin_addr.s_addr)
            continue;
        std::vector<uint8_t> answer = stripIpv4Header(packet, static_cast<size_t>(received));
        if (answer != request)
            return answer;
    }
}

} // namespace kiv_proxy
