#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hashlib {

// MD5 message digest (RFC 1321), fed incrementally.
class MD5 {
public:
    static constexpr size_t kDigestBytes = 16;

    MD5();
    void reset();
    void add(const void* data, size_t n);

    // The digest of everything fed so far; feeding may go on afterwards.
    std::string getHash() const;                 // 32 lower-case hex digits
    void getHash(unsigned char bytes[kDigestBytes]) const; // raw digest

    // The digest of one buffer, from a fresh state.
    std::string operator()(const void* data, size_t n);
    std::string operator()(const std::string& text);

    // The digest of a whole file; the empty text when it is empty or unreadable.
    static std::string digestFile(const std::string& path);

private:
    static constexpr size_t kBlockBytes = 64;

    void _processBlock(const uint8_t* block);

    uint64_t _byteCount;
    uint8_t _buffer[kBlockBytes];
    size_t _bufferFill;
    uint32_t _state[4];
};

// The bytes of a file; nothing (and a message on standard error) when it
// cannot be opened or read.
std::vector<uint8_t> readBinaryFile(const std::string& path);

} // namespace hashlib
