#include "service/ProxyState.h"

#include "service/HostConnection.h"
#include "serial/SerialPortTransport.h"
#include "tunnel/BlThread.h"

std::shared_ptr<LibMisc::ISerialPortTrasport> pSerialPort;
std::recursive_mutex serial_port_mutex;

std::map<uint64_t, std::weak_ptr<Client>> client_map;
std::recursive_mutex client_map_access;

bool isStartSvcFlag = false;
std::recursive_mutex status_access;

CashierClient gCashierClient;
bool _lastOperationInProcess = false;
std::recursive_mutex operation_in_process_access;

std::unique_ptr<kiv_proxy::BlThread> g_BlThread;
BlThreadCallbacks g_blThreadCallbacks;

std::mutex GlobalBufferSize::_mutex;
int GlobalBufferSize::_size = 4096;

int GlobalBufferSize::get()
{
    std::lock_guard<std::mutex> lock(_mutex);
    return _size;
}

void GlobalBufferSize::set(int size)
{
    std::lock_guard<std::mutex> lock(_mutex);
    _size = size;
}

bool serviceRunning()
{
    std::lock_guard<std::recursive_mutex> lock(status_access);
    return isStartSvcFlag;
}

void setServiceRunning(bool running)
{
    std::lock_guard<std::recursive_mutex> lock(status_access);
    isStartSvcFlag = running;
}
