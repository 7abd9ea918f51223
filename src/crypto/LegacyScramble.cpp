#include "crypto/LegacyScramble.h"

#include "crypto/CryptoUtils.h"

namespace velkor {

namespace {

// UTF-8 to UTF-16 code units; an invalid sequence becomes U+FFFD, as the platform's decoder does.
std::u16string Utf8ToUtf16(const TBytes& bytes) {
  std::u16string units;
  size_t i = 0;
  while (i < bytes.size()) {
    const uint8_t lead = bytes[i];
    size_t length = lead < 0x80             ? 1
                    : (lead & 0xE0) == 0xC0 ? 2
                    : (lead & 0xF0) == 0xE0 ? 3
                    : (lead & 0xF8) == 0xF0 ? 4
                                            : 0;
    uint32_t cp = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    bool valid = length > 0 && i + length <= bytes.size();
    for (size_t k = 1; valid && k < length; ++k) {
      valid = (bytes[i + k] & 0xC0) == 0x80;
      cp = (cp << 6) | (bytes[i + k] & 0x3F);
    }
    static const uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    valid = valid && cp >= minimum[length] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
    if (!valid) {
      units += u'\uFFFD';
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      units += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      units += static_cast<char16_t>(cp);
    }
    i += length;
  }
  return units;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// A lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string& units) {
  std::string out;
  for (size_t i = 0; i < units.size(); ++i) {
    const uint32_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else {
      AppendUtf8(out, u >= 0xD800 && u <= 0xDFFF ? 0xFFFD : u);
    }
  }
  return out;
}

}  // namespace

std::string DecodeScrambledText(std::string_view stored, TLegacyKeyStream stream) {
  TBytes bytes = Base64ToBytes(stored);
  TWipeGuard wipe(bytes);
  std::u16string units = Utf8ToUtf16(bytes);
  uint8_t key = stream.Seed;
  for (char16_t& unit : units) {
    unit = static_cast<char16_t>(unit ^ key);
    key = static_cast<uint8_t>(key + stream.Step);
  }
  return Utf16ToUtf8(units);
}

}  // namespace velkor
