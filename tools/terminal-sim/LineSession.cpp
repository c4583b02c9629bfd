#include "tools/terminal-sim/LineSession.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace terminal_sim {

LineSession::LineSession(LineProtocol protocol, Delivery deliver)
    : _protocol(protocol),
      _deliver(std::move(deliver)),
      // Identifiers differ from those of an earlier run on the same line.
      _nextPacketId(static_cast<uint64_t>(Clock::now().time_since_epoch().count()))
{
}

void LineSession::submit(Bytes message, Completion done, Clock::time_point now)
{
    const std::size_t limit = _protocol == LineProtocol::NonBtp ? maxPacketMessage : maxFrameMessage;
    if (message.size() > limit) {
        ++_stats.sendsFailed;
        done(false);
        return;
    }
    Outgoing outgoing{std::move(message), std::move(done), now, 0};
    if (_protocol == LineProtocol::NonBtp) {
        _transmitPacket(std::move(outgoing), now);
        return;
    }
    _frames.push_back(std::move(outgoing));
    if (_frames.size() == 1)
        _transmitFrame(now);
}

void LineSession::onInput(const uint8_t* bytes, std::size_t n, Clock::time_point now)
{
    for (WireEvent& event : _decoder.feed(bytes, n, now))
        _handle(std::move(event), now);
}

void LineSession::onTimer(Clock::time_point now)
{
    for (WireEvent& event : _decoder.expire(now))
        _handle(std::move(event), now);

    if (!_frames.empty() && now >= _frames.front().deadline)
        _finishFrame(false, now);

    for (auto it = _packets.begin(); it != _packets.end();) {
        if (now < it->second.deadline) {
            ++it;
            continue;
        }
        Outgoing outgoing = std::move(it->second);
        it = _packets.erase(it);
        if (outgoing.repeats + 1 < packetAttempts) {
            // Like the service: the same message again under a new identifier.
            ++outgoing.repeats;
            ++_stats.repeatsSent;
            _transmitPacket(std::move(outgoing), now);
        } else {
            ++_stats.sendsFailed;
            outgoing.done(false);
        }
    }
}

std::optional<LineSession::Clock::time_point> LineSession::nextDeadline() const
{
    std::optional<Clock::time_point> next = _decoder.deadline();
    const auto consider = [&next](Clock::time_point t) {
        if (!next || t < *next)
            next = t;
    };
    if (!_frames.empty())
        consider(_frames.front().deadline);
    for (const auto& packet : _packets)
        consider(packet.second.deadline);
    return next;
}

std::optional<LineSession::Clock::time_point> LineSession::nextOutputTime() const
{
    if (_output.empty())
        return std::nullopt;
    return _output.front().due;
}

std::optional<std::pair<const uint8_t*, std::size_t>> LineSession::outputDue(Clock::time_point now) const
{
    if (_output.empty() || now < _output.front().due)
        return std::nullopt;
    const Bytes& bytes = _output.front().bytes;
    return std::make_pair(bytes.data() + _written, bytes.size() - _written);
}

void LineSession::consumeOutput(std::size_t n)
{
    _written += n;
    if (_written >= _output.front().bytes.size()) {
        _output.pop_front();
        _written = 0;
    }
}

void LineSession::reset()
{
    _decoder.reset();
    _output.clear();
    _written = 0;

    std::vector<Completion> unfinished;
    for (Outgoing& frame : _frames)
        unfinished.push_back(std::move(frame.done));
    for (auto& packet : _packets)
        unfinished.push_back(std::move(packet.second.done));
    _frames.clear();
    _packets.clear();
    _stats.sendsFailed += static_cast<unsigned>(unfinished.size());
    for (Completion& done : unfinished)
        done(false);
}

void LineSession::_handle(WireEvent event, Clock::time_point now)
{
    switch (event.kind) {
    case WireEvent::Kind::Frame:
        _receive(std::move(event.message), frameAccepted, true, now);
        break;
    case WireEvent::Kind::BadFrame:
        ++_stats.badReceived;
        _write(frameRejected, now);
        break;
    case WireEvent::Kind::Packet:
        _receive(std::move(event.message), encodeAcknowledgement(event.id), false, now);
        break;
    case WireEvent::Kind::BadPacket:
        ++_stats.badReceived; // the sender's time-out covers it
        break;
    case WireEvent::Kind::Acknowledgement: {
        const auto it = _packets.find(event.id);
        if (it != _packets.end()) {
            Completion done = std::move(it->second.done);
            _packets.erase(it);
            done(true);
        }
        break;
    }
    case WireEvent::Kind::Accepted:
        if (!_frames.empty())
            _finishFrame(true, now);
        break;
    case WireEvent::Kind::Rejected:
        ++_stats.rejectionsReceived;
        if (_frames.empty())
            break;
        if (_frames.front().repeats < frameRepeatLimit) {
            ++_frames.front().repeats;
            ++_stats.repeatsSent;
            _write(encodeFrame(_frames.front().message), now);
        } else {
            _finishFrame(false, now);
        }
        break;
    }
}

void LineSession::_receive(Bytes message, const Bytes& answer, bool frame, Clock::time_point now)
{
    if (_refuse > 0) {
        --_refuse;
        ++_stats.refused;
        if (frame)
            _write(frameRejected, now); // a refused packet just goes unanswered
        return;
    }
    if (_withhold > 0)
        --_withhold;
    else
        _write(answer, now);
    ++_stats.messagesReceived;
    _deliver(std::move(message));
}

void LineSession::_write(Bytes bytes, Clock::time_point now)
{
    if (!_silent)
        _output.push_back(Output{now + _delay, std::move(bytes)});
}

void LineSession::_transmitFrame(Clock::time_point now)
{
    Outgoing& head = _frames.front();
    head.deadline = now + frameConfirmationTimeout;
    head.repeats = 0;
    _write(_maybeCorrupted(encodeFrame(head.message)), now);
}

void LineSession::_transmitPacket(Outgoing outgoing, Clock::time_point now)
{
    const PacketId id = _newPacketId();
    outgoing.deadline = now + packetAcknowledgementTimeout;
    _write(_maybeCorrupted(encodePacket(id, outgoing.message)), now);
    _packets.emplace(id, std::move(outgoing));
}

void LineSession::_finishFrame(bool acknowledged, Clock::time_point now)
{
    Completion done = std::move(_frames.front().done);
    _frames.pop_front();
    if (!acknowledged)
        ++_stats.sendsFailed;
    if (!_frames.empty())
        _transmitFrame(now);
    done(acknowledged);
}

Bytes LineSession::_maybeCorrupted(Bytes encoded)
{
    if (_corrupt) {
        _corrupt = false;
        encoded.back() ^= 0xFF; // low byte of the check
    }
    return encoded;
}

PacketId LineSession::_newPacketId()
{
    const uint64_t value = _nextPacketId++;
    PacketId id;
    std::memcpy(id.data(), &value, id.size());
    return id;
}

} // namespace terminal_sim
