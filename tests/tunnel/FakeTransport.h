#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "serial/ISerialPortTrasport.h"

// Stands in for the serial transport: records every write and answers it
// with a chosen result or exception.
class FakeTransport : public LibMisc::ISerialPortTrasport {
public:
    using Bytes = std::vector<unsigned char>;

    int write(const unsigned char* data, size_t length) override
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _writes.emplace_back(data, data + length);
        _written.notify_all();
        if (_throwOnWrite)
            throw std::runtime_error("terminal did not confirm");
        return _writeResult;
    }

    void answerWritesWith(int result)
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _writeResult = result;
    }
    void throwOnWrite()
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _throwOnWrite = true;
    }

    // The writes so far once there are at least `count` (fewer after `timeout`).
    std::vector<Bytes> waitForWrites(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        std::unique_lock<std::mutex> lock(_mutex);
        _written.wait_for(lock, timeout, [&] { return _writes.size() >= count; });
        return _writes;
    }
    std::vector<Bytes> writes()
    {
        std::lock_guard<std::mutex> lock(_mutex);
        return _writes;
    }

    bool isConnected() const override { return true; }
    int read(unsigned char*, size_t) override { return 0; }
    int read(std::vector<unsigned char>&) override { return 0; }
    int writeNotBloking(const unsigned char* data, size_t length) override { return write(data, length); }
    bool open() override { return true; }
    bool isOpen() const override { return true; }
    void close() override {}
    bool reopen() override { return true; }
    void setSerialPortName(const std::string&) override {}
    std::string getSerialPortName() const override { return "fake"; }
    void setConfirmationTimeout(unsigned) override {}
    unsigned getConfirmationTimeout() const override { return 0; }
    bool setBaudRate(unsigned) override { return true; }
    unsigned getBaudRate() const override { return 115200; }

private:
    std::mutex _mutex;
    std::condition_variable _written;
    std::vector<Bytes> _writes;
    int _writeResult = 0;
    bool _throwOnWrite = false;
};
