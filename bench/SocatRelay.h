#pragma once

// The least any relay costs: socat carries each TCP connection to a
// pseudo-terminal whose far end answers every request at once.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

#include "tests/support/Process.h"
#include "tests/support/PtyPair.h"
#include "tests/support/TempDir.h"

namespace kiv_bench {

class SocatRelay {
public:
    // Answers every `requestSize` bytes with `answer`. With `forkPerConnection`
    // socat serves connection after connection, each in a child of its own;
    // without, it serves one and ends. Throws std::runtime_error when socat
    // does not listen within a few seconds.
    SocatRelay(size_t requestSize, std::vector<uint8_t> answer, bool forkPerConnection);
    ~SocatRelay();
    SocatRelay(const SocatRelay&) = delete;
    SocatRelay& operator=(const SocatRelay&) = delete;

    int port() const { return _port; }
    // The listening socat.
    pid_t pid() const { return _socat.pid(); }

private:
    void answerRequests();

    const size_t _requestSize;
    const std::vector<uint8_t> _answer;
    kiv_test::PtyPair _pty;
    TempDir _output;
    const int _port;
    kiv_test::ChildProcess _socat;
    int _wake = -1; // ends the peer's poll
    std::thread _peer;
};

} // namespace kiv_bench
