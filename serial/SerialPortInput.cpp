#include "serial/SerialPortInput.h"

#include <algorithm>
#include <vector>

namespace SerialLink {

size_t SerialPortInput::read(uint8_t* out, size_t count, unsigned timeoutMs)
{
    std::vector<unsigned char> received;
    try {
        _port.Read(received, static_cast<unsigned>(count), timeoutMs);
    } catch (const SerialPort::ReadTimeout&) {
        // Read leaves the bytes that did arrive in the vector.
    }
    const size_t n = std::min(received.size(), count);
    std::copy_n(received.begin(), n, out);
    return n;
}

} // namespace SerialLink
