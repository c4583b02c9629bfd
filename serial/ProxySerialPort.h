#pragma once

#include <condition_variable>
#include <mutex>

#include "LibMisc/Time.h"
#include "serial/FrameReader.h"
#include "serial/SerialPortTransport.h"

namespace Proxy {

// Confirmed-frame protocol: one reader thread receives everything on the
// line (frames, confirmations, rejections, the packet-protocol markers) while
// writers block until the reader delivers their confirmation. A write can
// only complete while that reader loop runs.
//
// Lock order, outermost first: frame-write lock, then serial-write lock;
// read lock, then serial-write lock; the transport lock comes last (reopen).
// A writer never takes the read lock and the reader never the frame-write lock.
class ProxySerialPort : public LibMisc::SerialPortTransport {
public:
    // Returned by read when the terminal switched to the packet protocol.
    static constexpr int kPacketMarkerSeen = -887;
    static constexpr int kAcknowledgementMarkerSeen = -888;

    ProxySerialPort(const std::string& serialPortName, bool framed);
    ~ProxySerialPort() override;

    // Sends a frame and waits for FE 06 up to the confirmation time-out; then
    // reopens the line and throws LibMisc::EWriteData.
    int write(const unsigned char* data, size_t length) override;
    // One frame or control frame: L (data and its two check bytes copied into
    // the buffer), 0 when nothing is delivered, kPacketMarkerSeen or
    // kAcknowledgementMarkerSeen. Waits without limit for the header.
    int read(unsigned char* buffer, size_t capacity) override;
    bool isConnected() const override;
    int read(std::vector<unsigned char>& data) override;
    // As write, but waits at most 500 ms and never throws for lack of a confirmation.
    int writeNotBloking(const unsigned char* data, size_t length) override;

    // One frame without awaiting its confirmation: the discovery probe goes
    // out before any reader runs, so a confirmed write could only time out.
    int writeFrame(const unsigned char* data, size_t length);
    // Unframed: capacity bytes within the time-out; SerialPort::ReadTimeout when fewer arrive.
    virtual int read(unsigned char* buffer, size_t capacity, unsigned milliseconds);
    virtual bool isDataAvailable() const;
    virtual void clearBuffer();

    // Drains the line in blocks until one block times out.
    void skipData(unsigned milliseconds);
    // Time since the last frame write or frame header read.
    LibMisc::TimeVal getWaitTime() const;

protected:
    uint16_t _calcCRC_16(const unsigned char* data, size_t length) const override;
    int _writeAccess(const unsigned char* data, size_t length) override;
    void _writeAccessAsync(const unsigned char* data, size_t length) override;

    // The waiting flag: set while a confirmed frame is outstanding.
    void _writeLock();
    void _writeUnlock();
    bool _getAccess() const;
    // Waits for the flag to clear (0: without limit): 0, or -1 after
    // discarding both device buffers when the time ran out.
    int _wait(unsigned milliseconds);

    std::recursive_mutex _readLock;
    std::recursive_mutex _serialWriteLock;

private:
    int _onControlFrame(uint8_t code);
    int _sendFrameAwaiting(const unsigned char* data, size_t length, bool keepForRepeat, unsigned milliseconds);
    void _restartActivity();
    void _logWrite(const unsigned char* data, size_t length) const;

    mutable std::mutex _flagLock;
    std::condition_variable _flagCleared;
    bool _waiting = false;
    mutable std::mutex _activityLock;
    LibMisc::Stopwatch _lastActivity;
    std::recursive_mutex _frameWriteLock;
};

} // namespace Proxy
