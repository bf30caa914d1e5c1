// The three functions on a single formula text: evaluate, evaluate_boolean, get_tokens.
#pragma once

#include "python/python.h"

namespace ostrel::python {

PyObject* py_evaluate(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* py_evaluate_boolean(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* py_get_tokens(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace ostrel::python
