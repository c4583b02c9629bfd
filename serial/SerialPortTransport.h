#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "LibMisc/ThreadSafety.h"
#include "serial/ISerialPortTrasport.h"
#include "serial/SerialPort.h"
#include "serial/WireFormat.h"

namespace LibMisc {

// The usual device paths (getSerialPortPath).
enum SerialPortName : int { TTY_S0, TTY_S1, TTY_S2, TTY_S3, TTY_GS0, TTY_ACM0, TTY_ACM1, TTY_ACM2, TTY_ACM3 };

// Base transport: owns the device, opens the line with fixed settings, frames
// messages (length, data, XOR check) and keeps the last frame for re-sending.
// Its own write reads the confirmation itself, so reading and writing must
// not run on two threads at once here; the derived transports lift that.
class SerialPortTransport : public ISerialPortTrasport, public ThreadSafeSimple {
public:
    enum SpProtocolType : int { SP_CONFIRMED_FRAMES = 0, SP_PACKETS = 1 };

    SerialPortTransport(const std::string& serialPortName, bool framed);
    ~SerialPortTransport() override;

    int write(const unsigned char* data, size_t length) override;
    int read(unsigned char* buffer, size_t capacity) override;
    bool open() override;
    bool isOpen() const override;
    void close() override;
    bool reopen() override;
    void setSerialPortName(const std::string& name) override;
    std::string getSerialPortName() const override;
    void setConfirmationTimeout(unsigned milliseconds) override;
    unsigned getConfirmationTimeout() const override;
    // Accepts 4800, 9600, 19200, 38400, 57600 and 115200.
    bool setBaudRate(unsigned bitsPerSecond) override;
    unsigned getBaudRate() const override;
    int read(std::vector<unsigned char>& data) override;
    int writeNotBloking(const unsigned char* data, size_t length) override;

    virtual void setProtocolType(SpProtocolType type);
    virtual SpProtocolType getProtocolType();

    static std::string getSerialPortPath(SerialPortName name);

protected:
    virtual uint16_t _calcCRC_16(const unsigned char* data, size_t length) const;
    // Raw write; a device error is logged, the line reopened and the write
    // tried once more, after which the data is dropped. A closed port throws.
    virtual int _writeAccess(const unsigned char* data, size_t length);
    virtual void _writeAccessAsync(const unsigned char* data, size_t length);

    // Sends the last frame again, or the keep-alive frame when there is none.
    void _repeatWrite();
    void _clearLastBuffer();
    void _setLastBuffer(const std::vector<uint8_t>& frame);
    std::vector<uint8_t> _buildFrame(const unsigned char* data, size_t length) const;
    // The check of this transport, through the _calcCRC_16 slot.
    SerialLink::Check _check() const;

    // Runs `work` on a detached thread; destructors wait for these threads so
    // none outlives the transport.
    void _detach(std::function<void()> work);
    void _awaitDetached();

    std::string _serialPortName;
    SerialPort _port;
    const bool _framed;
    std::atomic<unsigned> _confirmationTimeout{3000};
    const int _repeatLimit = 20;
    std::atomic<int> _repeatCounter{0};

private:
    std::atomic<SpProtocolType> _protocolType{SP_CONFIRMED_FRAMES};
    std::mutex _lastFrameLock; // the reader re-sends while a writer replaces it
    std::vector<uint8_t> _lastFrame;
    std::mutex _detachedLock;
    std::condition_variable _detachedDone;
    int _detachedCount = 0;
};

} // namespace LibMisc
