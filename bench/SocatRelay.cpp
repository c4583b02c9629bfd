#include "bench/SocatRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "tests/service/RunningService.h"

namespace kiv_bench {

namespace {

constexpr auto kListenLimit = std::chrono::seconds(5);

std::vector<std::string> socatCommand(int port, const std::string& ptyPath, bool forkPerConnection)
{
    // -t 0: a connection's child leaves the pty as soon as the point of sale
    // closes; one still reading there could take the next sale's answer.
    const std::string listen =
        "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr" + (forkPerConnection ? ",fork" : "");
    return {"/usr/bin/socat", "-t", "0", listen, "FILE:" + ptyPath + ",raw,echo=0"};
}

// From the kernel's socket table: a probing connection would leave a socat
// child on the pty that could take the first sale's answer.
bool listens(int port)
{
    char local[32];
    std::snprintf(local, sizeof local, "%08X:%04X", htonl(INADDR_LOOPBACK), static_cast<unsigned>(port));
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line); // the column names
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, address, remote, state;
        fields >> slot >> address >> remote >> state;
        if (address == local && state == "0A") // listening
            return true;
    }
    return false;
}

} // namespace

SocatRelay::SocatRelay(size_t requestSize, std::vector<uint8_t> answer, bool forkPerConnection)
    : _requestSize(requestSize), _answer(std::move(answer)), _port(kiv_test::freePort()),
      _socat(socatCommand(_port, _pty.slavePath(), forkPerConnection), _output.path())
{
    if (!kiv_test::waitFor([this] { return listens(_port); }, kListenLimit))
        throw std::runtime_error("socat does not listen on port " + std::to_string(_port) + ": " + _socat.err());
    _wake = eventfd(0, EFD_CLOEXEC);
    if (_wake < 0)
        throw std::runtime_error("eventfd failed");
    _peer = std::thread([this] { answerRequests(); });
}

SocatRelay::~SocatRelay()
{
    eventfd_write(_wake, 1);
    _peer.join();
    close(_wake);
}

void SocatRelay::answerRequests()
{
    size_t unanswered = 0; // bytes of the request under way
    for (;;) {
        pollfd entries[] = {{_pty.master(), POLLIN, 0}, {_wake, POLLIN, 0}};
        if (poll(entries, 2, -1) < 0 && errno != EINTR)
            return;
        if (entries[1].revents != 0)
            return;
        uint8_t chunk[4096];
        const ssize_t n = read(_pty.master(), chunk, sizeof chunk);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
            return;
        if (n < 0)
            continue;
        for (unanswered += static_cast<size_t>(n); unanswered >= _requestSize; unanswered -= _requestSize)
            _pty.send(_answer);
    }
}

} // namespace kiv_bench
