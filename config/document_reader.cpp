#include "config/document_reader.h"

#include <optional>
#include <string>
#include <vector>

#include "config/exception.h"
#include "config/ini_syntax.h"
#include "config/string_utils.h"

namespace inicpp {

namespace {

class document_reader {
public:
    config read(std::istream& in)
    {
        std::string line;
        while (std::getline(in, line)) {
            ++_line_number;
            _read_line(line);
        }
        if (in.bad())
            throw parser_exception("File reading error");
        _close_section();
        return std::move(_document);
    }

private:
    void _read_line(const std::string& raw)
    {
        const std::string line = string_utils::left_trim(raw.substr(0, syntax::find_unescaped(raw, '#')));
        if (line.empty())
            return;
        if (line[0] == '[')
            _read_header(string_utils::right_trim(line));
        else
            _read_option(line);
    }

    void _read_header(const std::string& header)
    {
        if (header.back() != ']')
            _fail("Section not ended on line ");
        const std::string name = syntax::unescape(header.substr(1, header.size() - 2));
        if (name.empty())
            _fail("Section name cannot be empty on line ");
        _close_section();
        _open.emplace(name);
    }

    void _read_option(const std::string& line)
    {
        const size_t equals = syntax::find_unescaped(line, '=');
        if (equals == std::string::npos)
            _fail("Unknown element option expected on line ");
        if (!_open)
            _fail("Option not in section on line ");
        if (equals + 1 == line.size())
            _fail("Option value cannot be empty on line ");
        const std::string name = syntax::unescape(syntax::trim(line.substr(0, equals)));
        if (name.empty())
            _fail("Option name cannot be empty on line ");

        std::vector<std::string> values;
        for (const std::string& piece : syntax::split_values(line.substr(equals + 1)))
            values.push_back(syntax::is_link(piece) ? _resolve_link(piece) : syntax::unescape(piece));
        _open->add_option(option(name, values));
    }

    // ${section@option}: the first value of an option in the open section or
    // in a section that stands earlier in the file.
    std::string _resolve_link(const std::string& link)
    {
        const std::string target = link.substr(2, link.size() - 3);
        const size_t at = syntax::find_unescaped(target, '@');
        if (at == std::string::npos || at + 1 == target.size())
            _fail("Bad format of link on line ");
        const std::string section_name = syntax::unescape(target.substr(0, at));
        const std::string option_name = syntax::unescape(target.substr(at + 1));
        if (section_name.empty())
            _fail("Section name in link cannot be empty on line ");

        const section* linked = nullptr;
        if (_open && _open->get_name() == section_name)
            linked = &*_open;
        else if (_document.contains(section_name))
            linked = &_document[section_name];
        else
            _fail("Bad link on line ");
        if (!linked->contains(option_name))
            _fail("Option name in link not found on line ");
        return (*linked)[option_name].get<string_ini_t>();
    }

    void _close_section()
    {
        if (_open)
            _document.add_section(*_open);
        _open.reset();
    }

    [[noreturn]] void _fail(const std::string& message) const
    {
        throw parser_exception(message + std::to_string(_line_number));
    }

    config _document;
    std::optional<section> _open;
    size_t _line_number = 0;
};

} // namespace

config read_document(std::istream& in) { return document_reader().read(in); }

} // namespace inicpp
