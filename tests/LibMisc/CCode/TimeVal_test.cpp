#include "LibMisc/CCode/TimeVal.h"

#include <gtest/gtest.h>

#include <unistd.h>

TEST(TimeValSubtraction, BorrowsAndDoesNotClamp)
{
    struct Case {
        timeval a, b, expected;
    };
    const Case cases[] = {
        {{5, 100}, {2, 200}, {2, 999900}},
        {{5, 300}, {2, 200}, {3, 100}},
        {{5, 0}, {0, 999999}, {4, 1}},
        {{1, 0}, {2, 0}, {-1, 0}},
        {{1, 0}, {1, 1}, {-1, 999999}},
    };
    for (const Case& c : cases) {
        timeval a = c.a;
        lTools_timeValSubtraction(&a, &c.b);
        EXPECT_EQ(a.tv_sec, c.expected.tv_sec) << c.a.tv_sec << "." << c.a.tv_usec << " - " << c.b.tv_sec;
        EXPECT_EQ(a.tv_usec, c.expected.tv_usec) << c.a.tv_sec << "." << c.a.tv_usec << " - " << c.b.tv_sec;
    }
}

TEST(TimeValCompare, SecondsFirstThenMicroseconds)
{
    struct Case {
        timeval a, b;
        int expected;
    };
    const Case cases[] = {
        {{3, 5}, {3, 5}, 0}, {{3, 5}, {3, 4}, 1}, {{3, 4}, {3, 5}, -1},
        {{2, 999999}, {3, 0}, -1}, {{-1, 0}, {0, 0}, -1}, {{4, 0}, {3, 999999}, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(lTools_timeValCompare(&c.a, &c.b), c.expected) << c.a.tv_sec << "." << c.a.tv_usec;
}

class XpollTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(pipe(_first), 0);
        ASSERT_EQ(pipe(_second), 0);
    }
    void TearDown() override
    {
        for (int fd : {_first[0], _first[1], _second[0], _second[1]})
            close(fd);
    }
    int _first[2];
    int _second[2];
};

TEST_F(XpollTest, ReturnsThePositionOfTheFirstReadyEntry)
{
    pollfd fds[2] = {{_first[0], POLLIN, 0}, {_second[0], POLLIN, 0}};
    EXPECT_EQ(xpoll(fds, 2, 0), 0);

    ASSERT_EQ(write(_second[1], "x", 1), 1);
    EXPECT_EQ(xpoll(fds, 2, 1000), 2);

    ASSERT_EQ(write(_first[1], "x", 1), 1);
    EXPECT_EQ(xpoll(fds, 2, 1000), 1);
}
