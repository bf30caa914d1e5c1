#include "parser/direct_parse.h"

#include <cstddef>
#include <cstdint>
#include <memory>

#include "parser/grammar.h"
#include "parser/language.h"
#include "parser/lexical.h"
#include "parser/parse.h"
#include "parser/terminals.h"

namespace ostrel::parser {

using namespace ast;

namespace {

using language::KeywordKind;
using lexical::is_digit;

// Each method matches one rule at `pos_`. On a match it moves `pos_` past it and returns
// the rule's syntax tree; on a failure it leaves `pos_` where it was and returns nullopt,
// exactly where the grammar fails, so that ordered choices can go on to their next
// alternative. Giving up sets `gave_up_`, after which everything fails and the caller
// discards the result.
class DirectParser {
 public:
  explicit DirectParser(std::string_view text) : text_(text), budget_(4 * text.size() + 64) {
    arena_.reserve(kArenaBytesPerByte * text.size());
  }

  std::optional<Value> value() {
    skip();
    const std::size_t start = pos_;
    if (auto number = signed_number())
      return at_end() ? std::optional<Value>(Value{Value::Number{*number}, {}}) : std::nullopt;
    if (at('=')) {
      ++pos_;
      skip();
      if (Box<Expression> e = boxed_expression()) {
        return at_end() ? std::optional<Value>(Value{Value::Expression{e}, std::move(arena_)}) : std::nullopt;
      }
    }
    pos_ = start;
    return at_end() ? std::optional<Value>(Value{Value::Empty{}, {}}) : std::nullopt;
  }

  std::optional<Condition> condition() {
    skip();
    auto result = boolean_expression();
    if (!result || !at_end()) return std::nullopt;
    return Condition{*result, std::move(arena_)};
  }

 private:
  // A first guess at the tree's size: enough for typical formulas in one block.
  static constexpr std::size_t kArenaBytesPerByte = 40;

  // Whitespace, then the end of the text, with nothing given up on the way.
  bool at_end() {
    skip();
    return !gave_up_ && pos_ == text_.size();
  }
  bool at(char c) const { return pos_ < text_.size() && text_[pos_] == c; }
  bool at_digit() const { return pos_ < text_.size() && is_digit(text_[pos_]); }
  // Whitespace from `pos_`. A repetition whose next element fails gives back the whitespace
  // it skipped, and the rule around it skips the same whitespace again: the last skip is
  // remembered (the text never changes, so neither does its end).
  void skip() {
    if (pos_ == skipped_from_) {
      pos_ = skipped_to_;
      return;
    }
    skipped_from_ = pos_;
    pos_ = lexical::skip_blanks(text_, pos_);
    skipped_to_ = pos_;
  }
  // An ASCII case-folded keyword at `pos_`, which may be the start of a longer word.
  bool keyword(std::string_view lower) {
    if (!lexical::starts_with_folded(text_, pos_, lower)) return false;
    pos_ += lower.size();
    return true;
  }
  std::nullopt_t give_up() {
    gave_up_ = true;
    return std::nullopt;
  }
  // Counts work against the budget; false once it is spent.
  bool spend(std::size_t amount) {
    if (amount > budget_) {
      gave_up_ = true;
      return false;
    }
    budget_ -= amount;
    return true;
  }

  // ---- Arithmetic ---------------------------------------------------------------------

  // The arithmetic chain fills its result in place: moving these trees level by level
  // would cost more than matching them.
  Box<Expression> boxed_expression() {
    Expression* result = arena_.make<Expression>();
    return expression(*result) ? result : nullptr;
  }

  bool expression(Expression& out) {
    if (gave_up_ || !spend(1)) return false;
    if (++depth_ > kMaxNesting) {
      gave_up_ = true;
      return false;
    }
    const bool matched = addition_expression(out);
    --depth_;
    return matched;
  }

  // The repeats of a left-associative chain, (operator ~ operand)*, appended to `list`. At
  // each repeat `match_operator` matches the operator at `pos_` (after whitespace), moving
  // past it and giving what it stands for, or nothing; `match_operand(element, op)` then
  // fills the new element. A repeat that does not match whole is given back, with the
  // whitespace before it, and ends the chain.
  template <class T, class MatchOperator, class MatchOperand>
  [[gnu::always_inline]] void chain(ListBuilder<T>& list, MatchOperator match_operator, MatchOperand match_operand) {
    for (;;) {
      const std::size_t before = pos_;
      skip();
      const auto op = match_operator();
      if (!op) {
        pos_ = before;
        return;
      }
      skip();
      if (!match_operand(list.push(arena_), *op)) {
        list.pop();
        pos_ = before;
        return;
      }
    }
  }
  // A one-byte operator at `pos_`.
  std::optional<bool> operator_byte(char c) {
    if (!at(c)) return std::nullopt;
    ++pos_;
    return true;
  }
  // A keyword operator ("and", "or") at `pos_`.
  std::optional<bool> operator_keyword(std::string_view lower) {
    return keyword(lower) ? std::optional<bool>(true) : std::nullopt;
  }

  // The arithmetic levels write their repeats out rather than run them through `chain`:
  // they are the hot path of evaluation, where the helper's shape cost 2-7% more
  // instructions.
  bool addition_expression(Expression& out) {
    if (!multiplication_expression(out.first)) return false;
    ListBuilder<AdditionOperation> operations;
    for (;;) {
      const std::size_t before = pos_;
      skip();
      AdditionOperation::Kind kind;
      if (at('+')) {
        kind = AdditionOperation::Kind::Plus;
      } else if (at('-')) {
        kind = AdditionOperation::Kind::Minus;
      } else {
        pos_ = before;
        break;
      }
      ++pos_;
      skip();
      AdditionOperation& operation = operations.push(arena_);
      operation.kind = kind;
      if (!multiplication_expression(operation.operand)) {
        operations.pop();
        pos_ = before;
        break;
      }
    }
    out.operations = operations.list();
    return true;
  }

  bool multiplication_expression(MultiplicationExpression& out) {
    if (!power_expression(out.first)) return false;
    ListBuilder<MultiplicationOperation> operations;
    for (;;) {
      const std::size_t before = pos_;
      skip();
      MultiplicationOperation::Kind kind;
      if (at('*')) {
        kind = MultiplicationOperation::Kind::Multiply;
      } else if (at('/')) {
        kind = MultiplicationOperation::Kind::Divide;
      } else if (at('%')) {
        kind = MultiplicationOperation::Kind::Modulo;
      } else {
        pos_ = before;
        break;
      }
      ++pos_;
      skip();
      MultiplicationOperation& operation = operations.push(arena_);
      operation.kind = kind;
      if (!power_expression(operation.operand)) {
        operations.pop();
        pos_ = before;
        break;
      }
    }
    out.operations = operations.list();
    return true;
  }

  bool power_expression(PowerExpression& out) {
    if (!unary_expression(out.base)) return false;
    ListBuilder<UnaryExpression> exponents;
    for (;;) {
      const std::size_t before = pos_;
      skip();
      if (text_.substr(pos_).starts_with("**")) {
        pos_ += 2;
      } else if (at('^')) {
        ++pos_;
      } else {
        pos_ = before;
        break;
      }
      skip();
      if (!unary_expression(exponents.push(arena_))) {
        exponents.pop();
        pos_ = before;
        break;
      }
    }
    out.exponents = exponents.list();
    return true;
  }

  bool unary_expression(UnaryExpression& out) {
    const std::size_t start = pos_;
    out.sign.reset();
    if (at('+')) {
      out.sign = UnarySign::Plus;
      ++pos_;
    } else if (at('-')) {
      out.sign = UnarySign::Minus;
      ++pos_;
    }
    skip();
    if (!atomic_expression(out.atom)) {
      pos_ = start;
      return false;
    }
    return true;
  }

  // The alternatives of `atomic_expression` begin with different bytes, except the keyword
  // ones, which are tried in the grammar's order.
  bool atomic_expression(AtomicExpression& out) {
    if (gave_up_ || pos_ >= text_.size()) return false;
    const char c = text_[pos_];
    if (is_digit(c)) {
      auto number = number_or_percent();
      if (!number) return false;
      out.v.emplace<AtomicExpression::Number>(AtomicExpression::Number{*number});
      return true;
    }
    if (c == '@') {
      auto reference = node_reference();
      if (!reference) return false;
      out.v.emplace<AtomicExpression::NodeReference>(
          AtomicExpression::NodeReference{reference->name, reference->index});
      return true;
    }
    if (c == '(') {
      const std::size_t start = pos_;
      ++pos_;
      skip();
      Expression* inner = arena_.make<Expression>();
      const bool matched = expression(*inner);
      skip();
      if (!matched || !at(')')) {
        pos_ = start;
        return false;
      }
      ++pos_;
      out.v.emplace<AtomicExpression::Parenthesized>(AtomicExpression::Parenthesized{inner});
      return true;
    }
    auto atom = keyword_atom();
    if (!atom) return false;
    out = std::move(*atom);
    return true;
  }

  std::optional<AtomicExpression> keyword_atom() {
    const std::size_t start = pos_;
    if (keyword("children")) {
      auto index = optional_spaced_index();
      if (index) return AtomicExpression{AtomicExpression::ChildrenReference{*index}};
      pos_ = start;
    }
    if (keyword("right")) {
      auto index = optional_spaced_index();
      if (index) return AtomicExpression{AtomicExpression::RightReference{*index}};
      pos_ = start;
    }
    if (auto modifier = modifier_expression()) return modifier;
    pos_ = start;
    if (auto function = function_expression()) return function;
    pos_ = start;
    if (auto aggregation = aggregation_expression()) return aggregation;
    pos_ = start;
    if (auto conditional = conditional_expression()) return conditional;
    pos_ = start;
    if (keyword("empty")) return AtomicExpression{AtomicExpression::Empty{}};
    return std::nullopt;
  }

  // Matches the first keyword of `kind` that is a prefix here, as a choice of keyword
  // literals does.
  template <KeywordKind K>
  const language::Keyword* keyword_choice() {
    const language::Keyword* keyword = language::keyword_prefix<K>(text_, pos_);
    if (keyword != nullptr) pos_ += keyword->text.size();
    return keyword;
  }

  // After a name: whitespace, then "(".
  bool open_parenthesis() {
    skip();
    if (!at('(')) return false;
    ++pos_;
    skip();
    return true;
  }
  bool close_parenthesis() {
    skip();
    if (!at(')')) return false;
    ++pos_;
    return true;
  }

  std::optional<AtomicExpression> modifier_expression() {
    const language::Keyword* modifier = keyword_choice<KeywordKind::Modifier>();
    if (modifier == nullptr || !open_parenthesis()) return std::nullopt;
    auto reference = node_reference();
    if (!reference || !close_parenthesis()) return std::nullopt;
    return AtomicExpression{
        AtomicExpression::Modifier{static_cast<ModifierName>(modifier->name), reference->name, reference->index}};
  }

  std::optional<AtomicExpression> function_expression() {
    const language::Keyword* function = keyword_choice<KeywordKind::Function>();
    if (function == nullptr || !open_parenthesis()) return std::nullopt;
    auto arguments = expression_list();
    if (!arguments || !close_parenthesis()) return std::nullopt;
    // A count the function does not accept is the builder's error to report.
    if (!language::accepts_arguments(*function, arguments->size())) return give_up();
    return AtomicExpression{AtomicExpression::Function{static_cast<FunctionName>(function->name), *arguments}};
  }

  std::optional<AtomicExpression> aggregation_expression() {
    const language::Keyword* aggregation = keyword_choice<KeywordKind::Aggregation>();
    if (aggregation == nullptr || !open_parenthesis()) return std::nullopt;
    const std::size_t before = pos_;
    std::optional<List<Expression>> arguments = expression_list();
    if (!arguments) pos_ = before;
    if (!close_parenthesis()) return std::nullopt;
    return AtomicExpression{AtomicExpression::Aggregation{static_cast<AggregationName>(aggregation->name), arguments}};
  }

  // expression ~ (SEMICOLON ~ expression)*
  std::optional<List<Expression>> expression_list() {
    ListBuilder<Expression> list;
    if (!expression(list.push(arena_))) return std::nullopt;
    chain(
        list, [&] { return operator_byte(';'); }, [&](Expression& argument, bool) { return expression(argument); });
    return list.list();
  }

  std::optional<AtomicExpression> conditional_expression() {
    const language::Keyword* keyword = keyword_choice<KeywordKind::Conditional>();
    if (keyword == nullptr || !open_parenthesis()) return std::nullopt;
    const auto conditional = static_cast<ConditionalName>(keyword->name);
    // boolean_expression ~ SEMICOLON ~ expression
    // ~ (SEMICOLON ~ boolean_expression ~ SEMICOLON ~ expression)* ~ (SEMICOLON ~ expression)?
    ListBuilder<CaseClause> clauses;
    auto condition = boolean_expression();
    if (!condition || !semicolon()) return std::nullopt;
    Box<Expression> value = boxed_expression();
    if (!value) return std::nullopt;
    clauses.push(arena_) = CaseClause{*condition, value};
    Box<Expression> otherwise = nullptr;
    for (;;) {
      const std::size_t before = pos_;
      if (!semicolon()) break;
      auto next_condition = boolean_expression();
      if (next_condition && semicolon()) {
        if (Box<Expression> next_value = boxed_expression()) {
          clauses.push(arena_) = CaseClause{*next_condition, next_value};
          continue;
        }
      } else if (next_condition && (otherwise = bare_expression(*next_condition))) {
        // No ";" after a plain expression: it was the else value, matched already.
        break;
      }
      pos_ = before;
      break;
    }
    const std::size_t before = pos_;
    if (!otherwise && semicolon()) {
      otherwise = boxed_expression();
      if (!otherwise) pos_ = before;
    }
    if (!close_parenthesis()) return std::nullopt;
    // Clause counts that `if` does not accept are the builder's error to report.
    if (conditional == ConditionalName::If && (clauses.size() != 1 || !otherwise)) return give_up();
    return AtomicExpression{AtomicExpression::Conditional{conditional, clauses.list(), otherwise}};
  }

  // The expression of a condition that is nothing but one expression, taken out of it.
  static Box<Expression> bare_expression(const BooleanExpression& condition) {
    if (!condition.rest.empty() || !condition.first.rest.empty() || condition.first.first.negated) return nullptr;
    auto* single = std::get_if<ComparisonExpression::Single>(&condition.first.first.comparison.v);
    return single == nullptr ? nullptr : single->expression;
  }

  // Whitespace, ";", whitespace; nothing moved when there is no ";".
  bool semicolon() {
    const std::size_t before = pos_;
    skip();
    if (!at(';')) {
      pos_ = before;
      return false;
    }
    ++pos_;
    skip();
    return true;
  }

  // ---- Terminals ------------------------------------------------------------------------

  // The end of a run of digits from `p`.
  std::size_t digits_end(std::size_t p) const {
    while (p < text_.size() && is_digit(text_[p])) ++p;
    return p;
  }
  // NUMBER ~ ("%" ~ !(WHITESPACE* ~ OPERAND_START))?, at a digit: its end.
  std::size_t number_or_percent_end() const {
    std::size_t end = terminals::number_end(text_, pos_);
    if (end < text_.size() && text_[end] == '%') {
      if (!terminals::operand_starts(text_, lexical::skip_blanks(text_, end + 1))) ++end;
    }
    return end;
  }

  std::optional<double> number_or_percent() {
    const std::size_t start = pos_;
    if (std::optional<double> plain = plain_digits()) return plain;
    pos_ = number_or_percent_end();
    return converted_number(text_.substr(start, pos_ - start));
  }

  // A number that is nothing but digits (no separator or "%" follows them) with at most 15
  // significant ones: their value is the exact integer, which the general conversion also
  // gives. Moves past them; nothing moved otherwise.
  std::optional<double> plain_digits() {
    std::uint64_t mantissa = 0;
    std::size_t significant = 0;
    std::size_t p = pos_;
    for (; p < text_.size() && is_digit(text_[p]); ++p) {
      if (significant > 0 || text_[p] != '0') ++significant;
      if (significant > 15) return std::nullopt;
      mantissa = mantissa * 10 + static_cast<std::uint64_t>(text_[p] - '0');
    }
    if (p < text_.size() && (text_[p] == ',' || text_[p] == '.' || text_[p] == '%')) return std::nullopt;
    pos_ = p;
    return static_cast<double>(mantissa);
  }

  std::optional<double> converted_number(std::string_view text) {
    Result<double, std::string> value = number_text_value(text);
    if (!value) return give_up();  // the builder's error to report
    return value.value();
  }

  // (PLUS | MINUS)? ~ NUMBER_OR_PERCENT, a plain value.
  std::optional<double> signed_number() {
    const std::size_t start = pos_;
    const bool sign = at('+') || at('-');
    if (sign) {
      ++pos_;
      skip();
    }
    if (!at_digit()) {
      pos_ = start;
      return std::nullopt;
    }
    // A blank between the sign and the digits matches, but the builder rejects that text.
    if (sign && pos_ != start + 1) return give_up();
    pos_ = number_or_percent_end();
    return converted_number(text_.substr(start, pos_ - start));
  }

  struct Reference {
    std::string_view name;  // in the arena
    std::optional<std::uint64_t> index;
  };

  // (LCURLYAT ~ CURLY_IDENTIFIER ~ RCURLY | AT ~ IDENTIFIER) ~ (LBRACKET ~ INDEX ~ RBRACKET)?,
  // with no whitespace anywhere inside.
  std::optional<Reference> node_reference() {
    if (!at('@')) return std::nullopt;
    const std::size_t start = pos_;
    Reference reference;
    if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '{') {
      const std::size_t name_start = pos_ + 2;
      const std::size_t name_end = curly_identifier_end(name_start);
      if (gave_up_) return std::nullopt;
      if (name_end < text_.size() && text_[name_end] == '}') {
        reference.name = arena_.copy(text_.substr(name_start, name_end - name_start));
        pos_ = name_end + 1;
      }
    }
    if (pos_ == start) {
      const std::size_t name_end = terminals::identifier_end(text_, start + 1);
      if (name_end == start + 1) return std::nullopt;
      reference.name = arena_.copy(text_.substr(start + 1, name_end - start - 1));
      pos_ = name_end;
    }
    // The index: "[", digits, "]", touching.
    if (at('[')) {
      const std::size_t digits = pos_ + 1;
      const std::size_t end = digits_end(digits);
      if (end > digits && end < text_.size() && text_[end] == ']') {
        reference.index = converted_index(text_.substr(digits, end - digits));
        if (gave_up_) return std::nullopt;
        pos_ = end + 1;
      }
    }
    return reference;
  }

  // (LBRACKET ~ INDEX ~ RBRACKET)? of the normal rules `children` and `right`: whitespace
  // may stand before and inside the brackets. The outer optional is the index, if any;
  // nullopt only when giving up.
  std::optional<std::optional<std::uint64_t>> optional_spaced_index() {
    const std::size_t before = pos_;
    skip();
    if (!at('[')) {
      pos_ = before;
      return std::optional<std::uint64_t>();
    }
    ++pos_;
    skip();
    const std::size_t digits = pos_;
    const std::size_t end = digits_end(digits);
    pos_ = end;
    skip();
    if (end > digits && at_digit()) return give_up();  // digits with blanks between: an invalid index
    if (end == digits || !at(']')) {
      pos_ = before;
      return std::optional<std::uint64_t>();
    }
    ++pos_;
    auto index = converted_index(text_.substr(digits, end - digits));
    if (gave_up_) return std::nullopt;
    return std::optional<std::uint64_t>(index);
  }

  std::optional<std::uint64_t> converted_index(std::string_view digits) {
    auto index = index_text_value(digits);
    if (!index) return give_up();  // the builder's error to report
    return index;
  }

  // CURLY_IDENTIFIER: up to the first "}" outside a "{...}" group that holds no "{".
  std::size_t curly_identifier_end(std::size_t p) {
    const std::size_t from = p;
    while (!lexical::braced_name_ends(text_, p)) p = lexical::braced_name_step(text_, p);
    spend((p - from) / 8);
    return p;
  }

  // ---- Conditions -----------------------------------------------------------------------

  std::optional<BooleanExpression> boolean_expression() {
    if (gave_up_) return std::nullopt;
    if (++depth_ > kMaxNesting) return give_up();
    auto result = or_expression();
    --depth_;
    return result;
  }

  std::optional<OrExpression> or_expression() {
    auto first = and_expression();
    if (!first) return std::nullopt;
    ListBuilder<AndExpression> rest;
    chain(
        rest, [&] { return operator_keyword("or"); },
        [&](AndExpression& operand, bool) { return assign(operand, and_expression()); });
    return OrExpression{*first, rest.list()};
  }

  std::optional<AndExpression> and_expression() {
    auto first = negation_expression();
    if (!first) return std::nullopt;
    ListBuilder<NegationExpression> rest;
    chain(
        rest, [&] { return operator_keyword("and"); },
        [&](NegationExpression& operand, bool) { return assign(operand, negation_expression()); });
    return AndExpression{*first, rest.list()};
  }

  // Stores a matched operand; false when it did not match.
  template <class T>
  static bool assign(T& slot, const std::optional<T>& matched) {
    if (matched) slot = *matched;
    return matched.has_value();
  }

  // NOT* ~ atomic_boolean_expression; the repetition never gives back a "not".
  std::optional<NegationExpression> negation_expression() {
    const std::size_t start = pos_;
    std::size_t nots = 0;
    if (keyword("not")) {
      ++nots;
      for (;;) {
        const std::size_t before = pos_;
        skip();
        if (!keyword("not")) {
          pos_ = before;
          break;
        }
        ++nots;
      }
    }
    skip();
    auto comparison = atomic_boolean_expression();
    if (!comparison) {
      pos_ = start;
      return std::nullopt;
    }
    return NegationExpression{nots % 2 == 1, *comparison};
  }

  // expression ~ COMPARISON_OP ~ expression | expression | LPAREN ~ boolean_expression ~ RPAREN.
  // The second alternative is the first one's left side, so it is matched once.
  std::optional<ComparisonExpression> atomic_boolean_expression() {
    const std::size_t start = pos_;
    if (Box<Expression> left = boxed_expression()) {
      const std::size_t after_left = pos_;
      skip();
      if (auto op = comparison_operator()) {
        skip();
        if (Box<Expression> right = boxed_expression()) {
          return ComparisonExpression{ComparisonExpression::Comparison{left, *op, right}};
        }
      }
      pos_ = after_left;
      return ComparisonExpression{ComparisonExpression::Single{left}};
    }
    if (gave_up_ || !at('(')) return std::nullopt;
    ++pos_;
    skip();
    auto inner = boolean_expression();
    skip();
    if (!inner || !at(')')) {
      pos_ = start;
      return std::nullopt;
    }
    ++pos_;
    return ComparisonExpression{ComparisonExpression::Nested{arena_.make<BooleanExpression>(*inner)}};
  }

  // GREATER_OR_EQUAL | LESS_OR_EQUAL | EQUAL_TO | NOT_EQUAL | GREATER_THAN | LESS_THAN
  std::optional<ComparisonOperator> comparison_operator() {
    const terminals::ComparisonSpelling* spelling = terminals::comparison_at(text_, pos_);
    if (spelling == nullptr) return std::nullopt;
    pos_ += spelling->text.size();
    return spelling->op;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t skipped_from_ = std::string_view::npos;
  std::size_t skipped_to_ = 0;
  std::size_t budget_;
  int depth_ = 0;
  bool gave_up_ = false;
  Arena arena_;
};

}  // namespace

std::optional<Value> parse_formula_directly(std::string_view text) { return DirectParser(text).value(); }

std::optional<Condition> parse_condition_directly(std::string_view text) { return DirectParser(text).condition(); }

}  // namespace ostrel::parser
