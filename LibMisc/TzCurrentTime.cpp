#include "LibMisc/TzCurrentTime.h"

#include <cctype>
#include <cstdlib>
#include <fstream>

namespace LibMisc {

namespace {
constexpr const char* kTimezoneFile = "/mtd0/timezone";
constexpr std::size_t kOffsetLength = 6; // "+HH:MM"

// The commands' results are not examined: there is nothing to fall back to.
void runShell(const std::string& command)
{
    [[maybe_unused]] const int status = std::system(command.c_str());
}

int twoDigits(const std::string& text, std::size_t at)
{
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}
} // namespace

bool TzCurrentTime::_isReadTz = false;

TzCurrentTime::TzCurrentTime() : _moment(time(nullptr))
{
    if (!_isReadTz)
        _applyStoredTz();
}

timespec TzCurrentTime::getTimeSpec() const
{
    return timespec{_moment, 0};
}

timeval TzCurrentTime::getTimeVal() const
{
    return timeval{_moment, 0};
}

std::string TzCurrentTime::format(const std::string& pattern) const
{
    struct tm local;
    localtime_r(&_moment, &local);
    char text[80];
    const std::size_t length = strftime(text, sizeof(text), pattern.c_str(), &local);
    return std::string(text, length);
}

std::string TzCurrentTime::getStr() const
{
    return format("%D %T");
}

bool TzCurrentTime::setDateTime(const std::string& text)
{
    struct tm parsed = {};
    const char* end = strptime(text.c_str(), "%D %T", &parsed);
    if (end == nullptr || *end != '\0')
        return false;
    char stamp[16];
    strftime(stamp, sizeof(stamp), "%m%d%H%M%y", &parsed);
    runShell(std::string("date ") + stamp); // only digits reach the shell
    return true;
}

bool TzCurrentTime::setDateTime(const std::string& text, const std::string& offset)
{
    if (!_tzValid(offset))
        return false;
    _setTz(offset);
    const bool result = setDateTime(text);
    _applyStoredTz();
    return result;
}

bool TzCurrentTime::setDefTimezone(const std::string& offset)
{
    if (!_tzValid(offset))
        return false;
    std::ofstream file(kTimezoneFile, std::ios::binary | std::ios::trunc);
    if (!file.write(offset.data(), static_cast<std::streamsize>(offset.size())) || !file.flush())
        return false;
    _setTz(offset);
    return true;
}

std::string TzCurrentTime::getDefTimezone()
{
    std::ifstream file(kTimezoneFile, std::ios::binary);
    char buffer[kOffsetLength];
    if (!file.read(buffer, sizeof(buffer)))
        return std::string();
    const std::string offset(buffer, sizeof(buffer));
    return _tzValid(offset) ? offset : std::string();
}

void TzCurrentTime::setHWClock()
{
    _setTz("-00:00");
    runShell("hwclock -w");
    _applyStoredTz();
}

void TzCurrentTime::updateTimezone()
{
    _isReadTz = false;
}

bool TzCurrentTime::_tzValid(const std::string& offset)
{
    if (offset.size() != kOffsetLength || (offset[0] != '+' && offset[0] != '-') || offset[3] != ':')
        return false;
    for (std::size_t at : {1, 2, 4, 5}) {
        if (!std::isdigit(static_cast<unsigned char>(offset[at])))
            return false;
    }
    return twoDigits(offset, 1) <= 12 && twoDigits(offset, 4) <= 59;
}

void TzCurrentTime::_setTz(const std::string& offset)
{
    std::string posix = offset;
    if (!posix.empty())
        posix[0] = posix[0] == '-' ? '+' : '-';
    setenv("TZ", ("GMT" + posix).c_str(), 1);
    tzset();
    _isReadTz = true;
}

void TzCurrentTime::_applyStoredTz()
{
    const std::string stored = getDefTimezone();
    if (!stored.empty())
        _setTz(stored);
}

} // namespace LibMisc
