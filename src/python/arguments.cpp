#include "python/arguments.h"

#include <cstring>

namespace ostrel::python {

namespace {

// The index of the parameter that `keyword` names, or `count` when it names none.
std::size_t parameter_index(const Signature& signature, PyObject* keyword) {
  for (std::size_t i = 0; i < signature.count; ++i) {
    if (PyUnicode_CompareWithASCIIString(keyword, signature.parameters[i]) == 0) return i;
  }
  return signature.count;
}

}  // namespace

bool bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                    PyObject** bound) {
  const auto count = static_cast<Py_ssize_t>(signature.count);
  if (nargs > count) {
    PyErr_Format(PyExc_TypeError, "%s() takes %s %zd positional argument%s (%zd given)", signature.function,
                 signature.required < signature.count ? "at most" : "exactly", count, count == 1 ? "" : "s",
                 nargs);
    return false;
  }
  for (Py_ssize_t i = 0; i < count; ++i) bound[i] = i < nargs ? args[i] : nullptr;

  const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
    if (!PyUnicode_Check(keyword)) {
      PyErr_SetString(PyExc_TypeError, "keywords must be strings");
      return false;
    }
    const std::size_t i = parameter_index(signature, keyword);
    if (i == signature.count) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", signature.function, keyword);
      return false;
    }
    if (bound[i] != nullptr) {
      if (static_cast<Py_ssize_t>(i) < nargs) {
        PyErr_Format(PyExc_TypeError, "argument for %s() given by name ('%s') and position (%zu)",
                     signature.function, signature.parameters[i], i + 1);
      } else {
        PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", signature.function,
                     signature.parameters[i]);
      }
      return false;
    }
    bound[i] = args[nargs + k];
  }

  for (std::size_t i = 0; i < signature.required; ++i) {
    if (bound[i] == nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s' (pos %zu)", signature.function,
                   signature.parameters[i], i + 1);
      return false;
    }
  }
  return true;
}

std::optional<std::string_view> text_argument(const Signature& signature, std::size_t parameter, PyObject* value) {
  if (!PyUnicode_Check(value)) {
    PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be str, not %s", signature.function,
                 signature.parameters[parameter], Py_TYPE(value)->tp_name);
    return std::nullopt;
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(value, &size);
  if (data == nullptr) return std::nullopt;
  return std::string_view(data, static_cast<std::size_t>(size));
}

bool is_boolean(PyObject* value) {
  if (PyBool_Check(value)) return true;
  const char* name = Py_TYPE(value)->tp_name;
  return std::strcmp(name, "numpy.bool_") == 0 || std::strcmp(name, "numpy.bool") == 0;
}

std::optional<bool> bool_argument(const Signature& signature, std::size_t parameter, PyObject* value,
                                  bool fallback) {
  if (value == nullptr) return fallback;
  if (!is_boolean(value)) {
    PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be bool, not %s", signature.function,
                 signature.parameters[parameter], Py_TYPE(value)->tp_name);
    return std::nullopt;
  }
  const int truth = PyObject_IsTrue(value);
  if (truth < 0) return std::nullopt;
  return truth == 1;
}

}  // namespace ostrel::python
