#pragma once
// A monotonic clock that tests can replace: code that compares deadlines reads "now" from a
// Clock reference instead of calling steady_clock directly.

#include <chrono>

namespace base {

using Instant = std::chrono::steady_clock::time_point;
using Duration = std::chrono::steady_clock::duration;

class Clock {
public:
  virtual ~Clock() = default;
  virtual Instant now() const = 0;
};

/// The process's monotonic clock.
Clock const& system_clock();

/// A clock that moves only when told to.
class ManualClock final : public Clock {
public:
  explicit ManualClock(Instant start = Instant{} + std::chrono::hours(1)) : now_(start) {}
  Instant now() const override { return now_; }
  void advance(Duration by) { now_ += by; }
  void set(Instant to) { now_ = to; }

private:
  Instant now_;
};

} // namespace base
