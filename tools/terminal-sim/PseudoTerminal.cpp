#include "tools/terminal-sim/PseudoTerminal.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace terminal_sim {

namespace {

[[noreturn]] void fail(const std::string& what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

std::string linkTarget(const std::string& path)
{
    char target[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), target, sizeof(target));
    return n < 0 ? std::string() : std::string(target, static_cast<std::size_t>(n));
}

void makeLink(const std::string& linkPath, const std::string& target)
{
    struct stat info {};
    // A link left behind by an earlier run is replaced; anything else stays.
    if (lstat(linkPath.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
        unlink(linkPath.c_str());
    if (symlink(target.c_str(), linkPath.c_str()) != 0)
        fail("symlink " + linkPath);
}

} // namespace

PseudoTerminal::PseudoTerminal(const std::string& linkPath)
{
    try {
        _master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (_master < 0)
            fail("posix_openpt");
        char name[PATH_MAX];
        if (grantpt(_master) != 0 || unlockpt(_master) != 0 || ptsname_r(_master, name, sizeof(name)) != 0)
            fail("pseudo-terminal slave");
        _slavePath = name;

        _slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (_slave < 0)
            fail("open " + _slavePath);
        // No echo and no line editing until the service sets the line up.
        termios settings {};
        if (tcgetattr(_slave, &settings) != 0)
            fail("tcgetattr");
        cfmakeraw(&settings);
        if (tcsetattr(_slave, TCSANOW, &settings) != 0)
            fail("tcsetattr");

        const int flags = fcntl(_master, F_GETFL);
        if (flags < 0 || fcntl(_master, F_SETFL, flags | O_NONBLOCK) != 0)
            fail("fcntl");

        if (!linkPath.empty()) {
            makeLink(linkPath, _slavePath);
            _linkPath = linkPath;
        }
    } catch (...) {
        _close();
        throw;
    }
}

PseudoTerminal::~PseudoTerminal()
{
    _close();
}

void PseudoTerminal::_close()
{
    // Only our own link goes: another simulator may have taken the path over.
    if (!_linkPath.empty() && linkTarget(_linkPath) == _slavePath)
        unlink(_linkPath.c_str());
    _linkPath.clear();
    if (_slave >= 0)
        ::close(_slave);
    _slave = -1;
    if (_master >= 0)
        ::close(_master);
    _master = -1;
}

} // namespace terminal_sim
