#include "tools/terminal-sim/JsonText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>

namespace terminal_sim {

namespace {

void appendUtf8(std::string& text, unsigned long codePoint)
{
    if (codePoint < 0x80) {
        text += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        text += static_cast<char>(0xC0 | (codePoint >> 6));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        text += static_cast<char>(0xE0 | (codePoint >> 12));
        text += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (codePoint >> 18));
        text += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// The parser keeps \uXXXX as written; clients that write ASCII only send
// every Cyrillic letter that way.
std::string decodeUnicodeEscapes(const std::string& text)
{
    const auto unit = [&text](std::size_t at) -> std::optional<unsigned long> {
        if (text.compare(at, 2, "\\u") != 0 || at + 6 > text.size() ||
            !std::all_of(text.begin() + static_cast<std::ptrdiff_t>(at + 2),
                         text.begin() + static_cast<std::ptrdiff_t>(at + 6),
                         [](unsigned char c) { return std::isxdigit(c) != 0; }))
            return std::nullopt;
        return std::stoul(text.substr(at + 2, 4), nullptr, 16);
    };
    std::string decoded;
    for (std::size_t at = 0; at < text.size();) {
        const std::optional<unsigned long> first = unit(at);
        if (!first) {
            decoded += text[at++];
            continue;
        }
        at += 6;
        unsigned long codePoint = *first;
        const std::optional<unsigned long> second = unit(at);
        if (codePoint >= 0xD800 && codePoint < 0xDC00 && second && *second >= 0xDC00 && *second < 0xE000) {
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (*second - 0xDC00);
            at += 6;
        }
        appendUtf8(decoded, codePoint);
    }
    return decoded;
}

} // namespace

std::string jsonString(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        case '\n': quoted += "\\n"; break;
        case '\r': quoted += "\\r"; break;
        case '\t': quoted += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof(escape), "\\u%04x", static_cast<unsigned>(c));
                quoted += escape;
            } else {
                quoted += c;
            }
        }
    }
    return quoted + "\"";
}

std::string jsonObject(const StringMembers& members)
{
    std::string text = "{";
    for (const auto& member : members) {
        if (text.size() > 1)
            text += ", ";
        text += jsonString(member.first) + ": " + jsonString(member.second);
    }
    return text + "}";
}

std::optional<std::string> stringMember(json::JSON& object, const std::string& key)
{
    if (!object.hasMember(key))
        return std::nullopt;
    const json::JSON& member = object[key];
    if (member.kind() != json::JSON::StringValue)
        throw std::invalid_argument("\"" + key + "\" is not a JSON string");
    return decodeUnicodeEscapes(member.stringValue());
}

} // namespace terminal_sim
