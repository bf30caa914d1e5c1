// Formula expansion: references to computed nodes are replaced by those nodes' formulas,
// recursively, down to input nodes, keeping every byte outside reference tokens.
//
// One walk over the tree (each node's formulas, then its children, depth first) decides
// every expansion, with a cache by referenced node and dimension that also cuts cycles.
// Expansions are kept as shared pieces (byte ranges of the source formulas, fixed literals
// and references to other expansions), so the walk costs the size of the tree however
// large the texts would be; text is written only for the formulas a caller asks for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "result.h"
#include "tree_index.h"
#include "types.h"

namespace ostrel::tree {

// A reference whose expansion would make the formula being built longer than this stays
// as written.
inline constexpr std::uint64_t kMaxExpandedFormulaBytes = std::uint64_t{1} << 20;
// The formulas that one call returns may not together be longer than this.
inline constexpr std::uint64_t kMaxExpandedTreeBytes = std::uint64_t{256} << 20;
inline constexpr std::string_view kExpandedTreeTooLarge =
    "expanded tree too large: its formulas would take more than 268435456 bytes (256 MiB)";

// The failure of a call whose formulas would pass kMaxExpandedTreeBytes.
struct ExpandedTreeTooLarge {};

// Whether the token scanner finds a node reference token in the formula.
bool contains_references(std::string_view formula);

// The expansion of every formula of a tree. The tree must outlive it, unchanged.
class TreeExpansion {
 public:
  explicit TreeExpansion(const Node& root);

  const TreeIndex& index() const { return index_; }
  // Formula k of a node: its single formula (k = 0) or the k-th of its list.
  std::uint64_t length(NodeIndex node, std::size_t k) const;
  std::string text(NodeIndex node, std::size_t k) const;
  // The node's expanded formulas, in the shape of its own.
  AnyDim<std::string> formulas(NodeIndex node) const;
  // The total length of the node's expanded formulas.
  std::uint64_t total_length(NodeIndex node) const;

 private:
  using ExpansionId = std::uint32_t;
  static constexpr ExpansionId kNoExpansion = ~ExpansionId{0};

  // Bytes of a source formula or a literal, or part of another expansion: all of it but
  // its first `skip` bytes.
  struct Piece {
    std::string_view text;
    ExpansionId expansion = kNoExpansion;
    std::uint64_t skip = 0;
  };
  struct Expansion {
    std::size_t first_piece;
    std::size_t piece_count;
    std::uint64_t length;
    std::uint64_t leading_blanks;  // blanks, tabs, carriage returns and line feeds
    int first_after_blanks;        // the byte after them, or -1
  };
  // What replaces a reference token: the token as written, or an expansion, wrapped in
  // parentheses without its leading blanks and "=" when `skip` is not 0.
  struct Replacement {
    std::string_view as_written;
    ExpansionId expansion = kNoExpansion;
    std::uint64_t skip = 0;
  };
  // A reference token of a formula, by byte range.
  struct Range {
    std::size_t start;
    std::size_t end;
  };
  struct Frame;
  // A formula to expand before the reference that asked for it can be replaced.
  struct Need {
    NodeIndex node;
    std::size_t dimension;
    std::size_t formula;  // flat formula number
    std::size_t slot;     // cache slot
    std::string_view as_written;
  };
  // The outcome of one reference: its replacement, or a formula to expand first.
  struct Step {
    std::optional<Replacement> replacement;
    std::optional<Need> need;
  };

  std::size_t formula_number(NodeIndex node, std::size_t k) const { return formula_offset_[node] + k; }
  std::size_t formula_count(NodeIndex node) const { return formula_offset_[node + 1] - formula_offset_[node]; }
  std::string_view formula_text(NodeIndex node, std::size_t k) const;
  std::uint64_t length_of(const Piece& piece) const;
  std::uint64_t length_of(const Replacement& replacement) const;
  const std::optional<std::string>& preferred_reference(NodeIndex node);

  // Whether any formula of the node holds a reference; a visible node without one is an
  // input, and references to its name stay as written.
  bool has_references(NodeIndex node) const;
  void expand_formula(NodeIndex node, std::size_t dimension, std::size_t formula);
  // Works on the frame until it is finished (true) or needs another formula first.
  bool run(Frame& frame, std::vector<Frame>& frames);
  Step expand_node_reference(std::string_view reference, std::size_t dimension);
  // The children reference token at the frame's current position; nullopt when the
  // pieces have been appended to the frame.
  std::optional<Step> expand_children_reference(Frame& frame, std::string_view token);
  void append(std::vector<Piece>& pieces, std::uint64_t& length, const Replacement& replacement) const;
  ExpansionId finish(std::vector<Piece> pieces, std::uint64_t length);
  void write(ExpansionId id, std::uint64_t skip, std::string& out) const;

  TreeIndex index_;
  std::size_t dimensions_;  // the longest formula list, at least 1
  std::vector<std::size_t> formula_offset_;  // by node, into the flat formula numbers
  std::vector<std::size_t> range_offset_;    // by flat formula number, into ranges_
  std::vector<Range> ranges_;
  std::vector<std::optional<Replacement>> cache_;  // by referenced node and dimension
  std::vector<std::optional<std::optional<std::string>>> preferred_;  // by node, made on first use
  std::vector<Piece> pieces_;
  std::vector<Expansion> expansions_;
  std::vector<Replacement> outputs_;  // by flat formula number
};

// Replaces every formula of the tree by its expansion; fails, changing nothing, when the
// expanded formulas together would be longer than kMaxExpandedTreeBytes.
Result<std::monostate, ExpandedTreeTooLarge> expand_tree_formulas(Node& root);

}  // namespace ostrel::tree
