#include "logging/log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <regex>
#include <sstream>
#include <string>
#include <sys/time.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Runs `write` against a temporary stream and returns what it wrote.
template <typename Write>
std::string capture(Write write)
{
    FILE* stream = tmpfile();
    write(stream);
    std::string text;
    rewind(stream);
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), stream)) > 0)
        text.append(buffer, got);
    fclose(stream);
    return text;
}

void trace(FILE* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
void trace(FILE* stream, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    __vftracef(stream, "src/net.c", "pollLoop", 42, format, arguments);
    va_end(arguments);
}

long long microsNow()
{
    timeval now;
    gettimeofday(&now, nullptr);
    return now.tv_sec * 1000000LL + now.tv_usec;
}

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        _saved = logging_settings;
        _savedOut = log_out;
    }
    void TearDown() override
    {
        logging_settings = _saved;
        log_out = _savedOut;
    }

private:
    logging_settings_t _saved;
    FILE* _savedOut;
};

} // namespace

TEST_F(TraceTest, LineCarriesEveryBracketAndTheLocalTimeOfTheCall)
{
    const long long before = microsNow();
    const std::string line = capture([](FILE* s) { trace(s, "[ERROR] Error getting socket error code: %s\n", "EBADF"); });
    const long long after = microsNow();

    const std::regex shape(R"(^\[(\d\d)\.(\d\d)\.(\d{4})\]\[(\d\d):(\d\d):(\d\d):(\d{6})\]\[unknown\]\[tid:(\d+)\])"
                           R"(\[src/net\.c:pollLoop\(\):42\]\[ERROR\] Error getting socket error code: EBADF\n$)");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
    EXPECT_EQ(std::stol(m[8]), static_cast<long>(getpid())); // the test runs on the main thread

    tm local = {};
    local.tm_mday = std::stoi(m[1]);
    local.tm_mon = std::stoi(m[2]) - 1;
    local.tm_year = std::stoi(m[3]) - 1900;
    local.tm_hour = std::stoi(m[4]);
    local.tm_min = std::stoi(m[5]);
    local.tm_sec = std::stoi(m[6]);
    local.tm_isdst = -1;
    const long long printed = mktime(&local) * 1000000LL + std::stoll(m[7]);
    EXPECT_LE(before, printed);
    EXPECT_LE(printed, after);
}

TEST_F(TraceTest, SwitchedOffBracketsAreLeftOut)
{
    logging_settings.showDate = 0;
    logging_settings.showMicroseconds = 0;
    logging_settings.showApplicationName = 0;
    logging_settings.showSourceLocation = 0;
    const std::string line = capture([](FILE* s) { trace(s, "%d%%\n", 5); });
    EXPECT_TRUE(std::regex_match(line, std::regex(R"(^\[\d\d:\d\d:\d\d\]\[tid:\d+\]5%\n$)"))) << line;
}

namespace {
// Traces one line and returns the line number it traced from.
int traceTerminatorError()
{
    LOG_TRACEF("[ERROR] Terminator error: (%d) %s\n", 32, "Broken pipe"); return __LINE__;
}
} // namespace

TEST_F(TraceTest, LogTracefWritesToLogOutWithTheCallersLocation)
{
    int line = 0;
    const std::string text = capture([&](FILE* s) {
        log_out = s;
        line = traceTerminatorError();
    });
    const std::string expectedEnd = std::string("[") + __FILE__ + ":traceTerminatorError():" + std::to_string(line) +
                                    "][ERROR] Terminator error: (32) Broken pipe\n";
    ASSERT_GE(text.size(), expectedEnd.size());
    EXPECT_EQ(text.substr(text.size() - expectedEnd.size()), expectedEnd);
}

TEST_F(TraceTest, DisabledCallWritesNothingAndTakesNoLock)
{
    std::string text = capture([](FILE* s) {
        log_out = s;
        pthread_mutex_lock(&log_out_mutex);
        auto call = std::async(std::launch::async, [] { __log_tracef("f.c", "f", 1, 0, "never\n"); });
        const bool returned = call.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
        pthread_mutex_unlock(&log_out_mutex);
        EXPECT_TRUE(returned);
    });
    EXPECT_EQ(text, "");
}

TEST_F(TraceTest, LinesOfConcurrentThreadsNeverInterleave)
{
    constexpr int kThreads = 4;
    constexpr int kLines = 200;
    const std::string text = capture([](FILE* s) {
        log_out = s;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([t] {
                for (int i = 0; i < kLines; ++i)
                    __log_tracef("f.c", "worker", t, 1, "%s %d\n", std::string(100, char('a' + t)).c_str(), i);
            });
        for (std::thread& thread : threads)
            thread.join();
    });

    const std::regex shape(R"(^\[[^\]]*\]\[[^\]]*\]\[unknown\]\[tid:\d+\]\[f\.c:worker\(\):(\d)\]([a-d])\2{99} \d+$)");
    std::istringstream lines(text);
    std::string line;
    int count = 0;
    std::smatch m;
    while (std::getline(lines, line)) {
        ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
        EXPECT_EQ(m[2].str()[0], 'a' + std::stoi(m[1]));
        ++count;
    }
    EXPECT_EQ(count, kThreads * kLines);
}

TEST(TraceThreadId, IsTheKernelIdOfTheCallingThread)
{
    EXPECT_EQ(__get_thread_id(), getpid());
    pid_t other = 0;
    std::thread([&] { other = __get_thread_id(); }).join();
    EXPECT_NE(other, getpid());
    EXPECT_GT(other, 0);
}

TEST(TraceDecimal, Conversions)
{
    struct Case {
        const char* name;
        int (*convert)(char*);
        const char* text;
        int result;
    };
    const Case cases[] = {
        {"7 width 2", [](char* t) { return __uitoa_leading_zeros(7, t, 2); }, "07", 2},
        {"123 width 2", [](char* t) { return __uitoa_leading_zeros(123, t, 2); }, "123", 3},
        {"0 width 6", [](char* t) { return __uitoa_leading_zeros(0, t, 6); }, "000000", 6},
        {"year past 9999", [](char* t) { return __uitoa_leading_zeros(12026, t, 4); }, "12026", 5},
        {"uitoa 0", [](char* t) { return __uitoa(0, t); }, "0", 1},
        {"uitoa max", [](char* t) { return __uitoa(4294967295u, t); }, "4294967295", 10},
        {"itoa -45", [](char* t) { return __itoa(-45, t); }, "-45", 3},
        {"itoa 0", [](char* t) { return __itoa(0, t); }, "0", 1},
        {"itoa min", [](char* t) { return __itoa(INT32_MIN, t); }, "-2147483648", 11},
        {"itoa max", [](char* t) { return __itoa(INT32_MAX, t); }, "2147483647", 10},
    };
    for (const Case& c : cases) {
        char text[16];
        memset(text, 'x', sizeof(text));
        EXPECT_EQ(c.convert(text), c.result) << c.name;
        EXPECT_STREQ(text, c.text) << c.name;
    }
}
