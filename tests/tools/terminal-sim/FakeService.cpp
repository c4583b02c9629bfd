#include "FakeService.h"

#include <algorithm>
#include <cstring>

using namespace terminal_sim;

void FakeService::send(const Bytes& message)
{
    PacketId id;
    std::memcpy(id.data(), &_nextPacket, id.size());
    ++_nextPacket;
    _end.write(encodePacket(id, message));
}

std::optional<TunnelMessage> FakeService::receive(const Match& match, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto found = std::find_if(_received.begin(), _received.end(), match);
        if (found != _received.end()) {
            TunnelMessage message = std::move(*found);
            _received.erase(found);
            return message;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        const Bytes bytes = _end.readSome(left);
        for (const WireEvent& event : _decoder.feed(bytes.data(), bytes.size(), std::chrono::steady_clock::now())) {
            if (event.kind != WireEvent::Kind::Packet)
                continue; // acknowledgements of what the test sent
            _end.write(encodeAcknowledgement(event.id));
            if (std::optional<TunnelMessage> message = TunnelMessage::parse(event.message))
                _received.push_back(std::move(*message));
        }
    }
}

std::string FakeService::receiveHttp(const Match& match, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string http;
    for (;;) {
        const std::size_t headEnd = http.find("\r\n\r\n");
        const std::size_t length = http.find("\r\nContent-Length: ");
        if (headEnd != std::string::npos && length != std::string::npos && length < headEnd &&
            http.size() >= headEnd + 4 + std::stoul(http.substr(length + 18)))
            return http;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const std::optional<TunnelMessage> message = receive(match, std::max(left, std::chrono::milliseconds(0)));
        if (!message)
            return {};
        const std::optional<Bytes> data =
            message->type == Proxy::PMT_EVENT_DATA ? message->payload : message->connectionData();
        if (data)
            http.append(data->begin(), data->end());
    }
}

FakeService::Match ofType(uint16_t type, std::optional<uint64_t> id)
{
    return [type, id](const TunnelMessage& message) {
        return message.type == type && (!id || message.connectionId == *id);
    };
}
