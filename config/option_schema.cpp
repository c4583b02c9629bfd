#include "config/option_schema.h"

#include "config/ini_syntax.h"

namespace inicpp {

void option_schema::validate_option(option& opt) const
{
    if (!is_list() && opt.is_list())
        throw validation_exception("Option '" + opt.get_name() + "' - list given, single value expected");
    if (is_list() && !opt.is_list())
        throw validation_exception("Option '" + opt.get_name() + "' - single value given, list expected");
    _convert_and_check(opt);
}

option option_schema::default_option() const
{
    return option(_params.name, syntax::parse_values(_params.default_value));
}

void option_schema::write_additional_info(std::ostream& out) const
{
    syntax::write_comment(out, _params.comment);
    syntax::write_line(out, std::string("#<") + (is_mandatory() ? "mandatory" : "optional") + ", "
            + (is_list() ? "list" : "single") + ">");
    syntax::write_line(out, "#<default value: \"" + _params.default_value + "\">");
}

std::ostream& operator<<(std::ostream& out, const option_schema& schema)
{
    schema.write_additional_info(out);
    syntax::write_line(out, syntax::escape_option_name(schema.get_name()) + " = " + schema._params.default_value);
    return out;
}

} // namespace inicpp
