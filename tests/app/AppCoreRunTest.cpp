// Whole runs through the application core: the real engine thread over real files, a pumped main-thread queue
// and a fake clock.
#include <gtest/gtest.h>

#include <filesystem>

#include "AppCoreHarness.h"
#include "app/HistoryList.h"
#include "app/Retention.h"
#include "platform/Leftovers.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::TFileTree;

TDateTime May1(int hour, int minute, int second = 0) { return EncodeDateTime(2024, 5, 1, hour, minute, second); }

std::vector<std::string> Strings(std::initializer_list<const char*> items) { return {items.begin(), items.end()}; }

bool HasPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  for (const std::string& line : lines)
    if (line.rfind(prefix, 0) == 0) return true;
  return false;
}

// Every case runs twice: with folder outputs and with ZIP archives.
class AppCoreRun : public test::AppCoreHarness, public ::testing::WithParamInterface<bool> {
protected:
  void SetUp() override {
    FCompress = GetParam();
    StartCore({.SchedulerActive = true});
  }

  TBackupChainItem& Item(TBackupTask& task, size_t index) { return *task.BackupChain.at(index); }
};

TEST_P(AppCoreRun, ScheduledRunFromTickToNextDispatch) {
  TBackupTask& docs = AddTask("Belgeler");
  docs.MaxBackupsToKeep = 3;
  docs.Schedule.SetEnabled(true);
  docs.Schedule.IncSchedule().SetEnabled(true);
  docs.Schedule.IncSchedule().SetIntervalHours(10);
  docs.Schedule.IncSchedule().SetIntervalMinutes(5);
  TBackupTask& photos = AddTask("Fotoğraflar", {{"tatil.jpg", "jpeg"}});
  photos.Schedule.SetEnabled(true);
  photos.Schedule.FullSchedule().SetEnabled(true);
  photos.Schedule.FullSchedule().SetIntervalHours(10);
  photos.Schedule.FullSchedule().SetIntervalMinutes(5);

  FClock.SetNow(May1(10, 4));
  FCore->Timer1Timer();
  EXPECT_FALSE(FCore->BackupBusy());

  FClock.SetNow(May1(10, 5));
  FCore->Timer1Timer();
  // Both fell due on one tick: the first in list order runs, the other waits.
  EXPECT_TRUE(FCore->BackupBusy());
  EXPECT_EQ(FCore->RunningTask(), &docs);
  EXPECT_EQ(FCore->QueueLength(), 1u);
  EXPECT_TRUE(FCore->IsRunQueuedOrRunning(&photos, 1));
  RunUntilIdle();

  EXPECT_TRUE(FView.Logged("Görev zamanı geldi (3): Belgeler"));
  EXPECT_TRUE(FView.Logged("Görev zamanı geldi (1): Fotoğraflar"));
  EXPECT_TRUE(FView.Logged("Yedekleme başlatılıyor: Belgeler (Tip: 3)"));
  EXPECT_TRUE(
      FView.Logged("Artımlı yedek istenmişti ancak geçerli bir tam yedek bulunamadı. Bu çalışma otomatik "
                   "olarak tam yedek olarak başlatıldı."));
  EXPECT_TRUE(FView.Logged("Depolama modu: Lokal Disk"));
  EXPECT_TRUE(FView.Logged("Lokal hedef: " + docs.DestinationFolder));

  // The second request was dispatched only after the first one's history entry had been written.
  std::vector<std::string> starts;
  for (const std::string& event : FView.Events)
    if (event.rfind("run-start:", 0) == 0) starts.push_back(event);
  EXPECT_EQ(starts, Strings({"run-start:0", "run-start:1"}));

  const auto history = History();
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[0].TaskName, "Belgeler");
  EXPECT_TRUE(history[0].Success) << history[0].Details;
  EXPECT_EQ(history[0].FileCount, 2);
  EXPECT_EQ(history[0].Files.size(), 2u);
  EXPECT_EQ(history[0].StorageModeText, "Lokal Disk");
  EXPECT_EQ(history[0].LocalOutputPath, history[0].OutputPath);
  EXPECT_EQ(history[1].TaskName, "Fotoğraflar");
  EXPECT_TRUE(FView.Logged("✓ Tamamlandı: " + history[0].Details));
  EXPECT_TRUE(FView.Logged("Lokal çıktı: " + history[0].OutputPath));

  // The run joined the chain as the first full backup of a new set.
  ASSERT_EQ(docs.BackupChain.size(), 1u);
  const TBackupChainItem& item = Item(docs, 0);
  EXPECT_EQ(item.RequestedType, btIncremental);
  EXPECT_EQ(item.EffectiveType, btFull);
  EXPECT_EQ(item.BackupId.size(), 36u);
  EXPECT_EQ(item.SetId, item.BackupId);
  EXPECT_EQ(item.BaseFullBackupId, item.BackupId);
  EXPECT_EQ(item.ParentBackupId, "");
  EXPECT_EQ(item.OutputPath, history[0].OutputPath);
  EXPECT_EQ(fs::is_regular_file(item.OutputPath), FCompress);
  EXPECT_EQ(fs::is_directory(item.OutputPath), !FCompress);
  EXPECT_TRUE(history[0].Verified);
  EXPECT_EQ(history[0].Checksum.size(), 64u);
  EXPECT_TRUE(FView.Logged("SHA-256 doğrulaması başarılı: " + history[0].Checksum));
  EXPECT_EQ(item.KnownFiles, Strings({"Belgeler/a.txt", "Belgeler/alt/b.txt"}));
  EXPECT_EQ(docs.LastSuccessfulBackupTime, item.BackupTime);
  EXPECT_EQ(docs.LastFullBackupTime, item.BackupTime);

  // Everything is on disk: the moved sub-schedule, the chain, the times.
  auto saved = SavedConfig();
  const TBackupTask& savedDocs = *saved->Tasks.at(1);
  ASSERT_EQ(savedDocs.Name, "Belgeler");
  EXPECT_NEAR(savedDocs.Schedule.IncSchedule().LastRun(), May1(10, 5), 1.0 / SecsPerDay);
  ASSERT_EQ(savedDocs.BackupChain.size(), 1u);
  EXPECT_EQ(savedDocs.BackupChain[0]->BackupId, item.BackupId);
  EXPECT_NEAR(savedDocs.LastSuccessfulBackupTime, item.BackupTime, 1.0 / SecsPerDay);

  EXPECT_EQ(FMail.Sent.size(), 2u);
  EXPECT_EQ(FCloud.Calls.size(), 0u) << "local tasks have no cloud step";
  EXPECT_EQ(FView.ProgressText, "Hazır");
  EXPECT_EQ(FView.ProgressPosition, 0);
  EXPECT_EQ(FView.RunState, TRunUiState{});
  EXPECT_FALSE(FCore->BackupBusy());
  EXPECT_EQ(FCore->RunningTask(), nullptr);

  // Both sub-schedules moved on: the next tick queues nothing.
  FClock.SetNow(May1(10, 6));
  FCore->Timer1Timer();
  EXPECT_TRUE(FCore->IsIdle());
  EXPECT_EQ(History().size(), 2u);
}

TEST_P(AppCoreRun, ChainPlanningAlongOneSet) {
  TBackupTask& task = AddTask("Proje");
  TBackupEngine& engine = *FCore->BackupEngine();

  RunManual(task, btFull);
  ASSERT_EQ(task.BackupChain.size(), 1u);
  const TBackupChainItem full = Item(task, 0);
  EXPECT_EQ(engine.BackupType(), btFull);
  EXPECT_EQ(engine.ReferenceBackupTime(), 0);
  EXPECT_EQ(engine.ReferenceFullBackupTime(), 0);
  EXPECT_TRUE(engine.ReferenceFileNames().empty());

  // Differential after full: compared with the full backup, joins its set.
  test::WriteFile(fs::path(task.SourceFolders[0]) / "c.txt", "yeni");
  RunManual(task, btDifferential);
  ASSERT_EQ(task.BackupChain.size(), 2u);
  const TBackupChainItem diff = Item(task, 1);
  EXPECT_EQ(engine.BackupType(), btDifferential);
  EXPECT_EQ(engine.ReferenceBackupTime(), 0);
  EXPECT_EQ(engine.ReferenceFullBackupTime(), full.BackupTime);
  EXPECT_EQ(std::vector<std::string>(engine.ReferenceFileNames().begin(), engine.ReferenceFileNames().end()),
            full.KnownFiles);
  EXPECT_EQ(diff.RequestedType, btDifferential);
  EXPECT_EQ(diff.EffectiveType, btDifferential);
  EXPECT_EQ(diff.SetId, full.SetId);
  EXPECT_EQ(diff.BaseFullBackupId, full.BackupId);
  EXPECT_EQ(diff.ParentBackupId, full.BackupId);
  EXPECT_EQ(diff.KnownFiles, Strings({"Proje/a.txt", "Proje/alt/b.txt", "Proje/c.txt"}));

  // Incremental: the parent is the newest backup of the set, whatever its type.
  RunManual(task, btIncremental);
  const TBackupChainItem inc1 = Item(task, 2);
  EXPECT_EQ(inc1.ParentBackupId, diff.BackupId);
  EXPECT_EQ(inc1.SetId, full.SetId);
  EXPECT_EQ(inc1.BaseFullBackupId, full.BackupId);
  EXPECT_EQ(engine.ReferenceBackupTime(), diff.BackupTime);
  EXPECT_EQ(engine.ReferenceFullBackupTime(), full.BackupTime);
  EXPECT_EQ(std::vector<std::string>(engine.ReferenceFileNames().begin(), engine.ReferenceFileNames().end()),
            diff.KnownFiles);
  RunManual(task, btIncremental);
  EXPECT_EQ(Item(task, 3).ParentBackupId, inc1.BackupId);
  EXPECT_EQ(engine.ReferenceBackupTime(), inc1.BackupTime);
  EXPECT_EQ(task.LastFullBackupTime, full.BackupTime);
  EXPECT_EQ(task.LastSuccessfulBackupTime, Item(task, 3).BackupTime);

  // The newest full backup deleted by hand: a differential falls back on the previous one...
  RunManual(task, btFull);
  const TBackupChainItem full2 = Item(task, 4);
  fs::remove_all(full2.OutputPath);
  RunManual(task, btDifferential);
  EXPECT_EQ(engine.ReferenceFullBackupTime(), full.BackupTime);
  EXPECT_EQ(task.BackupChain.back()->BaseFullBackupId, full.BackupId);
  for (const auto& item : task.BackupChain) EXPECT_NE(item->BackupId, full2.BackupId) << "pruned";

  // ...and without any full backup it becomes a full one, saying so.
  fs::remove_all(full.OutputPath);
  RunManual(task, btDifferential);
  EXPECT_TRUE(
      FView.Logged("Fark yedek istenmişti ancak geçerli bir tam yedek bulunamadı. Bu çalışma otomatik olarak "
                   "tam yedek olarak başlatıldı."));
  const TBackupChainItem& fallback = *task.BackupChain.back();
  EXPECT_EQ(fallback.RequestedType, btDifferential);
  EXPECT_EQ(fallback.EffectiveType, btFull);
  EXPECT_EQ(fallback.SetId, fallback.BackupId);
  EXPECT_EQ(FCore->RequestedBackupType(), btFull) << "the plan is reset after the run";
  EXPECT_EQ(FCore->PlannedBackupSetId(), "");
}

TEST_P(AppCoreRun, NoChangeIsASuccessWithoutChainItem) {
  TBackupTask& task = AddTask("Boş", {});
  task.StorageMode = smHybrid;
  task.BackupType = btIncremental;

  RunManual(task, btFull);
  ASSERT_EQ(task.BackupChain.size(), 1u);
  EXPECT_EQ(task.BackupChain[0]->MirrorOutputPath, FCloud.RemotePath) << "the cloud step's path is the mirror";
  EXPECT_TRUE(FView.Logged("Cloud çıktı: " + FCloud.RemotePath));
  const size_t cloudCalls = FCloud.Calls.size();

  RunManual(task);
  const auto history = History();
  ASSERT_EQ(history.size(), 2u);
  const TBackupHistoryItem& entry = history[1];
  EXPECT_TRUE(entry.Success);
  EXPECT_TRUE(StartsText("Değişiklik bulunamadı", entry.Details)) << entry.Details;
  EXPECT_EQ(entry.OutputPath, "");
  EXPECT_EQ(entry.LocalOutputPath, "");
  EXPECT_EQ(entry.Checksum, "");
  EXPECT_EQ(entry.CloudStatus, "Atlandı");
  EXPECT_EQ(task.BackupChain.size(), 1u);
  EXPECT_EQ(FCloud.Calls.size(), cloudCalls) << "nothing to copy";
  EXPECT_TRUE(FView.Logged("ℹ Bilgi: " + entry.Details));
  EXPECT_TRUE(FView.Logged("Cloud durumu: Atlandı"));
  ASSERT_FALSE(FView.Balloons.empty());
  EXPECT_EQ(FView.Balloons.back(), std::make_pair(std::string("Yedekleme Bilgisi"),
                                                  std::string("Bu çalışmada yeni veya değişen dosya bulunmadı.")));
  ASSERT_EQ(FMail.Sent.size(), 2u);
  EXPECT_TRUE(FMail.Sent[1].Success);
}

TEST_P(AppCoreRun, FailedCloudCopyFailsTheRunButKeepsTheLocalOutput) {
  TBackupTask& task = AddTask("Karma");
  task.StorageMode = smHybrid;
  FCloud.Fail = true;

  RunManual(task);
  const auto history = History();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_FALSE(history[0].Success);
  EXPECT_EQ(history[0].CloudStatus, "Başarısız");
  EXPECT_TRUE(EndsText(" | Cloud upload tamamlanamadı.", history[0].Details));
  EXPECT_TRUE(fs::exists(history[0].OutputPath));
  EXPECT_TRUE(task.BackupChain.empty());
  EXPECT_TRUE(FView.Logged("✗ Hata: " + history[0].Details));
  EXPECT_TRUE(FView.Logged("Cloud sağlayıcı: Cloud"));
  EXPECT_TRUE(FView.Logged("Cloud hedef: " + task.CloudDestinationFolder));
}

TEST_P(AppCoreRun, RetentionKeepsTwoSetsOfFullRuns) {
  TBackupTask& task = AddTask("Arşiv");
  task.MaxBackupsToKeep = 2;
  RunManual(task, btFull);
  RunManual(task, btFull);
  const std::string oldest = Item(task, 0).OutputPath;
  const std::string second = Item(task, 1).OutputPath;
  EXPECT_EQ(FView.Count("Retention uygulandı: En eski yedek seti temizlendi."), 0);

  FClock.Advance(60000);
  const TDateTime cleanup = FClock.Now();
  ASSERT_TRUE(FCore->StartManualBackup(task, btFull));
  RunUntilIdle();

  EXPECT_FALSE(fs::exists(oldest));
  EXPECT_TRUE(fs::exists(second));
  ASSERT_EQ(task.BackupChain.size(), 2u);
  EXPECT_EQ(Item(task, 0).OutputPath, second);
  EXPECT_EQ(FView.Count("Retention uygulandı: En eski yedek seti temizlendi."), 1);
  EXPECT_NEAR(task.LastRetentionCleanupTime, cleanup, 1.0 / SecsPerDay);
  const auto history = History();
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[0].OutputPath, second);
  EXPECT_EQ(SavedConfig()->Tasks.at(1)->BackupChain.size(), 2u);
}

TEST_P(AppCoreRun, RetentionRemovesAWholeSetAtOnce) {
  TBackupTask& task = AddTask("Set");
  task.MaxBackupsToKeep = 1;
  RunManual(task, btFull);
  RunManual(task, btIncremental);
  RunManual(task, btIncremental);
  ASSERT_EQ(task.BackupChain.size(), 3u) << "incrementals join the full run's set";
  std::vector<std::string> firstSet;
  for (const auto& item : task.BackupChain) firstSet.push_back(item->OutputPath);
  for (const std::string& path : firstSet) EXPECT_TRUE(fs::exists(path));
  EXPECT_EQ(FView.Count("Retention uygulandı: En eski yedek seti temizlendi."), 0);

  RunManual(task, btFull);
  for (const std::string& path : firstSet) EXPECT_FALSE(fs::exists(path)) << path;
  ASSERT_EQ(task.BackupChain.size(), 1u);
  EXPECT_EQ(Item(task, 0).EffectiveType, btFull);
  EXPECT_EQ(FView.Count("Retention uygulandı: En eski yedek seti temizlendi."), 1);
  const auto history = History();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].OutputPath, Item(task, 0).OutputPath);
}

// Whatever moment a removal is cut short at, no history entry or chain item may name a half-deleted output: by the
// time the shortened chain is saved, the history has let go of the old set and its whole output has left its name
// for a locked work entry beside it; nothing has been deleted yet.
TEST_P(AppCoreRun, RetentionTakesASetOutOfViewBeforeDeletingIt) {
  TBackupTask& task = AddTask("Sıra", {{"a.txt", "alfa"}, {"alt/b.txt", "beta"}, {"alt/c.txt", "gama"}});
  RunManual(task, btFull);
  RunManual(task, btFull);
  const fs::path oldest = Item(task, 0).OutputPath;
  const fs::path kept = Item(task, 1).OutputPath;
  const fs::path destination = task.DestinationFolder;
  auto content = [](const fs::path& path) {
    return fs::is_directory(path) ? test::ReadTree(path) : TFileTree{{"", test::ReadFile(path)}};
  };
  auto workEntries = [&] {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(destination))
      if (IsWorkEntryName(entry.path().filename().string())) found.push_back(entry.path());
    return found;
  };
  const TFileTree whole = content(oldest);
  task.MaxBackupsToKeep = 1;

  bool saved = false;
  ApplyRetention(
      &task, *FCore->ConfigManager(), FClock, [](const std::string&) {},
      [&] {
        saved = true;
        EXPECT_FALSE(fs::exists(oldest));
        for (const auto& entry : History()) EXPECT_NE(entry.OutputPath, oldest.string());
        EXPECT_EQ(task.BackupChain.size(), 1u);
        const std::vector<fs::path> work = workEntries();
        ASSERT_EQ(work.size(), 1u);
        EXPECT_EQ(content(work[0]), whole);
        EXPECT_TRUE(RemoveAbandonedWork(destination, IsWorkEntryName).empty()) << "held while it waits";
      });
  EXPECT_TRUE(saved);
  EXPECT_TRUE(workEntries().empty());
  EXPECT_TRUE(fs::exists(kept));
  ASSERT_EQ(History().size(), 1u);
  EXPECT_EQ(History()[0].OutputPath, kept.string());
}

TEST_P(AppCoreRun, RetentionOfASetWhoseFullBackupVanished) {
  TBackupTask& task = AddTask("Kayıp");
  task.MaxBackupsToKeep = 1;
  RunManual(task, btFull);
  RunManual(task, btIncremental);
  const std::string full = Item(task, 0).OutputPath;
  const std::string incremental = Item(task, 1).OutputPath;
  fs::remove_all(full);

  RunManual(task, btFull);
  // The remaining incremental still made a set of its own age, and went with it.
  EXPECT_FALSE(fs::exists(incremental));
  ASSERT_EQ(task.BackupChain.size(), 1u);
  EXPECT_EQ(FView.Count("Retention uygulandı: En eski yedek seti temizlendi."), 1);
  const auto history = History();
  ASSERT_EQ(history.size(), 2u) << "the vanished full run's entry stays; the deleted incremental's goes";
  EXPECT_EQ(history[0].OutputPath, full);
}

TEST_P(AppCoreRun, RetentionGoesOnPastAnOutputThatCannotBeDeleted) {
  TBackupTask& task = AddTask("Kilitli");
  task.MaxBackupsToKeep = 1;
  RunManual(task, btFull);
  // An output the system refuses to delete, whoever asks (tests may run as root, who may delete anything else).
  const std::string locked = "/proc/version";
  Item(task, 0).OutputPath = locked;
  TBackupHistoryItem lockedEntry = History().at(0);
  lockedEntry.OutputPath = locked;
  FCore->ConfigManager()->AddHistoryItem(lockedEntry);

  RunManual(task, btFull);
  EXPECT_TRUE(HasPrefix(FView.LogLines, "Retention silme uyarısı: ")) << "no warning logged";
  EXPECT_TRUE(fs::exists(locked));
  ASSERT_EQ(task.BackupChain.size(), 1u);
  EXPECT_NE(Item(task, 0).OutputPath, locked);
  EXPECT_EQ(FView.Count("Retention uygulandı: En eski yedek seti temizlendi."), 1);
  for (const auto& entry : History()) EXPECT_NE(entry.OutputPath, locked);
}

TEST_P(AppCoreRun, RetentionNeverDeletesWhatHoldsTheSources) {
  TBackupTask& task = AddTask("Korunan");
  task.MaxBackupsToKeep = 1;
  RunManual(task, btFull);
  // A damaged chain that names the folder above the sources as an output.
  const std::string sourceParent = fs::path(task.SourceFolders[0]).parent_path().string();
  Item(task, 0).OutputPath = sourceParent;

  RunManual(task, btFull);
  EXPECT_TRUE(HasPrefix(FView.LogLines, "Retention silme uyarısı: Kaynak klasörü içeren yol silinmez: "));
  EXPECT_TRUE(fs::exists(fs::path(task.SourceFolders[0]) / "a.txt"));
  EXPECT_EQ(task.BackupChain.size(), 1u);
}

// A second source on a drive that was unplugged since the last runs: the run is a failed entry that names the
// folder, adds no chain item and leaves retention alone, so the sets that hold that source's files stay.
TEST_P(AppCoreRun, AMissingSourceFailsTheRunAndRetentionKeepsTheEarlierSets) {
  TBackupTask& task = AddTask("Sürücü");
  const fs::path unplugged = FDir / "usb" / "Photos";
  test::WriteFile(unplugged / "p.jpg", "pppp");
  task.SourceFolders.push_back(unplugged.string());
  task.MaxBackupsToKeep = 2;
  RunManual(task, btFull);
  RunManual(task, btFull);
  ASSERT_EQ(task.BackupChain.size(), 2u);
  const std::vector<std::string> sets = {Item(task, 0).OutputPath, Item(task, 1).OutputPath};
  const TDateTime lastSuccess = task.LastSuccessfulBackupTime;

  fs::remove_all(FDir / "usb");
  RunManual(task, btFull);
  const auto history = History();
  ASSERT_EQ(history.size(), 3u);
  const TBackupHistoryItem& entry = history[2];
  EXPECT_FALSE(entry.Success);
  const std::string message =
      "Yedekleme hatası: kaynak klasör bulunamadı: " + unplugged.string() + ". Eksik kaynakla yedek oluşturulmadı.";
  EXPECT_EQ(entry.Details, message);
  EXPECT_EQ(entry.OutputPath, "");
  std::vector<std::pair<std::string, bool>> files;
  for (const auto& file : entry.Files) files.emplace_back(file.FileName, file.Success);
  const fs::path source = task.SourceFolders[0];
  EXPECT_EQ(files,
            (std::vector<std::pair<std::string, bool>>{{(source / "a.txt").string(), true},
                                                       {(source / "alt/b.txt").string(), true},
                                                       {unplugged.string() + " (Kaynak klasör bulunamadı)", false}}));
  EXPECT_TRUE(FView.Logged("✗ Hata: " + message));
  const auto rows = HistoryListRows(FCore->ConfigManager()->LoadHistorySummary());
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2].Cells[HistoryStatusColumn], "Hatalı");
  EXPECT_EQ(rows[2].Color, (TRgbColor{0xFF, 0x00, 0x00}));
  EXPECT_EQ(rows[2].Picture, hpError);

  ASSERT_EQ(task.BackupChain.size(), 2u);
  EXPECT_EQ(Item(task, 0).OutputPath, sets[0]);
  EXPECT_EQ(Item(task, 1).OutputPath, sets[1]);
  for (const std::string& set : sets) EXPECT_TRUE(fs::exists(set)) << set;
  EXPECT_EQ(FView.Count("Retention uygulandı: En eski yedek seti temizlendi."), 0);
  EXPECT_EQ(task.LastSuccessfulBackupTime, lastSuccess);
  std::vector<fs::path> destination;
  for (const auto& e : fs::directory_iterator(task.DestinationFolder)) destination.push_back(e.path());
  EXPECT_EQ(destination.size(), 2u) << "nothing new beside the two sets";
}

TEST_P(AppCoreRun, CancelEmptiesTheQueueAndOnlyTheRunningBackupCompletes) {
  TBackupTask& running = AddTask("Uzun", {{"1.txt", "1"}, {"2.txt", "2"}, {"3.txt", "3"}});
  TBackupTask& b = AddTask("B");
  TBackupTask& c = AddTask("C");
  TBackupTask& d = AddTask("D");

  // The main thread is not pumped, so the worker waits at its first progress report.
  ASSERT_TRUE(FCore->StartManualBackup(running));
  for (TBackupTask* task : {&b, &c, &d}) ASSERT_TRUE(FCore->StartManualBackup(*task));
  EXPECT_EQ(FCore->QueueLength(), 3u);

  FPrompts.YesNoAnswers = {false, true};
  FCore->CancelBackupClick();
  EXPECT_EQ(FCore->QueueLength(), 3u) << "answered Hayır";
  FCore->CancelBackupClick();
  EXPECT_EQ(FPrompts.Questions,
            std::vector<std::string>(2, "Devam eden yedekleme işlemini iptal etmek istediğinizden emin misiniz?"));
  EXPECT_EQ(FCore->QueueLength(), 0u);
  EXPECT_TRUE(FView.Logged("Yedekleme zaten devam ediyor, bekleniyor..."));
  EXPECT_TRUE(FView.Logged("Bekleyen yedekleme kuyruğu temizlendi."));
  EXPECT_TRUE(FView.Logged("Yedekleme için iptal isteği gönderildi."));
  EXPECT_EQ(FView.ProgressText, "İptal işlemi bekleniyor...");
  EXPECT_FALSE(FView.RunState.CancelButtonEnabled);
  EXPECT_TRUE(FView.RunState.TrayCancelEnabled);

  RunUntilIdle();
  const auto history = History();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].TaskName, "Uzun");
  EXPECT_FALSE(history[0].Success);
  EXPECT_TRUE(FView.Logged("! İptal: " + history[0].Details));
  EXPECT_NE(PosText("iptal edildi", history[0].Details), std::string::npos);
  EXPECT_TRUE(FMail.Sent.empty()) << "no mail for a cancelled run";
  EXPECT_TRUE(running.BackupChain.empty());
  for (const char* name : {"B", "C", "D"})
    EXPECT_FALSE(FView.Logged(std::string("Yedekleme başlatılıyor: ") + name + " (Tip: 0)"));
  EXPECT_TRUE(FView.RunState.CancelButtonEnabled == false && FView.RunState.StartEnabled);

  FCore->CancelBackupClick();
  EXPECT_EQ(FPrompts.Messages.back().first, "Şu anda iptal edilecek aktif bir yedekleme yok.");
}

TEST_P(AppCoreRun, DisabledTaskIsRejectedWithAFailedEntryOfItsOwn) {
  TBackupTask& good = AddTask("Çalışan");
  RunManual(good);
  TBackupTask& disabled = AddTask("Kapalı");
  disabled.Enabled = false;

  FClock.Advance(60000);
  ASSERT_TRUE(FCore->StartManualBackup(disabled)) << "the editor's validation does not look at the switch";
  ASSERT_TRUE(FCore->StartManualBackup(good)) << "the rejected request freed the dispatcher";
  RunUntilIdle();

  const auto history = History();
  ASSERT_EQ(history.size(), 3u);
  const TBackupHistoryItem& rejected = history[1];
  EXPECT_EQ(rejected.TaskName, "Kapalı");
  EXPECT_FALSE(rejected.Success);
  EXPECT_EQ(rejected.Details, "Görev artık aktif değil veya geçersiz.");
  // Not the earlier run's results.
  EXPECT_EQ(rejected.OutputPath, "");
  EXPECT_EQ(rejected.Checksum, "");
  EXPECT_FALSE(rejected.Verified);
  EXPECT_EQ(rejected.FileCount, 0);
  EXPECT_EQ(rejected.TotalSize, 0);
  EXPECT_TRUE(rejected.Files.empty());
  ASSERT_EQ(FMail.Sent.size(), 3u);
  EXPECT_EQ(FMail.Sent[1].BackupName, "Kapalı");
  EXPECT_EQ(FMail.Sent[1].BackupTypeText, "Tam");
  EXPECT_TRUE(FView.Logged("✗ Hata: Görev artık aktif değil veya geçersiz."));
  EXPECT_TRUE(history[2].Success);
  EXPECT_TRUE(disabled.BackupChain.empty());
}

TEST_P(AppCoreRun, IncompleteTasksAreRejectedAtDispatch) {
  struct TCase {
    const char* Name;
    std::function<void(TBackupTask&)> Break;
    const char* Message;
  };
  const TCase cases[] = {
      {"Kaynaksız", [](TBackupTask& t) { t.SourceFolders.clear(); },
       "Görev yapılandırması eksik. Kaynak klasör kontrol edilmeli."},
      {"Hedefsiz", [](TBackupTask& t) { t.DestinationFolder = "  "; },
       "Görev yapılandırması eksik. Lokal hedef klasör kontrol edilmeli."},
      {"Bulutsuz",
       [](TBackupTask& t) {
         t.StorageMode = smCloud;
         t.DestinationFolder.clear();
         t.CloudDestinationFolder = " ";
       },
       "Görev yapılandırması eksik. Cloud endpoint/bucket/yol bilgisi kontrol edilmeli."},
  };
  for (const TCase& c : cases) {
    TBackupTask& task = AddTask(c.Name);
    c.Break(task);
    RunManual(task);
    EXPECT_EQ(History().back().Details, c.Message) << c.Name;
    EXPECT_FALSE(History().back().Success) << c.Name;
  }
}

TEST_P(AppCoreRun, EncryptionPasswordAtDispatch) {
  TBackupTask& task = AddTask("Gizli");
  task.EncryptBackup = true;
  task.Schedule.SetEnabled(true);
  task.Schedule.FullSchedule().SetEnabled(true);
  task.Schedule.FullSchedule().SetIntervalHours(10);
  task.Schedule.FullSchedule().SetIntervalMinutes(30);
  const std::string scheduledMessage =
      "Zamanlanmış şifreli yedekleme için kayıtlı şifreleme parolası bulunamadı. Lütfen Ayarlar bölümünden parolayı "
      "kaydedin.";

  // A scheduled run never asks; it fails, and its sub-schedule has moved on all the same.
  FClock.SetNow(May1(10, 30));
  FCore->Timer1Timer();
  RunUntilIdle();
  EXPECT_TRUE(FPrompts.PasswordPrompts.empty());
  ASSERT_EQ(History().size(), 1u);
  EXPECT_EQ(History()[0].Details, scheduledMessage);
  EXPECT_NEAR(task.Schedule.FullSchedule().LastRun(), May1(10, 30), 1.0 / SecsPerDay);
  EXPECT_NEAR(task.Schedule.FullSchedule().NextRun(), EncodeDateTime(2024, 5, 2, 10, 30, 0), 1.0 / SecsPerDay);
  EXPECT_NEAR(SavedConfig()->Tasks.at(1)->Schedule.FullSchedule().LastRun(), May1(10, 30), 1.0 / SecsPerDay);
  FClock.SetNow(May1(10, 31));
  FCore->Timer1Timer();
  EXPECT_EQ(History().size(), 1u) << "not refused again every minute";

  // A manual run with no one to answer fails without asking, and says what would make it work.
  FPrompts.Interactive = false;
  RunManual(task);
  EXPECT_EQ(History().back().Details,
            "Şifreli yedekleme için kayıtlı şifreleme parolası bulunamadı ve parolayı soracak bir terminal yok. "
            "Yedeklemeyi bir terminalden başlatıp parolayı girin ya da Ayarlar bölümünden parolayı kaydedin.");
  EXPECT_FALSE(History().back().Success);
  EXPECT_TRUE(FPrompts.PasswordPrompts.empty());

  // A manual run asks; cancelling counts as a cancelled run (no mail).
  FPrompts.Interactive = true;
  const size_t mails = FMail.Sent.size();
  RunManual(task);
  ASSERT_EQ(FPrompts.PasswordPrompts.size(), 1u);
  EXPECT_EQ(
      FPrompts.PasswordPrompts[0],
      Strings({"Şifreleme Gerekli", "'Gizli' görevi için yeni şifreleme parolasını girin:", "Parolayı tekrar girin:"}));
  EXPECT_EQ(History().back().Details, "Şifreleme parolası girilmediği için işlem iptal edildi.");
  EXPECT_TRUE(FView.Logged("! İptal: Şifreleme parolası girilmediği için işlem iptal edildi."));
  EXPECT_EQ(FMail.Sent.size(), mails);

  // Answered: the run goes on, and the password is remembered for scheduled runs.
  FPrompts.Passwords = {std::string("gizli parola")};
  RunManual(task);
  EXPECT_TRUE(History().back().Success) << History().back().Details;
  EXPECT_EQ(FCore->EncryptionManager()->GetPassword(), "gizli parola");
  EXPECT_EQ(TEncryptionManager(RegistryFile()).LoadPasswordFromRegistry(), "gizli parola");
  RunManual(task);
  EXPECT_EQ(FPrompts.PasswordPrompts.size(), 2u) << "asked once only";
}

TEST_P(AppCoreRun, ManualStartRefusals) {
  TBackupTask& task = AddTask("Tek");
  FCore->StartBackupClick();
  EXPECT_TRUE(FView.Logged("Hata: Seçili görev yok!"));
  ASSERT_EQ(FPrompts.Messages.size(), 1u);
  EXPECT_EQ(FPrompts.Messages[0], std::make_pair(std::string("Lütfen önce bir görev seçin!"), amWarning));

  FCore->SetCurrentTask(&task);
  FCore->StartBackupClick();
  EXPECT_FALSE(FCore->StartManualBackup(task)) << "already running";
  EXPECT_EQ(FPrompts.Messages.back().first, "Seçili görev zaten çalışıyor veya kuyrukta bekliyor.");
  EXPECT_EQ(FCore->QueueLength(), 0u);
  RunUntilIdle();
  EXPECT_TRUE(FView.Logged("Bu görev zaten çalışıyor veya kuyrukta bekliyor."));
  EXPECT_EQ(History().size(), 1u);
  for (const char* line :
       {"=== BASLAT BUTONU TIKLANDI ===", "Görev seçili: Tek", "Validasyon başarılı.",
        "Manuel yedekleme başlatılıyor: Tek", "Görev kuyruğa eklendi, ProcessQueue çağrılıyor...",
        "BackupEngine.StartBackup çağrılıyor...", "StartBackup çağrıldı, thread başlatıldı.", "ProcessQueue çağrıldı."})
    EXPECT_TRUE(FView.Logged(line)) << line;
}

TEST_P(AppCoreRun, PauseShowsInButtonsAndTray) {
  TBackupTask& task = AddTask("Duraklat", {{"1.txt", "1"}, {"2.txt", "2"}});
  ASSERT_TRUE(FCore->StartManualBackup(task));
  EXPECT_EQ(FView.RunState.TrayStatusLine, "Durum: Yedekleme Çalışıyor");
  EXPECT_TRUE(FView.RunState.ActivityVisible);
  EXPECT_FALSE(FView.RunState.StartEnabled);

  FCore->TogglePause();
  EXPECT_TRUE(FCore->BackupPaused());
  EXPECT_EQ(FView.RunState.PauseCaption, "Devam Et");
  EXPECT_EQ(FView.RunState.TrayStatusLine, "Durum: Duraklatıldı");
  EXPECT_EQ(FView.RunState.TrayHint, "Velkor - Duraklatıldı");
  EXPECT_EQ(FView.ProgressText, "Yedekleme duraklatıldı.");
  EXPECT_TRUE(FView.Logged("Yedekleme duraklatıldı.")) << "flushed at once";

  FCore->TogglePause();
  EXPECT_EQ(FView.RunState.PauseCaption, "Duraklat");
  EXPECT_EQ(FView.RunState.TrayHint, "Velkor - Yedekleme çalışıyor");
  EXPECT_TRUE(FView.Logged("Yedekleme devam ettirildi."));
  RunUntilIdle();
  EXPECT_TRUE(History().at(0).Success) << "a paused run that was resumed finishes";
  EXPECT_EQ(FView.RunState, TRunUiState{}) << "the end of the run resets the caption";
}

TEST_P(AppCoreRun, ClosingDuringARunRecordsItsCancellation) {
  TBackupTask& task = AddTask("Kapanış", {{"1.txt", "1"}, {"2.txt", "2"}});
  ASSERT_TRUE(FCore->StartManualBackup(task));
  FCore.reset();

  TConfigManager manager(ConfigDir(), FClock);
  const auto history = manager.LoadHistory();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_FALSE(history[0].Success);
  EXPECT_NE(PosText("iptal edildi", history[0].Details), std::string::npos);
  EXPECT_TRUE(FView.Logged("! İptal: " + history[0].Details)) << "shown before the log went away";
  // The posted dispatch of the completion found the core gone.
  FMain.ProcessPending();
}

TEST_P(AppCoreRun, LogLinesWaitForABatchOfTwentyDuringARun) {
  TBackupTask& task = AddTask("Günlük", {{"1.txt", "1"}, {"2.txt", "2"}});
  ASSERT_TRUE(FCore->StartManualBackup(task));
  const size_t shown = FView.LogLines.size();
  const size_t pending = FCore->PendingLogCount();
  ASSERT_LT(pending, 19u);

  for (size_t i = pending; i < 19; ++i) FCore->AddLog("satır " + std::to_string(i));
  EXPECT_EQ(FView.LogLines.size(), shown) << "the 19th line is not shown yet";
  FCore->AddLog("yirminci");
  EXPECT_EQ(FView.LogLines.size(), shown + 20);
  EXPECT_EQ(FView.LogBatches.back(), 20u) << "all twenty at once";
  EXPECT_EQ(FView.LogLines.back(), "yirminci");

  FCore->AddLog("bir");
  FCore->AddLog("iki");
  FCore->Timer1Timer();  // a tick shows fewer
  EXPECT_EQ(FView.LogBatches.back(), 2u);
  EXPECT_EQ(FCore->PendingLogCount(), 1u) << "the tick's own waiting line stays for the next batch";
  RunUntilIdle();
  EXPECT_EQ(FCore->PendingLogCount(), 0u);
  EXPECT_TRUE(FView.Logged("Yedekleme zaten devam ediyor, bekleniyor..."));

  // Outside a run every line is shown at once, unescaped, after its time.
  const TDateTime now = EncodeDateTime(2025, 3, 3, 14, 5, 9);
  FClock.SetNow(now);
  FCore->AddLog("\\u0130ptal: \\u00e7");
  EXPECT_EQ(FView.RawLogLines.back(), "[" + FormatDateTime("dd.mm.yyyy hh:nn:ss", now) + "] İptal: ç");
  EXPECT_EQ(FormatDateTime("dd.mm.yyyy hh:nn:ss", now, TurkishFormatSettings()), "03.03.2025 14:05:09");
  EXPECT_EQ(FView.Status[0], "İptal: ç");
}

TEST_P(AppCoreRun, SnapshotCorrectionsReadTheMessageNotTheOutputPath) {
  TBackupTask& task = AddTask("Hata Kayıtları");
  RunManual(task);
  ASSERT_TRUE(History().at(0).Success) << "a task named after an error word still succeeds";
  const std::string output = FCore->BackupEngine()->LastBackupOutputPath();
  ASSERT_NE(output.find("Hata Kayıtları"), std::string::npos);

  struct TCase {
    std::string Message;
    bool Success;
  };
  const TCase cases[] = {
      {"2 dosya yedeklendi - " + output, true},
      {"2 dosya yedeklendi; doğrulama HATASI", false},
      {"Yedek başlatılmadı", false},
      {"Arşiv oluşturulamadı", false},
  };
  for (const TCase& c : cases) {
    const TBackupResultSnapshot s = FCore->BuildResultSnapshot(true, c.Message);
    EXPECT_EQ(s.Success, c.Success) << c.Message;
    EXPECT_EQ(s.Message, c.Message);
    EXPECT_EQ(s.OutputPath, output);
  }
  const TBackupResultSnapshot noChange =
      FCore->BuildResultSnapshot(true, "Değişiklik bulunamadı. Yeni artımlı/fark yedeği oluşturulmadı.");
  EXPECT_TRUE(noChange.Success) << "the no-change words win over \"oluşturulamadı\"-like ones";
  EXPECT_EQ(noChange.OutputPath, "");
  EXPECT_EQ(noChange.LocalOutputPath, "");
  EXPECT_FALSE(noChange.Verified);
  EXPECT_EQ(FCore->BuildResultSnapshot(false, "x").Success, false);
}

TEST_P(AppCoreRun, DestinationSpaceAnalysis) {
  const std::string noFigures = "Tahmini Boyut: - | Boş Alan: -";
  FCore->SetCurrentTask(nullptr);
  FCore->AnalyzeDestinationSpace();
  EXPECT_EQ(FView.Capacity, (TCapacityLabels{noFigures, "Alan analizi için bir görev seçin.", ctNeutral}));

  TBackupTask& task = AddTask("Analiz", {{"a.txt", std::string(3000, 'a')}});
  FCore->SetCurrentTask(&task);
  task.DestinationFolder = " ";
  FCore->AnalyzeDestinationSpace();
  EXPECT_EQ(FView.Capacity, (TCapacityLabels{noFigures, "Alan analizi için hedef klasör seçin.", ctNeutral}));
  task.SourceFolders.clear();
  FCore->AnalyzeDestinationSpace();
  EXPECT_EQ(FView.Capacity,
            (TCapacityLabels{noFigures, "Alan analizi için en az bir kaynak klasör ekleyin.", ctNeutral}));

  // An incremental task without a full backup is estimated as a full one, on the nearest existing folder, while
  // another task runs: neither the running engine nor the run's plan is touched, and nothing is logged.
  TBackupTask& running = AddTask("Koşan", {{"1.txt", "1"}, {"2.txt", "2"}});
  ASSERT_TRUE(FCore->StartManualBackup(running, btFull));
  task.SourceFolders = {(FDir / "src" / "Analiz").string()};
  task.DestinationFolder = (FDir / "yok" / "alt").string();
  task.BackupType = btIncremental;
  const size_t pending = FCore->PendingLogCount();
  FCore->AnalyzeDestinationSpace();
  EXPECT_EQ(FCore->BackupEngine()->SourceFolders(), running.SourceFolders);
  EXPECT_EQ(FCore->BackupEngine()->BackupNamePrefix(), "Koşan");
  EXPECT_EQ(FCore->RunningTask(), &running);
  EXPECT_EQ(FCore->RequestedBackupType(), btFull);
  EXPECT_EQ(FCore->PendingLogCount(), pending);
  WaitForCapacity();
  ASSERT_TRUE(FView.Capacity.has_value());
  EXPECT_EQ(FView.Capacity->State, "Yedekleme hedefe sığıyor.");
  EXPECT_EQ(FView.Capacity->Tone, ctFits);
  EXPECT_EQ(FView.Capacity->Info.rfind(
                "Tahmini Boyut: " + FormatByteSize(FCompress ? 3000 + 65536 : 3000) + " | Boş Alan: ", 0),
            0u)
      << FView.Capacity->Info;
  RunUntilIdle();
  EXPECT_FALSE(
      FView.Logged("Artımlı yedek istenmişti ancak geçerli bir tam yedek bulunamadı. Bu çalışma otomatik "
                   "olarak tam yedek olarak başlatıldı."));
  EXPECT_FALSE(std::filesystem::exists(FDir / "yok")) << "an estimate creates nothing";
}

TEST_P(AppCoreRun, SpaceAnalysisShowsOnlyTheNewestState) {
  TBackupTask& task = AddTask("Analiz", {{"a.txt", std::string(3000, 'a')}});
  FCore->SetCurrentTask(&task);
  const auto shownSize = [this] {
    const std::string& info = FView.Capacity->Info;
    return info.substr(0, info.find(" | "));
  };
  // The estimate of the first state is still running when the task loses its source: the grey text stays.
  FCore->AnalyzeDestinationSpace();
  EXPECT_EQ(FView.Capacity->State, "Alan analizi yapılıyor...") << "no other task's figures meanwhile";
  const std::vector<std::string> sources = task.SourceFolders;
  task.SourceFolders.clear();
  FCore->AnalyzeDestinationSpace();
  WaitForCapacity();
  EXPECT_EQ(FView.Capacity->State, "Alan analizi için en az bir kaynak klasör ekleyin.");

  // Requests made while an estimate runs are folded into one of the newest state.
  task.SourceFolders = sources;
  FCore->AnalyzeDestinationSpace();
  test::WriteTree(FDir / "src" / "Analiz", {{"b.txt", std::string(5000, 'b')}});
  FCore->AnalyzeDestinationSpace();
  FCore->AnalyzeDestinationSpace();
  WaitForCapacity();
  EXPECT_EQ(shownSize(), "Tahmini Boyut: " + FormatByteSize(FCompress ? 8000 + 65536 : 8000));
  EXPECT_EQ(FView.Capacity->Tone, ctFits);
}

INSTANTIATE_TEST_SUITE_P(Outputs, AppCoreRun, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Zip" : "Folder"; });

}  // namespace
}  // namespace velkor
