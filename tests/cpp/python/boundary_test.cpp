// The exception boundary of the extension module, inside an embedded interpreter: no C++
// exception may reach Python as anything but a Python exception.
#include "python/boundary.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "support/invariant.h"

namespace ostrel::python {
namespace {

class Boundary : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Py_Initialize(); }

  // The pending exception's qualified type name and message, cleared.
  static std::pair<std::string, std::string> take_error() {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    std::pair<std::string, std::string> out{reinterpret_cast<PyTypeObject*>(type)->tp_name, ""};
    if (PyObject* module = PyObject_GetAttrString(type, "__module__")) {
      if (PyUnicode_Check(module) && std::string(PyUnicode_AsUTF8(module)) != "builtins") {
        out.first = std::string(PyUnicode_AsUTF8(module)) + "." + out.first;
      }
      Py_DECREF(module);
    }
    if (PyObject* text = PyObject_Str(value)) {
      out.second = PyUnicode_AsUTF8(text);
      Py_DECREF(text);
    }
    const bool base_only =
        PyErr_GivenExceptionMatches(type, PyExc_BaseException) && !PyErr_GivenExceptionMatches(type, PyExc_Exception);
    if (out.first == "ostrel_formulas.EngineFault") {
      EXPECT_TRUE(base_only);
    }
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(traceback);
    return out;
  }
};

TEST_F(Boundary, BrokenInvariantBecomesEngineFault) {
  PyObject* result = guarded([]() -> Ref { invariant_failure("parse-tree child 3 is missing"); });
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(take_error(),
            (std::pair<std::string, std::string>{"ostrel_formulas.EngineFault", "parse-tree child 3 is missing"}));
}

TEST_F(Boundary, OtherExceptionsBecomeEngineFaultToo) {
  EXPECT_EQ(guarded([]() -> Ref { throw std::out_of_range("index 9"); }), nullptr);
  EXPECT_EQ(take_error().second, "index 9");
  EXPECT_EQ(guarded([]() -> Ref { throw 42; }), nullptr);
  EXPECT_EQ(take_error().first, "ostrel_formulas.EngineFault");
}

TEST_F(Boundary, EveryFaultHasTheSameType) {
  PyObject* types[2] = {};
  for (PyObject*& type : types) {
    raise_engine_fault("fault");
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    Py_XDECREF(value);
    Py_XDECREF(traceback);
  }
  ASSERT_NE(types[0], nullptr);
  EXPECT_EQ(types[0], types[1]);
  Py_XDECREF(types[0]);
  Py_XDECREF(types[1]);
}

TEST_F(Boundary, BadAllocBecomesMemoryError) {
  EXPECT_EQ(guarded([]() -> Ref { throw std::bad_alloc(); }), nullptr);
  EXPECT_EQ(take_error().first, "MemoryError");
}

TEST_F(Boundary, ResultsPassThrough) {
  PyObject* result = guarded([]() -> Ref { return text_object("2"); });
  ASSERT_NE(result, nullptr);
  EXPECT_STREQ(PyUnicode_AsUTF8(result), "2");
  Py_DECREF(result);
  EXPECT_EQ(PyErr_Occurred(), nullptr);
}

}  // namespace
}  // namespace ostrel::python
