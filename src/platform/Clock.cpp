#include "platform/Clock.h"

#include <chrono>
#include <thread>

namespace velkor {

TDateTime TSystemClock::Now() {
  const auto now = std::chrono::system_clock::now();
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count();
  return FromUnixTime(static_cast<std::time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000));
}

uint64_t TSystemClock::TickMs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

void TSystemClock::SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

IClock& SystemClock() {
  static TSystemClock clock;
  return clock;
}

}  // namespace velkor
