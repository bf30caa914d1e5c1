#include "eval/tree.h"

#include <algorithm>
#include <vector>

#include "eval/evaluator.h"
#include "invariant.h"
#include "parser/grammar.h"

namespace ostrel::eval {

namespace {

// The formula's value for the dimension, read through the context.
EvalResult evaluate_formula(const Node& node, std::size_t dimension, const TreeContext& context) {
  const std::string* text = nullptr;
  if (node.formula.is_single()) {
    text = &node.formula.single_value();
  } else if (dimension < node.formula.multi_values().size()) {
    text = &node.formula.multi_values()[dimension];
  } else {
    return EvalResult::empty();
  }
  auto value = parser::FormulaParser::parse_formula(*text);
  if (!value) return EvalResult::error(EvalError::Error);
  return evaluate(value.value(), context).as_eval_result();
}

}  // namespace

std::size_t get_max_dimensions(const Node& root) {
  std::size_t most = 0;
  for_each_pre_order(root, [&](const Node& node) {
    most = std::max(most, node.formula.is_single() ? std::size_t{1} : node.formula.multi_values().size());
  });
  return most;
}

void evaluate_dimension(TreeState& state, NodeIndex node, std::size_t dimension) {
  // The node-dimensions under way, innermost last. A frame starts (and counts as under
  // evaluation for cycles) when it is first evaluated; the frames it needs go on top of it,
  // and it is evaluated again once they are done.
  struct Frame {
    NodeIndex node;
    std::size_t dimension;
    bool needed;  // asked for by a formula: skipped once its value is known
    bool started;
  };
  std::vector<Frame> frames{{node, dimension, false, false}};
  while (!frames.empty()) {
    const Frame frame = frames.back();
    if (!frame.started) {
      const bool known = frame.needed ? state.get_value(frame.node, frame.dimension).has_value()
                                      : state.is_done(frame.node, frame.dimension);
      if (known) {
        frames.pop_back();
        continue;
      }
      frames.back().started = true;
      state.start(frame.node, frame.dimension);
    }
    const TreeContext context(state, frame.node, frame.dimension);
    const EvalResult result = evaluate_formula(state.node(frame.node), frame.dimension, context);
    const std::vector<NodeDimension>& needed = context.needed();
    if (!needed.empty()) {
      for (auto it = needed.rbegin(); it != needed.rend(); ++it) frames.push_back({it->node, it->dimension, true, false});
      continue;
    }
    state.set_value(frame.node, frame.dimension, result);
    state.finish(frame.node, frame.dimension);
    // Whoever needed it reads it next; were it still unknown, that would never end.
    if (frame.needed && !state.get_value(frame.node, frame.dimension)) {
      invariant_failure("an evaluated node-dimension has no value");
    }
    frames.pop_back();
  }
}

void evaluate_all(TreeState& state) {
  // Node indexes are in pre-order.
  for (NodeIndex node = 0; node < state.node_count(); ++node) {
    for (std::size_t d = 0; d < state.max_dimensions(); ++d) evaluate_dimension(state, node, d);
  }
}

void evaluate_tree(Node& root) {
  TreeState state(root, get_max_dimensions(root));
  evaluate_all(state);
  state.save_values();
}

}  // namespace ostrel::eval
