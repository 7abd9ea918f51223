#include "scheduling/SchedulerUnit.h"

#include <algorithm>

namespace velkor {

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
  // Filled in by the scheduling work: until then nothing is ever due.
  FNextRun = 0;
}

TTaskSchedule::TTaskSchedule(IClock& clock)
    : FClock(&clock), FFull(clock), FDiff(clock), FInc(clock), FEndTime(EncodeTime(23, 59, 59)) {
  FFull.SetEnabled(true);
}

TSubSchedule* TTaskSchedule::SubSchedule(int scheduledType) {
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

TDateTime TTaskSchedule::LastBackupTime() const {
  return std::max({FFull.LastRun(), FDiff.LastRun(), FInc.LastRun()});
}

bool TTaskSchedule::IsTimeToBackup(int& scheduledType) {
  scheduledType = stNone;
  (void)FClock;
  return false;
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
