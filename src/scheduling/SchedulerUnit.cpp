#include "scheduling/SchedulerUnit.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <utility>

#include "util/Error.h"

namespace velkor {

namespace {

// A sub-schedule gives up looking for an allowed weekday after this many moves and keeps the day it reached.
constexpr int MaxWeekdayMoves = 15;

// Moments are compared at the millisecond the stored values carry, so that the same wall time reached by
// different arithmetic (encoding versus adding milliseconds) compares equal.
long long ToMs(TDateTime value) { return std::llround(value * MSecsPerDay); }

int MsOfDay(TDateTime value) {
  const TCivilDateTime c = DecodeDateTime(value);
  return ((c.Hour * 60 + c.Minute) * 60 + c.Second) * 1000 + c.Millisecond;
}

// The whole day number of a moment's calendar date. Everything below works on these day numbers and a time of
// day, never on the system clock's seconds, so a daylight-saving change cannot add or remove a day.
TDateTime CalendarDay(TDateTime moment) {
  // A damaged file can hold values the calendar cannot represent; decoding them is meaningless.
  if (!std::isfinite(moment) || std::fabs(moment) > 3.0e6) throw EVelkorError("Geçersiz tarih");
  const TCivilDateTime c = DecodeDateTime(moment);
  return EncodeDate(c.Year, c.Month, c.Day);
}

// The day with number `day` at hour:minute:00.000.
TDateTime DayAt(TDateTime day, int hour, int minute) {
  TCivilDateTime c = DecodeDateTime(day);
  c.Hour = hour;
  c.Minute = minute;
  c.Second = 0;
  c.Millisecond = 0;
  TDateTime result;
  if (!TryEncodeDateTime(c, result)) throw EVelkorError("Geçersiz tarih");
  return result;
}

TDateTime NextDayAt(TDateTime moment, int hour, int minute) { return DayAt(CalendarDay(moment) + 1, hour, minute); }

}  // namespace

TSubSchedule::TSubSchedule(IClock& clock) : FClock(&clock) {}

void TSubSchedule::SetEnabled(bool value) {
  if (value == FEnabled) return;
  FEnabled = value;
  UpdateNextRun();
}

void TSubSchedule::SetIntervalHours(int value) {
  if (value == FIntervalHours) return;
  FIntervalHours = value;
  UpdateNextRun();
}

void TSubSchedule::SetIntervalMinutes(int value) {
  if (value == FIntervalMinutes) return;
  FIntervalMinutes = value;
  UpdateNextRun();
}

void TSubSchedule::SetLastRun(TDateTime value) {
  FLastRun = value;
  UpdateNextRun();
}

void TSubSchedule::SetDays(TScheduleDays value) {
  FDays = value;
  UpdateNextRun();
}

void TSubSchedule::Reset() { SetLastRun(FClock->Now()); }

void TSubSchedule::UpdateNextRun() {
  if (!FEnabled || FDays.Empty()) {
    FNextRun = 0;
    return;
  }
  const TDateTime now = FClock->Now();
  try {
    FNextRun = ComputeNextRun(now);
  } catch (const std::exception&) {
    // Start again from the next midnight rather than losing the schedule.
    TDateTime tomorrow = 0;
    try {
      tomorrow = DayAt(CalendarDay(now) + 1, 0, 0);
    } catch (const std::exception&) {
    }
    FNextRun = tomorrow;
  }
}

TDateTime TSubSchedule::ComputeNextRun(TDateTime now) const {
  // Values from a damaged configuration fall back to midnight instead of being rejected.
  const int hour = FIntervalHours >= 0 && FIntervalHours <= 23 ? FIntervalHours : 0;
  const int minute = FIntervalMinutes >= 0 && FIntervalMinutes <= 59 ? FIntervalMinutes : 0;
  const TDateTime today = CalendarDay(now);

  TDateTime candidate;
  if (FLastRun != 0) {
    // Never twice on one day: after a run at any time of day, the next one is on a later day. A last run ahead of
    // the clock (the clock was set back) counts as a run today, or the schedule would stay silent until that date.
    candidate = NextDayAt(ToMs(FLastRun) > ToMs(now) ? now : FLastRun, hour, minute);
  } else {
    candidate = DayAt(today, hour, minute);
    if (ToMs(candidate) <= ToMs(now)) candidate = DayAt(today + 1, hour, minute);
  }

  // Runs missed while the program was not running are skipped, not caught up: the first day from today on whose
  // time has not passed yet. Jumping there directly equals stepping day by day from an old last run.
  if (ToMs(candidate) < ToMs(now)) {
    candidate = DayAt(today, hour, minute);
    if (ToMs(candidate) < ToMs(now)) candidate = DayAt(today + 1, hour, minute);
  }

  for (int moves = 0; moves < MaxWeekdayMoves && !FDays.Contains(DayOfWeekSun0(candidate)); ++moves)
    candidate = NextDayAt(candidate, hour, minute);
  return candidate;
}

TTaskSchedule::TTaskSchedule(IClock& clock)
    : FClock(&clock), FFull(clock), FDiff(clock), FInc(clock), FEndTime(EncodeTime(23, 59, 59)) {
  FFull.SetEnabled(true);
}

TSubSchedule* TTaskSchedule::SubSchedule(int scheduledType) {
  return const_cast<TSubSchedule*>(std::as_const(*this).SubSchedule(scheduledType));
}

const TSubSchedule* TTaskSchedule::SubSchedule(int scheduledType) const {
  switch (scheduledType) {
    case stFull: return &FFull;
    case stDifferential: return &FDiff;
    case stIncremental: return &FInc;
    default: return nullptr;
  }
}

int TTaskSchedule::Interval() const {
  const int minutes = FFull.IntervalHours() * 60 + FFull.IntervalMinutes();
  return minutes == 0 ? 1 : minutes;
}

void TTaskSchedule::SetInterval(int minutes) {
  FFull.SetIntervalHours(minutes / 60);
  FFull.SetIntervalMinutes(minutes % 60);
}

TDateTime TTaskSchedule::LastBackupTime() const { return std::max({FFull.LastRun(), FDiff.LastRun(), FInc.LastRun()}); }

bool TTaskSchedule::IsTimeToBackup(int& scheduledType) {
  scheduledType = stNone;
  if (!FEnabled) return false;
  const TDateTime now = FClock->Now();

  if (FTimeWindowEnabled && !InTimeWindow(now)) return false;

  // The first due sub-schedule decides alone, so full wins over differential over incremental; the others stay
  // due and fire on later checks once the dispatched one has been moved on.
  for (int type : {stFull, stDifferential, stIncremental}) {
    const TSubSchedule& sub = *SubSchedule(type);
    if (!sub.Enabled() || sub.NextRun() <= 0 || ToMs(sub.NextRun()) > ToMs(now)) continue;
    if (!sub.Days().Contains(DayOfWeekSun0(now))) return false;
    scheduledType = type;
    return true;
  }
  return false;
}

bool TTaskSchedule::InTimeWindow(TDateTime now) const {
  const int time = MsOfDay(now);
  const int start = MsOfDay(FStartTime);
  const int end = MsOfDay(FEndTime);
  if (end > start) return time >= start && time <= end;
  // A window across midnight; equal ends let every time through.
  return time >= start || time <= end;
}

void TTaskSchedule::ResetTimer(int scheduledType) {
  if (TSubSchedule* sub = SubSchedule(scheduledType)) sub->Reset();
}

TDateTime TTaskSchedule::NextBackupTime() const {
  TDateTime best = 0;
  for (const TSubSchedule* sub : {&FFull, &FDiff, &FInc})
    if (sub->Enabled() && sub->NextRun() > 0 && (best == 0 || sub->NextRun() < best)) best = sub->NextRun();
  return best;
}

}  // namespace velkor
