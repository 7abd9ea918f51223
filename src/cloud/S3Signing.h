#pragma once
// The pieces of an S3 PUT request signed with Signature Version 4, as pure functions: object keys, the canonical
// URI and the URL (path-style: the bucket is the first path segment), the host header, the request date and the
// Authorization header. The upload client (CloudStorage.h) puts them together; tests check each against an
// independent signer. Stateless; safe on any thread.
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "crypto/CryptoUtils.h"
#include "util/DateTime.h"

namespace velkor {

inline constexpr const char* S3Region = "us-east-1";
inline constexpr const char* S3Service = "s3";
inline constexpr const char* S3Terminator = "aws4_request";
inline constexpr const char* S3Algorithm = "AWS4-HMAC-SHA256";
inline constexpr const char* S3SignedHeaders = "host;x-amz-content-sha256;x-amz-date";

// Spaces trimmed, then every trailing "/" removed.
std::string TrimTrailingSlashes(std::string_view text);
// Spaces trimmed, "\" turned into "/", every leading and trailing "/" removed.
std::string NormalizeObjectPath(std::string_view text);
// prefix + "/" + name of the normalised pieces, or the name alone under an empty prefix.
std::string JoinObjectKey(std::string_view prefix, std::string_view name);

// The UTF-8 bytes with A-Z, a-z, 0-9, "-", ".", "_" and "~" kept and every other byte written "%XX" (upper-case
// hexadecimal; a space is "%20", a slash "%2F", a plus sign "%2B"). These are the characters S3 itself leaves
// unencoded when it rebuilds the canonical URI, so a name with "(", "!" or "~" signs the same on both sides.
std::string UriEncodeSegment(std::string_view text);
// "/" + encoded bucket, then "/" + each encoded non-empty piece of the normalised key.
std::string BuildCanonicalUri(std::string_view bucket, std::string_view key);
// The endpoint without trailing slashes, followed by the canonical URI.
std::string BuildObjectUrl(std::string_view endpoint, std::string_view bucket, std::string_view key);
// The endpoint's host with its port: scheme and path dropped ("http://127.0.0.1:9000/" gives "127.0.0.1:9000").
std::string GetHostHeader(std::string_view endpoint);

// "yyyymmddThhnnssZ" of a UTC moment; the date stamp is its first 8 characters.
std::string FormatRequestDate(std::time_t utc);
// The UTC moment of a local date-time: the local zone's offset from UTC at this moment subtracted.
std::time_t LocalToUtc(TDateTime local);

std::string BytesToHexLower(const TBytes& bytes);
TBytes HmacSha256Bytes(const TBytes& key, std::string_view message);
std::string HmacSha256Hex(const TBytes& key, std::string_view message);
// The SHA-256 of the whole file as 64 lower-case hexadecimal digits, read a block at a time.
std::string FileSha256Hex(std::string_view path);
// The same over an open descriptor from its current position to its end; `bytes` receives the length hashed.
std::string DescriptorSha256Hex(int fd, const std::string& pathForMessages, int64_t& bytes);

// What one signed request is made of.
struct TS3SigningInput {
  std::string Method = "PUT";
  std::string CanonicalUri;
  std::string Host;
  std::string RequestDate;  // yyyymmddThhnnssZ
  std::string PayloadHash;  // lower-case hexadecimal SHA-256 of the body
  std::string AccessKey;
  std::string SecretKey;
};

// method LF uri LF (empty query) LF canonical headers (each ending in LF) LF signed headers LF payload hash.
std::string BuildCanonicalRequest(const TS3SigningInput& input);
// date stamp "/us-east-1/s3/aws4_request".
std::string BuildCredentialScope(const TS3SigningInput& input);
std::string BuildStringToSign(const TS3SigningInput& input);
// "AWS4-HMAC-SHA256 Credential=<access key>/<scope>, SignedHeaders=<signed headers>, Signature=<signature>".
std::string BuildAuthorizationHeader(const TS3SigningInput& input);

}  // namespace velkor
