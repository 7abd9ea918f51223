#include "cloud/S3Signing.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "engine/LongPathUtils.h"
#include "platform/AtomicFile.h"
#include "platform/FileHandle.h"
#include "util/Error.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

constexpr size_t HashBlockSize = 1 << 20;

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

std::string Lf(std::string_view text) { return std::string(text) + "\n"; }

[[noreturn]] void RaiseReadError(const std::string& path, int err) {
  throw EVelkorError("Cloud upload için dosya okunamadı: " + path + " (" + SystemErrorMessage(err) + ")");
}

struct TDigestContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

std::string TrimTrailingSlashes(std::string_view text) {
  std::string result = Trim(text);
  while (!result.empty() && result.back() == '/') result.pop_back();
  return result;
}

std::string NormalizeObjectPath(std::string_view text) {
  std::string result = ReplaceAll(Trim(text), "\\", "/");
  const size_t first = result.find_first_not_of('/');
  if (first == std::string::npos) return {};
  result.erase(0, first);
  while (!result.empty() && result.back() == '/') result.pop_back();
  return result;
}

std::string JoinObjectKey(std::string_view prefix, std::string_view name) {
  const std::string normalizedPrefix = NormalizeObjectPath(prefix);
  const std::string normalizedName = NormalizeObjectPath(name);
  return normalizedPrefix.empty() ? normalizedName : normalizedPrefix + "/" + normalizedName;
}

std::string UriEncodeSegment(std::string_view text) {
  static constexpr char Hex[] = "0123456789ABCDEF";
  std::string result;
  result.reserve(text.size() * 3);
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (IsUnreserved(c)) {
      result += ch;
    } else {
      result += '%';
      result += Hex[c >> 4];
      result += Hex[c & 0x0F];
    }
  }
  return result;
}

std::string BuildCanonicalUri(std::string_view bucket, std::string_view key) {
  std::string uri = "/" + UriEncodeSegment(bucket);
  for (const std::string& piece : SplitString(NormalizeObjectPath(key), '/'))
    if (!piece.empty()) uri += "/" + UriEncodeSegment(piece);
  return uri;
}

std::string BuildObjectUrl(std::string_view endpoint, std::string_view bucket, std::string_view key) {
  return TrimTrailingSlashes(endpoint) + BuildCanonicalUri(bucket, key);
}

std::string GetHostHeader(std::string_view endpoint) {
  std::string host = TrimTrailingSlashes(endpoint);
  const size_t scheme = host.find("://");
  if (scheme != std::string::npos) host.erase(0, scheme + 3);
  const size_t slash = host.find('/');
  if (slash != std::string::npos) host.erase(slash);
  return host;
}

std::string FormatRequestDate(std::time_t utc) {
  std::tm parts{};
  ::gmtime_r(&utc, &parts);
  char text[80];
  std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02dZ", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                parts.tm_hour, parts.tm_min, parts.tm_sec);
  return text;
}

std::time_t LocalToUtc(TDateTime local) {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  ::localtime_r(&now, &parts);
  // Whole seconds of the local wall time since 1970-01-01 00:00, milliseconds dropped.
  const long long ms = MilliSecondsBetween(EncodeDate(1970, 1, 1), local);
  const long long seconds = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
  return static_cast<std::time_t>(seconds - parts.tm_gmtoff);
}

std::string BytesToHexLower(const TBytes& bytes) {
  static constexpr char Hex[] = "0123456789abcdef";
  std::string result;
  result.reserve(bytes.size() * 2);
  for (const uint8_t b : bytes) {
    result += Hex[b >> 4];
    result += Hex[b & 0x0F];
  }
  return result;
}

TBytes HmacSha256Bytes(const TBytes& key, std::string_view message) {
  THmacSha256 mac(key);
  mac.Update(message.data(), static_cast<int32_t>(message.size()));
  return mac.Finish();
}

std::string HmacSha256Hex(const TBytes& key, std::string_view message) {
  return BytesToHexLower(HmacSha256Bytes(key, message));
}

std::string DescriptorSha256Hex(int fd, const std::string& pathForMessages, int64_t& bytes) {
  std::unique_ptr<EVP_MD_CTX, TDigestContextFree> context(EVP_MD_CTX_new());
  if (!context) RaiseCryptoError("EVP_MD_CTX_new");
  CheckCryptoStatus(EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr), "EVP_DigestInit_ex");
  std::vector<unsigned char> buffer(HashBlockSize);
  bytes = 0;
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) RaiseReadError(pathForMessages, errno);
    if (n == 0) break;
    CheckCryptoStatus(EVP_DigestUpdate(context.get(), buffer.data(), static_cast<size_t>(n)), "EVP_DigestUpdate");
    bytes += n;
  }
  TBytes digest(EVP_MAX_MD_SIZE);
  unsigned int written = 0;
  CheckCryptoStatus(EVP_DigestFinal_ex(context.get(), digest.data(), &written), "EVP_DigestFinal_ex");
  digest.resize(written);
  return BytesToHexLower(digest);
}

std::string FileSha256Hex(std::string_view path) {
  const std::string native = ToNativePath(path).string();
  int fd;
  do fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) RaiseReadError(native, errno);
  TFileHandle handle(fd);
  int64_t bytes = 0;
  return DescriptorSha256Hex(handle.Get(), native, bytes);
}

std::string BuildCanonicalRequest(const TS3SigningInput& input) {
  const std::string headers = Lf("host:" + input.Host) + Lf("x-amz-content-sha256:" + input.PayloadHash) +
                              Lf("x-amz-date:" + input.RequestDate);
  return Lf(input.Method) + Lf(input.CanonicalUri) + Lf("") + Lf(headers) + Lf(S3SignedHeaders) + input.PayloadHash;
}

std::string BuildCredentialScope(const TS3SigningInput& input) {
  return input.RequestDate.substr(0, 8) + "/" + S3Region + "/" + S3Service + "/" + S3Terminator;
}

std::string BuildStringToSign(const TS3SigningInput& input) {
  const std::string canonical = BuildCanonicalRequest(input);
  return Lf(S3Algorithm) + Lf(input.RequestDate) + Lf(BuildCredentialScope(input)) +
         BytesToHexLower(Sha256Digest(canonical.data(), canonical.size()));
}

std::string BuildAuthorizationHeader(const TS3SigningInput& input) {
  std::string secret = "AWS4" + input.SecretKey;
  TBytes key(secret.begin(), secret.end());
  WipeString(secret);
  TBytes k1 = HmacSha256Bytes(key, input.RequestDate.substr(0, 8));
  TBytes k2 = HmacSha256Bytes(k1, S3Region);
  TBytes k3 = HmacSha256Bytes(k2, S3Service);
  TBytes k4 = HmacSha256Bytes(k3, S3Terminator);
  const std::string signature = HmacSha256Hex(k4, BuildStringToSign(input));
  for (TBytes* derived : {&key, &k1, &k2, &k3, &k4}) WipeBytes(*derived);
  return std::string(S3Algorithm) + " Credential=" + input.AccessKey + "/" + BuildCredentialScope(input) +
         ", SignedHeaders=" + S3SignedHeaders + ", Signature=" + signature;
}

}  // namespace velkor
