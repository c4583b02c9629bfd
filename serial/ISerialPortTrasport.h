#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace LibMisc {

// How the whole service reaches the terminal's serial line. One reader thread
// calls read; any number of threads may write.
class ISerialPortTrasport {
public:
    virtual ~ISerialPortTrasport() = default;

    virtual int write(const unsigned char* data, size_t length) = 0;
    virtual int read(unsigned char* buffer, size_t capacity) = 0;
    virtual bool open() = 0;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    virtual bool isConnected() const { return false; }
    virtual bool reopen() = 0;
    virtual void setSerialPortName(const std::string& name) = 0;
    virtual std::string getSerialPortName() const = 0;
    virtual void setConfirmationTimeout(unsigned milliseconds) = 0;
    virtual unsigned getConfirmationTimeout() const = 0;
    virtual bool setBaudRate(unsigned bitsPerSecond) = 0;
    virtual unsigned getBaudRate() const = 0;
    virtual int read(std::vector<unsigned char>& data) = 0;
    virtual int writeNotBloking(const unsigned char* data, size_t length) = 0;
};

} // namespace LibMisc
