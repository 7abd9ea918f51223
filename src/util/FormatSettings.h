#pragma once
// The user's number, date and time separators, read once from the locale. A C/POSIX locale (the usual case for
// services and CI) gets the Turkish separators, the program's home conventions.
#include <string>

namespace velkor {

struct TFormatSettings {
  std::string DecimalSeparator = ",";
  std::string ThousandSeparator = ".";
  std::string DateSeparator = ".";
  std::string TimeSeparator = ":";
};

// Turkish separators: decimal comma, thousands point.
TFormatSettings TurkishFormatSettings();
// Separators of the locale named by LC_ALL / LC_NUMERIC / LC_TIME / LANG; Turkish when that is C/POSIX or unknown.
const TFormatSettings& UserFormatSettings();
// Builds the settings for a named locale (exposed for tests).
TFormatSettings FormatSettingsForLocale(const std::string& localeName);

// "#,##0.00"-style formatting: thousands grouped, `decimals` digits after the decimal separator.
std::string FormatNumber(double value, int decimals, const TFormatSettings& fs = UserFormatSettings());

// "#,##0.00 GB" / "MB" / "KB", or the whole number of bytes with " B" below 1024 (negative values too).
std::string FormatByteSize(long long bytes, const TFormatSettings& fs = UserFormatSettings());

}  // namespace velkor
