#include "config/config.h"

#include "config/schema.h"

namespace inicpp {

void config::add_section(const section& sect) { _sections.add(std::make_shared<section>(sect)); }

void config::add_section(const std::string& name) { _sections.add(std::make_shared<section>(name)); }

void config::remove_section(const std::string& name) { _sections.remove(name); }

void config::add_option(const std::string& section_name, const option& opt) { (*this)[section_name].add_option(opt); }

void config::remove_option(const std::string& section_name, const std::string& option_name)
{
    (*this)[section_name].remove_option(option_name);
}

void config::validate(schema& schm, schema_mode mode) { schm.validate_config(*this, mode); }

std::ostream& operator<<(std::ostream& out, const config& doc)
{
    for (const auto& sect : doc._sections)
        out << *sect;
    return out;
}

} // namespace inicpp
