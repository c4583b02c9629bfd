#pragma once

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "config/types.h"

namespace inicpp {

class option_schema;

// One stored value of an option.
class option_holder {
public:
    virtual ~option_holder() = default;
    virtual std::unique_ptr<option_holder> clone() const = 0;
    virtual bool equals(const option_holder& other) const = 0;
};

template <typename T>
class option_value final : public option_holder {
public:
    explicit option_value(T value) : _value(std::move(value)) {}
    const T& get() const { return _value; }

    std::unique_ptr<option_holder> clone() const override { return std::make_unique<option_value>(_value); }
    bool equals(const option_holder& other) const override
    {
        const auto* same = dynamic_cast<const option_value*>(&other);
        return same != nullptr && same->_value == _value;
    }

private:
    T _value;
};

// A named option holding one value or a list of values of one type. Values
// read from a file are strings until a schema converts them.
class option {
public:
    option(std::string name, const std::string& value);
    option(std::string name, const std::vector<std::string>& values);
    option(const option& other);
    option(option&&) noexcept = default;
    option& operator=(const option& other);
    option& operator=(option&&) noexcept = default;
    ~option() = default;

    // Each assignment replaces all values by one value of that type.
    option& operator=(boolean_ini_t value);
    option& operator=(signed_ini_t value);
    option& operator=(unsigned_ini_t value);
    option& operator=(float_ini_t value);
    option& operator=(const char* value);
    option& operator=(const string_ini_t& value);
    option& operator=(const enum_ini_t& value);

    const std::string& get_name() const { return _name; }
    option_type get_type() const { return _type; }
    bool is_list() const { return _values.size() > 1; }
    void remove_from_list_pos(std::size_t index);

    // The first value, converted to T.
    template <typename T>
    T get() const;
    // Every value, converted to T.
    template <typename T>
    std::vector<T> get_list() const;
    // Converts every value to T in place, unless the option already holds T.
    template <typename T>
    void convert_to();

    void validate(const option_schema& schema);

    bool operator==(const option& other) const;
    bool operator!=(const option& other) const { return !(*this == other); }

    friend std::ostream& operator<<(std::ostream& out, const option& opt);

private:
    template <typename T>
    void _assign(T value);
    template <typename T>
    T _value_at(std::size_t index) const;
    std::string _written_value(std::size_t index) const;

    std::string _name;
    option_type _type = option_type::string;
    std::vector<std::unique_ptr<option_holder>> _values;
};

} // namespace inicpp
