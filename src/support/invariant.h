// Broken internal invariants: states that no input can produce. They abort the whole call
// with an exception that the Python layer turns into its dedicated panic type; everything
// an input can cause is reported as a value instead.
#pragma once

#include <stdexcept>
#include <string>

namespace ostrel {

class InvariantError : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

[[noreturn]] inline void invariant_failure(const std::string& what) { throw InvariantError(what); }

}  // namespace ostrel
