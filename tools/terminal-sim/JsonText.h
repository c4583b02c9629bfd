#pragma once

// The flat JSON objects of string members that the terminal exchanges.

#include "LibMisc/json.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace terminal_sim {

using StringMembers = std::vector<std::pair<std::string, std::string>>;

// The text as a JSON string, quotes included.
std::string jsonString(const std::string& text);
// An object whose members are the given strings, in the given order.
std::string jsonObject(const StringMembers& members);

// The member as text, \u escapes decoded to UTF-8; nothing when it is absent.
// std::invalid_argument when it is there but not a JSON string.
std::optional<std::string> stringMember(json::JSON& object, const std::string& key);

} // namespace terminal_sim
