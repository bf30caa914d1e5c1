// Stopping a long operation early. The caller hands the engine an `Interrupt`; the engine's
// tree operations ask it now and then, between small steps of their work, and once it says
// stop they return at once, reporting that they stopped, with their output unfinished (the
// caller drops it). The engine knows nothing of what the caller checks: a host's signals,
// say.
#pragma once

#include <cstdint>

namespace ostrel {

class Interrupt {
 public:
  // Whether the operation is to stop. Asked between steps that take well under a
  // millisecond each, a few hundred steps apart at most.
  virtual bool requested() = 0;

 protected:
  ~Interrupt() = default;
};

// Asks an interrupt (when there is one) at every `kInterval`-th step, and remembers the
// answer once it was yes.
class InterruptPoll {
 public:
  static constexpr std::uint32_t kInterval = 64;

  explicit InterruptPoll(Interrupt* interrupt) : interrupt_(interrupt) {}

  // Counts one step; true once the operation is to stop.
  bool stop() {
    if (stopped_) return true;
    if (interrupt_ == nullptr || --countdown_ != 0) return false;
    countdown_ = kInterval;
    stopped_ = interrupt_->requested();
    return stopped_;
  }
  bool stopped() const { return stopped_; }

 private:
  Interrupt* interrupt_;
  std::uint32_t countdown_ = kInterval;
  bool stopped_ = false;
};

}  // namespace ostrel
