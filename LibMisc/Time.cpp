#include "LibMisc/Time.h"

namespace LibMisc {

namespace {

constexpr int64_t kMicro = 1000000;
constexpr int64_t kNano = 1000000000;

// Brings `fraction` into 0..unit-1, moving whole units into `seconds`.
void normalise(int64_t& seconds, int64_t& fraction, int64_t unit)
{
    seconds += fraction / unit;
    fraction %= unit;
    if (fraction < 0) {
        fraction += unit;
        --seconds;
    }
}

// Adds (or subtracts) a time given as seconds and a fraction of `unit`.
void add(int64_t& seconds, int64_t& fraction, int64_t otherSeconds, int64_t otherFraction, int64_t unit)
{
    seconds += otherSeconds;
    fraction += otherFraction;
    normalise(seconds, fraction, unit);
}

void subtract(int64_t& seconds, int64_t& fraction, int64_t otherSeconds, int64_t otherFraction, int64_t unit)
{
    add(seconds, fraction, -otherSeconds, -otherFraction, unit);
}

// -1, 0 or 1, seconds first.
int compare(int64_t seconds, int64_t fraction, int64_t otherSeconds, int64_t otherFraction)
{
    if (seconds != otherSeconds)
        return seconds < otherSeconds ? -1 : 1;
    if (fraction != otherFraction)
        return fraction < otherFraction ? -1 : 1;
    return 0;
}

std::string describe(int64_t seconds, int64_t fraction, const char* unitName)
{
    return std::to_string(seconds) + "s, " + std::to_string(fraction) + unitName;
}

} // namespace

// ---- TimeVal

TimeVal::TimeVal(const timeval& value) : _sec(value.tv_sec), _usec(value.tv_usec)
{
    normalise(_sec, _usec, kMicro);
}

TimeVal::TimeVal(const long long& microseconds) : _usec(microseconds)
{
    normalise(_sec, _usec, kMicro);
}

TimeVal& TimeVal::operator=(const timeval& value)
{
    return *this = TimeVal(value);
}

TimeVal& TimeVal::operator=(const long long& microseconds)
{
    return *this = TimeVal(microseconds);
}

TimeVal& TimeVal::operator+(const TimeVal& other)
{
    add(_sec, _usec, other._sec, other._usec, kMicro);
    return *this;
}

TimeVal& TimeVal::operator+(const timeval& other)
{
    return *this + TimeVal(other);
}

TimeVal& TimeVal::operator+(const long long& microseconds)
{
    return *this + TimeVal(microseconds);
}

TimeVal& TimeVal::operator-(const TimeVal& other)
{
    subtract(_sec, _usec, other._sec, other._usec, kMicro);
    return *this;
}

TimeVal& TimeVal::operator-(const timeval& other)
{
    return *this - TimeVal(other);
}

TimeVal& TimeVal::operator-(const long long& microseconds)
{
    return *this - TimeVal(microseconds);
}

TimeVal& TimeVal::operator++()
{
    return *this + 1LL;
}

TimeVal TimeVal::operator++(int)
{
    const TimeVal previous = *this;
    ++*this;
    return previous;
}

TimeVal& TimeVal::operator--()
{
    return *this - 1LL;
}

TimeVal TimeVal::operator--(int)
{
    const TimeVal previous = *this;
    --*this;
    return previous;
}

bool TimeVal::operator==(const TimeVal& other) const
{
    return compare(_sec, _usec, other._sec, other._usec) == 0;
}

bool TimeVal::operator>(const TimeVal& other) const
{
    return compare(_sec, _usec, other._sec, other._usec) > 0;
}

bool TimeVal::operator<(const TimeVal& other) const
{
    return compare(_sec, _usec, other._sec, other._usec) < 0;
}

bool TimeVal::operator>=(const TimeVal& other) const
{
    return compare(_sec, _usec, other._sec, other._usec) >= 0;
}

bool TimeVal::operator<=(const TimeVal& other) const
{
    return compare(_sec, _usec, other._sec, other._usec) <= 0;
}

TimeVal::operator timeval() const
{
    return timeval{static_cast<time_t>(_sec), static_cast<suseconds_t>(_usec)};
}

TimeVal::operator timespec() const
{
    return timespec{static_cast<time_t>(_sec), static_cast<long>(_usec * 1000)};
}

TimeVal::operator long long() const
{
    return _sec * kMicro + _usec;
}

std::string TimeVal::getStr() const
{
    return describe(_sec, _usec, "us");
}

// ---- TimeSpec

TimeSpec::TimeSpec(const timespec& value) : _sec(value.tv_sec), _nsec(value.tv_nsec) {}

TimeSpec::TimeSpec(const timeval& value) : TimeSpec(TimeVal(value)) {}

TimeSpec::TimeSpec(const TimeVal& value) : _sec(value.seconds()), _nsec(value.microseconds() * 1000) {}

TimeSpec::TimeSpec(const long long& nanoseconds) : _nsec(nanoseconds)
{
    normalise(_sec, _nsec, kNano);
}

TimeSpec& TimeSpec::operator=(const timespec& value)
{
    return *this = TimeSpec(value);
}

TimeSpec& TimeSpec::operator=(const timeval& value)
{
    return *this = TimeSpec(value);
}

TimeSpec& TimeSpec::operator=(const TimeVal& value)
{
    return *this = TimeSpec(value);
}

TimeSpec& TimeSpec::operator=(const long long& nanoseconds)
{
    return *this = TimeSpec(nanoseconds);
}

TimeSpec TimeSpec::operator+(const TimeSpec& other) const
{
    TimeSpec sum = *this;
    return sum += other;
}

TimeSpec TimeSpec::operator-(const TimeSpec& other) const
{
    TimeSpec difference = *this;
    return difference -= other;
}

TimeSpec& TimeSpec::operator+=(const TimeSpec& other)
{
    add(_sec, _nsec, other._sec, other._nsec, kNano);
    return *this;
}

TimeSpec& TimeSpec::operator-=(const TimeSpec& other)
{
    subtract(_sec, _nsec, other._sec, other._nsec, kNano);
    return *this;
}

TimeSpec& TimeSpec::operator++()
{
    return *this += 1LL;
}

TimeSpec TimeSpec::operator++(int)
{
    const TimeSpec previous = *this;
    ++*this;
    return previous;
}

TimeSpec& TimeSpec::operator--()
{
    return *this -= 1LL;
}

TimeSpec TimeSpec::operator--(int)
{
    const TimeSpec previous = *this;
    --*this;
    return previous;
}

bool TimeSpec::operator==(const TimeSpec& other) const
{
    return compare(_sec, _nsec, other._sec, other._nsec) == 0;
}

bool TimeSpec::operator>(const TimeSpec& other) const
{
    return compare(_sec, _nsec, other._sec, other._nsec) > 0;
}

bool TimeSpec::operator<(const TimeSpec& other) const
{
    return compare(_sec, _nsec, other._sec, other._nsec) < 0;
}

bool TimeSpec::operator>=(const TimeSpec& other) const
{
    return compare(_sec, _nsec, other._sec, other._nsec) >= 0;
}

bool TimeSpec::operator<=(const TimeSpec& other) const
{
    return compare(_sec, _nsec, other._sec, other._nsec) <= 0;
}

TimeSpec::operator timespec() const
{
    return timespec{static_cast<time_t>(_sec), static_cast<long>(_nsec)};
}

TimeSpec::operator timeval() const
{
    return timeval{static_cast<time_t>(_sec), static_cast<suseconds_t>(_nsec / 1000)};
}

TimeSpec::operator TimeVal() const
{
    return TimeVal(static_cast<timeval>(*this));
}

TimeSpec::operator long long() const
{
    return _sec * kNano + _nsec;
}

std::string TimeSpec::getStr() const
{
    return describe(_sec, _nsec, "ns");
}

// ---- Stopwatch

namespace {
TimeVal now()
{
    timeval value;
    gettimeofday(&value, nullptr);
    return TimeVal(value);
}
} // namespace

Stopwatch::Stopwatch() : _start(now()) {}

void Stopwatch::reset()
{
    _start = now();
}

TimeVal Stopwatch::getTime() const
{
    TimeVal elapsed = now();
    return elapsed - _start;
}

} // namespace LibMisc
