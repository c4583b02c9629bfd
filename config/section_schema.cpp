#include "config/section_schema.h"

#include "config/ini_syntax.h"
#include "config/section.h"

namespace inicpp {

void section_schema::add_option(const option_schema& schema) { _options.add(std::make_shared<option_schema>(schema)); }

void section_schema::remove_option(const std::string& name) { _options.remove(name); }

void section_schema::validate_section(section& sect, schema_mode mode)
{
    _all_options_found = true;
    for (const auto& schema : _options) {
        if (!sect.contains(schema->get_name())) {
            if (schema->is_mandatory())
                throw validation_exception("Mandatory option '" + schema->get_name() + "' is missing in section '"
                    + sect.get_name() + "'");
            sect.add_option(schema->default_option());
            _all_options_found = false;
        }
        schema->validate_option(sect[schema->get_name()]);
    }
    if (mode == schema_mode::strict) {
        for (const auto& opt : sect)
            if (!_options.contains(opt->get_name()))
                throw validation_exception("Option '" + opt->get_name() + "' not specified in schema");
    }
}

void section_schema::write_additional_info(std::ostream& out) const
{
    syntax::write_comment(out, _params.comment);
    syntax::write_line(out, is_mandatory() ? "#<mandatory>" : "#<optional>");
}

void section_schema::write_section_name(std::ostream& out) const
{
    syntax::write_line(out, syntax::section_header(_params.name));
}

std::ostream& operator<<(std::ostream& out, const section_schema& schema)
{
    schema.write_additional_info(out);
    schema.write_section_name(out);
    for (const auto& option : schema._options)
        out << *option;
    return out;
}

} // namespace inicpp
