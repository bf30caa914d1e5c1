// An owned reference to a Python object.
#pragma once

#include <cstddef>
#include <utility>

#include "python/python.h"

namespace ostrel::python {

// An owned reference, released on every path.
class Ref {
 public:
  // Takes over a new reference (or nullptr).
  explicit Ref(PyObject* object = nullptr) : object_(object) {}
  // No object: a failure whose exception is set, in functions that return a Ref.
  Ref(std::nullptr_t) : object_(nullptr) {}
  Ref(Ref&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
  Ref& operator=(Ref&& other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { Py_XDECREF(object_); }
  PyObject* get() const { return object_; }
  // Hands the reference over to the caller.
  PyObject* release() { return std::exchange(object_, nullptr); }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  PyObject* object_;
};

}  // namespace ostrel::python
