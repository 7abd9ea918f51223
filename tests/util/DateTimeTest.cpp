#include <gtest/gtest.h>

#include "util/DateTime.h"

namespace velkor {
namespace {

TEST(DateTime, EpochAndKnownDays) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(1970, 1, 1), 25569.0);
  EXPECT_EQ(EncodeDate(2024, 5, 1), 45413.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(2024, 5, 1, 12, 0, 0), 45413.5);
}

TEST(DateTime, DecodeRoundsToMillisecondsAndRoundTrips) {
  const TCivilDateTime cases[] = {
      {2024, 2, 29, 23, 59, 59, 999}, {1899, 12, 30, 0, 0, 0, 0}, {9999, 12, 31, 23, 59, 59, 0},
      {2000, 1, 1, 0, 0, 1, 0},       {1, 1, 1, 12, 0, 0, 0},
  };
  for (const auto& c : cases) {
    TDateTime dt;
    ASSERT_TRUE(TryEncodeDateTime(c, dt));
    EXPECT_EQ(DecodeDateTime(dt), c) << c.Year << "-" << c.Month << "-" << c.Day;
  }
}

TEST(DateTime, RejectsValuesOutsideTheCalendar) {
  TDateTime dt;
  EXPECT_FALSE(TryEncodeDate(0, 1, 1, dt));
  EXPECT_FALSE(TryEncodeDate(2024, 13, 1, dt));
  EXPECT_FALSE(TryEncodeDate(2023, 2, 29, dt));
  EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, dt));
  EXPECT_FALSE(TryEncodeTime(0, 60, 0, 0, dt));
}

TEST(DateTime, WeekdaysAndDayArithmetic) {
  EXPECT_EQ(DayOfWeekSun0(EncodeDate(2024, 5, 1)), 3);  // Wednesday
  EXPECT_EQ(DayOfWeekSun0(EncodeDate(2024, 5, 5)), 0);  // Sunday
  EXPECT_EQ(DayOfWeekSun0(EncodeDate(1899, 12, 30)), 6);
  const TDateTime t = EncodeDateTime(2024, 2, 28, 23, 30, 0);
  EXPECT_EQ(DecodeDateTime(IncDay(t, 1)), (TCivilDateTime{2024, 2, 29, 23, 30, 0, 0}));
  EXPECT_EQ(DecodeDateTime(IncMinute(t, 45)), (TCivilDateTime{2024, 2, 29, 0, 15, 0, 0}));
  EXPECT_EQ(DateOf(t), EncodeDate(2024, 2, 28));
  // Before 1899-12-30 the day is negative and the time of day positive.
  const TDateTime early = EncodeDateTime(1899, 12, 29, 6, 0, 0);
  EXPECT_DOUBLE_EQ(early, -1.25);
  EXPECT_EQ(IncMilliSecond(early, 0), early);
  EXPECT_EQ(DecodeDateTime(IncMinute(early, 60 * 20)), (TCivilDateTime{1899, 12, 30, 2, 0, 0, 0}));
  EXPECT_EQ(DecodeDateTime(IncDay(EncodeDate(1900, 1, 1), -3)), (TCivilDateTime{1899, 12, 29, 0, 0, 0, 0}));
  EXPECT_DOUBLE_EQ(TimeOf(t), EncodeTime(23, 30, 0));
}

TEST(DateTime, UnixTimeGoesThroughTheLocalZone) {
  setenv("TZ", "Europe/Istanbul", 1);
  tzset();
  EXPECT_EQ(DecodeDateTime(FromUnixTime(1714557600)), (TCivilDateTime{2024, 5, 1, 13, 0, 0, 0}));
  EXPECT_EQ(ToUnixTime(EncodeDateTime(2024, 5, 1, 13, 0, 0)), 1714557600);
  unsetenv("TZ");
  tzset();
}

TEST(DateTime, FormatPictures) {
  const TFormatSettings fs = TurkishFormatSettings();
  const TDateTime t = EncodeDateTime(2024, 3, 5, 14, 7, 9, 45);
  EXPECT_EQ(FormatDateTime("dd.mm.yyyy hh:nn:ss", t, fs), "05.03.2024 14:07:09");
  EXPECT_EQ(FormatDateTime("dd.mm.yyyy hh:nn", t, fs), "05.03.2024 14:07");
  EXPECT_EQ(FormatDateTime("dd.mm.yyyy - hh:nn:ss", t, fs), "05.03.2024 - 14:07:09");
  EXPECT_EQ(FormatDateTime("yyyymmddhhnnsszzz", t, fs), "20240305140709045");
  TFormatSettings other = fs;
  other.TimeSeparator = ".";
  other.DateSeparator = "/";
  EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn", t, other), "05/03/2024 14.07");
}

}  // namespace
}  // namespace velkor
