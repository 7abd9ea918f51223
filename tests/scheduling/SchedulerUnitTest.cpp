#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "scheduling/SchedulerUnit.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"
#include "util/DateTime.h"

namespace velkor {
namespace {

using test::TFakeClock;

// 2024-05-01 is a Wednesday.
TDateTime May(int day, int hour, int minute, int second = 0) {
  return EncodeDateTime(2024, 5, day, hour, minute, second);
}

TScheduleDays DaySet(std::initializer_list<TScheduleDay> days) {
  TScheduleDays set;
  for (TScheduleDay d : days) set.Include(d);
  return set;
}

std::string Show(TDateTime value) { return value == 0 ? "0" : FormatDateTime("dd.mm.yyyy hh:nn:ss", value); }

struct TNextRunCase {
  const char* Name;
  TDateTime Now;
  TDateTime LastRun;
  int Hour, Minute;
  TScheduleDays Days;
  bool Enabled;
  TDateTime Expected;
};

TEST(SubSchedule, NextRunCases) {
  const TScheduleDays all = TScheduleDays::All();
  const TNextRunCase cases[] = {
      {"never run, before the hour", May(1, 1, 0), 0, 2, 0, all, true, May(1, 2, 0)},
      {"never run, exactly at the hour", May(1, 2, 0), 0, 2, 0, all, true, May(2, 2, 0)},
      {"never run, after the hour", May(1, 10, 0), 0, 8, 15, all, true, May(2, 8, 15)},
      {"ran earlier today, time later today", May(1, 10, 0), May(1, 9, 0), 23, 0, all, true, May(2, 23, 0)},
      {"ran yesterday, time is exactly now", May(1, 10, 0), EncodeDateTime(2024, 4, 30, 9, 0, 0), 10, 0, all, true,
       May(1, 10, 0)},
      {"ran a week ago, missed runs skipped", May(8, 10, 0), May(1, 8, 0), 8, 0, all, true, May(9, 8, 0)},
      {"ran a week ago, today's time still ahead", May(8, 7, 0), May(1, 8, 0), 8, 0, all, true, May(8, 8, 0)},
      {"Mondays only, now Wednesday", May(1, 10, 0), 0, 8, 0, DaySet({sdMon}), true, May(6, 8, 0)},
      {"Wednesdays only, Wednesday's time passed", May(1, 10, 0), 0, 8, 0, DaySet({sdWed}), true, May(8, 8, 0)},
      {"weekend only, ran Saturday", May(4, 12, 0), May(4, 9, 0), 9, 0, DaySet({sdSat, sdSun}), true, May(5, 9, 0)},
      {"across a year end", EncodeDateTime(2024, 12, 31, 23, 45, 0), EncodeDateTime(2024, 12, 31, 23, 30, 0), 23, 0,
       all, true, EncodeDateTime(2025, 1, 1, 23, 0, 0)},
      {"across a leap day", EncodeDateTime(2024, 2, 28, 12, 0, 0), EncodeDateTime(2024, 2, 28, 6, 0, 0), 6, 0, all,
       true, EncodeDateTime(2024, 2, 29, 6, 0, 0)},
      {"last run ahead of the clock counts as today", May(1, 10, 0), EncodeDateTime(2031, 1, 1, 9, 0, 0), 8, 0, all,
       true, May(2, 8, 0)},
      {"empty day set", May(1, 1, 0), 0, 2, 0, TScheduleDays::None(), true, 0},
      {"disabled", May(1, 1, 0), 0, 2, 0, all, false, 0},
      {"hour 24 behaves as 0", May(1, 1, 0), 0, 24, 10, all, true, May(2, 0, 10)},
      {"minute 75 behaves as 0", May(1, 1, 0), 0, 5, 75, all, true, May(1, 5, 0)},
      {"negative hour and minute behave as 0", May(1, 1, 0), 0, -3, -1, all, true, May(2, 0, 0)},
      {"last run at the calendar's end counts as today", May(1, 10, 0), EncodeDateTime(9999, 12, 31, 12, 0, 0), 8, 0,
       all, true, May(2, 8, 0)},
      {"unreadable last run falls back to next midnight", May(1, 10, 0), 1e300, 8, 0, all, true, May(2, 0, 0)},
      {"not-a-number last run falls back to next midnight", May(1, 10, 0), std::numeric_limits<double>::quiet_NaN(), 8,
       0, all, true, May(2, 0, 0)},
  };
  for (const TNextRunCase& c : cases) {
    TFakeClock clock(c.Now);
    TSubSchedule sub(clock);
    sub.SetEnabled(c.Enabled);
    sub.SetIntervalHours(c.Hour);
    sub.SetIntervalMinutes(c.Minute);
    sub.SetDays(c.Days);
    sub.SetLastRun(c.LastRun);
    EXPECT_EQ(Show(sub.NextRun()), Show(c.Expected)) << c.Name;
  }
}

TEST(SubSchedule, SettersRecomputeOnlyWhereTheyShould) {
  TFakeClock clock(May(1, 1, 0));
  TSubSchedule sub(clock);
  EXPECT_EQ(sub.NextRun(), 0) << "a new sub-schedule computes nothing";
  sub.SetEnabled(true);
  sub.SetIntervalHours(2);
  ASSERT_EQ(Show(sub.NextRun()), Show(May(1, 2, 0)));

  clock.SetNow(May(3, 12, 0));
  sub.SetEnabled(true);
  sub.SetIntervalHours(2);
  sub.SetIntervalMinutes(0);
  EXPECT_EQ(Show(sub.NextRun()), Show(May(1, 2, 0))) << "unchanged values leave the next run alone";
  sub.SetDays(TScheduleDays::All());
  EXPECT_EQ(Show(sub.NextRun()), Show(May(4, 2, 0))) << "the day set always recomputes";

  clock.SetNow(May(4, 2, 0, 30));
  sub.Reset();
  EXPECT_EQ(Show(sub.LastRun()), Show(May(4, 2, 0, 30)));
  EXPECT_EQ(Show(sub.NextRun()), Show(May(5, 2, 0)));
}

TEST(TaskSchedule, OlderIntervalAndLastBackupProperties) {
  TFakeClock clock(May(1, 1, 0));
  TTaskSchedule schedule(clock);
  EXPECT_TRUE(schedule.FullSchedule().Enabled());
  EXPECT_FALSE(schedule.DiffSchedule().Enabled());
  EXPECT_EQ(schedule.Interval(), 1) << "00:00 reads as 1";

  schedule.SetInterval(150);
  EXPECT_EQ(schedule.FullSchedule().IntervalHours(), 2);
  EXPECT_EQ(schedule.FullSchedule().IntervalMinutes(), 30);
  EXPECT_EQ(schedule.Interval(), 150);
  EXPECT_EQ(Show(schedule.FullSchedule().NextRun()), Show(May(1, 2, 30)));

  schedule.IncSchedule().SetLastRun(May(1, 0, 40));
  schedule.SetLastBackupTime(May(1, 0, 20));
  EXPECT_EQ(Show(schedule.FullSchedule().LastRun()), Show(May(1, 0, 20)));
  EXPECT_EQ(Show(schedule.LastBackupTime()), Show(May(1, 0, 40)));
}

// Ticks the schedule like the scheduler timer and moves on what fires, as the run queue does on dispatch.
// Returns each firing as "dd.mm.yyyy hh:nn:ss #type".
std::vector<std::string> RunTicks(TTaskSchedule& schedule, IClock& clock, const std::function<void()>& tick,
                                  int count) {
  std::vector<std::string> fired;
  for (int i = 0; i < count; ++i) {
    int type = -1;
    if (schedule.IsTimeToBackup(type)) {
      fired.push_back(Show(clock.Now()) + " #" + std::to_string(type));
      schedule.ResetTimer(type);
    } else {
      EXPECT_EQ(type, stNone);
    }
    tick();
  }
  return fired;
}

class TaskScheduleDue : public ::testing::Test {
protected:
  TFakeClock FClock{May(1, 0, 0)};
  TTaskSchedule FSchedule{FClock};

  void SetUp() override { FSchedule.SetEnabled(true); }

  int DueAt(TDateTime now) {
    FClock.SetNow(now);
    int type = -1;
    const bool due = FSchedule.IsTimeToBackup(type);
    EXPECT_EQ(due, type != stNone);
    return type;
  }
  std::vector<std::string> TickMinutes(int minutes) {
    return RunTicks(
        FSchedule, FClock, [this] { FClock.Advance(60000); }, minutes);
  }
};

TEST_F(TaskScheduleDue, MasterSwitchOff) {
  FSchedule.FullSchedule().SetIntervalHours(1);
  ASSERT_EQ(DueAt(May(1, 1, 0)), stFull);
  FSchedule.SetEnabled(false);
  EXPECT_EQ(DueAt(May(1, 1, 0)), stNone);
}

TEST_F(TaskScheduleDue, TimeWindow) {
  struct TCase {
    const char* Name;
    int StartH, StartM, EndH, EndM;
    int RunHour;  // the full sub-schedule falls due at this hour on May 1
    TDateTime Now;
    bool Due;
  };
  const TCase cases[] = {
      {"across midnight, due at 23:00", 22, 0, 6, 0, 23, May(1, 23, 0), true},
      {"across midnight, due at 05:00", 22, 0, 6, 0, 5, May(1, 5, 0), true},
      {"across midnight, due at 12:00, held", 22, 0, 6, 0, 12, May(1, 12, 0), false},
      {"across midnight, due at 12:00, still held at 21:59", 22, 0, 6, 0, 12, May(1, 21, 59), false},
      {"across midnight, due at 12:00, released at 22:00", 22, 0, 6, 0, 12, May(1, 22, 0), true},
      {"across midnight, after midnight", 22, 0, 6, 0, 12, May(2, 1, 0), true},
      {"across midnight, end included", 22, 0, 6, 0, 12, May(2, 6, 0), true},
      {"across midnight, just after the end", 22, 0, 6, 0, 1, May(1, 6, 1), false},
      {"day window, start included", 8, 0, 17, 0, 1, May(1, 8, 0), true},
      {"day window, end included", 8, 0, 17, 0, 1, May(1, 17, 0), true},
      {"day window, before", 8, 0, 17, 0, 1, May(1, 7, 59), false},
      {"day window, after", 8, 0, 17, 0, 1, May(1, 17, 1), false},
      {"equal ends let everything through", 9, 0, 9, 0, 3, May(1, 3, 0), true},
      {"equal ends let everything through, later", 9, 0, 9, 0, 3, May(1, 15, 30), true},
  };
  for (const TCase& c : cases) {
    FClock.SetNow(May(1, 0, 0, 30));
    FSchedule.SetTimeWindowEnabled(true);
    FSchedule.SetStartTime(EncodeTime(c.StartH, c.StartM, 0));
    FSchedule.SetEndTime(EncodeTime(c.EndH, c.EndM, 0));
    FSchedule.FullSchedule().SetIntervalHours(c.RunHour);
    FSchedule.FullSchedule().SetLastRun(0);
    ASSERT_EQ(Show(FSchedule.FullSchedule().NextRun()), Show(May(1, c.RunHour, 0))) << c.Name;
    EXPECT_EQ(DueAt(c.Now), c.Due ? stFull : stNone) << c.Name;
    FSchedule.SetTimeWindowEnabled(false);
    EXPECT_EQ(DueAt(c.Now), c.Now >= May(1, c.RunHour, 0) ? stFull : stNone) << c.Name << " (window off)";
  }
}

TEST_F(TaskScheduleDue, FullWinsOverDifferentialOverIncremental) {
  for (TSubSchedule* sub : {&FSchedule.FullSchedule(), &FSchedule.DiffSchedule(), &FSchedule.IncSchedule()}) {
    sub->SetEnabled(true);
    sub->SetIntervalHours(3);
  }
  EXPECT_EQ(Show(FSchedule.NextBackupTime()), Show(May(1, 3, 0)));
  FClock.SetNow(May(1, 2, 59));
  EXPECT_EQ(TickMinutes(5),
            (std::vector<std::string>{"01.05.2024 03:00:00 #1", "01.05.2024 03:01:00 #2", "01.05.2024 03:02:00 #3"}));
  EXPECT_EQ(Show(FSchedule.NextBackupTime()), Show(May(2, 3, 0)));
}

TEST_F(TaskScheduleDue, FullDueOnADisallowedWeekdayHidesTheOthers) {
  // Full only on Mondays at 08:00, differential every day at 09:00; both computed on Monday 6 May 07:00.
  FClock.SetNow(May(6, 7, 0));
  FSchedule.FullSchedule().SetIntervalHours(8);
  FSchedule.FullSchedule().SetDays(DaySet({sdMon}));
  FSchedule.DiffSchedule().SetEnabled(true);
  FSchedule.DiffSchedule().SetIntervalHours(9);
  ASSERT_EQ(Show(FSchedule.FullSchedule().NextRun()), Show(May(6, 8, 0)));

  // The full run was held (say by a window) past Monday: on Tuesday it is due but its weekday test fails.
  EXPECT_EQ(DueAt(May(7, 10, 0)), stNone);
  EXPECT_EQ(DueAt(May(12, 23, 59)), stNone) << "still hidden on Sunday";
  EXPECT_EQ(DueAt(May(13, 0, 0)), stFull) << "released on the full one's next allowed day";
  FSchedule.ResetTimer(stFull);
  EXPECT_EQ(DueAt(May(13, 0, 1)), stDifferential);
}

TEST_F(TaskScheduleDue, WeekdayFilterAcrossAWeek) {
  FSchedule.FullSchedule().SetIntervalHours(8);
  FSchedule.FullSchedule().SetDays(DaySet({sdMon, sdWed, sdFri}));
  FSchedule.IncSchedule().SetEnabled(true);
  FSchedule.IncSchedule().SetIntervalHours(20);
  FSchedule.IncSchedule().SetIntervalMinutes(30);
  FSchedule.IncSchedule().SetDays(DaySet({sdSat}));
  FSchedule.DiffSchedule().SetIntervalHours(9);
  FSchedule.DiffSchedule().SetDays(TScheduleDays::None());
  FSchedule.DiffSchedule().SetEnabled(true);
  EXPECT_EQ(FSchedule.DiffSchedule().NextRun(), 0);
  EXPECT_EQ(TickMinutes(14 * 24 * 60),
            (std::vector<std::string>{"01.05.2024 08:00:00 #1", "03.05.2024 08:00:00 #1", "04.05.2024 20:30:00 #3",
                                      "06.05.2024 08:00:00 #1", "08.05.2024 08:00:00 #1", "10.05.2024 08:00:00 #1",
                                      "11.05.2024 20:30:00 #3", "13.05.2024 08:00:00 #1"}));
}

TEST_F(TaskScheduleDue, DisabledSubSchedulesAreNeverDue) {
  FSchedule.FullSchedule().SetEnabled(false);
  EXPECT_EQ(FSchedule.NextBackupTime(), 0);
  EXPECT_TRUE(TickMinutes(2 * 24 * 60).empty());
}

TEST_F(TaskScheduleDue, ResetTimerIgnoresOtherNumbers) {
  FSchedule.FullSchedule().SetLastRun(0);
  const TDateTime before = FSchedule.FullSchedule().NextRun();
  for (int type : {0, 4, -1}) FSchedule.ResetTimer(type);
  EXPECT_EQ(FSchedule.FullSchedule().LastRun(), 0);
  EXPECT_EQ(FSchedule.FullSchedule().NextRun(), before);
}

// The system clock: local wall time derived from UTC seconds through the process's time zone.
class TZoneClock final : public IClock {
public:
  explicit TZoneClock(std::time_t utc) : FUtc(utc) {}
  TDateTime Now() override { return FromUnixTime(FUtc); }
  uint64_t TickMs() override { return static_cast<uint64_t>(FUtc) * 1000; }
  void SleepMs(uint32_t ms) override { FUtc += ms / 1000; }
  void Advance(std::time_t seconds) { FUtc += seconds; }

private:
  std::time_t FUtc;
};

class DaylightSaving : public ::testing::Test {
protected:
  void SetUp() override {
    FZone.emplace("TZ", "Europe/Berlin");
    tzset();
  }
  void TearDown() override {
    FZone.reset();
    tzset();
  }

  // Ticks once a minute for `days` days from `startUtc` with one daily sub-schedule at hour:minute.
  static std::vector<std::string> Firings(std::time_t startUtc, int days, int hour, int minute) {
    TZoneClock clock(startUtc);
    TTaskSchedule schedule(clock);
    schedule.SetEnabled(true);
    schedule.FullSchedule().SetIntervalHours(hour);
    schedule.FullSchedule().SetIntervalMinutes(minute);
    return RunTicks(
        schedule, clock, [&clock] { clock.Advance(60); }, days * 24 * 60);
  }

private:
  std::optional<test::TScopedEnv> FZone;
};

constexpr std::time_t Utc20240330 = 1711756800;  // 2024-03-30 00:00 UTC, 01:00 in Berlin
constexpr std::time_t Utc20241026 = 1729900800;  // 2024-10-26 00:00 UTC, 02:00 in Berlin

TEST_F(DaylightSaving, SpringForwardFiresOnceADayAndSkipsNoDay) {
  ASSERT_EQ(Show(FromUnixTime(Utc20240330)), "30.03.2024 01:00:00");
  // 02:30 does not exist on 31 March: the run comes at the first tick after the gap.
  EXPECT_EQ(Firings(Utc20240330, 3, 2, 30),
            (std::vector<std::string>{"30.03.2024 02:30:00 #1", "31.03.2024 03:00:00 #1", "01.04.2024 02:30:00 #1"}));
  EXPECT_EQ(Firings(Utc20240330, 3, 1, 30),
            (std::vector<std::string>{"30.03.2024 01:30:00 #1", "31.03.2024 01:30:00 #1", "01.04.2024 01:30:00 #1",
                                      "02.04.2024 01:30:00 #1"}));
  EXPECT_EQ(Firings(Utc20240330, 3, 3, 0),
            (std::vector<std::string>{"30.03.2024 03:00:00 #1", "31.03.2024 03:00:00 #1", "01.04.2024 03:00:00 #1"}));
}

TEST_F(DaylightSaving, FallBackFiresOnceOnTheRepeatedHour) {
  ASSERT_EQ(Show(FromUnixTime(Utc20241026)), "26.10.2024 02:00:00");
  // 02:30 occurs twice on 27 October: only the first one fires.
  EXPECT_EQ(Firings(Utc20241026, 3, 2, 30),
            (std::vector<std::string>{"26.10.2024 02:30:00 #1", "27.10.2024 02:30:00 #1", "28.10.2024 02:30:00 #1"}));
  EXPECT_EQ(Firings(Utc20241026, 3, 23, 0),
            (std::vector<std::string>{"26.10.2024 23:00:00 #1", "27.10.2024 23:00:00 #1", "28.10.2024 23:00:00 #1"}));
}

}  // namespace
}  // namespace velkor
