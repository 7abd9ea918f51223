// Runs on the engine's real worker thread, with the main thread pumped by the test. The clock is fake so that
// pauses and pacing cost no real time; waiting for the worker uses real time with a generous deadline.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <functional>

#include "engine/BackupEngine.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"
#include "util/FormatSettings.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::ReadTree;
using test::TFakeClock;
using test::TFileTree;
using test::TTempDir;
using test::WriteTree;

using TCompletion = std::pair<bool, std::string>;

class BackupRun : public ::testing::Test {
protected:
  TTempDir FDir;
  TQueuedMainThread FMain;
  TFakeClock FClock;
  std::vector<std::pair<std::string, int>> FProgress;
  std::vector<TCompletion> FCompletions;
  std::function<void()> FAfterProgress;
  std::function<void()> FAfterCompletion;
  // Declared last: destroyed first, while everything its handlers touch still exists.
  std::unique_ptr<TBackupEngine> FEngine = std::make_unique<TBackupEngine>(FMain, FClock);

  std::string P(const std::string& rel) const { return (FDir.Path() / rel).string(); }

  void SetUp() override {
    WriteTree(FDir.Path(), {{"src/Docs/a.txt", "a"},
                            {"src/Docs/c.txt", "ccc"},
                            {"src/Docs/sub/b.txt", "bb"},
                            {"src/Photos/p.jpg", "pppp"}});
    FEngine->SourceFolders() = {P("src/Docs"), P("src/Photos")};
    FEngine->SetDestinationFolder(P("dest/new"));
    FEngine->SetCompressBackup(false);
    FEngine->SetBackupNamePrefix("Günlük: Docs/Photos");
    FEngine->SetOnProgress([this](const std::string& fileName, int progress) {
      FProgress.emplace_back(fileName, progress);
      if (FAfterProgress) FAfterProgress();
    });
    FEngine->SetOnComplete([this](bool success, const std::string& message) {
      FCompletions.emplace_back(success, message);
      if (FAfterCompletion) FAfterCompletion();
    });
  }

  // Runs the main thread's hand-overs until `done` holds; false after 60 s of real time.
  bool PumpUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      if (FMain.WaitForWork(5)) FMain.ProcessPending();
    }
    return true;
  }
  bool PumpUntilCompletions(size_t count) {
    return PumpUntil([&] { return FCompletions.size() >= count; });
  }
  // True once the worker waits in a hand-over that nobody has run yet.
  bool WorkerWaitsInHandOver() { return FMain.WaitForWork(60000); }

  std::vector<std::string> DestinationEntries() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(P("dest/new"))) names.push_back(entry.path().filename());
    return names;
  }
};

TEST_F(BackupRun, FolderRunCopiesEverySourceAndCompletesOnceWithTheResults) {
  const std::string output = P("dest/new/Günlük_ Docs_Photos_2024-05-01_10-00-00");
  FAfterCompletion = [&] {
    EXPECT_TRUE(FEngine->IsRunning());
    EXPECT_EQ(FEngine->LastBackupFileCount(), 4);
    EXPECT_EQ(FEngine->LastBackupTotalSize(), 10);
    EXPECT_EQ(FEngine->LastBackupOutputPath(), output);
    EXPECT_EQ(FEngine->SuccessfulFiles(), (std::vector<std::string>{P("src/Docs/a.txt"), P("src/Docs/c.txt"),
                                                                    P("src/Docs/sub/b.txt"), P("src/Photos/p.jpg")}));
    EXPECT_TRUE(FEngine->FailedFiles().empty());
  };
  FEngine->StartBackup();
  ASSERT_TRUE(PumpUntilCompletions(1));
  ASSERT_TRUE(PumpUntil([&] { return !FEngine->IsRunning(); }));

  const std::string mb = "0" + UserFormatSettings().DecimalSeparator + "00";
  EXPECT_EQ(FCompletions, (std::vector<TCompletion>{{true, "4 dosya yedeklendi (" + mb + " MB) - " + output}}));
  EXPECT_EQ(
      ReadTree(output),
      (TFileTree{{"Docs/a.txt", "a"}, {"Docs/c.txt", "ccc"}, {"Docs/sub/b.txt", "bb"}, {"Photos/p.jpg", "pppp"}}));
  // 33 then 66 within the spacing (dropped), 100 at once, and Photos' 100 is no change.
  EXPECT_EQ(FProgress,
            (std::vector<std::pair<std::string, int>>{{P("src/Docs/a.txt"), 33}, {P("src/Docs/sub/b.txt"), 100}}));
  EXPECT_EQ(FEngine->LastBackupTime(), FClock.Now());
  EXPECT_EQ(FClock.SleptMs(), 0u);
}

TEST_F(BackupRun, OutcomesDecidedByTheSources) {
  struct TCase {
    const char* Name;
    std::vector<std::string> Sources;
    TBackupType Type;
    TCompletion Expected;
    std::vector<std::string> Left;  // what stays in the destination
  };
  fs::create_directories(P("src/Empty"));
  const std::vector<TCase> cases = {
      // A failed run leaves no output folder that could pass for a backup.
      {"no source folder listed", {}, btFull, {false, "Kopyalama sırasında hata oluştu"}, {}},
      {"nothing to take in an incremental run",
       {P("src/Empty")},
       btIncremental,
       {true, "Değişiklik bulunamadı. Yeni artımlı/fark yedeği oluşturulmadı."},
       {}},
  };
  for (const auto& c : cases) {
    fs::remove_all(P("dest"));
    FCompletions.clear();
    FEngine->SourceFolders() = c.Sources;
    FEngine->SetBackupType(c.Type);
    FEngine->StartBackup();
    ASSERT_TRUE(PumpUntilCompletions(1)) << c.Name;
    EXPECT_EQ(FCompletions, std::vector<TCompletion>{c.Expected}) << c.Name;
    EXPECT_EQ(DestinationEntries(), c.Left) << c.Name;
    EXPECT_TRUE(FEngine->LastBackupOutputPath().empty()) << c.Name;
  }
}

TEST_F(BackupRun, SecondStartIsRefusedAtOnceAndTheFirstRunStillCompletesOnce) {
  FEngine->StartBackup();
  ASSERT_TRUE(WorkerWaitsInHandOver());
  FEngine->StartBackup();
  EXPECT_EQ(FCompletions, (std::vector<TCompletion>{{false, "Yedekleme zaten devam ediyor!"}}));
  EXPECT_TRUE(FProgress.empty());
  EXPECT_TRUE(FEngine->IsRunning());

  ASSERT_TRUE(PumpUntilCompletions(2));
  EXPECT_TRUE(FCompletions[1].first) << FCompletions[1].second;
  EXPECT_FALSE(FEngine->IsRunning());
  FMain.WaitForWork(50);
  FMain.ProcessPending();
  EXPECT_EQ(FCompletions.size(), 2u);
}

TEST_F(BackupRun, PauseThenCancelEndsTheWaitWithinOnePollAndTheNextRunStartsFresh) {
  FAfterProgress = [&] {
    if (FProgress.size() == 1) FEngine->PauseBackup();
  };
  FEngine->StartBackup();
  ASSERT_TRUE(PumpUntil([&] { return FClock.SleptMs() > 0; }));  // the worker sits in its pause loop
  FEngine->CancelBackup();
  const uint64_t sleptAtCancel = FClock.SleptMs();
  ASSERT_TRUE(PumpUntilCompletions(1));
  EXPECT_LE(FClock.SleptMs() - sleptAtCancel, 100u);
  EXPECT_EQ(FCompletions, (std::vector<TCompletion>{{false, BackupCancelledMessage}}));
  EXPECT_TRUE(DestinationEntries().empty());  // the half-filled output folder is gone

  // Neither the pause nor the cancel carries over; a pause asked for between runs is ignored.
  FAfterProgress = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return !FEngine->IsRunning(); }));
  FEngine->PauseBackup();
  const uint64_t sleptBefore = FClock.SleptMs();
  FEngine->StartBackup();
  ASSERT_TRUE(PumpUntilCompletions(2));
  EXPECT_TRUE(FCompletions[1].first) << FCompletions[1].second;
  EXPECT_EQ(FClock.SleptMs(), sleptBefore);
}

TEST_F(BackupRun, PauseBeforeAnyRunDoesNothing) {
  FEngine->PauseBackup();
  FEngine->StartBackup();
  ASSERT_TRUE(PumpUntilCompletions(1));
  EXPECT_TRUE(FCompletions[0].first) << FCompletions[0].second;
  EXPECT_EQ(FClock.SleptMs(), 0u);
}

TEST_F(BackupRun, DestroyingTheEngineDuringARunCancelsItWithoutDeadlock) {
  for (const bool paused : {false, true}) {
    SCOPED_TRACE(paused ? "paused" : "waiting in a hand-over");
    FProgress.clear();
    FCompletions.clear();
    fs::remove_all(P("dest"));
    FEngine = std::make_unique<TBackupEngine>(FMain, FClock);
    SetUp();
    FAfterProgress = [&] {
      if (paused) FEngine->PauseBackup();
    };
    FEngine->StartBackup();
    if (paused)
      ASSERT_TRUE(PumpUntil([&] { return FClock.SleptMs() > 0; }));
    else
      ASSERT_TRUE(WorkerWaitsInHandOver());
    FEngine.reset();
    EXPECT_EQ(FProgress.size(), 1u);
    EXPECT_EQ(FCompletions, (std::vector<TCompletion>{{false, BackupCancelledMessage}}));
    EXPECT_TRUE(DestinationEntries().empty());
    FAfterProgress = nullptr;
  }
}

TEST_F(BackupRun, StartFromTheCompletionFollowUpIsNotRefused) {
  FAfterCompletion = [&] {
    if (FCompletions.size() == 1) {
      FClock.Advance(1000);
      FMain.Post([&] { FEngine->StartBackup(); });
    }
  };
  FEngine->StartBackup();
  ASSERT_TRUE(PumpUntilCompletions(2));
  EXPECT_TRUE(FCompletions[0].first) << FCompletions[0].second;
  EXPECT_TRUE(FCompletions[1].first) << FCompletions[1].second;
}

// Nice values of this process's threads other than the calling one.
std::vector<int> OtherThreadsNice() {
  std::vector<int> values;
  DIR* dir = opendir("/proc/self/task");
  if (!dir) return values;
  while (dirent* entry = readdir(dir)) {
    const int tid = std::atoi(entry->d_name);
    if (tid <= 0 || tid == gettid()) continue;
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    if (errno == 0) values.push_back(nice);
  }
  closedir(dir);
  return values;
}

TEST_F(BackupRun, BackgroundModeLowersTheWorkerAndPausesAfterEveryTransfer) {
  if (getpriority(PRIO_PROCESS, 0) >= 19) GTEST_SKIP() << "already at the lowest priority";
  FEngine->SetBackgroundMode(true);
  FEngine->StartBackup();
  ASSERT_TRUE(WorkerWaitsInHandOver());
  const std::vector<int> nice = OtherThreadsNice();
  EXPECT_NE(std::find(nice.begin(), nice.end(), 19), nice.end());
  EXPECT_LT(getpriority(PRIO_PROCESS, 0), 19);  // the main thread keeps its priority
  ASSERT_TRUE(PumpUntilCompletions(1));
  EXPECT_TRUE(FCompletions[0].first) << FCompletions[0].second;
  EXPECT_EQ(FClock.SleptMs(), 4u * 2u);
}

}  // namespace
}  // namespace velkor
