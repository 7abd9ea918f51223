#pragma once
// The one source of "now", of millisecond ticks and of sleeping. Everything that schedules, paces or waits takes
// an IClock so tests can move time instead of waiting for it. Implementations are safe to call from any thread.
#include <cstdint>

#include "util/DateTime.h"

namespace velkor {

class IClock {
public:
  virtual ~IClock() = default;
  // Local wall-clock date-time.
  virtual TDateTime Now() = 0;
  // Monotonic milliseconds (never goes back; unrelated to the wall clock).
  virtual uint64_t TickMs() = 0;
  virtual void SleepMs(uint32_t ms) = 0;
};

class TSystemClock final : public IClock {
public:
  TDateTime Now() override;
  uint64_t TickMs() override;
  void SleepMs(uint32_t ms) override;
};

// The process-wide real clock.
IClock& SystemClock();

}  // namespace velkor
