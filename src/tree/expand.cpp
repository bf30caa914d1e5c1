#include "tree/expand.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>
#include <utility>

#include "parser/ast.h"
#include "parser/grammar.h"
#include "parser/lexical.h"
#include "parser/reference_tokens.h"
#include "references.h"
#include "support/invariant.h"

namespace ostrel::tree {

namespace {

using namespace parser::ast;
using Kind = ReferenceToken::Kind;

// The references of a syntax tree in text order, each with its part. A part of the tree is
// `own` when its values are the formula's result as they are (no operator, sign or call
// reduces them to one value), and an `argument` when it is a whole aggregation argument.
class ReferenceWalk {
 public:
  struct Found {
    Kind kind;
    bool own;
    std::string_view name;
    std::optional<std::uint64_t> index;
  };
  std::vector<Found> found;

  void expression(const Expression& e, bool own, bool argument) {
    const bool alone = e.operations.empty();
    multiplication(e.first, own && alone, argument && alone);
    for (const AdditionOperation& op : e.operations) multiplication(op.operand, false, false);
  }

  void condition(const BooleanExpression& c) {
    and_expression(c.first);
    for (const AndExpression& a : c.rest) and_expression(a);
  }

 private:
  void multiplication(const MultiplicationExpression& e, bool own, bool argument) {
    const bool alone = e.operations.empty();
    power(e.first, own && alone, argument && alone);
    for (const MultiplicationOperation& op : e.operations) power(op.operand, false, false);
  }

  void power(const PowerExpression& e, bool own, bool argument) {
    const bool alone = e.exponents.empty();
    unary(e.base, own && alone, argument && alone);
    for (const UnaryExpression& exponent : e.exponents) unary(exponent, false, false);
  }

  // A minus makes one number; a plus keeps the values, but an argument is spread only bare.
  void unary(const UnaryExpression& e, bool own, bool argument) {
    atom(e.atom, own && e.sign != UnarySign::Minus, argument && !e.sign);
  }

  void atom(const AtomicExpression& atom, bool own, bool argument) {
    using A = AtomicExpression;
    std::visit(
        [&](const auto& a) {
          using T = std::decay_t<decltype(a)>;
          if constexpr (std::is_same_v<T, A::NodeReference>) {
            found.push_back(Found{Kind::Name, own, a.name, a.index});
          } else if constexpr (std::is_same_v<T, A::ChildrenReference>) {
            found.push_back(Found{argument && !a.index ? Kind::Spread : Kind::Children, own, {}, a.index});
          } else if constexpr (std::is_same_v<T, A::RightReference>) {
            found.push_back(Found{Kind::Right, own, {}, a.index});
          } else if constexpr (std::is_same_v<T, A::Modifier>) {
            found.push_back(Found{Kind::Modifier, false, a.name, a.index});
          } else if constexpr (std::is_same_v<T, A::Function>) {
            // iferror gives its first argument's values, or its second's.
            const bool passes = a.function == FunctionName::IfError;
            for (std::size_t i = 0; i < a.arguments.size(); ++i)
              expression(a.arguments[i], passes && i < 2 && own, false);
          } else if constexpr (std::is_same_v<T, A::Aggregation>) {
            if (a.arguments) {
              for (const Expression& argument : *a.arguments) expression(argument, false, true);
            }
          } else if constexpr (std::is_same_v<T, A::Conditional>) {
            for (const CaseClause& clause : a.clauses) {
              condition(clause.condition);
              expression(*clause.value, own, false);
            }
            if (a.otherwise != nullptr) expression(*a.otherwise, own, false);
          } else if constexpr (std::is_same_v<T, A::Parenthesized>) {
            expression(*a.expression, own, false);
          }
        },
        atom.v);
  }

  void and_expression(const AndExpression& a) {
    comparison(a.first.comparison);
    for (const NegationExpression& n : a.rest) comparison(n.comparison);
  }

  void comparison(const ComparisonExpression& c) {
    using C = ComparisonExpression;
    if (const auto* pair = std::get_if<C::Comparison>(&c.v)) {
      expression(*pair->left, false, false);
      expression(*pair->right, false, false);
    } else if (const auto* single = std::get_if<C::Single>(&c.v)) {
      expression(*single->expression, false, false);
    } else {
      condition(*std::get<C::Nested>(c.v).condition);
    }
  }
};

// Whether the scanner's reference is the reference the syntax tree found there.
bool same_reference(const parser::ScannedReference& scanned, const ReferenceWalk::Found& found) {
  using Scanned = parser::ScannedReference::Kind;
  switch (found.kind) {
    case Kind::Children:
    case Kind::Spread:
      return scanned.kind == Scanned::Children;
    case Kind::Right:
      return scanned.kind == Scanned::Right;
    case Kind::Name:
    case Kind::Modifier:
      break;
  }
  return scanned.kind == Scanned::Node && scanned.name == found.name && scanned.index == found.index;
}

}  // namespace

std::vector<ReferenceToken> read_references(std::string_view formula) {
  const auto value = parser::FormulaParser::parse_formula(formula);
  if (!value) return {};
  const auto* expression = std::get_if<Value::Expression>(&value.value().v);
  if (expression == nullptr) return {};
  ReferenceWalk walk;
  walk.expression(*expression->expression, true, false);
  if (walk.found.empty()) return {};
  std::vector<ReferenceToken> tokens;
  tokens.reserve(walk.found.size());
  for (const parser::ScannedReference& scanned : parser::scan_references(formula)) {
    if (tokens.size() == walk.found.size()) return {};
    const ReferenceWalk::Found& found = walk.found[tokens.size()];
    if (!same_reference(scanned, found)) return {};
    tokens.push_back(ReferenceToken{scanned.start, scanned.end(), found.kind, found.own, std::string(found.name),
                                    found.index, scanned.spaced_index});
  }
  if (tokens.size() != walk.found.size()) return {};
  return tokens;
}

// A formula being expanded: how far its reference tokens have been replaced, and where its
// expansion goes when it is done.
struct TreeExpansion::Frame {
  NodeIndex node;
  std::size_t dimension;
  std::size_t formula;
  std::optional<std::size_t> slot;  // the cache slot of a referenced formula
  std::size_t next = 0;             // the next reference token
  std::size_t copied = 0;           // formula bytes taken so far
  std::vector<Piece> pieces{};
  std::uint64_t length = 0;
  bool clean = true;     // no replacement so far stood for a formula still being expanded
  bool context = false;  // a children reference stayed as written
  // A children reference being joined at token `next`.
  std::size_t join_child = 0;
  std::size_t join_items = 0;
  std::vector<Piece> join{};
  std::uint64_t join_length = 0;
};

TreeExpansion::TreeExpansion(const Node& root, Interrupt* interrupt) : poll_(interrupt), index_(root), dimensions_(1) {
  const std::size_t n = index_.size();
  formula_offset_.reserve(n + 1);
  formula_offset_.push_back(0);
  for (NodeIndex i = 0; i < n; ++i) {
    const AnyDim<std::string>& formula = index_.node(i).formula;
    const std::size_t count = formula.is_single() ? 1 : formula.multi_values().size();
    dimensions_ = std::max(dimensions_, count);
    formula_offset_.push_back(formula_offset_.back() + count);
  }
  // Every distinct formula text is read once; only its reference tokens matter from then
  // on, since every other byte is copied as it stands. A reference token begins with "@"
  // or with the "c" of "children" or the "r" of "right", in either case: without any of
  // these bytes a formula needs no reading.
  reading_of_.reserve(formula_offset_.back());
  texts_.reserve(formula_offset_.back());
  std::unordered_map<std::string_view, std::uint32_t> known;
  for (NodeIndex i = 0; i < n; ++i) {
    if (poll_.stop()) return;
    for (const std::string& formula : index_.node(i).formula) {
      texts_.push_back(formula);
      if (formula.find_first_of("@cCrR") == std::string::npos) {
        reading_of_.push_back(kNoReading);
        continue;
      }
      const auto [at, added] = known.try_emplace(formula, static_cast<std::uint32_t>(readings_.size()));
      if (added) readings_.push_back(read(formula));
      reading_of_.push_back(at->second);
    }
  }
  occurrence_.assign(n, 0);
  cache_.assign(n * dimensions_, std::nullopt);
  child_references_.assign(n, std::nullopt);
  outputs_.resize(formula_offset_.back());
  clean_outputs_.assign(formula_offset_.back(), false);
  // Each node's formulas, then its children, depth first: the index is in that order.
  for (NodeIndex i = 0; i < n; ++i) {
    if (poll_.stop()) return;
    for (std::size_t k = 0; k < formula_count(i) && !poll_.stopped(); ++k) expand_formula(i, k);
  }
}

TreeExpansion::Reading TreeExpansion::read(std::string_view formula) {
  const std::vector<ReferenceToken> tokens = read_references(formula);
  if (ranges_.size() + tokens.size() >= kNoReading) invariant_failure("too many reference tokens");
  Reading reading{static_cast<std::uint32_t>(ranges_.size()), static_cast<std::uint32_t>(tokens.size()),
                  !tokens.empty()};
  for (const ReferenceToken& token : tokens) {
    Range range{token.start, token.end, token.kind};
    if (token.kind == Kind::Right) reading.may_stand_in = false;
    if (token.kind == Kind::Children && token.index && !token.spaced_index) range.child = *token.index;
    if (token.kind == Kind::Name) {
      range.target = selected(token.name, token.index);
      // A name that several nodes bear gives them all, where nothing makes one value of them.
      if (token.own && !token.index && index_.named(token.name).size() > 1) reading.may_stand_in = false;
    }
    ranges_.push_back(range);
  }
  return reading;
}

std::span<const TreeExpansion::Range> TreeExpansion::ranges(std::size_t formula) const {
  if (reading_of_[formula] == kNoReading) return {};
  const Reading& reading = readings_[reading_of_[formula]];
  return std::span<const Range>(ranges_.data() + reading.first, reading.count);
}

std::size_t TreeExpansion::own_dimension(NodeIndex node, std::size_t k) const {
  return index_.node(node).formula.is_single() ? 0 : k;
}

NodeIndex TreeExpansion::selected(std::string_view name, std::optional<std::uint64_t> index) const {
  const std::span<const NodeIndex> bearers = index_.named(name);
  if (!index) return bearers.size() == 1 ? bearers[0] : kNoNode;
  return *index >= 1 && *index <= bearers.size() ? bearers[*index - 1] : kNoNode;
}

const TreeExpansion::ChildReference& TreeExpansion::child_reference(NodeIndex node) {
  std::optional<ChildReference>& child = child_references_[node];
  if (child) return *child;
  child = ChildReference{};
  const Node& n = index_.node(node);
  // A hidden child cannot be named: no reference selects it.
  if (n.is_hidden) return *child;
  const std::span<const NodeIndex> bearers = index_.named(n.name);
  if (occurrence_[node] == 0) {
    for (std::size_t k = 0; k < bearers.size(); ++k) occurrence_[bearers[k]] = static_cast<std::uint32_t>(k + 1);
  }
  std::string text = build_unambiguous_name(n.name, occurrence_[node], bearers.size());
  if (!text.empty()) child->text = std::move(text);
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

TreeExpansion::ExpansionId TreeExpansion::finish(std::vector<Piece> pieces, std::uint64_t length, bool stands_in) {
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
  expansions_.push_back(Expansion{std::move(pieces), length, blanks, first, stands_in});
  return static_cast<ExpansionId>(expansions_.size() - 1);
}

TreeExpansion::Replacement TreeExpansion::replacement(const CacheEntry& entry, std::string_view reference) const {
  if (!entry.done) return Replacement{reference};
  const Expansion& e = expansions_[entry.formula];
  // A formula that parses as a value with references begins with "=".
  if (!e.stands_in || e.first_after_blanks != '=') return Replacement{reference};
  return Replacement{{}, entry.formula, e.leading_blanks + 1};
}

void TreeExpansion::expand_formula(NodeIndex node, std::size_t k) {
  const std::size_t formula = formula_number(node, k);
  if (ranges(formula).empty()) {
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
  frames.push_back(Frame{node, dimension, formula, std::nullopt});
  while (!frames.empty()) {
    if (poll_.stop()) return;
    if (!run(frames.back(), frames)) continue;
    Frame done = std::move(frames.back());
    frames.pop_back();
    const ExpansionId id = finish(std::move(done.pieces), done.length, may_stand_in(done.formula) && !done.context);
    if (done.slot) {
      cache_[*done.slot] = CacheEntry{id, true, done.clean};
    } else {
      outputs_[done.formula] = Replacement{{}, id, 0};
      clean_outputs_[done.formula] = done.clean;
    }
  }
}

bool TreeExpansion::run(Frame& frame, std::vector<Frame>& frames) {
  const std::string_view text = texts_[frame.formula];
  const std::span<const Range> tokens = ranges(frame.formula);
  for (; frame.next < tokens.size(); ++frame.next) {
    const Range range = tokens[frame.next];
    if (frame.copied < range.start) {
      frame.pieces.push_back(Piece{text.substr(frame.copied, range.start - frame.copied)});
      frame.length += range.start - frame.copied;
      frame.copied = range.start;
    }
    const std::string_view token = text.substr(range.start, range.end - range.start);
    std::optional<Step> step;
    switch (range.kind) {
      case Kind::Name:
        step = expand_node_reference(token, range.target, frame.node, frame.dimension);
        break;
      case Kind::Modifier:  // it names a node and is never expanded
      case Kind::Right:     // its formula never stands in for a reference (see read)
        step = Step{Replacement{token}, std::nullopt};
        break;
      case Kind::Children:
        step = expand_child_reference(frame, token, range.child);
        break;
      case Kind::Spread:
        step = expand_children_reference(frame, token);
        break;
    }
    if (step && step->need) {
      const Need need = *step->need;
      // `frame` is not used after this: the push may move it. The token is looked at
      // again when the needed formula is done, and then found in the cache.
      frames.push_back(Frame{need.node, need.dimension, need.formula, need.slot});
      return false;
    }
    if (step) {
      if (step->cut) frame.clean = false;
      if (step->context) frame.context = true;
      Replacement replacement = *step->replacement;
      if (frame.length + length_of(replacement) > kMaxExpandedFormulaBytes) {
        replacement = Replacement{token};
        if (range.kind == Kind::Children) frame.context = true;
      }
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

TreeExpansion::Step TreeExpansion::expand_node_reference(std::string_view reference, NodeIndex target, NodeIndex from,
                                                         std::size_t dimension) {
  const Step as_written{Replacement{reference}, std::nullopt};
  if (target == kNoNode) return as_written;
  const bool single = index_.node(target).formula.is_single();
  // A single formula holds for every dimension; a node's per-dimension formulas do not.
  if (!single && index_.node(from).formula.is_single()) return as_written;
  const std::size_t k = single ? 0 : dimension;
  if (k >= formula_count(target)) return as_written;
  const std::size_t formula = formula_number(target, k);
  if (!may_stand_in(formula)) return as_written;
  const std::size_t slot = target * dimensions_ + k;
  if (const std::optional<CacheEntry>& cached = cache_[slot])
    return Step{replacement(*cached, reference), std::nullopt, !cached->done};
  // The node's own formula, expanded without meeting a cycle, is what this reference needs.
  if (clean_outputs_[formula]) {
    cache_[slot] = CacheEntry{outputs_[formula].expansion, true, true};
    return Step{replacement(*cache_[slot], reference), std::nullopt};
  }
  // A reference back to this node while its formula is expanded stays as written.
  cache_[slot] = CacheEntry{};
  return Step{std::nullopt, Need{target, k, formula, slot}};
}

TreeExpansion::Step TreeExpansion::expand_child_reference(const Frame& frame, std::string_view token, std::uint64_t n) {
  const Step as_written{Replacement{token}, std::nullopt, false, true};
  const std::vector<NodeIndex>& children = index_.children(frame.node);
  if (n == 0 || n > children.size()) return as_written;
  const NodeIndex child = children[n - 1];
  const ChildReference& reference = child_reference(child);
  if (!reference.text) return as_written;
  return expand_node_reference(*reference.text, child, frame.node, frame.dimension);
}

std::optional<TreeExpansion::Step> TreeExpansion::expand_children_reference(Frame& frame, std::string_view token) {
  const Step as_written{Replacement{token}, std::nullopt, false, true};
  const std::vector<NodeIndex>& children = index_.children(frame.node);
  if (children.empty()) return as_written;
  // Every child must be written as a reference that selects exactly it, or none is.
  if (frame.join_child == 0) {
    for (const NodeIndex child : children) {
      if (!child_reference(child).text) return as_written;
    }
  }
  // Each child in turn, joined by "; "; a child whose formula must be expanded first
  // suspends the join, which goes on from that child.
  for (; frame.join_child < children.size(); ++frame.join_child) {
    const NodeIndex child = children[frame.join_child];
    const std::string& text = *child_reference(child).text;
    Step step = expand_node_reference(text, child, frame.node, frame.dimension);
    if (step.need) return step;
    if (step.cut) frame.clean = false;
    Replacement item = *step.replacement;
    const std::uint64_t separator = frame.join_items > 0 ? 2 : 0;
    if (frame.length + frame.join_length + separator + length_of(item) > kMaxExpandedFormulaBytes) {
      item = Replacement{text};
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

Result<std::monostate, ExpansionFailure> expand_tree_formulas(Node& root, Interrupt* interrupt) {
  std::vector<AnyDim<std::string>> expanded;
  {
    const TreeExpansion expansion(root, interrupt);
    if (expansion.stopped()) return fail(ExpansionFailure::Stopped);
    std::uint64_t total = 0;
    for (NodeIndex i = 0; i < expansion.index().size(); ++i) {
      total += expansion.total_length(i);
      if (total > kMaxExpandedTreeBytes) return fail(ExpansionFailure::TooLarge);
    }
    expanded = expansion.all_formulas();
  }
  // The expansion reads the formulas it replaces: they change only once all are written.
  std::size_t i = 0;
  for_each_pre_order(root, [&](Node& node) { node.formula = std::move(expanded[i++]); });
  return std::monostate{};
}

}  // namespace ostrel::tree
