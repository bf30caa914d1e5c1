// Timings of the formula parser and the token scanner: typical node formulas one by one,
// one representative 60-byte formula, parsing plus evaluation, and 1 MiB inputs (one valid
// formula and several hostile texts). Every timed loop includes freeing what it built, since
// a caller pays for that too. Per-byte time is the "sec_per_byte" counter (bytes_per_second
// is its inverse).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "eval/context.h"
#include "eval/evaluator.h"
#include "parser/ast.h"
#include "parser/formula_error.h"
#include "parser/grammar.h"
#include "parser/tokenize.h"

namespace {

using ostrel::parser::FormulaParser;
using ostrel::parser::Token;
using ostrel::parser::TokenKind;

// Formulas of the kind a tree of named nodes holds, 20 to 120 bytes, together using every
// sort of reference, functions, aggregations, both conditionals, modifiers and percentages.
constexpr std::string_view kTypical[] = {
    "=if(not @a or @b; 1; 0)",
    "=@Cost * (1 + 15%) - @Discount",
    "=round(@Price / 3; 2) + @Sales[2]",
    "=max(@x; @y; 0) - min(@a; @b) * 2",
    "=sum(children) / count(children) * 100%",
    "=if(@Revenue > 1000 and @Margin >= 0,25; @Revenue * 5%; 0)",
    "=when(@Score >= 90; 4; @Score >= 75; 3; @Score >= 50; 2; 1)",
    "=total(@Sales) * ratio(@{Region share}[3]) + iferror(@Cost / @Units; 0)",
    "=pow(@{Growth rate} + 1; 3) * @{Base year}[1] - abs(@Adjustment) + avg(children[2]; right; 1.234,5) ^ 2",
};
constexpr int kTypicalCount = static_cast<int>(std::size(kTypical));

// The formula behind the headline figure; its length is checked, so the name stays true.
constexpr std::string_view kSixtyByte = "=round(@{Unit cost} * @Quantity * (1 + 15%); 2) - @Rebate[2]";

constexpr std::size_t kMiB = std::size_t{1} << 20;

[[noreturn]] void die(const std::string& what) {
  std::fprintf(stderr, "parse_bench: %s\n", what.c_str());
  std::exit(1);
}

std::size_t unexpected_count(const std::vector<Token>& tokens) {
  std::size_t n = 0;
  for (const Token& token : tokens) n += token.kind == TokenKind::Unexpected ? 1 : 0;
  return n;
}

// Built by appending: GCC 12 gives a false -Wrestrict warning on "literal" + std::string.
std::string quote(std::string_view text) {
  std::string quoted(1, '"');
  quoted += text;
  quoted += '"';
  return quoted;
}

std::string describe_failure(const ostrel::parser::FormulaError& error) {
  if (error.is_syntax()) return "syntax error at byte " + std::to_string(error.syntax().position);
  return "error: " + error.message();
}

// A formula whose figures are reported as typical must be a full "=" formula that parses
// and scans cleanly; otherwise the timings would be of an error path.
void require_clean(std::string_view formula) {
  const std::string quoted = quote(formula);
  auto parsed = FormulaParser::parse_formula(formula);
  if (!parsed.ok()) die(quoted + " does not parse: " + describe_failure(parsed.error()));
  if (!std::holds_alternative<ostrel::parser::ast::Value::Expression>(parsed.value().v)) {
    die(quoted + " is not an \"=\" formula");
  }
  const std::size_t unexpected = unexpected_count(ostrel::parser::scan_tokens(formula));
  if (unexpected != 0) die(quoted + " scans with " + std::to_string(unexpected) + " unexpected token(s)");
}

void set_byte_counters(benchmark::State& state, std::size_t bytes) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
  state.counters["sec_per_byte"] = benchmark::Counter(
      static_cast<double>(bytes), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void run_parse(benchmark::State& state, std::string_view text) {
  for (auto _ : state) {
    auto result = FormulaParser::parse_formula(text);
    benchmark::DoNotOptimize(result);
  }
  set_byte_counters(state, text.size());
}

void run_scan(benchmark::State& state, std::string_view text) {
  for (auto _ : state) {
    auto tokens = ostrel::parser::scan_tokens(text);
    benchmark::DoNotOptimize(tokens);
  }
  set_byte_counters(state, text.size());
}

std::string length_label(std::string_view formula) {
  return std::to_string(formula.size()) + " B  " + std::string(formula);
}

// ---- Typical formulas -----------------------------------------------------------------

void BM_parse_formula(benchmark::State& state) {
  const std::string_view formula = kTypical[state.range(0)];
  run_parse(state, formula);
  state.SetLabel(length_label(formula));
}
BENCHMARK(BM_parse_formula)->DenseRange(0, kTypicalCount - 1);

void BM_scan_tokens(benchmark::State& state) {
  const std::string_view formula = kTypical[state.range(0)];
  run_scan(state, formula);
  state.SetLabel(length_label(formula));
}
BENCHMARK(BM_scan_tokens)->DenseRange(0, kTypicalCount - 1);

void BM_parse_60_byte_formula(benchmark::State& state) {
  run_parse(state, kSixtyByte);
  state.SetLabel(length_label(kSixtyByte));
}
BENCHMARK(BM_parse_60_byte_formula);

void BM_scan_60_byte_formula(benchmark::State& state) {
  run_scan(state, kSixtyByte);
  state.SetLabel(length_label(kSixtyByte));
}
BENCHMARK(BM_scan_60_byte_formula);

// Parsing and evaluating against no tree: references give "REF!", which is still a full
// walk of the syntax tree. Shown beside the parse figure for scale.
void run_parse_and_evaluate(benchmark::State& state, std::string_view formula) {
  ostrel::eval::EmptyContext context;
  std::string outcome;
  for (auto _ : state) {
    auto parsed = FormulaParser::parse_formula(formula);
    if (!parsed.ok()) {
      state.SkipWithError("formula does not parse");
      return;
    }
    auto note = ostrel::eval::evaluate(parsed.value(), context);
    benchmark::DoNotOptimize(note);
    if (outcome.empty()) outcome = note.as_eval_result().to_string();
  }
  set_byte_counters(state, formula.size());
  state.SetLabel(std::to_string(formula.size()) + " B -> \"" + outcome + "\"  " + std::string(formula));
}

void BM_parse_and_evaluate(benchmark::State& state) { run_parse_and_evaluate(state, kTypical[state.range(0)]); }
BENCHMARK(BM_parse_and_evaluate)->DenseRange(0, kTypicalCount - 1);

void BM_parse_and_evaluate_60_byte_formula(benchmark::State& state) { run_parse_and_evaluate(state, kSixtyByte); }
BENCHMARK(BM_parse_and_evaluate_60_byte_formula);

// ---- 1 MiB inputs ---------------------------------------------------------------------

struct BigInput {
  std::string name;
  std::string text;
  std::string parse_outcome;  // filled in during setup, shown as the label
  std::string scan_outcome;
};

// "=" and whole copies of `unit` while they fit in 1 MiB (so no character is cut), then
// `tail`. The "=" makes the parser go past byte 0 into the expression grammar.
std::string repeated(std::string_view unit, std::string_view tail = {}) {
  std::string text = "=";
  while (text.size() + unit.size() + tail.size() <= kMiB) text += unit;
  text += tail;
  return text;
}

// "=" and pieces drawn from `pieces` (each a whole UTF-8 character) by a fixed seed: the
// same text on every run. The generator's raw output is used, not a distribution, whose
// results the standard leaves to the library.
std::string random_text(const std::vector<std::string_view>& pieces, std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::string text = "=";
  for (;;) {
    const std::string_view piece = pieces[generator() % pieces.size()];
    if (text.size() + piece.size() > kMiB) break;
    text += piece;
  }
  return text;
}

std::vector<std::string_view> formula_and_multibyte_pieces() {
  std::vector<std::string_view> pieces;
  // ASCII formula characters, several times over so that they make most of the text.
  static constexpr std::string_view kAscii = "0123456789@@{}()();;+-*/%^<>=!,. \t_abcxyzABC";
  for (int copies = 0; copies < 4; ++copies) {
    for (std::size_t i = 0; i < kAscii.size(); ++i) pieces.push_back(kAscii.substr(i, 1));
  }
  // Two-, three- and four-byte characters: letters (é, ß, Ж, 中), symbols (§, €), a
  // no-break space, a mathematical letter and an emoji.
  for (std::string_view multibyte : {"\xC3\xA9", "\xC3\x9F", "\xD0\x96", "\xE4\xB8\xAD", "\xC2\xA7", "\xE2\x82\xAC",
                                     "\xC2\xA0", "\xF0\x9D\x94\xB8", "\xF0\x9F\x98\x80"}) {
    for (int copies = 0; copies < 4; ++copies) pieces.push_back(multibyte);
  }
  return pieces;
}

std::vector<std::string_view> digit_and_separator_pieces() {
  std::vector<std::string_view> pieces;
  static constexpr std::string_view kDigits = "0123456789";
  for (int copies = 0; copies < 2; ++copies) {
    for (std::size_t i = 0; i < kDigits.size(); ++i) pieces.push_back(kDigits.substr(i, 1));
  }
  for (std::string_view separator : {",", ".", " "}) {
    for (int copies = 0; copies < 2; ++copies) pieces.push_back(separator);
  }
  return pieces;
}

std::vector<BigInput>& big_inputs() {
  static std::vector<BigInput> inputs = [] {
    std::vector<BigInput> made;
    made.push_back({"valid_formula", repeated("@a * 2 - 3 / @{b c}[2] + 15% * round(@x; 2) + ", "1"), {}, {}});
    made.push_back({"random_utf8", random_text(formula_and_multibyte_pieces(), 20240601), {}, {}});
    made.push_back({"curly_at_repeated", repeated("@{"), {}, {}});
    made.push_back({"digits_and_separators", random_text(digit_and_separator_pieces(), 7), {}, {}});
    made.push_back({"unexpected_run", repeated("#$\xC2\xA7"), {}, {}});  // "#$§"
    made.push_back({"open_parens", repeated("("), {}, {}});
    return made;
  }();
  return inputs;
}

// Records what each 1 MiB input does (shown as labels, so a fast figure that comes from an
// early syntax error is seen as such); the valid one must parse and scan cleanly.
void prepare_big_inputs() {
  for (BigInput& input : big_inputs()) {
    auto parsed = FormulaParser::parse_formula(input.text);
    input.parse_outcome = parsed.ok() ? "parses" : describe_failure(parsed.error());
    const std::vector<Token> tokens = ostrel::parser::scan_tokens(input.text);
    const std::size_t unexpected = unexpected_count(tokens);
    input.scan_outcome = std::to_string(tokens.size()) + " tokens, " + std::to_string(unexpected) + " unexpected";
    if (input.name == "valid_formula" && (!parsed.ok() || unexpected != 0)) {
      die("the 1 MiB valid formula does not parse and scan cleanly: " + input.parse_outcome + "; " +
          input.scan_outcome);
    }
  }
}

void register_big_inputs() {
  for (const BigInput& input : big_inputs()) {
    benchmark::RegisterBenchmark(("BM_parse_1MiB/" + input.name).c_str(),
                                 [&input](benchmark::State& state) {
                                   run_parse(state, input.text);
                                   state.SetLabel(input.parse_outcome);
                                 })
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
  }
  for (const BigInput& input : big_inputs()) {
    benchmark::RegisterBenchmark(("BM_scan_1MiB/" + input.name).c_str(),
                                 [&input](benchmark::State& state) {
                                   run_scan(state, input.text);
                                   state.SetLabel(input.scan_outcome);
                                 })
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
  }
}

void check_small_formulas() {
  for (std::string_view formula : kTypical) {
    if (formula.size() < 20 || formula.size() > 120) {
      die(quote(formula) + " is " + std::to_string(formula.size()) + " bytes, not 20 to 120");
    }
    require_clean(formula);
  }
  if (kSixtyByte.size() != 60) die("the 60-byte formula is " + std::to_string(kSixtyByte.size()) + " bytes");
  require_clean(kSixtyByte);
}

}  // namespace

int main(int argc, char** argv) {
  check_small_formulas();
  prepare_big_inputs();
  register_big_inputs();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
