#include "filetransfer/ProxyFileTransferProtocol.h"

#include <gtest/gtest.h>

using namespace kiv_proxy;
using Protocol = ProxyFileTransferProtocol;

namespace {

const std::string kMd5 = "0123456789abcdef0123456789abcdef";

std::vector<uint8_t> header(uint8_t operation, const std::vector<uint8_t>& tail)
{
    std::vector<uint8_t> bytes = {operation, 0x00, 0x01, 0x02, 0x03};
    bytes.reserve(bytes.size() + kMd5.size() + tail.size());
    bytes.insert(bytes.end(), kMd5.begin(), kMd5.end());
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

TEST(ProxyFileTransferProtocol, PacksTheFieldsInWireOrder)
{
    std::vector<uint8_t> buffer(64, 0xEE);
    ASSERT_EQ(Protocol::pack(buffer.data(), buffer.size(), {Protocol::ReceiveFile, 0x00010203, kMd5, "f.bin"}), 0);
    buffer.resize(43);
    EXPECT_EQ(buffer, header(0x22, {5, 'f', '.', 'b', 'i', 'n'}));

    Protocol::FileInfoData info;
    ASSERT_EQ(Protocol::unpack(buffer.data(), buffer.size(), info), 0);
    EXPECT_EQ(info.operationNum, 0x22);
    EXPECT_EQ(info.fileSize, 0x00010203u);
    EXPECT_EQ(info.md5, kMd5);
    EXPECT_EQ(info.fileName, "f.bin");
}

TEST(ProxyFileTransferProtocol, TakesTheNameOnlyWhenItIsAnUploadAndWhollyPresent)
{
    const struct {
        std::vector<uint8_t> bytes;
        std::string name;
    } cases[] = {
        {header(0x22, {}), ""},                       // 37 bytes, no length byte
        {header(0x22, {3, 'a', 'b'}), ""},            // one byte short
        {header(0x22, {0}), ""},
        {header(0x22, {0x80, 'a'}), ""},              // length taken as signed: -128
        {header(0x21, {1, 'a'}), ""},                 // log request
        {header(0x22, {2, 'a', 'b', 'c'}), "ab"},     // bytes after the name are ignored
    };
    for (const auto& c : cases) {
        Protocol::FileInfoData info;
        info.fileName = "stale";
        ASSERT_EQ(Protocol::unpack(c.bytes.data(), c.bytes.size(), info), 0);
        EXPECT_EQ(info.fileName, c.name) << ::testing::PrintToString(c.bytes);
    }
}

TEST(ProxyFileTransferProtocol, RefusesBuffersShorterThanAHeader)
{
    const auto bytes = header(0x21, {});
    Protocol::FileInfoData info;
    EXPECT_EQ(Protocol::unpack(bytes.data(), 36, info), -1);
    EXPECT_EQ(info.fileSize, 0u);
    std::vector<uint8_t> buffer(36);
    EXPECT_EQ(Protocol::pack(buffer.data(), buffer.size(), {Protocol::SendLogs, 1, kMd5, {}}), -1);
}

TEST(ProxyFileTransferProtocol, LeavesOutANameThatDoesNotFit)
{
    for (const auto& [name, capacity] : {std::pair<std::string, size_t>{std::string(128, 'n'), 200},
                                         {"abc", 40}}) {
        std::vector<uint8_t> buffer(capacity, 0);
        ASSERT_EQ(Protocol::pack(buffer.data(), buffer.size(), {Protocol::ReceiveFile, 1, kMd5, name}), 0);
        EXPECT_TRUE(std::all_of(buffer.begin() + 37, buffer.end(), [](uint8_t b) { return b == 0; })) << name;
    }
}

} // namespace
