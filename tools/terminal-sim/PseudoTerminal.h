#pragma once

#include <string>

namespace terminal_sim {

// A pseudo-terminal pair in raw mode: the master is the terminal's end, the
// slave is the device the service opens. The simulator keeps the slave open
// too, so the master never sees a hang-up while the service reopens the line.
// With a link path, a symbolic link to the slave lives as long as the pair.
class PseudoTerminal {
public:
    // std::system_error when the pair or the link cannot be made; a link
    // path that exists as anything but a symbolic link is not replaced.
    explicit PseudoTerminal(const std::string& linkPath = {});
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int master() const { return _master; }
    const std::string& slavePath() const { return _slavePath; }

private:
    void _close();

    int _master = -1;
    int _slave = -1;
    std::string _slavePath;
    std::string _linkPath;
};

} // namespace terminal_sim
