#pragma once

#include <cstddef>
#include <ostream>
#include <string>

#include "config/named_list.h"
#include "config/option.h"
#include "config/section.h"
#include "config/types.h"

namespace inicpp {

class schema;

// An INI document: sections in file order, names unique.
class config {
public:
    void add_section(const section& sect);
    void add_section(const std::string& name);
    void remove_section(const std::string& name);
    void add_option(const std::string& section_name, const option& opt);
    void remove_option(const std::string& section_name, const std::string& option_name);

    std::size_t size() const { return _sections.size(); }
    section& operator[](std::size_t index) { return _sections.at(index); }
    const section& operator[](std::size_t index) const { return _sections.at(index); }
    section& operator[](const std::string& name) { return _sections.at(name); }
    const section& operator[](const std::string& name) const { return _sections.at(name); }
    bool contains(const std::string& name) const { return _sections.contains(name); }
    named_list<section>::const_iterator begin() const { return _sections.begin(); }
    named_list<section>::const_iterator end() const { return _sections.end(); }

    void validate(schema& schm, schema_mode mode);

    bool operator==(const config& other) const { return _sections == other._sections; }
    bool operator!=(const config& other) const { return !(*this == other); }

    friend std::ostream& operator<<(std::ostream& out, const config& doc);

private:
    named_list<section> _sections;
};

} // namespace inicpp
