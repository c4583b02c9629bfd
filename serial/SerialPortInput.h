#pragma once

#include "serial/LineInput.h"
#include "serial/SerialPort.h"

namespace SerialLink {

// The device as a reader input: a time-out yields the bytes that arrived,
// other device errors pass through as SerialPort's exceptions.
class SerialPortInput : public ILineInput {
public:
    explicit SerialPortInput(SerialPort& port) : _port(port) {}
    size_t read(uint8_t* out, size_t count, unsigned timeoutMs) override;

private:
    SerialPort& _port;
};

} // namespace SerialLink
