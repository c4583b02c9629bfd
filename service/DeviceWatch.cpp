#include "service/DeviceWatch.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "config/ProxyConfig.h"
#include "logging/Logger.h"
#include "serial/SerialPortTransport.h"
#include "service/PortDiscovery.h"
#include "service/ProxyState.h"

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr size_t kEventBufferSize = 278528;
constexpr uint32_t kWatchedEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr auto kReopenDelay = std::chrono::milliseconds(200);

auto& log() { return logger::Log::s_CoreLogger; }

bool isTerminalDevice(const std::string& name)
{
    return name.rfind("ttyACM", 0) == 0 || name.rfind("ttyUSB", 0) == 0;
}

// The name of the open port as the events name devices: a full path or a
// link name is read as a link, and an unreadable one becomes empty.
std::string currentPortName()
{
    std::string name;
    {
        Lock lock(serial_port_mutex);
        if (pSerialPort)
            name = pSerialPort->getSerialPortName();
    }
    log()->info("[PORT MONITORING] Current portName: {}", name);
    if (isTerminalDevice(name))
        return name;
    char target[PATH_MAX];
    const ssize_t length = readlink(name.c_str(), target, sizeof(target) - 1);
    if (length < 0) {
        perror("readlink");
        name.clear();
    } else {
        name.assign(target, static_cast<size_t>(length));
    }
    log()->info("[PORT MONITORING] link: {}", name);
    return name;
}

void onDeviceAdded(const ProxyConfig& config, const std::string& device, const std::string& current)
{
    log()->info("[PORT MONITORING] [ACM CONNECTED] port: {}", device);
    if (serviceRunning() || !(current.empty() || current == device))
        return;
    std::this_thread::sleep_for(kReopenDelay);
    proxySvcProcess(config);
}

void onDeviceRemoved(const std::string& device, const std::string& current)
{
    log()->info("[PORT MONITORING] [ACM DISCONNECTED] port: {}", device);
    if (!serviceRunning() || !(current.empty() || current == device))
        return;
    log()->info("[Proxy service] Service stop");
    setServiceRunning(false);
    {
        Lock lock(serial_port_mutex);
        if (pSerialPort) {
            pSerialPort->close();
            pSerialPort->setSerialPortName("");
        }
    }
    log()->info("[Proxy service] Close port");
}

void handleEvents(const ProxyConfig& config, const char* events, size_t length)
{
    for (size_t offset = 0; offset + sizeof(inotify_event) <= length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(events + offset);
        offset += sizeof(inotify_event) + event->len;
        if (event->len == 0 || !isTerminalDevice(event->name))
            continue;
        const std::string device = event->name;
        const std::string current = currentPortName();
        if (event->mask & (IN_CREATE | IN_MOVED_TO))
            onDeviceAdded(config, device, current);
        else if (event->mask & (IN_DELETE | IN_MOVED_FROM))
            onDeviceRemoved(device, current);
    }
}

} // namespace

void watchTerminalDevices(const ProxyConfig& config)
{
    const int watch = inotify_init1(IN_NONBLOCK);
    if (watch < 0) {
        perror("inotify_init1");
        return;
    }
    if (inotify_add_watch(watch, "/dev", kWatchedEvents) < 0) {
        perror("inotify_add_watch");
        close(watch);
        // No monitoring: the services keep running with the port they have.
        for (;;)
            pause();
    }
    std::vector<char> events(kEventBufferSize);
    for (;;) {
        pollfd ready = {watch, POLLIN, 0};
        if (poll(&ready, 1, -1) <= 0)
            continue;
        const ssize_t length = read(watch, events.data(), events.size());
        if (length > 0)
            handleEvents(config, events.data(), static_cast<size_t>(length));
    }
}
