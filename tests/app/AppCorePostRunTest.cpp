// The steps after a run as the core orders them: the cloud step on a work thread of its own while the main thread
// goes on, its cancel, and the leases of the work that reads outputs outside a run (restore, verification).
#include <gtest/gtest.h>

#include <filesystem>

#include "AppCoreHarness.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

class AppCorePostRun : public test::AppCoreHarness {
protected:
  void SetUp() override { StartCore({.SchedulerActive = true}); }

  // Starts a manual run of `task` and pumps the main thread until the cloud step is holding.
  void RunIntoHeldCloudStep(TBackupTask& task) {
    FCloud.Hold = true;
    FClock.Advance(60000);
    ASSERT_TRUE(FCore->StartManualBackup(task));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!FCloud.Holding || FView.ProgressText.rfind("Cloud upload", 0) != 0) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the cloud step did not start";
      if (FMain.ProcessPending() == 0) FMain.WaitForWork(20);
    }
  }

  // A task whose sets are one full run each, kept one at a time.
  TBackupTask& AddKeepOneTask() {
    TBackupTask& task = AddTask("Tek");
    task.MaxBackupsToKeep = 1;
    return task;
  }
};

TEST_F(AppCorePostRun, TheCloudStepRunsOffTheMainThreadAndTheRestFollowsInOrder) {
  TBackupTask& task = AddTask("Karma");
  task.StorageMode = smHybrid;
  RunIntoHeldCloudStep(task);

  // The main thread is free (this test pumps it) while the run stays busy with its progress on show.
  EXPECT_TRUE(FCore->BackupBusy());
  EXPECT_TRUE(FCore->CloudStepRunning());
  EXPECT_FALSE(FCore->IsIdle());
  EXPECT_TRUE(History().empty()) << "the history entry waits for the cloud step";
  EXPECT_TRUE(FMail.Sent.empty());
  EXPECT_TRUE(task.BackupChain.empty());
  EXPECT_TRUE(FView.RunState.ActivityVisible);
  EXPECT_TRUE(FView.RunState.CancelButtonEnabled);
  EXPECT_FALSE(FView.RunState.PauseButtonEnabled) << "an upload cannot pause";
  EXPECT_EQ(FView.RunState.TrayStatusLine, "Durum: Cloud'a Yükleniyor");
  EXPECT_TRUE(StartsText("Velkor - Cloud upload", FView.RunState.TrayHint)) << FView.RunState.TrayHint;
  EXPECT_TRUE(StartsText("Cloud upload: ", FView.Status[0])) << FView.Status[0];
  // A second start meanwhile is refused like any start during a run.
  EXPECT_FALSE(FCore->StartManualBackup(task));

  FCloud.Hold = false;
  RunUntilIdle();
  const auto history = History();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_TRUE(history[0].Success) << history[0].Details;
  EXPECT_EQ(history[0].CloudStatus, "Tamamlandı");
  EXPECT_EQ(history[0].CloudOutputPath, FCloud.RemotePath);
  ASSERT_EQ(FMail.Sent.size(), 1u);
  EXPECT_EQ(FMail.Sent[0].CloudStatus, "Tamamlandı");
  ASSERT_EQ(task.BackupChain.size(), 1u);
  EXPECT_EQ(task.BackupChain[0]->MirrorOutputPath, FCloud.RemotePath);
  // The cloud step's own line comes before the outcome, which comes before the history entry.
  const int uploaded = FView.IndexOf("Cloud hedefe upload tamamlandı: " + FCloud.RemotePath);
  const int outcome = FView.IndexOf("✓ Tamamlandı: " + history[0].Details);
  ASSERT_GE(uploaded, 0);
  EXPECT_LT(uploaded, outcome);
  EXPECT_LT(outcome, FView.IndexOf("history:1"));
  EXPECT_EQ(FView.RunState, TRunUiState{});
  EXPECT_EQ(FView.ProgressText, "Hazır");
}

TEST_F(AppCorePostRun, CancelDuringTheCloudStepRecordsACancelledRunWithoutMailOrChain) {
  TBackupTask& task = AddTask("Bulut", {{"a.txt", "alfa"}});
  task.StorageMode = smCloud;
  RunIntoHeldCloudStep(task);

  FCore->CancelBackup();
  EXPECT_FALSE(FView.RunState.CancelButtonEnabled) << "the cancel waits for the step to stop";
  RunUntilIdle();
  const auto history = History();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_FALSE(history[0].Success);
  EXPECT_EQ(history[0].CloudStatus, "Başarısız");
  EXPECT_TRUE(EndsText(std::string(" | ") + CloudCopyCancelledMessage, history[0].Details)) << history[0].Details;
  EXPECT_TRUE(FView.Logged("! İptal: " + history[0].Details));
  EXPECT_TRUE(FMail.Sent.empty()) << "cancelled runs are not mailed";
  EXPECT_TRUE(task.BackupChain.empty());
  EXPECT_TRUE(FCore->IsIdle());
}

TEST_F(AppCorePostRun, ClosingDuringTheCloudStepStillRecordsTheRun) {
  TBackupTask& task = AddTask("Karma");
  task.StorageMode = smHybrid;
  RunIntoHeldCloudStep(task);

  FCore.reset();
  FView.HistoryCount = nullptr;
  const auto history = TConfigManager(ConfigDir(), FClock).LoadHistory();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_FALSE(history[0].Success);
  EXPECT_TRUE(EndsText(std::string(" | ") + CloudCopyCancelledMessage, history[0].Details)) << history[0].Details;
  EXPECT_TRUE(fs::exists(history[0].OutputPath)) << "the local output stays";
}

TEST_F(AppCorePostRun, ARestoreHoldsEveryRunUntilItEnds) {
  TBackupTask& task = AddTask("Belgeler");
  task.Schedule.SetEnabled(true);
  task.Schedule.FullSchedule().SetEnabled(true);
  task.Schedule.FullSchedule().SetIntervalHours(10);
  task.Schedule.FullSchedule().SetIntervalMinutes(5);
  FClock.SetNow(EncodeDateTime(2024, 5, 1, 10, 4, 0));
  FCore->Timer1Timer();

  std::unique_ptr<TAppCore::TOutputLease> restore = FCore->LeaseOutputs({"/yedek/cikti.zip"}, true);
  EXPECT_TRUE(FCore->RunsHeld());

  // A manual start is refused with a message; a due run waits in the queue.
  EXPECT_FALSE(FCore->StartManualBackup(task));
  ASSERT_FALSE(FPrompts.Messages.empty());
  EXPECT_EQ(FPrompts.Messages.back().first,
            "Geri yükleme sürerken yedekleme başlatılamaz. Geri yükleme bittikten sonra tekrar deneyin.");
  FClock.SetNow(EncodeDateTime(2024, 5, 1, 10, 5, 0));
  FCore->Timer1Timer();
  FCore->Timer1Timer();
  FMain.ProcessPending();
  EXPECT_FALSE(FCore->BackupBusy());
  EXPECT_EQ(FCore->QueueLength(), 1u);
  EXPECT_EQ(FView.Count("Geri yükleme sürüyor; bekleyen yedekleme geri yükleme bitince başlayacak."), 1);
  EXPECT_TRUE(History().empty());

  // The lease may end on the restore's own thread; the waiting run starts once the main thread hears of it.
  std::thread([&restore] { restore.reset(); }).join();
  RunUntilIdle();
  EXPECT_FALSE(FCore->RunsHeld());
  const auto history = History();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_TRUE(history[0].Success) << history[0].Details;
}

TEST_F(AppCorePostRun, RetentionLeavesASetBeingReadForALaterRun) {
  TBackupTask& task = AddKeepOneTask();
  RunManual(task, btFull);
  const std::string first = task.BackupChain.at(0)->OutputPath;

  // A verification reads the oldest set while the next run's retention would remove it.
  std::unique_ptr<TAppCore::TOutputLease> verify = FCore->LeaseOutputs({first}, false);
  EXPECT_FALSE(FCore->RunsHeld()) << "reading an output does not hold runs";
  RunManual(task, btFull);
  EXPECT_TRUE(fs::exists(first));
  EXPECT_EQ(task.BackupChain.size(), 2u);
  EXPECT_EQ(History().size(), 2u);
  EXPECT_EQ(FView.Count("Retention ertelendi: En eski yedek seti şu anda okunuyor (geri yükleme veya doğrulama); "
                        "bir sonraki yedeklemede temizlenecek."),
            1);

  verify.reset();
  FMain.ProcessPending();
  RunManual(task, btFull);
  EXPECT_FALSE(fs::exists(first));
  EXPECT_EQ(task.BackupChain.size(), 1u);
  EXPECT_EQ(History().size(), 1u);
}

}  // namespace
}  // namespace velkor
