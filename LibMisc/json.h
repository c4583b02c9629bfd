#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <variant>

namespace json {

// A JSON value with a tolerant parser: syntax errors are reported as lines on
// standard error and parsing goes on with what could be built.
class JSON {
public:
    enum ValueKind : int32_t {
        NullValue = 0,
        ObjectValue = 1,
        ArrayValue = 2,
        StringValue = 3,
        FloatValue = 4,
        IntegerValue = 5,
        BoolValue = 6
    };

    JSON() = default;
    JSON(const JSON& other);
    JSON(JSON&& other) noexcept;
    JSON& operator=(const JSON& other);
    JSON& operator=(JSON&& other) noexcept;
    ~JSON();

    // The first complete value of the text; what follows it is ignored.
    // Throws std::invalid_argument / std::out_of_range ("stol", "stod") for a
    // number without digits or out of range.
    static JSON Load(const std::string& text);

    ValueKind kind() const { return static_cast<ValueKind>(_value.index()); }
    bool hasMember(const std::string& key) const;
    // Turns a non-object into an empty object; creates the member as null when absent.
    JSON& operator[](const std::string& key);

    // The payload of the matching kind; std::logic_error for another kind.
    int64_t integerValue() const;
    double floatValue() const;
    bool boolValue() const;
    const std::string& stringValue() const;
    // Members of an object or elements of an array; 0 for other kinds.
    std::size_t size() const;
    // Element of an array; std::out_of_range past the end.
    const JSON& at(std::size_t index) const;

private:
    class Parser;
    using Object = std::map<std::string, JSON>;
    using Array = std::deque<JSON>;
    // The alternatives stand in ValueKind order, so index() is the kind.
    using Value = std::variant<std::monostate, std::unique_ptr<Object>, std::unique_ptr<Array>, std::string, double,
        int64_t, bool>;

    template <typename T>
    const T& _payload(const char* kindName) const;

    Value _value;
};

} // namespace json
