// Value-or-error results: the engine reports failures as values, never as exceptions.
//
// Where each form of failure belongs:
// - `Result<T, E>`: a step that gives a value or says why not, to a caller that passes the
//   reason on (parsing, reading a reference, expansion).
// - `std::optional<T>` empty: the step gave up and its caller already knows why (an
//   interrupt said stop, the stack budget is spent, the fast parser leaves the text to the
//   grammar).
// - `std::optional<ConvertError>` from the spreadsheet translation: writers that append to
//   one output text return only their failure.
// - `eval::Checked<T>`: the evaluator's plain values beside the error that ends an
//   operation; an error there is a value of the formula, not a failure of the call.
// - `InvariantError` (support/invariant.h): states that no input can produce.
#pragma once

#include <cstddef>
#include <utility>
#include <variant>

#include "support/invariant.h"

namespace ostrel {

template <class E>
struct Failure {
  E error;
};

template <class E>
Failure<E> fail(E error) {
  return Failure<E>{std::move(error)};
}

template <class T, class E>
class Result {
 public:
  Result(T value) : data_(std::in_place_index<0>, std::move(value)) {}
  Result(Failure<E> failure) : data_(std::in_place_index<1>, std::move(failure.error)) {}

  bool ok() const { return data_.index() == 0; }
  explicit operator bool() const { return ok(); }

  // Taking the side that is not there is a broken invariant, not an input's fault.
  T& value() & { return *side<0>(data_); }
  const T& value() const& { return *side<0>(data_); }
  T&& value() && { return std::move(*side<0>(data_)); }
  E& error() & { return *side<1>(data_); }
  const E& error() const& { return *side<1>(data_); }
  E&& error() && { return std::move(*side<1>(data_)); }

 private:
  template <std::size_t I, class Data>
  static auto* side(Data& data) {
    auto* found = std::get_if<I>(&data);
    if (found == nullptr) invariant_failure(I == 0 ? "Result has no value" : "Result has no error");
    return found;
  }

  std::variant<T, E> data_;
};

}  // namespace ostrel

// Binds `name` to the value of `expr`, or returns its error from the enclosing function.
#define OSTREL_TRY(name, expr)                                                        \
  auto name##_result_ = (expr);                                                       \
  if (!name##_result_.ok()) return ::ostrel::fail(std::move(name##_result_).error()); \
  auto& name = name##_result_.value()
