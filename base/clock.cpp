#include "base/clock.h"

namespace base {

namespace {

class SteadyClock final : public Clock {
public:
  Instant now() const override { return std::chrono::steady_clock::now(); }
};

} // namespace

Clock const& system_clock() {
  static SteadyClock const clock;
  return clock;
}

} // namespace base
