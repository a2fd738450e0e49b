// A clock the test drives, in place of the platform's: deadlines, stall rules and pauses are
// tested in milliseconds of real time, and their verdict does not depend on the machine.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

namespace testing_support {

// While one lives, the platform's clock reads a time that stands still unless the test moves
// it or the module pauses: a pause returns at once and moves the clock by its length times
// pauseScale (0: time stands still; more than 1: a slow network in few real requests).
// Further overrides go into calls() and are put in force with Apply().
class VirtualClock {
 public:
  explicit VirtualClock(std::uint32_t pauseScale = 1) {
    now() = 1000000;
    pauseScale_() = pauseScale;
    calls_.nowMilliseconds = [] { return now().load(); };
    calls_.sleepMilliseconds = [](std::uint32_t ms) { now() += std::uint64_t(ms) * pauseScale_(); };
    Apply();
  }
  ~VirtualClock() { platform::OverrideFileCalls(nullptr); }
  VirtualClock(const VirtualClock&) = delete;
  VirtualClock& operator=(const VirtualClock&) = delete;

  void Advance(std::uint64_t milliseconds) { now() += milliseconds; }
  std::uint64_t Now() const { return now().load(); }
  platform::FileCallOverrides& calls() { return calls_; }
  void Apply() { platform::OverrideFileCalls(&calls_); }

  // The time an override can read and move (one clock per process).
  static std::atomic<std::uint64_t>& now() {
    static std::atomic<std::uint64_t> value{0};
    return value;
  }

 private:
  static std::uint32_t& pauseScale_() {
    static std::uint32_t value = 1;
    return value;
  }
  platform::FileCallOverrides calls_{};
};

}  // namespace testing_support
