#pragma once

#include <cstddef>
#include <ostream>
#include <string>

#include "config/named_list.h"
#include "config/option_schema.h"
#include "config/section_schema.h"
#include "config/types.h"

namespace inicpp {

class config;

// Sections and options a document should have, with defaults and types.
class schema {
public:
    void add_section(const section_schema& sect);
    void add_section(const section_schema_params& params);
    // Throws not_found_exception when the section is not in the schema.
    void add_option(const std::string& section_name, const option_schema& opt);
    template <typename T>
    void add_option(const std::string& section_name, const option_schema_params<T>& params)
    {
        add_option(section_name, option_schema(params));
    }

    std::size_t size() const { return _sections.size(); }
    const section_schema& operator[](std::size_t index) const { return _sections.at(index); }
    const section_schema& operator[](const std::string& name) const { return _sections.at(name); }
    bool contains(const std::string& name) const { return _sections.contains(name); }

    // Completes the document with the defaults of missing optional sections and
    // options and converts known options to their types; in strict mode
    // anything the schema does not know is an error.
    void validate_config(config& doc, schema_mode mode);
    // False when the last validation had to fill anything in.
    bool all_mandatory() const { return _all_mandatory; }

    friend std::ostream& operator<<(std::ostream& out, const schema& schm);

private:
    named_list<section_schema> _sections;
    bool _all_mandatory = true;
};

} // namespace inicpp
