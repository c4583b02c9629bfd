#include "service/TerminalWriter.h"

#include <mutex>
#include <vector>

#include "protocol/ProxyProtokol.h"
#include "serial/SerialPortTransport.h"
#include "service/ProxyState.h"

namespace kiv_proxy {

namespace {
const char* const kSerialNumber = "123456789";
constexpr size_t kCloseNoticeBuffer = 64;
constexpr int kStatusClosed = -3;
} // namespace

bool writeToTerminal(Proxy::IProtokol& message, size_t bufferSize, bool blocking)
{
    std::vector<unsigned char> buffer(bufferSize, 0);
    const unsigned length = message.pack(buffer.data(), static_cast<unsigned>(buffer.size()));
    std::lock_guard<std::recursive_mutex> lock(serial_port_mutex);
    if (!pSerialPort)
        return false;
    if (blocking)
        pSerialPort->write(buffer.data(), length);
    else
        pSerialPort->writeNotBloking(buffer.data(), length);
    return true;
}

bool sendConnectionStatus(uint64_t id, int messageType, int status, size_t bufferSize)
{
    Proxy::CmdProtokol command(id, static_cast<Proxy::ProxyMessType>(messageType), kSerialNumber);
    command.addConnectionStatus(status);
    return writeToTerminal(command, bufferSize);
}

bool sendCloseNotification(uint64_t id)
{
    return sendConnectionStatus(id, Proxy::PMT_CONNECTION_CONTROL, kStatusClosed, kCloseNoticeBuffer);
}

} // namespace kiv_proxy
