#pragma once

#include <ctime>
#include <string>
#include <sys/time.h>

namespace LibMisc {

// The current local time, and the device's stored time-zone offset ("±HH:MM"
// in /mtd0/timezone), applied to the process through TZ on first use.
// Changes the process environment: not for use on several threads at once.
class TzCurrentTime {
public:
    TzCurrentTime();

    timespec getTimeSpec() const;
    timeval getTimeVal() const;
    // strftime of the moment in local time, at most 79 characters.
    std::string format(const std::string& pattern) const;
    std::string getStr() const; // "%D %T"

    // Sets the system clock from "%D %T" text; false when the text does not parse.
    static bool setDateTime(const std::string& text);
    // The same, with the text read in the given offset.
    static bool setDateTime(const std::string& text, const std::string& offset);
    static bool setDefTimezone(const std::string& offset);
    // The stored offset, or "" when there is no valid one.
    static std::string getDefTimezone();
    // Writes the system time to the hardware clock as UTC.
    static void setHWClock();
    // The next construction applies the stored offset again.
    static void updateTimezone();

    // "+HH:MM" or "-HH:MM", hours at most 12, minutes at most 59.
    static bool _tzValid(const std::string& offset);
    // TZ := "GMT" + offset with the sign inverted (POSIX counts west as positive).
    static void _setTz(const std::string& offset);

private:
    static void _applyStoredTz();

    static bool _isReadTz;
    time_t _moment;
};

} // namespace LibMisc
