#include "tests/support/PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace kiv_test {

Bytes hexBytes(const std::string& text)
{
    Bytes bytes;
    std::istringstream in(text);
    std::string pair;
    while (in >> pair)
        bytes.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
    return bytes;
}

std::string hexText(const Bytes& bytes)
{
    std::string text;
    char digits[4];
    for (uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, text.empty() ? "%02X" : " %02X", byte);
        text += digits;
    }
    return text;
}

PtyPair::PtyPair()
{
    termios raw{};
    ::cfmakeraw(&raw);
    char name[256];
    if (::openpty(&_master, &_slave, name, &raw, nullptr) != 0)
        throw std::system_error(errno, std::generic_category(), "openpty");
    _slavePath = name;
    ::fcntl(_master, F_SETFL, ::fcntl(_master, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair()
{
    ::close(_slave);
    ::close(_master);
}

void PtyPair::send(const Bytes& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::write(_master, bytes.data() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd entry{_master, POLLOUT, 0};
            ::poll(&entry, 1, 1000);
        } else if (n < 0 && errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "pty write");
        }
    }
}

Bytes PtyPair::receive(size_t count, std::chrono::milliseconds timeout)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    Bytes bytes;
    while (bytes.size() < count) {
        uint8_t chunk[4096];
        const size_t wanted = std::min(sizeof chunk, count - bytes.size());
        const ssize_t n = ::read(_master, chunk, wanted);
        if (n > 0) {
            bytes.insert(bytes.end(), chunk, chunk + n);
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        pollfd entry{_master, POLLIN, 0};
        ::poll(&entry, 1, static_cast<int>(left) + 1);
    }
    return bytes;
}

Bytes PtyPair::drain(std::chrono::milliseconds window) { return receive(SIZE_MAX, window); }

} // namespace kiv_test
