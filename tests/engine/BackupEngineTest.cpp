#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/BackupEngine.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"
#include "util/Error.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TFakeClock;
using test::TTempDir;
using test::WriteFile;

constexpr int64_t MiB = 1048576;

// Reaches the run's building blocks so they can be driven one by one on the main thread.
class TEngineParts : public TBackupEngine {
public:
  using TBackupEngine::CopyFileThrottled;
  using TBackupEngine::IsCancelled;
  using TBackupEngine::ReportComplete;
  using TBackupEngine::ReportProgress;
  using TBackupEngine::TBackupEngine;
  using TBackupEngine::ThrottleTransfer;
  using TBackupEngine::WaitWhilePaused;
};

class BackupEngineParts : public ::testing::Test {
protected:
  TQueuedMainThread FMain;
  TFakeClock FClock;
  TEngineParts FEngine{FMain, FClock};
  std::vector<int> FDelivered;

  void RecordProgress() {
    FEngine.SetOnProgress([this](const std::string&, int progress) { FDelivered.push_back(progress); });
  }
};

TEST_F(BackupEngineParts, Defaults) {
  EXPECT_TRUE(FEngine.SourceFolders().empty());
  EXPECT_EQ(FEngine.BackupType(), btFull);
  EXPECT_TRUE(FEngine.CompressBackup());
  EXPECT_FALSE(FEngine.EncryptBackup());
  EXPECT_EQ(FEngine.MaxBackupsToKeep(), 0);
  EXPECT_EQ(FEngine.ReferenceBackupTime(), 0);
  EXPECT_EQ(FEngine.ReferenceFullBackupTime(), 0);
  EXPECT_TRUE(FEngine.ReferenceFileNames().empty());
  EXPECT_FALSE(FEngine.BackgroundMode());
  EXPECT_EQ(FEngine.SpeedLimitBytesPerSec(), 0);
  EXPECT_TRUE(FEngine.BackupNamePrefix().empty());
  EXPECT_EQ(FEngine.LastBackupFileCount(), 0);
  EXPECT_EQ(FEngine.LastBackupTotalSize(), 0);
  EXPECT_FALSE(FEngine.LastBackupVerified());
  EXPECT_FALSE(FEngine.IsRunning());
  EXPECT_FALSE(FEngine.IsCancelled());
}

TEST_F(BackupEngineParts, ReferenceNamesAreSortedWithoutRegardToCase) {
  auto& names = FEngine.ReferenceFileNames();
  names.insert("Docs\\b.txt");
  names.insert("docs\\A.txt");
  names.insert("DOCS\\B.TXT");
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.end()),
            (std::vector<std::string>{"docs\\A.txt", "Docs\\b.txt"}));
  EXPECT_EQ(names.count("DOCS\\A.TXT"), 1u);
}

TEST_F(BackupEngineParts, ProgressIsPacedAndEveryChangeTo100GoesThrough) {
  RecordProgress();
  FEngine.ReportProgress("a", 0);
  FClock.AdvanceTick(20);
  FEngine.ReportProgress("a", 0);
  FClock.AdvanceTick(30);
  FEngine.ReportProgress("b", 1);
  EXPECT_EQ(FDelivered, (std::vector<int>{0}));
  FEngine.ReportProgress("c", 100);
  FEngine.ReportProgress("c", 100);
  EXPECT_EQ(FDelivered, (std::vector<int>{0, 100}));
  FClock.AdvanceTick(149);
  FEngine.ReportProgress("d", 5);
  FClock.AdvanceTick(1);
  FEngine.ReportProgress("d", 6);
  EXPECT_EQ(FDelivered, (std::vector<int>{0, 100, 6}));
}

TEST_F(BackupEngineParts, ProgressSpacingSurvivesTheTickWrappingAround) {
  RecordProgress();
  // The spacing is measured on 32-bit ticks, whose difference stays right across the wrap.
  FClock.AdvanceTick((uint64_t{1} << 32) - FClock.TickMs() - 50);
  FEngine.ReportProgress("a", 10);
  FClock.AdvanceTick(100);
  FEngine.ReportProgress("a", 20);
  FClock.AdvanceTick(60);
  FEngine.ReportProgress("a", 30);
  EXPECT_EQ(FDelivered, (std::vector<int>{10, 30}));
}

TEST_F(BackupEngineParts, NoHandlersNoDeliveries) {
  EXPECT_NO_THROW(FEngine.ReportProgress("a", 50));
  EXPECT_NO_THROW(FEngine.ReportComplete(true, "x"));
  std::vector<std::pair<bool, std::string>> completions;
  FEngine.SetOnComplete([&](bool success, const std::string& message) { completions.emplace_back(success, message); });
  FEngine.ReportComplete(false, "Hata: x");
  EXPECT_EQ(completions, (std::vector<std::pair<bool, std::string>>{{false, "Hata: x"}}));
}

struct TThrottleCase {
  const char* Name;
  int64_t Limit;
  bool Background;
  std::vector<std::pair<uint64_t, int64_t>> Transfers;  // time passing before the transfer, bytes
  uint64_t ExpectedSleepMs;
};

TEST_F(BackupEngineParts, ThrottleSleepsForTheLimitPerWindowAndForBackgroundMode) {
  const std::vector<TThrottleCase> cases = {
      {"no limit, foreground", 0, false, {{0, MiB}, {0, 5 * MiB}, {0, 1}}, 0},
      {"5 MiB archive entry at 1 MiB/s", MiB, false, {{0, 5 * MiB}}, 5000},
      {"ten 1 MiB blocks at 1 MiB/s",
       MiB,
       false,
       {{0, MiB}, {0, MiB}, {0, MiB}, {0, MiB}, {0, MiB}, {0, MiB}, {0, MiB}, {0, MiB}, {0, MiB}, {0, MiB}},
       10000},
      {"twenty 1 MiB blocks at 20 MiB/s", 20 * MiB, false, std::vector<std::pair<uint64_t, int64_t>>(20, {0, MiB}),
       1000},
      {"slow transfers are not held back", MiB, false, {{0, MiB / 2}, {600, MiB / 2}, {0, MiB / 2}}, 500 + 500},
      {"background mode only", 0, true, {{0, 1}, {0, MiB}, {0, 10 * MiB}}, 6},
      {"background mode on top of the limit", MiB, true, {{0, MiB}}, 1002},
      {"nothing transferred", MiB, true, {{0, 0}, {0, -5}}, 0},
  };
  for (const auto& c : cases) {
    TFakeClock clock;
    TEngineParts engine(FMain, clock);
    engine.SetSpeedLimitBytesPerSec(c.Limit);
    engine.SetBackgroundMode(c.Background);
    for (const auto& [passing, bytes] : c.Transfers) {
      clock.AdvanceTick(passing);
      engine.ThrottleTransfer(bytes);
    }
    EXPECT_EQ(clock.SleptMs(), c.ExpectedSleepMs) << c.Name;
  }
}

class BackupEngineCopy : public BackupEngineParts {
protected:
  TTempDir FDir;
  std::string P(const std::string& rel) const { return (FDir.Path() / rel).string(); }
};

TEST_F(BackupEngineCopy, TenMebibytesAtOneMebibytePerSecondTakeTenSeconds) {
  std::string content(10 * MiB, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 % 251);
  WriteFile(P("big.bin"), content);
  WriteFile(P("out.bin"), std::string(11 * MiB, 'x'));  // replaced, not merged
  FEngine.SetSpeedLimitBytesPerSec(MiB);
  FEngine.CopyFileThrottled(P("big.bin"), P("out.bin"));
  EXPECT_EQ(FClock.SleptMs(), 10000u);
  EXPECT_TRUE(ReadFile(P("out.bin")) == content);
}

TEST_F(BackupEngineCopy, BackgroundModePausesPerBlockAndUnlimitedNeverSleeps) {
  WriteFile(P("three.bin"), std::string(3 * MiB - 1, 'a'));
  FEngine.CopyFileThrottled(P("three.bin"), P("plain.bin"));
  EXPECT_EQ(FClock.SleptMs(), 0u);
  FEngine.SetBackgroundMode(true);
  FEngine.CopyFileThrottled(P("three.bin"), P("background.bin"));
  EXPECT_EQ(FClock.SleptMs(), 3u * 2u);
  WriteFile(P("empty"), "");
  FEngine.CopyFileThrottled(P("empty"), P("empty.copy"));
  EXPECT_EQ(ReadFile(P("empty.copy")), "");
  EXPECT_EQ(FClock.SleptMs(), 3u * 2u);
}

TEST_F(BackupEngineCopy, FilesThatLookEmptyUntilReadAreCopiedWhole) {
  FEngine.CopyFileThrottled("/proc/self/mountinfo", P("mountinfo"));
  EXPECT_NE(ReadFile(P("mountinfo")).find(" / "), std::string::npos);
}

TEST_F(BackupEngineCopy, CopyIsNoMoreReadableThanItsSource) {
  WriteFile(P("private.txt"), "secret");
  chmod(P("private.txt").c_str(), 0600);
  FEngine.CopyFileThrottled(P("private.txt"), P("copy.txt"));
  struct stat st {};
  ASSERT_EQ(stat(P("copy.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(BackupEngineCopy, ErrorsNameThePathAndLeaveNothingBehind) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {P("missing.txt"), P("out.txt")},
      {P("src.txt"), P("no/such/folder/out.txt")},
      {FDir.Path().string(), P("out2.txt")},
  };
  WriteFile(P("src.txt"), "x");
  for (const auto& [source, target] : cases) {
    try {
      FEngine.CopyFileThrottled(source, target);
      ADD_FAILURE() << "no error for " << source << " -> " << target;
    } catch (const EVelkorError& e) {
      const std::string text = e.what();
      EXPECT_TRUE(text.find(source) != std::string::npos || text.find(target) != std::string::npos) << text;
    }
    EXPECT_FALSE(fs::exists(target)) << target;
  }
}

TEST_F(BackupEngineCopy, CancelledCopyStopsBeforeTheNextBlock) {
  WriteFile(P("src.bin"), std::string(2 * MiB, 'a'));
  FEngine.CancelBackup();
  EXPECT_TRUE(FEngine.IsCancelled());
  EXPECT_FALSE(FEngine.WaitWhilePaused());
  EXPECT_NO_THROW(FEngine.CopyFileThrottled(P("src.bin"), P("dst.bin")));
  EXPECT_EQ(ReadFile(P("dst.bin")), "");
}

TEST_F(BackupEngineCopy, PauseWithoutARunHasNoEffect) {
  FEngine.PauseBackup();
  EXPECT_TRUE(FEngine.WaitWhilePaused());
  EXPECT_EQ(FClock.SleptMs(), 0u);
}

}  // namespace
}  // namespace velkor
