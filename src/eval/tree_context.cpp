#include "eval/tree_context.h"

#include "support/invariant.h"

namespace ostrel::eval {

// ---- Tree state ---------------------------------------------------------------------------

TreeState::TreeState(Node& root, std::size_t max_dimensions)
    : root_(root), max_dimensions_(max_dimensions), index_(root) {
  kinds_.assign(index_.size(), Kind::Absent);
  cache_.resize(index_.size() * max_dimensions_);
  in_progress_.assign(index_.size() * max_dimensions_, false);
}

// ---- Cache --------------------------------------------------------------------------------

std::optional<EvalResult> TreeState::get_value(NodeIndex node, std::size_t dimension) const {
  if (dimension >= max_dimensions_) return std::nullopt;
  return cache_[slot(node, dimension)].result;
}

bool TreeState::is_done(NodeIndex node, std::size_t dimension) const {
  switch (kinds_[node]) {
    case Kind::Absent:
      return false;
    case Kind::Single:
      return dimension == 0;  // a single entry starts from dimension 0
    case Kind::Multi:
      return dimension < max_dimensions_ && cache_[slot(node, dimension)].evaluated();
  }
  return false;
}

bool TreeState::is_settled(NodeIndex node) const {
  if (kinds_[node] == Kind::Absent || (kinds_[node] == Kind::Single && max_dimensions_ > 1)) return false;
  // A per-dimension entry never empties a slot again, nor does a single one of one dimension.
  for (std::size_t d = max_dimensions_; d-- > 0;) {
    if (!cache_[slot(node, d)].evaluated() || in_progress_[slot(node, d)]) return false;
  }
  return true;
}

void TreeState::set_value(NodeIndex node, std::size_t dimension, const EvalResult& result) {
  if (dimension >= max_dimensions_) invariant_failure("dimension beyond the tree's dimensions");
  EvalState* slots = &cache_[slot(node, 0)];
  switch (kinds_[node]) {
    case Kind::Absent:
      kinds_[node] = dimension == 0 && index_.node(node).formula.is_single() ? Kind::Single : Kind::Multi;
      slots[dimension].result = result;
      return;
    case Kind::Multi:
      slots[dimension].result = result;
      return;
    case Kind::Single:
      if (dimension == 0) {
        // The single value changes for every dimension that holds it (dimension 0 always does).
        for (std::size_t d = 0; d < max_dimensions_; ++d) {
          if (slots[d].evaluated()) slots[d].result = result;
        }
      } else if (result == *slots[0].result) {
        slots[dimension].result = slots[0].result;  // the single value itself: 0 stays 0, not -0
      } else {
        // The dimensions evaluated so far gave the single value; they keep it. Later ones
        // were read before this dimension changed the picture (a cycle's placeholder, say):
        // they are evaluated again.
        kinds_[node] = Kind::Multi;
        slots[dimension].result = result;
        for (std::size_t d = dimension + 1; d < max_dimensions_; ++d) slots[d].result.reset();
      }
      return;
  }
}

bool TreeState::agrees_in_every_dimension(NodeIndex node) const {
  const EvalState* slots = cache_.data() + slot(node, 0);
  for (std::size_t d = 1; d < max_dimensions_; ++d) {
    if (!(slots[d].as_eval_result() == slots[0].as_eval_result())) return false;
  }
  return true;
}

void TreeState::save_values() {
  // The walk meets the nodes in the order in which the index numbered them.
  NodeIndex i = 0;
  for_each_pre_order(root_, [&](Node& node) {
    const NodeIndex at = i++;
    if (kinds_[at] == Kind::Absent) return;
    const EvalState* slots = cache_.data() + slot(at, 0);
    // The shape of a single formula's value follows its values alone, never the order in
    // which its dimensions happened to be filled.
    if (node.formula.is_single() && agrees_in_every_dimension(at)) {
      node.value = AnyDim<EvalResult>::single(slots[0].as_eval_result());
    } else {
      std::vector<EvalResult> values;
      values.reserve(max_dimensions_);
      for (std::size_t d = 0; d < max_dimensions_; ++d) values.push_back(slots[d].as_eval_result());
      node.value = AnyDim<EvalResult>::multi(std::move(values));
    }
  });
}

// ---- Tree context -------------------------------------------------------------------------

EvalResult TreeContext::resolve(NodeIndex node, std::size_t dimension) {
  if (std::optional<EvalResult> known = state_.get_value(node, dimension)) return *known;
  if (state_.is_circular(node, dimension)) {
    const EvalResult cycle = EvalResult::error(EvalError::Ref);
    state_.set_value(node, dimension, cycle);
    return cycle;
  }
  if (nested_ != nullptr && !waiting()) {
    std::vector<Wait> waits;
    if (std::optional<EvalResult> value = nested_->evaluate_nested(node, dimension, waits)) return *value;
    if (!waits.empty()) {
      nested_waits_ = std::move(waits);
      return EvalResult::empty();
    }
  }
  needed_.push_back(NodeDimension{node, dimension});
  return EvalResult::empty();
}

std::vector<EvalResult> TreeContext::answer(std::vector<EvalResult> values) {
  if (waiting()) suspended_ = true;
  return values;
}

std::vector<Wait> TreeContext::waits() const {
  // The driver takes up the last first: the nested chain goes last, the needed ones before
  // it in reverse, so that they are taken up in the order they were asked for.
  std::vector<Wait> waits;
  waits.reserve(needed_.size() + nested_waits_.size());
  for (auto it = needed_.rbegin(); it != needed_.rend(); ++it) waits.push_back(Wait{it->node, it->dimension, false});
  waits.insert(waits.end(), nested_waits_.begin(), nested_waits_.end());
  return waits;
}

std::optional<EvalResult> TreeContext::selected_one(std::span<const NodeIndex> candidates,
                                                    std::optional<std::uint64_t> index, std::size_t dimension) {
  const EvalResult ref = EvalResult::error(EvalError::Ref);
  if (candidates.empty()) return ref;
  if (!index) return candidates.size() == 1 ? std::optional(resolve(candidates[0], dimension).as_own()) : std::nullopt;
  if (*index == 0 || *index > candidates.size()) return ref;
  return resolve(candidates[*index - 1], dimension).as_own();
}

std::vector<EvalResult> TreeContext::selected(std::string_view name, std::optional<std::uint64_t> index,
                                              std::size_t dimension) {
  const std::span<const NodeIndex> candidates = state_.named(name);
  if (std::optional<EvalResult> one = selected_one(candidates, index, dimension)) return {*one};
  std::vector<EvalResult> values;
  values.reserve(candidates.size());
  for (NodeIndex candidate : candidates) values.push_back(resolve(candidate, dimension).as_own());
  return values;
}

std::vector<EvalResult> TreeContext::get_reference_value(std::string_view name, std::optional<std::uint64_t> index) {
  if (suspended_) return {};
  return answer(selected(name, index, dimension_));
}

std::optional<EvalResult> TreeContext::get_single_reference_value(std::string_view name,
                                                                  std::optional<std::uint64_t> index) {
  if (suspended_) return EvalResult::error(EvalError::Ref);  // a placeholder, as an empty list would give
  std::optional<EvalResult> value = selected_one(state_.named(name), index, dimension_);
  if (value) answer({});
  return value;
}

std::vector<EvalResult> TreeContext::get_cross_dimensional_values(std::string_view name,
                                                                  std::optional<std::uint64_t> index) {
  if (suspended_) return {};
  return answer(selected(name, index, 0));
}

std::vector<EvalResult> TreeContext::get_children_values() {
  if (suspended_) return {};
  const std::vector<NodeIndex>& children = state_.children(node_);
  std::vector<EvalResult> values;
  values.reserve(children.size());
  for (NodeIndex child : children) values.push_back(resolve(child, dimension_).as_own());
  return answer(std::move(values));
}

EvalResult TreeContext::get_right_value(std::uint64_t index) {
  if (suspended_) return EvalResult::error(EvalError::Ref);
  const AnyDim<std::string>& formula = state_.node(node_).formula;
  if (formula.is_single()) return EvalResult::error(EvalError::Ref);
  const std::size_t count = formula.multi_values().size();
  if (index == 0 || dimension_ >= count || index > count - dimension_ - 1) return EvalResult::error(EvalError::Ref);
  const EvalResult value = resolve(node_, dimension_ + index);
  answer({});
  return value;
}

std::vector<EvalResult> TreeContext::get_right_values() {
  if (suspended_) return {};
  const AnyDim<std::string>& formula = state_.node(node_).formula;
  if (formula.is_single()) return {EvalResult::error(EvalError::Ref)};
  const std::size_t count = formula.multi_values().size();
  std::vector<EvalResult> values;
  values.reserve(count > dimension_ ? count - dimension_ - 1 : 0);
  for (std::size_t d = dimension_ + 1; d < count; ++d) values.push_back(resolve(node_, d));
  return answer(std::move(values));
}

}  // namespace ostrel::eval
