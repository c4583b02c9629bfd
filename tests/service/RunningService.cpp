#include "tests/service/RunningService.h"

#include <algorithm>
#include <arpa/inet.h>
#include <fstream>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/support/LogFileName.h"

namespace kiv_test {

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
    _terminal->start();
    std::ofstream ini(_dir.path() + "/ProxyConfig.ini");
    ini << "[Proxy]\n";
    for (const auto& [key, value] : options)
        ini << key << " = " << value << "\n";
    ini.close();
    _service = std::make_unique<ChildProcess>(
        std::vector<std::string>{KIV_PROXY_BIN, "run", _dir.path(), _dir.path() + "/logs"}, _dir.path());
    const auto reading = [&] { return logCount("[SerialPort] Data reading...") > 0; };
    waitFor([&] { return reading() || _service->waitExit(0ms); }, 15s);
    return reading();
}

std::optional<int> RunningService::waitExit(std::chrono::milliseconds limit)
{
    if (!_service->waitExit(limit))
        return std::nullopt;
    return _service->status();
}

std::string RunningService::log() const { return readFile(_dir.path() + "/logs/" + kiv_test::todaysLogName()); }

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

TerminalConnection::TerminalConnection(RunningService& service, uint64_t id, int port) : _service(service), _id(id)
{
    const auto request =
        terminal_sim::connectionRequest(id, "127.0.0.1", static_cast<uint16_t>(port), 3, service.terminal().options().serialNumber);
    if (!service.terminal().send(request))
        throw std::runtime_error("the service did not take the connection request");
    const auto result = service.waitMessage(Proxy::PMT_CONNECTION_RESULT, id);
    if (!result || result->connectionStatus() != terminal_sim::statusConnected)
        throw std::runtime_error("the service did not connect to port " + std::to_string(port));
}

bool TerminalConnection::send(const terminal_sim::Bytes& bytes)
{
    for (size_t at = 0; at < bytes.size(); at += terminal_sim::dataChunk) {
        const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(at);
        const auto end = bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), at + terminal_sim::dataChunk));
        if (!_service.terminal().send(terminal_sim::dataControlMessage(_id, _nextPacket++, terminal_sim::Bytes(begin, end))))
            return false;
    }
    return true;
}

terminal_sim::Bytes TerminalConnection::receive(size_t n, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const auto ours = [this](const terminal_sim::TunnelMessage& message) {
        return message.connectionId == _id &&
               (message.connectionData() || message.type == Proxy::PMT_CONNECTION_CONTROL);
    };
    while (_unread.size() < n && !_closed) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        const auto message = _service.terminal().waitMessage(ours, left);
        if (!message)
            break;
        if (const auto data = message->connectionData())
            _unread.insert(_unread.end(), data->begin(), data->end());
        else
            _closed = message->connectionStatus() == terminal_sim::statusClosed;
    }
    const auto end = _unread.begin() + static_cast<std::ptrdiff_t>(std::min(n, _unread.size()));
    terminal_sim::Bytes taken(_unread.begin(), end);
    _unread.erase(_unread.begin(), end);
    return taken;
}

} // namespace kiv_test
