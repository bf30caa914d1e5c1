#include "python/boundary.h"


namespace ostrel::python {

void raise_engine_fault(std::string_view message) {
  PyObject* type = PyErr_NewExceptionWithDoc("ostrel_formulas.EngineFault",
                                             "A broken internal invariant of the formula engine.",
                                             PyExc_BaseException, nullptr);
  if (type == nullptr) return;  // the failure to make the type is the error reported
  PyObject* text = text_object(message);
  if (text != nullptr) {
    PyErr_SetObject(type, text);
    Py_DECREF(text);
  }
  Py_DECREF(type);
}

PyObject* text_object(std::string_view text) {
  // "replace" keeps a broken byte from becoming a second failure on the way out.
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

}  // namespace ostrel::python
