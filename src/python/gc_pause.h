// The cyclic garbage collector paused for one tree call. The call builds and drops hundreds
// of thousands of host objects (copies, value lists) whose collections find nothing to
// free; and since the call holds the interpreter throughout, no other thread sees the
// pause. On a free-threaded interpreter the collector is left alone.
#pragma once

#include "python/python.h"

namespace ostrel::python {

class GcPause {
 public:
#ifdef Py_GIL_DISABLED
  GcPause() = default;
#else
  GcPause() : was_enabled_(PyGC_Disable() != 0) {}
  ~GcPause() {
    if (was_enabled_) PyGC_Enable();
  }

 private:
  bool was_enabled_;
#endif
 public:
  GcPause(const GcPause&) = delete;
  GcPause& operator=(const GcPause&) = delete;
};

}  // namespace ostrel::python
