// The upload client without a real S3 server: the settings a destination text stands for, the fallbacks, what goes
// on the wire, and how failures read. The real server's side is in tests/integration.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <tuple>

#include "cloud/CloudStorage.h"
#include "cloud/HttpCaptureServer.h"
#include "cloud/HttpPut.h"
#include "cloud/S3Signing.h"
#include "platform/FileHandle.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"
#include "util/Error.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::THttpCaptureServer;

TEST(CloudSettings, DestinationForms) {
  struct TCase {
    const char* Destination;
    const char* Endpoint;
    const char* Bucket;
    const char* Prefix;
  };
  const TCase cases[] = {
      {"", "http://127.0.0.1:9000", "qelt-backup", "backups"},
      {"   ", "http://127.0.0.1:9000", "qelt-backup", "backups"},
      {"http://127.0.0.1:9000/qelt-backup/backups", "http://127.0.0.1:9000", "qelt-backup", "backups"},
      {"s3://arsiv/gunluk/db", "http://127.0.0.1:9000", "arsiv", "gunluk/db"},
      {"S3://arsiv", "http://127.0.0.1:9000", "arsiv", ""},
      // No defaults in the s3:// form: the bucket comes from the fallbacks at upload time.
      {"s3://", "http://127.0.0.1:9000", "", ""},
      {"s3:\\\\arsiv\\gunluk", "http://127.0.0.1:9000", "arsiv", "gunluk"},
      {"https://127.0.0.1:9443", "https://127.0.0.1:9443", "qelt-backup", "backups"},
      {"https://127.0.0.1:9443/", "https://127.0.0.1:9443", "qelt-backup", "backups"},
      {"https://s3.example.com/arsiv", "https://s3.example.com", "arsiv", "backups"},
      {"http://h:9000//x", "http://h:9000", "qelt-backup", "x"},
      {"http://h:9000/b/p1//p2/", "http://h:9000", "b", "p1//p2/"},
      {"arsiv\\haftalik", "http://127.0.0.1:9000", "arsiv", "haftalik"},
      {"  arsiv  ", "http://127.0.0.1:9000", "arsiv", "backups"},
      {"/arsiv", "http://127.0.0.1:9000", "qelt-backup", "arsiv"},
  };
  for (const TCase& c : cases) {
    const TCloudStorageSettings s =
        TCloudStorageClient::BuildSettings(" MinIO ", c.Destination, " anahtar ", " gizli ");
    EXPECT_EQ(s.Endpoint, c.Endpoint) << '"' << c.Destination << '"';
    EXPECT_EQ(s.Bucket, c.Bucket) << '"' << c.Destination << '"';
    EXPECT_EQ(s.PathPrefix, c.Prefix) << '"' << c.Destination << '"';
    EXPECT_EQ(s.Destination, Trim(c.Destination));
  }
  const TCloudStorageSettings s = TCloudStorageClient::BuildSettings(" MinIO ", "", " anahtar ", " gizli ");
  EXPECT_EQ(s.Provider, "MinIO");
  EXPECT_EQ(s.AccessKey, "anahtar");
  EXPECT_EQ(s.SecretKey, " gizli ");  // a secret is taken as typed
}

class CloudUpload : public ::testing::Test {
protected:
  test::TTempDir FDir;
  test::TFakeClock FClock{EncodeDateTime(2024, 1, 15, 13, 30, 0)};
  // No fallback from the machine running the tests.
  test::TScopedEnv FEndpoint{"QELT_CLOUD_ENDPOINT", std::nullopt};
  test::TScopedEnv FBucket{"QELT_CLOUD_BUCKET", std::nullopt};
  test::TScopedEnv FAccess{"QELT_CLOUD_ACCESS_KEY", std::nullopt};
  test::TScopedEnv FSecret{"QELT_CLOUD_SECRET_KEY", std::nullopt};

  TCloudStorageSettings Settings(const std::string& endpoint) {
    TCloudStorageSettings s;
    s.Endpoint = endpoint;
    s.Bucket = "qelt-backup";
    s.PathPrefix = "backups";
    s.AccessKey = "ERISIMANAHTARI";
    s.SecretKey = "GIZLIANAHTAR/+=";
    return s;
  }

  // The message `settings` fail with when uploading `source`; "" when they do not.
  std::string UploadError(const TCloudStorageSettings& settings, const std::string& source) {
    std::string remote = "eski";
    try {
      TCloudStorageClient client(settings, FClock);
      client.UploadBackupOutput(source, remote);
    } catch (const EVelkorError& e) {
      EXPECT_EQ(remote, "");
      return e.what();
    }
    return "";
  }

  // The Authorization a request signed with `secret` carries.
  static std::string ExpectedAuthorization(const THttpCaptureServer::TRequest& r, const std::string& accessKey,
                                           const std::string& secret) {
    TS3SigningInput input;
    input.CanonicalUri = SplitString(r.RequestLine, ' ').at(1);
    input.Host = r.Header("Host");
    input.RequestDate = r.Header("x-amz-date");
    input.PayloadHash = r.Header("x-amz-content-sha256");
    input.AccessKey = accessKey;
    input.SecretKey = secret;
    return BuildAuthorizationHeader(input);
  }
};

TEST_F(CloudUpload, SendsExactlyTheSignedHeadersAndTheFileAsItsBody) {
  THttpCaptureServer server;
  // Above the size for which libcurl would otherwise ask "Expect: 100-continue".
  std::string content(3 * 1024 * 1024 + 5, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + (i >> 12));
  test::WriteFile(FDir / "Görev 1_2024.zip", content);

  std::string remote;
  TCloudStorageClient client(Settings(server.Endpoint() + "/"), FClock);
  client.UploadBackupOutput((FDir / "Görev 1_2024.zip").string(), remote);

  EXPECT_EQ(remote, "s3://qelt-backup/backups/Görev 1_2024.zip");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const THttpCaptureServer::TRequest& r = requests[0];
  EXPECT_EQ(r.RequestLine, "PUT /qelt-backup/backups/G%C3%B6rev%201_2024.zip HTTP/1.1");
  std::vector<std::string> names;
  for (const auto& [name, value] : r.Headers) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"Host", "x-amz-date", "x-amz-content-sha256", "Authorization",
                                             "Content-Length"}));
  EXPECT_EQ(r.Header("Host"), "127.0.0.1:" + std::to_string(server.Port()));
  EXPECT_EQ(r.Header("x-amz-date"), FormatRequestDate(LocalToUtc(FClock.Now())));
  EXPECT_EQ(r.Header("x-amz-content-sha256"), BytesToHexLower(Sha256Digest(content.data(), content.size())));
  EXPECT_EQ(r.Header("Content-Length"), std::to_string(content.size()));
  EXPECT_EQ(r.Header("Authorization"), ExpectedAuthorization(r, "ERISIMANAHTARI", "GIZLIANAHTAR/+="));
  EXPECT_TRUE(r.Body == content) << "the body differs from the file";
}

TEST_F(CloudUpload, EmptySettingsFallBackToTheEnvironmentThenTheBuiltInValues) {
  THttpCaptureServer server;
  test::WriteFile(FDir / "x.zip", "x");
  struct TCase {
    const char* Name;
    std::string Endpoint, Bucket, AccessKey, SecretKey;                       // the settings
    std::optional<std::string> EnvEndpoint, EnvBucket, EnvAccess, EnvSecret;  // the environment
    std::string UsedBucket, UsedAccess, UsedSecret;
  };
  const std::string own = server.Endpoint();
  const TCase cases[] = {
      {"built-in keys", own, "b", "", "  ", std::nullopt, std::nullopt, std::nullopt, std::nullopt, "b", "vexbrutqal",
       "vexbrutqal"},
      {"keys from the environment", own, "b", "", "", std::nullopt, std::nullopt, " ENVKEY ", "ENVSECRET", "b",
       "ENVKEY", "ENVSECRET"},
      {"blank variables count as unset", own, "b", "", "", std::nullopt, std::nullopt, "  ", "", "b", "vexbrutqal",
       "vexbrutqal"},
      {"settings win over the environment", own, "b", "own", "ownsecret", std::nullopt, std::nullopt, "ENVKEY",
       "ENVSECRET", "b", "own", "ownsecret"},
      {"endpoint and bucket from the environment", "", " ", "k", "s", " " + own + " ", " envbucket ", std::nullopt,
       std::nullopt, "envbucket", "k", "s"},
      {"built-in bucket", own, "", "k", "s", std::nullopt, std::nullopt, std::nullopt, std::nullopt, "qelt-backup", "k",
       "s"},
  };
  size_t expected = 0;
  for (const TCase& c : cases) {
    test::TScopedEnv endpoint("QELT_CLOUD_ENDPOINT", c.EnvEndpoint);
    test::TScopedEnv bucket("QELT_CLOUD_BUCKET", c.EnvBucket);
    test::TScopedEnv access("QELT_CLOUD_ACCESS_KEY", c.EnvAccess);
    test::TScopedEnv secret("QELT_CLOUD_SECRET_KEY", c.EnvSecret);
    TCloudStorageSettings s;
    s.Endpoint = c.Endpoint;
    s.Bucket = c.Bucket;
    s.AccessKey = c.AccessKey;
    s.SecretKey = c.SecretKey;
    std::string remote;
    TCloudStorageClient client(s, FClock);
    client.UploadBackupOutput((FDir / "x.zip").string(), remote);
    EXPECT_EQ(remote, "s3://" + c.UsedBucket + "/x.zip") << c.Name;
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), ++expected) << c.Name;
    const auto& r = requests.back();
    EXPECT_EQ(r.RequestLine, "PUT /" + c.UsedBucket + "/x.zip HTTP/1.1") << c.Name;
    EXPECT_EQ(r.Header("Authorization"), ExpectedAuthorization(r, c.UsedAccess, c.UsedSecret)) << c.Name;
  }
}

TEST_F(CloudUpload, FailuresNameTheirCauseButNeverAKey) {
  test::WriteFile(FDir / "x.zip", "x");
  const std::string file = (FDir / "x.zip").string();
  THttpCaptureServer refusing(THttpCaptureServer::hmAnswer, 403,
                              "<Error><Code>SignatureDoesNotMatch</Code><AWSAccessKeyId>ERISIMANAHTARI</AWSAccessKeyId>"
                              "<Echo>GIZLIANAHTAR/+=</Echo></Error>");
  THttpCaptureServer broken(THttpCaptureServer::hmAnswer, 500, "");
  int closedPort;
  {
    THttpCaptureServer gone;
    closedPort = gone.Port();
  }
  const std::string closed = "127.0.0.1:" + std::to_string(closedPort);

  struct TCase {
    std::string Endpoint;
    std::string Source;
    std::string MessageStart;
  };
  const TCase cases[] = {
      {refusing.Endpoint(), "", "Cloud upload için yedek çıktısı bulunamadı."},
      {refusing.Endpoint(), "  ", "Cloud upload için yedek çıktısı bulunamadı."},
      {refusing.Endpoint(), (FDir / "yok").string(),
       "Cloud upload için kaynak çıktı bulunamadı: " + (FDir / "yok").string()},
      {refusing.Endpoint(), file,
       "Cloud upload hatası (403): <Error><Code>SignatureDoesNotMatch</Code><AWSAccessKeyId>***</AWSAccessKeyId>"
       "<Echo>***</Echo></Error>"},
      {broken.Endpoint(), file, "Cloud upload hatası (500): "},
      {"http://" + closed, file, "Cloud sunucusuna bağlanılamadı: " + closed + " ("},
      {"ftp://" + closed, file, "Cloud upload bağlantı hatası: " + closed + " ("},
  };
  for (const TCase& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    const std::string message = UploadError(Settings(c.Endpoint), c.Source);
    EXPECT_TRUE(StartsText(c.MessageStart, message)) << message;
    EXPECT_EQ(message.find("ERISIMANAHTARI"), std::string::npos) << message;
    EXPECT_EQ(message.find("GIZLIANAHTAR"), std::string::npos) << message;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << message;
  }
  EXPECT_EQ(refusing.Requests().size(), 1u);
}

TEST_F(CloudUpload, ASilentServerEndsTheWaitAfterTheStallTimeout) {
  THttpCaptureServer silent(THttpCaptureServer::hmSilent);
  test::WriteFile(FDir / "x.bin", std::string(100000, 'x'));
  TFileHandle file(::open((FDir / "x.bin").c_str(), O_RDONLY | O_CLOEXEC));
  THttpPutRequest request;
  request.Url = silent.Endpoint() + "/b/x.bin";
  request.BodyFd = file.Get();
  request.BodySize = 100000;
  request.BodyPath = (FDir / "x.bin").string();
  request.StallTimeoutSeconds = 1;
  const auto start = std::chrono::steady_clock::now();
  try {
    HttpPutFile(request);
    FAIL() << "no error";
  } catch (const EVelkorError& e) {
    EXPECT_TRUE(
        StartsText("Cloud sunucusu zamanında yanıt vermedi: 127.0.0.1:" + std::to_string(silent.Port()), e.what()))
        << e.what();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  ASSERT_EQ(silent.Requests().size(), 1u);
  EXPECT_EQ(silent.Requests()[0].Body.size(), 100000u);
}

TEST_F(CloudUpload, AFileThatShrinksWhileItIsSentFailsTheUpload) {
  THttpCaptureServer server;
  test::WriteFile(FDir / "x.bin", std::string(4 << 20, 'x'));
  TFileHandle file(::open((FDir / "x.bin").c_str(), O_RDONLY | O_CLOEXEC));
  THttpPutRequest request;
  request.Url = server.Endpoint() + "/b/x.bin";
  request.BodyFd = file.Get();
  request.BodySize = 4 << 20;
  request.BodyPath = (FDir / "x.bin").string();
  request.OnProgress = [&](int64_t) { fs::resize_file(FDir / "x.bin", 1 << 20); };
  try {
    HttpPutFile(request);
    FAIL() << "no error";
  } catch (const EVelkorError& e) {
    EXPECT_EQ(std::string(e.what()), "Cloud upload sırasında dosya kısaldı: " + (FDir / "x.bin").string());
  }
}

TEST_F(CloudUpload, ProgressCoversTheWholeOutput) {
  THttpCaptureServer server;
  test::WriteTree(FDir / "Set_1", {{"a.txt", std::string(3 << 20, 'a')}, {"bos.txt", ""}, {"sub/b.txt", "beta"}});
  std::vector<std::tuple<std::string, int64_t, int64_t>> events;
  TCloudStorageClient client(Settings(server.Endpoint()), FClock);
  client.SetOnProgress(
      [&](const std::string& name, int64_t sent, int64_t total) { events.emplace_back(name, sent, total); });
  std::string remote;
  client.UploadBackupOutput((FDir / "Set_1").string(), remote);
  EXPECT_EQ(remote, "s3://qelt-backup/backups/Set_1");

  const int64_t total = (3 << 20) + 4;
  ASSERT_FALSE(events.empty());
  int64_t last = 0;
  std::vector<std::string> files;
  for (const auto& [name, sent, all] : events) {
    EXPECT_EQ(all, total);
    EXPECT_GE(sent, last);
    last = sent;
    if (files.empty() || files.back() != name) files.push_back(name);
  }
  EXPECT_EQ(last, total);
  EXPECT_EQ(files, (std::vector<std::string>{"a.txt", "bos.txt", "b.txt"}));
  // Several steps within the large file, not one jump.
  EXPECT_GT(events.size(), 4u);
}

}  // namespace
}  // namespace velkor
