#include "tree/expand.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <unordered_map>
#include <utility>

#include "invariant.h"
#include "parser/lexical.h"
#include "parser/tokenize.h"
#include "references.h"

namespace ostrel::tree {

namespace {

// The index of "children[n]" as written between the brackets: digits only, no blanks.
std::optional<std::uint64_t> read_index(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

bool contains_references(std::string_view formula) {
  for (const parser::Token& token : parser::scan_tokens(formula)) {
    if (token.kind == parser::TokenKind::NodeReference) return true;
  }
  return false;
}

// A formula being expanded: how far its reference tokens have been replaced, and where its
// expansion goes when it is done.
struct TreeExpansion::Frame {
  NodeIndex node;
  std::size_t dimension;
  std::size_t formula;
  std::optional<std::size_t> slot;  // the cache slot of a referenced formula
  std::string_view as_written;      // the reference that asked for it
  std::size_t next = 0;             // the next reference token
  std::size_t copied = 0;           // formula bytes taken so far
  std::vector<Piece> pieces{};
  std::uint64_t length = 0;
  bool clean = true;  // no replacement so far stood for a formula still being expanded
  // A children reference being joined at token `next`.
  std::size_t join_child = 0;
  std::size_t join_items = 0;
  std::vector<Piece> join{};
  std::uint64_t join_length = 0;
};

TreeExpansion::TreeExpansion(const Node& root) : index_(root), dimensions_(1) {
  const std::size_t n = index_.size();
  formula_offset_.reserve(n + 1);
  formula_offset_.push_back(0);
  for (NodeIndex i = 0; i < n; ++i) {
    const AnyDim<std::string>& formula = index_.node(i).formula;
    const std::size_t count = formula.is_single() ? 1 : formula.multi_values().size();
    dimensions_ = std::max(dimensions_, count);
    formula_offset_.push_back(formula_offset_.back() + count);
  }
  // Every formula is scanned once; only its reference tokens matter from then on, since
  // every other byte is copied as it stands. A reference token begins with "@" or with
  // the "c" of "children" or the "r" of "right", in either case: without any of these
  // bytes a formula needs no scan.
  range_offset_.reserve(formula_offset_.back() + 1);
  texts_.reserve(formula_offset_.back());
  for (NodeIndex i = 0; i < n; ++i) {
    for (const std::string& formula : index_.node(i).formula) {
      texts_.push_back(formula);
      range_offset_.push_back(ranges_.size());
      if (formula.find_first_of("@cCrR") == std::string::npos) continue;
      for (const parser::Token& token : parser::scan_tokens(formula)) {
        if (token.kind != parser::TokenKind::NodeReference) continue;
        ranges_.push_back(Range{token.start, token.end, kNoNode, token.text.starts_with("children")});
      }
    }
  }
  range_offset_.push_back(ranges_.size());
  // Where each token points needs to know which nodes are inputs, so it comes second.
  // The same reference text recurs in every dimension: it is read once.
  std::unordered_map<std::string_view, NodeIndex> targets;
  for (std::size_t f = 0; f < texts_.size(); ++f) {
    for (std::size_t r = range_offset_[f]; r < range_offset_[f + 1]; ++r) {
      Range& range = ranges_[r];
      if (range.children) continue;
      const std::string_view token = texts_[f].substr(range.start, range.end - range.start);
      const auto [known, added] = targets.try_emplace(token, kNoNode);
      if (added) known->second = target_of(token);
      range.target = known->second;
    }
  }
  cache_.assign(n * dimensions_, std::nullopt);
  child_references_.assign(n, std::nullopt);
  outputs_.resize(formula_offset_.back());
  clean_outputs_.assign(formula_offset_.back(), false);
  // Each node's formulas, then its children, depth first: the index is in that order.
  for (NodeIndex i = 0; i < n; ++i) {
    for (std::size_t k = 0; k < formula_count(i); ++k) expand_formula(i, k);
  }
}

bool TreeExpansion::has_references(NodeIndex node) const {
  const std::size_t first = formula_number(node, 0);
  return range_offset_[first] != range_offset_[first + formula_count(node)];
}

std::size_t TreeExpansion::own_dimension(NodeIndex node, std::size_t k) const {
  return index_.node(node).formula.is_single() ? 0 : k;
}

NodeIndex TreeExpansion::target_of(std::string_view reference) const {
  if (reference.starts_with("right")) return kNoNode;
  const auto parsed = parse_node_reference_from_str(reference);
  if (!parsed) return kNoNode;
  // An index other than 1 among the nodes of a name that only one node bears names nothing.
  if (parsed.value().index && *parsed.value().index != 1) return kNoNode;
  // A name that several visible nodes bear, or none, stays; so does the name of an input.
  const std::span<const NodeIndex> candidates = index_.named(parsed.value().name);
  if (candidates.size() != 1 || !has_references(candidates[0])) return kNoNode;
  return candidates[0];
}

const TreeExpansion::ChildReference& TreeExpansion::child_reference(NodeIndex node) {
  std::optional<ChildReference>& child = child_references_[node];
  if (!child) {
    child = ChildReference{get_preferred_reference_format(index_.node(node).name)};
    if (child->text) child->target = target_of(*child->text);
  }
  return *child;
}

std::uint64_t TreeExpansion::length_of(const Piece& piece) const {
  return piece.expansion == kNoExpansion ? piece.text.size() : expansions_[piece.expansion].length - piece.skip;
}

std::uint64_t TreeExpansion::length_of(const Replacement& replacement) const {
  if (replacement.expansion == kNoExpansion) return replacement.as_written.size();
  const std::uint64_t inner = expansions_[replacement.expansion].length - replacement.skip;
  return replacement.skip == 0 ? inner : inner + 2;
}

void TreeExpansion::append(std::vector<Piece>& pieces, std::uint64_t& length, const Replacement& replacement) const {
  length += length_of(replacement);
  if (replacement.expansion == kNoExpansion) {
    if (!replacement.as_written.empty()) pieces.push_back(Piece{replacement.as_written});
  } else if (replacement.skip == 0) {
    pieces.push_back(Piece{{}, replacement.expansion, 0});
  } else {
    pieces.push_back(Piece{"("});
    pieces.push_back(Piece{{}, replacement.expansion, replacement.skip});
    pieces.push_back(Piece{")"});
  }
}

TreeExpansion::ExpansionId TreeExpansion::finish(std::vector<Piece> pieces, std::uint64_t length) {
  // Leading blanks and the byte after them decide whether the expansion is parenthesised
  // where it is used. An expansion that skips bytes of another is always preceded by "(".
  std::uint64_t blanks = 0;
  int first = -1;
  for (const Piece& piece : pieces) {
    if (piece.expansion == kNoExpansion) {
      for (const char c : piece.text) {
        if (!parser::lexical::is_blank(c)) {
          first = static_cast<unsigned char>(c);
          break;
        }
        ++blanks;
      }
    } else {
      if (piece.skip != 0) invariant_failure("a partial expansion opens an expansion");
      const Expansion& inner = expansions_[piece.expansion];
      blanks += inner.leading_blanks;
      first = inner.first_after_blanks;
    }
    if (first >= 0) break;
  }
  if (expansions_.size() >= kNoExpansion) invariant_failure("too many expansions");
  expansions_.push_back(Expansion{std::move(pieces), length, blanks, first});
  return static_cast<ExpansionId>(expansions_.size() - 1);
}

TreeExpansion::CacheEntry TreeExpansion::done_entry(ExpansionId formula, std::string_view as_written,
                                                    bool clean) const {
  const Expansion& e = expansions_[formula];
  Replacement replacement{as_written};
  if (e.first_after_blanks == '=') {
    replacement = Replacement{{}, formula, e.leading_blanks + 1};
  } else if (e.length > 0) {
    replacement = Replacement{{}, formula, 0};
  }
  return CacheEntry{replacement, formula, true, clean};
}

void TreeExpansion::expand_formula(NodeIndex node, std::size_t k) {
  const std::size_t formula = formula_number(node, k);
  if (!has_ranges(formula)) {
    outputs_[formula] = Replacement{formula_text(node, k)};
    return;
  }
  const std::size_t dimension = own_dimension(node, k);
  // A formula that a reference expanded without meeting a cycle expands the same here.
  const std::optional<CacheEntry>& cached = cache_[node * dimensions_ + dimension];
  if (cached && cached->done && cached->clean) {
    outputs_[formula] = Replacement{{}, cached->formula, 0};
    clean_outputs_[formula] = true;
    return;
  }
  // References nest as deep as the tree's chains of formulas: frames instead of recursion.
  std::vector<Frame> frames;
  frames.push_back(Frame{node, dimension, formula, std::nullopt, {}});
  while (!frames.empty()) {
    if (!run(frames.back(), frames)) continue;
    Frame done = std::move(frames.back());
    frames.pop_back();
    const ExpansionId id = finish(std::move(done.pieces), done.length);
    if (done.slot) {
      cache_[*done.slot] = done_entry(id, done.as_written, done.clean);
    } else {
      outputs_[done.formula] = Replacement{{}, id, 0};
      clean_outputs_[done.formula] = done.clean;
    }
  }
}

bool TreeExpansion::run(Frame& frame, std::vector<Frame>& frames) {
  const std::string_view text = texts_[frame.formula];
  const std::size_t base = range_offset_[frame.formula];
  const std::size_t count = range_offset_[frame.formula + 1] - base;
  for (; frame.next < count; ++frame.next) {
    const Range range = ranges_[base + frame.next];
    if (frame.copied < range.start) {
      frame.pieces.push_back(Piece{text.substr(frame.copied, range.start - frame.copied)});
      frame.length += range.start - frame.copied;
      frame.copied = range.start;
    }
    const std::string_view token = text.substr(range.start, range.end - range.start);
    std::optional<Step> step = range.children ? expand_children_reference(frame, token)
                                              : expand_node_reference(token, range.target, frame.dimension);
    if (step && step->need) {
      const Need need = *step->need;
      // `frame` is not used after this: the push may move it. The token is looked at
      // again when the needed formula is done, and then found in the cache.
      frames.push_back(Frame{need.node, need.dimension, need.formula, need.slot, need.as_written});
      return false;
    }
    if (step) {
      if (step->cut) frame.clean = false;
      Replacement replacement = *step->replacement;
      if (frame.length + length_of(replacement) > kMaxExpandedFormulaBytes) replacement = Replacement{token};
      append(frame.pieces, frame.length, replacement);
    }
    frame.copied = range.end;
  }
  if (frame.copied < text.size()) {
    frame.pieces.push_back(Piece{text.substr(frame.copied)});
    frame.length += text.size() - frame.copied;
    frame.copied = text.size();
  }
  return true;
}

TreeExpansion::Step TreeExpansion::expand_node_reference(std::string_view reference, NodeIndex target,
                                                         std::size_t dimension) {
  const Step as_written{Replacement{reference}, std::nullopt};
  if (target == kNoNode) return as_written;
  // Only names that one visible node bears are ever cached, so the node stands for the name.
  const std::size_t slot = target * dimensions_ + dimension;
  if (const std::optional<CacheEntry>& cached = cache_[slot])
    return Step{cached->replacement, std::nullopt, !cached->done};
  const bool single = index_.node(target).formula.is_single();
  const std::size_t k = single ? 0 : dimension;
  if (k >= formula_count(target)) return as_written;
  const std::size_t formula = formula_number(target, k);
  if (!has_ranges(formula)) return as_written;
  // The node's own formula, expanded without meeting a cycle, is what this reference needs.
  if (own_dimension(target, k) == dimension && clean_outputs_[formula]) {
    cache_[slot] = done_entry(outputs_[formula].expansion, reference, true);
    return Step{cache_[slot]->replacement, std::nullopt};
  }
  // A reference back to this node while its formula is expanded stays as written.
  cache_[slot] = CacheEntry{Replacement{reference}};
  return Step{std::nullopt, Need{target, dimension, formula, slot, reference}};
}

std::optional<TreeExpansion::Step> TreeExpansion::expand_children_reference(Frame& frame, std::string_view token) {
  const Step as_written{Replacement{token}, std::nullopt};
  const std::vector<NodeIndex>& children = index_.children(frame.node);
  if (const std::size_t open = token.find('['); open != std::string_view::npos) {
    const std::size_t close = token.find(']', open);
    if (close == std::string_view::npos) return as_written;
    const std::optional<std::uint64_t> n = read_index(token.substr(open + 1, close - open - 1));
    if (!n || *n == 0 || *n > children.size()) return as_written;
    const ChildReference& child = child_reference(children[*n - 1]);
    if (!child.text) return as_written;
    return expand_node_reference(*child.text, child.target, frame.dimension);
  }
  if (children.empty()) return as_written;
  // Each child in turn, joined by "; "; a child whose formula must be expanded first
  // suspends the join, which goes on from that child.
  for (; frame.join_child < children.size(); ++frame.join_child) {
    const ChildReference& child = child_reference(children[frame.join_child]);
    if (!child.text) continue;
    Step step = expand_node_reference(*child.text, child.target, frame.dimension);
    if (step.need) return step;
    if (step.cut) frame.clean = false;
    Replacement item = *step.replacement;
    const std::uint64_t separator = frame.join_items > 0 ? 2 : 0;
    if (frame.length + frame.join_length + separator + length_of(item) > kMaxExpandedFormulaBytes) {
      item = Replacement{*child.text};
    }
    if (separator != 0) {
      frame.join.push_back(Piece{"; "});
      frame.join_length += separator;
    }
    append(frame.join, frame.join_length, item);
    ++frame.join_items;
    if (frame.length + frame.join_length > kMaxExpandedFormulaBytes) break;
  }
  std::vector<Piece> join = std::move(frame.join);
  const std::uint64_t join_length = frame.join_length;
  frame.join = {};
  frame.join_child = 0;
  frame.join_items = 0;
  frame.join_length = 0;
  if (frame.length + join_length > kMaxExpandedFormulaBytes) return as_written;
  frame.pieces.insert(frame.pieces.end(), join.begin(), join.end());
  frame.length += join_length;
  return std::nullopt;
}

void TreeExpansion::write(ExpansionId id, std::uint64_t skip, const std::vector<const std::string*>& written,
                          std::string& out) const {
  struct At {
    ExpansionId id;
    std::size_t piece;
  };
  std::vector<At> open{{id, 0}};
  while (!open.empty()) {
    const Expansion& e = expansions_[open.back().id];
    if (open.back().piece == e.pieces.size()) {
      open.pop_back();
      continue;
    }
    const Piece& piece = e.pieces[open.back().piece++];
    const std::uint64_t length = length_of(piece);
    if (skip >= length) {
      skip -= length;
      continue;
    }
    if (piece.expansion == kNoExpansion) {
      out.append(piece.text.substr(skip));
      skip = 0;
    } else if (piece.expansion < written.size() && written[piece.expansion] != nullptr) {
      out.append(*written[piece.expansion], piece.skip + skip);
      skip = 0;
    } else {
      skip += piece.skip;
      open.push_back(At{piece.expansion, 0});
    }
  }
}

std::uint64_t TreeExpansion::length(NodeIndex node, std::size_t k) const {
  return length_of(outputs_[formula_number(node, k)]);
}

std::uint64_t TreeExpansion::total_length(NodeIndex node) const {
  std::uint64_t total = 0;
  for (std::size_t k = 0; k < formula_count(node); ++k) total += length(node, k);
  return total;
}

std::string TreeExpansion::text(NodeIndex node, std::size_t k) const {
  const Replacement& output = outputs_[formula_number(node, k)];
  if (output.expansion == kNoExpansion) return std::string(output.as_written);
  std::string out;
  out.reserve(length_of(output));
  write(output.expansion, 0, {}, out);
  return out;
}

std::vector<AnyDim<std::string>> TreeExpansion::all_formulas() const {
  // An expansion is made after every expansion it contains, so in the order of their
  // numbers each output finds the outputs it contains already written.
  std::vector<std::size_t> order(outputs_.size());
  for (std::size_t f = 0; f < order.size(); ++f) order[f] = f;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return outputs_[a].expansion < outputs_[b].expansion; });
  std::vector<std::string> texts(outputs_.size());
  std::vector<const std::string*> written(expansions_.size(), nullptr);
  for (const std::size_t f : order) {
    const Replacement& output = outputs_[f];
    if (output.expansion == kNoExpansion) {
      texts[f] = output.as_written;
      continue;
    }
    if (const std::string* same = written[output.expansion]) {
      texts[f] = *same;
      continue;
    }
    texts[f].reserve(length_of(output));
    write(output.expansion, 0, written, texts[f]);
    written[output.expansion] = &texts[f];
  }
  std::vector<AnyDim<std::string>> formulas;
  formulas.reserve(index_.size());
  for (NodeIndex i = 0; i < index_.size(); ++i) {
    const std::size_t first = formula_number(i, 0);
    if (index_.node(i).formula.is_single()) {
      formulas.push_back(AnyDim<std::string>::single(std::move(texts[first])));
    } else {
      formulas.push_back(
          AnyDim<std::string>::multi({std::make_move_iterator(texts.begin() + first),
                                      std::make_move_iterator(texts.begin() + first + formula_count(i))}));
    }
  }
  return formulas;
}

AnyDim<std::string> TreeExpansion::formulas(NodeIndex node) const {
  if (index_.node(node).formula.is_single()) return AnyDim<std::string>::single(text(node, 0));
  std::vector<std::string> texts;
  texts.reserve(formula_count(node));
  for (std::size_t k = 0; k < formula_count(node); ++k) texts.push_back(text(node, k));
  return AnyDim<std::string>::multi(std::move(texts));
}

Result<std::monostate, ExpandedTreeTooLarge> expand_tree_formulas(Node& root) {
  std::vector<AnyDim<std::string>> expanded;
  {
    const TreeExpansion expansion(root);
    std::uint64_t total = 0;
    for (NodeIndex i = 0; i < expansion.index().size(); ++i) {
      total += expansion.total_length(i);
      if (total > kMaxExpandedTreeBytes) return fail(ExpandedTreeTooLarge{});
    }
    expanded = expansion.all_formulas();
  }
  // The expansion reads the formulas it replaces: they change only once all are written.
  std::size_t i = 0;
  for_each_pre_order(root, [&](Node& node) { node.formula = std::move(expanded[i++]); });
  return std::monostate{};
}

}  // namespace ostrel::tree
