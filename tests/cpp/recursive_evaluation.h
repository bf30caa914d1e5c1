// Tree evaluation the plain way, the reference for the driver: it shares only the one-formula
// evaluator, walks for names, caches in a map and recurses ("REF!" for a cycle).
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "eval/evaluator.h"
#include "eval/tree.h"
#include "parser/grammar.h"
#include "types.h"

namespace ostrel::testing {

class RecursiveEvaluation {
 public:
  explicit RecursiveEvaluation(Node& root) : dimensions_(eval::get_max_dimensions(root)) {
    for_each_pre_order(root, [&](Node& n) {
      position_[&n] = nodes_.size();
      nodes_.push_back(&n);
    });
    single_.assign(nodes_.size(), true);
  }

  // Every node in pre-order, each in all dimensions before the next, then the write-back.
  void run() {
    for (std::size_t n = 0; n < nodes_.size(); ++n) {
      for (std::size_t d = 0; d < dimensions_; ++d) {
        // A single formula whose values agree so far is evaluated again in later dimensions.
        const bool again = d > 0 && single_[n] && nodes_[n]->formula.is_single();
        if (again || !known(n, d)) evaluate(n, d);
      }
    }
    for (std::size_t n = 0; n < nodes_.size(); ++n) write_back(n);
  }

 private:
  using Key = std::pair<std::size_t, std::size_t>;

  class Context final : public eval::EvalContext {
   public:
    Context(RecursiveEvaluation& tree, std::size_t node, std::size_t dimension)
        : tree_(tree), node_(node), dimension_(dimension) {}
    std::vector<EvalResult> get_reference_value(std::string_view name, std::optional<std::uint64_t> index) override {
      return tree_.selected(name, index, dimension_);
    }
    std::vector<EvalResult> get_cross_dimensional_values(std::string_view name,
                                                         std::optional<std::uint64_t> index) override {
      return tree_.selected(name, index, 0);
    }
    std::vector<EvalResult> get_children_values() override {
      std::vector<EvalResult> out;
      for (const Node& child : tree_.nodes_[node_]->children) {
        out.push_back(tree_.resolve(tree_.position_.at(&child), dimension_).as_own());
      }
      return out;
    }
    std::vector<EvalResult> get_right_values() override {
      const AnyDim<std::string>& formula = tree_.nodes_[node_]->formula;
      if (formula.is_single()) return {EvalResult::error(EvalError::Ref)};
      std::vector<EvalResult> out;
      for (std::size_t d = dimension_ + 1; d < formula.multi_values().size(); ++d) {
        out.push_back(tree_.resolve(node_, d));
      }
      return out;
    }
    // "right[k]" needs dimension d + k alone, not every later one.
    EvalResult get_right_value(std::uint64_t index) override {
      const AnyDim<std::string>& formula = tree_.nodes_[node_]->formula;
      if (formula.is_single()) return EvalResult::error(EvalError::Ref);
      const std::size_t count = formula.multi_values().size();
      if (index == 0 || dimension_ >= count || index >= count - dimension_) return EvalResult::error(EvalError::Ref);
      return tree_.resolve(node_, dimension_ + index);
    }

   private:
    RecursiveEvaluation& tree_;
    std::size_t node_;
    std::size_t dimension_;
  };

  bool known(std::size_t n, std::size_t d) const { return values_.count({n, d}) != 0; }

  void evaluate(std::size_t n, std::size_t d) {
    const Node& node = *nodes_[n];
    under_way_.insert({n, d});
    const std::string* text = node.formula.is_single()                 ? &node.formula.single_value()
                              : d < node.formula.multi_values().size() ? &node.formula.multi_values()[d]
                                                                       : nullptr;
    EvalResult result = EvalResult::empty();
    if (text != nullptr) {
      auto value = parser::FormulaParser::parse_formula(*text);
      Context context(*this, n, d);
      result = value ? eval::evaluate(value.value(), context).as_eval_result() : EvalResult::error(EvalError::Error);
    }
    store(n, d, result);
    under_way_.erase({n, d});
  }

  void store(std::size_t n, std::size_t d, const EvalResult& result) {
    const bool single_formula = nodes_[n]->formula.is_single();
    if (d == 0) {
      // Every dimension that holds the single value holds the new one.
      if (single_[n] && single_formula) {
        for (std::size_t k = 1; k < dimensions_; ++k) {
          if (known(n, k)) values_.at({n, k}) = result;
        }
      }
      values_.insert_or_assign({n, 0}, result);
      return;
    }
    if (single_[n] && single_formula && known(n, 0) && !(values_.at({n, 0}) == result)) {
      single_[n] = false;
      for (std::size_t k = d + 1; k < dimensions_; ++k) values_.erase({n, k});
    }
    if (!known(n, 0)) single_[n] = false;  // first evaluated in a later dimension
    values_.insert_or_assign({n, d}, result);
  }

  EvalResult resolve(std::size_t n, std::size_t d) {
    if (known(n, d)) return values_.at({n, d});
    const EvalResult cycle = EvalResult::error(EvalError::Ref);
    if (under_way_.count({n, d}) != 0) {
      store(n, d, cycle);
      return cycle;
    }
    evaluate(n, d);
    return known(n, d) ? values_.at({n, d}) : EvalResult::empty();
  }

  std::vector<EvalResult> selected(std::string_view name, std::optional<std::uint64_t> index, std::size_t d) {
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
      if (!nodes_[i]->is_hidden && nodes_[i]->name == name) candidates.push_back(i);
    }
    const EvalResult ref = EvalResult::error(EvalError::Ref);
    if (candidates.empty()) return {ref};
    if (index) {
      if (*index == 0 || *index > candidates.size()) return {ref};
      return {resolve(candidates[*index - 1], d).as_own()};
    }
    std::vector<EvalResult> out;
    for (std::size_t c : candidates) out.push_back(resolve(c, d).as_own());
    return out;
  }

  void write_back(std::size_t n) {
    bool any = false;
    std::vector<EvalResult> values;
    for (std::size_t d = 0; d < dimensions_; ++d) {
      any = any || known(n, d);
      values.push_back(known(n, d) ? values_.at({n, d}) : EvalResult::empty());
    }
    if (!any) return;
    Node& node = *nodes_[n];
    bool agree = true;
    for (const EvalResult& value : values) agree = agree && value == values[0];
    node.value = node.formula.is_single() && agree ? AnyDim<EvalResult>::single(values[0])
                                                   : AnyDim<EvalResult>::multi(std::move(values));
  }

  std::size_t dimensions_;
  std::vector<Node*> nodes_;
  std::map<const Node*, std::size_t> position_;
  std::vector<bool> single_;  // by node: a single formula whose values agree so far
  std::map<Key, EvalResult> values_;
  std::set<Key> under_way_;
};

// A node's value as text: "3" for a single value, "[1, 2, ]" for one value per dimension.
inline std::string shown(const Node& n) {
  if (n.value.is_single()) return n.value.single_value().to_string();
  std::string out;
  for (const EvalResult& r : n.value.multi_values()) out += (out.empty() ? "[" : ", ") + r.to_string();
  return out.empty() ? "[]" : out + "]";
}

// Every node's value text in pre-order.
inline std::vector<std::string> values_in_pre_order(const Node& root) {
  std::vector<std::string> out;
  for_each_pre_order(root, [&](const Node& n) { out.push_back(shown(n)); });
  return out;
}

// Every node's value text in pre-order, after evaluating the tree the recursive way.
inline std::vector<std::string> recursive_values(Node& root) {
  RecursiveEvaluation(root).run();
  return values_in_pre_order(root);
}

}  // namespace ostrel::testing
