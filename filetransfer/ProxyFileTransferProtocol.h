#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kiv_proxy {

// The header of both transfer directions:
//   operation (1) | file size (4, big-endian) | MD5 as 32 hex characters
//   | name length L (1, signed; uploads only) | name (L; uploads only)
class ProxyFileTransferProtocol {
public:
    enum Operation : uint8_t { SendLogs = 0x21, ReceiveFile = 0x22 };
    static constexpr size_t kHeaderSize = 37;
    static constexpr size_t kMd5Size = 32;
    static constexpr size_t kMaxNameLength = 127;

    struct FileInfoData {
        uint8_t operationNum = 0;
        uint32_t fileSize = 0;
        std::string md5;
        std::string fileName;
    };

    // Fills `info` from a header; -1 when it is shorter than kHeaderSize.
    // The name is taken only for uploads whose name is wholly present.
    static int unpack(const uint8_t* buffer, size_t length, FileInfoData& info);
    // Writes the header; -1 when `capacity` is below kHeaderSize. The name
    // goes out only for uploads whose name (1 to 127 bytes) fits.
    static int pack(uint8_t* buffer, size_t capacity, const FileInfoData& info);

private:
    static constexpr size_t kSizeOffset = 1;
    static constexpr size_t kMd5Offset = 5;
    static constexpr size_t kNameLengthOffset = 37;
    static constexpr size_t kNameOffset = 38;

    static void _packOperationNum(uint8_t* buffer, uint8_t operation);
    static void _packFileSize(uint8_t* buffer, uint32_t size);
    static void _packMd5(uint8_t* buffer, const std::string& md5);
    static void _packFileName(uint8_t* buffer, size_t capacity, const FileInfoData& info);
    static uint8_t _unpackOperationNum(const uint8_t* buffer);
    static uint32_t _unpackFileSize(const uint8_t* buffer);
    static std::string _unpackMd5(const uint8_t* buffer);
    static std::string _unpackFileName(const uint8_t* buffer, size_t length, uint8_t operation);
};

} // namespace kiv_proxy
