#include "config/JsonFormat.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/StoredJson.h"
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

void AppendJsonString(std::string& out, std::string_view text, bool escapeInvalidBytes) {
  static const char hex[] = "0123456789abcdef";
  out += '"';
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = bytes[i];
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
      // The escape marker itself is escaped, so every marker read back stands for one byte.
      if (c == 0 && escapeInvalidBytes) out += "00";
      ++i;
      continue;
    }
    const size_t len = Utf8SequenceLength(bytes + i, text.size() - i);
    if (len > 0) {
      out.append(text.substr(i, len));
      i += len;
    } else if (escapeInvalidBytes) {
      out += "\\u0000";
      out += StoredPathHexDigits[c >> 4];
      out += StoredPathHexDigits[c & 0xF];
      ++i;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  out += '"';
}

std::string EncodeStoredPath(std::string_view path) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(path.data());
  size_t i = 0;
  // Most names are valid UTF-8 without the marker and are stored as they are.
  while (i < path.size()) {
    const size_t len = Utf8SequenceLength(bytes + i, path.size() - i);
    if (len == 0 || bytes[i] == 0) break;
    i += len;
  }
  if (i == path.size()) return std::string(path);
  std::string out(path.substr(0, i));
  while (i < path.size()) {
    const size_t len = Utf8SequenceLength(bytes + i, path.size() - i);
    if (len > 0 && bytes[i] != 0) {
      out.append(path.substr(i, len));
      i += len;
      continue;
    }
    out += StoredPathMarker;
    out += StoredPathHexDigits[bytes[i] >> 4];
    out += StoredPathHexDigits[bytes[i] & 0xF];
    ++i;
  }
  return out;
}

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

void DecodeStoredPath(std::string& text) {
  size_t at = text.find(StoredPathMarker);
  if (at == std::string::npos) return;
  std::string out(text, 0, at);
  while (at < text.size()) {
    const int high = at + 2 < text.size() && text[at] == StoredPathMarker ? HexValue(text[at + 1]) : -1;
    const int low = high >= 0 ? HexValue(text[at + 2]) : -1;
    if (low >= 0) {
      out += static_cast<char>(high * 16 + low);
      at += 3;
    } else {
      out += text[at++];
    }
  }
  text = std::move(out);
}

std::vector<std::string> EncodeStoredPaths(const std::vector<std::string>& paths) {
  std::vector<std::string> out;
  out.reserve(paths.size());
  for (const std::string& path : paths) out.push_back(EncodeStoredPath(path));
  return out;
}

bool ReadJsonPath(const TJson& obj, const char* key, std::string& out) {
  if (!ReadJsonString(obj, key, out)) return false;
  DecodeStoredPath(out);
  return true;
}

bool ReadJsonPathArray(const TJson& obj, const char* key, std::vector<std::string>& out) {
  if (!ReadJsonStringArray(obj, key, out)) return false;
  for (std::string& path : out) DecodeStoredPath(path);
  return true;
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
