#include "app/LogText.h"

#include <cstdint>

namespace velkor {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The code of the escape starting at `pos`, or -1 when no complete escape starts there.
int EscapeAt(std::string_view text, size_t pos) {
  if (pos + 6 > text.size() || text[pos] != '\\' || text[pos + 1] != 'u') return -1;
  int code = 0;
  for (size_t i = pos + 2; i < pos + 6; ++i) {
    const int digit = HexValue(text[i]);
    if (digit < 0) return -1;
    code = code * 16 + digit;
  }
  return code;
}

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

std::string UnescapeUnicodeSequences(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const int code = EscapeAt(text, i);
    if (code < 0) {
      out += text[i++];
      continue;
    }
    i += 6;
    if (code >= 0xD800 && code <= 0xDBFF) {
      const int low = EscapeAt(text, i);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out,
                   0x10000 + ((static_cast<uint32_t>(code) - 0xD800) << 10) + (static_cast<uint32_t>(low) - 0xDC00));
        i += 6;
        continue;
      }
      AppendUtf8(out, 0xFFFD);
    } else if (code >= 0xDC00 && code <= 0xDFFF) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, static_cast<uint32_t>(code));
    }
  }
  return out;
}

std::string FormatLogLine(TDateTime time, std::string_view message, const TFormatSettings& fs) {
  return "[" + FormatDateTime("dd.mm.yyyy hh:nn:ss", time, fs) + "] " + UnescapeUnicodeSequences(message);
}

}  // namespace velkor
