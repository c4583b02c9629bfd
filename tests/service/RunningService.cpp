#include "tests/service/RunningService.h"

#include <arpa/inet.h>
#include <ctime>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kiv_test {

namespace {

std::string todaysLogName()
{
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char name[64];
    snprintf(name, sizeof(name), "kivproxy_%04d-%02d-%02d.log", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    return name;
}

} // namespace

int freePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

terminal_sim::SimulatorOptions RunningService::quietTerminal()
{
    terminal_sim::SimulatorOptions options;
    options.linkPath = std::string("/dev/") + kDeviceName;
    options.keepAliveInterval = std::chrono::milliseconds(0);
    return options;
}

RunningService::RunningService(terminal_sim::SimulatorOptions terminal)
    : _terminal(std::make_unique<terminal_sim::TerminalSimulator>(std::move(terminal))),
      _cashierPort(freePort()), _listenerPort(freePort()), _fileTransferPort(freePort()), _relayPort(freePort())
{
    _terminal->start();
}

RunningService::~RunningService()
{
    _service.reset();
    _terminal->stop();
}

bool RunningService::start(const std::map<std::string, std::string>& settings)
{
    std::map<std::string, std::string> options = {
        {"AutoDetect", "no"},
        {"SerialPortName", kDeviceName},
        {"ServerPort", std::to_string(_cashierPort)},
        {"FileTransferServerPort", std::to_string(_fileTransferPort)},
        {"LogsDir", _dir.path() + "/logs"},
        {"LogLevel", "0"},
        {"blServerPort", std::to_string(_listenerPort)},
        {"blServerPort2Connect", std::to_string(_listenerPort)},
        {"UdpVpnIp", "127.0.0.1"},
        {"UdpVpnPort", std::to_string(_relayPort)},
    };
    for (const auto& [key, value] : settings)
        options[key] = value;
    std::ofstream ini(_dir.path() + "/ProxyConfig.ini");
    ini << "[Proxy]\n";
    for (const auto& [key, value] : options)
        ini << key << " = " << value << "\n";
    ini.close();
    _service = std::make_unique<ChildProcess>(
        std::vector<std::string>{KIV_PROXY_BIN, "run", _dir.path(), _dir.path() + "/logs"}, _dir.path());
    return waitLog("[SerialPort] Data reading...");
}

std::string RunningService::log() const { return readFile(_dir.path() + "/logs/" + todaysLogName()); }

size_t RunningService::logCount(const std::string& text) const
{
    const std::string all = log();
    size_t count = 0;
    for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + 1))
        ++count;
    return count;
}

bool RunningService::waitLog(const std::string& text, size_t atLeast, std::chrono::milliseconds limit) const
{
    return waitFor([&] { return logCount(text) >= atLeast; }, limit);
}

std::optional<terminal_sim::TunnelMessage> RunningService::waitMessage(uint16_t type, std::optional<uint64_t> id,
                                                                       std::chrono::milliseconds limit)
{
    return _terminal->waitMessage(
        [&](const terminal_sim::TunnelMessage& message) {
            return message.type == type && (!id || message.connectionId == *id);
        },
        limit);
}

} // namespace kiv_test
