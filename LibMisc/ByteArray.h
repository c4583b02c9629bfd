#pragma once

#include <cstddef>
#include <string>

namespace LibMisc {

// Owned byte buffer whose length is fixed when it is built. Built from text
// it keeps the terminating zero byte. An empty array has size 0 and data null.
class ByteArray {
public:
    std::size_t size = 0;
    unsigned char* data = nullptr;

    ByteArray() = default;
    explicit ByteArray(std::size_t n); // contents undefined
    ByteArray(const unsigned char* bytes, std::size_t n);
    ByteArray(const std::string& text);
    ByteArray(const char* text);
    ByteArray(const ByteArray& other);
    ByteArray(ByteArray&& other) noexcept;
    ~ByteArray();

    ByteArray& operator=(const ByteArray& other);
    ByteArray& operator=(ByteArray&& other) noexcept;
    ByteArray& operator=(const std::string& text);
    ByteArray& operator=(const char* text);

private:
    void _assign(const unsigned char* bytes, std::size_t n);
    void _release();
};

} // namespace LibMisc
