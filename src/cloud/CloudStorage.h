#pragma once
// Copies one finished backup output (a file, or a folder with everything below it) into an S3-compatible object
// store: one PUT per file, signed with Signature Version 4, path-style addressing. It only uploads: no listing,
// no deletes, no multipart uploads, no retries. The first failing object ends the upload; objects sent before it
// stay in the bucket.
//
// Each file is read twice, a block at a time: once for the payload hash, once as the request body, both from the
// same open file, so the bytes signed are the bytes sent and no file is ever held in memory.
//
// A client serves one upload at a time on the calling thread. Errors throw EVelkorError with the Turkish text;
// neither key ever appears in one.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/Clock.h"

namespace velkor {

struct TCloudStorageSettings {
  std::string Provider;     // the editor's provider label (informational here)
  std::string Destination;  // the text the settings were parsed from (informational here)
  std::string AccessKey;
  std::string SecretKey;  // plain text: unprotected just before use, never stored in this form
  std::string Endpoint;   // http or https URL with host and optional port, "http://127.0.0.1:9000"
  std::string Bucket;
  std::string PathPrefix;  // folder path inside the bucket, may be empty
};

// The file being sent, the bytes of the whole output sent so far and the output's total size.
using TUploadProgress = std::function<void(const std::string& fileName, int64_t sentBytes, int64_t totalBytes)>;

class TCloudStorageClient {
public:
  // Keeps a copy of `settings`; the clock gives the request dates (local time).
  explicit TCloudStorageClient(const TCloudStorageSettings& settings, IClock& clock = SystemClock());
  // Wipes the copy of the secret.
  ~TCloudStorageClient();
  TCloudStorageClient(const TCloudStorageClient&) = delete;
  TCloudStorageClient& operator=(const TCloudStorageClient&) = delete;

  void SetOnProgress(TUploadProgress handler) { FOnProgress = std::move(handler); }
  // Polled between files and while each is hashed and sent; true ends the upload with UploadCancelledMessage.
  void SetShouldCancel(std::function<bool()> shouldCancel) { FShouldCancel = std::move(shouldCancel); }

  // Uploads the output at `sourcePath`. `remotePath` is cleared first and, on success, set to "s3://" + bucket +
  // "/" + key (for a folder, the key of the folder itself; an empty folder uploads nothing and reports it too).
  // Settings still empty are filled first: endpoint, bucket, access key, secret key, each from its environment
  // variable ("QELT_CLOUD_ENDPOINT", "QELT_CLOUD_BUCKET", "QELT_CLOUD_ACCESS_KEY", "QELT_CLOUD_SECRET_KEY",
  // trimmed) or else its built-in default.
  void UploadBackupOutput(const std::string& sourcePath, std::string& remotePath);

  // The settings a task's cloud fields stand for; see the destination forms in CloudStorage.cpp.
  static TCloudStorageSettings BuildSettings(const std::string& provider, const std::string& destination,
                                             const std::string& accessKey, const std::string& secretKey);

private:
  void ApplyFallbacks();
  // Sends one file as the object `key`; `sentBefore` and `total` place it in the whole output's progress.
  void PutObject(const std::string& filePath, const std::string& key, int64_t sentBefore, int64_t total);

  TCloudStorageSettings FSettings;
  IClock& FClock;
  TUploadProgress FOnProgress;
  std::function<bool()> FShouldCancel;
};

}  // namespace velkor
