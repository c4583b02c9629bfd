#pragma once

#include <cstddef>
#include <ostream>
#include <string>

#include "config/named_list.h"
#include "config/option_schema.h"
#include "config/types.h"

namespace inicpp {

class section;

struct section_schema_params {
    std::string name;
    option_requirement requirement = option_requirement::mandatory;
    std::string comment;
};

class section_schema {
public:
    explicit section_schema(section_schema_params params) : _params(std::move(params)) {}

    const std::string& get_name() const { return _params.name; }
    const std::string& get_comment() const { return _params.comment; }
    bool is_mandatory() const { return _params.requirement == option_requirement::mandatory; }

    std::size_t size() const { return _options.size(); }
    const option_schema& operator[](std::size_t index) const { return _options.at(index); }
    const option_schema& operator[](const std::string& name) const { return _options.at(name); }
    bool contains(const std::string& name) const { return _options.contains(name); }
    named_list<option_schema>::const_iterator begin() const { return _options.begin(); }
    named_list<option_schema>::const_iterator end() const { return _options.end(); }

    void add_option(const option_schema& schema);
    void remove_option(const std::string& name);

    // Appends missing optional options with their defaults and converts every
    // known option; in strict mode an unknown option is an error.
    void validate_section(section& sect, schema_mode mode);
    // False when the last validation had to append an option.
    bool all_options_found() const { return _all_options_found; }

    void write_additional_info(std::ostream& out) const;
    void write_section_name(std::ostream& out) const;
    friend std::ostream& operator<<(std::ostream& out, const section_schema& schema);

private:
    section_schema_params _params;
    named_list<option_schema> _options;
    bool _all_options_found = true;
};

} // namespace inicpp
