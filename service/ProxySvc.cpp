#include "service/ProxySvc.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <unistd.h>

#include "LibMisc/CCode/Communication/Sockets.h"
#include "config/ProxyConfig.h"
#include "filetransfer/FileTransfer.h"
#include "logging/Logger.h"
#include "relay/DnsResolver.h"
#include "relay/UdpVpn.h"
#include "serial/SerialPortTransport.h"
#include "service/CashierChannel.h"
#include "service/DeviceWatch.h"
#include "service/PortDiscovery.h"
#include "service/ProxyState.h"
#include "tunnel/BlThread.h"

SmartPointer lan_svc;

namespace {

constexpr int kDnsResolverPort = 9053;
constexpr size_t kProgramPathMax = 1023;

auto& log() { return logger::Log::s_CoreLogger; }

// The cashier server; false (after the error line) when it cannot run.
bool startCashierServer(uint16_t port)
{
    int code = 0;
    lan_svc = LibMisc_socketServerCreate(port, eventSocketOnAccept, eventSocketOnAcceptError, eventSocketOnSvcClose,
                                         &code, nullptr);
    if (code == 2) {
        log()->error("[Proxy service] Can't create proxy service socket with port {}. Error {} ", port, code);
        return false;
    }
    if (code == 3) {
        log()->error("[Proxy service] Can't bind proxy service socket with port {}. Error {} ", port, code);
        return false;
    }
    if (const int result = LibMisc_socketServerStart(lan_svc)) {
        log()->error("[Proxy service] Can't create lan proxy service with port {}. Error {} ", port, result);
        return false;
    }
    return true;
}

void startFileTransfer(kiv_proxy::FileTransfer& fileTransfer, const ProxyConfig& config)
{
    char programPath[kProgramPathMax + 1];
    const ssize_t length = readlink("/proc/self/exe", programPath, kProgramPathMax);
    if (length < 0) {
        log()->error("[Proxy service] Can't start FileTransfer Protocol");
        return;
    }
    programPath[length] = '\0';
    fileTransfer.setLogsDirPath(logger::Log::getLogDirectoryPath());
    fileTransfer.run(programPath, "0.0.0.0", config.getFileTransferServerPort());
}

void startLocalListener(const ProxyConfig& config)
{
    g_BlThread = std::make_unique<kiv_proxy::BlThread>();
    g_blThreadCallbacks.onSendData = [](uint64_t id, const unsigned char* data, size_t length) {
        if (g_BlThread)
            g_BlThread->onSendData(id, data, length);
    };
    g_blThreadCallbacks.markConnectionOk = [](uint64_t id) {
        if (g_BlThread)
            g_BlThread->markConnectionOk(id);
    };
    g_blThreadCallbacks.closeConnection = [](uint64_t id) {
        if (g_BlThread)
            g_BlThread->closeConnection(id);
    };
    std::shared_ptr<LibMisc::ISerialPortTrasport> transport;
    {
        std::lock_guard<std::recursive_mutex> lock(serial_port_mutex);
        transport = pSerialPort;
    }
    try {
        g_BlThread->run("0.0.0.0", config.blServerPort, transport, config.blServerPort2Connect);
    } catch (const std::exception& e) {
        log()->error("[Proxy service] Local tunnel listener: {}", e.what());
    }
}

void startDnsResolver()
{
    static std::unique_ptr<DNSResolver> resolver;
    try {
        resolver.reset();
        resolver = std::make_unique<DNSResolver>(kDnsResolverPort);
        log()->info("[Proxy service] DNSResolver started on port 9053");
    } catch (const std::exception& e) {
        log()->warn("[Proxy service] DNSResolver: {}", e.what());
    } catch (...) {
        log()->warn("[Proxy service] Cannot start DNSResolver: with unknow error");
    }
}

bool portOpened()
{
    std::lock_guard<std::recursive_mutex> lock(serial_port_mutex);
    return pSerialPort && !pSerialPort->getSerialPortName().empty();
}

// The configuration, or the end of the program when the file can neither be
// created nor read (nothing else runs yet).
ProxyConfig loadConfiguration(const std::string& iniPath)
{
    try {
        return ProxyConfig(iniPath);
    } catch (const ProxyConfigError& e) {
        log()->critical("[Proxy config] {}", e.what());
        fprintf(stderr, "%s\n", e.what());
        exit(1);
    }
}

} // namespace

void proxySvcStart(const std::string& iniPath)
{
    const ProxyConfig config = loadConfiguration(iniPath);
    if (!startCashierServer(config.getServerPort()))
        return;
    kiv_proxy::FileTransfer fileTransfer;
    startFileTransfer(fileTransfer, config);
    startLocalListener(config);
    kiv_proxy::UdpVpn relay;
    relay.run(config.UdpVpnIp, config.UdpVpnPort, config.UdpVpnTimeout);
    startDnsResolver();
    if (!portOpened())
        proxySvcProcess(config);
    watchTerminalDevices(config);
}
