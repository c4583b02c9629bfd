#include "ServiceEnd.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <system_error>
#include <termios.h>
#include <unistd.h>

ServiceEnd::ServiceEnd(const std::string& device)
{
    _fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (_fd < 0)
        throw std::system_error(errno, std::generic_category(), "open " + device);
    termios settings {};
    tcgetattr(_fd, &settings);
    cfmakeraw(&settings);
    tcsetattr(_fd, TCSANOW, &settings);
}

ServiceEnd::~ServiceEnd()
{
    close(_fd);
}

void ServiceEnd::write(const terminal_sim::Bytes& bytes)
{
    if (::write(_fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("short write to the simulator");
}

terminal_sim::Bytes ServiceEnd::read(std::size_t n, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    terminal_sim::Bytes bytes(n);
    std::size_t got = 0;
    while (got < n) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd entry = {_fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&entry, 1, static_cast<int>(left.count())) <= 0)
            break;
        const ssize_t r = ::read(_fd, bytes.data() + got, n - got);
        if (r <= 0)
            break;
        got += static_cast<std::size_t>(r);
    }
    bytes.resize(got);
    return bytes;
}

terminal_sim::Bytes ServiceEnd::readSome(std::chrono::milliseconds timeout)
{
    terminal_sim::Bytes bytes(4096);
    pollfd entry = {_fd, POLLIN, 0};
    const ssize_t n = poll(&entry, 1, static_cast<int>(timeout.count())) > 0 ? ::read(_fd, bytes.data(), bytes.size()) : 0;
    bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return bytes;
}

bool ServiceEnd::silentFor(std::chrono::milliseconds period)
{
    pollfd entry = {_fd, POLLIN, 0};
    return poll(&entry, 1, static_cast<int>(period.count())) == 0;
}
