// The one place the CPython headers are included, so that every file of the module sees
// the same configuration.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
