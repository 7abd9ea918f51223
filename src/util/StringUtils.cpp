#include "util/StringUtils.h"

#include <algorithm>

namespace velkor {

namespace {
char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }
bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }
}  // namespace

std::string Trim(std::string_view s) { return TrimLeft(TrimRight(s)); }

std::string TrimLeft(std::string_view s) {
  size_t b = 0;
  while (b < s.size() && IsTrimmed(s[b])) ++b;
  return std::string(s.substr(b));
}

std::string TrimRight(std::string_view s) {
  size_t e = s.size();
  while (e > 0 && IsTrimmed(s[e - 1])) --e;
  return std::string(s.substr(0, e));
}

std::string LowerCaseAscii(std::string_view s) {
  std::string r(s);
  std::transform(r.begin(), r.end(), r.begin(), FoldAscii);
  return r;
}

std::string UpperCaseAscii(std::string_view s) {
  std::string r(s);
  std::transform(r.begin(), r.end(), r.begin(),
                 [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c; });
  return r;
}

int CompareText(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(FoldAscii(a[i]));
    const auto cb = static_cast<unsigned char>(FoldAscii(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameText(std::string_view a, std::string_view b) { return a.size() == b.size() && CompareText(a, b) == 0; }

bool StartsText(std::string_view prefix, std::string_view s) {
  return s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}

bool EndsText(std::string_view suffix, std::string_view s) {
  return s.size() >= suffix.size() && SameText(s.substr(s.size() - suffix.size()), suffix);
}

size_t PosText(std::string_view needle, std::string_view haystack) {
  if (needle.size() > haystack.size()) return std::string_view::npos;
  for (size_t i = 0; i + needle.size() <= haystack.size(); ++i)
    if (SameText(haystack.substr(i, needle.size()), needle)) return i;
  return std::string_view::npos;
}

std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(s);
  std::string r;
  size_t pos = 0;
  for (size_t hit; (hit = s.find(from, pos)) != std::string_view::npos; pos = hit + from.size()) {
    r.append(s.substr(pos, hit - pos));
    r.append(to);
  }
  r.append(s.substr(pos));
  return r;
}

std::vector<std::string> SplitString(std::string_view s, char separator) {
  std::vector<std::string> parts;
  size_t pos = 0;
  for (size_t hit; (hit = s.find(separator, pos)) != std::string_view::npos; pos = hit + 1)
    parts.emplace_back(s.substr(pos, hit - pos));
  parts.emplace_back(s.substr(pos));
  return parts;
}

}  // namespace velkor
