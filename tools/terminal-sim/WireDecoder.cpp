#include "tools/terminal-sim/WireDecoder.h"

#include "LibMisc/CCode/Bytes.h"

#include <algorithm>

namespace terminal_sim {

namespace {

constexpr std::size_t packetHeader = 4;
constexpr std::size_t minPacketLength = 10; // identifier and check
constexpr std::size_t minFrameLength = 2;   // check
constexpr std::size_t acknowledgementSize = 2 + sizeof(PacketId);

std::size_t bigEndian16(const uint8_t* bytes)
{
    return static_cast<std::size_t>(ltools_bytesToull(bytes, 2));
}

WireEvent event(WireEvent::Kind kind)
{
    return WireEvent{kind, {}, {}};
}

} // namespace

std::vector<WireEvent> WireDecoder::feed(const uint8_t* bytes, std::size_t n, Clock::time_point now)
{
    _pending.insert(_pending.end(), bytes, bytes + n);
    _lastInput = now;
    std::vector<WireEvent> events;
    while (auto next = _next())
        events.push_back(std::move(*next));
    return events;
}

std::optional<WireDecoder::Clock::time_point> WireDecoder::deadline() const
{
    if (_pending.empty())
        return std::nullopt;
    return _lastInput + partialTimeout;
}

std::vector<WireEvent> WireDecoder::expire(Clock::time_point now)
{
    const auto due = deadline();
    if (!due || now < *due)
        return {};
    const bool frame = _pending.front() != controlByte;
    _pending.clear();
    if (frame)
        return {event(WireEvent::Kind::BadFrame)};
    return {};
}

std::optional<WireEvent> WireDecoder::_next()
{
    if (_pending.size() < 2)
        return std::nullopt;
    const uint8_t* p = _pending.data();

    if (p[0] != controlByte) {
        const std::size_t length = bigEndian16(p);
        if (length < minFrameLength) {
            _consume(2);
            return event(WireEvent::Kind::BadFrame);
        }
        if (_pending.size() < 2 + length)
            return std::nullopt;
        const std::size_t n = length - minFrameLength;
        const bool good = lineCheck(p, n) == bigEndian16(p + 2 + n);
        WireEvent item = event(good ? WireEvent::Kind::Frame : WireEvent::Kind::BadFrame);
        if (good)
            item.message.assign(p + 2, p + 2 + n);
        _consume(2 + length);
        return item;
    }

    switch (p[1]) {
    case acceptedByte:
        _consume(2);
        return event(WireEvent::Kind::Accepted);
    case acknowledgementByte: {
        if (_pending.size() < acknowledgementSize)
            return std::nullopt;
        WireEvent item = event(WireEvent::Kind::Acknowledgement);
        std::copy_n(p + 2, item.id.size(), item.id.begin());
        _consume(acknowledgementSize);
        return item;
    }
    case packetByte: {
        if (_pending.size() < packetHeader)
            return std::nullopt;
        const std::size_t length = bigEndian16(p + 2);
        if (length < minPacketLength) {
            _consume(packetHeader);
            return event(WireEvent::Kind::BadPacket);
        }
        if (_pending.size() < packetHeader + length)
            return std::nullopt;
        const bool good = lineCheck(p, length) == bigEndian16(p + 2 + length);
        WireEvent item = event(good ? WireEvent::Kind::Packet : WireEvent::Kind::BadPacket);
        if (good) {
            std::copy_n(p + packetHeader, item.id.size(), item.id.begin());
            item.message.assign(p + packetHeader + item.id.size(), p + 2 + length);
        }
        _consume(packetHeader + length);
        return item;
    }
    default:
        _consume(2);
        return event(WireEvent::Kind::Rejected);
    }
}

void WireDecoder::_consume(std::size_t n)
{
    _pending.erase(_pending.begin(), _pending.begin() + static_cast<std::ptrdiff_t>(n));
}

} // namespace terminal_sim
