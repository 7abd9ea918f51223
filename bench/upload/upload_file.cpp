// Driver for bench/upload.sh.
//   upload_file <endpoint> <bucket> <prefix> <file>
//       one upload of the file with the S3 client (signed with the S3 server's default keys); prints
//       "seconds hash-seconds peak-resident-KiB remote-path", the hash seconds being those before the first body
//       byte left
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

#include "cloud/CloudStorage.h"
#include "platform/ProcessLocale.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: upload_file ENDPOINT BUCKET PREFIX FILE\n");
    return 2;
  }
  velkor::InitProcessLocale();
  velkor::TCloudStorageSettings settings;
  settings.Endpoint = argv[1];
  settings.Bucket = argv[2];
  settings.PathPrefix = argv[3];
  settings.AccessKey = "S3RVER";
  settings.SecretKey = "S3RVER";
  std::string remote;
  const auto start = std::chrono::steady_clock::now();
  double hashSeconds = 0;
  try {
    velkor::TCloudStorageClient client(settings);
    client.SetOnProgress([&](const std::string&, int64_t sent, int64_t) {
      if (sent > 0 && hashSeconds == 0)
        hashSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    });
    client.UploadBackupOutput(argv[4], remote);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf("%.3f %.3f %ld %s\n", seconds, hashSeconds, usage.ru_maxrss, remote.c_str());
  return 0;
}
