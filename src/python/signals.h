// The host's signals as the engine's interrupt: when a signal handler raises (Ctrl-C gives
// KeyboardInterrupt), the operation stops with that exception pending for the caller.
#pragma once

#include "python/python.h"
#include "support/interrupt.h"

namespace ostrel::python {

class SignalInterrupt final : public Interrupt {
 public:
  bool requested() override { return PyErr_CheckSignals() != 0; }
};

}  // namespace ostrel::python
