#pragma once
// Local date-times as days since 1899-12-30 00:00 (the fraction is the time of day; 0 means "never").
// Every stored time in the program is local wall-clock time in this form; conversions to and from the system
// clock go through the local time zone here and nowhere else.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "util/FormatSettings.h"

namespace velkor {

using TDateTime = double;
using TTime = double;  // a time of day only: the fraction of a day

constexpr double HoursPerDay = 24.0;
constexpr double MinsPerDay = 1440.0;
constexpr double SecsPerDay = 86400.0;
constexpr double MSecsPerDay = 86400000.0;

struct TCivilDateTime {
  int Year = 1899, Month = 12, Day = 30;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
  bool operator==(const TCivilDateTime&) const = default;
};

bool IsValidDate(int year, int month, int day);
int DaysInMonth(int year, int month);

bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TTime& result);
bool TryEncodeDateTime(const TCivilDateTime& civil, TDateTime& result);
// Throws EVelkorError for values outside the calendar.
TDateTime EncodeDate(int year, int month, int day);
TTime EncodeTime(int hour, int minute, int second, int millisecond = 0);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond = 0);

// Rounds to the millisecond, as the stored values were written.
TCivilDateTime DecodeDateTime(TDateTime value);

TDateTime DateOf(TDateTime value);  // midnight of the same day
TTime TimeOf(TDateTime value);      // the time of day alone
// Day of the week with Sunday = 0 ... Saturday = 6 (the order of the schedule's day sets).
int DayOfWeekSun0(TDateTime value);

TDateTime IncDay(TDateTime value, int days);
TDateTime IncMinute(TDateTime value, long long minutes);
TDateTime IncSecond(TDateTime value, long long seconds);
TDateTime IncMilliSecond(TDateTime value, long long ms);
// Whole milliseconds from a to b, rounded.
long long MilliSecondsBetween(TDateTime a, TDateTime b);

// System clock <-> local date-time. `FromUnixTime` goes through the local zone of the process.
TDateTime FromUnixTime(std::time_t seconds, long nanoseconds = 0);
// The system time for a local date-time; for a wall time that occurs twice (DST end) the earlier one, for a wall
// time that does not exist (DST start) the moment an hour later. nullopt outside the calendar.
std::optional<std::time_t> ToUnixTime(TDateTime value);

// Delphi-style pictures: yyyy yy mm m dd d hh h nn n ss s zzz; "/" is the date separator and ":" the time
// separator of `fs`; other characters stand for themselves. Examples: "dd.mm.yyyy hh:nn:ss" (log),
// "dd.mm.yyyy hh:nn" (task list), "dd.mm.yyyy - hh:nn:ss" (reports), "yyyymmddhhnnsszzz" (temporary names).
std::string FormatDateTime(std::string_view picture, TDateTime value, const TFormatSettings& fs = UserFormatSettings());

}  // namespace velkor
