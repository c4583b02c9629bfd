#include "LibMisc/LineInfo.h"

#include "logging/log.h"

#include <cstring>

namespace {

std::unique_ptr<char[]> duplicate(const char* text)
{
    if (text == nullptr)
        return nullptr;
    const std::size_t length = std::strlen(text) + 1;
    std::unique_ptr<char[]> copy(new char[length]);
    std::memcpy(copy.get(), text, length);
    return copy;
}

const char* orEmpty(const char* text)
{
    return text != nullptr ? text : "";
}

} // namespace

LineInfo::LineInfo(const char* file, const char* function, unsigned line, const char* text)
{
    char number[12];
    __uitoa(line, number);
    const std::string built = std::string("[") + orEmpty(file) + ":" + orEmpty(function) + "():" + number + "] [" +
                              orEmpty(text) + "] ";
    _text = duplicate(built.c_str());
}

LineInfo::LineInfo(const LineInfo& other) : _text(duplicate(other._text.get())) {}

LineInfo& LineInfo::operator=(const LineInfo& other)
{
    if (this != &other)
        _text = duplicate(other._text.get());
    return *this;
}

const char* LineInfo::get() const
{
    return _text ? _text.get() : "";
}

long LineInfo::size() const
{
    return _text ? static_cast<long>(std::strlen(_text.get())) : -1;
}
