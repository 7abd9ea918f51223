#include "config/JsonFormat.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "util/StringUtils.h"

namespace velkor {

namespace {

// Integer conversion as the stored files were read: blanks before the number, an optional sign, digits, nothing
// after them.
std::optional<int> StrToIntOpt(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  s.remove_prefix(i);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  int value = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || ptr != s.data() + s.size() || s.empty()) return std::nullopt;
  return value;
}

std::string_view Slice(std::string_view s, size_t from1, size_t count) {
  if (from1 - 1 >= s.size()) return {};
  return s.substr(from1 - 1, count);
}

const TJson* Find(const TJson& obj, const char* key) {
  if (!obj.is_object()) return nullptr;
  auto it = obj.find(key);
  return it == obj.end() ? nullptr : &*it;
}

std::optional<int64_t> IntegralValue(const TJson& v) {
  if (v.is_number_integer()) return v.get<int64_t>();
  if (v.is_number_float()) {
    const double d = v.get<double>();
    if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9.2e18) return static_cast<int64_t>(d);
  }
  return std::nullopt;
}

}  // namespace

std::string FormatJsonDateTime(TDateTime value) {
  const TCivilDateTime c = DecodeDateTime(value);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", c.Year, c.Month, c.Day, c.Hour, c.Minute, c.Second);
  return buf;
}

TDateTime ParseJsonDateTime(const std::string& text, IClock& clock) {
  std::string_view s = text;
  size_t sep = s.find('T');
  if (sep == std::string_view::npos) sep = s.find(' ');
  const std::string_view datePart = sep == std::string_view::npos ? s : s.substr(0, sep);
  const std::string_view timePart = sep == std::string_view::npos ? std::string_view("00:00:00") : s.substr(sep + 1);

  TCivilDateTime c;
  c.Year = StrToIntOpt(Slice(datePart, 1, 4)).value_or(0);
  c.Month = StrToIntOpt(Slice(datePart, 6, 2)).value_or(1);
  c.Day = StrToIntOpt(Slice(datePart, 9, 2)).value_or(1);
  c.Hour = StrToIntOpt(Slice(timePart, 1, 2)).value_or(0);
  c.Minute = StrToIntOpt(Slice(timePart, 4, 2)).value_or(0);
  c.Second = StrToIntOpt(Slice(timePart, 7, 2)).value_or(0);
  c.Millisecond = 0;
  TDateTime result;
  return TryEncodeDateTime(c, result) ? result : clock.Now();
}

bool IsValidJson(std::string_view text) {
  if (Trim(text).empty()) return false;
  return !ParseJsonText(text).is_discarded();
}

std::string FormatTimeOfDay(TTime value) {
  const TCivilDateTime c = DecodeDateTime(value);
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d:%02d", c.Hour, c.Minute);
  return buf;
}

TTime ParseTimeOfDay(const std::string& text) {
  const auto parts = SplitString(Trim(text), ':');
  if (parts.size() < 2 || parts.size() > 3) return 0;
  const auto h = StrToIntOpt(parts[0]);
  const auto m = StrToIntOpt(parts[1]);
  TTime t;
  if (!h || !m || !TryEncodeTime(*h, *m, 0, 0, t)) return 0;
  return t;
}

std::string FormatDaySet(TScheduleDays days) {
  std::string s;
  for (int d = 0; d <= 6; ++d)
    if (days.Contains(d)) s += std::to_string(d) + ",";
  return s;
}

TScheduleDays ParseDaySet(const std::string& text) {
  const std::string padded = "," + text;
  TScheduleDays days;
  for (int d = 0; d <= 6; ++d)
    if (padded.find("," + std::to_string(d) + ",") != std::string::npos) days.Include(d);
  return days;
}

TJson ParseJsonText(std::string_view text) {
  if (text.substr(0, Utf8Bom.size()) == Utf8Bom) text.remove_prefix(Utf8Bom.size());
  return TJson::parse(text.begin(), text.end(), nullptr, false);
}

std::string EncodeJsonFile(const TJson& value) {
  std::string out(Utf8Bom);
  out += value.dump(-1, ' ', false, TJson::error_handler_t::replace);
  out += JsonFileLineEnd;
  return out;
}

void AppendJsonString(std::string& out, std::string_view text) {
  static const char hex[] = "0123456789abcdef";
  out += '"';
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
          if (c < 0x20) {
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 0xF];
          } else {
            out += static_cast<char>(c);
          }
      }
      ++i;
      continue;
    }
    // Copy a well-formed UTF-8 sequence as it is; anything else becomes U+FFFD.
    size_t len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    bool ok = len > 0 && i + len <= text.size();
    for (size_t k = 1; ok && k < len; ++k) ok = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    if (ok && len == 3) {
      const auto c1 = static_cast<unsigned char>(text[i + 1]);
      ok = !(c == 0xE0 && c1 < 0xA0) && !(c == 0xED && c1 >= 0xA0);
    } else if (ok && len == 4) {
      const auto c1 = static_cast<unsigned char>(text[i + 1]);
      ok = !(c == 0xF0 && c1 < 0x90) && !(c == 0xF4 && c1 >= 0x90);
    }
    if (ok) {
      out.append(text.substr(i, len));
      i += len;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  out += '"';
}

bool HasJsonKey(const TJson& obj, const char* key) { return Find(obj, key) != nullptr; }

bool ReadJsonBool(const TJson& obj, const char* key, bool& out) {
  const TJson* v = Find(obj, key);
  if (!v || !v->is_boolean()) return false;
  out = v->get<bool>();
  return true;
}

bool ReadJsonInt(const TJson& obj, const char* key, int& out) {
  const TJson* v = Find(obj, key);
  if (!v) return false;
  const auto n = IntegralValue(*v);
  if (!n || *n < std::numeric_limits<int32_t>::min() || *n > std::numeric_limits<int32_t>::max()) return false;
  out = static_cast<int>(*n);
  return true;
}

bool ReadJsonInt64(const TJson& obj, const char* key, int64_t& out) {
  const TJson* v = Find(obj, key);
  if (!v) return false;
  const auto n = IntegralValue(*v);
  if (!n) return false;
  out = *n;
  return true;
}

bool ReadJsonString(const TJson& obj, const char* key, std::string& out) {
  const TJson* v = Find(obj, key);
  if (!v || !v->is_string()) return false;
  out = v->get<std::string>();
  return true;
}

bool ReadJsonStringArray(const TJson& obj, const char* key, std::vector<std::string>& out) {
  const TJson* v = Find(obj, key);
  if (!v || !v->is_array()) return false;
  out.clear();
  for (const auto& e : *v)
    if (e.is_string()) out.push_back(e.get<std::string>());
  return true;
}

}  // namespace velkor
