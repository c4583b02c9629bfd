#include "filetransfer/MD5.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iostream>

namespace hashlib {

namespace {
// Per-round left rotations, four for each of the four rounds.
constexpr uint32_t kShifts[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// T[i] = floor(2^32 * |sin(i + 1)|).
const std::array<uint32_t, 64>& sineTable()
{
    static const std::array<uint32_t, 64> table = [] {
        std::array<uint32_t, 64> t{};
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = static_cast<uint32_t>(std::floor(4294967296.0 * std::fabs(std::sin(static_cast<double>(i + 1)))));
        return t;
    }();
    return table;
}

uint32_t rotateLeft(uint32_t x, uint32_t n) { return (x << n) | (x >> (32 - n)); }

uint32_t loadLittleEndian(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void storeLittleEndian(uint8_t* bytes, uint64_t value, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}
} // namespace

MD5::MD5() { reset(); }

void MD5::reset()
{
    _byteCount = 0;
    _bufferFill = 0;
    _state[0] = 0x67452301;
    _state[1] = 0xefcdab89;
    _state[2] = 0x98badcfe;
    _state[3] = 0x10325476;
}

void MD5::add(const void* data, size_t n)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    _byteCount += n;
    while (n > 0) {
        const size_t take = std::min(n, kBlockBytes - _bufferFill);
        std::memcpy(_buffer + _bufferFill, bytes, take);
        _bufferFill += take;
        bytes += take;
        n -= take;
        if (_bufferFill == kBlockBytes) {
            _processBlock(_buffer);
            _bufferFill = 0;
        }
    }
}

void MD5::getHash(unsigned char bytes[kDigestBytes]) const
{
    // Pad a copy, so that the running state stays as it is.
    MD5 padded = *this;
    const uint64_t bitCount = _byteCount * 8;
    const uint8_t one = 0x80;
    padded.add(&one, 1);
    const uint8_t zero = 0;
    while (padded._bufferFill != kBlockBytes - 8)
        padded.add(&zero, 1);
    uint8_t length[8];
    storeLittleEndian(length, bitCount, sizeof(length));
    padded.add(length, sizeof(length));
    for (size_t i = 0; i < 4; ++i)
        storeLittleEndian(bytes + 4 * i, padded._state[i], 4);
}

std::string MD5::getHash() const
{
    static const char digits[] = "0123456789abcdef";
    unsigned char raw[kDigestBytes];
    getHash(raw);
    std::string text;
    for (unsigned char byte : raw) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

std::string MD5::operator()(const void* data, size_t n)
{
    reset();
    add(data, n);
    return getHash();
}

std::string MD5::operator()(const std::string& text) { return (*this)(text.data(), text.size()); }

std::string MD5::digestFile(const std::string& path)
{
    const std::vector<uint8_t> content = readBinaryFile(path);
    if (content.empty())
        return {};
    return MD5()(content.data(), content.size());
}

void MD5::_processBlock(const uint8_t* block)
{
    uint32_t x[16];
    for (size_t i = 0; i < 16; ++i)
        x[i] = loadLittleEndian(block + 4 * i);

    const auto& t = sineTable();
    uint32_t a = _state[0], b = _state[1], c = _state[2], d = _state[3];
    for (uint32_t i = 0; i < 64; ++i) {
        const uint32_t round = i / 16;
        uint32_t f;
        uint32_t k;
        switch (round) {
        case 0:
            f = (b & c) | (~b & d);
            k = i;
            break;
        case 1:
            f = (b & d) | (c & ~d);
            k = (5 * i + 1) % 16;
            break;
        case 2:
            f = b ^ c ^ d;
            k = (3 * i + 5) % 16;
            break;
        default:
            f = c ^ (b | ~d);
            k = (7 * i) % 16;
            break;
        }
        const uint32_t rotated = rotateLeft(a + f + x[k] + t[i], kShifts[round][i % 4]);
        a = d;
        d = c;
        c = b;
        b = b + rotated;
    }
    _state[0] += a;
    _state[1] += b;
    _state[2] += c;
    _state[3] += d;
}

std::vector<uint8_t> readBinaryFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::cerr << "Error: Could not open file " << path << std::endl;
        return {};
    }
    std::vector<uint8_t> content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) {
        std::cerr << "Error: Could not read from file " << path << std::endl;
        return {};
    }
    return content;
}

} // namespace hashlib
