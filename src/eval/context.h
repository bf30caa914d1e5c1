// What the evaluator may ask about the world outside a formula, and the context that
// stands for no world at all.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "types.h"

namespace ostrel::eval {

class EvalContext {
 public:
  virtual ~EvalContext() = default;
  // The nodes a name reference selects, in the current dimension.
  virtual std::vector<EvalResult> get_reference_value(std::string_view name, std::optional<std::uint64_t> index) = 0;
  // The value of a name reference that stands for one value (it has an index, or selects
  // one node or none), as `get_reference_value` would give it; nothing for a list. A
  // context may answer this without making a list.
  virtual std::optional<EvalResult> get_single_reference_value(std::string_view /*name*/,
                                                               std::optional<std::uint64_t> /*index*/) {
    return std::nullopt;
  }
  // The current node's children, in the current dimension.
  virtual std::vector<EvalResult> get_children_values() = 0;
  // The current node in the dimensions after the current one.
  virtual std::vector<EvalResult> get_right_values() = 0;
  // "right[index]": the one value of that list, "REF!" for an index outside it. A context
  // may fetch the one value alone.
  virtual EvalResult get_right_value(std::uint64_t index);
  // The nodes a name reference selects, in dimension 0.
  virtual std::vector<EvalResult> get_cross_dimensional_values(std::string_view name,
                                                               std::optional<std::uint64_t> index) = 0;
};

// No tree: every name reference finds "REF!", every list is empty.
class EmptyContext final : public EvalContext {
 public:
  std::vector<EvalResult> get_reference_value(std::string_view, std::optional<std::uint64_t>) override {
    return {EvalResult::error(EvalError::Ref)};
  }
  std::vector<EvalResult> get_children_values() override { return {}; }
  std::vector<EvalResult> get_right_values() override { return {}; }
  std::vector<EvalResult> get_cross_dimensional_values(std::string_view, std::optional<std::uint64_t>) override {
    return {};
  }
};

}  // namespace ostrel::eval
