#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kiv_test {

using Bytes = std::vector<uint8_t>;

// "00 0E FE" -> {0x00, 0x0E, 0xFE}.
Bytes hexBytes(const std::string& text);
// {0x00, 0x0E} -> "00 0E", for readable assertion failures.
std::string hexText(const Bytes& bytes);

// A pseudo-terminal in raw mode. Code under test opens the slave by its path;
// the test plays the device's far end on the master with exact bytes. The
// pair keeps a slave descriptor of its own, so the master never sees a
// hang-up while the code under test closes and reopens the slave.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& slavePath() const { return _slavePath; }
    int master() const { return _master; }

    void send(const Bytes& bytes);
    // Up to `count` bytes, waiting at most `timeout` in all.
    Bytes receive(size_t count, std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));
    // Whatever arrives within `window`.
    Bytes drain(std::chrono::milliseconds window);

private:
    int _master = -1;
    int _slave = -1;
    std::string _slavePath;
};

} // namespace kiv_test
