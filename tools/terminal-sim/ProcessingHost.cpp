#include "tools/terminal-sim/ProcessingHost.h"

#include "LibMisc/SocketIo.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace terminal_sim {

namespace {

constexpr std::chrono::seconds sendStall{2};

[[noreturn]] void fail(const char* what)
{
    throw std::system_error(errno, std::generic_category(), std::string("processing host: ") + what);
}

} // namespace

ProcessingHost::ProcessingHost(uint16_t port, Log log) : _logLine(std::move(log))
{
    kiv_proxy::UniqueDescriptor listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (listener.get() < 0)
        fail("socket");
    const int on = 1;
    setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) < 0)
        fail("bind to 127.0.0.1");
    if (listen(listener.get(), 16) < 0)
        fail("listen");
    socklen_t length = sizeof(address);
    if (getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) < 0)
        fail("getsockname");
    kiv_proxy::UniqueDescriptor wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (wake.get() < 0)
        fail("eventfd");

    _port = ntohs(address.sin_port);
    _listenFd = listener.get();
    _wakeFd = wake.get();
    _thread = std::thread(&ProcessingHost::_run, this);
    listener.release(); // the thread runs: the destructor closes them now
    wake.release();
    _log("processing host on 127.0.0.1:" + std::to_string(_port));
}

ProcessingHost::~ProcessingHost()
{
    const uint64_t one = 1;
    (void)!write(_wakeFd, &one, sizeof(one));
    _thread.join();
    for (const Connection& connection : _connections)
        close(connection.fd);
    close(_listenFd);
    close(_wakeFd);
}

void ProcessingHost::_run()
{
    std::vector<pollfd> fds;
    for (;;) {
        fds.assign({{_wakeFd, POLLIN, 0}, {_listenFd, POLLIN, 0}});
        for (const Connection& connection : _connections)
            fds.push_back({connection.fd, POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            _log(std::string("processing host stops: poll: ") + std::strerror(errno));
            return;
        }
        if (fds[0].revents != 0)
            return;
        // Back to front, so closing one does not move those still to visit.
        for (std::size_t i = _connections.size(); i-- > 0;) {
            if (fds[i + 2].revents == 0 || _serve(_connections[i]))
                continue;
            close(_connections[i].fd);
            _connections.erase(_connections.begin() + static_cast<std::ptrdiff_t>(i));
        }
        if (fds[1].revents != 0)
            _accept();
    }
}

void ProcessingHost::_accept()
{
    const int fd = accept4(_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        if (errno != EAGAIN && errno != EINTR)
            _log(std::string("processing host: accept: ") + std::strerror(errno));
        return;
    }
    if (_connections.size() >= maxConnections) {
        _log("processing host: too many connections, one refused");
        close(fd);
        return;
    }
    _connections.push_back({fd, {}});
}

bool ProcessingHost::_serve(Connection& connection)
{
    char buffer[4096];
    const ssize_t n = recv(connection.fd, buffer, sizeof(buffer), 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return true;
    if (n <= 0)
        return false;
    connection.pending.append(buffer, static_cast<std::size_t>(n));
    for (std::size_t end; (end = connection.pending.find('\n')) != std::string::npos;) {
        std::string line = connection.pending.substr(0, end);
        connection.pending.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        const std::string answer = authorisationAnswer(line, _approver);
        _log("processing host: " + line + " -> " + answer.substr(0, answer.size() - 1));
        ++_answered; // before the peer can see the answer
        if (!kiv_proxy::sendAll(connection.fd, answer.data(), answer.size(), sendStall))
            return false;
    }
    if (connection.pending.size() > maxAuthorisationLine) {
        _log("processing host: a line longer than " + std::to_string(maxAuthorisationLine) +
             " bytes, connection closed");
        return false;
    }
    return true;
}

void ProcessingHost::_log(const std::string& line) const
{
    if (_logLine)
        _logLine(line);
}

} // namespace terminal_sim
