#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "serial/LineInput.h"

// Fuzz input as a serial line: timed reads get what is left, a read without
// limit past the end fails like a device that went away.
class MemoryInput : public SerialLink::ILineInput {
public:
    MemoryInput(const uint8_t* data, size_t size) : _data(data), _size(size) {}

    size_t read(uint8_t* out, size_t count, unsigned timeoutMs) override
    {
        const size_t n = std::min(count, _size - _position);
        if (n < count && timeoutMs == 0)
            throw std::runtime_error("end of input");
        std::copy_n(_data + _position, n, out);
        _position += n;
        return n;
    }

    bool exhausted() const { return _position == _size; }

private:
    const uint8_t* _data;
    size_t _size;
    size_t _position = 0;
};
