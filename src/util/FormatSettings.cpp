#include "util/FormatSettings.h"

#include <langinfo.h>
#include <locale.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace velkor {

TFormatSettings TurkishFormatSettings() { return TFormatSettings{}; }

namespace {

bool IsCLocaleName(const std::string& name) {
  return name.empty() || name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0;
}

std::string FirstSeparatorIn(const char* pattern, const std::string& fallback) {
  // Patterns look like "%d.%m.%Y" or "%H:%M:%S": the separator is the first character that is not a directive.
  if (!pattern) return fallback;
  for (const char* p = pattern; *p; ++p) {
    if (*p == '%') {
      if (p[1]) ++p;
      continue;
    }
    if (*p != ' ') return std::string(1, *p);
  }
  return fallback;
}

std::string EnvLocaleName(const char* category) {
  for (const char* var : {"LC_ALL", category, "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) return v;
  }
  return {};
}

}  // namespace

TFormatSettings FormatSettingsForLocale(const std::string& localeName) {
  TFormatSettings fs = TurkishFormatSettings();
  if (IsCLocaleName(localeName)) return fs;
  locale_t loc = newlocale(LC_NUMERIC_MASK | LC_TIME_MASK, localeName.c_str(), static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) return fs;
  const char* radix = nl_langinfo_l(RADIXCHAR, loc);
  const char* thousands = nl_langinfo_l(THOUSEP, loc);
  if (radix && *radix) fs.DecimalSeparator = radix;
  fs.ThousandSeparator = thousands ? thousands : "";
  fs.DateSeparator = FirstSeparatorIn(nl_langinfo_l(D_FMT, loc), fs.DateSeparator);
  fs.TimeSeparator = FirstSeparatorIn(nl_langinfo_l(T_FMT, loc), fs.TimeSeparator);
  freelocale(loc);
  return fs;
}

const TFormatSettings& UserFormatSettings() {
  static const TFormatSettings settings = FormatSettingsForLocale(EnvLocaleName("LC_NUMERIC"));
  return settings;
}

std::string FormatNumber(double value, int decimals, const TFormatSettings& fs) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, std::fabs(value));
  std::string digits(buf);
  std::string intPart = digits.substr(0, digits.find('.'));
  std::string fracPart = decimals > 0 ? digits.substr(digits.find('.') + 1) : std::string();

  std::string grouped;
  for (size_t i = 0; i < intPart.size(); ++i) {
    if (i > 0 && (intPart.size() - i) % 3 == 0) grouped += fs.ThousandSeparator;
    grouped += intPart[i];
  }
  bool negative = value < 0 && digits.find_first_not_of("0.") != std::string::npos;
  std::string result = negative ? "-" + grouped : grouped;
  if (decimals > 0) result += fs.DecimalSeparator + fracPart;
  return result;
}

std::string FormatByteSize(long long bytes, const TFormatSettings& fs) {
  constexpr long long KiB = 1024, MiB = 1048576, GiB = 1073741824;
  if (bytes >= GiB) return FormatNumber(static_cast<double>(bytes) / GiB, 2, fs) + " GB";
  if (bytes >= MiB) return FormatNumber(static_cast<double>(bytes) / MiB, 2, fs) + " MB";
  if (bytes < KiB) return std::to_string(bytes) + " B";
  return FormatNumber(static_cast<double>(bytes) / KiB, 2, fs) + " KB";
}

}  // namespace velkor
