#include "python/arguments.h"

#include <cstring>

namespace ostrel::python {

namespace {

// The index of the parameter that `keyword` names, or `count` when it names none.
std::size_t parameter_index(const char* const* parameters, std::size_t count, PyObject* keyword) {
  for (std::size_t i = 0; i < count; ++i) {
    if (PyUnicode_CompareWithASCIIString(keyword, parameters[i]) == 0) return i;
  }
  return count;
}

}  // namespace

namespace detail {

bool bind(const char* function, const char* const* parameters, std::size_t count, std::size_t required,
          PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** bound) {
  const auto positional = static_cast<Py_ssize_t>(count);
  if (nargs > positional) {
    PyErr_Format(PyExc_TypeError, "%s() takes %s %zd positional argument%s (%zd given)", function,
                 required < count ? "at most" : "exactly", positional, positional == 1 ? "" : "s", nargs);
    return false;
  }
  for (Py_ssize_t i = 0; i < positional; ++i) bound[i] = i < nargs ? args[i] : nullptr;

  const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
    if (!PyUnicode_Check(keyword)) {
      PyErr_SetString(PyExc_TypeError, "keywords must be strings");
      return false;
    }
    const std::size_t i = parameter_index(parameters, count, keyword);
    if (i == count) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", function, keyword);
      return false;
    }
    if (bound[i] != nullptr) {
      if (static_cast<Py_ssize_t>(i) < nargs) {
        PyErr_Format(PyExc_TypeError, "argument for %s() given by name ('%s') and position (%zu)", function,
                     parameters[i], i + 1);
      } else {
        PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", function, parameters[i]);
      }
      return false;
    }
    bound[i] = args[nargs + k];
  }

  for (std::size_t i = 0; i < required; ++i) {
    if (bound[i] == nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s' (pos %zu)", function, parameters[i], i + 1);
      return false;
    }
  }
  return true;
}

std::optional<std::string_view> text(const char* function, const char* parameter, PyObject* value) {
  if (!PyUnicode_Check(value)) {
    PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be str, not %s", function, parameter,
                 Py_TYPE(value)->tp_name);
    return std::nullopt;
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(value, &size);
  if (data == nullptr) return std::nullopt;
  return std::string_view(data, static_cast<std::size_t>(size));
}

std::optional<bool> boolean(const char* function, const char* parameter, PyObject* value, bool fallback) {
  if (value == nullptr) return fallback;
  if (!is_boolean(value)) {
    PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be bool, not %s", function, parameter,
                 Py_TYPE(value)->tp_name);
    return std::nullopt;
  }
  const int truth = PyObject_IsTrue(value);
  if (truth < 0) return std::nullopt;
  return truth == 1;
}

}  // namespace detail

bool is_boolean(PyObject* value) {
  if (PyBool_Check(value)) return true;
  const char* name = Py_TYPE(value)->tp_name;
  return std::strcmp(name, "numpy.bool_") == 0 || std::strcmp(name, "numpy.bool") == 0;
}

}  // namespace ostrel::python
