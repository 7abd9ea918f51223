#pragma once
// A clock the test moves by hand. Sleeping advances it instead of waiting, so pacing and throttling are checked
// without real time passing. Safe to use from the engine's worker thread.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/Clock.h"

namespace velkor::test {

class TFakeClock final : public IClock {
public:
  explicit TFakeClock(TDateTime now = EncodeDateTime(2024, 5, 1, 10, 0, 0)) : FNow(now) {}

  TDateTime Now() override {
    std::lock_guard<std::mutex> g(FLock);
    return FNow;
  }
  uint64_t TickMs() override { return FTick.load(); }
  void SleepMs(uint32_t ms) override {
    FSlept += ms;
    Advance(ms);
  }

  void SetNow(TDateTime now) {
    std::lock_guard<std::mutex> g(FLock);
    FNow = now;
  }
  // Moves both the wall clock and the tick counter.
  void Advance(uint64_t ms) {
    FTick += ms;
    std::lock_guard<std::mutex> g(FLock);
    FNow = IncMilliSecond(FNow, static_cast<long long>(ms));
  }
  // Moves only the tick counter (time passing inside one wall-clock second, for pacing tests).
  void AdvanceTick(uint64_t ms) { FTick += ms; }
  uint64_t SleptMs() const { return FSlept.load(); }
  void ResetSlept() { FSlept = 0; }

private:
  std::mutex FLock;
  TDateTime FNow;
  std::atomic<uint64_t> FTick{1000000};
  std::atomic<uint64_t> FSlept{0};
};

}  // namespace velkor::test
