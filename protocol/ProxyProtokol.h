#pragma once

#include "LibMisc/ByteArray.h"
#include "LibMisc/Time.h"
#include "protocol/Tlv.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace Proxy {

// Type field of a tunnel message. Received codes outside this list are kept
// as they are (the underlying type holds any 16-bit code).
enum ProxyMessType : uint32_t {
    PMT_SEND_DATA = 1,
    PMT_CONNECTION_CONTROL = 2,
    PMT_EVENT_DATA = 3,
    PMT_RESERVED_6 = 6, // accepted as data, never sent or handled
    PMT_SEND_DATA_CONTROL = 7,
    PMT_SEND_DATA_RESULT = 17,
    PMT_CONNECTION_RESULT = 34,
    PMT_RESERVED_52 = 52, // accepted as data, never sent or handled
    PMT_EVENT_ACCESS = 53,
};

// Command tags.
enum ProxyTag : unsigned int {
    TAG_SERIAL_NUMBER = 0xC1,
    TAG_CONNECTION_STATUS = 0xC3,
    TAG_BUFFER_SIZE = 0xC4,
    TAG_NEW_CONNECTION = 0xF2,
    TAG_ADDRESS = 0x81,
    TAG_PORT = 0x82,
    TAG_TIMEOUT = 0x83,
};

constexpr unsigned headerSize = 12;
// The 16-bit size field counts the 10 header bytes after it.
constexpr unsigned maxPayloadSize = 0xFFFF - 10;

class IProxyException : public std::exception {
public:
    explicit IProxyException(std::string text) : _text(std::move(text)) {}
    const char* what() const noexcept override { return _text.c_str(); }

private:
    std::string _text;
};

class ESmallBuffer : public IProxyException {
public:
    ESmallBuffer() : IProxyException("Small buffer size") {}
};

class EPackageShort : public IProxyException {
public:
    EPackageShort() : IProxyException("The package short") {}
};

struct TcpConnInfo {
    char ip[16] = {}; // dotted decimal, zero-terminated
    uint16_t port = 0;
    LibMisc::TimeSpec timeout; // whole seconds only
};

class IProtokol {
public:
    virtual unsigned pack(unsigned char* buffer, unsigned size) = 0;
    virtual unsigned unpack(const unsigned char* bytes, unsigned length) = 0;
    // Run-time type name of the message class.
    virtual const char* type() const = 0;
    virtual ~IProtokol() = default;
};

// Header (size, type, connection id) and opaque payload.
class DataProtokol : public IProtokol {
public:
    DataProtokol() = default;
    DataProtokol(unsigned long long id, ProxyMessType type) : _messageType(type), _connectionId(id) {}

    void setMessageType(ProxyMessType type) { _messageType = type; }
    void setConnectionId(unsigned long long id) { _connectionId = id; }
    void setData(const LibMisc::ByteArray& data) { _data = data; }

    ProxyMessType getTMessageType() const { return _messageType; }
    unsigned long long getConnectionId() const { return _connectionId; }
    const LibMisc::ByteArray& getData() const { return _data; }

    // The length that pack() writes.
    virtual unsigned getPackageSize() const;

    // ESmallBuffer when the buffer (or the size field) cannot hold the message.
    unsigned pack(unsigned char* buffer, unsigned size) override;
    // EPackageShort before any field changes when the bytes do not hold a
    // whole message; bytes beyond it are ignored. Returns `length`.
    unsigned unpack(const unsigned char* bytes, unsigned length) override;
    const char* type() const override;

protected:
    LibMisc::ByteArray _data;

private:
    ProxyMessType _messageType = PMT_SEND_DATA_RESULT;
    unsigned long long _connectionId = 0;
};

// A data message whose payload is a list of BER-TLV data objects.
class CmdProtokol : public DataProtokol {
public:
    CmdProtokol() = default;
    CmdProtokol(unsigned long long id, ProxyMessType type, const std::string& serial)
        : DataProtokol(id, type), _serialNumber(serial)
    {
    }

    void setSerialNumber(const std::string& serial) { _serialNumber = serial; }
    const std::string& getSerialNumber() const { return _serialNumber; }

    void addConnectionStatus(int status);
    void addBufferSize(int size);
    void setNewConnection(const TcpConnInfo& info);

    bool isConnectionStatus() const;
    bool isNewConnenection() const;
    bool isBufferSize() const;

    // TreeException -1 "Element not found" when the tag is missing.
    int getConnectionStatus() const;
    int getBufferSize() const;
    // Also "Element not found" when the address is over 15 characters or the
    // port or time-out text over 9.
    TcpConnInfo getNewConnection() const;

    // Copies the value of the first element with the tag; its length, or -1
    // when there is none or it does not fit.
    int _getBerTlvCommand(int tag, unsigned char* buffer, unsigned size) const;

    void clear() { _tree.clear(); }

    unsigned getPackageSize() const override;
    // Writes the added objects followed by the serial number (C1). The tree
    // is left as it was, so packing again gives the same bytes.
    unsigned pack(unsigned char* buffer, unsigned size) override;
    // TreeException "Element not found" when there is no serial number; the
    // rest of the message is complete then.
    unsigned unpack(const unsigned char* bytes, unsigned length) override;

private:
    std::vector<uint8_t> _payload() const;
    void _addInt(unsigned int tag, int value);
    int _getInt(unsigned int tag) const;
    bool _has(unsigned int tag) const;

    std::string _serialNumber = "Unknown";
    LibMisc::TagTree _tree;
};

// The message the bytes hold, or an empty pointer for an unknown type code.
// Never throws: a message that fails to unpack is logged and returned as far
// as it was filled.
std::shared_ptr<IProtokol> protocolDeserialize(unsigned char* bytes, unsigned length);
// The message's pack(); its exceptions reach the caller.
unsigned protocolSerialize(unsigned char* buffer, unsigned size, std::shared_ptr<IProtokol> message);

} // namespace Proxy
