#include "util/DateTime.h"

#include <cmath>
#include <cstdio>

#include "util/Error.h"

namespace velkor {

namespace {

constexpr long long MSecsPerDayInt = 86400000LL;
// Days from 1899-12-30 to 1970-01-01.
constexpr long long UnixDateDelta = 25569;

// Howard Hinnant's civil-calendar algorithms, on days since 1970-01-01.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& year, int& month, int& day) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long y = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

}  // namespace

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool IsValidDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (!IsValidDate(year, month, day)) return false;
  result = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                               UnixDateDelta);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TTime& result) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
      millisecond > 999)
    return false;
  result = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) / MSecsPerDay;
  return true;
}

bool TryEncodeDateTime(const TCivilDateTime& c, TDateTime& result) {
  TDateTime date;
  TTime time;
  if (!TryEncodeDate(c.Year, c.Month, c.Day, date) || !TryEncodeTime(c.Hour, c.Minute, c.Second, c.Millisecond, time))
    return false;
  // Dates before 1899-12-30 are negative with a positive time part, as the format has always stored them.
  result = date < 0 ? date - time : date + time;
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime r;
  if (!TryEncodeDate(year, month, day, r)) throw EVelkorError("Geçersiz tarih");
  return r;
}

TTime EncodeTime(int hour, int minute, int second, int millisecond) {
  TTime r;
  if (!TryEncodeTime(hour, minute, second, millisecond, r)) throw EVelkorError("Geçersiz saat");
  return r;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
  TDateTime r;
  if (!TryEncodeDateTime({year, month, day, hour, minute, second, millisecond}, r))
    throw EVelkorError("Geçersiz tarih");
  return r;
}

TCivilDateTime DecodeDateTime(TDateTime value) {
  const long long total = std::llround(value * MSecsPerDay);
  const long long days = total / MSecsPerDayInt;  // truncates toward zero, as the format does
  long long ms = std::llabs(total) % MSecsPerDayInt;
  TCivilDateTime c;
  CivilFromDays(days - UnixDateDelta, c.Year, c.Month, c.Day);
  c.Hour = static_cast<int>(ms / 3600000);
  ms %= 3600000;
  c.Minute = static_cast<int>(ms / 60000);
  ms %= 60000;
  c.Second = static_cast<int>(ms / 1000);
  c.Millisecond = static_cast<int>(ms % 1000);
  return c;
}

TDateTime DateOf(TDateTime value) {
  const TCivilDateTime c = DecodeDateTime(value);
  return EncodeDate(c.Year, c.Month, c.Day);
}

TTime TimeOf(TDateTime value) {
  const TCivilDateTime c = DecodeDateTime(value);
  return EncodeTime(c.Hour, c.Minute, c.Second, c.Millisecond);
}

int DayOfWeekSun0(TDateTime value) {
  const long long days = std::llround(value * MSecsPerDay) / MSecsPerDayInt - UnixDateDelta;
  // 1970-01-01 was a Thursday (4).
  return static_cast<int>(((days % 7) + 7 + 4) % 7);
}

TDateTime IncDay(TDateTime value, int days) { return IncMilliSecond(value, days * MSecsPerDayInt); }
TDateTime IncMinute(TDateTime value, long long minutes) { return IncMilliSecond(value, minutes * 60000); }
TDateTime IncSecond(TDateTime value, long long seconds) { return IncMilliSecond(value, seconds * 1000); }

TDateTime IncMilliSecond(TDateTime value, long long ms) {
  // Work on the linear millisecond scale so that negative dates (time part stored positive) stay consistent.
  const long long total = std::llround(value * MSecsPerDay);
  const long long days = total / MSecsPerDayInt;
  const long long tod = std::llabs(total) % MSecsPerDayInt;
  // Before 1899-12-30 the value is the (negative) day plus a positive time of day: -1.25 is 29 Dec 06:00.
  const long long linear = days * MSecsPerDayInt + tod;
  const long long shifted = linear + ms;
  if (shifted >= 0) return static_cast<double>(shifted) / MSecsPerDay;
  const long long d = (shifted - (MSecsPerDayInt - 1)) / MSecsPerDayInt;  // floor
  const long long t = shifted - d * MSecsPerDayInt;
  return static_cast<double>(d) - static_cast<double>(t) / MSecsPerDay;
}

long long MilliSecondsBetween(TDateTime a, TDateTime b) { return std::llabs(std::llround((b - a) * MSecsPerDay)); }

TDateTime FromUnixTime(std::time_t seconds, long nanoseconds) {
  std::tm tm{};
  localtime_r(&seconds, &tm);
  TDateTime r = 0;
  TryEncodeDateTime({tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                     tm.tm_sec > 59 ? 59 : tm.tm_sec, static_cast<int>(nanoseconds / 1000000)},
                    r);
  return r;
}

std::optional<std::time_t> ToUnixTime(TDateTime value) {
  const TCivilDateTime c = DecodeDateTime(value);
  if (!IsValidDate(c.Year, c.Month, c.Day)) return std::nullopt;
  std::tm tm{};
  tm.tm_year = c.Year - 1900;
  tm.tm_mon = c.Month - 1;
  tm.tm_mday = c.Day;
  tm.tm_hour = c.Hour;
  tm.tm_min = c.Minute;
  tm.tm_sec = c.Second;
  tm.tm_isdst = -1;
  const std::time_t t = mktime(&tm);
  if (t == static_cast<std::time_t>(-1) && !(c.Year == 1969 || c.Year == 1970)) return std::nullopt;
  return t;
}

std::string FormatDateTime(std::string_view picture, TDateTime value, const TFormatSettings& fs) {
  const TCivilDateTime c = DecodeDateTime(value);
  std::string out;
  auto put = [&out](int v, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", width, v);
    out += buf;
  };
  size_t i = 0;
  auto run = [&](char ch) {
    size_t n = 0;
    while (i + n < picture.size() && (picture[i + n] | 0x20) == ch) ++n;
    return n;
  };
  while (i < picture.size()) {
    const char ch = static_cast<char>(picture[i] | 0x20);
    size_t n = 0;
    switch (ch) {
      case 'y':
        n = run('y');
        if (n <= 2)
          put(c.Year % 100, 2);
        else
          put(c.Year, 4);
        break;
      case 'm':
        n = run('m');
        put(c.Month, n >= 2 ? 2 : 1);
        break;
      case 'd':
        n = run('d');
        put(c.Day, n >= 2 ? 2 : 1);
        break;
      case 'h':
        n = run('h');
        put(c.Hour, n >= 2 ? 2 : 1);
        break;
      case 'n':
        n = run('n');
        put(c.Minute, n >= 2 ? 2 : 1);
        break;
      case 's':
        n = run('s');
        put(c.Second, n >= 2 ? 2 : 1);
        break;
      case 'z':
        n = run('z');
        put(c.Millisecond, n >= 3 ? 3 : 1);
        break;
      default:
        n = 1;
        if (picture[i] == '/')
          out += fs.DateSeparator;
        else if (picture[i] == ':')
          out += fs.TimeSeparator;
        else
          out += picture[i];
    }
    i += n;
  }
  return out;
}

}  // namespace velkor
