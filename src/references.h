// Node names as the reference texts that formulas hold ("@Cost", "@{Unit cost}", "@Cost[2]")
// and back. Which form a name takes is decided by the token scanner, never by a character
// table.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "parser/ast.h"
#include "parser/formula_error.h"
#include "support/result.h"

namespace ostrel {

// Whether `text` stands alone as one node reference token, as the scanner reads it after "=".
bool is_valid_node_reference(std::string_view text);

// "@name" when that works, else "@{name}"; nothing when neither reads back as exactly this
// name without an index (an empty name, "a}b", or "a[1]" in the plain form).
std::optional<std::string> get_preferred_reference_format(std::string_view name);

// The preferred reference with "[index]" appended when `count` nodes (2 or more) share the
// name; the empty text for a name without a reference form.
std::string build_unambiguous_name(std::string_view name, std::size_t index, std::size_t count);

// The same from a preferred form already found (`build_unambiguous_name` of its name), for
// callers that write many references to one name.
std::string with_namesake_index(std::string preferred, std::size_t index, std::size_t count);

// A node reference read on its own: the name it selects, with its index if any.
struct ParsedReference {
  std::string name;
  std::optional<std::uint64_t> index;
};

// The reference at the start of `text` (anything after it is ignored).
Result<ParsedReference, parser::FormulaError> parse_node_reference_from_str(std::string_view text);

}  // namespace ostrel
