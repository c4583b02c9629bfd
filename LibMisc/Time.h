#pragma once

#include <cstdint>
#include <string>
#include <sys/time.h>
#include <time.h>

namespace LibMisc {

// Seconds and microseconds; the microseconds are kept in 0..999999 (negative
// times have negative seconds). A long long counts microseconds.
// Note: operator+ and operator- change the object itself and return it.
class TimeVal {
public:
    TimeVal() = default;
    TimeVal(const timeval& value);
    TimeVal(const long long& microseconds);

    TimeVal& operator=(const timeval& value);
    TimeVal& operator=(const long long& microseconds);

    TimeVal& operator+(const TimeVal& other);
    TimeVal& operator+(const timeval& other);
    TimeVal& operator+(const long long& microseconds);
    TimeVal& operator-(const TimeVal& other);
    TimeVal& operator-(const timeval& other);
    TimeVal& operator-(const long long& microseconds);

    TimeVal& operator++();
    TimeVal operator++(int);
    TimeVal& operator--();
    TimeVal operator--(int);

    bool operator==(const TimeVal& other) const;
    bool operator>(const TimeVal& other) const;
    bool operator<(const TimeVal& other) const;
    bool operator>=(const TimeVal& other) const;
    bool operator<=(const TimeVal& other) const;

    explicit operator timeval() const;
    explicit operator timespec() const;
    explicit operator long long() const;

    int64_t seconds() const { return _sec; }
    int64_t microseconds() const { return _usec; }

    // "5s, 250us"
    std::string getStr() const;

private:
    int64_t _sec = 0;
    int64_t _usec = 0;
};

// Seconds and nanoseconds; a long long counts nanoseconds. Unlike TimeVal,
// operator+ and operator- return a new value; += and -= change the object.
class TimeSpec {
public:
    TimeSpec() = default;
    TimeSpec(const timespec& value); // copied as it is
    TimeSpec(const timeval& value);
    TimeSpec(const TimeVal& value);
    TimeSpec(const long long& nanoseconds);

    TimeSpec& operator=(const timespec& value);
    TimeSpec& operator=(const timeval& value);
    TimeSpec& operator=(const TimeVal& value);
    TimeSpec& operator=(const long long& nanoseconds);

    TimeSpec operator+(const TimeSpec& other) const;
    TimeSpec operator-(const TimeSpec& other) const;
    TimeSpec& operator+=(const TimeSpec& other);
    TimeSpec& operator-=(const TimeSpec& other);
    // The other operand kinds (TimeVal, timespec, timeval, long long
    // nanoseconds) reach these through the converting constructors.

    TimeSpec& operator++();
    TimeSpec operator++(int);
    TimeSpec& operator--();
    TimeSpec operator--(int);

    bool operator==(const TimeSpec& other) const;
    bool operator>(const TimeSpec& other) const;
    bool operator<(const TimeSpec& other) const;
    bool operator>=(const TimeSpec& other) const;
    bool operator<=(const TimeSpec& other) const;

    explicit operator timespec() const;
    explicit operator timeval() const;
    explicit operator TimeVal() const;
    explicit operator long long() const;

    int64_t seconds() const { return _sec; }
    int64_t nanoseconds() const { return _nsec; }

    // "5s, 250ns"
    std::string getStr() const;

private:
    int64_t _sec = 0;
    int64_t _nsec = 0;
};

// Elapsed wall-clock time since construction or the last reset().
class Stopwatch {
public:
    Stopwatch();

    void reset();
    TimeVal getStartTime() const { return _start; }
    TimeVal getTime() const;

private:
    TimeVal _start;
};

} // namespace LibMisc
