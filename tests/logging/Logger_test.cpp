#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "tests/support/LogFileName.h"
#include "logging/Logger.h"

namespace {

struct HexCase {
    std::vector<uint8_t> bytes;
    std::string hex;
};

TEST(ConvertToHex, UpperCaseWithoutSeparators)
{
    const HexCase cases[] = {
        {{0x00, 0x7F, 0xFF}, "007FFF"},
        {{0xAB}, "AB"},
        {{}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kiv_proxy::ConvertToHex(c.bytes.data(), static_cast<int>(c.bytes.size())), c.hex);
    const uint8_t one = 1;
    EXPECT_EQ(kiv_proxy::ConvertToHex(&one, -1), "");
}

TEST(HexDump16ToString, LinesOfSixteenWithDecimalOffsets)
{
    const uint8_t three[] = {0x01, 0xAB, 0x10};
    EXPECT_EQ(kiv_proxy::HexDump16ToString(three, 3), "\n000000: 01 AB 10");
    EXPECT_EQ(kiv_proxy::HexDump16ToString(three, 0), "");

    std::vector<uint8_t> seventeen(17);
    for (size_t i = 0; i < seventeen.size(); ++i)
        seventeen[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(kiv_proxy::HexDump16ToString(seventeen.data(), seventeen.size()),
              "\n000000: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F"
              "\n000016: 10");
}

TEST(SplitString, KeepsEmptyPiecesAndTheLastOne)
{
    using V = std::vector<std::string>;
    const std::pair<std::string, V> cases[] = {
        {"/var/log/kiv/", {"", "var", "log", "kiv", ""}},
        {"a,,b", {"a", "", "b"}},
        {"", {""}},
        {"abc", {"abc"}},
    };
    for (const auto& [text, pieces] : cases)
        EXPECT_EQ(kiv_proxy::utils::split_string(text, text.find(',') != std::string::npos ? ',' : '/'), pieces) << text;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class LogFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kivlogXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = std::string(pattern) + "/";
        logger::Log::setLogDirectoryPath(dir);
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }

    std::string dir;
};

TEST_F(LogFile, DailyFileWithLevelAndAppendOnRestart)
{
    logger::Log::Init(true, 2);
    EXPECT_TRUE(logger::Log::isHexDumpEnable());
    logger::Log::s_CoreLogger->debug("hidden");
    logger::Log::s_CoreLogger->info("[Proxy service] Port name: {}", "/dev/ttyACM0");

    logger::Log::Init(false, 2); // a restart on the same day appends
    logger::Log::s_CoreLogger->warn("second");

    const std::string text = readFile(dir + kiv_test::todaysLogName());
    EXPECT_EQ(text.find("hidden"), std::string::npos);
    EXPECT_NE(text.find("] [info] KivProxy: [Proxy service] Port name: /dev/ttyACM0\n"), std::string::npos) << text;
    EXPECT_NE(text.find("] [warning] KivProxy: second\n"), std::string::npos) << text;
    EXPECT_EQ(text[0], '[');
    EXPECT_EQ(text.find("] [info]"), 13u); // "[HH:MM:SS.mmm"
}

TEST_F(LogFile, LevelOffWritesNothing)
{
    logger::Log::Init(false, 6);
    logger::Log::s_CoreLogger->critical("nothing");
    EXPECT_EQ(readFile(dir + kiv_test::todaysLogName()), "");
}

TEST_F(LogFile, DirectoryWithoutTrailingSlashKeepsItsParent)
{
    // Only the text up to the last "/" counts: "<dir>sub" logs into <dir>.
    logger::Log::setLogDirectoryPath(dir + "sub");
    logger::Log::Init(false, 0);
    logger::Log::s_CoreLogger->trace("here");
    EXPECT_NE(readFile(dir + kiv_test::todaysLogName()).find("[trace] KivProxy: here"), std::string::npos);
}

} // namespace
