// Value-or-error results: the engine reports failures as values, never as exceptions.
#pragma once

#include <utility>
#include <variant>

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

  T& value() & { return std::get<0>(data_); }
  const T& value() const& { return std::get<0>(data_); }
  T&& value() && { return std::get<0>(std::move(data_)); }
  E& error() & { return std::get<1>(data_); }
  const E& error() const& { return std::get<1>(data_); }
  E&& error() && { return std::get<1>(std::move(data_)); }

 private:
  std::variant<T, E> data_;
};

}  // namespace ostrel

// Binds `name` to the value of `expr`, or returns its error from the enclosing function.
#define OSTREL_TRY(name, expr)                                                        \
  auto name##_result_ = (expr);                                                       \
  if (!name##_result_.ok()) return ::ostrel::fail(std::move(name##_result_).error()); \
  auto& name = name##_result_.value()
