#include "serial/NonBtpSerialPortTransport.h"

#include <algorithm>
#include <cstring>

#include "LibMisc/CCode/Reference.h"
#include "logging/Logger.h"
#include "serial/SerialPortExceptions.h"
#include "serial/SerialPortInput.h"
#include "serial/WireFormat.h"

namespace Proxy {

namespace {

constexpr int kWriteAttempts = 5;
constexpr unsigned kAcknowledgementWaitMs = 2000;
constexpr unsigned kNotBlockingAcknowledgementWaitMs = 1000;

// Every writer waits at most 2 s for its own identifier, so an acknowledgement
// nobody collected within this time never will be: it is dropped when a later
// one is recorded. This keeps the set bounded.
constexpr std::chrono::seconds kAcknowledgementKept{10};

} // namespace

NonBtpSerialPortTransport::NonBtpSerialPortTransport(const std::string& serialPortName)
    : ProxySerialPort(serialPortName, true)
{
}

NonBtpSerialPortTransport::~NonBtpSerialPortTransport() { _awaitDetached(); }

int NonBtpSerialPortTransport::write(const unsigned char* data, size_t length)
{
    if (getProtocolType() == SP_CONFIRMED_FRAMES)
        return ProxySerialPort::write(data, length);
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
        const uint64_t id = writePacket(data, length);
        if (_waitWrite(id, kAcknowledgementWaitMs))
            return static_cast<int>(length);
        logger::Log::s_CoreLogger->warn("Timeout package {}", id);
    }
    throw LibMisc::EWriteData();
}

int NonBtpSerialPortTransport::writeNotBloking(const unsigned char* data, size_t length)
{
    if (getProtocolType() == SP_CONFIRMED_FRAMES)
        return ProxySerialPort::write(data, length);
    const uint64_t id = writePacket(data, length);
    return _waitWrite(id, kNotBlockingAcknowledgementWaitMs) ? static_cast<int>(length) : 0;
}

uint64_t NonBtpSerialPortTransport::writePacket(const unsigned char* data, size_t length)
{
    const uint64_t id = make_refference();
    const std::vector<uint8_t> packet = SerialLink::buildPacket(id, data, length, _check());
    _writeAccess(packet.data(), packet.size());
    return id;
}

int NonBtpSerialPortTransport::read(unsigned char* buffer, size_t capacity)
{
    SerialLink::SerialPortInput input(_port);
    if (getProtocolType() == SP_CONFIRMED_FRAMES) {
        const int result = ProxySerialPort::read(buffer, capacity);
        if (result != kPacketMarkerSeen && result != kAcknowledgementMarkerSeen)
            return result;
        // The marker is consumed; the rest of that unit follows in the packet protocol.
        std::lock_guard<std::recursive_mutex> lock(_readLock);
        const uint8_t marker =
            result == kPacketMarkerSeen ? SerialLink::kPacketMarker : SerialLink::kAcknowledgementMarker;
        return _deliver(SerialLink::readAfterMarker(marker, input, capacity, _check()), buffer);
    }
    std::lock_guard<std::recursive_mutex> lock(_readLock);
    return _deliver(SerialLink::readPacket(input, capacity, _check()), buffer);
}

int NonBtpSerialPortTransport::_deliver(const SerialLink::PacketResult& result, unsigned char* buffer)
{
    const auto& log = logger::Log::s_CoreLogger;
    using Kind = SerialLink::PacketResult::Kind;
    switch (result.kind) {
    case Kind::SyncFailed:
        log->error("Read result: {}", -2);
        break;
    case Kind::Acknowledgement: {
        uint64_t id;
        std::memcpy(&id, result.id, sizeof id);
        _addPacketId(id);
        break;
    }
    case Kind::ShortId:
        log->warn("Error read id package");
        break;
    case Kind::ShortLength:
        log->warn("Error read len package");
        break;
    case Kind::BadLength:
        log->warn("Error len package, request size: {}", result.length);
        break;
    case Kind::ShortBody:
        log->error("Read package timeout, size: {}", result.length);
        break;
    case Kind::BadCheck:
        log->warn("Not match hash! calcHash: {}, recvHash: {}", result.calculated, result.received);
        break;
    case Kind::Unsupported:
        log->warn("Read unsupported control data, byte: {}", result.marker);
        break;
    case Kind::Packet: {
        const std::vector<uint8_t> acknowledgement = SerialLink::buildAcknowledgement(result.id);
        _writeAccessAsync(acknowledgement.data(), acknowledgement.size());
        std::copy_n(result.payload(), result.payloadSize(), buffer);
        return static_cast<int>(result.payloadSize());
    }
    }
    return 0;
}

bool NonBtpSerialPortTransport::_waitWrite(uint64_t id, unsigned milliseconds)
{
    std::unique_lock<std::mutex> guard(_ackLock);
    const bool acknowledged = _ackSignal.wait_for(guard, std::chrono::milliseconds(milliseconds),
                                                  [this, id] { return _acknowledged.count(id) != 0; });
    if (acknowledged)
        _acknowledged.erase(id);
    return acknowledged;
}

void NonBtpSerialPortTransport::_addPacketId(uint64_t id)
{
    {
        std::lock_guard<std::mutex> guard(_ackLock);
        const Clock::time_point now = Clock::now();
        while (!_arrivals.empty() && now - _arrivals.front().first > kAcknowledgementKept) {
            _acknowledged.erase(_arrivals.front().second);
            _arrivals.pop_front();
        }
        if (_acknowledged.insert(id).second)
            _arrivals.emplace_back(now, id);
    }
    _ackSignal.notify_all();
}

} // namespace Proxy
