#include "platform/StoredJson.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <istream>

#include "platform/AtomicFile.h"

namespace velkor {

namespace {

constexpr size_t BlockSize = 64 * 1024;
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view ReplacementCharacter = "\xEF\xBF\xBD";
constexpr size_t LongestSequence = 4;

// Where the plain ASCII inside a string ends: at a byte of 0x80 or above, '"' or '\\'. Eight bytes are tested at
// a time, since most of a stored history is such text.
size_t PlainAsciiEnd(const unsigned char* text, size_t at, size_t size) {
  constexpr uint64_t Ones = 0x0101010101010101ULL;
  constexpr uint64_t Highs = 0x8080808080808080ULL;
  const auto hasZeroByte = [](uint64_t x) { return (x - Ones) & ~x & Highs; };
  while (at + 8 <= size) {
    uint64_t w;
    std::memcpy(&w, text + at, 8);
    if (((w & Highs) | hasZeroByte(w ^ (Ones * '"')) | hasZeroByte(w ^ (Ones * '\\'))) != 0) break;
    at += 8;
  }
  while (at < size && text[at] < 0x80 && text[at] != '"' && text[at] != '\\') ++at;
  return at;
}

}  // namespace

const char* const NotJsonProblem = "geçerli bir JSON metni değil";

std::string ReplacedBytesProblem(uint64_t count) {
  return "geçerli UTF-8 olmayan " + std::to_string(count) + " bayt \"\xEF\xBF\xBD\" ile değiştirildi";
}

size_t Utf8SequenceLength(const unsigned char* text, size_t size) {
  if (size == 0) return 0;
  const unsigned char c = text[0];
  if (c < 0x80) return 1;
  const size_t len = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
  if (len == 0 || len > size) return 0;
  for (size_t k = 1; k < len; ++k)
    if ((text[k] & 0xC0) != 0x80) return 0;
  const unsigned char c1 = text[1];
  // Overlong forms, UTF-16 surrogates and code points beyond U+10FFFF are not well-formed.
  if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 >= 0xA0) || (c == 0xF0 && c1 < 0x90) || (c == 0xF4 && c1 >= 0x90))
    return 0;
  return len;
}

TJsonTextReader::TJsonTextReader(const std::filesystem::path& file, TJsonTextLimits limits)
    : FFile(file), FLimits(limits) {
  FFd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (FFd < 0) {
    FOpenError = errno;
    FFault = "okunamadı: " + SystemErrorMessage(FOpenError);
    FEnd = true;
  }
}

TJsonTextReader::~TJsonTextReader() {
  if (FFd >= 0) ::close(FFd);
}

TJsonTextReader::int_type TJsonTextReader::underflow() {
  if (gptr() == egptr() && !Fill()) return traits_type::eof();
  return traits_type::to_int_type(*gptr());
}

void TJsonTextReader::Stop(std::string fault) {
  FFault = std::move(fault);
  FEnd = true;
  FRaw.clear();
}

bool TJsonTextReader::Fill() {
  FText.clear();
  while (FText.empty()) {
    if (FEnd && FRaw.empty()) return false;
    if (!FEnd) {
      const size_t kept = FRaw.size();
      FRaw.resize(kept + BlockSize);
      ssize_t n;
      do n = ::read(FFd, FRaw.data() + kept, BlockSize);
      while (n < 0 && errno == EINTR);
      FRaw.resize(kept + static_cast<size_t>(n > 0 ? n : 0));
      if (n < 0) {
        Stop("okunamadı: " + SystemErrorMessage(errno));
        return false;
      }
      if (n == 0) FEnd = true;
      FBytesRead += static_cast<uint64_t>(n);
      if (FLimits.MaxBytes > 0 && FBytesRead > FLimits.MaxBytes) {
        Stop("boyut sınırını (" + std::to_string(FLimits.MaxBytes / (1024 * 1024)) + " MB) aşıyor");
        return false;
      }
    }
    Translate();
  }
  setg(FText.data(), FText.data(), FText.data() + FText.size());
  return true;
}

void TJsonTextReader::Translate() {
  const auto* raw = reinterpret_cast<const unsigned char*>(FRaw.data());
  size_t i = 0;
  // Bytes pass on unchanged but for replacements, so they are copied in runs, not one by one.
  size_t unchanged = 0;
  const auto passOn = [&] { FText.append(FRaw, unchanged, i - unchanged); };
  while (i < FRaw.size()) {
    // The bulk of a stored file is the text inside strings (file names): plain ASCII there is passed on whole.
    if (FInString && !FEscaped) {
      const size_t end = PlainAsciiEnd(raw, i, FRaw.size());
      if (end > i) {
        i = end;
        continue;
      }
    }
    const unsigned char c = raw[i];
    const size_t left = FRaw.size() - i;
    if (c < 0x80) {
      if (!FInString && (c == '[' || c == '{') && FLimits.MaxDepth > 0 && FDepth >= FLimits.MaxDepth) {
        passOn();
        Stop("iç içe yapı sınırını (" + std::to_string(FLimits.MaxDepth) + " düzey) aşıyor");
        return;
      }
      Track(c);
      ++i;
      continue;
    }
    // A sequence cut by the end of the block waits for the next block.
    if (!FEnd && left < LongestSequence) break;
    const size_t len = Utf8SequenceLength(raw + i, left);
    const bool byteOrderMark = FOffset + i == 0 && FRaw.compare(0, ByteOrderMark.size(), ByteOrderMark) == 0;
    if (!byteOrderMark) FBlank = false;
    if (len == 0) {
      passOn();
      FText += ReplacementCharacter;
      ++FReplaced;
      unchanged = ++i;
    } else {
      i += len;
    }
  }
  passOn();
  FOffset += i;
  FRaw.erase(0, i);
}

void TJsonTextReader::Track(unsigned char c) {
  if (c != ' ' && c != '\t' && c != '\n' && c != '\r') FBlank = false;
  if (FInString) {
    if (FEscaped)
      FEscaped = false;
    else if (c == '\\')
      FEscaped = true;
    else if (c == '"')
      FInString = false;
    return;
  }
  if (c == '"')
    FInString = true;
  else if (c == '[' || c == '{')
    ++FDepth;
  else if ((c == ']' || c == '}') && FDepth > 0)
    --FDepth;
}

TStoredJson ReadStoredJson(const std::filesystem::path& file, const TJsonTextLimits& limits) {
  TStoredJson result;
  TJsonTextReader reader(file, limits);
  if (reader.OpenError() == ENOENT) return result;
  result.Exists = true;
  if (reader.OpenError() != 0) {
    result.Problem = reader.Fault();
    return result;
  }
  std::istream in(&reader);
  result.Value = nlohmann::ordered_json::parse(in, nullptr, false);
  if (!reader.Fault().empty()) {
    result.Problem = reader.Fault();
    result.Value = nlohmann::ordered_json(nlohmann::ordered_json::value_t::discarded);
  } else if (result.Value.is_discarded()) {
    if (reader.Blank())
      result.Blank = true;
    else
      result.Problem = NotJsonProblem;
  } else if (reader.ReplacedBytes() > 0) {
    result.Problem = ReplacedBytesProblem(reader.ReplacedBytes());
  }
  return result;
}

}  // namespace velkor
