// The services the terminal reaches on the point-of-sale computer, through
// host connections that the terminal simulator opens to 127.0.0.1.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/service/RunningService.h"
#include "tests/support/LogFileName.h"
#include "tests/support/LoopbackUdpServer.h"

namespace {

using namespace kiv_test;
using namespace terminal_sim;

constexpr int kNameResolutionPort = 9053;
constexpr uint8_t kRelayUdp = 1, kRelayIcmp = 2;
const Bytes kAccepted = {0xFE, 0x06};
const Bytes kRefused = {0xFE, 0x15};

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }
std::string textOf(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string programDirectory()
{
    const std::string program = KIV_PROXY_BIN;
    return program.substr(0, program.rfind('/'));
}

bool exists(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

// Removes what the service writes for a test.
struct RemovedAtEnd {
    std::string path;
    ~RemovedAtEnd() { unlink(path.c_str()); }
};

// Standard output of a tool that must succeed.
std::string runTool(const std::vector<std::string>& argv)
{
    TempDir output;
    ChildProcess tool(argv, output.path());
    if (!tool.waitExit(20s) || tool.status() != 0)
        ADD_FAILURE() << argv[0] << " failed: " << tool.err();
    return tool.out();
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

std::string md5sumOf(const Bytes& bytes)
{
    TempDir dir;
    std::ofstream(dir / "data", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                        static_cast<std::streamsize>(bytes.size()));
    return runTool({"/usr/bin/md5sum", dir / "data"}).substr(0, 32);
}

// Relay request and answer share this layout: length, source 10.1.2.3:4000
// (only logged), destination 127.0.0.1:port, command, body.
Bytes relayFrame(uint8_t command, uint16_t port, const Bytes& body)
{
    Bytes frame = {0, 0, 10, 1, 2, 3, 0x0F, 0xA0, 127, 0, 0, 1, uint8_t(port >> 8), uint8_t(port), command};
    frame.insert(frame.end(), body.begin(), body.end());
    const size_t length = frame.size() - 2;
    frame[0] = uint8_t(length >> 8);
    frame[1] = uint8_t(length);
    return frame;
}

// An ICMP echo message of `type` (8 request, 0 reply) with a valid checksum.
Bytes echoMessage(uint8_t type, uint16_t identifier, uint16_t sequence, const std::string& data)
{
    Bytes message = {type, 0, 0, 0, uint8_t(identifier >> 8), uint8_t(identifier), uint8_t(sequence >> 8),
                     uint8_t(sequence)};
    message.insert(message.end(), data.begin(), data.end());
    uint32_t sum = 0;
    for (size_t i = 0; i < message.size(); i += 2)
        sum += uint32_t(message[i] << 8) | (i + 1 < message.size() ? message[i + 1] : 0u);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    message[2] = uint8_t(~sum >> 8);
    message[3] = uint8_t(~sum);
    return message;
}

Bytes uploadHeader(const std::string& name, size_t size, const std::string& md5)
{
    Bytes header = {0x22, uint8_t(size >> 24), uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size)};
    header.insert(header.end(), md5.begin(), md5.end());
    header.push_back(uint8_t(name.size()));
    header.insert(header.end(), name.begin(), name.end());
    return header;
}

// kivproxy_2024-05-DD.log, last modified at noon of that day.
std::string writeDatedLog(const std::string& directory, int day)
{
    char name[32];
    snprintf(name, sizeof(name), "kivproxy_2024-05-%02d.log", day);
    // Pseudo-random values keep the archive larger than one send block.
    std::string text;
    uint32_t value = uint32_t(day);
    for (int line = 0; line < 100 + 7 * day; ++line) {
        value = value * 1664525u + 1013904223u;
        text += "day " + std::to_string(day) + " line " + std::to_string(line) + " " + std::to_string(value) + "\n";
    }
    std::ofstream(directory + "/" + name) << text;
    tm noon{};
    noon.tm_year = 2024 - 1900;
    noon.tm_mon = 4;
    noon.tm_mday = day;
    noon.tm_hour = 12;
    noon.tm_isdst = -1;
    const time_t at = mktime(&noon);
    const timespec times[2] = {{at, 0}, {at, 0}};
    utimensat(AT_FDCWD, (directory + "/" + name).c_str(), times, 0);
    return name;
}

class TerminalServicesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(service.start()) << service.log(); }

    TerminalConnection connect(int port) { return TerminalConnection(service, ++_lastId, port); }

    RunningService service;

private:
    uint64_t _lastId = 0;
};

TEST_F(TerminalServicesTest, LocalhostResolvesOnTheNameResolutionPort)
{
    auto connection = connect(kNameResolutionPort);
    ASSERT_TRUE(connection.send(bytesOf("localhost")));
    EXPECT_EQ(textOf(connection.receiveUntilClosed()), "127.0.0.1");
    EXPECT_TRUE(connection.closed());
}

TEST_F(TerminalServicesTest, UdpRequestsOnOneConnectionComeBackFramedInOrder)
{
    LoopbackUdpServer echo([](const std::vector<uint8_t>& request) {
        Bytes answer = bytesOf("echo:");
        answer.insert(answer.end(), request.begin(), request.end());
        return LoopbackUdpServer::Answer(answer);
    });
    auto connection = connect(service.relayPort());
    for (const std::string body : {"ping", ""}) {
        ASSERT_TRUE(connection.send(relayFrame(kRelayUdp, echo.port(), bytesOf(body))));
        const Bytes expected = relayFrame(kRelayUdp, echo.port(), bytesOf("echo:" + body));
        EXPECT_EQ(connection.receive(expected.size()), expected) << body;
    }
}

TEST_F(TerminalServicesTest, IcmpEchoToLoopbackReturnsTheReplyWithoutTheIpHeader)
{
    auto connection = connect(service.relayPort());
    ASSERT_TRUE(connection.send(relayFrame(kRelayIcmp, 0, echoMessage(8, 0x4B49, 7, "terminal ping"))));
    const Bytes expected = relayFrame(kRelayIcmp, 0, echoMessage(0, 0x4B49, 7, "terminal ping"));
    EXPECT_EQ(connection.receive(expected.size()), expected);
}

TEST_F(TerminalServicesTest, LogRequestReturnsTheNewestSevenLogFilesAsTarGz)
{
    const std::string logs = service.logsDir();
    std::vector<std::string> dated;
    for (int day = 1; day <= 9; ++day)
        dated.push_back(writeDatedLog(logs, day));
    // Newer than every dated log, but not log files.
    std::ofstream(logs + "/notes.txt") << "notes";
    std::ofstream(logs + "/kivproxy_2024-05-10.log.1") << "rotated";
    mkdir((logs + "/folder.log").c_str(), 0755);
    const std::vector<std::string> newest = {todaysLogName(), dated[8], dated[7], dated[6], dated[5], dated[4], dated[3]};

    const RemovedAtEnd archiveFile{programDirectory() + "/ProxyLogs.tar.gz"};
    auto connection = connect(service.fileTransferPort());
    ASSERT_TRUE(connection.send({0x21}));
    const Bytes header = connection.receive(37);
    ASSERT_EQ(header.size(), 37u);
    EXPECT_EQ(header[0], 0x21);
    const size_t size = size_t(header[1]) << 24 | size_t(header[2]) << 16 | size_t(header[3]) << 8 | header[4];
    ASSERT_TRUE(connection.send(kAccepted));
    const Bytes archive = connection.receive(size, 30s);
    ASSERT_EQ(archive.size(), size);
    EXPECT_TRUE(connection.receiveUntilClosed().empty());
    EXPECT_TRUE(connection.closed());
    EXPECT_EQ(md5sumOf(archive), textOf(Bytes(header.begin() + 5, header.end())));

    TempDir work;
    std::ofstream(work / "logs.tar.gz", std::ios::binary)
        .write(reinterpret_cast<const char*>(archive.data()), static_cast<std::streamsize>(archive.size()));
    EXPECT_EQ(linesOf(runTool({"/usr/bin/tar", "-tzf", work / "logs.tar.gz"})), newest);
    const char* const listMembers = "import sys, tarfile\n"
                                    "with tarfile.open(sys.argv[1], 'r:gz') as archive:\n"
                                    "    for member in archive:\n"
                                    "        archive.extractfile(member).read()\n"
                                    "        print(member.name)\n";
    EXPECT_EQ(linesOf(runTool({"/usr/bin/python3", "-c", listMembers, work / "logs.tar.gz"})), newest);

    runTool({"/usr/bin/tar", "-xzf", work / "logs.tar.gz", "-C", work.path()});
    for (size_t i = 1; i < newest.size(); ++i)
        EXPECT_EQ(readFile(work / newest[i]), readFile(logs + "/" + newest[i])) << newest[i];
    // Today's log grows while the service runs: the member is how it began.
    const std::string today = readFile(work / newest[0]);
    EXPECT_FALSE(today.empty());
    EXPECT_EQ(service.log().compare(0, today.size(), today), 0);
}

TEST_F(TerminalServicesTest, UploadIsConfirmedOnlyWhenTheDigestMatches)
{
    Bytes content(10000);
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = uint8_t(i * 7 + i / 251);
    const std::string digest = md5sumOf(content);
    std::string upperDigest = digest;
    std::transform(digest.begin(), digest.end(), upperDigest.begin(), ::toupper);
    ASSERT_NE(upperDigest, digest);

    const struct {
        std::string md5;
        Bytes verdict;
    } cases[] = {{digest, kAccepted}, {upperDigest, kRefused}};
    for (const auto& c : cases) {
        const RemovedAtEnd uploaded{programDirectory() + "/kiv_upload_test.bin"};
        auto connection = connect(service.fileTransferPort());
        ASSERT_TRUE(connection.send(uploadHeader("kiv_upload_test.bin", content.size(), c.md5)));
        EXPECT_EQ(connection.receive(2), kAccepted);
        ASSERT_TRUE(connection.send(content));
        EXPECT_EQ(connection.receiveUntilClosed(), c.verdict) << c.md5;
        EXPECT_TRUE(connection.closed());
        EXPECT_EQ(bytesOf(readFile(uploaded.path)), content);
    }
}

TEST_F(TerminalServicesTest, UploadNameThatLeavesTheProgramDirectoryIsRefused)
{
    const std::string outside = programDirectory() + "/../x";
    ASSERT_FALSE(exists(outside));
    const RemovedAtEnd written{outside};
    auto connection = connect(service.fileTransferPort());
    ASSERT_TRUE(connection.send(uploadHeader("../x", 1, md5sumOf(bytesOf("x")))));
    EXPECT_EQ(connection.receive(2), kRefused);
    EXPECT_TRUE(connection.receiveUntilClosed().empty());
    EXPECT_TRUE(connection.closed());
    EXPECT_FALSE(exists(outside));
}

} // namespace
