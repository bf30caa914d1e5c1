// The grammar and the machine that runs it.
//
// Each rule is written below as a combinator expression, next to its line of the rule
// list. The machine adds what the kinds of rule imply: implicit whitespace between the
// elements of sequences in normal rules, no whitespace inside atomic rules and the rules
// they call, no nodes inside atomic rules, and no node of its own for a silent rule.
//
// Two memo tables keep matching near-linear on hostile input without changing any result:
// `expression` is the only rule that ordered choices ask for twice at one position (the
// comparison and the bare expression of a condition, the last clause and the else value of
// a conditional), so its outcome per position is kept; and the end of a CURLY_IDENTIFIER
// per start position is kept across the token scanner's many anchored runs.
#include "parser/grammar.h"

#include <limits>
#include <string>
#include <tuple>

#include "parser/language.h"
#include "parser/terminals.h"
#include "support/invariant.h"
#include "unicode/unicode.h"

namespace ostrel::parser {

namespace {

enum class Kind : std::uint8_t { Normal, Atomic, CompoundAtomic, Silent, SilentAtomic };

struct RuleInfo {
  std::string_view name;
  Kind kind;
};

constexpr RuleInfo kRules[kRuleCount] = {
#define OSTREL_RULE_INFO(name, kind, starts) {#name, Kind::kind},
    OSTREL_GRAMMAR_RULES(OSTREL_RULE_INFO)
#undef OSTREL_RULE_INFO
};

constexpr std::uint32_t kNoNode = std::numeric_limits<std::uint32_t>::max();

}  // namespace

std::string_view rule_name(Rule rule) { return kRules[static_cast<std::size_t>(rule)].name; }

// Runs rules over one text. Every element below either matches, moving `pos` and adding
// nodes, or fails and leaves `pos` and the pending nodes exactly as they were.
class Machine {
 public:
  // `extent_only`: no parse-tree nodes are made, for callers that need only the end.
  Machine(ParseScratch& scratch, std::size_t pos, bool extent_only = false)
      : text(scratch.text), pos(pos), scratch_(scratch), silent_(extent_only) {}

  ParseScratch& scratch() const { return scratch_; }

  bool call(Rule rule);
  // Implicit whitespace: only between elements of normal rules outside atomic ones.
  void skip() { pos = next_element(pos); }
  // Where an element after position `p` may start.
  std::size_t next_element(std::size_t p) const { return atomic_ ? p : lexical::skip_blanks(text, p); }

  struct Mark {
    std::size_t pos;
    std::size_t pending;
  };
  Mark mark() const { return {pos, scratch_.pending.size()}; }
  void restore(Mark m) {
    pos = m.pos;
    if (scratch_.pending.size() != m.pending) scratch_.pending.resize(m.pending);
  }

  bool aborted() const { return aborted_; }
  const SyntaxError& error() const { return error_; }

  std::string_view text;
  std::size_t pos;

 private:
  struct Memo {
    enum State : std::uint8_t { Unknown, Failed, Matched } state = Unknown;
    std::uint32_t node = kNoNode;
    std::size_t end = 0;
  };

  bool body(Rule rule);
  void record_failure(Rule rule, std::size_t at) {
    if (at > error_.position) error_ = SyntaxError{at, 0};
    if (at == error_.position) error_.expected |= std::uint64_t{1} << static_cast<unsigned>(rule);
  }
  Memo& expression_memo(std::size_t at) {
    if (expression_memo_.empty()) expression_memo_.resize(text.size() + 1);
    return expression_memo_[at];
  }

  ParseScratch& scratch_;
  bool atomic_ = false;
  bool silent_ = false;
  bool aborted_ = false;
  int depth_ = 0;
  SyntaxError error_;
  std::vector<Memo> expression_memo_;
};

namespace {

// ---- Combinators -----------------------------------------------------------------------

template <Rule R>
struct Call {
  bool operator()(Machine& m) const { return m.call(R); }
};

struct Lit {
  std::string_view s;
  bool operator()(Machine& m) const {
    if (m.text.size() - m.pos < s.size()) return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
      if (m.text[m.pos + i] != s[i]) return false;
    }
    m.pos += s.size();
    return true;
  }
};

// A literal under ASCII case folding; `s` is written in lower case.
struct ILit {
  std::string_view s;
  bool operator()(Machine& m) const {
    if (!lexical::starts_with_folded(m.text, m.pos, s)) return false;
    m.pos += s.size();
    return true;
  }
};

template <class... E>
struct Seq {
  std::tuple<E...> elements;
  bool operator()(Machine& m) const {
    const Machine::Mark start = m.mark();
    bool first = true;
    const bool ok = std::apply(
        [&](const auto&... e) { return ((first ? (first = false, true) : (m.skip(), true), e(m)) && ...); }, elements);
    if (!ok) m.restore(start);
    return ok;
  }
};

template <class... E>
struct Choice {
  std::tuple<E...> alternatives;
  bool operator()(Machine& m) const {
    return std::apply([&](const auto&... e) { return (e(m) || ...); }, alternatives);
  }
};

template <class E>
struct Opt {
  E e;
  bool operator()(Machine& m) const {
    e(m);
    return true;
  }
};

// `e{min,}`: the first repeat without whitespace before it, every further repeat after
// implicit whitespace, which is given back when that repeat fails. Never gives back a repeat.
template <int Min, class E>
struct Repeat {
  E e;
  bool operator()(Machine& m) const {
    const Machine::Mark start = m.mark();
    int count = 0;
    if (e(m)) {
      ++count;
      for (;;) {
        const Machine::Mark before = m.mark();
        m.skip();
        if (!e(m) || m.pos == before.pos) {
          m.restore(before);
          break;
        }
        ++count;
      }
    }
    if (count < Min) {
      m.restore(start);
      return false;
    }
    return true;
  }
};

template <class E>
struct NotAhead {
  E e;
  bool operator()(Machine& m) const {
    const Machine::Mark start = m.mark();
    const bool matched = e(m);
    m.restore(start);
    return !matched;
  }
};

struct Soi {
  bool operator()(Machine& m) const { return m.pos == 0; }
};

struct AnyChar {
  bool operator()(Machine& m) const {
    if (m.pos >= m.text.size()) return false;
    m.pos += unicode::char_length(m.text, m.pos);
    return true;
  }
};

// One byte of the grammar's whitespace.
struct Blank {
  bool operator()(Machine& m) const {
    if (m.pos < m.text.size() && lexical::is_blank(m.text[m.pos])) {
      ++m.pos;
      return true;
    }
    return false;
  }
};

struct AsciiDigit {
  bool operator()(Machine& m) const {
    if (m.pos < m.text.size() && m.text[m.pos] >= '0' && m.text[m.pos] <= '9') {
      ++m.pos;
      return true;
    }
    return false;
  }
};

// A terminal of the shared matchers: `End(text, pos)` is the end of its match, `pos` when
// there is none.
template <std::size_t (*End)(std::string_view, std::size_t)>
struct Terminal {
  bool operator()(Machine& m) const {
    const std::size_t end = End(m.text, m.pos);
    if (end == m.pos) return false;
    m.pos = end;
    return true;
  }
};

// NUMBER, with the whitespace of the context it is called from between its elements.
struct Number {
  bool operator()(Machine& m) const {
    const std::size_t end = terminals::number_end(m.text, m.pos, [&m](std::size_t p) { return m.next_element(p); });
    if (end == m.pos) return false;
    m.pos = end;
    return true;
  }
};

std::size_t operand_start_end(std::string_view text, std::size_t pos) {
  return terminals::operand_starts(text, pos) ? pos + unicode::decode_utf8(text, pos).length : pos;
}

// One comparison rule: its spellings in the shared table.
template <Rule R>
struct ComparisonSpelled {
  bool operator()(Machine& m) const {
    const terminals::ComparisonSpelling* spelling = terminals::comparison_at(m.text, m.pos, R);
    if (spelling == nullptr) return false;
    m.pos += spelling->text.size();
    return true;
  }
};

struct CurlyIdentifierBody {
  bool operator()(Machine& m) const {
    m.pos = curly_identifier_end(m.scratch(), m.pos);
    return true;
  }
};

// The ordered choice of the ILits of all keywords of one kind, in the language table's order.
template <language::KeywordKind K>
struct KeywordChoice {
  bool operator()(Machine& m) const {
    const language::Keyword* keyword = language::keyword_prefix<K>(m.text, m.pos);
    if (keyword == nullptr) return false;
    m.pos += keyword->text.size();
    return true;
  }
};

template <class... E>
constexpr Seq<E...> seq(E... e) {
  return {{e...}};
}
template <class... E>
constexpr Choice<E...> choice(E... e) {
  return {{e...}};
}
template <class E>
constexpr Opt<E> opt(E e) {
  return {e};
}
template <class E>
constexpr Repeat<0, E> star(E e) {
  return {e};
}
template <class E>
constexpr Repeat<1, E> plus(E e) {
  return {e};
}
template <class E>
constexpr NotAhead<E> not_ahead(E e) {
  return {e};
}
constexpr Lit lit(std::string_view s) { return {s}; }
constexpr ILit ilit(std::string_view s) { return {s}; }
template <language::KeywordKind K>
constexpr KeywordChoice<K> keywords_of() {
  return {};
}

// ---- The rules as callable elements ---------------------------------------------------

namespace g {
#define OSTREL_RULE_CALL(name, kind, starts) constexpr Call<Rule::name> name;
OSTREL_GRAMMAR_RULES(OSTREL_RULE_CALL)
#undef OSTREL_RULE_CALL

constexpr Soi SOI;
constexpr AnyChar ANY;
constexpr AsciiDigit D;
constexpr Blank BLANK;
constexpr auto OPTIONAL_INDEX = opt(seq(LBRACKET, INDEX, RBRACKET));
}  // namespace g

}  // namespace

// ---- The grammar, rule by rule --------------------------------------------------------

// Each rule's definition is a constant run by a function of its own, so that one call of a
// rule takes only the stack that this rule needs (nesting recurses through these frames).
template <class Definition>
[[gnu::noinline]] bool run(Machine& m, const Definition& definition) {
  return definition(m);
}

#define OSTREL_RULE(...)                            \
  do {                                              \
    static constexpr auto definition = __VA_ARGS__; \
    return run(*this, definition);                  \
  } while (false)

bool Machine::body(Rule rule) {
  using namespace g;
  switch (rule) {
    case Rule::EOI:  // end of input
      return pos == text.size();
    case Rule::value:  // SOI ~ (SIGNED_NUMBER | EQUALS ~ expression)? ~ EOI
      OSTREL_RULE(seq(SOI, opt(choice(SIGNED_NUMBER, seq(EQUALS, expression))), EOI));
    case Rule::boolean_value:  // SOI ~ boolean_expression ~ EOI
      OSTREL_RULE(seq(SOI, boolean_expression, EOI));
    case Rule::expression:  // addition_expression
      OSTREL_RULE(addition_expression);
    case Rule::addition_expression:
      // multiplication_expression ~ (PLUS ~ multiplication_expression
      //                              | MINUS ~ multiplication_expression)*
      OSTREL_RULE(seq(multiplication_expression,
                      star(choice(seq(PLUS, multiplication_expression), seq(MINUS, multiplication_expression)))));
    case Rule::multiplication_expression:
      // power_expression ~ (MULTIPLY ~ power_expression | DIVIDE ~ power_expression
      //                     | MODULO ~ power_expression)*
      OSTREL_RULE(seq(power_expression, star(choice(seq(MULTIPLY, power_expression), seq(DIVIDE, power_expression),
                                                    seq(MODULO, power_expression)))));
    case Rule::power_expression:  // unary_expression ~ (POWER ~ unary_expression)*
      OSTREL_RULE(seq(unary_expression, star(seq(POWER, unary_expression))));
    case Rule::unary_expression:  // (PLUS | MINUS)? ~ atomic_expression
      OSTREL_RULE(seq(opt(choice(PLUS, MINUS)), atomic_expression));
    case Rule::atomic_expression:
      // NUMBER_OR_PERCENT | NODE_REFERENCE | CHILDREN_REFERENCE | RIGHT_REFERENCE
      // | modifier_expression | function_expression | aggregation_expression
      // | conditional_expression | EMPTY | LPAREN ~ expression ~ RPAREN
      OSTREL_RULE(choice(NUMBER_OR_PERCENT, NODE_REFERENCE, CHILDREN_REFERENCE, RIGHT_REFERENCE, modifier_expression,
                         function_expression, aggregation_expression, conditional_expression, EMPTY,
                         seq(LPAREN, expression, RPAREN)));
    case Rule::modifier_expression:  // modifier_name ~ LPAREN ~ NODE_REFERENCE ~ RPAREN
      OSTREL_RULE(seq(modifier_name, LPAREN, NODE_REFERENCE, RPAREN));
    case Rule::modifier_name:  // ^"total" | ^"ratio": the modifier keywords of the language table
      OSTREL_RULE(keywords_of<language::KeywordKind::Modifier>());
    case Rule::function_expression:  // function_name ~ LPAREN ~ function_args ~ RPAREN
      OSTREL_RULE(seq(function_name, LPAREN, function_args, RPAREN));
    case Rule::function_name:
      // ^"abs" | ^"round" | ^"ceil" | ^"floor" | ^"pow" | ^"root" | ^"log" | ^"mod"
      // | ^"sign" | ^"iferror": the function keywords of the language table
      OSTREL_RULE(keywords_of<language::KeywordKind::Function>());
    case Rule::function_args:  // expression ~ (SEMICOLON ~ expression)*
      OSTREL_RULE(seq(expression, star(seq(SEMICOLON, expression))));
    case Rule::aggregation_expression:  // aggregation_name ~ LPAREN ~ aggregator_args? ~ RPAREN
      OSTREL_RULE(seq(aggregation_name, LPAREN, opt(aggregator_args), RPAREN));
    case Rule::aggregation_name:
      // ^"sum" | ^"mult" | ^"avg" | ^"median" | ^"stdev" | ^"max" | ^"min" | ^"count"
      // | ^"coalesce": the aggregation keywords of the language table
      OSTREL_RULE(keywords_of<language::KeywordKind::Aggregation>());
    case Rule::aggregator_args:  // expression ~ (SEMICOLON ~ expression)*
      OSTREL_RULE(seq(expression, star(seq(SEMICOLON, expression))));
    case Rule::conditional_expression:  // conditional_name ~ LPAREN ~ conditional_args ~ RPAREN
      OSTREL_RULE(seq(conditional_name, LPAREN, conditional_args, RPAREN));
    case Rule::conditional_name:  // ^"if" | ^"when": the conditional keywords of the language table
      OSTREL_RULE(keywords_of<language::KeywordKind::Conditional>());
    case Rule::conditional_args:
      // boolean_expression ~ SEMICOLON ~ expression
      // ~ (SEMICOLON ~ boolean_expression ~ SEMICOLON ~ expression)* ~ (SEMICOLON ~ expression)?
      OSTREL_RULE(seq(boolean_expression, SEMICOLON, expression,
                      star(seq(SEMICOLON, boolean_expression, SEMICOLON, expression)),
                      opt(seq(SEMICOLON, expression))));
    case Rule::boolean_expression:  // or_expression
      OSTREL_RULE(or_expression);
    case Rule::or_expression:  // and_expression ~ (OR ~ and_expression)*
      OSTREL_RULE(seq(and_expression, star(seq(OR, and_expression))));
    case Rule::and_expression:  // negation_expression ~ (AND ~ negation_expression)*
      OSTREL_RULE(seq(negation_expression, star(seq(AND, negation_expression))));
    case Rule::negation_expression:  // NOT* ~ atomic_boolean_expression
      OSTREL_RULE(seq(star(NOT), atomic_boolean_expression));
    case Rule::atomic_boolean_expression:
      // expression ~ COMPARISON_OP ~ expression | expression | LPAREN ~ boolean_expression ~ RPAREN
      OSTREL_RULE(
          choice(seq(expression, COMPARISON_OP, expression), expression, seq(LPAREN, boolean_expression, RPAREN)));
    case Rule::EQUALS:  // "="
      OSTREL_RULE(lit("="));
    case Rule::PLUS:  // "+"
      OSTREL_RULE(lit("+"));
    case Rule::MINUS:  // "-"
      OSTREL_RULE(lit("-"));
    case Rule::MULTIPLY:  // "*"
      OSTREL_RULE(lit("*"));
    case Rule::DIVIDE:  // "/"
      OSTREL_RULE(lit("/"));
    case Rule::MODULO:  // "%"
      OSTREL_RULE(lit("%"));
    case Rule::POWER:  // "**" | "^"
      OSTREL_RULE(choice(lit("**"), lit("^")));
    case Rule::COMPARISON_OP:
      // GREATER_OR_EQUAL | LESS_OR_EQUAL | EQUAL_TO | NOT_EQUAL | GREATER_THAN | LESS_THAN
      OSTREL_RULE(choice(GREATER_OR_EQUAL, LESS_OR_EQUAL, EQUAL_TO, NOT_EQUAL, GREATER_THAN, LESS_THAN));
    case Rule::EQUAL_TO:  // "=="
      OSTREL_RULE(ComparisonSpelled<Rule::EQUAL_TO>{});
    case Rule::NOT_EQUAL:  // "!=" | "<>"
      OSTREL_RULE(ComparisonSpelled<Rule::NOT_EQUAL>{});
    case Rule::GREATER_THAN:  // ">"
      OSTREL_RULE(ComparisonSpelled<Rule::GREATER_THAN>{});
    case Rule::LESS_THAN:  // "<"
      OSTREL_RULE(ComparisonSpelled<Rule::LESS_THAN>{});
    case Rule::GREATER_OR_EQUAL:  // ">="
      OSTREL_RULE(ComparisonSpelled<Rule::GREATER_OR_EQUAL>{});
    case Rule::LESS_OR_EQUAL:  // "<="
      OSTREL_RULE(ComparisonSpelled<Rule::LESS_OR_EQUAL>{});
    case Rule::NOT:  // ^"not"
      OSTREL_RULE(ilit("not"));
    case Rule::AND:  // ^"and"
      OSTREL_RULE(ilit("and"));
    case Rule::OR:  // ^"or"
      OSTREL_RULE(ilit("or"));
    case Rule::NODE_REFERENCE:
      // (LCURLYAT ~ CURLY_IDENTIFIER ~ RCURLY | AT ~ IDENTIFIER) ~ (LBRACKET ~ INDEX ~ RBRACKET)?
      OSTREL_RULE(seq(choice(seq(LCURLYAT, CURLY_IDENTIFIER, RCURLY), seq(AT, IDENTIFIER)), OPTIONAL_INDEX));
    case Rule::CHILDREN_REFERENCE:  // ^"children" ~ (LBRACKET ~ INDEX ~ RBRACKET)?
      OSTREL_RULE(seq(ilit("children"), OPTIONAL_INDEX));
    case Rule::RIGHT_REFERENCE:  // ^"right" ~ (LBRACKET ~ INDEX ~ RBRACKET)?
      OSTREL_RULE(seq(ilit("right"), OPTIONAL_INDEX));
    case Rule::INDEX:  // ASCII_DIGIT+
      OSTREL_RULE(plus(D));
    case Rule::NUMBER:
      // D+ ~ ("," ~ D3)+ ~ "." ~ D+  |  D+ ~ ("." ~ D3)+ ~ "," ~ D+  |  D+ ~ ("," ~ D3){2,}
      // | D+ ~ ("." ~ D3){2,}  |  D+ ~ ("." | ",") ~ D+  |  D+
      OSTREL_RULE(Number{});
    case Rule::NUMBER_OR_PERCENT:  // NUMBER ~ ("%" ~ !(WHITESPACE* ~ OPERAND_START))?
      OSTREL_RULE(seq(NUMBER, opt(seq(lit("%"), not_ahead(seq(star(WHITESPACE), OPERAND_START))))));
    case Rule::OPERAND_START:  // ASCII_DIGIT | "(" | "@" | XID_START | "_"
      OSTREL_RULE(Terminal<operand_start_end>{});
    case Rule::SIGNED_NUMBER:  // (PLUS | MINUS)? ~ NUMBER_OR_PERCENT
      OSTREL_RULE(seq(opt(choice(PLUS, MINUS)), NUMBER_OR_PERCENT));
    case Rule::IDENTIFIER:  // (XID_START | "_") ~ (XID_CONTINUE | "_")*
      OSTREL_RULE(Terminal<terminals::identifier_end>{});
    case Rule::CURLY_IDENTIFIER:  // ("{" ~ (!"{" ~ !"}" ~ ANY)* ~ "}" | !"}" ~ ANY)*
      OSTREL_RULE(CurlyIdentifierBody{});
    case Rule::LPAREN:  // "("
      OSTREL_RULE(lit("("));
    case Rule::RPAREN:  // ")"
      OSTREL_RULE(lit(")"));
    case Rule::LBRACKET:  // "["
      OSTREL_RULE(lit("["));
    case Rule::RBRACKET:  // "]"
      OSTREL_RULE(lit("]"));
    case Rule::AT:  // "@"
      OSTREL_RULE(lit("@"));
    case Rule::LCURLYAT:  // "@{"
      OSTREL_RULE(lit("@{"));
    case Rule::RCURLY:  // "}"
      OSTREL_RULE(lit("}"));
    case Rule::SEMICOLON:  // ";"
      OSTREL_RULE(lit(";"));
    case Rule::EMPTY:  // ^"empty"
      OSTREL_RULE(ilit("empty"));
    case Rule::WHITESPACE:  // " " | "\t" | "\r" | "\n"
      OSTREL_RULE(BLANK);
  }
  return false;
}

#undef OSTREL_RULE

// CURLY_IDENTIFIER, ("{" ~ (!"{" ~ !"}" ~ ANY)* ~ "}" | !"}" ~ ANY)*, as a walk over loop
// heads: a "{" whose next brace is "}" is a group taken whole, any other character but "}"
// is taken alone, and the first "}" outside a group (or the end) ends the match. The next
// loop head depends only on the current one, so every walk that meets a position already
// walked ends where that walk ended; the ends are remembered per position, which keeps the
// scanner's run of this rule at every "@{" of a text linear.
std::size_t curly_identifier_end(ParseScratch& scratch, std::size_t from) {
  const std::string_view text = scratch.text;
  std::vector<std::size_t>& memo = scratch.curly_end;  // end + 1 per loop head; 0 = unknown
  if (memo.empty()) memo.assign(text.size() + 1, 0);
  std::size_t at = from;
  std::size_t end = 0;
  for (;;) {
    if (memo[at] != 0) {
      end = memo[at] - 1;
      break;
    }
    if (lexical::braced_name_ends(text, at)) {
      end = at;
      break;
    }
    at = lexical::braced_name_step(text, at);
  }
  for (at = from; memo[at] == 0; at = lexical::braced_name_step(text, at)) {
    memo[at] = end + 1;
    if (at == end) break;
  }
  return end;
}

bool Machine::call(Rule rule) {
  if (aborted_) return false;
  Memo* memo = nullptr;
  if (rule == Rule::expression) {
    memo = &expression_memo(pos);
    if (memo->state == Memo::Failed) return false;
    if (memo->state == Memo::Matched) {
      pos = memo->end;
      scratch_.pending.push_back(memo->node);
      return true;
    }
  }
  // A rule that cannot even begin at this byte fails here, before any of the work of a
  // call; its inner rules would all have failed at this same position.
  if (scratch_.quick_reject && pos < text.size() && !may_start(rule, static_cast<unsigned char>(text[pos]))) {
    record_failure(rule, pos);
    if (memo != nullptr) memo->state = Memo::Failed;
    return false;
  }
  const bool nesting = rule == Rule::expression || rule == Rule::boolean_expression;
  if (nesting && ++depth_ > kMaxNesting) {
    aborted_ = true;
    return false;
  }

  const Kind kind = kRules[static_cast<std::size_t>(rule)].kind;
  const Mark start = mark();
  const bool outer_atomic = atomic_;
  const bool outer_silent = silent_;
  if (kind != Kind::Normal && kind != Kind::Silent) atomic_ = true;
  if (kind == Kind::Atomic || kind == Kind::SilentAtomic) silent_ = true;
  const bool ok = body(rule);
  atomic_ = outer_atomic;
  silent_ = outer_silent;
  if (nesting) --depth_;

  if (!ok) {
    restore(start);
    record_failure(rule, start.pos);
    if (memo != nullptr && !aborted_) memo->state = Memo::Failed;
    return false;
  }
  if (outer_silent || kind == Kind::Silent || kind == Kind::SilentAtomic) return true;

  ParseTree& tree = scratch_.tree;
  std::vector<std::uint32_t>& pending = scratch_.pending;
  if (tree.nodes_.size() >= kNoNode - 1 || tree.child_index_.size() >= kNoNode - pending.size()) {
    aborted_ = true;  // beyond what node indexes can address
    return false;
  }
  const auto index = static_cast<std::uint32_t>(tree.nodes_.size());
  const auto first_child = static_cast<std::uint32_t>(tree.child_index_.size());
  const auto child_count = static_cast<std::uint32_t>(pending.size() - start.pending);
  tree.child_index_.insert(tree.child_index_.end(), pending.begin() + static_cast<std::ptrdiff_t>(start.pending),
                           pending.end());
  tree.nodes_.push_back(ParseTree::Node{start.pos, pos, first_child, child_count, rule});
  pending.resize(start.pending);
  pending.push_back(index);
  if (memo != nullptr) {
    memo->state = Memo::Matched;
    memo->node = index;
    memo->end = pos;
  }
  return true;
}

// ---- Entry points and node access -----------------------------------------------------

Result<ParseTree, FormulaError> FormulaParser::parse(Rule rule, std::string_view text) {
  ParseScratch scratch(text);
  Machine machine(scratch, 0);
  if (!machine.call(rule) || machine.aborted()) return fail(FormulaError::from(machine.error()));
  ParseTree tree = std::move(scratch.tree);
  tree.text_ = text;
  tree.top_ = std::move(scratch.pending);
  return tree;
}

std::optional<std::size_t> FormulaParser::match_end(Rule rule, ParseScratch& scratch, std::size_t pos) {
  scratch.tree.nodes_.clear();
  scratch.tree.child_index_.clear();
  scratch.pending.clear();
  Machine machine(scratch, pos, true);
  if (!machine.call(rule) || machine.aborted()) return std::nullopt;
  return machine.pos;
}

Rule ParseNode::rule() const { return tree_->nodes_[index_].rule; }
std::size_t ParseNode::start() const { return tree_->nodes_[index_].start; }
std::size_t ParseNode::end() const { return tree_->nodes_[index_].end; }
std::string_view ParseNode::text() const { return tree_->text_.substr(start(), end() - start()); }
std::size_t ParseNode::child_count() const { return tree_->nodes_[index_].child_count; }
ParseNode ParseNode::child(std::size_t i) const {
  if (i >= child_count())
    invariant_failure("parse-tree child " + std::to_string(i) + " of " + std::string(rule_name(rule())) +
                      " is missing");
  return ParseNode(tree_, tree_->child_index_[tree_->nodes_[index_].first_child + i]);
}

}  // namespace ostrel::parser
