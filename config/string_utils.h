#pragma once

#include <string>
#include <vector>

#include "config/types.h"

namespace inicpp {
namespace string_utils {

// White space is the isspace() class of the C library.
std::string left_trim(const std::string& text);
std::string right_trim(const std::string& text);
bool starts_with(const std::string& text, const std::string& prefix);
bool ends_with(const std::string& text, const std::string& suffix);
// Pieces between delimiters: no pieces for an empty text, no trailing empty piece.
std::vector<std::string> split(const std::string& text, char delimiter);

// Converts the text of a value of option `option_name` to T; throws
// invalid_type_exception naming the option when the text does not fit.
template <typename T>
T parse_string(const std::string& text, const std::string& option_name);
template <>
boolean_ini_t parse_string<boolean_ini_t>(const std::string& text, const std::string& option_name);
template <>
signed_ini_t parse_string<signed_ini_t>(const std::string& text, const std::string& option_name);
template <>
unsigned_ini_t parse_string<unsigned_ini_t>(const std::string& text, const std::string& option_name);
template <>
float_ini_t parse_string<float_ini_t>(const std::string& text, const std::string& option_name);
template <>
enum_ini_t parse_string<enum_ini_t>(const std::string& text, const std::string& option_name);
template <>
string_ini_t parse_string<string_ini_t>(const std::string& text, const std::string& option_name);

} // namespace string_utils
} // namespace inicpp
