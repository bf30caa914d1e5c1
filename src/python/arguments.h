// Argument handling for fast-call functions: every parameter is positional-or-keyword,
// and failures raise the interpreter's usual TypeErrors, naming the function and the
// parameter.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "python/python.h"

namespace ostrel::python {

struct Signature {
  const char* function;            // the function's __name__
  const char* const* parameters;   // names, in positional order
  std::size_t count;
  std::size_t required;            // the first `required` parameters have no default
};

// Binds the fast-call arguments to the parameters: `bound[i]` receives a borrowed
// reference, or nullptr for an omitted optional parameter. Returns false with a TypeError
// set when the call does not fit the signature.
bool bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                    PyObject** bound);

// The UTF-8 text of a `str` argument (borrowed from the object, valid while it lives), or
// nullopt with an exception set: TypeError for any other type, UnicodeEncodeError for a
// string holding lone surrogates.
std::optional<std::string_view> text_argument(const Signature& signature, std::size_t parameter, PyObject* value);

// A bool argument; omitted gives `fallback`. NumPy boolean scalars count as booleans;
// truthiness is not used: anything else raises TypeError.
std::optional<bool> bool_argument(const Signature& signature, std::size_t parameter, PyObject* value, bool fallback);

// True for True, False and NumPy boolean scalars, recognised by type name so that NumPy
// is never imported.
bool is_boolean(PyObject* value);

}  // namespace ostrel::python
