// The boundary between the engine and the interpreter: no C++ exception may cross it.
#pragma once

#include <exception>
#include <new>
#include <string_view>

#include "python/python.h"
#include "python/ref.h"

namespace ostrel::python {

// Raises the dedicated exception for broken internal invariants. The type derives from
// BaseException so that ordinary `except Exception` handlers do not swallow an engine
// fault. It is made on first use, once per interpreter, and is not a module attribute:
// callers recognise it as `type(e).__module__ == "ostrel_formulas"` and
// `type(e).__name__ == "EngineFault"`.
void raise_engine_fault(std::string_view message);

// A str made from UTF-8 bytes the engine produced.
Ref text_object(std::string_view text);

// Runs `body`, which returns a `Ref` (empty with an exception set), hands its reference to
// the interpreter, and turns every C++ exception into a Python one: std::bad_alloc into
// MemoryError, anything else into the engine-fault type.
template <class Body>
PyObject* guarded(Body&& body) noexcept {
  try {
    return body().release();
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  } catch (const std::exception& e) {
    raise_engine_fault(e.what());
  } catch (...) {
    raise_engine_fault("unknown internal failure");
  }
  return nullptr;
}

}  // namespace ostrel::python
