#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

// The escape and value rules of the INI text, shared by reading and writing.
// A backslash makes the next character literal; a character is escaped when
// an odd run of backslashes stands right before it.
namespace inicpp {
namespace syntax {

std::size_t find_unescaped(const std::string& text, char wanted, std::size_t from = 0);
// Drops each backslash that is not itself escaped, keeping the character after it.
std::string unescape(const std::string& text);
// Removes leading white space and trailing white space that is not escaped.
std::string trim(const std::string& text);

// The pieces of a value text, trimmed, escapes still in place. The separator is
// "," when the text holds an unescaped ",", else ":".
std::vector<std::string> split_values(const std::string& value_text);
// A raw piece of the form ${section@option}.
bool is_link(const std::string& raw_piece);
// The values of a value text without link resolution (schema defaults).
std::vector<std::string> parse_values(const std::string& value_text);

// Escapes that let written names and values read back unchanged.
std::string escape_value(const std::string& value);
std::string escape_option_name(const std::string& name);
std::string section_header(const std::string& name);

// One line of output: line feed, then flush.
void write_line(std::ostream& out, const std::string& line);
// One "#" line per line of the comment; none for an empty comment.
void write_comment(std::ostream& out, const std::string& comment);

} // namespace syntax
} // namespace inicpp
