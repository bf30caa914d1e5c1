#include "python/boundary.h"

#include <algorithm>
#include <cstring>

#include "python/ref.h"

namespace ostrel::python {

namespace {

constexpr const char* kEngineFaultKey = "ostrel_formulas.EngineFault";

// The fault type of this interpreter: made on first use and kept in the interpreter's
// dictionary for extensions, so every raise uses the same class. Empty with an exception
// set when it cannot be had.
Ref engine_fault_type() {
  PyObject* registry = PyInterpreterState_GetDict(PyInterpreterState_Get());
  if (registry == nullptr) {
    PyErr_SetString(PyExc_RuntimeError, "no interpreter dictionary for the engine's fault type");
    return nullptr;
  }
  if (PyObject* known = PyDict_GetItemString(registry, kEngineFaultKey)) return Ref(Py_NewRef(known));
  const Ref made(PyErr_NewExceptionWithDoc(kEngineFaultKey, "A broken internal invariant of the formula engine.",
                                           PyExc_BaseException, nullptr));
  if (!made) return nullptr;
  const Ref key(PyUnicode_FromString(kEngineFaultKey));
  if (!key) return nullptr;
  // Another thread may have made one meanwhile; the first stored stays.
  return Ref(Py_XNewRef(PyDict_SetDefault(registry, key.get(), made.get())));
}

}  // namespace

void raise_engine_fault(std::string_view message) {
  const Ref type(engine_fault_type());
  if (!type) return;  // the failure to get the type is the error reported
  const Ref text(text_object(message));
  if (text) PyErr_SetObject(type.get(), text.get());
}

Ref text_object(std::string_view text) {
  // ASCII, the usual case, is copied into the new str without decoding. Texts of one
  // character or none go through the decoder, which gives the interpreter's cached ones.
  const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii && text.size() > 1) {
    Ref object(PyUnicode_New(static_cast<Py_ssize_t>(text.size()), 127));
    if (object) std::memcpy(PyUnicode_1BYTE_DATA(object.get()), text.data(), text.size());
    return object;
  }
  // "replace" keeps a broken byte from becoming a second failure on the way out.
  return Ref(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
}

}  // namespace ostrel::python
