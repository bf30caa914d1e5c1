// What one tree evaluation shares between all its formulas: the nodes in pre-order with a
// name index, the cache of values per node and dimension, and the node-dimensions under
// evaluation; and `TreeContext`, the evaluator's view of it for one node-dimension.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "eval/context.h"
#include "nodes/tree_index.h"
#include "types.h"

namespace ostrel::eval {

// One slot of the cache: a finished result, or not evaluated yet.
struct EvalState {
  std::optional<EvalResult> result;
  bool evaluated() const { return result.has_value(); }
  EvalResult as_eval_result() const { return result.value_or(EvalResult::empty()); }
};

struct NodeDimension {
  NodeIndex node;
  std::size_t dimension;
};

class TreeState {
 public:
  TreeState(Node& root, std::size_t max_dimensions);

  std::size_t max_dimensions() const { return max_dimensions_; }
  std::size_t node_count() const { return index_.size(); }
  const Node& node(NodeIndex i) const { return index_.node(i); }
  // The node's children, as indexes.
  const std::vector<NodeIndex>& children(NodeIndex i) const { return index_.children(i); }
  // The visible nodes of a name in pre-order.
  std::span<const NodeIndex> named(std::string_view name) const { return index_.named(name); }

  // The node's result in the dimension, when it is known. A single entry answers only for
  // the dimensions in which the node's formula was evaluated, so that a reader of a
  // dimension always gets the formula's value in that dimension.
  std::optional<EvalResult> get_value(NodeIndex node, std::size_t dimension) const;
  void set_value(NodeIndex node, std::size_t dimension, const EvalResult& result);
  // Whether the driver may skip the node-dimension: a single entry counts as done only in
  // dimension 0, a per-dimension entry where its slot is filled.
  bool is_done(NodeIndex node, std::size_t dimension) const;
  // Whether no evaluation of the node will ever start again: every dimension is done for
  // the driver, including the walk (which evaluates a single entry again in each dimension
  // after the first), and none is under evaluation.
  bool is_settled(NodeIndex node) const;

  bool is_circular(NodeIndex node, std::size_t dimension) const { return in_progress_[slot(node, dimension)]; }
  void start(NodeIndex node, std::size_t dimension) { in_progress_[slot(node, dimension)] = true; }
  void finish(NodeIndex node, std::size_t dimension) { in_progress_[slot(node, dimension)] = false; }

  // Writes every cached value into its node's `value`; nodes without an entry keep theirs.
  // A single formula is written as one value exactly when it gave equal results in every
  // dimension.
  void save_values();

 private:
  // How a node's cache slots are read: not yet, as one value for all dimensions (the
  // slots of the dimensions it was evaluated in hold it), or one value per dimension.
  enum class Kind : std::uint8_t { Absent, Single, Multi };

  std::size_t slot(NodeIndex node, std::size_t dimension) const { return node * max_dimensions_ + dimension; }
  // Whether every dimension's result equals dimension 0's (NaN never does).
  bool agrees_in_every_dimension(NodeIndex node) const;

  Node& root_;
  std::size_t max_dimensions_;
  TreeIndex index_;
  std::vector<Kind> kinds_;       // by node
  std::vector<EvalState> cache_;  // by slot: every dimension of a node side by side
  // Node-dimensions under evaluation, by slot: the cycle check is one lookup.
  std::vector<bool> in_progress_;
};

// A node-dimension that an evaluation waits for. `started` marks one that was begun nested in
// that evaluation and could not finish there: it is under evaluation already, and is
// continued rather than begun.
struct Wait {
  NodeIndex node;
  std::size_t dimension;
  bool started;
};

// Evaluates a node-dimension that a formula asks for, nested in the asking evaluation, as a
// recursive evaluation would.
class NestedEvaluator {
 public:
  // The node-dimension's value, evaluated now and stored. Otherwise nothing: with `waits`
  // empty when nesting deeper is not possible here (the stack budget is spent), or with
  // what it waits for, in the order the driver takes them up (the node-dimension itself,
  // started, first).
  virtual std::optional<EvalResult> evaluate_nested(NodeIndex node, std::size_t dimension,
                                                    std::vector<Wait>& waits) = 0;

 protected:
  ~NestedEvaluator() = default;
};

// The evaluator's view of the tree while one node-dimension is evaluated.
//
// A value that is neither cached nor under evaluation is evaluated at once, nested, while
// the stack allows. Past that, it is not computed here: the context notes the node-
// dimensions that one request needs, in order, and from then on answers every request with
// nothing. The driver then evaluates those first and evaluates this formula again from the
// start. So depth of references never becomes unbounded depth of the C++ stack, and each
// evaluation sees the cache exactly as a recursive one would.
class TreeContext final : public EvalContext {
 public:
  TreeContext(TreeState& state, NodeIndex node, std::size_t dimension, NestedEvaluator* nested = nullptr)
      : state_(state), node_(node), dimension_(dimension), nested_(nested) {}

  std::vector<EvalResult> get_reference_value(std::string_view name, std::optional<std::uint64_t> index) override;
  std::optional<EvalResult> get_single_reference_value(std::string_view name,
                                                       std::optional<std::uint64_t> index) override;
  std::vector<EvalResult> get_children_values() override;
  std::vector<EvalResult> get_right_values() override;
  EvalResult get_right_value(std::uint64_t index) override;
  std::vector<EvalResult> get_cross_dimensional_values(std::string_view name,
                                                       std::optional<std::uint64_t> index) override;

  // Whether the evaluation must wait, so that its result does not count yet.
  bool waiting() const { return !needed_.empty() || !nested_waits_.empty(); }
  // What it waits for, in the order the driver takes them up: a nested evaluation that
  // could not finish (with what that waits for), then the node-dimensions the request
  // needed after it.
  std::vector<Wait> waits() const;

 private:
  // A value for the evaluator: cached, "REF!" for a cycle (recorded in the cache), evaluated
  // now, or a placeholder while the evaluation waits.
  EvalResult resolve(NodeIndex node, std::size_t dimension);
  // The one value of a reference with an index, or of a name with one node or none;
  // nothing for a name with several.
  std::optional<EvalResult> selected_one(std::span<const NodeIndex> candidates, std::optional<std::uint64_t> index,
                                         std::size_t dimension);
  std::vector<EvalResult> selected(std::string_view name, std::optional<std::uint64_t> index, std::size_t dimension);
  // Ends a request: once anything is waited for, later requests are not looked at.
  std::vector<EvalResult> answer(std::vector<EvalResult> values);

  TreeState& state_;
  NodeIndex node_;
  std::size_t dimension_;
  NestedEvaluator* nested_;
  std::vector<NodeDimension> needed_;
  std::vector<Wait> nested_waits_;
  bool suspended_ = false;
};

}  // namespace ostrel::eval
