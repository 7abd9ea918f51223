#include "cloud/CloudStorage.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "cloud/HttpPut.h"
#include "cloud/S3Signing.h"
#include "crypto/CryptoUtils.h"
#include "engine/LongPathUtils.h"
#include "platform/AtomicFile.h"
#include "platform/FileHandle.h"
#include "util/Error.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

constexpr const char* BuiltInEndpoint = "http://127.0.0.1:9000";
constexpr const char* BuiltInBucket = "qelt-backup";
constexpr const char* BuiltInPrefix = "backups";
constexpr const char* BuiltInKey = "vexbrutqal";

std::string EnvironmentOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  const std::string trimmed = value != nullptr ? Trim(value) : std::string();
  return trimmed.empty() ? fallback : trimmed;
}

std::string DefaultEndpoint() { return EnvironmentOr("QELT_CLOUD_ENDPOINT", BuiltInEndpoint); }
std::string DefaultBucket() { return EnvironmentOr("QELT_CLOUD_BUCKET", BuiltInBucket); }

void FillIfEmpty(std::string& value, const std::string& fallback) {
  if (Trim(value).empty()) value = fallback;
}

std::string JoinPieces(const std::vector<std::string>& pieces, size_t from) {
  std::string joined;
  for (size_t i = from; i < pieces.size(); ++i) joined += (i > from ? "/" : "") + pieces[i];
  return joined;
}

std::string FileNameOf(const std::string& path) { return ToNativePath(path).filename().string(); }

// The server's answer as an error shows it: without either key, should the server echo one back.
std::string WithoutKeys(std::string body, const TCloudStorageSettings& settings) {
  for (const std::string* key : {&settings.AccessKey, &settings.SecretKey})
    if (!key->empty()) body = ReplaceAll(body, *key, "***");
  return body;
}

int OpenForReading(const std::string& path) {
  int fd;
  do fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

TCloudStorageClient::TCloudStorageClient(const TCloudStorageSettings& settings, IClock& clock)
    : FSettings(settings), FClock(clock) {}

TCloudStorageClient::~TCloudStorageClient() { WipeString(FSettings.SecretKey); }

// Destination forms, backslashes first turned into slashes:
//   empty                                      default endpoint, "qelt-backup", "backups"
//   "s3://" bucket ["/" prefix]                 default endpoint, bucket and prefix as written (may stay empty)
//   scheme "://" host[:port] ["/" bucket ["/" prefix]]   that endpoint; bucket else "qelt-backup", prefix else
//                                               "backups"
//   bucket ["/" prefix]                         default endpoint; bucket else "qelt-backup", prefix else "backups"
TCloudStorageSettings TCloudStorageClient::BuildSettings(const std::string& provider, const std::string& destination,
                                                         const std::string& accessKey, const std::string& secretKey) {
  TCloudStorageSettings settings;
  settings.Provider = Trim(provider);
  settings.Destination = Trim(destination);
  settings.AccessKey = Trim(accessKey);
  settings.SecretKey = secretKey;

  const std::string work = ReplaceAll(settings.Destination, "\\", "/");
  if (work.empty()) {
    settings.Endpoint = BuiltInEndpoint;
    settings.Bucket = BuiltInBucket;
    settings.PathPrefix = BuiltInPrefix;
    return settings;
  }
  if (StartsText("s3://", work)) {
    const std::vector<std::string> pieces = SplitString(work.substr(5), '/');
    settings.Endpoint = BuiltInEndpoint;
    settings.Bucket = pieces.front();
    settings.PathPrefix = JoinPieces(pieces, 1);
    return settings;
  }
  std::string rest = work;
  settings.Endpoint = BuiltInEndpoint;
  const size_t scheme = work.find("://");
  if (scheme != std::string::npos) {
    const size_t slash = work.find('/', scheme + 3);
    settings.Endpoint = work.substr(0, slash);
    rest = slash == std::string::npos ? std::string() : work.substr(slash + 1);
  }
  const std::vector<std::string> pieces = SplitString(rest, '/');
  settings.Bucket = pieces.front();
  settings.PathPrefix = JoinPieces(pieces, 1);
  if (settings.Bucket.empty()) settings.Bucket = BuiltInBucket;
  if (settings.PathPrefix.empty()) settings.PathPrefix = BuiltInPrefix;
  return settings;
}

void TCloudStorageClient::ApplyFallbacks() {
  FillIfEmpty(FSettings.Endpoint, DefaultEndpoint());
  FillIfEmpty(FSettings.Bucket, DefaultBucket());
  FillIfEmpty(FSettings.AccessKey, EnvironmentOr("QELT_CLOUD_ACCESS_KEY", BuiltInKey));
  if (Trim(FSettings.SecretKey).empty()) FSettings.SecretKey = EnvironmentOr("QELT_CLOUD_SECRET_KEY", BuiltInKey);
}

void TCloudStorageClient::UploadBackupOutput(const std::string& sourcePath, std::string& remotePath) {
  remotePath.clear();
  if (Trim(sourcePath).empty()) throw EVelkorError("Cloud upload için yedek çıktısı bulunamadı.");
  ApplyFallbacks();

  if (LongFileExists(sourcePath)) {
    const std::string key = JoinObjectKey(FSettings.PathPrefix, FileNameOf(sourcePath));
    PutObject(sourcePath, key, 0, LongGetFileSize(sourcePath));
    remotePath = "s3://" + FSettings.Bucket + "/" + key;
    return;
  }
  if (!LongDirectoryExists(sourcePath)) throw EVelkorError("Cloud upload için kaynak çıktı bulunamadı: " + sourcePath);

  const std::string folder = ToNativePath(sourcePath).string();
  const std::string folderName = std::filesystem::path(folder).filename().string();
  const std::vector<std::string> files = LongGetFiles(folder, "*.*", true);
  int64_t total = 0;
  for (const std::string& file : files) total += std::max<int64_t>(0, LongGetFileSize(file));
  int64_t sent = 0;
  for (const std::string& file : files) {
    // The listing names every file below the folder's own path; what follows it is the file's place inside.
    std::string relative = file.substr(folder.size());
    if (!relative.empty() && relative.front() == '/') relative.erase(0, 1);
    PutObject(file, JoinObjectKey(FSettings.PathPrefix, folderName + "/" + relative), sent, total);
    sent += std::max<int64_t>(0, LongGetFileSize(file));
  }
  remotePath = "s3://" + FSettings.Bucket + "/" + JoinObjectKey(FSettings.PathPrefix, folderName);
}

void TCloudStorageClient::PutObject(const std::string& filePath, const std::string& key, int64_t sentBefore,
                                    int64_t total) {
  const std::string native = ToNativePath(filePath).string();
  if (FShouldCancel && FShouldCancel()) throw EVelkorError(UploadCancelledMessage);
  if (!LongFileExists(filePath)) throw EVelkorError("Cloud upload için kaynak dosya bulunamadı: " + filePath);
  const int fd = OpenForReading(native);
  if (fd < 0) {
    const int err = errno;
    if (err == ENOENT) throw EVelkorError("Cloud upload için kaynak dosya bulunamadı: " + filePath);
    throw EVelkorError("Cloud upload için dosya okunamadı: " + native + " (" + SystemErrorMessage(err) + ")");
  }
  TFileHandle file(fd);

  int64_t size = 0;
  TS3SigningInput signing;
  signing.PayloadHash = DescriptorSha256Hex(file.Get(), native, size);
  if (::lseek(file.Get(), 0, SEEK_SET) != 0)
    throw EVelkorError("Cloud upload için dosya okunamadı: " + native + " (" + SystemErrorMessage(errno) + ")");
  if (FShouldCancel && FShouldCancel()) throw EVelkorError(UploadCancelledMessage);

  signing.RequestDate = FormatRequestDate(LocalToUtc(FClock.Now()));
  signing.CanonicalUri = BuildCanonicalUri(FSettings.Bucket, key);
  signing.Host = GetHostHeader(FSettings.Endpoint);
  signing.AccessKey = FSettings.AccessKey;
  signing.SecretKey = FSettings.SecretKey;

  THttpPutRequest request;
  request.Url = BuildObjectUrl(FSettings.Endpoint, FSettings.Bucket, key);
  request.Headers = {"Host: " + signing.Host, "x-amz-date: " + signing.RequestDate,
                     "x-amz-content-sha256: " + signing.PayloadHash,
                     "Authorization: " + BuildAuthorizationHeader(signing)};
  WipeString(signing.SecretKey);
  request.BodyFd = file.Get();
  request.BodySize = size;
  request.BodyPath = native;
  request.ShouldCancel = FShouldCancel;
  const std::string fileName = FileNameOf(native);
  if (FOnProgress) {
    FOnProgress(fileName, sentBefore, total);
    request.OnProgress = [&](int64_t sent) { FOnProgress(fileName, sentBefore + sent, total); };
  }

  const THttpPutResponse response = HttpPutFile(request);
  if (response.Status < 200 || response.Status > 299) {
    char status[16];
    std::snprintf(status, sizeof status, "%ld", response.Status);
    throw EVelkorError(std::string("Cloud upload hatası (") + status + "): " + WithoutKeys(response.Body, FSettings));
  }
}

}  // namespace velkor
