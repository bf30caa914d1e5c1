#include "eval/tree.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "eval/evaluator.h"
#include "invariant.h"
#include "parser/grammar.h"

namespace ostrel::eval {

namespace {

// A formula text ready to evaluate: its syntax tree, or without one the result it stands for.
struct ParsedFormula {
  std::optional<parser::ast::Value> tree;
  EvalResult unparsed = EvalResult::empty();
};

// The node-dimensions under way, innermost last. A frame starts (and counts as under
// evaluation for cycles) when it is first evaluated; the frames it needs go on top of it,
// and it is evaluated again once they are done, from the syntax tree parsed the first time.
struct Frame {
  Frame(NodeIndex node, std::size_t dimension, bool needed) : node(node), dimension(dimension), needed(needed) {}
  NodeIndex node;
  std::size_t dimension;
  bool needed;  // asked for by a formula: skipped once its value is known
  bool started = false;
  const ParsedFormula* formula = nullptr;            // set when started
  std::shared_ptr<const ParsedFormula> own_formula;  // one text of a formula list
};

// Runs frames over one tree.
class Driver {
 public:
  explicit Driver(TreeState& state) : state_(state) {}

  void evaluate(NodeIndex node, std::size_t dimension) {
    frames_.emplace_back(node, dimension, false);
    run();
  }

 private:
  static std::unique_ptr<ParsedFormula> parse(const std::string* text) {
    auto parsed = std::make_unique<ParsedFormula>();
    if (text == nullptr) return parsed;  // a list without a text for the dimension: Empty
    auto value = parser::FormulaParser::parse_formula(*text);
    if (value) {
      parsed->tree = std::move(value).value();
    } else {
      parsed->unparsed = EvalResult::error(EvalError::Error);
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
      if (!parsed) parsed = parse(&node.formula.single_value());
      frame.formula = parsed.get();
      return;
    }
    // A list repeats its texts from one dimension to the next: each run of equal texts is
    // parsed once. Frames share the parse, since a dimension may wait for a later one.
    const std::vector<std::string>& texts = node.formula.multi_values();
    const std::string* text = frame.dimension < texts.size() ? &texts[frame.dimension] : nullptr;
    if (last_list_.empty()) last_list_.resize(state_.node_count());
    LastParse& last = last_list_[frame.node];
    if (!last.parsed || text == nullptr || last.text == nullptr || *last.text != *text) {
      last = LastParse{text, parse(text)};
    }
    frame.own_formula = last.parsed;
    frame.formula = frame.own_formula.get();
  }

  void run() {
    while (!frames_.empty()) {
      Frame& frame = frames_.back();
      if (!frame.started) {
        const bool known = frame.needed ? state_.get_value(frame.node, frame.dimension).has_value()
                                        : state_.is_done(frame.node, frame.dimension);
        if (known) {
          frames_.pop_back();
          continue;
        }
        frame.started = true;
        state_.start(frame.node, frame.dimension);
        parse_for(frame);
      }
      const TreeContext context(state_, frame.node, frame.dimension);
      const ParsedFormula& formula = *frame.formula;
      const EvalResult result =
          formula.tree ? eval::evaluate(*formula.tree, context).as_eval_result() : formula.unparsed;
      const std::vector<NodeDimension>& needed = context.needed();
      if (!needed.empty()) {
        // `frame` is not used after this: the pushes may move it.
        for (auto it = needed.rbegin(); it != needed.rend(); ++it) frames_.emplace_back(it->node, it->dimension, true);
        continue;
      }
      const NodeIndex node = frame.node;
      const std::size_t dimension = frame.dimension;
      const bool was_needed = frame.needed;
      frames_.pop_back();
      state_.set_value(node, dimension, result);
      state_.finish(node, dimension);
      // Whoever needed it reads it next; were it still unknown, that would never end.
      if (was_needed && !state_.get_value(node, dimension)) {
        invariant_failure("an evaluated node-dimension has no value");
      }
    }
  }

  // The text of a formula list parsed last for a node.
  struct LastParse {
    const std::string* text = nullptr;
    std::shared_ptr<const ParsedFormula> parsed;
  };

  TreeState& state_;
  std::vector<Frame> frames_;
  std::vector<std::unique_ptr<ParsedFormula>> single_formulas_;  // by node, parsed on first use
  std::vector<LastParse> last_list_;                             // by node, made on first use
};
}  // namespace

std::size_t get_max_dimensions(const Node& root) {
  std::size_t most = 0;
  for_each_pre_order(root, [&](const Node& node) {
    most = std::max(most, node.formula.is_single() ? std::size_t{1} : node.formula.multi_values().size());
  });
  return most;
}

void evaluate_dimension(TreeState& state, NodeIndex node, std::size_t dimension) {
  Driver(state).evaluate(node, dimension);
}

void evaluate_all(TreeState& state) {
  // Node indexes are in pre-order.
  Driver driver(state);
  for (NodeIndex node = 0; node < state.node_count(); ++node) {
    for (std::size_t d = 0; d < state.max_dimensions(); ++d) {
      if (!state.is_done(node, d)) driver.evaluate(node, d);
    }
  }
}

void evaluate_tree(Node& root) {
  TreeState state(root, get_max_dimensions(root));
  evaluate_all(state);
  state.save_values();
}

}  // namespace ostrel::eval
