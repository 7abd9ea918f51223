#include "notify/MailMessage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "crypto/CryptoUtils.h"
#include "util/Error.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

// 57 bytes make one 76-character base64 line; whole lines per read keep the pieces joinable.
constexpr size_t AttachmentChunk = 57 * 512;
// "=?UTF-8?B?" + 60 base64 characters + "?=" is 72 characters, under the 75 an encoded-word may have.
constexpr size_t BytesPerWord = 45;

std::string HexText(const TBytes& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (const uint8_t b : bytes) {
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  return hex;
}

// Where a UTF-8 text of `text.size()` bytes may be cut at or before `limit` without splitting a character.
size_t CharacterBoundary(std::string_view text, size_t limit) {
  if (limit >= text.size()) return text.size();
  size_t cut = limit;
  while (cut > 0 && (static_cast<uint8_t>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut == 0 ? limit : cut;
}

bool IsPlainToken(std::string_view text) {
  for (const char c : text) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 0x20 || b >= 0x7F || c == '"' || c == '\\') return false;
  }
  return true;
}

// RFC 2231 form of a file name parameter: UTF-8, percent-encoded outside the unreserved characters.
std::string ExtendedParameter(const std::string& name, std::string_view value) {
  if (IsPlainToken(value)) return name + "=\"" + std::string(value) + "\"";
  static const char digits[] = "0123456789ABCDEF";
  std::string encoded = name + "*=UTF-8''";
  for (const char c : value) {
    const auto b = static_cast<uint8_t>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      encoded += c;
    } else {
      encoded += '%';
      encoded += digits[b >> 4];
      encoded += digits[b & 15];
    }
  }
  return encoded;
}

std::string Base64Lines(std::string_view text) {
  if (text.empty()) return {};
  return BytesToBase64(reinterpret_cast<const uint8_t*>(text.data()), text.size()) + "\r\n";
}

std::string MessageIdDomain(const std::string& fromEmail) {
  const size_t at = fromEmail.rfind('@');
  std::string domain = at == std::string::npos ? std::string() : fromEmail.substr(at + 1);
  for (const char c : domain)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'))
      return "velkor.localhost";
  return domain.empty() ? "velkor.localhost" : domain;
}

}  // namespace

std::string NormalizeLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text[i] == '\n') {
      out += "\r\n";
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string EncodeHeaderWords(std::string_view text) {
  std::string out;
  while (!text.empty()) {
    const size_t cut = CharacterBoundary(text, BytesPerWord);
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + BytesToBase64(reinterpret_cast<const uint8_t*>(text.data()), cut) + "?=";
    text.remove_prefix(cut);
  }
  return out;
}

std::string CleanAddress(std::string_view address) {
  std::string out;
  for (const char c : Trim(address))
    if (static_cast<uint8_t>(c) >= 0x20 && c != 0x7F) out += c;
  return out;
}

std::string FormatMailDate(std::time_t time) {
  static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm local{};
  ::localtime_r(&time, &local);
  const long offsetMinutes = local.tm_gmtoff / 60;
  const long absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", days[local.tm_wday], local.tm_mday,
                months[local.tm_mon], local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec,
                offsetMinutes < 0 ? '-' : '+', absolute / 60, absolute % 60);
  return text;
}

TMailMessageStream::TMailMessageStream(const TMailMessage& message, std::time_t date)
    : FAttachment(message.Attachment) {
  struct stat info {};
  if (!FAttachment.empty() && ::stat(FAttachment.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    FFd = ::open(FAttachment.c_str(), O_RDONLY | O_CLOEXEC);
    if (FFd < 0)
      throw EVelkorError("Ek dosyası açılamadı: " + FAttachment.string() + " (" + std::strerror(errno) + ")");
  }

  std::string to;
  for (const std::string& recipient : message.Recipients) {
    if (!to.empty()) to += ",\r\n ";
    to += "<" + CleanAddress(recipient) + ">";
  }
  const std::string from = CleanAddress(message.FromEmail);
  const std::string fromName = message.FromName.empty() ? std::string() : EncodeHeaderWords(message.FromName) + " ";
  const std::string bodyType = message.IsHtml ? "text/html; charset=UTF-8" : "text/plain; charset=UTF-8";
  const std::string bodyPart = "Content-Type: " + bodyType + "\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                               Base64Lines(NormalizeLineBreaks(message.Body));

  FHead = "Date: " + FormatMailDate(date) + "\r\n" + "From: " + fromName + "<" + from + ">\r\n" + "To: " + to + "\r\n" +
          "Subject: " + EncodeHeaderWords(message.Subject) + "\r\n" + "Message-ID: <" +
          HexText(GenerateRandomBytes(16)) + "@" + MessageIdDomain(from) + ">\r\n" + "MIME-Version: 1.0\r\n";
  if (FFd < 0) {
    FHead += bodyPart;
    return;
  }
  const std::string boundary = "=_velkor_" + HexText(GenerateRandomBytes(12));
  const std::string fileName = FAttachment.filename().string();
  FHead += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n" + "--" + boundary + "\r\n" +
           bodyPart + "--" + boundary + "\r\n" + "Content-Type: application/octet-stream; " +
           ExtendedParameter("name", fileName) + "\r\n" + "Content-Transfer-Encoding: base64\r\n" +
           "Content-Disposition: attachment; " + ExtendedParameter("filename", fileName) + "\r\n\r\n";
  FTail = "--" + boundary + "--\r\n";
}

TMailMessageStream::~TMailMessageStream() {
  if (FFd >= 0) ::close(FFd);
}

bool TMailMessageStream::Refill() {
  FPending.clear();
  FPendingPos = 0;
  switch (FPhase) {
    case mpHead:
      FPending = FHead;
      FPhase = FFd >= 0 ? mpAttachment : mpDone;
      return true;
    case mpAttachment: {
      TBytes chunk(AttachmentChunk);
      size_t got = 0;
      while (got < chunk.size()) {
        const ssize_t n = ::read(FFd, chunk.data() + got, chunk.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
          throw EVelkorError("Ek dosyası okunamadı: " + FAttachment.string() + " (" + std::strerror(errno) + ")");
        if (n == 0) break;
        got += static_cast<size_t>(n);
      }
      if (got < chunk.size()) FPhase = mpTail;
      if (got > 0) FPending = BytesToBase64(chunk.data(), got) + "\r\n";
      return true;
    }
    case mpTail:
      FPending = FTail;
      FPhase = mpDone;
      return true;
    case mpDone: return false;
  }
  return false;
}

size_t TMailMessageStream::Read(char* buffer, size_t size) {
  size_t written = 0;
  while (written < size) {
    if (FPendingPos == FPending.size() && !Refill()) break;
    const size_t n = std::min(size - written, FPending.size() - FPendingPos);
    std::memcpy(buffer + written, FPending.data() + FPendingPos, n);
    FPendingPos += n;
    written += n;
  }
  return written;
}

}  // namespace velkor
