#include "config/section.h"

#include "config/ini_syntax.h"
#include "config/section_schema.h"

namespace inicpp {

void section::add_option(const option& opt) { _options.add(std::make_shared<option>(opt)); }

void section::remove_option(const std::string& name) { _options.remove(name); }

void section::validate(section_schema& schema, schema_mode mode) { schema.validate_section(*this, mode); }

std::ostream& operator<<(std::ostream& out, const section& sect)
{
    syntax::write_line(out, syntax::section_header(sect._name));
    for (const auto& opt : sect._options)
        out << *opt;
    return out;
}

} // namespace inicpp
