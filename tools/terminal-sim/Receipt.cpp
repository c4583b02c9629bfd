#include "tools/terminal-sim/Receipt.h"

namespace terminal_sim {

namespace {

bool continuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::size_t characters(const std::string& text)
{
    std::size_t count = 0;
    for (const char c : text)
        count += continuationByte(c) ? 0 : 1;
    return count;
}

// The first `count` characters.
std::string prefix(const std::string& text, std::size_t count)
{
    std::size_t end = 0;
    for (std::size_t seen = 0; end < text.size(); ++end) {
        if (!continuationByte(text[end]) && seen++ == count)
            break;
    }
    return text.substr(0, end);
}

} // namespace

void Receipt::centered(const std::string& text)
{
    const std::size_t length = characters(text);
    const std::size_t left = length < _width ? (_width - length) / 2 : 0;
    _add(std::string(left, ' ') + text);
}

void Receipt::pair(const std::string& label, const std::string& value)
{
    const std::size_t valueLength = characters(value);
    if (valueLength >= _width) {
        _add(value);
        return;
    }
    const std::size_t room = _width - valueLength - 1; // one blank at least
    const std::string shownLabel = prefix(label, room);
    _add(shownLabel + std::string(room - characters(shownLabel) + 1, ' ') + value);
}

void Receipt::rule()
{
    _add(std::string(_width, '-'));
}

std::string Receipt::text() const
{
    std::string text;
    for (std::size_t i = 0; i < _lines.size(); ++i)
        text += (i == 0 ? "" : "\n") + _lines[i];
    return text;
}

void Receipt::_add(const std::string& line)
{
    std::string cut = prefix(line, _width);
    for (char& c : cut) {
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' '; // a line feed inside would break the layout
    }
    _lines.push_back(cut + std::string(_width - characters(cut), ' '));
}

} // namespace terminal_sim
