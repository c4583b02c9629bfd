#include "service/PortDiscovery.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "config/ProxyConfig.h"
#include "logging/Logger.h"
#include "protocol/ProxyProtokol.h"
#include "serial/NonBtpSerialPortTransport.h"
#include "service/Dispatcher.h"
#include "service/ProxyState.h"
#include "tunnel/BlThread.h"

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;
using Transport = Proxy::NonBtpSerialPortTransport;

constexpr unsigned kBaudRate = 115200;
constexpr auto kRetryPause = std::chrono::seconds(1);
constexpr size_t kProbeBufferSize = 64;
constexpr unsigned kProbeAnswerMs = 500;
constexpr int kCandidatesPerKind = 124;
constexpr int kMaxChunkSize = 8192;

auto& log() { return logger::Log::s_CoreLogger; }

// Devices that can be opened, in probing order.
std::vector<std::string> openableCandidates()
{
    std::vector<std::string> names;
    for (const char* kind : {"/dev/ttyACM", "/dev/ttyS", "/dev/ttyUSB"}) {
        for (int number = 0; number < kCandidatesPerKind; ++number) {
            const std::string name = kind + std::to_string(number);
            const int fd = ::open(name.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY);
            if (fd >= 0) {
                ::close(fd);
                names.push_back(name);
            }
        }
    }
    return names;
}

std::vector<unsigned char> probeMessage()
{
    Proxy::DataProtokol probe(0, Proxy::PMT_EVENT_ACCESS);
    std::vector<unsigned char> packed(kProbeBufferSize, 0);
    packed.resize(probe.pack(packed.data(), static_cast<unsigned>(packed.size())));
    return packed;
}

// The transport on `name` when the device answers the probe.
std::shared_ptr<Transport> probe(const std::string& name, const ProxyConfig& config, const std::vector<unsigned char>& message)
{
    auto transport = std::make_shared<Transport>(name);
    if (!transport->open() || !transport->setBaudRate(kBaudRate))
        return nullptr;
    transport->setConfirmationTimeout(static_cast<unsigned>(config.getConfirmationTimeout()));
    transport->clearBuffer();
    // One frame without awaiting its confirmation: no reader runs yet.
    transport->writeFrame(message.data(), message.size());
    unsigned char answer[2];
    if (transport->read(answer, sizeof(answer), kProbeAnswerMs) == sizeof(answer))
        return transport;
    return nullptr;
}

void handToListener()
{
    if (g_BlThread)
        g_BlThread->setTransport(pSerialPort);
}

std::string resolvedPortName(const std::string& configured)
{
    const std::string name = "/dev/" + configured;
    char resolved[PATH_MAX];
    if (realpath(name.c_str(), resolved) != nullptr)
        return resolved;
    log()->info("[Proxy service] Port name '{}' is not symlink or there is not symlink with this name", name);
    return name;
}

// Opens the configured device; false when it refused the line speed.
bool openConfiguredPort(const ProxyConfig& config)
{
    const std::string name = resolvedPortName(config.getSerialPort());
    log()->info("[Proxy service] Port name: {}", name);
    if (pSerialPort) {
        log()->info("[Proxy service] Serial port set name");
        pSerialPort->setSerialPortName(name);
    } else {
        log()->info("[Proxy service] Serial port init");
        pSerialPort = std::make_shared<Transport>(name);
        handToListener();
    }
    if (!pSerialPort->open()) {
        log()->error("[Proxy service] Can't open serial port, name: {}", name);
        do
            std::this_thread::sleep_for(kRetryPause);
        while (!pSerialPort->open());
    }
    if (!pSerialPort->setBaudRate(kBaudRate)) {
        log()->error("[Proxy service] Can't set baud rate serial port, name: {}", name);
        pSerialPort.reset();
        return false;
    }
    pSerialPort->setConfirmationTimeout(static_cast<unsigned>(config.getConfirmationTimeout()));
    return true;
}

void detectPort(const ProxyConfig& config)
{
    log()->info("[Proxy service] Auto detect start");
    while (!(pSerialPort = autoDetection(config))) {
        log()->info("[Proxy service] Can't detect serial port. Reopening...");
        std::this_thread::sleep_for(kRetryPause);
    }
    handToListener();
}

void setChunkSize(int configured)
{
    if (GlobalBufferSize::acceptable(configured))
        GlobalBufferSize::set(std::min(configured, kMaxChunkSize));
}

} // namespace

std::shared_ptr<LibMisc::ISerialPortTrasport> autoDetection(const ProxyConfig& config)
{
    const auto message = probeMessage();
    for (const auto& name : openableCandidates()) {
        try {
            if (auto transport = probe(name, config, message))
                return transport;
        } catch (const std::exception&) {
            // An unusable candidate is skipped.
        }
    }
    return nullptr;
}

void proxySvcProcess(const ProxyConfig& config)
{
    log()->info("[Proxy service] Service start");
    Lock lock(serial_port_mutex);
    if (config.getAutoDetectEnable())
        detectPort(config);
    else if (!openConfiguredPort(config))
        return;

    auto& transport = static_cast<Transport&>(*pSerialPort);
    transport.clearBuffer();
    log()->info("[Proxy service] Serial port '{}' is open", transport.getSerialPortName());
    setServiceRunning(true);
    setChunkSize(config.getBufferSize());
    transport.setProtocolType(LibMisc::SerialPortTransport::SP_CONFIRMED_FRAMES);
    std::thread(serialPortProcess, new std::shared_ptr<LibMisc::ISerialPortTrasport>(pSerialPort), config).detach();
}
