// Argument handling for fast-call functions: every parameter is positional-or-keyword,
// and failures raise the interpreter's usual TypeErrors, naming the function and the
// parameter. The parameter count is part of each signature's type, so the bound arguments
// always fit it and a parameter index past it does not compile.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "python/python.h"

namespace ostrel::python {

template <std::size_t N>
struct Signature {
  const char* function;                   // the function's __name__
  std::array<const char*, N> parameters;  // names, in positional order
  std::size_t required;                   // the first `required` parameters have no default
};

// The arguments bound to the parameters: borrowed references, nullptr for an omitted
// optional parameter.
template <std::size_t N>
using Arguments = std::array<PyObject*, N>;

namespace detail {

bool bind(const char* function, const char* const* parameters, std::size_t count, std::size_t required,
          PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** bound);
std::optional<std::string_view> text(const char* function, const char* parameter, PyObject* value);
std::optional<bool> boolean(const char* function, const char* parameter, PyObject* value, bool fallback);

}  // namespace detail

// Binds the fast-call arguments to the parameters, or gives nullopt with a TypeError set
// when the call does not fit the signature.
template <std::size_t N>
std::optional<Arguments<N>> bind_arguments(const Signature<N>& signature, PyObject* const* args, Py_ssize_t nargs,
                                           PyObject* kwnames) {
  Arguments<N> bound{};
  if (!detail::bind(signature.function, signature.parameters.data(), N, signature.required, args, nargs, kwnames,
                    bound.data())) {
    return std::nullopt;
  }
  return bound;
}

// The UTF-8 text of `str` argument I (borrowed from the object, valid while it lives), or
// nullopt with an exception set: TypeError for any other type, UnicodeEncodeError for a
// string holding lone surrogates.
template <std::size_t I, std::size_t N>
std::optional<std::string_view> text_argument(const Signature<N>& signature, const Arguments<N>& bound) {
  static_assert(I < N);
  return detail::text(signature.function, signature.parameters[I], bound[I]);
}

// Bool argument I; omitted gives `fallback`. NumPy boolean scalars count as booleans;
// truthiness is not used: anything else raises TypeError.
template <std::size_t I, std::size_t N>
std::optional<bool> bool_argument(const Signature<N>& signature, const Arguments<N>& bound, bool fallback) {
  static_assert(I < N);
  return detail::boolean(signature.function, signature.parameters[I], bound[I], fallback);
}

// True for True, False and NumPy boolean scalars, recognised by type name so that NumPy
// is never imported.
bool is_boolean(PyObject* value);

}  // namespace ostrel::python
