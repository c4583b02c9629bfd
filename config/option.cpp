#include "config/option.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <type_traits>

#include "config/exception.h"
#include "config/ini_syntax.h"
#include "config/option_schema.h"
#include "config/string_utils.h"

namespace inicpp {

namespace {

template <typename V>
const V& held(const option_holder& holder)
{
    const auto* value = dynamic_cast<const option_value<V>*>(&holder);
    if (value == nullptr)
        throw bad_cast_exception("Cannot cast to requested type");
    return value->get();
}

std::string to_text(boolean_ini_t value) { return value ? "1" : "0"; }
std::string to_text(signed_ini_t value) { return std::to_string(value); }
std::string to_text(unsigned_ini_t value) { return std::to_string(value); }
std::string to_text(float_ini_t value) { return std::to_string(value); }
std::string to_text(const enum_ini_t& value) { return inistd::to_string(value); }
std::string to_text(const string_ini_t& value) { return value; }

// Truncates toward zero; a double outside the range of T has no integer value.
template <typename T>
T integer_from(double value)
{
    constexpr double lowest = std::is_signed_v<T> ? -9223372036854775808.0 : 0.0;
    constexpr double beyond = std::is_signed_v<T> ? 9223372036854775808.0 : 18446744073709551616.0;
    const double whole = std::trunc(value);
    if (!(whole >= lowest && whole < beyond))
        throw bad_cast_exception("Cannot cast to requested type");
    return static_cast<T>(whole);
}

template <typename T, typename V>
T convert(const V& value, const std::string& option_name)
{
    if constexpr (std::is_same_v<T, V>)
        return value;
    else if constexpr (std::is_same_v<T, string_ini_t>)
        return to_text(value);
    else if constexpr (std::is_same_v<T, enum_ini_t>)
        return enum_ini_t(to_text(value));
    else if constexpr (std::is_same_v<V, string_ini_t>)
        return string_utils::parse_string<T>(value, option_name);
    else if constexpr (std::is_same_v<V, enum_ini_t>)
        throw std::runtime_error("Enum type cannot be converted to double");
    else if constexpr (std::is_same_v<T, boolean_ini_t>)
        return value != 0;
    else if constexpr (std::is_same_v<V, float_ini_t> && std::is_integral_v<T>)
        return integer_from<T>(value);
    else
        return static_cast<T>(value);
}

// The shortest "%g" form, from six significant digits up, that reads back
// as the same double.
std::string double_text(double value)
{
    char text[32];
    for (int precision = 6;; ++precision) {
        std::snprintf(text, sizeof text, "%.*g", precision, value);
        if (precision >= 17 || std::strtod(text, nullptr) == value)
            return text;
    }
}

} // namespace

option::option(std::string name, const std::string& value) : option(std::move(name), std::vector<std::string>{value})
{
}

option::option(std::string name, const std::vector<std::string>& values) : _name(std::move(name))
{
    for (const auto& value : values)
        _values.push_back(std::make_unique<option_value<string_ini_t>>(value));
}

option::option(const option& other) : _name(other._name), _type(other._type)
{
    for (const auto& value : other._values)
        _values.push_back(value->clone());
}

option& option::operator=(const option& other)
{
    if (this != &other)
        *this = option(other);
    return *this;
}

template <typename T>
void option::_assign(T value)
{
    _values.clear();
    _values.push_back(std::make_unique<option_value<T>>(std::move(value)));
    _type = type_code_v<T>;
}

option& option::operator=(boolean_ini_t value) {
    _assign(value);
    return *this;
}
option& option::operator=(signed_ini_t value) {
    _assign(value);
    return *this;
}
option& option::operator=(unsigned_ini_t value) {
    _assign(value);
    return *this;
}
option& option::operator=(float_ini_t value) {
    _assign(value);
    return *this;
}
option& option::operator=(const char* value) {
    _assign(string_ini_t(value));
    return *this;
}
option& option::operator=(const string_ini_t& value) {
    _assign(value);
    return *this;
}
option& option::operator=(const enum_ini_t& value) {
    _assign(value);
    return *this;
}

void option::remove_from_list_pos(std::size_t index)
{
    if (index >= _values.size())
        throw not_found_exception(index);
    _values.erase(_values.begin() + static_cast<std::ptrdiff_t>(index));
}

template <typename T>
T option::_value_at(std::size_t index) const
{
    if (index >= _values.size())
        throw not_found_exception(index);
    const option_holder& holder = *_values[index];
    switch (_type) {
    case option_type::boolean:
        return convert<T>(held<boolean_ini_t>(holder), _name);
    case option_type::signed_integer:
        return convert<T>(held<signed_ini_t>(holder), _name);
    case option_type::unsigned_integer:
        return convert<T>(held<unsigned_ini_t>(holder), _name);
    case option_type::floating:
        return convert<T>(held<float_ini_t>(holder), _name);
    case option_type::enumeration:
        return convert<T>(held<enum_ini_t>(holder), _name);
    case option_type::string:
        return convert<T>(held<string_ini_t>(holder), _name);
    case option_type::invalid:
        break;
    }
    throw invalid_type_exception("Invalid option type");
}

template <typename T>
T option::get() const
{
    return _value_at<T>(0);
}

template <typename T>
std::vector<T> option::get_list() const
{
    std::vector<T> values;
    for (std::size_t i = 0; i < _values.size(); ++i)
        values.push_back(_value_at<T>(i));
    return values;
}

template <typename T>
void option::convert_to()
{
    if (_type == type_code_v<T>)
        return;
    std::vector<std::unique_ptr<option_holder>> converted;
    for (const T& value : get_list<T>())
        converted.push_back(std::make_unique<option_value<T>>(value));
    _values = std::move(converted);
    _type = type_code_v<T>;
}

void option::validate(const option_schema& schema) { schema.validate_option(*this); }

bool option::operator==(const option& other) const
{
    if (_name != other._name || _type != other._type || _values.size() != other._values.size())
        return false;
    for (std::size_t i = 0; i < _values.size(); ++i)
        if (!_values[i]->equals(*other._values[i]))
            return false;
    return true;
}

std::string option::_written_value(std::size_t index) const
{
    const option_holder& holder = *_values[index];
    switch (_type) {
    case option_type::boolean:
        return held<boolean_ini_t>(holder) ? "yes" : "no";
    case option_type::signed_integer:
        return to_text(held<signed_ini_t>(holder));
    case option_type::unsigned_integer:
        return to_text(held<unsigned_ini_t>(holder));
    case option_type::floating:
        return double_text(held<float_ini_t>(holder));
    case option_type::enumeration:
        return syntax::escape_value(to_text(held<enum_ini_t>(holder)));
    case option_type::string:
        return syntax::escape_value(held<string_ini_t>(holder));
    case option_type::invalid:
        break;
    }
    throw invalid_type_exception("Invalid option type");
}

std::ostream& operator<<(std::ostream& out, const option& opt)
{
    if (opt._values.empty())
        throw not_found_exception(0);
    std::string line = syntax::escape_option_name(opt._name) + " = ";
    for (std::size_t i = 0; i < opt._values.size(); ++i)
        line += (i == 0 ? "" : ",") + opt._written_value(i);
    syntax::write_line(out, line);
    return out;
}

#define INICPP_OPTION_TYPE(T)                                                                                          \
    template T option::get<T>() const;                                                                                 \
    template std::vector<T> option::get_list<T>() const;                                                               \
    template void option::convert_to<T>();
INICPP_OPTION_TYPE(boolean_ini_t)
INICPP_OPTION_TYPE(signed_ini_t)
INICPP_OPTION_TYPE(unsigned_ini_t)
INICPP_OPTION_TYPE(float_ini_t)
INICPP_OPTION_TYPE(enum_ini_t)
INICPP_OPTION_TYPE(string_ini_t)
#undef INICPP_OPTION_TYPE

} // namespace inicpp
