#include "protocol/ProxyProtokol.h"

#include "LibMisc/CCode/Bytes.h"
#include "logging/Logger.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <typeinfo>

namespace Proxy {

namespace {

// Longest texts accepted in received connection parameters.
constexpr std::size_t maxAddressLength = sizeof(TcpConnInfo::ip) - 1;
constexpr std::size_t maxNumberLength = 9;

[[noreturn]] void throwNotFound()
{
    throw LibMisc::TreeException(LibMisc::TREE_ELEMENT_NOT_FOUND, "Element not found");
}

LibMisc::ByteArray textBytes(const std::string& text)
{
    return LibMisc::ByteArray(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

// Decimal text with an optional sign; reading stops at the first other character.
long long decimalValue(const LibMisc::ByteArray& text)
{
    std::size_t i = 0;
    const bool negative = text.size > 0 && text.data[0] == '-';
    if (text.size > 0 && (text.data[0] == '-' || text.data[0] == '+'))
        ++i;
    long long value = 0;
    for (; i < text.size && text.data[i] >= '0' && text.data[i] <= '9'; ++i)
        value = value * 10 + (text.data[i] - '0');
    return negative ? -value : value;
}

const LibMisc::ByteArray& numberText(const LibMisc::TagTree::Iterator& it)
{
    if (it.isEnd() || it.value().size > maxNumberLength)
        throwNotFound();
    return it.value();
}

void logDeserializeError(const char* text)
{
    if (auto log = logger::Log::s_CoreLogger)
        log->error("[Proxy protocol] Protocol deserialize exception: {}", text);
}

} // namespace

unsigned DataProtokol::getPackageSize() const
{
    return headerSize + static_cast<unsigned>(_data.size);
}

unsigned DataProtokol::pack(unsigned char* buffer, unsigned size)
{
    const std::size_t n = _data.size;
    if (n > maxPayloadSize || size < headerSize + n)
        throw ESmallBuffer();
    ltools_ullToBytes(buffer, 10 + n, 2);
    ltools_ullToBytes(buffer + 2, _messageType, 2);
    ltools_ullToBytes(buffer + 4, _connectionId, 8);
    if (n > 0)
        std::memcpy(buffer + headerSize, _data.data, n);
    return headerSize + static_cast<unsigned>(n);
}

unsigned DataProtokol::unpack(const unsigned char* bytes, unsigned length)
{
    if (length < headerSize)
        throw EPackageShort();
    const auto sizeField = static_cast<unsigned>(ltools_bytesToull(bytes, 2));
    if (sizeField < 10 || headerSize + (sizeField - 10) > length)
        throw EPackageShort();
    _messageType = static_cast<ProxyMessType>(ltools_bytesToull(bytes + 2, 2));
    _connectionId = ltools_bytesToull(bytes + 4, 8);
    _data = LibMisc::ByteArray(bytes + headerSize, sizeField - 10);
    return length;
}

const char* DataProtokol::type() const
{
    return typeid(*this).name();
}

void CmdProtokol::addConnectionStatus(int status)
{
    _addInt(TAG_CONNECTION_STATUS, status);
}

void CmdProtokol::addBufferSize(int size)
{
    _addInt(TAG_BUFFER_SIZE, size);
}

void CmdProtokol::setNewConnection(const TcpConnInfo& info)
{
    const LibMisc::TagTree::Iterator parameters = _tree.pushBack(TAG_NEW_CONNECTION, LibMisc::ByteArray());
    const std::size_t ipLength = strnlen(info.ip, sizeof(info.ip));
    _tree.pushBack(parameters, TAG_ADDRESS,
                   LibMisc::ByteArray(reinterpret_cast<const unsigned char*>(info.ip), ipLength));
    _tree.pushBack(parameters, TAG_PORT, textBytes(std::to_string(info.port)));
    _tree.pushBack(parameters, TAG_TIMEOUT, textBytes(std::to_string(info.timeout.seconds())));
}

bool CmdProtokol::isConnectionStatus() const
{
    return _has(TAG_CONNECTION_STATUS);
}

bool CmdProtokol::isNewConnenection() const
{
    return _has(TAG_NEW_CONNECTION);
}

bool CmdProtokol::isBufferSize() const
{
    return _has(TAG_BUFFER_SIZE);
}

int CmdProtokol::getConnectionStatus() const
{
    return _getInt(TAG_CONNECTION_STATUS);
}

int CmdProtokol::getBufferSize() const
{
    return _getInt(TAG_BUFFER_SIZE);
}

TcpConnInfo CmdProtokol::getNewConnection() const
{
    const LibMisc::TagTree::Iterator parameters = _tree[TAG_NEW_CONNECTION];
    if (parameters.isEnd())
        throwNotFound();

    const LibMisc::TagTree::Iterator address = parameters[TAG_ADDRESS];
    if (address.isEnd() || address.value().size > maxAddressLength)
        throwNotFound();
    const LibMisc::ByteArray& port = numberText(parameters[TAG_PORT]);
    const LibMisc::ByteArray& timeout = numberText(parameters[TAG_TIMEOUT]);

    TcpConnInfo info;
    if (address.value().size > 0)
        std::memcpy(info.ip, address.value().data, address.value().size);
    info.port = static_cast<uint16_t>(decimalValue(port));
    info.timeout = timespec{static_cast<int32_t>(decimalValue(timeout)), 0};
    return info;
}

int CmdProtokol::_getBerTlvCommand(int tag, unsigned char* buffer, unsigned size) const
{
    const LibMisc::TagTree::Iterator it = _tree[static_cast<unsigned int>(tag)];
    if (it.isEnd() || it.value().size > size)
        return -1;
    if (it.value().size > 0)
        std::memcpy(buffer, it.value().data, it.value().size);
    return static_cast<int>(it.value().size);
}

unsigned CmdProtokol::getPackageSize() const
{
    return headerSize + static_cast<unsigned>(_payload().size());
}

unsigned CmdProtokol::pack(unsigned char* buffer, unsigned size)
{
    const std::vector<uint8_t> payload = _payload();
    _data = LibMisc::ByteArray(payload.data(), payload.size());
    return DataProtokol::pack(buffer, size);
}

unsigned CmdProtokol::unpack(const unsigned char* bytes, unsigned length)
{
    const unsigned result = DataProtokol::unpack(bytes, length);
    _tree.clear();
    LibMisc::BerTlv::deserialize(_data.data, _data.size, _tree);

    const LibMisc::TagTree::Iterator serial = _tree[TAG_SERIAL_NUMBER];
    if (serial.isEnd())
        throwNotFound();
    const unsigned char* text = serial.value().data;
    const unsigned char* end = text + serial.value().size;
    _serialNumber.assign(text, std::find(text, end, 0));
    return result;
}

std::vector<uint8_t> CmdProtokol::_payload() const
{
    std::vector<uint8_t> payload = LibMisc::BerTlv::getBytes(LibMisc::BerTlv::serialize(_tree));
    const std::vector<uint8_t> serial = LibMisc::BerTlv::pack(
        TAG_SERIAL_NUMBER, reinterpret_cast<const uint8_t*>(_serialNumber.data()), _serialNumber.size());
    payload.insert(payload.end(), serial.begin(), serial.end());
    return payload;
}

void CmdProtokol::_addInt(unsigned int tag, int value)
{
    unsigned char bytes[4];
    ltools_ullToBytes(bytes, static_cast<uint32_t>(value), sizeof(bytes));
    _tree.pushBack(tag, LibMisc::ByteArray(bytes, sizeof(bytes)));
}

int CmdProtokol::_getInt(unsigned int tag) const
{
    const LibMisc::TagTree::Iterator it = _tree[tag];
    if (it.isEnd())
        throwNotFound();
    return LibMisc::BerTlv::getInt(it.value().data, 0, it.value().size);
}

bool CmdProtokol::_has(unsigned int tag) const
{
    return !_tree[tag].isEnd();
}

std::shared_ptr<IProtokol> protocolDeserialize(unsigned char* bytes, unsigned length)
{
    // The type field is bytes 2-3; shorter input holds no message at all.
    if (bytes == nullptr || length < 4) {
        logDeserializeError(EPackageShort().what());
        return nullptr;
    }

    std::shared_ptr<IProtokol> message;
    switch (ltools_bytesToull(bytes + 2, 2)) {
    case PMT_SEND_DATA:
    case PMT_EVENT_DATA:
    case PMT_RESERVED_6:
    case PMT_SEND_DATA_CONTROL:
    case PMT_SEND_DATA_RESULT:
    case PMT_RESERVED_52:
    case PMT_EVENT_ACCESS:
        message = std::make_shared<DataProtokol>();
        break;
    case PMT_CONNECTION_CONTROL:
    case PMT_CONNECTION_RESULT:
        message = std::make_shared<CmdProtokol>();
        break;
    default:
        return nullptr;
    }

    try {
        message->unpack(bytes, length);
    } catch (const std::exception& e) {
        logDeserializeError(e.what());
    } catch (...) {
        if (auto log = logger::Log::s_CoreLogger)
            log->error("[Proxy protocol] Protocol deserialize unknown exception");
    }
    return message;
}

unsigned protocolSerialize(unsigned char* buffer, unsigned size, std::shared_ptr<IProtokol> message)
{
    if (!message)
        throw std::invalid_argument("protocolSerialize: no message");
    return message->pack(buffer, size);
}

} // namespace Proxy
