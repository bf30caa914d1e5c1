// One value standing for every dimension, or one value per dimension.
#pragma once

#include <cstddef>
#include <utility>
#include <variant>
#include <vector>

#include "support/invariant.h"

namespace ostrel {

template <class T>
class AnyDim {
 public:
  static AnyDim single(T value) { return AnyDim(std::in_place_index<0>, std::move(value)); }
  static AnyDim multi(std::vector<T> values) { return AnyDim(std::in_place_index<1>, std::move(values)); }

  bool is_single() const { return data_.index() == 0; }
  bool is_multi() const { return data_.index() == 1; }

  const T& single_value() const { return checked_single(); }
  T& single_value() { return const_cast<T&>(checked_single()); }
  const std::vector<T>& multi_values() const { return checked_multi(); }
  std::vector<T>& multi_values() { return const_cast<std::vector<T>&>(checked_multi()); }

  // Iteration (AnyDimIter): a Single yields its element once, a Multi its elements in order.
  using AnyDimIter = const T*;
  AnyDimIter begin() const { return is_single() ? &std::get<0>(data_) : std::get<1>(data_).data(); }
  AnyDimIter end() const { return is_single() ? begin() + 1 : begin() + std::get<1>(data_).size(); }

  friend bool operator==(const AnyDim&, const AnyDim&) = default;

 private:
  template <std::size_t I, class U>
  AnyDim(std::in_place_index_t<I> tag, U&& value) : data_(tag, std::forward<U>(value)) {}

  const T& checked_single() const {
    if (!is_single()) invariant_failure("AnyDim is not Single");
    return std::get<0>(data_);
  }
  const std::vector<T>& checked_multi() const {
    if (!is_multi()) invariant_failure("AnyDim is not Multi");
    return std::get<1>(data_);
  }

  std::variant<T, std::vector<T>> data_;
};

}  // namespace ostrel
