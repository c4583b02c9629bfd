#pragma once

#include <istream>
#include <ostream>
#include <string>

#include "config/config.h"
#include "config/schema.h"

namespace inicpp {

// Reads and writes INI documents. Reading throws parser_exception on a
// syntax error; writing to a path that cannot be opened writes nothing.
class parser {
public:
    static config load(const std::string& text);
    static config load(const std::string& text, schema& schm, schema_mode mode);
    static config load(std::istream& in);
    static config load(std::istream& in, schema& schm, schema_mode mode);
    static config load_file(const std::string& path);
    static config load_file(const std::string& path, schema& schm, schema_mode mode);

    // Plain document.
    static void save(const config& doc, std::ostream& out);
    static void save(const config& doc, const std::string& path);
    // Document annotated by the schema; options the document lacks are written with their defaults.
    static void save(const config& doc, const schema& schm, std::ostream& out);
    static void save(const config& doc, const schema& schm, const std::string& path);
    // A document made of the schema's defaults, annotated.
    static void save(const schema& schm, std::ostream& out);
    static void save(const schema& schm, const std::string& path);
};

} // namespace inicpp
