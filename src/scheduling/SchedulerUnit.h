#pragma once
// Timed runs of a task: three sub-schedules (full, differential, incremental), each firing at most once a day at
// a fixed hour and minute on chosen weekdays, plus the task's master switch and optional daily time window.
// Next-run times are never stored; they are recomputed from the settings, the last run and the clock.
// Used on the main thread only.
#include <cstdint>

#include "platform/Clock.h"
#include "util/DateTime.h"

namespace velkor {

enum TScheduleDay : uint8_t { sdSun = 0, sdMon, sdTue, sdWed, sdThu, sdFri, sdSat };

// A set of weekdays in one byte: bit n stands for the day with ordinal n; 127 is every day.
class TScheduleDays {
public:
  constexpr TScheduleDays() = default;
  constexpr explicit TScheduleDays(uint8_t bits) : FBits(static_cast<uint8_t>(bits & 0x7F)) {}
  static constexpr TScheduleDays All() { return TScheduleDays(127); }
  static constexpr TScheduleDays None() { return TScheduleDays(0); }

  constexpr bool Contains(int day) const { return day >= 0 && day <= 6 && (FBits >> day) & 1; }
  constexpr void Include(int day) {
    if (day >= 0 && day <= 6) FBits = static_cast<uint8_t>(FBits | (1u << day));
  }
  constexpr void Exclude(int day) {
    if (day >= 0 && day <= 6) FBits = static_cast<uint8_t>(FBits & ~(1u << day));
  }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr uint8_t Bits() const { return FBits; }
  constexpr bool operator==(const TScheduleDays&) const = default;

private:
  uint8_t FBits = 0;
};

// Scheduled type numbers shared with the run queue: 0 none/manual, 1 full, 2 differential, 3 incremental.
constexpr int stNone = 0, stFull = 1, stDifferential = 2, stIncremental = 3;

class TSubSchedule {
public:
  explicit TSubSchedule(IClock& clock = SystemClock());

  bool Enabled() const { return FEnabled; }
  int IntervalHours() const { return FIntervalHours; }
  int IntervalMinutes() const { return FIntervalMinutes; }
  TDateTime LastRun() const { return FLastRun; }
  TDateTime NextRun() const { return FNextRun; }
  TScheduleDays Days() const { return FDays; }

  // Enabled / IntervalHours / IntervalMinutes recompute the next run only when the value changes; LastRun and
  // Days always recompute it.
  void SetEnabled(bool value);
  void SetIntervalHours(int value);
  void SetIntervalMinutes(int value);
  void SetLastRun(TDateTime value);
  void SetDays(TScheduleDays value);

  // LastRun = now, then UpdateNextRun.
  void Reset();
  void UpdateNextRun();

private:
  TDateTime ComputeNextRun(TDateTime now) const;

  IClock* FClock;
  bool FEnabled = false;
  int FIntervalHours = 0;
  int FIntervalMinutes = 0;
  TDateTime FLastRun = 0;
  TDateTime FNextRun = 0;
  TScheduleDays FDays = TScheduleDays::All();
};

class TTaskSchedule {
public:
  explicit TTaskSchedule(IClock& clock = SystemClock());
  TTaskSchedule(const TTaskSchedule&) = delete;
  TTaskSchedule& operator=(const TTaskSchedule&) = delete;

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value) { FEnabled = value; }
  TSubSchedule& FullSchedule() { return FFull; }
  TSubSchedule& DiffSchedule() { return FDiff; }
  TSubSchedule& IncSchedule() { return FInc; }
  const TSubSchedule& FullSchedule() const { return FFull; }
  const TSubSchedule& DiffSchedule() const { return FDiff; }
  const TSubSchedule& IncSchedule() const { return FInc; }
  // The sub-schedule for a scheduled type number (1, 2, 3); nullptr for any other number.
  TSubSchedule* SubSchedule(int scheduledType);
  const TSubSchedule* SubSchedule(int scheduledType) const;

  bool TimeWindowEnabled() const { return FTimeWindowEnabled; }
  void SetTimeWindowEnabled(bool value) { FTimeWindowEnabled = value; }
  TTime StartTime() const { return FStartTime; }
  void SetStartTime(TTime value) { FStartTime = value; }
  TTime EndTime() const { return FEndTime; }
  void SetEndTime(TTime value) { FEndTime = value; }
  TScheduleDays Days() const { return FDays; }
  void SetDays(TScheduleDays value) { FDays = value; }

  // Older configurations: a number of minutes mapped onto the full sub-schedule's hour and minute.
  int Interval() const;
  void SetInterval(int minutes);
  int IntervalType() const { return 0; }
  void SetIntervalType(int) {}
  TDateTime LastBackupTime() const;
  void SetLastBackupTime(TDateTime value) { FFull.SetLastRun(value); }

  // True when a run is due now; `scheduledType` receives 1, 2 or 3 (0 when nothing is due).
  bool IsTimeToBackup(int& scheduledType);
  // Moves the dispatched sub-schedule on (1 full, 2 differential, 3 incremental; other values do nothing).
  void ResetTimer(int scheduledType);
  // Earliest next run of the enabled sub-schedules, 0 when none.
  TDateTime NextBackupTime() const;

private:
  // The time of day of `now` lies in the daily window (both ends included; across midnight when it does not end
  // after it starts).
  bool InTimeWindow(TDateTime now) const;

  IClock* FClock;
  bool FEnabled = false;
  TSubSchedule FFull;
  TSubSchedule FDiff;
  TSubSchedule FInc;
  bool FTimeWindowEnabled = false;
  TTime FStartTime = 0;
  TTime FEndTime = 0;
  TScheduleDays FDays = TScheduleDays::All();
};

}  // namespace velkor
