#include "config/ini_syntax.h"

#include <cctype>

#include "config/string_utils.h"

namespace inicpp {
namespace syntax {

namespace {

bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

bool is_escaped(const std::string& text, std::size_t pos)
{
    std::size_t backslashes = 0;
    while (pos > backslashes && text[pos - backslashes - 1] == '\\')
        ++backslashes;
    return backslashes % 2 == 1;
}

enum class ends { kept, trimmed };

// Backslash before every character listed in `specials`, and before white
// space at either end where reading would trim it.
std::string escape(const std::string& text, const std::string& specials, ends space_at_ends)
{
    std::string escaped;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool at_end = i == 0 || i + 1 == text.size();
        if (specials.find(c) != std::string::npos || (space_at_ends == ends::trimmed && at_end && is_space(c)))
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

} // namespace

std::size_t find_unescaped(const std::string& text, char wanted, std::size_t from)
{
    for (std::size_t i = from; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == wanted)
            return i;
    }
    return std::string::npos;
}

std::string unescape(const std::string& text)
{
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        if (i < text.size())
            plain += text[i];
    }
    return plain;
}

std::string trim(const std::string& text)
{
    std::string trimmed = string_utils::left_trim(text);
    std::size_t end = trimmed.size();
    while (end > 0 && is_space(trimmed[end - 1]) && !is_escaped(trimmed, end - 1))
        --end;
    trimmed.resize(end);
    return trimmed;
}

std::vector<std::string> split_values(const std::string& value_text)
{
    const char separator = find_unescaped(value_text, ',') != std::string::npos ? ',' : ':';
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t end; (end = find_unescaped(value_text, separator, start)) != std::string::npos; start = end + 1)
        pieces.push_back(trim(value_text.substr(start, end - start)));
    pieces.push_back(trim(value_text.substr(start)));
    return pieces;
}

bool is_link(const std::string& raw_piece)
{
    return raw_piece.size() >= 3 && string_utils::starts_with(raw_piece, "${") && raw_piece.back() == '}'
        && !is_escaped(raw_piece, raw_piece.size() - 1);
}

std::vector<std::string> parse_values(const std::string& value_text)
{
    std::vector<std::string> values;
    for (const std::string& piece : split_values(value_text))
        values.push_back(unescape(piece));
    return values;
}

std::string escape_value(const std::string& value)
{
    std::string escaped = escape(value, "\\#,:", ends::trimmed);
    // Keeps a value that looks like ${section@option} from reading as a link.
    if (is_link(escaped))
        escaped.insert(0, 1, '\\');
    return escaped;
}

std::string escape_option_name(const std::string& name)
{
    std::string escaped = escape(name, "\\#=", ends::trimmed);
    // A name starting with "[" would read as a section header.
    if (!escaped.empty() && escaped[0] == '[')
        escaped.insert(0, 1, '\\');
    return escaped;
}

std::string section_header(const std::string& name) { return "[" + escape(name, "\\#", ends::kept) + "]"; }

void write_line(std::ostream& out, const std::string& line) { out << line << '\n' << std::flush; }

void write_comment(std::ostream& out, const std::string& comment)
{
    for (const auto& line : string_utils::split(comment, '\n'))
        write_line(out, "#" + line);
}

} // namespace syntax
} // namespace inicpp
