#pragma once

#include <cstddef>
#include <ostream>
#include <string>

#include "config/named_list.h"
#include "config/option.h"
#include "config/types.h"

namespace inicpp {

class section_schema;

// A named section: options in file order, names unique.
class section {
public:
    explicit section(std::string name) : _name(std::move(name)) {}

    const std::string& get_name() const { return _name; }

    void add_option(const option& opt);
    template <typename T>
    void add_option(const std::string& name, T value)
    {
        option opt(name, std::string());
        opt = value;
        add_option(opt);
    }
    void remove_option(const std::string& name);

    std::size_t size() const { return _options.size(); }
    option& operator[](std::size_t index) { return _options.at(index); }
    const option& operator[](std::size_t index) const { return _options.at(index); }
    option& operator[](const std::string& name) { return _options.at(name); }
    const option& operator[](const std::string& name) const { return _options.at(name); }
    bool contains(const std::string& name) const { return _options.contains(name); }
    named_list<option>::const_iterator begin() const { return _options.begin(); }
    named_list<option>::const_iterator end() const { return _options.end(); }

    void validate(section_schema& schema, schema_mode mode);

    bool operator==(const section& other) const { return _name == other._name && _options == other._options; }
    bool operator!=(const section& other) const { return !(*this == other); }

    friend std::ostream& operator<<(std::ostream& out, const section& sect);

private:
    std::string _name;
    named_list<option> _options;
};

} // namespace inicpp
