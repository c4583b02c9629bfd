#include "config/schema.h"

#include "config/config.h"

namespace inicpp {

void schema::add_section(const section_schema& sect) { _sections.add(std::make_shared<section_schema>(sect)); }

void schema::add_section(const section_schema_params& params) { add_section(section_schema(params)); }

void schema::add_option(const std::string& section_name, const option_schema& opt)
{
    if (!_sections.contains(section_name))
        throw not_found_exception(section_name);
    _sections.at(section_name).add_option(opt);
}

void schema::validate_config(config& doc, schema_mode mode)
{
    // Work on a copy so that a failed validation leaves the document as it was.
    config validated = doc;
    _all_mandatory = true;
    for (const auto& sect_schema : _sections) {
        const std::string& name = sect_schema->get_name();
        if (validated.contains(name)) {
            sect_schema->validate_section(validated[name], mode);
            _all_mandatory = _all_mandatory && sect_schema->all_options_found();
            continue;
        }
        if (sect_schema->is_mandatory())
            throw validation_exception("Mandatory section '" + name + "' is missing in config");
        section added(name);
        for (const auto& opt_schema : *sect_schema)
            added.add_option(opt_schema->default_option());
        validated.add_section(added);
        _all_mandatory = false;
    }
    if (mode == schema_mode::strict) {
        for (const auto& sect : validated)
            if (!_sections.contains(sect->get_name()))
                throw validation_exception("Section '" + sect->get_name() + "' not specified in schema");
    }
    doc = std::move(validated);
}

std::ostream& operator<<(std::ostream& out, const schema& schm)
{
    for (const auto& sect : schm._sections)
        out << *sect;
    return out;
}

} // namespace inicpp
