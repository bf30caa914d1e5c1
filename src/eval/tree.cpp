#include "eval/tree.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "eval/evaluator.h"
#include "parser/grammar.h"
#include "support/interrupt.h"
#include "support/invariant.h"

namespace ostrel::eval {

namespace {

// A formula text ready to evaluate: its syntax tree, or without one the result it stands for.
struct ParsedFormula {
  std::optional<parser::ast::Value> tree;
  EvalResult unparsed = EvalResult::empty();
};

// The node-dimensions under way, innermost last. A frame starts (and counts as under
// evaluation for cycles) when it is first evaluated; the frames it waits for go on top of
// it, and it is evaluated again once they are done, from the syntax tree parsed the first
// time.
struct Frame {
  Frame(NodeIndex node, std::size_t dimension, bool needed) : node(node), dimension(dimension), needed(needed) {}
  NodeIndex node;
  std::size_t dimension;
  bool needed;  // asked for by a formula: skipped once its value is known
  bool started = false;
  // Set when started: the syntax tree to evaluate, or (null) the result the text stands
  // for, a list's number say, which needs no tree.
  const ParsedFormula* formula = nullptr;
  EvalResult immediate = EvalResult::empty();
  std::shared_ptr<const ParsedFormula> own_formula;  // one text of a formula list
};

// Runs frames over one tree. A value a formula asks for is evaluated at once, nested in the
// asking evaluation (as a recursive evaluation would), until nesting has taken the stack
// budget; deeper, the asking evaluation waits for it as a frame of its own and starts again
// when it is known.
class Driver final : public NestedEvaluator {
 public:
  Driver(TreeState& state, std::size_t nested_stack_bytes, Interrupt* interrupt)
      : state_(state), nested_stack_bytes_(nested_stack_bytes), poll_(interrupt) {}

  // Whether the caller stopped the evaluation; its values are then unfinished.
  bool stopped() const { return poll_.stopped(); }

  // Frees the node's syntax trees. Only while no frame is under way (between the walk's
  // steps), or once the node is settled: a later evaluation would parse its text again.
  void release(NodeIndex node) {
    if (!single_formulas_.empty()) single_formulas_[node].reset();
    if (!list_parses_.empty()) list_parses_[node] = ListParses{};
  }

  void evaluate(NodeIndex node, std::size_t dimension) {
    frames_.emplace_back(node, dimension, false);
    stack_base_ = stack_position();
    run();
  }

  std::optional<EvalResult> evaluate_nested(NodeIndex node, std::size_t dimension, std::vector<Wait>& waits) override {
    // The stack grows downwards here; were it not, the difference would wrap and nothing
    // would nest.
    // Refused when stopping, too: the asking formula then waits, and the run ends.
    if (stack_base_ - stack_position() > nested_stack_bytes_ || poll_.stop()) return std::nullopt;
    Frame frame(node, dimension, true);
    begin(frame);
    TreeContext context(state_, node, dimension, this);
    const EvalResult result = evaluate_once(frame, context);
    if (context.waiting()) {
      waits.push_back(Wait{node, dimension, true});
      const std::vector<Wait> inner = context.waits();
      waits.insert(waits.end(), inner.begin(), inner.end());
      return std::nullopt;
    }
    finish(node, dimension, result);
    return state_.get_value(node, dimension).value_or(EvalResult::empty());
  }

 private:
  // The frame's own address: the real stack even where a sanitizer keeps locals elsewhere.
  [[gnu::always_inline]] static std::uintptr_t stack_position() {
    return reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  }

  static ParsedFormula parse(const std::string& text) {
    ParsedFormula parsed;
    auto value = parser::FormulaParser::parse_formula(text);
    if (value) {
      parsed.tree = std::move(value).value();
    } else {
      parsed.unparsed = EvalResult::error(EvalError::Error);
    }
    return parsed;
  }

  // A single formula is parsed once for all its dimensions; a list's text once for its own.
  void parse_for(Frame& frame) {
    const Node& node = state_.node(frame.node);
    if (node.formula.is_single()) {
      // Sized on first use: a driver for one node-dimension may parse no single formula.
      if (single_formulas_.empty()) single_formulas_.resize(state_.node_count());
      std::unique_ptr<ParsedFormula>& parsed = single_formulas_[frame.node];
      if (!parsed) parsed = std::make_unique<ParsedFormula>(parse(node.formula.single_value()));
      frame.formula = parsed.get();
      return;
    }
    // A list repeats its texts from one dimension to the next: each distinct text is parsed
    // once (of the last few distinct ones, for a list of many). Frames share the parse, since
    // a dimension may wait for a later one.
    const std::vector<std::string>& texts = node.formula.multi_values();
    frame.formula = nullptr;
    if (frame.dimension >= texts.size()) {
      frame.immediate = EvalResult::empty();  // a list without a text for the dimension
      return;
    }
    const std::string& text = texts[frame.dimension];
    if (list_parses_.empty()) list_parses_.resize(state_.node_count());
    ListParses& known = list_parses_[frame.node];
    for (const ListParse& entry : known.entries) {
      if (entry.text == &text || *entry.text == text) {
        frame.own_formula = entry.parsed;
        frame.formula = frame.own_formula.get();
        return;
      }
    }
    ParsedFormula parsed = parse(text);
    if (!parsed.tree || !std::holds_alternative<parser::ast::Value::Expression>(parsed.tree->v)) {
      // A number, a blank or a text that does not parse: its result, without a tree.
      EmptyContext none;
      frame.immediate = parsed.tree ? eval::evaluate(*parsed.tree, none).as_eval_result() : parsed.unparsed;
      return;
    }
    ListParse entry{&text, std::make_shared<const ParsedFormula>(std::move(parsed))};
    frame.own_formula = entry.parsed;
    frame.formula = frame.own_formula.get();
    if (known.entries.size() < kRememberedListTexts) {
      known.entries.push_back(std::move(entry));
    } else {
      known.entries[known.next_replaced++ % kRememberedListTexts] = std::move(entry);
    }
  }

  // Marks the frame's node-dimension as under evaluation and finds its syntax tree.
  void begin(Frame& frame) {
    frame.started = true;
    state_.start(frame.node, frame.dimension);
    parse_for(frame);
  }

  static EvalResult evaluate_once(const Frame& frame, TreeContext& context) {
    if (frame.formula == nullptr) return frame.immediate;
    const ParsedFormula& formula = *frame.formula;
    return formula.tree ? eval::evaluate(*formula.tree, context).as_eval_result() : formula.unparsed;
  }

  void finish(NodeIndex node, std::size_t dimension, const EvalResult& result) {
    state_.set_value(node, dimension, result);
    state_.finish(node, dimension);
    // Frames read a node's syntax trees by pointer while any of its dimensions is under
    // evaluation, so the trees go only once none is and none will be again: early for
    // nodes that are done, so that a large tree never holds all of them at once.
    if (state_.is_settled(node)) release(node);
  }

  void run() {
    while (!frames_.empty()) {
      if (poll_.stop()) return;
      Frame& frame = frames_.back();
      if (!frame.started) {
        const bool known = frame.needed ? state_.get_value(frame.node, frame.dimension).has_value()
                                        : state_.is_done(frame.node, frame.dimension);
        if (known) {
          frames_.pop_back();
          continue;
        }
        begin(frame);
      }
      TreeContext context(state_, frame.node, frame.dimension, this);
      const EvalResult result = evaluate_once(frame, context);
      if (context.waiting()) {
        // `frame` is not used after this: the pushes may move it. A started wait was begun
        // nested and goes on where it is: under evaluation already, parsed already.
        for (const Wait& wait : context.waits()) {
          Frame& waiting = frames_.emplace_back(wait.node, wait.dimension, true);
          if (wait.started) {
            waiting.started = true;
            parse_for(waiting);
          }
        }
        continue;
      }
      const NodeIndex node = frame.node;
      const std::size_t dimension = frame.dimension;
      const bool was_needed = frame.needed;
      frames_.pop_back();
      finish(node, dimension, result);
      // Whoever needed it reads it next; were it still unknown, that would never end.
      if (was_needed && !state_.get_value(node, dimension)) {
        invariant_failure("an evaluated node-dimension has no value");
      }
    }
  }

  // The distinct texts of a node's formula list parsed so far, up to a few: a list of many
  // distinct texts replaces them in turn rather than holding every syntax tree.
  static constexpr std::size_t kRememberedListTexts = 8;
  struct ListParse {
    const std::string* text;
    std::shared_ptr<const ParsedFormula> parsed;
  };
  struct ListParses {
    std::vector<ListParse> entries;
    std::size_t next_replaced = 0;
  };

  TreeState& state_;
  std::vector<Frame> frames_;
  std::vector<std::unique_ptr<ParsedFormula>> single_formulas_;  // by node, parsed on first use
  std::vector<ListParses> list_parses_;                          // by node, made on first use
  std::size_t nested_stack_bytes_;
  std::uintptr_t stack_base_ = 0;
  InterruptPoll poll_;
};
}  // namespace

std::size_t get_max_dimensions(const Node& root) {
  std::size_t most = 0;
  for_each_pre_order(root, [&](const Node& node) {
    most = std::max(most, node.formula.is_single() ? std::size_t{1} : node.formula.multi_values().size());
  });
  return most;
}

bool evaluate_all(TreeState& state, std::size_t nested_stack_bytes, Interrupt* interrupt) {
  // Node indexes are in pre-order.
  Driver driver(state, nested_stack_bytes, interrupt);
  for (NodeIndex node = 0; node < state.node_count(); ++node) {
    for (std::size_t d = 0; d < state.max_dimensions(); ++d) {
      if (!state.is_done(node, d)) driver.evaluate(node, d);
      if (driver.stopped()) return false;
    }
    driver.release(node);  // the walk does not come back to it
  }
  return true;
}

bool evaluate_tree(Node& root, Interrupt* interrupt) {
  TreeState state(root, get_max_dimensions(root));
  if (!evaluate_all(state, kNestedStackBytes, interrupt)) return false;
  state.save_values();
  return true;
}

}  // namespace ostrel::eval
