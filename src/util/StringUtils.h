#pragma once
// Text helpers. Strings are UTF-8 throughout; comparisons "without regard to case" fold ASCII letters only,
// so "İ"/"ı" and other non-ASCII letters compare as they are.
#include <string>
#include <string_view>
#include <vector>

namespace velkor {

// Removes leading and trailing blanks and control characters (every byte up to and including the space).
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

std::string LowerCaseAscii(std::string_view s);
std::string UpperCaseAscii(std::string_view s);
bool SameText(std::string_view a, std::string_view b);
// <0, 0, >0 like strcmp, with ASCII letters folded.
int CompareText(std::string_view a, std::string_view b);
bool StartsText(std::string_view prefix, std::string_view s);
bool EndsText(std::string_view suffix, std::string_view s);
// Byte offset of the first case-folded occurrence of `needle`, or npos.
size_t PosText(std::string_view needle, std::string_view haystack);

std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to);
std::vector<std::string> SplitString(std::string_view s, char separator);

// Case-insensitive ordering for sorted containers of names and paths.
struct TTextLess {
  bool operator()(std::string_view a, std::string_view b) const { return CompareText(a, b) < 0; }
};

}  // namespace velkor
