#pragma once
// Whole backup runs on real temporary trees: the engine's real worker, the main thread pumped by the test, a fake
// clock (pauses and pacing cost no time), and a temporary folder of the test's own so staging leftovers show.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/BackupEngine.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"
#include "util/FormatSettings.h"

namespace velkor::test {

// Reaches the run's building blocks.
class TEngineParts : public TBackupEngine {
public:
  using TBackupEngine::CreateZipArchive;
  using TBackupEngine::EstimateRequiredBytes;
  using TBackupEngine::FindExistingAncestor;
  using TBackupEngine::GetReferenceName;
  using TBackupEngine::ShouldBackupFile;
  using TBackupEngine::TBackupEngine;
};

using TCompletion = std::pair<bool, std::string>;

class TRunFixture : public ::testing::Test {
protected:
  TTempDir FDir;
  TScopedEnv FTemp{"TMPDIR", (FDir.Path() / "tmp").string()};
  TQueuedMainThread FMain;
  TFakeClock FClock;
  std::vector<std::pair<std::string, int>> FProgress;
  std::vector<TCompletion> FCompletions;
  std::function<void(const std::string&, int)> FAfterProgress;
  // Declared last: destroyed first, while everything its handlers touch still exists.
  std::unique_ptr<TEngineParts> FEngine = std::make_unique<TEngineParts>(FMain, FClock);

  TRunFixture() {
    std::filesystem::create_directories(FDir.Path() / "tmp");
    FEngine->SetDestinationFolder(P("dest"));
    FEngine->SetBackupNamePrefix("Daily");
    FEngine->SetOnProgress([this](const std::string& fileName, int progress) {
      FProgress.emplace_back(fileName, progress);
      if (FAfterProgress) FAfterProgress(fileName, progress);
    });
    FEngine->SetOnComplete(
        [this](bool success, const std::string& message) { FCompletions.emplace_back(success, message); });
  }

  std::string P(const std::string& rel) const { return (FDir.Path() / rel).string(); }

  // One whole run; its single completion.
  TCompletion Run() {
    FCompletions.clear();
    FProgress.clear();
    FEngine->StartBackup();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (FCompletions.empty() || FEngine->IsRunning()) {
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "the run did not complete";
        return {};
      }
      if (FMain.WaitForWork(5)) FMain.ProcessPending();
    }
    EXPECT_EQ(FCompletions.size(), 1u);
    return FCompletions.front();
  }

  std::vector<std::string> Entries(const std::string& folder) const {
    std::vector<std::string> names;
    if (!std::filesystem::exists(folder)) return names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::vector<std::string> DestinationEntries() const { return Entries(P("dest")); }
  // Staging folders left in the run's temporary folder.
  std::vector<std::string> TempEntries() const { return Entries(P("tmp")); }

  std::string MegabytesText(const char* digits) const {
    std::string text = digits;
    text.replace(text.find('.'), 1, UserFormatSettings().DecimalSeparator);
    return text;
  }
};

// Runs a checking tool in a UTF-8 locale, so names outside ASCII are printed as they are.
inline std::string CommandOutput(const std::string& command) {
  std::string output;
  const int status = RunCommand("LC_ALL=C.UTF-8 " + command, &output);
  EXPECT_EQ(status, 0) << command << "\n" << output;
  return output;
}

inline std::string Sha256Of(const std::string& path) {
  return CommandOutput("sha256sum " + ShellQuote(path)).substr(0, 64);
}

// A process-wide cap on the size of any file written, so that a write fails at a chosen point (with EFBIG: the
// signal the system sends then is ignored meanwhile).
class TFileSizeCap {
public:
  explicit TFileSizeCap(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &FOld);
    FOldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit capped = FOld;
    capped.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &capped);
  }
  ~TFileSizeCap() {
    setrlimit(RLIMIT_FSIZE, &FOld);
    signal(SIGXFSZ, FOldHandler);
  }
  TFileSizeCap(const TFileSizeCap&) = delete;
  TFileSizeCap& operator=(const TFileSizeCap&) = delete;

private:
  rlimit FOld{};
  sighandler_t FOldHandler;
};

// Bytes that do not compress.
inline std::string Incompressible(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<char>(x);
  }
  return bytes;
}

// Sets the last-write (and access) time of a file to a local date-time.
inline void SetWriteTime(const std::string& path, TDateTime local) {
  const auto seconds = ToUnixTime(local);
  ASSERT_TRUE(seconds.has_value());
  const long long ms = MilliSecondsBetween(FromUnixTime(*seconds), local);
  timespec times[2];
  times[0].tv_sec = *seconds + ms / 1000;
  times[0].tv_nsec = (ms % 1000) * 1000000;
  if (times[0].tv_nsec < 0) {
    times[0].tv_nsec += 1000000000;
    --times[0].tv_sec;
  }
  times[1] = times[0];
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// The current local time, whole seconds.
inline TDateTime RealNowSeconds() { return FromUnixTime(std::time(nullptr)); }

}  // namespace velkor::test
