// The reference tokens of a formula as the tree tools read them: which of the three
// reference rules made each token, the name and index it selects, and its byte span. The
// tools replace or follow references by these spans and never read the token text again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "parser/tokenize.h"

namespace ostrel::parser {

struct ScannedReference {
  enum class Kind : std::uint8_t {
    Node,      // "@Cost", "@{Unit cost}[2]": nodes by name
    Children,  // "children", "Children[2]"
    Right,     // "right", "right[1]"
  };
  Kind kind;
  std::size_t start;  // the scanner's token, with any blanks it took in ("children " in "children + 1")
  std::size_t length;
  std::string_view name;  // of a node reference, as written between "@" or "@{" and "}" or "["
  // The number in brackets. The brackets of children and right may hold blanks, even between
  // digits, which the tree builder refuses: "children[1 2]" is read here as its first digits.
  std::optional<std::uint64_t> index;
  bool spaced_index = false;  // blanks stand inside the brackets

  std::size_t end() const { return start + length; }
};

// The reference that a token of the scanner is, or nothing for any other token. A
// reference whose index does not fit 64 bits selects no node, and is not read either.
std::optional<ScannedReference> read_reference(std::string_view formula, const ScannedToken& token);

// Every reference of the formula that `read_reference` reads, in order.
std::vector<ScannedReference> scan_references(std::string_view formula);

}  // namespace ostrel::parser
