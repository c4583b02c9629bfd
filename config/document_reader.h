#pragma once

#include <istream>

#include "config/config.h"

namespace inicpp {

// Builds a document from INI text; throws parser_exception naming the line
// of the first syntax error.
config read_document(std::istream& in);

} // namespace inicpp
