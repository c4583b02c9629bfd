#pragma once

// Process-wide state of the service, shared by the supervisor, the
// dispatcher, the host connections and the cashier channel.
// Lock order: client_map_access before a connection's own lock, and
// serial_port_mutex after client_map_access where both are needed.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "service/CashierClient.h"

namespace LibMisc {
class ISerialPortTrasport;
}
namespace kiv_proxy {
class BlThread;
}
class Client;

// The open transport to the terminal; every write to the terminal holds the mutex throughout.
extern std::shared_ptr<LibMisc::ISerialPortTrasport> pSerialPort;
extern std::recursive_mutex serial_port_mutex;

// Host connections by the terminal's connection id.
extern std::map<uint64_t, std::weak_ptr<Client>> client_map;
extern std::recursive_mutex client_map_access;

// True while the serial service should run.
extern bool isStartSvcFlag;
extern std::recursive_mutex status_access;

// The cashier connection being served, and whether an operation is in process.
extern CashierClient gCashierClient;
extern bool _lastOperationInProcess;
extern std::recursive_mutex operation_in_process_access;

// Chunk size in which host connections read from their sockets.
class GlobalBufferSize {
public:
    // Sizes the terminal or the configuration may choose.
    static bool acceptable(int size) { return size >= 2048 && size <= 64000; }
    static int get();
    static void set(int size);

private:
    static std::mutex _mutex;
    static int _size;
};

// The local tunnel listener, and its entry points for the dispatcher (each
// is called only when set).
extern std::unique_ptr<kiv_proxy::BlThread> g_BlThread;

struct BlThreadCallbacks {
    std::function<void(uint64_t id, const unsigned char* data, size_t length)> onSendData;
    std::function<void(uint64_t id)> markConnectionOk;
    std::function<void(uint64_t id)> closeConnection;
};
extern BlThreadCallbacks g_blThreadCallbacks;

bool serviceRunning();
void setServiceRunning(bool running);
