// Reads relay requests from arbitrary bytes, as a client stream would bring
// them, answers each with its own payload and strips "IPv4 headers" from
// the input, checking the invariants of both framings.
#include <cstdlib>
#include <cstring>

#include "relay/RelayFrame.h"

using namespace kiv_proxy;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    size_t offset = 0;
    const ExactReader readExact = [&](uint8_t* buffer, size_t n) {
        if (size - offset < n)
            return false;
        if (n > 0)
            std::memcpy(buffer, data + offset, n);
        offset += n;
        return true;
    };

    RelayRequest request;
    while (readRelayRequest(readExact, request) == RelayReadStatus::Ok) {
        const auto answer = buildRelayAnswer(request, request.payload.data(), request.payload.size());
        const size_t length = static_cast<size_t>(answer[0]) << 8 | answer[1];
        if (length + 2 != answer.size() || answer[14] != request.command ||
            std::memcmp(&answer[2], request.addresses.data(), request.addresses.size()) != 0)
            std::abort();
    }

    const auto icmp = stripIpv4Header(data, size);
    if (icmp.size() > size || (!icmp.empty() && std::memcmp(icmp.data(), data + size - icmp.size(), icmp.size()) != 0))
        std::abort();
    return 0;
}
