#pragma once

#include <cstdint>
#include <string>

namespace inicpp {

enum class option_type : std::uint8_t {
    boolean = 0,
    signed_integer = 1,
    unsigned_integer = 2,
    floating = 3,
    enumeration = 4,
    string = 5,
    invalid = 6
};

enum class option_requirement : std::uint8_t { mandatory = 0, optional = 1 };
enum class option_arity : std::uint8_t { single = 0, list = 1 };
enum class schema_mode : std::uint8_t { strict = 0, relaxed = 1 };

// A value of an enumeration option: kept as its text.
class internal_enum_type {
public:
    internal_enum_type() = default;
    explicit internal_enum_type(std::string text) : _text(std::move(text)) {}

    const std::string& text() const { return _text; }
    bool operator==(const internal_enum_type& other) const { return _text == other._text; }
    bool operator!=(const internal_enum_type& other) const { return !(*this == other); }

private:
    std::string _text;
};

namespace inistd {
inline std::string to_string(const internal_enum_type& value) { return value.text(); }
} // namespace inistd

using boolean_ini_t = bool;
using signed_ini_t = std::int64_t;
using unsigned_ini_t = std::uint64_t;
using float_ini_t = double;
using enum_ini_t = internal_enum_type;
using string_ini_t = std::string;

// The option_type that stores values of T; only the six value types have one.
template <typename T>
struct type_code;
template <>
struct type_code<boolean_ini_t> { static constexpr option_type value = option_type::boolean; };
template <>
struct type_code<signed_ini_t> { static constexpr option_type value = option_type::signed_integer; };
template <>
struct type_code<unsigned_ini_t> { static constexpr option_type value = option_type::unsigned_integer; };
template <>
struct type_code<float_ini_t> { static constexpr option_type value = option_type::floating; };
template <>
struct type_code<enum_ini_t> { static constexpr option_type value = option_type::enumeration; };
template <>
struct type_code<string_ini_t> { static constexpr option_type value = option_type::string; };

template <typename T>
constexpr option_type type_code_v = type_code<T>::value;

} // namespace inicpp
