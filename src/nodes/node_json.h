// The compact JSON form of a node tree: seven members per node, in field order, values as
// their display texts, no blanks.
#pragma once

#include <string>

#include "types.h"

namespace ostrel {

// Appends the JSON text of `node` and its subtree to `out`. It cannot fail.
void write_json(const Node& node, std::string& out);

// A JSON string literal with only the escapes \" \\ \b \t \n \f \r and \u00xx for the other
// control characters; everything else is copied byte for byte.
void write_json_string(std::string_view text, std::string& out);

}  // namespace ostrel
