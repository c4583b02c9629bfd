#include "serial/SerialPortTransport.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "LibMisc/Confirmation.h"
#include "logging/Logger.h"
#include "serial/FrameReader.h"
#include "serial/SerialPortInput.h"
#include "serial/WireFormat.h"

namespace LibMisc {

namespace {

constexpr unsigned kConfirmationReadTimeoutMs = 2000;
constexpr unsigned kHeaderTimeoutMs = 2000;
constexpr unsigned kBodyTimeoutMs = 5000;

struct Speed {
    unsigned bitsPerSecond;
    SerialPort::BaudRate code;
};
constexpr Speed kSpeeds[] = {{4800, SerialPort::BAUD_4800},   {9600, SerialPort::BAUD_9600},
                             {19200, SerialPort::BAUD_19200}, {38400, SerialPort::BAUD_38400},
                             {57600, SerialPort::BAUD_57600}, {115200, SerialPort::BAUD_115200}};

} // namespace

SerialPortTransport::SerialPortTransport(const std::string& serialPortName, bool framed)
    : _serialPortName(serialPortName), _port(serialPortName), _framed(framed)
{
}

SerialPortTransport::~SerialPortTransport()
{
    _awaitDetached();
    try {
        if (_port.IsOpen())
            _port.Close();
    } catch (...) {
        logger::Log::s_CoreLogger->error("[Serial Port] Unknown Close error");
    }
}

bool SerialPortTransport::open()
{
    Lock lock(_mutex);
    const auto failed = [this](const char* message) {
        if (_port.IsOpen())
            return false;
        logger::Log::s_CoreLogger->error(message);
        return true;
    };
    try {
        _port.Open(SerialPort::BAUD_57600, SerialPort::CHAR_SIZE_8, SerialPort::PARITY_NONE, SerialPort::STOP_BITS_1,
                   SerialPort::FLOW_CONTROL_NONE);
        if (failed("[Serial Port] Could not open serial port."))
            return false;
        _port.SetBaudRate(SerialPort::BAUD_115200);
        if (failed("[Serial Port] Could not set the baud rate."))
            return false;
        _port.SetCharSize(SerialPort::CHAR_SIZE_8);
        if (failed("[Serial Port] Could not set the character size."))
            return false;
        _port.SetParity(SerialPort::PARITY_NONE);
        if (failed("[Serial Port] Could not disable the parity."))
            return false;
        _port.SetNumOfStopBits(SerialPort::STOP_BITS_1);
        if (failed("[Serial Port] Could not set the number of stop bits."))
            return false;
        _port.SetFlowControl(SerialPort::FLOW_CONTROL_NONE);
        if (failed("[Serial Port] Could not use hardware flow control."))
            return false;
    } catch (const std::exception&) {
        return false;
    } catch (...) {
        logger::Log::s_CoreLogger->error("[Serial Port] Unknown open error");
        return false;
    }
    return _port.IsOpen();
}

bool SerialPortTransport::isOpen() const
{
    Lock lock(_mutex);
    return _port.IsOpen();
}

void SerialPortTransport::close()
{
    Lock lock(_mutex);
    try {
        _port.Close();
    } catch (const std::exception& e) {
        logger::Log::s_CoreLogger->error("[Serial Port] Close error: {}", e.what());
    } catch (...) {
        logger::Log::s_CoreLogger->error("[Serial Port] Unknown close error");
    }
}

bool SerialPortTransport::reopen()
{
    Lock lock(_mutex);
    close();
    return open();
}

void SerialPortTransport::setSerialPortName(const std::string& name)
{
    Lock lock(_mutex);
    _serialPortName = name;
    _port.SetSerialPortName(name);
}

std::string SerialPortTransport::getSerialPortName() const
{
    Lock lock(_mutex);
    return _serialPortName;
}

void SerialPortTransport::setConfirmationTimeout(unsigned milliseconds) { _confirmationTimeout = milliseconds; }

unsigned SerialPortTransport::getConfirmationTimeout() const { return _confirmationTimeout; }

bool SerialPortTransport::setBaudRate(unsigned bitsPerSecond)
{
    const auto speed = std::find_if(std::begin(kSpeeds), std::end(kSpeeds),
                                    [bitsPerSecond](const Speed& s) { return s.bitsPerSecond == bitsPerSecond; });
    if (speed == std::end(kSpeeds)) {
        logger::Log::s_CoreLogger->error("[Serial Port] Error set speed. Serial port not supported {} baud rate",
                                         bitsPerSecond);
        return false;
    }
    Lock lock(_mutex);
    _port.SetBaudRate(speed->code);
    if (!_port.IsOpen())
        logger::Log::s_CoreLogger->error("[Serial Port] Could not set the baud rate.");
    return _port.IsOpen();
}

unsigned SerialPortTransport::getBaudRate() const
{
    Lock lock(_mutex);
    try {
        const SerialPort::BaudRate code = _port.GetBaudRate();
        const auto speed =
            std::find_if(std::begin(kSpeeds), std::end(kSpeeds), [code](const Speed& s) { return s.code == code; });
        return speed == std::end(kSpeeds) ? 0 : speed->bitsPerSecond;
    } catch (const std::exception& e) {
        logger::Log::s_CoreLogger->error("[Serial Port] Getbaudrate error: {}", e.what());
    } catch (...) {
        logger::Log::s_CoreLogger->error("[Serial Port] Unknown Getbaudrate error");
    }
    return 57600;
}

void SerialPortTransport::setProtocolType(SpProtocolType type) { _protocolType = type; }

SerialPortTransport::SpProtocolType SerialPortTransport::getProtocolType() { return _protocolType; }

int SerialPortTransport::write(const unsigned char* data, size_t length)
{
    Lock lock(_mutex);
    if (!_framed)
        return _writeAccess(data, length);
    const std::vector<uint8_t> frame = _buildFrame(data, length);
    _setLastBuffer(frame);
    _writeAccess(frame.data(), frame.size());

    std::vector<unsigned char> confirmation;
    _port.Read(confirmation, 2, kConfirmationReadTimeoutMs);
    if (confirmation[0] != SerialLink::kControlPrefix)
        return 0;
    if (confirmation[1] == SerialLink::kAccepted)
        _repeatCounter = 0;
    else if (_repeatCounter <= _repeatLimit)
        _repeatWrite();
    else
        _repeatCounter = 0;
    return 0;
}

int SerialPortTransport::read(unsigned char* buffer, size_t capacity)
{
    std::vector<unsigned char> data;
    read(data);
    const size_t count = std::min(capacity, data.size());
    std::copy_n(data.begin(), count, buffer);
    return static_cast<int>(count);
}

int SerialPortTransport::read(std::vector<unsigned char>& data)
{
    Lock lock(_mutex);
    std::vector<unsigned char> header;
    if (!_framed) {
        // Bytes pass through as they come: the first within the header
        // time-out, then whatever else is already waiting.
        _port.Read(header, 1, kHeaderTimeoutMs);
        unsigned char rest[4096];
        const int more = _port.ReadBytes(rest, sizeof rest, 1, 0);
        data.push_back(header[0]);
        data.insert(data.end(), rest, rest + std::max(more, 0));
        return 0;
    }
    _port.Read(header, 2, kHeaderTimeoutMs);
    SerialLink::SerialPortInput input(_port);
    std::vector<uint8_t> frame;
    // A frame carries at least its check; a shorter length field is refused.
    const SerialLink::FrameResult result = SerialLink::readFrame(
        header.data(), {false, SerialLink::kCheckSize, UINT16_MAX, kBodyTimeoutMs}, input, _check(), frame);
    if (result.kind != SerialLink::FrameResult::Kind::Frame) {
        _port.FlushIOBuffers();
        if (result.kind == SerialLink::FrameResult::Kind::BadCheck)
            logger::Log::s_CoreLogger->warn("[Serial Port] Not match hash! calcHash: {}, recvHash: {}",
                                            result.calculated, result.received);
        _writeAccess(Confirmation::kRefused, sizeof Confirmation::kRefused);
        return 0;
    }
    _writeAccess(Confirmation::kAccepted, sizeof Confirmation::kAccepted);
    data.insert(data.end(), frame.begin() + SerialLink::kLengthSize,
                frame.begin() + SerialLink::kLengthSize + result.length - SerialLink::kCheckSize);
    return 0;
}

int SerialPortTransport::writeNotBloking(const unsigned char* data, size_t length)
{
    Lock lock(_mutex);
    const std::vector<uint8_t> frame = _buildFrame(data, length);
    _writeAccess(frame.data(), frame.size());
    return 0;
}

std::string SerialPortTransport::getSerialPortPath(SerialPortName name)
{
    switch (name) {
    case TTY_S1:
        return "/dev/ttyS1";
    case TTY_S2:
        return "/dev/ttyS2";
    case TTY_S3:
        return "/dev/ttyS3";
    case TTY_GS0:
        return "/dev/ttyGS0";
    case TTY_ACM0:
        return "/dev/ttyACM0";
    case TTY_ACM1:
        return "/dev/ttyACM1";
    case TTY_ACM2:
        return "/dev/ttyACM2";
    case TTY_ACM3:
        return "/dev/ttyACM3";
    default:
        return "/dev/ttyS0";
    }
}

uint16_t SerialPortTransport::_calcCRC_16(const unsigned char* data, size_t length) const
{
    return SerialLink::xorWordCheck(data, length);
}

int SerialPortTransport::_writeAccess(const unsigned char* data, size_t length)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            _port.Write(data, static_cast<unsigned>(length));
            return 0;
        } catch (const std::runtime_error& e) {
            logger::Log::s_CoreLogger->warn("[Serial Port] Write error: {}. Reopen...", e.what());
            reopen();
        }
    }
    return 0;
}

void SerialPortTransport::_writeAccessAsync(const unsigned char* data, size_t length)
{
    std::vector<unsigned char> copy(data, data + length);
    _detach([this, copy = std::move(copy)] {
        if (logger::Log::isHexDumpEnable())
            logger::Log::s_CoreLogger->info("[Serial Port] Write: {}",
                                            kiv_proxy::HexDump16ToString(copy.data(), copy.size()));
        _writeAccess(copy.data(), copy.size());
    });
}

void SerialPortTransport::_repeatWrite()
{
    logger::Log::s_CoreLogger->info("Repeat write\n");
    std::vector<uint8_t> frame;
    {
        std::lock_guard<std::mutex> guard(_lastFrameLock);
        frame = _lastFrame;
    }
    if (!frame.empty()) {
        ++_repeatCounter;
        _writeAccess(frame.data(), frame.size());
        return;
    }
    logger::Log::s_CoreLogger->info("Last buffer is empty, write keep alive");
    _writeAccess(SerialLink::kKeepAliveFrame, sizeof SerialLink::kKeepAliveFrame);
}

void SerialPortTransport::_clearLastBuffer()
{
    std::lock_guard<std::mutex> guard(_lastFrameLock);
    _lastFrame.clear();
}

void SerialPortTransport::_setLastBuffer(const std::vector<uint8_t>& frame)
{
    std::lock_guard<std::mutex> guard(_lastFrameLock);
    _lastFrame = frame;
}

std::vector<uint8_t> SerialPortTransport::_buildFrame(const unsigned char* data, size_t length) const
{
    return SerialLink::buildFrame(data, length, _check());
}

SerialLink::Check SerialPortTransport::_check() const
{
    return [this](const uint8_t* bytes, size_t length) { return _calcCRC_16(bytes, length); };
}

void SerialPortTransport::_detach(std::function<void()> work)
{
    {
        std::lock_guard<std::mutex> guard(_detachedLock);
        ++_detachedCount;
    }
    std::thread([this, work = std::move(work)] {
        try {
            work();
        } catch (const std::exception& e) {
            logger::Log::s_CoreLogger->error("[Serial Port] Asynchronous write error: {}", e.what());
        }
        std::lock_guard<std::mutex> guard(_detachedLock);
        if (--_detachedCount == 0)
            _detachedDone.notify_all();
    }).detach();
}

void SerialPortTransport::_awaitDetached()
{
    std::unique_lock<std::mutex> guard(_detachedLock);
    _detachedDone.wait(guard, [this] { return _detachedCount == 0; });
}

} // namespace LibMisc
