// The functions on host trees.
#pragma once

#include "python/python.h"

namespace ostrel::python {

PyObject* py_evaluate_tree(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* py_export_tree_to_excel(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace ostrel::python
