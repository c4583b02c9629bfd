#include "config/parser.h"

#include <fstream>
#include <sstream>

#include "config/document_reader.h"
#include "config/exception.h"

namespace inicpp {

namespace {

template <typename... Args>
void save_to_file(const std::string& path, const Args&... args)
{
    std::ofstream file(path, std::ios::out | std::ios::trunc);
    if (file)
        parser::save(args..., file);
}

} // namespace

config parser::load(const std::string& text)
{
    std::istringstream in(text);
    return load(in);
}

config parser::load(const std::string& text, schema& schm, schema_mode mode)
{
    std::istringstream in(text);
    return load(in, schm, mode);
}

config parser::load(std::istream& in) { return read_document(in); }

config parser::load(std::istream& in, schema& schm, schema_mode mode)
{
    config doc = read_document(in);
    schm.validate_config(doc, mode);
    return doc;
}

config parser::load_file(const std::string& path)
{
    std::ifstream file(path);
    if (!file)
        throw parser_exception("File reading error");
    return load(file);
}

config parser::load_file(const std::string& path, schema& schm, schema_mode mode)
{
    config doc = load_file(path);
    schm.validate_config(doc, mode);
    return doc;
}

void parser::save(const config& doc, std::ostream& out) { out << doc; }

void parser::save(const config& doc, const std::string& path) { save_to_file(path, doc); }

void parser::save(const config& doc, const schema& schm, std::ostream& out)
{
    for (const auto& sect : doc) {
        if (!schm.contains(sect->get_name())) {
            out << *sect;
            continue;
        }
        const section_schema& sect_schema = schm[sect->get_name()];
        sect_schema.write_additional_info(out);
        sect_schema.write_section_name(out);
        for (const auto& opt : *sect) {
            if (sect_schema.contains(opt->get_name()))
                sect_schema[opt->get_name()].write_additional_info(out);
            out << *opt;
        }
        for (const auto& opt_schema : sect_schema)
            if (!sect->contains(opt_schema->get_name()))
                out << *opt_schema;
    }
}

void parser::save(const config& doc, const schema& schm, const std::string& path) { save_to_file(path, doc, schm); }

void parser::save(const schema& schm, std::ostream& out) { out << schm; }

void parser::save(const schema& schm, const std::string& path) { save_to_file(path, schm); }

} // namespace inicpp
