#pragma once
// The encodings shared by config.json and history.json: the file envelope (UTF-8 byte-order mark, one line of
// compact JSON, CR LF), local date-times without zone, times of day, weekday sets, and tolerant typed reads that
// keep the caller's default when a key is missing or holds the wrong JSON type.
#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"
#include "scheduling/SchedulerUnit.h"
#include "util/DateTime.h"

namespace velkor {

using TJson = nlohmann::ordered_json;

inline constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";
inline constexpr std::string_view JsonFileLineEnd = "\r\n";

// "2024-03-05T14:07:09" in local time, no fraction, no zone.
std::string FormatJsonDateTime(TDateTime value);
// Tolerant reader: "T" or a blank between date and time, a date alone is midnight, separators unchecked; text
// that does not form a valid date-time gives the clock's current time.
TDateTime ParseJsonDateTime(const std::string& text, IClock& clock);
// True when the text is not blank and parses as JSON (a leading byte-order mark is skipped).
bool IsValidJson(std::string_view text);

// "07:30" (seconds are not stored) / hours and minutes; anything unparsable gives 00:00.
std::string FormatTimeOfDay(TTime value);
TTime ParseTimeOfDay(const std::string& text);

// "0,1,6," (ascending ordinals, each followed by a comma); the empty set is "".
std::string FormatDaySet(TScheduleDays days);
// A day n is in the set when ",n," occurs in "," + text, so "1,2" holds Monday only.
TScheduleDays ParseDaySet(const std::string& text);

// Parses file content (byte-order mark skipped); a discarded value when it does not parse.
TJson ParseJsonText(std::string_view text);
// Envelope for a small document: BOM + compact JSON (raw UTF-8) + CR LF.
std::string EncodeJsonFile(const TJson& value);
// Compact JSON string literal with only the escapes JSON demands. Invalid UTF-8 becomes U+FFFD, or, with
// `escapeInvalidBytes`, is written in the stored-path form below (without building the encoded copy first).
void AppendJsonString(std::string& out, std::string_view text, bool escapeInvalidBytes = false);

// Stored paths (source folders, destinations, output paths, known files, history file names) are byte strings
// that need not be UTF-8, while JSON text must be. A path can never hold a NUL, so a byte that is not part of
// well-formed UTF-8 is stored as a NUL followed by its two upper-case hexadecimal digits: "\u0000FF" in the
// file for the byte 0xFF. Valid UTF-8 is stored exactly as before, any JSON reader can read the result, and a
// NUL in the text (escaped itself as "\u000000") always starts such a group, so reading back is exact.
// Free text (task names, messages) is not a path and keeps the U+FFFD replacement.
inline constexpr char StoredPathMarker = '\0';
inline constexpr char StoredPathHexDigits[] = "0123456789ABCDEF";
std::string EncodeStoredPath(std::string_view path);
void DecodeStoredPath(std::string& text);
std::vector<std::string> EncodeStoredPaths(const std::vector<std::string>& paths);

// Tolerant typed reads from an object: present with the right type -> true and `out` set; otherwise `out` kept.
bool ReadJsonBool(const TJson& obj, const char* key, bool& out);
bool ReadJsonInt(const TJson& obj, const char* key, int& out);
bool ReadJsonInt64(const TJson& obj, const char* key, int64_t& out);
bool ReadJsonString(const TJson& obj, const char* key, std::string& out);
// Keeps the string elements of an array, in order (other elements are skipped).
bool ReadJsonStringArray(const TJson& obj, const char* key, std::vector<std::string>& out);
// The same for stored paths, decoded.
bool ReadJsonPath(const TJson& obj, const char* key, std::string& out);
bool ReadJsonPathArray(const TJson& obj, const char* key, std::vector<std::string>& out);
bool HasJsonKey(const TJson& obj, const char* key);

}  // namespace velkor
