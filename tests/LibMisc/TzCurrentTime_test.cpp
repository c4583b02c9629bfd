#include "LibMisc/TzCurrentTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

using LibMisc::TzCurrentTime;

TEST(TzCurrentTime, OffsetValidation)
{
    struct Case {
        const char* offset;
        bool valid;
    };
    const Case cases[] = {
        {"+03:00", true}, {"-12:59", true}, {"+00:00", true}, {"+12:00", true},
        {"+13:00", false}, {"+3:00", false}, {"03:00", false}, {"+03:60", false}, {"+03-00", false},
        {"+0a:00", false}, {"*03:00", false}, {"+03:000", false}, {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TzCurrentTime::_tzValid(c.offset), c.valid) << c.offset;
}

// The POSIX TZ offset counts westwards, hence the inverted sign.
TEST(TzCurrentTime, SetTzInvertsTheSignAndAppliesIt)
{
    TzCurrentTime::_setTz("+03:00");
    EXPECT_STREQ(getenv("TZ"), "GMT-03:00");

    const TzCurrentTime now;
    const time_t shifted = now.getTimeVal().tv_sec + 3 * 3600;
    tm utc;
    gmtime_r(&shifted, &utc);
    char expected[16];
    strftime(expected, sizeof(expected), "%H:%M", &utc);
    EXPECT_EQ(now.format("%H:%M"), expected);
    EXPECT_EQ(now.getTimeSpec().tv_nsec, 0);

    TzCurrentTime::_setTz("-05:30");
    EXPECT_STREQ(getenv("TZ"), "GMT+05:30");
}

TEST(TzCurrentTime, NothingStoredGivesNoOffset)
{
    ASSERT_NE(access("/mtd0/timezone", F_OK), 0) << "this machine has a stored time zone";
    EXPECT_EQ(TzCurrentTime::getDefTimezone(), "");
}

// These fail before any command runs or anything is written.
TEST(TzCurrentTime, InvalidInputChangesNothing)
{
    EXPECT_FALSE(TzCurrentTime::setDefTimezone("+13:00"));
    EXPECT_FALSE(TzCurrentTime::setDateTime("03/09/26 07:05:03", "3:00"));
    EXPECT_FALSE(TzCurrentTime::setDateTime("not a date"));
    EXPECT_FALSE(TzCurrentTime::setDateTime("03/09/26 07:05:03 and more"));
}
