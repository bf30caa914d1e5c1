// Formula expansion: references to computed nodes are replaced by those nodes' formulas,
// recursively, down to input nodes, keeping every byte outside reference tokens.
//
// An expanded formula evaluates to the value of the formula it was made from. A node's
// formula therefore stands in for a reference to the node only where it means the same:
// it parses, gives one value (never several to be spread), holds no right and no children
// reference after its own expansion (they would read another node where it is put), and,
// put into a single formula, holds for every dimension (the node has one formula too).
// A reference to anything else stays as written, and so does every token of a formula
// that does not parse.
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
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "nodes/tree_index.h"
#include "support/interrupt.h"
#include "support/result.h"
#include "types.h"

namespace ostrel::tree {

// A reference whose expansion would make the formula being built longer than this stays
// as written.
inline constexpr std::uint64_t kMaxExpandedFormulaBytes = std::uint64_t{1} << 20;
// The formulas that one call returns may not together be longer than this.
inline constexpr std::uint64_t kMaxExpandedTreeBytes = std::uint64_t{256} << 20;
inline constexpr std::string_view kExpandedTreeTooLarge =
    "expanded tree too large: its formulas would take more than 268435456 bytes (256 MiB)";

// Why a call gives no formulas: they would pass kMaxExpandedTreeBytes, or the caller's
// interrupt stopped the walk.
enum class ExpansionFailure : std::uint8_t { TooLarge, Stopped };

// A reference token of a formula that parses, with the part it plays in the formula.
struct ReferenceToken {
  enum class Kind : std::uint8_t {
    Name,      // "@Cost", "@Cost[2]": nodes by name
    Modifier,  // the argument of total or ratio: it names a node and is never expanded
    Children,  // "children[2]", or "children" where its values are not spread
    Spread,    // "children" as a whole argument of an aggregation, which spreads its values
    Right,     // "right", "right[2]": the node's own later dimensions
  };
  std::size_t start;  // byte range of the scanner's token
  std::size_t end;
  Kind kind;
  // A name whose values are the formula's own result: several values if several nodes bear it.
  bool own = false;
  std::string name;  // of a Name or Modifier
  std::optional<std::uint64_t> index;
  bool spaced_index = false;  // blanks inside the brackets: "children[ 2 ]" picks no child here
};

// The reference tokens of a formula in order, each as the syntax tree reads it; none when
// the formula does not parse (or its tokens and its syntax tree disagree), which keeps
// the whole formula as written.
std::vector<ReferenceToken> read_references(std::string_view formula);

// The expansion of every formula of a tree. The tree must outlive it, unchanged.
class TreeExpansion {
 public:
  // Once the interrupt (when given) asks to stop, the walk ends at once and stopped() says
  // so; the expansions are then unfinished and only good for dropping.
  explicit TreeExpansion(const Node& root, Interrupt* interrupt = nullptr);

  bool stopped() const { return poll_.stopped(); }

  const TreeIndex& index() const { return index_; }
  // Formula k of a node: its single formula (k = 0) or the k-th of its list.
  std::uint64_t length(NodeIndex node, std::size_t k) const;
  std::string text(NodeIndex node, std::size_t k) const;
  // The node's expanded formulas, in the shape of its own.
  AnyDim<std::string> formulas(NodeIndex node) const;
  // The total length of the node's expanded formulas.
  std::uint64_t total_length(NodeIndex node) const;
  // Every node's expanded formulas, by node. Expansions shared between them are written
  // once and copied from there.
  std::vector<AnyDim<std::string>> all_formulas() const;

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
    std::vector<Piece> pieces;
    std::uint64_t length;
    std::uint64_t leading_blanks;  // blanks, tabs, carriage returns and line feeds
    int first_after_blanks;        // the byte after them, or -1
    bool stands_in;                // it means the same in any node: it may replace a reference
  };
  // What replaces a reference token: the token as written, or an expansion, wrapped in
  // parentheses without its leading blanks and "=" when `skip` is not 0.
  struct Replacement {
    std::string_view as_written;
    ExpansionId expansion = kNoExpansion;
    std::uint64_t skip = 0;
  };
  static constexpr NodeIndex kNoNode = ~NodeIndex{0};
  // A reference token of a formula, by byte range, with the node a name selects, decided
  // once: kNoNode when it selects none or several.
  struct Range {
    std::size_t start;
    std::size_t end;
    ReferenceToken::Kind kind;
    NodeIndex target = kNoNode;
    std::uint64_t child = 0;  // of Children: the child it picks, counting from 1; 0 for none
  };
  // What a distinct formula text holds: its reference tokens, and whether its expansion
  // may stand in for a reference at all (it reads other nodes, gives one value, holds no
  // right); whether it does is known once it is expanded.
  struct Reading {
    std::uint32_t first;  // into ranges_
    std::uint32_t count;
    bool may_stand_in;
  };
  static constexpr std::uint32_t kNoReading = ~std::uint32_t{0};
  // The cache entry of a node in a dimension.
  struct CacheEntry {
    ExpansionId formula = kNoExpansion;  // the expansion of the formula, once done
    bool done = false;                   // not yet: its formula is being expanded, and the entry cuts a cycle
    bool clean = false;                  // done without meeting a cut, so the same wherever it is expanded
  };
  // A child as a children reference writes it: the reference that selects exactly it.
  struct ChildReference {
    std::optional<std::string> text;
  };
  struct Frame;
  // A formula to expand before the reference that asked for it can be replaced.
  struct Need {
    NodeIndex node;
    std::size_t dimension;
    std::size_t formula;  // flat formula number
    std::size_t slot;     // cache slot
  };
  // The outcome of one reference: its replacement, or a formula to expand first.
  struct Step {
    std::optional<Replacement> replacement;
    std::optional<Need> need;
    bool cut = false;      // the replacement stands for a formula still being expanded
    bool context = false;  // the token stays as written and reads the node it stands in
  };

  std::size_t formula_number(NodeIndex node, std::size_t k) const { return formula_offset_[node] + k; }
  std::size_t formula_count(NodeIndex node) const { return formula_offset_[node + 1] - formula_offset_[node]; }
  std::string_view formula_text(NodeIndex node, std::size_t k) const { return texts_[formula_number(node, k)]; }
  // The dimension in which a node's formula k is its own output: 0 for a single formula,
  // which holds for every dimension and is expanded once for all of them.
  std::size_t own_dimension(NodeIndex node, std::size_t k) const;
  std::span<const Range> ranges(std::size_t formula) const;
  bool may_stand_in(std::size_t formula) const {
    return reading_of_[formula] != kNoReading && readings_[reading_of_[formula]].may_stand_in;
  }
  std::uint64_t length_of(const Piece& piece) const;
  std::uint64_t length_of(const Replacement& replacement) const;

  Reading read(std::string_view formula);
  // The one node that a name with an optional index selects, or kNoNode.
  NodeIndex selected(std::string_view name, std::optional<std::uint64_t> index) const;
  const ChildReference& child_reference(NodeIndex node);
  void expand_formula(NodeIndex node, std::size_t k);
  // Works on the frame until it is finished (true) or needs another formula first.
  bool run(Frame& frame, std::vector<Frame>& frames);
  // A reference to `target` in a formula of `from` expanded for `dimension`.
  Step expand_node_reference(std::string_view reference, NodeIndex target, NodeIndex from, std::size_t dimension);
  Replacement replacement(const CacheEntry& entry, std::string_view reference) const;
  // The children token with an index at the frame's current position: child `n`, counting
  // from 1 (0 for none).
  Step expand_child_reference(const Frame& frame, std::string_view token, std::uint64_t n);
  // The spread children token at the frame's current position; nullopt when the pieces
  // have been appended to the frame.
  std::optional<Step> expand_children_reference(Frame& frame, std::string_view token);
  void append(std::vector<Piece>& pieces, std::uint64_t& length, const Replacement& replacement) const;
  ExpansionId finish(std::vector<Piece> pieces, std::uint64_t length, bool stands_in);
  // Appends the expansion but its first `skip` bytes; `written` (by expansion, may be
  // empty) holds expansions already written out, to be copied instead.
  void write(ExpansionId id, std::uint64_t skip, const std::vector<const std::string*>& written,
             std::string& out) const;

  InterruptPoll poll_;
  TreeIndex index_;
  std::size_t dimensions_;                   // the longest formula list, at least 1
  std::vector<std::size_t> formula_offset_;  // by node, into the flat formula numbers
  std::vector<std::string_view> texts_;      // by flat formula number: kept close together
  std::vector<std::uint32_t> reading_of_;    // by flat formula number, into readings_, or kNoReading
  std::vector<Reading> readings_;
  std::vector<Range> ranges_;
  std::vector<std::uint32_t> occurrence_;         // by node: its place among its name's bearers, from 1; 0 unknown
  std::vector<std::optional<CacheEntry>> cache_;  // by referenced node and dimension
  std::vector<std::optional<ChildReference>> child_references_;  // by node, made on first use
  std::vector<Expansion> expansions_;
  std::vector<Replacement> outputs_;  // by flat formula number
  std::vector<bool> clean_outputs_;   // by flat formula number: an expansion met no cut
};

// Replaces every formula of the tree by its expansion; fails, changing nothing, when the
// expanded formulas together would be longer than kMaxExpandedTreeBytes or the interrupt
// stopped the walk.
Result<std::monostate, ExpansionFailure> expand_tree_formulas(Node& root, Interrupt* interrupt = nullptr);

}  // namespace ostrel::tree
