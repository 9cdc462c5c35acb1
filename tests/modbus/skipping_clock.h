// The pause clock of the transaction tests and the reply fuzz target.
#pragma once

#include <algorithm>
#include <chrono>

#include "core/modbus.h"

namespace kvtest {

// A pause clock whose sleeps return at once and move its time on: the pauses cost nothing and
// their lengths add up in Elapsed.
class SkippingClock : public core::PauseClock {
 public:
  TimePoint Now() override { return now_; }
  void SleepUntil(TimePoint until) override { now_ = std::max(now_, until); }
  std::chrono::milliseconds Elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now_ - TimePoint());
  }

 private:
  TimePoint now_{};
};

}  // namespace kvtest
