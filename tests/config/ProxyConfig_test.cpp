#include "config/ProxyConfig.h"
#include "logging/Logger.h"

#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char* const kDefaultsFile = R"(#<optional>
[Proxy]
#<optional, single>
#<default value: "no">
AutoDetect = no
#<optional, single>
#<default value: "ttyACM0">
SerialPortName = ttyACM0
#<optional, single>
#<default value: "3000">
ConfirmationTimeout = 3000
#<optional, single>
#<default value: "10500">
ServerPort = 10500
#<optional, single>
#<default value: "10115">
FileTransferServerPort = 10115
#<optional, single>
#<default value: "">
LogsDir = 
#<optional, single>
#<default value: "2">
LogLevel = 2
#<optional, single>
#<default value: "no">
HexDump = no
#<optional, single>
#<default value: "8192">
BufferSize = 8192
#<optional, single>
#<default value: "12500">
blServerPort = 12500
#<optional, single>
#<default value: "127.0.0.1">
blServerIp2Connect = 127.0.0.1
#<optional, single>
#<default value: "12500">
blServerPort2Connect = 12500
#<optional, single>
#<default value: "0.0.0.0">
UdpVpnIp = 0.0.0.0
#<optional, single>
#<default value: "12556">
UdpVpnPort = 12556
#<optional, single>
#<default value: "5">
UdpVpnTimeout = 5
)";

std::string readFile(const std::string& path)
{
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

// The file of defaults with the line of `key` replaced.
std::string defaultsWith(const std::string& key, const std::string& line)
{
    std::string text = kDefaultsFile;
    const size_t start = text.find("\n" + key + " = ") + 1;
    return text.replace(start, text.find('\n', start) - start, line);
}

size_t occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class ProxyConfigTest : public testing::Test {
protected:
    static fs::path logsDir() { return fs::temp_directory_path() / ("kiv_config_logs_" + std::to_string(getpid())); }

    static void SetUpTestSuite()
    {
        fs::create_directories(logsDir());
        logger::Log::setLogDirectoryPath(logsDir().string() + "/");
        logger::Log::Init(false, 0);
        logger::Log::s_CoreLogger->sinks().push_back(std::make_shared<spdlog::sinks::ostream_sink_mt>(s_log));
    }
    static void TearDownTestSuite() { fs::remove_all(logsDir()); }

    void SetUp() override
    {
        s_log.str("");
        _dir = fs::temp_directory_path() / ("kiv_config_" + std::to_string(getpid()));
        fs::remove_all(_dir);
        fs::create_directories(_dir);
        _path = (_dir / "ProxyConfig.ini").string();
    }
    void TearDown() override { fs::remove_all(_dir); }

    static std::string log() { return s_log.str(); }

    static std::ostringstream s_log;
    fs::path _dir;
    std::string _path;
};

std::ostringstream ProxyConfigTest::s_log;

TEST_F(ProxyConfigTest, EmptyFolderGetsTheFileOfDefaults)
{
    const ProxyConfig config(_path, "");

    EXPECT_EQ(readFile(_path), kDefaultsFile);
    EXPECT_FALSE(config.getAutoDetectEnable());
    EXPECT_EQ(config.getSerialPort(), "ttyACM0");
    EXPECT_EQ(config.getConfirmationTimeout(), 3000);
    EXPECT_EQ(config.getServerPort(), 10500);
    EXPECT_EQ(config.getFileTransferServerPort(), 10115);
    EXPECT_EQ(config.getLogsPath(), "");
    EXPECT_EQ(config.getLogLevel(), 2);
    EXPECT_FALSE(config.getHexDumpEnable());
    EXPECT_EQ(config.getBufferSize(), 8192);
    EXPECT_EQ(config.blServerPort, 12500);
    EXPECT_EQ(config.blServerIp2Connect, "127.0.0.1");
    EXPECT_EQ(config.blServerPort2Connect, "12500");
    EXPECT_EQ(config.UdpVpnIp, "0.0.0.0");
    EXPECT_EQ(config.UdpVpnPort, 12556);
    EXPECT_EQ(config.UdpVpnTimeout, 5);
    EXPECT_EQ(log(), "");
}

TEST_F(ProxyConfigTest, DefaultLogsDirectoryComesFromTheCaller)
{
    const ProxyConfig config(_path, "/opt/kiv,2/logs");
    EXPECT_EQ(config.getLogsPath(), "/opt/kiv,2/logs");
    EXPECT_NE(readFile(_path).find("LogsDir = /opt/kiv\\,2/logs\n"), std::string::npos);
}

TEST_F(ProxyConfigTest, IncompleteFileIsCompletedOnceWithTheFileOrderKept)
{
    writeFile(_path, "[Proxy]\nServerPort = 11000\n");

    const ProxyConfig config(_path, "");

    EXPECT_EQ(config.getServerPort(), 11000);
    EXPECT_EQ(config.getBufferSize(), 8192);
    const std::string serverPortLines = "#<optional, single>\n#<default value: \"10500\">\nServerPort = 11000\n";
    std::string expected = defaultsWith("ServerPort", "ServerPort = 11000");
    expected.erase(expected.find(serverPortLines), serverPortLines.size());
    expected.insert(expected.find("[Proxy]\n") + 8, serverPortLines);
    EXPECT_EQ(readFile(_path), expected);
    const std::string warning = "[Proxy config] Config file '" + _path + "' is not full. Config overwrite.";
    EXPECT_EQ(occurrences(log(), warning), 1u) << log();

    ProxyConfig again(_path, "");
    EXPECT_EQ(occurrences(log(), warning), 1u) << "a complete file is not rewritten";
}

TEST_F(ProxyConfigTest, ValuesOfAFile)
{
    const struct {
        const char* name;
        std::string text;
        bool replacedByDefaults;
        std::function<void(const ProxyConfig&)> check;
    } cases[] = {
        {"hexadecimal port", defaultsWith("ServerPort", "ServerPort = 0x2904"), false,
            [](const ProxyConfig& c) { EXPECT_EQ(c.getServerPort(), 10500); }},
        {"port cut to 16 bits", defaultsWith("ServerPort", "ServerPort = 70000"), false,
            [](const ProxyConfig& c) { EXPECT_EQ(c.getServerPort(), 4464); }},
        {"comment after a value", defaultsWith("SerialPortName", "SerialPortName = ttyUSB0 # spare"), false,
            [](const ProxyConfig& c) { EXPECT_EQ(c.getSerialPort(), "ttyUSB0"); }},
        {"unknown key", defaultsWith("HexDump", "HexDump = yes\nFoo = 1"), false,
            [](const ProxyConfig& c) { EXPECT_TRUE(c.getHexDumpEnable()); }},
        {"connect port as text", defaultsWith("blServerPort2Connect", "blServerPort2Connect = 0x30D5"), false,
            [](const ProxyConfig& c) { EXPECT_EQ(c.blServerPort2Connect, "12501"); }},
        {"word that is no boolean", defaultsWith("AutoDetect", "AutoDetect = true"), true,
            [](const ProxyConfig& c) { EXPECT_FALSE(c.getAutoDetectEnable()); }},
        {"path read as a list", defaultsWith("LogsDir", "LogsDir = C:/logs"), true,
            [](const ProxyConfig& c) { EXPECT_EQ(c.getLogsPath(), ""); }},
        {"section not ended", "[Proxy\nServerPort = 11000\n", true,
            [](const ProxyConfig& c) { EXPECT_EQ(c.getServerPort(), 10500); }},
        {"duplicate key", "[Proxy]\nServerPort = 1\nServerPort = 2\n", true,
            [](const ProxyConfig& c) { EXPECT_EQ(c.getServerPort(), 10500); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        s_log.str("");
        writeFile(_path, c.text);

        const ProxyConfig config(_path, "");

        c.check(config);
        EXPECT_EQ(readFile(_path), c.replacedByDefaults ? std::string(kDefaultsFile) : c.text);
        EXPECT_EQ(occurrences(log(), "[Proxy config] Error load '" + _path + "' files: "), c.replacedByDefaults ? 1u : 0u)
            << log();
    }
}

TEST_F(ProxyConfigTest, BooleanErrorIsLoggedWithOptionAndValue)
{
    writeFile(_path, defaultsWith("AutoDetect", "AutoDetect = true"));
    ProxyConfig config(_path, "");
    EXPECT_NE(log().find("[Proxy config] Error load '" + _path
                  + "' files: Option 'AutoDetect' parsing failed: String 'true' is not valid boolean type."),
        std::string::npos)
        << log();
}

TEST_F(ProxyConfigTest, FileThatCanNeitherBeCreatedNorReadEndsAfterTheSecondAttempt)
{
    const std::string path = (_dir / "missing-dir" / "ProxyConfig.ini").string();
    try {
        ProxyConfig config(path, "");
        FAIL() << "constructed";
    } catch (const ProxyConfigError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot load configuration '" + path + "': File reading error");
    }
    EXPECT_EQ(occurrences(log(), "[Proxy config] Error load '" + path + "' files: File reading error"), 2u) << log();
}

TEST_F(ProxyConfigTest, OneArgumentFormReadsACompleteFileAsItIs)
{
    writeFile(_path, defaultsWith("LogsDir", "LogsDir = /var/log/kiv"));
    const ProxyConfig config(_path);
    EXPECT_EQ(config.getLogsPath(), "/var/log/kiv");
    EXPECT_EQ(readFile(_path), defaultsWith("LogsDir", "LogsDir = /var/log/kiv"));
}

TEST_F(ProxyConfigTest, OneArgumentFormCompletesAnIncompleteFile)
{
    writeFile(_path, "[Proxy]\nServerPort = 11000\nLogsDir = /var/log/kiv\n");

    const ProxyConfig config(_path);

    EXPECT_EQ(config.getServerPort(), 11000);
    EXPECT_EQ(config.getLogsPath(), "/var/log/kiv");
    EXPECT_EQ(config.getBufferSize(), 8192);
    const ProxyConfig reread(_path);
    EXPECT_EQ(reread.getServerPort(), 11000);
    EXPECT_EQ(reread.UdpVpnTimeout, 5);
}

TEST_F(ProxyConfigTest, OneArgumentFormCreatesAMissingFile)
{
    const ProxyConfig config(_path);
    EXPECT_EQ(readFile(_path), kDefaultsFile);
    EXPECT_EQ(config.getServerPort(), 10500);
}

TEST_F(ProxyConfigTest, SaveWritesTheMembersBack)
{
    ProxyConfig config(_path, "");
    config.setLogsPath("/srv/logs");
    config.save();
    EXPECT_EQ(readFile(_path), defaultsWith("LogsDir", "LogsDir = /srv/logs"));
}

TEST_F(ProxyConfigTest, ProxyInfo)
{
    const std::string info = ProxyConfig(_path, "").getProxyInfo(3000);

    EXPECT_EQ(info.substr(0, 16), "{\n   \"proxy\": {\n");
    for (const char* line : {"\n       \"serial_port\": \"ttyACM0\",\n", "\n       \"buffer_size\" : 8192,\n",
             "\n       \"confirmation_timeout\" : 3000,\n", "\n       \"version\": \"0.0.14\",\n",
             "\n   \"config_version\": \"0.0.1\",\n", "\n   \"file_srv_port\": 0,\n",
             "\n   \"casher_port\": 40101\n}"})
        EXPECT_NE(info.find(line), std::string::npos) << line;
    EXPECT_TRUE(std::regex_search(info, std::regex("\"build_time\": \"\\d\\d\\.\\d\\d\\.\\d{4}\",\n")));
    EXPECT_TRUE(std::regex_search(info, std::regex("\"os_version\" : \"[^|\"]*(\\|[^|\"]*){4}\",\n")));
    EXPECT_EQ(info.back(), '}');
}

} // namespace
