#include "bench/LogFollower.h"

#include <fstream>
#include <iterator>

#include "tests/support/LogFileName.h"

namespace kiv_bench {

LogFollower::LogFollower(std::string logsDir) : _logsDir(std::move(logsDir)), _name(kiv_test::todaysLogName()) {}

std::string LogFollower::next()
{
    std::string text = _partial + _read(_name);
    const std::string today = kiv_test::todaysLogName();
    if (today != _name) {
        _name = today;
        _offset = 0;
        if (!text.empty() && text.back() != '\n')
            text += '\n'; // the old file's last line ends with it
        text += _read(_name);
    }
    const auto end = text.rfind('\n');
    const size_t whole = end == std::string::npos ? 0 : end + 1;
    _partial = text.substr(whole);
    text.resize(whole);
    return text;
}

std::string LogFollower::_read(const std::string& name)
{
    std::ifstream in(_logsDir + "/" + name, std::ios::binary);
    if (!in)
        return {};
    in.seekg(static_cast<std::streamoff>(_offset));
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    _offset += text.size();
    return text;
}

} // namespace kiv_bench
