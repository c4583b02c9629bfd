#include "LibMisc/Time.h"

#include <gtest/gtest.h>

using LibMisc::Stopwatch;
using LibMisc::TimeSpec;
using LibMisc::TimeVal;

namespace {
void expectTime(const TimeVal& value, int64_t seconds, int64_t micro)
{
    EXPECT_EQ(value.seconds(), seconds) << value.getStr();
    EXPECT_EQ(value.microseconds(), micro) << value.getStr();
}

void expectTime(const TimeSpec& value, int64_t seconds, int64_t nano)
{
    EXPECT_EQ(value.seconds(), seconds) << value.getStr();
    EXPECT_EQ(value.nanoseconds(), nano) << value.getStr();
}
} // namespace

TEST(TimeVal, ConstructionNormalises)
{
    struct Case {
        TimeVal value;
        int64_t seconds, micro;
        const char* text;
    };
    const Case cases[] = {
        {TimeVal(), 0, 0, "0s, 0us"},
        {TimeVal(2500000LL), 2, 500000, "2s, 500000us"},
        {TimeVal(timeval{5, 250}), 5, 250, "5s, 250us"},
        {TimeVal(timeval{1, 2500000}), 3, 500000, "3s, 500000us"},
        {TimeVal(-1500000LL), -2, 500000, "-2s, 500000us"},
        {TimeVal(-1LL), -1, 999999, "-1s, 999999us"},
    };
    for (const Case& c : cases) {
        expectTime(c.value, c.seconds, c.micro);
        EXPECT_EQ(c.value.getStr(), c.text);
        EXPECT_EQ(static_cast<long long>(c.value), c.seconds * 1000000 + c.micro);
    }
}

TEST(TimeVal, ArithmeticCarriesAndChangesTheObject)
{
    TimeVal a(timeval{1, 999999});
    a + 1LL;
    expectTime(a, 2, 0);
    a - 1LL;
    expectTime(a, 1, 999999);

    TimeVal b(timeval{2, 500000});
    TimeVal& result = a + b;
    EXPECT_EQ(&result, &a);
    expectTime(a, 4, 499999);
    a - timeval{5, 0};
    expectTime(a, -1, 499999);
    a + (-2000001LL);
    expectTime(a, -3, 499998);

    TimeVal c(timeval{0, 999999});
    expectTime(c++, 0, 999999);
    expectTime(c, 1, 0);
    expectTime(--c, 0, 999999);
    expectTime(c--, 0, 999999);
    expectTime(++c, 0, 999999);
}

TEST(TimeVal, ComparesSecondsFirst)
{
    const TimeVal early(timeval{2, 999999});
    const TimeVal late(timeval{3, 0});
    EXPECT_TRUE(early < late);
    EXPECT_TRUE(late > early);
    EXPECT_TRUE(early <= late && early <= early);
    EXPECT_TRUE(late >= early && late >= late);
    EXPECT_FALSE(early == late);
    EXPECT_TRUE(TimeVal(3000000LL) == late);
}

TEST(TimeVal, Conversions)
{
    const TimeVal value(timeval{7, 123456});
    const timeval tv = static_cast<timeval>(value);
    const timespec ts = static_cast<timespec>(value);
    EXPECT_EQ(tv.tv_sec, 7);
    EXPECT_EQ(tv.tv_usec, 123456);
    EXPECT_EQ(ts.tv_sec, 7);
    EXPECT_EQ(ts.tv_nsec, 123456000);
    EXPECT_EQ(static_cast<long long>(value), 7123456LL);
}

TEST(TimeSpec, PlusReturnsANewValueWhilePlusEqualsChangesTheObject)
{
    const TimeSpec a(timespec{1, 600000000});
    const TimeSpec sum = a + TimeSpec(timespec{0, 500000000});
    expectTime(a, 1, 600000000);
    expectTime(sum, 2, 100000000);
    expectTime(a - 700000000LL, 0, 900000000);
    expectTime(a + TimeVal(1LL), 1, 600001000);
    expectTime(a - timeval{2, 0}, -1, 600000000);

    TimeSpec b = a;
    b += timespec{0, 400000000};
    expectTime(b, 2, 0);
    b -= 1LL;
    expectTime(b, 1, 999999999);
    expectTime(b++, 1, 999999999);
    expectTime(b, 2, 0);
    expectTime(--b, 1, 999999999);
}

TEST(TimeSpec, ConstructionAndConversions)
{
    const TimeSpec value(timespec{1, 500000000});
    const timeval tv = static_cast<timeval>(value);
    EXPECT_EQ(tv.tv_sec, 1);
    EXPECT_EQ(tv.tv_usec, 500000);
    EXPECT_EQ(static_cast<long long>(value), 1500000000LL);
    EXPECT_TRUE(static_cast<TimeVal>(value) == TimeVal(1500000LL));
    EXPECT_EQ(value.getStr(), "1s, 500000000ns");

    expectTime(TimeSpec(TimeVal(timeval{3, 7})), 3, 7000);
    expectTime(TimeSpec(timeval{3, 7}), 3, 7000);
    expectTime(TimeSpec(2500000000LL), 2, 500000000);
    expectTime(TimeSpec(-1LL), -1, 999999999);
    EXPECT_TRUE(TimeSpec(1LL) > TimeSpec(0LL));
    EXPECT_TRUE(TimeSpec(2000000000LL) == TimeSpec(timespec{2, 0}));
}

TEST(Stopwatch, MeasuresFromTheStartOrTheLastReset)
{
    Stopwatch watch;
    const TimeVal firstStart = watch.getStartTime();
    const TimeVal elapsed = watch.getTime();
    EXPECT_TRUE(elapsed >= TimeVal());
    EXPECT_TRUE(elapsed < TimeVal(10000000LL));

    const Stopwatch copy = watch;
    EXPECT_TRUE(copy.getStartTime() == firstStart);
    watch.reset();
    EXPECT_TRUE(watch.getStartTime() >= firstStart);
    EXPECT_TRUE(copy.getStartTime() == firstStart);
}
