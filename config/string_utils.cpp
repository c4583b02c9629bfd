#include "config/string_utils.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "config/exception.h"

namespace inicpp {
namespace string_utils {

namespace {

bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

invalid_type_exception parse_failure(const std::string& option_name, const std::string& reason)
{
    return invalid_type_exception("Option '" + option_name + "' parsing failed: " + reason);
}

// strtoll/strtoull with base 0, plus "0b" binary; trailing text is ignored.
template <typename T, typename Convert>
T parse_integer(const std::string& text, const std::string& option_name, const char* conversion, Convert convert)
{
    const bool binary = starts_with(text, "0b");
    const char* begin = text.c_str() + (binary ? 2 : 0);
    char* end = nullptr;
    errno = 0;
    const T value = convert(begin, &end, binary ? 2 : 0);
    if (end == begin || errno == ERANGE)
        throw parse_failure(option_name, conversion);
    return value;
}

} // namespace

std::string left_trim(const std::string& text)
{
    size_t start = 0;
    while (start < text.size() && is_space(text[start]))
        ++start;
    return text.substr(start);
}

std::string right_trim(const std::string& text)
{
    size_t end = text.size();
    while (end > 0 && is_space(text[end - 1]))
        --end;
    return text.substr(0, end);
}

bool starts_with(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool ends_with(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::vector<std::string> split(const std::string& text, char delimiter)
{
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(delimiter, start);
        if (end == std::string::npos)
            end = text.size();
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

template <>
boolean_ini_t parse_string<boolean_ini_t>(const std::string& text, const std::string& option_name)
{
    static const char* const falses[] = {"0", "f", "n", "no", "off", "disabled"};
    static const char* const trues[] = {"1", "t", "y", "yes", "on", "enabled"};
    for (const char* word : falses)
        if (text == word)
            return false;
    for (const char* word : trues)
        if (text == word)
            return true;
    throw parse_failure(option_name, "String '" + text + "' is not valid boolean type.");
}

template <>
signed_ini_t parse_string<signed_ini_t>(const std::string& text, const std::string& option_name)
{
    return parse_integer<signed_ini_t>(text, option_name, "stoll",
        [](const char* begin, char** end, int base) { return std::strtoll(begin, end, base); });
}

template <>
unsigned_ini_t parse_string<unsigned_ini_t>(const std::string& text, const std::string& option_name)
{
    return parse_integer<unsigned_ini_t>(text, option_name, "stoull",
        [](const char* begin, char** end, int base) { return std::strtoull(begin, end, base); });
}

template <>
float_ini_t parse_string<float_ini_t>(const std::string& text, const std::string& option_name)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(begin, &end);
    if (end == begin || errno == ERANGE)
        throw parse_failure(option_name, "stod");
    return value;
}

template <>
enum_ini_t parse_string<enum_ini_t>(const std::string& text, const std::string& /*option_name*/)
{
    return enum_ini_t(text);
}

template <>
string_ini_t parse_string<string_ini_t>(const std::string& text, const std::string& /*option_name*/)
{
    return text;
}

} // namespace string_utils
} // namespace inicpp
