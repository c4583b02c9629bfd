#include "serial/ProxySerialPort.h"

#include <algorithm>
#include <chrono>

#include "LibMisc/Confirmation.h"
#include "logging/Logger.h"
#include "serial/SerialPortExceptions.h"
#include "serial/SerialPortInput.h"
#include "serial/WireFormat.h"

namespace Proxy {

namespace {

constexpr unsigned kBodyTimeoutMs = 500;
constexpr unsigned kNotBlockingWaitMs = 500;
constexpr size_t kVectorReadCapacity = 8192;
constexpr unsigned kSkipBlock = 32768;

using Lock = std::lock_guard<std::recursive_mutex>;

} // namespace

ProxySerialPort::ProxySerialPort(const std::string& serialPortName, bool framed)
    : SerialPortTransport(serialPortName, framed)
{
}

ProxySerialPort::~ProxySerialPort() { _awaitDetached(); }

int ProxySerialPort::write(const unsigned char* data, size_t length)
{
    Lock lock(_frameWriteLock);
    if (_sendFrameAwaiting(data, length, true, _confirmationTimeout) == 0) {
        _clearLastBuffer();
        return 0;
    }
    reopen();
    _repeatCounter = 0;
    _writeUnlock();
    throw LibMisc::EWriteData();
}

int ProxySerialPort::writeNotBloking(const unsigned char* data, size_t length)
{
    Lock lock(_frameWriteLock);
    if (_sendFrameAwaiting(data, length, false, kNotBlockingWaitMs) != 0)
        _writeUnlock();
    return 0;
}

int ProxySerialPort::_sendFrameAwaiting(const unsigned char* data, size_t length, bool keepForRepeat,
                                        unsigned milliseconds)
{
    _restartActivity();
    const std::vector<uint8_t> frame = _buildFrame(data, length);
    if (keepForRepeat)
        _setLastBuffer(frame);
    _writeLock();
    _writeAccess(frame.data(), frame.size());
    return _wait(milliseconds);
}

int ProxySerialPort::read(unsigned char* buffer, size_t capacity)
{
    Lock lock(_readLock);
    std::vector<unsigned char> header;
    _port.Read(header, SerialLink::kLengthSize, 0);
    if (logger::Log::isHexDumpEnable())
        logger::Log::s_CoreLogger->info("[Serial Port] Read: {}",
                                        kiv_proxy::HexDump16ToString(header.data(), header.size()));
    _restartActivity();

    SerialLink::SerialPortInput input(_port);
    std::vector<uint8_t> frame;
    const SerialLink::FrameResult result =
        SerialLink::readFrame(header.data(), {_framed, 1, capacity, kBodyTimeoutMs}, input, _check(), frame);
    using Kind = SerialLink::FrameResult::Kind;
    switch (result.kind) {
    case Kind::Control:
        return _onControlFrame(result.code);
    case Kind::BadLength:
        _port.FlushInputBuffer();
        break;
    case Kind::ShortBody:
        logger::Log::s_CoreLogger->warn("Read timeout, size: {}", result.length);
        _port.FlushInputBuffer();
        break;
    case Kind::BadCheck:
        _port.FlushInputBuffer();
        logger::Log::s_CoreLogger->warn("Not match hash! calcHash: {}, recvHash: {}", result.calculated,
                                        result.received);
        break;
    case Kind::Frame:
        _writeAccess(LibMisc::Confirmation::kAccepted, sizeof LibMisc::Confirmation::kAccepted);
        std::copy_n(frame.begin() + SerialLink::kLengthSize, result.length, buffer);
        return result.length;
    }
    _writeAccess(LibMisc::Confirmation::kRefused, sizeof LibMisc::Confirmation::kRefused);
    return 0;
}

int ProxySerialPort::_onControlFrame(uint8_t code)
{
    switch (code) {
    case SerialLink::kAccepted:
        _repeatCounter = 0;
        _writeUnlock();
        return 0;
    case SerialLink::kPacketMarker:
        setProtocolType(SP_PACKETS);
        return kPacketMarkerSeen;
    case SerialLink::kAcknowledgementMarker:
        setProtocolType(SP_PACKETS);
        return kAcknowledgementMarkerSeen;
    default:
        // Any other FE xx rejects the outstanding frame; after too many
        // re-sends it is given up and its writer returns as if confirmed.
        if (_repeatCounter > _repeatLimit) {
            _writeUnlock();
            _repeatCounter = 0;
        } else {
            _repeatWrite();
        }
        return 0;
    }
}

bool ProxySerialPort::isConnected() const { return isOpen(); }

int ProxySerialPort::read(std::vector<unsigned char>& data)
{
    unsigned char buffer[kVectorReadCapacity];
    const int result = read(buffer, sizeof buffer);
    if (result > 0)
        data.insert(data.end(), buffer, buffer + result);
    return result;
}

int ProxySerialPort::read(unsigned char* buffer, size_t capacity, unsigned milliseconds)
{
    std::vector<unsigned char> received;
    _port.Read(received, static_cast<unsigned>(capacity), milliseconds);
    const size_t count = std::min(received.size(), capacity);
    std::copy_n(received.begin(), count, buffer);
    return static_cast<int>(count);
}

bool ProxySerialPort::isDataAvailable() const { return _port.IsDataAvailable(); }

void ProxySerialPort::clearBuffer() { _port.FlushIOBuffers(); }

void ProxySerialPort::skipData(unsigned milliseconds)
{
    for (;;) {
        std::vector<unsigned char> block;
        try {
            _port.Read(block, kSkipBlock, milliseconds);
            logger::Log::s_CoreLogger->info("[Serial Port] Skip: {}", block.size());
        } catch (const SerialPort::ReadTimeout&) {
            logger::Log::s_CoreLogger->info("[Serial Port] Skip: {}", block.size());
            return;
        } catch (...) {
            return;
        }
    }
}

LibMisc::TimeVal ProxySerialPort::getWaitTime() const
{
    std::lock_guard<std::mutex> guard(_activityLock);
    return _lastActivity.getTime();
}

uint16_t ProxySerialPort::_calcCRC_16(const unsigned char* data, size_t length) const
{
    return SerialLink::coveredWordCheck(data, length);
}

int ProxySerialPort::writeFrame(const unsigned char* data, size_t length)
{
    const std::vector<uint8_t> frame = _buildFrame(data, length);
    return _writeAccess(frame.data(), frame.size());
}

int ProxySerialPort::_writeAccess(const unsigned char* data, size_t length)
{
    Lock lock(_serialWriteLock);
    _logWrite(data, length);
    return SerialPortTransport::_writeAccess(data, length);
}

void ProxySerialPort::_writeAccessAsync(const unsigned char* data, size_t length)
{
    std::vector<unsigned char> copy(data, data + length);
    _detach([this, copy = std::move(copy)] {
        Lock lock(_serialWriteLock);
        _logWrite(copy.data(), copy.size());
        SerialPortTransport::_writeAccess(copy.data(), copy.size());
    });
}

void ProxySerialPort::_logWrite(const unsigned char* data, size_t length) const
{
    if (logger::Log::isHexDumpEnable())
        logger::Log::s_CoreLogger->info("[Serial Port] Write: {}", kiv_proxy::HexDump16ToString(data, length));
}

void ProxySerialPort::_writeLock()
{
    std::lock_guard<std::mutex> guard(_flagLock);
    _waiting = true;
}

void ProxySerialPort::_writeUnlock()
{
    {
        std::lock_guard<std::mutex> guard(_flagLock);
        _waiting = false;
    }
    _flagCleared.notify_all();
}

bool ProxySerialPort::_getAccess() const
{
    std::lock_guard<std::mutex> guard(_flagLock);
    return _waiting;
}

int ProxySerialPort::_wait(unsigned milliseconds)
{
    std::unique_lock<std::mutex> guard(_flagLock);
    const auto cleared = [this] { return !_waiting; };
    if (milliseconds == 0) {
        _flagCleared.wait(guard, cleared);
        return 0;
    }
    if (_flagCleared.wait_for(guard, std::chrono::milliseconds(milliseconds), cleared))
        return 0;
    guard.unlock();
    _port.FlushIOBuffers();
    return -1;
}

void ProxySerialPort::_restartActivity()
{
    std::lock_guard<std::mutex> guard(_activityLock);
    _lastActivity.reset();
}

} // namespace Proxy
