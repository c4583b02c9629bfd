#include "filetransfer/FileTransfer.h"

#include <dirent.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>
#include <zlib.h>

#include "filetransfer/MD5.h"
#include "filetransfer/ProxyFileTransferProtocol.h"
#include "tests/support/TempDir.h"
#include "tests/support/LogCapture.h"
#include "tests/support/LoopbackClient.h"

using namespace kiv_proxy;
using namespace std::chrono_literals;
using Protocol = ProxyFileTransferProtocol;

namespace {

const std::vector<uint8_t> kAck = {0xFE, 0x06};
const std::vector<uint8_t> kNak = {0xFE, 0x15};

std::vector<uint8_t> bytesOf(size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(i * 13 + i / 256);
    return bytes;
}

std::string md5Of(const std::vector<uint8_t>& bytes) { return hashlib::MD5()(bytes.data(), bytes.size()); }

std::vector<uint8_t> uploadHeader(const std::string& name, size_t size, const std::string& md5)
{
    std::vector<uint8_t> header(38 + name.size());
    Protocol::pack(header.data(), header.size(), {Protocol::ReceiveFile, static_cast<uint32_t>(size), md5, name});
    return header;
}

std::string fileContent(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<std::string> entries(const std::string& directory)
{
    std::vector<std::string> names;
    DIR* dir = opendir(directory.c_str());
    while (const dirent* entry = readdir(dir))
        names.emplace_back(entry->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// (name, content) of each member of a .tar.gz held in memory.
std::vector<std::pair<std::string, std::string>> tarMembers(const std::vector<uint8_t>& archive)
{
    std::vector<uint8_t> tar(1 << 20);
    z_stream stream{};
    inflateInit2(&stream, 16 + MAX_WBITS);
    stream.next_in = const_cast<Bytef*>(archive.data());
    stream.avail_in = static_cast<uInt>(archive.size());
    stream.next_out = tar.data();
    stream.avail_out = static_cast<uInt>(tar.size());
    EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
    tar.resize(stream.total_out);
    inflateEnd(&stream);

    std::vector<std::pair<std::string, std::string>> members;
    for (size_t at = 0; at + 512 <= tar.size() && tar[at] != 0;) {
        const char* header = reinterpret_cast<const char*>(&tar[at]);
        const size_t size = std::stoul(std::string(header + 124, 11), nullptr, 8);
        members.emplace_back(std::string(header, strnlen(header, 100)), std::string(header + 512, size));
        at += 512 + (size + 511) / 512 * 512;
    }
    return members;
}

class FileTransferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        mkdir(logsDir().c_str(), 0755);
        service.setLogsDirPath(logsDir() + "/");
        ASSERT_TRUE(service.run(dir / "kiv_proxy", "127.0.0.1", 0));
    }

    std::string logsDir() const { return dir / "logs"; }

    // Sends a header and, once accepted, the data; returns both confirmations.
    std::vector<uint8_t> upload(const std::string& name, const std::vector<uint8_t>& data, const std::string& md5)
    {
        LoopbackClient client(service.getPort());
        client.send(uploadHeader(name, data.size(), md5));
        std::vector<uint8_t> replies = client.receive(2);
        if (replies != kAck)
            return replies;
        client.send(data);
        const auto verdict = client.receiveUntilClosed();
        replies.insert(replies.end(), verdict.begin(), verdict.end());
        return replies;
    }

    kiv_test::LogCapture log;
    TempDir dir;
    FileTransfer service;
};

TEST_F(FileTransferTest, AnUnknownFirstByteGetsNoReply)
{
    LoopbackClient client(service.getPort());
    client.send(std::string("\x23hello", 6));
    EXPECT_TRUE(client.receiveUntilClosed().empty());
    EXPECT_TRUE(client.peerClosed());
}

TEST_F(FileTransferTest, AnUploadIsConfirmedOnlyWhenItsDigestMatches)
{
    const auto data = bytesOf(10000);
    const struct {
        std::string name;
        std::vector<uint8_t> data;
        std::string md5;
        std::vector<uint8_t> replies;
    } cases[] = {
        {"good.bin", data, md5Of(data), {0xFE, 0x06, 0xFE, 0x06}},
        {"upper.bin", data, [&] {
             std::string upper = md5Of(data);
             std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
             return upper;
         }(), {0xFE, 0x06, 0xFE, 0x15}},
        {"empty.bin", {}, md5Of({}), {0xFE, 0x06, 0xFE, 0x06}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(upload(c.name, c.data, c.md5), c.replies) << c.name;
        EXPECT_EQ(fileContent(dir / c.name), std::string(c.data.begin(), c.data.end())) << c.name;
    }
    EXPECT_EQ(log.count(spdlog::level::err, "[File Transfer] MD5 hash sum is not match"), 1u);
}

TEST_F(FileTransferTest, NamesThatLeaveTheDirectoryAreRefusedBeforeAnythingIsWritten)
{
    const auto data = bytesOf(100);
    const auto before = entries(dir.path());
    for (const std::string name : {"../escaped", "sub/x", "..", "", "/tmp/x"}) {
        EXPECT_EQ(upload(name, data, md5Of(data)), kNak) << name;
        EXPECT_EQ(log.count(spdlog::level::err, "[File Transfer] Refused file name '" + name + "'"), 1u) << name;
    }
    EXPECT_EQ(entries(dir.path()), before);
    EXPECT_FALSE(std::ifstream(dir.path() + "/../escaped").good());
}

TEST_F(FileTransferTest, AClientLeavingMidUploadLeavesThePartialFile)
{
    const auto data = bytesOf(1000);
    {
        LoopbackClient client(service.getPort());
        client.send(uploadHeader("partial.bin", data.size(), md5Of(data)));
        ASSERT_EQ(client.receive(2), kAck);
        client.send(data.data(), 100);
    }
    EXPECT_TRUE(log.waitFor(spdlog::level::err, "[File Transfer] Read error"));
    EXPECT_EQ(fileContent(dir / "partial.bin"), std::string(data.begin(), data.begin() + 100));
}

class LogArchiveTransferTest : public FileTransferTest {
protected:
    // Sends a log request and answers the archive header with `reply`.
    // Returns the header and whatever follows it until the service closes.
    std::pair<Protocol::FileInfoData, std::vector<uint8_t>> requestLogs(const std::vector<uint8_t>& reply)
    {
        LoopbackClient client(service.getPort());
        client.send(std::vector<uint8_t>{Protocol::SendLogs});
        const auto header = client.receive(Protocol::kHeaderSize);
        Protocol::FileInfoData info;
        EXPECT_EQ(Protocol::unpack(header.data(), header.size(), info), 0);
        client.send(reply);
        return {info, client.receiveUntilClosed()};
    }

    void writeLog(const std::string& name, const std::string& content, time_t mtime)
    {
        std::ofstream(logsDir() + "/" + name, std::ios::binary) << content;
        const utimbuf times{mtime, mtime};
        utime((logsDir() + "/" + name).c_str(), &times);
    }
};

TEST_F(LogArchiveTransferTest, TheArchiveHoldsTheSevenNewestLogsByteForByte)
{
    std::vector<std::pair<std::string, std::string>> newestFirst;
    for (int day = 9; day >= 1; --day) {
        const std::string name = "kivproxy_2024-05-0" + std::to_string(day) + ".log";
        const auto bytes = bytesOf(static_cast<size_t>(day) * 3000);
        writeLog(name, std::string(bytes.begin(), bytes.end()), 1715000000 + day * 86400);
        if (newestFirst.size() < 7)
            newestFirst.emplace_back(name, std::string(bytes.begin(), bytes.end()));
    }
    writeLog("notes.txt", "not a log", 1800000000);

    const auto [info, archive] = requestLogs(kAck);
    EXPECT_EQ(info.operationNum, Protocol::SendLogs);
    ASSERT_EQ(info.fileSize, archive.size());
    EXPECT_EQ(info.md5, md5Of(archive));
    EXPECT_EQ(tarMembers(archive), newestFirst);
    EXPECT_EQ(fileContent(dir / "ProxyLogs.tar.gz"), std::string(archive.begin(), archive.end()));
}

TEST_F(LogArchiveTransferTest, WithoutLogsTheArchiveIsStillSent)
{
    const auto [info, archive] = requestLogs(kAck);
    ASSERT_EQ(info.fileSize, archive.size());
    EXPECT_TRUE(tarMembers(archive).empty());
}

TEST_F(LogArchiveTransferTest, ARefusalOrABadReplyEndsTheJobWithoutTheArchive)
{
    writeLog("a.log", "line\n", 1715000000);
    const struct {
        std::vector<uint8_t> reply;
        const char* logLine;
    } cases[] = {
        {{0x00, 0x06}, "[File Transfer] Bad data send"},
        {kNak, "[File Transfer] Log archive refused"},
    };
    for (const auto& c : cases) {
        const auto [info, rest] = requestLogs(c.reply);
        EXPECT_GT(info.fileSize, 0u);
        EXPECT_TRUE(rest.empty());
        EXPECT_TRUE(log.waitFor(spdlog::level::err, c.logLine));
    }
}

TEST(FileTransfer, AnArchiveThatCannotBeCreatedEndsOnlyThatJob)
{
    kiv_test::LogCapture log;
    TempDir dir;
    FileTransfer service;
    ASSERT_TRUE(service.run(dir / "missing/kiv_proxy", "127.0.0.1", 0));
    for (int attempt = 0; attempt < 2; ++attempt) {
        LoopbackClient client(service.getPort());
        client.send(std::vector<uint8_t>{Protocol::SendLogs});
        EXPECT_TRUE(client.receiveUntilClosed().empty());
        EXPECT_TRUE(client.peerClosed());
    }
    EXPECT_TRUE(log.waitFor(spdlog::level::err, "[File Transfer] Failed to open gzip output file", 2));
}

TEST(FileTransfer, RunReportsAPortInUse)
{
    kiv_test::initTestLogger();
    TempDir dir;
    FileTransfer first;
    ASSERT_TRUE(first.run(dir / "kiv_proxy", "127.0.0.1", 0));
    FileTransfer second;
    EXPECT_FALSE(second.run(dir / "kiv_proxy", "127.0.0.1", first.getPort()));
    EXPECT_FALSE(first.run(dir / "kiv_proxy", "127.0.0.1", 0)) << "started twice";
}

} // namespace
