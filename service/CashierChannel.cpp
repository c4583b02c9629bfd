#include "service/CashierChannel.h"

#include <cstring>
#include <ctime>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "LibMisc/ByteArray.h"
#include "LibMisc/CCode/Reference.h"
#include "logging/Logger.h"
#include "protocol/ProxyProtokol.h"
#include "serial/SerialPortTransport.h"
#include "service/ProxyState.h"
#include "service/TerminalWriter.h"

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;
using kiv_proxy::kMessageOverhead;

constexpr size_t kReceiveBufferSize = 64000;
constexpr timespec kReceiveTimeout = {600, 0};
constexpr int kWaitPollMs = 500;
constexpr time_t kMaxWaitSeconds = 5;

auto& log() { return logger::Log::s_CoreLogger; }

// Tests and sets the operation flag in one step, so two connections never
// both take up their operation.
bool beginOperation()
{
    Lock lock(operation_in_process_access);
    if (_lastOperationInProcess)
        return false;
    _lastOperationInProcess = true;
    return true;
}

void endOperation()
{
    Lock lock(operation_in_process_access);
    _lastOperationInProcess = false;
}

void closeConnection(int fd)
{
    shutdown(fd, SHUT_RD);
    close(fd);
}

// Waits up to about five seconds for the running operation to end.
// True when this connection has taken up the operation; otherwise fd is closed.
bool waitForOperation(int fd, time_t start)
{
    log()->info("[Event client] Last operation in process, start waiting");
    do {
        if (beginOperation())
            return true;
        // More bytes or a hang-up from a waiting client ends its wait.
        pollfd watch = {fd, POLLIN, 0};
        if (poll(&watch, 1, kWaitPollMs) > 0) {
            log()->info("[Event client] Client socket close connection");
            closeConnection(fd);
            return false;
        }
    } while (time(nullptr) - start < kMaxWaitSeconds);
    if (beginOperation())
        return true;
    log()->info("[Event client] Last operation still in process, close connection");
    closeConnection(fd);
    return false;
}

// Forwards one chunk to the terminal; false when the write failed.
bool forwardToTerminal(uint64_t reference, const unsigned char* chunk, size_t length)
{
    Proxy::DataProtokol message(reference, Proxy::PMT_EVENT_DATA);
    message.setData(LibMisc::ByteArray(chunk, length));
    std::vector<unsigned char> packed(length + kMessageOverhead, 0);
    const unsigned packedLength = message.pack(packed.data(), static_cast<unsigned>(packed.size()));
    try {
        Lock lock(serial_port_mutex);
        if (logger::Log::isHexDumpEnable())
            log()->info("[Event client] Write to terminal: {}", kiv_proxy::HexDump16ToString(packed.data(), packedLength));
        if (pSerialPort)
            pSerialPort->write(packed.data(), packedLength);
        else
            log()->warn("[Event client] SerialPort pointer is empty");
        return true;
    } catch (const std::exception& e) {
        log()->error("[Event client] SerialPort write PMT_EVENT_DATA error: {}", e.what());
        return false;
    }
}

} // namespace

void eventSocketOnAccept(SmartPointer server, int fd, void* context)
{
    std::thread(eventSocketOnAcceptProcess, server, fd, context, 5).detach();
}

int eventSocketOnAcceptError(SmartPointer, int error, void*)
{
    return error;
}

void eventSocketOnSvcClose(SmartPointer, void*) {}

void eventSocketOnAcceptProcess(SmartPointer, int fd, void* context, int)
{
    log()->info("[Event client] =============== Operation start ===============");
    std::vector<unsigned char> firstChunk;
    if (!beginOperation()) {
        const time_t start = time(nullptr);
        firstChunk.resize(kReceiveBufferSize);
        const int received = LibMisc_Receive(fd, firstChunk.data(), firstChunk.size(), 0, &kReceiveTimeout);
        if (received <= 0) {
            closeConnection(fd);
            return;
        }
        firstChunk.resize(static_cast<size_t>(received));
        if (!waitForOperation(fd, start))
            return;
    }
    gCashierClient.closeSocket();
    gCashierClient.setSocket(fd);
    eventClientProcess(context, firstChunk.empty() ? nullptr : firstChunk.data(), static_cast<int>(firstChunk.size()));
    log()->info("[Event client] =============== Operation end ===============");
}

void eventClientProcess(void*, unsigned char* data, int size)
{
    if (gCashierClient.empty())
        return;
    try {
        eventClientLoop(gCashierClient.getSocket(), data, size);
    } catch (const std::exception& e) {
        log()->error("[Event client] EventClient exception: {}", e.what());
    } catch (...) {
        log()->error("[Event client] EventClient unknown exception");
    }
    log()->info("[Event client] Close event client connection");
    gCashierClient.closeSocket();
    endOperation();
}

void eventClientLoop(int fd, unsigned char* data, int size)
{
    log()->info("[Event client] Run listen socket");
    if (fd == -1)
        return;
    const uint64_t reference = make_refference();
    std::vector<unsigned char> buffer(kReceiveBufferSize);
    int received = 0;
    if (data != nullptr) {
        received = size;
        memcpy(buffer.data(), data, static_cast<size_t>(size));
    } else {
        received = LibMisc_Receive(fd, buffer.data(), buffer.size(), 0, &kReceiveTimeout);
    }
    for (;;) {
        try {
            log()->info("[Event client] Receive message size: {}", received);
        } catch (const std::exception& e) {
            log()->error("[Event client] Receive message error: {}", e.what());
            return;
        }
        if (received < 1)
            return;
        if (!forwardToTerminal(reference, buffer.data(), static_cast<size_t>(received)))
            return;
        received = LibMisc_Receive(fd, buffer.data(), buffer.size(), 0, &kReceiveTimeout);
    }
}
