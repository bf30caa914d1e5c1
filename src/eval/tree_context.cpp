#include "eval/tree_context.h"

#include <algorithm>

#include "invariant.h"

namespace ostrel::eval {

// ---- Tree state ---------------------------------------------------------------------------

TreeState::TreeState(Node& root, std::size_t max_dimensions) : max_dimensions_(max_dimensions) {
  // Numbering in pre-order, without recursing: each entry is a node and its parent's index.
  constexpr NodeIndex kNoParent = ~NodeIndex{0};
  std::vector<std::pair<Node*, NodeIndex>> pending{{&root, kNoParent}};
  while (!pending.empty()) {
    const auto [node, parent] = pending.back();
    pending.pop_back();
    if (nodes_.size() >= kNoParent) invariant_failure("node tree too large to index");
    const auto index = static_cast<NodeIndex>(nodes_.size());
    nodes_.push_back(node);
    children_.emplace_back();
    if (parent != kNoParent) children_[parent].push_back(index);
    for (auto child = node->children.rbegin(); child != node->children.rend(); ++child) {
      pending.emplace_back(&*child, index);
    }
  }
  by_name_.reserve(nodes_.size());
  for (NodeIndex i = 0; i < nodes_.size(); ++i) {
    if (!nodes_[i]->is_hidden) by_name_.add(nodes_[i]->name, i);
  }
  cache_.resize(nodes_.size());
  in_progress_.assign(nodes_.size() * max_dimensions_, false);
}

const std::vector<NodeIndex>* TreeState::named(std::string_view name) const { return by_name_.find(name); }

// ---- Name index ---------------------------------------------------------------------------

std::uint64_t TreeState::NameIndex::hash(std::string_view name) {
  std::uint64_t h = 14695981039346656037ull;  // FNV-1a
  for (const char c : name) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  return h;
}

void TreeState::NameIndex::reserve(std::size_t names) {
  std::size_t size = 16;
  while (size < 2 * names) size *= 2;
  slots_.assign(size, Slot{});
}

std::size_t TreeState::NameIndex::probe(std::string_view name, std::uint64_t h) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = h & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.group == 0 || (slot.hash == h && names_[slot.group - 1] == name)) return i;
  }
}

void TreeState::NameIndex::add(std::string_view name, NodeIndex node) {
  const std::uint64_t h = hash(name);
  Slot& slot = slots_[probe(name, h)];  // at most half full: `reserve` counted every node
  if (slot.group == 0) {
    names_.push_back(name);
    groups_.emplace_back();
    slot = Slot{h, static_cast<std::uint32_t>(groups_.size())};
  }
  groups_[slot.group - 1].push_back(node);
}

const std::vector<NodeIndex>* TreeState::NameIndex::find(std::string_view name) const {
  const Slot& slot = slots_[probe(name, hash(name))];
  return slot.group == 0 ? nullptr : &groups_[slot.group - 1];
}

// ---- Cache --------------------------------------------------------------------------------

bool TreeState::Entry::single_done(std::size_t dimension) const {
  return dimension < done_below || std::find(done_also.begin(), done_also.end(), dimension) != done_also.end();
}

void TreeState::Entry::mark_done(std::size_t dimension) {
  if (single_done(dimension)) return;
  if (dimension != done_below) {
    done_also.push_back(dimension);
    return;
  }
  ++done_below;
  for (auto next = std::find(done_also.begin(), done_also.end(), done_below); next != done_also.end();
       next = std::find(done_also.begin(), done_also.end(), done_below)) {
    done_also.erase(next);
    ++done_below;
  }
}

std::optional<EvalResult> TreeState::get_value(NodeIndex node, std::size_t dimension) const {
  const Entry& entry = cache_[node];
  switch (entry.kind) {
    case Entry::Kind::Absent:
      return std::nullopt;
    case Entry::Kind::Single:
      if (!entry.single_done(dimension)) return std::nullopt;
      return entry.single;
    case Entry::Kind::Multi:
      if (dimension >= entry.slots.size()) return std::nullopt;
      return entry.slots[dimension].result;
  }
  return std::nullopt;
}

bool TreeState::is_done(NodeIndex node, std::size_t dimension) const {
  const Entry& entry = cache_[node];
  switch (entry.kind) {
    case Entry::Kind::Absent:
      return false;
    case Entry::Kind::Single:
      return dimension == 0 && entry.single_done(0);
    case Entry::Kind::Multi:
      return dimension < entry.slots.size() && entry.slots[dimension].evaluated();
  }
  return false;
}

void TreeState::set_value(NodeIndex node, std::size_t dimension, const EvalResult& result) {
  if (dimension >= max_dimensions_) invariant_failure("dimension beyond the tree's dimensions");
  Entry& entry = cache_[node];
  switch (entry.kind) {
    case Entry::Kind::Absent:
      if (dimension == 0 && nodes_[node]->formula.is_single()) {
        entry.kind = Entry::Kind::Single;
        entry.single = result;
        entry.mark_done(0);
      } else {
        entry.kind = Entry::Kind::Multi;
        entry.slots.assign(max_dimensions_, EvalState{});
        entry.slots[dimension].result = result;
      }
      return;
    case Entry::Kind::Multi:
      entry.slots[dimension].result = result;
      return;
    case Entry::Kind::Single:
      if (dimension == 0) {
        entry.single = result;
        entry.mark_done(0);
      } else if (result == entry.single) {
        entry.mark_done(dimension);
      } else {
        // The dimensions evaluated so far gave the single value; they keep it.
        std::vector<EvalState> slots(max_dimensions_);
        for (std::size_t d = 0; d < max_dimensions_; ++d) {
          if (entry.single_done(d)) slots[d].result = entry.single;
        }
        slots[dimension].result = result;
        entry = Entry{};
        entry.kind = Entry::Kind::Multi;
        entry.slots = std::move(slots);
      }
      return;
  }
}

void TreeState::save_values() {
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    const Entry& entry = cache_[i];
    if (entry.kind == Entry::Kind::Single) {
      nodes_[i]->value = AnyDim<EvalResult>::single(entry.single);
    } else if (entry.kind == Entry::Kind::Multi) {
      std::vector<EvalResult> values;
      values.reserve(entry.slots.size());
      for (const EvalState& slot : entry.slots) values.push_back(slot.as_eval_result());
      nodes_[i]->value = AnyDim<EvalResult>::multi(std::move(values));
    }
  }
}

// ---- Tree context -------------------------------------------------------------------------

EvalResult TreeContext::resolve(NodeIndex node, std::size_t dimension) const {
  if (std::optional<EvalResult> known = state_.get_value(node, dimension)) return *known;
  if (state_.is_circular(node, dimension)) {
    const EvalResult cycle = EvalResult::error(EvalError::Ref);
    state_.set_value(node, dimension, cycle);
    return cycle;
  }
  needed_.push_back(NodeDimension{node, dimension});
  return EvalResult::empty();
}

std::vector<EvalResult> TreeContext::answer(std::vector<EvalResult> values) const {
  if (!needed_.empty()) suspended_ = true;
  return values;
}

std::vector<EvalResult> TreeContext::selected(std::string_view name, std::optional<std::uint64_t> index,
                                              std::size_t dimension) const {
  const std::vector<NodeIndex>* candidates = state_.named(name);
  const EvalResult ref = EvalResult::error(EvalError::Ref);
  if (candidates == nullptr || candidates->empty()) return {ref};
  if (index) {
    if (*index == 0 || *index > candidates->size()) return {ref};
    return {resolve((*candidates)[*index - 1], dimension).as_own()};
  }
  std::vector<EvalResult> values;
  values.reserve(candidates->size());
  for (NodeIndex candidate : *candidates) values.push_back(resolve(candidate, dimension).as_own());
  return values;
}

std::vector<EvalResult> TreeContext::get_reference_value(std::string_view name,
                                                         std::optional<std::uint64_t> index) const {
  if (suspended_) return {};
  return answer(selected(name, index, dimension_));
}

std::vector<EvalResult> TreeContext::get_cross_dimensional_values(std::string_view name,
                                                                  std::optional<std::uint64_t> index) const {
  if (suspended_) return {};
  return answer(selected(name, index, 0));
}

std::vector<EvalResult> TreeContext::get_children_values() const {
  if (suspended_) return {};
  const std::vector<NodeIndex>& children = state_.children(node_);
  std::vector<EvalResult> values;
  values.reserve(children.size());
  for (NodeIndex child : children) values.push_back(resolve(child, dimension_).as_own());
  return answer(std::move(values));
}

std::vector<EvalResult> TreeContext::get_right_values() const {
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
