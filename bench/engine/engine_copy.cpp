// Driver for bench/engine-copy.sh: one CopyFileThrottled call, timed.
//   engine_copy copy <source> <target>
//       unlimited, background mode off; prints "seconds bytes"
//   engine_copy limit <source> <target> <MiB per second>
//       paced copy; prints one line per elapsed second with the bytes written in that second, then the total
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "engine/BackupEngine.h"

namespace {

class TBenchEngine : public velkor::TBackupEngine {
public:
  using TBackupEngine::CopyFileThrottled;
  using TBackupEngine::TBackupEngine;
};

long long FileSize(const char* path) {
  struct stat st {};
  return stat(path, &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: engine_copy copy|limit <source> <target> [MiB/s]\n");
    return 2;
  }
  const std::string mode = argv[1];
  velkor::TQueuedMainThread mainThread;
  TBenchEngine engine(mainThread);
  if (mode == "limit") engine.SetSpeedLimitBytesPerSec(std::atoll(argv[4]) * 1048576LL);

  std::atomic<bool> done{false};
  std::thread sampler;
  const auto start = std::chrono::steady_clock::now();
  if (mode == "limit") {
    // Samples the target's size once a second to show how evenly the limit holds.
    sampler = std::thread([&] {
      long long previous = 0;
      for (int second = 1; !done; ++second) {
        std::this_thread::sleep_until(start + std::chrono::seconds(second));
        const long long size = FileSize(argv[3]);
        std::printf("second %d %lld\n", second, size - previous);
        std::fflush(stdout);
        previous = size;
      }
    });
  }
  engine.CopyFileThrottled(argv[2], argv[3]);
  const double seconds = SecondsSince(start);
  done = true;
  if (sampler.joinable()) sampler.join();
  std::printf("%.3f %lld\n", seconds, FileSize(argv[3]));
  return 0;
}
