#include "LibMisc/ByteArray.h"

#include "LibMisc/CCode/Memory.h"

#include <cstdlib>
#include <cstring>

namespace LibMisc {

ByteArray::ByteArray(std::size_t n)
{
    if (n != 0) {
        data = static_cast<unsigned char*>(xmalloc(n));
        size = n;
    }
}

ByteArray::ByteArray(const unsigned char* bytes, std::size_t n)
{
    _assign(bytes, n);
}

ByteArray::ByteArray(const std::string& text)
{
    _assign(reinterpret_cast<const unsigned char*>(text.c_str()), text.size() + 1);
}

ByteArray::ByteArray(const char* text)
{
    if (text != nullptr)
        _assign(reinterpret_cast<const unsigned char*>(text), std::strlen(text) + 1);
}

ByteArray::ByteArray(const ByteArray& other)
{
    _assign(other.data, other.size);
}

ByteArray::ByteArray(ByteArray&& other) noexcept : size(other.size), data(other.data)
{
    other.size = 0;
    other.data = nullptr;
}

ByteArray::~ByteArray()
{
    _release();
}

ByteArray& ByteArray::operator=(const ByteArray& other)
{
    if (this != &other) {
        _release();
        _assign(other.data, other.size);
    }
    return *this;
}

ByteArray& ByteArray::operator=(ByteArray&& other) noexcept
{
    if (this != &other) {
        _release();
        size = other.size;
        data = other.data;
        other.size = 0;
        other.data = nullptr;
    }
    return *this;
}

ByteArray& ByteArray::operator=(const std::string& text)
{
    return *this = ByteArray(text);
}

ByteArray& ByteArray::operator=(const char* text)
{
    return *this = ByteArray(text);
}

// Expects an empty array.
void ByteArray::_assign(const unsigned char* bytes, std::size_t n)
{
    if (bytes == nullptr || n == 0)
        return;
    data = static_cast<unsigned char*>(xmalloc(n));
    std::memcpy(data, bytes, n);
    size = n;
}

void ByteArray::_release()
{
    std::free(data);
    data = nullptr;
    size = 0;
}

} // namespace LibMisc
