// The parts of a signed S3 request, and the signature itself checked against botocore's S3 signer.
#include <gtest/gtest.h>

#include <ctime>
#include <optional>

#include "cloud/S3Signing.h"
#include "support/TempDir.h"
#include "util/DateTime.h"
#include "util/Error.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

TEST(S3Keys, PathsAreNormalisedAndJoined) {
  struct TCase {
    const char* Prefix;
    const char* Name;
    const char* Key;
  };
  const TCase cases[] = {
      {"backups", "Görev 1_2024.zip", "backups/Görev 1_2024.zip"},
      {"\\yedek\\gunluk\\", "x.zip", "yedek/gunluk/x.zip"},
      {"  /yedek/gunluk//  ", "/Set_1\\sub\\b.txt/", "yedek/gunluk/Set_1/sub/b.txt"},
      {"", "x.zip", "x.zip"},
      {"///", "x.zip", "x.zip"},
      {"a", "", "a/"},
  };
  for (const TCase& c : cases) EXPECT_EQ(JoinObjectKey(c.Prefix, c.Name), c.Key) << c.Prefix << " + " << c.Name;

  EXPECT_EQ(NormalizeObjectPath(" \\\\a\\\\b\\ "), "a//b");
  EXPECT_EQ(TrimTrailingSlashes("  http://127.0.0.1:9000///  "), "http://127.0.0.1:9000");
}

TEST(S3Keys, SegmentsKeepOnlyTheUnreservedCharacters) {
  const std::pair<const char*, const char*> cases[] = {
      {"Görev 1_2024.zip", "G%C3%B6rev%201_2024.zip"},
      {"AZaz09-._~", "AZaz09-._~"},
      {"a/b", "a%2Fb"},
      {"a+b&c=d", "a%2Bb%26c%3Dd"},
      // Left as they are by a looser encoding, rebuilt encoded by the server: they must be sent encoded.
      {"(x)!$'*@,;", "%28x%29%21%24%27%2A%40%2C%3B"},
      {"ĞÜŞİÖÇğüşıöç", "%C4%9E%C3%9C%C5%9E%C4%B0%C3%96%C3%87%C4%9F%C3%BC%C5%9F%C4%B1%C3%B6%C3%A7"},
      {"%20", "%2520"},
      {"", ""},
  };
  for (const auto& [text, encoded] : cases) EXPECT_EQ(UriEncodeSegment(text), encoded) << text;
}

TEST(S3Keys, CanonicalUriUrlAndHost) {
  struct TCase {
    const char* Endpoint;
    const char* Bucket;
    const char* Key;
    const char* Uri;
    const char* Url;
    const char* Host;
  };
  const TCase cases[] = {
      {"http://127.0.0.1:9000/", "qelt-backup", "backups/Görev 1_2024.zip",
       "/qelt-backup/backups/G%C3%B6rev%201_2024.zip",
       "http://127.0.0.1:9000/qelt-backup/backups/G%C3%B6rev%201_2024.zip", "127.0.0.1:9000"},
      {"http://127.0.0.1:9000", "qelt-backup", "x.zip", "/qelt-backup/x.zip", "http://127.0.0.1:9000/qelt-backup/x.zip",
       "127.0.0.1:9000"},
      // Doubled slashes leave no empty segment.
      {"https://s3.example.com", "b", "//a//c/", "/b/a/c", "https://s3.example.com/b/a/c", "s3.example.com"},
      {"https://s3.example.com:9443/extra/path", "b", "k", "/b/k", "https://s3.example.com:9443/extra/path/b/k",
       "s3.example.com:9443"},
      {"127.0.0.1:9000", "b", "k", "/b/k", "127.0.0.1:9000/b/k", "127.0.0.1:9000"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(BuildCanonicalUri(c.Bucket, c.Key), c.Uri) << c.Key;
    EXPECT_EQ(BuildObjectUrl(c.Endpoint, c.Bucket, c.Key), c.Url) << c.Endpoint;
    EXPECT_EQ(GetHostHeader(c.Endpoint), c.Host) << c.Endpoint;
  }
}

// The process's local zone for the lifetime of the object.
class TScopedZone {
public:
  explicit TScopedZone(const char* zone) {
    FZone.emplace("TZ", zone);
    ::tzset();
  }
  ~TScopedZone() {
    FZone.reset();
    ::tzset();
  }

private:
  std::optional<test::TScopedEnv> FZone;
};

TEST(S3RequestDate, IsTheUtcMomentOfTheLocalTime) {
  EXPECT_EQ(FormatRequestDate(1705314600), "20240115T103000Z");
  EXPECT_EQ(FormatRequestDate(0), "19700101T000000Z");
  struct TCase {
    const char* Zone;
    TDateTime Local;
    const char* Date;
  };
  const TCase cases[] = {
      {"UTC", EncodeDateTime(2024, 1, 15, 10, 30, 0, 999), "20240115T103000Z"},
      {"Europe/Istanbul", EncodeDateTime(2024, 1, 15, 13, 30, 0), "20240115T103000Z"},
      // Crossing midnight and a year end backwards.
      {"Europe/Istanbul", EncodeDateTime(2025, 1, 1, 1, 0, 5), "20241231T220005Z"},
      {"Pacific/Kiritimati", EncodeDateTime(2024, 3, 1, 9, 0, 0), "20240229T190000Z"},
  };
  for (const TCase& c : cases) {
    TScopedZone zone(c.Zone);
    EXPECT_EQ(FormatRequestDate(LocalToUtc(c.Local)), c.Date) << c.Zone;
  }
}

TEST(S3Signature, CanonicalRequestOfAnEmptyFile) {
  test::TTempDir dir;
  test::WriteFile(dir / "bos.txt", "");
  TS3SigningInput input;
  input.CanonicalUri = "/qelt-backup/bos.txt";
  input.Host = "127.0.0.1:9000";
  input.RequestDate = "20240115T103000Z";
  input.PayloadHash = FileSha256Hex((dir / "bos.txt").string());
  EXPECT_EQ(input.PayloadHash, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(BuildCanonicalRequest(input),
            "PUT\n/qelt-backup/bos.txt\n\nhost:127.0.0.1:9000\n"
            "x-amz-content-sha256:e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\n"
            "x-amz-date:20240115T103000Z\n\nhost;x-amz-content-sha256;x-amz-date\n"
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(BuildCredentialScope(input), "20240115/us-east-1/s3/aws4_request");
  EXPECT_TRUE(
      StartsText("AWS4-HMAC-SHA256\n20240115T103000Z\n20240115/us-east-1/s3/aws4_request\n", BuildStringToSign(input)));
}

TEST(S3Signature, MatchesBotocoresS3Signer) {
  struct TCase {
    const char* Endpoint;
    const char* Bucket;
    const char* Key;
    std::string Content;
    const char* Date;
    const char* AccessKey;
    const char* SecretKey;
  };
  const TCase cases[] = {
      {"http://127.0.0.1:9000/", "qelt-backup", "backups/Görev 1_2024.zip", "PK\x05\x06 arşiv", "20240115T103000Z",
       "vexbrutqal", "vexbrutqal"},
      {"http://127.0.0.1:9000", "qelt-backup", "bos.txt", "", "20240115T103000Z", "vexbrutqal", "vexbrutqal"},
      {"https://s3.example.com:9443", "arsiv", "gunluk/Yedek (Günlük) + Ek & Not~!.zip", std::string(70000, 'x'),
       "20241231T235959Z", "AKIAEXAMPLE", "wJalrXUtnFEMI/K7MDENG+bPxRfiCYEXAMPLEKEY"},
      {"http://localhost:4568", "b", "Set_1/sub/b.txt", "beta", "20000229T000000Z", "S3RVER", "S3RVER"},
  };
  test::TTempDir dir;
  std::string lines;
  std::string expected;
  for (size_t i = 0; i < std::size(cases); ++i) {
    const TCase& c = cases[i];
    const auto body = dir / ("body" + std::to_string(i));
    test::WriteFile(body, c.Content);
    TS3SigningInput input;
    input.CanonicalUri = BuildCanonicalUri(c.Bucket, c.Key);
    input.Host = GetHostHeader(c.Endpoint);
    input.RequestDate = c.Date;
    input.PayloadHash = FileSha256Hex(body.string());
    input.AccessKey = c.AccessKey;
    input.SecretKey = c.SecretKey;
    lines += BuildObjectUrl(c.Endpoint, c.Bucket, c.Key) + "\t" + c.Date + "\t" + body.string() + "\t" + c.AccessKey +
             "\t" + c.SecretKey + "\n";
    expected += input.PayloadHash + "\n" + BuildAuthorizationHeader(input) + "\n";
  }
  test::WriteFile(dir / "cases.tsv", lines);
  std::string reference;
  ASSERT_EQ(test::RunCommand("/usr/bin/python3 " + test::ShellQuote(VELKOR_TEST_DATA_DIR "/botocore_sign.py") + " " +
                                 test::ShellQuote((dir / "cases.tsv").string()) + " 2>&1",
                             &reference),
            0)
      << reference;
  EXPECT_EQ(reference, expected);
}

TEST(S3Signature, FileHashReadsTheWholeFileAndNamesAnUnreadableOne) {
  test::TTempDir dir;
  // More than one read block.
  std::string content(3 * 1024 * 1024 + 17, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 131);
  test::WriteFile(dir / "big.bin", content);
  EXPECT_EQ(FileSha256Hex((dir / "big.bin").string()), BytesToHexLower(Sha256Digest(content.data(), content.size())));
  try {
    FileSha256Hex((dir / "yok.bin").string());
    FAIL() << "no error";
  } catch (const EVelkorError& e) {
    EXPECT_TRUE(StartsText("Cloud upload için dosya okunamadı: " + (dir / "yok.bin").string(), e.what())) << e.what();
  }
}

}  // namespace
}  // namespace velkor
