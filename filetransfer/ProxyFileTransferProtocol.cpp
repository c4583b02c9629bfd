#include "filetransfer/ProxyFileTransferProtocol.h"

#include <algorithm>
#include <cstring>

#include "LibMisc/CCode/Bytes.h"

namespace kiv_proxy {

int ProxyFileTransferProtocol::unpack(const uint8_t* buffer, size_t length, FileInfoData& info)
{
    if (length < kHeaderSize)
        return -1;
    info.operationNum = _unpackOperationNum(buffer);
    info.fileSize = _unpackFileSize(buffer);
    info.md5 = _unpackMd5(buffer);
    info.fileName = _unpackFileName(buffer, length, info.operationNum);
    return 0;
}

int ProxyFileTransferProtocol::pack(uint8_t* buffer, size_t capacity, const FileInfoData& info)
{
    if (capacity < kHeaderSize)
        return -1;
    _packOperationNum(buffer, info.operationNum);
    _packFileSize(buffer, info.fileSize);
    _packMd5(buffer, info.md5);
    _packFileName(buffer, capacity, info);
    return 0;
}

void ProxyFileTransferProtocol::_packOperationNum(uint8_t* buffer, uint8_t operation) { buffer[0] = operation; }

void ProxyFileTransferProtocol::_packFileSize(uint8_t* buffer, uint32_t size)
{
    ltools_ullToBytes(buffer + kSizeOffset, size, 4);
}

void ProxyFileTransferProtocol::_packMd5(uint8_t* buffer, const std::string& md5)
{
    std::memset(buffer + kMd5Offset, 0, kMd5Size);
    std::memcpy(buffer + kMd5Offset, md5.data(), std::min(md5.size(), kMd5Size));
}

void ProxyFileTransferProtocol::_packFileName(uint8_t* buffer, size_t capacity, const FileInfoData& info)
{
    const size_t length = info.fileName.size();
    if (info.operationNum != ReceiveFile || length < 1 || length > kMaxNameLength || kNameOffset + length > capacity)
        return;
    buffer[kNameLengthOffset] = static_cast<uint8_t>(length);
    std::memcpy(buffer + kNameOffset, info.fileName.data(), length);
}

uint8_t ProxyFileTransferProtocol::_unpackOperationNum(const uint8_t* buffer) { return buffer[0]; }

uint32_t ProxyFileTransferProtocol::_unpackFileSize(const uint8_t* buffer)
{
    return static_cast<uint32_t>(ltools_bytesToull(buffer + kSizeOffset, 4));
}

std::string ProxyFileTransferProtocol::_unpackMd5(const uint8_t* buffer)
{
    return std::string(reinterpret_cast<const char*>(buffer + kMd5Offset), kMd5Size);
}

std::string ProxyFileTransferProtocol::_unpackFileName(const uint8_t* buffer, size_t length, uint8_t operation)
{
    if (operation != ReceiveFile || length <= kNameLengthOffset)
        return {};
    const auto nameLength = static_cast<int8_t>(buffer[kNameLengthOffset]);
    if (nameLength < 1 || kNameOffset + static_cast<size_t>(nameLength) > length)
        return {};
    return std::string(reinterpret_cast<const char*>(buffer + kNameOffset), static_cast<size_t>(nameLength));
}

} // namespace kiv_proxy
