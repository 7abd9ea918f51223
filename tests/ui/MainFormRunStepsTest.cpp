// A run's steps after the engine as the window shows them: a large upload to the real S3 server while the window
// keeps answering, and a start from the tray while a restore runs.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <set>

#include "MainFormFixture.h"
#include "crypto/SecureStorage.h"
#include "integration/S3Peer.h"
#include "ui/TaskCentrePage.h"
#include "ui/TrayIcon.h"
#include "ui/WindowHistoryCommands.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::Find;

// A file of `size` zero bytes that takes no room until it is copied.
void WriteSparseFile(const fs::path& file, uintmax_t size) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary).close();
  fs::resize_file(file, size);
}

class MainFormRunSteps : public test::MainFormFixture {
protected:
  QTableWidget* History() { return Find<QTableWidget>(Form(), "lvHistory"); }
};

TEST_F(MainFormRunSteps, ALargeUploadKeepsTheWindowAnsweringAndShowsItsProgress) {
  test::TTempDir serverDir;
  test::TS3Peer peer(serverDir.Path());
  const uintmax_t size = uintmax_t{1} << 30;
  WriteConfig([&](TBackupConfig& config) {
    auto task = NewTask("Büyük");
    WriteSparseFile(fs::path(task->SourceFolders[0]) / "disk.img", size);
    task->StorageMode = smHybrid;
    task->CloudAccountName = test::S3PeerKey;
    task->CloudPasswordProtected = ProtectString(test::S3PeerKey);
    task->CloudDestinationFolder = peer.Endpoint() + "/qelt-backup/pencere";
    config.Tasks.push_back(std::move(task));
  });
  Open();
  Form().TaskCentre().ShowTaskList();

  // A timer on the GUI thread: the longest pause between its ticks while the upload runs.
  QTimer ticker;
  ticker.setInterval(20);
  std::chrono::steady_clock::time_point last{};
  std::chrono::milliseconds longestPause{0};
  int ticksDuringUpload = 0;
  std::set<std::string> hints, progressTexts;
  bool shot = false;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const auto now = std::chrono::steady_clock::now();
    // The fake clock's ticks follow the real time, so the upload paces its progress and tells its speed.
    FClock.AdvanceTick(20);
    if (!Form().Core().CloudStepRunning()) {
      last = {};
      return;
    }
    if (last != std::chrono::steady_clock::time_point{})
      longestPause = std::max(longestPause, std::chrono::duration_cast<std::chrono::milliseconds>(now - last));
    last = now;
    ++ticksDuringUpload;
    hints.insert(Std(Form().TrayIcon().Hint()));
    const std::string text = Std(Find<QLabel>(Form(), "lblProgress")->text());
    progressTexts.insert(text);
    const int percent = Find<QProgressBar>(Form(), "ProgressBar1")->value();
    if (!shot && text.rfind("Cloud upload: ", 0) == 0 && percent >= 30 && percent < 90) {
      test::SaveShot(Form(), "main-cloud-upload");
      shot = true;
    }
  });
  ticker.start();

  ASSERT_TRUE(Form().Core().StartManualBackup(*Form().Core().Config()->Tasks.front()));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
  while (!Form().Core().IsIdle()) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the run did not end";
  }
  QApplication::processEvents();

  EXPECT_GT(ticksDuringUpload, 10) << "the GUI thread ran during the upload";
  EXPECT_LT(longestPause, std::chrono::milliseconds(2000));
  bool percentHint = false, speedText = false;
  for (const std::string& hint : hints) percentHint |= hint.rfind("Velkor - Cloud upload: ", 0) == 0;
  for (const std::string& text : progressTexts) speedText |= text.find(" MB/s)") != std::string::npos;
  EXPECT_TRUE(percentHint);
  EXPECT_TRUE(speedText);
  EXPECT_TRUE(shot) << "the progress bar showed the upload part-way";

  const auto history = TConfigManager(ConfigDir(), FClock).LoadHistory();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_TRUE(history[0].Success) << history[0].Details;
  EXPECT_EQ(history[0].CloudStatus, "Tamamlandı");
  EXPECT_EQ(History()->item(0, 0)->foreground().color(), QColor(0, 0x80, 0));
  // The server keeps each object in a file of its own: the image arrived whole.
  uintmax_t stored = 0;
  for (const auto& entry : fs::recursive_directory_iterator(serverDir / "qelt-backup" / "pencere"))
    if (entry.path().filename() == "disk.img._S3rver_object") stored = entry.file_size();
  EXPECT_EQ(stored, size);
}

TEST_F(MainFormRunSteps, AStartFromTheTrayDuringARestoreRunsNothing) {
  WriteConfig([&](TBackupConfig& config) {
    auto task = NewTask("Belgeler");
    WriteSparseFile(fs::path(task->SourceFolders[0]) / "disk.img", uintmax_t{768} << 20);
    task->MaxBackupsToKeep = 1;
    config.Tasks.push_back(std::move(task));
  });
  Open();
  TAppCore& core = Form().Core();
  TBackupTask& task = *core.Config()->Tasks.front();
  core.SetCurrentTask(&task);
  ASSERT_TRUE(core.StartManualBackup(task));
  RunUntilIdle();
  ASSERT_EQ(task.BackupChain.size(), 1u);
  const std::string set = task.BackupChain[0]->OutputPath;

  const fs::path target = FDir / "geri";
  test::TModalDriver driver;
  driver.Expect(QStringLiteral("frmRestoreWizard"), [&](QWidget& wizard) {
    Find<QLineEdit>(wizard, "FTargetEdit")->setText(QString::fromStdString(target.string()));
    test::ClickButton(wizard, QStringLiteral("Başlat"));
  });
  FPrompts.YesNoAnswers = {true};
  Form().ShowPage(1);
  History()->selectRow(0);
  Find<QMenu>(Form(), "pmHistory")->findChild<QAction*>("mnuHistoryRestore")->trigger();

  // As soon as the restore itself is under way, the tray's start is pressed.
  bool pressed = false;
  bool busyWhenPressed = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (Form().HistoryCommands().Commands().Busy() || !pressed) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the restore did not end";
    if (!pressed && Logged("Geri yükleme başlatıldı: Belgeler")) {
      busyWhenPressed = Form().HistoryCommands().Commands().Busy();
      Form().TrayIcon().mnuStartBackup->trigger();
      pressed = true;
      EXPECT_FALSE(core.BackupBusy());
      core.Timer1Timer();
      EXPECT_FALSE(core.BackupBusy());
    }
  }
  RunUntilIdle();
  EXPECT_TRUE(driver.Done());
  ASSERT_TRUE(busyWhenPressed) << "the restore ended before the start was pressed; make its file larger";
  EXPECT_TRUE(Logged("Geri yükleme sürdüğü için yedekleme başlatılmadı."));
  EXPECT_EQ(FPrompts.Messages.at(FPrompts.Messages.size() - 2).first,
            "Geri yükleme sürerken yedekleme başlatılamaz. Geri yükleme bittikten sonra tekrar deneyin.");
  EXPECT_TRUE(Logged("Geri yükleme tamamlandı: 3 dosya geri yüklendi, 0 dosya atlandı."));
  EXPECT_EQ(fs::file_size(target / "Belgeler" / "disk.img"), uintmax_t{768} << 20);
  EXPECT_EQ(TConfigManager(ConfigDir(), FClock).LoadHistory().size(), 1u) << "no run was made";
  ASSERT_EQ(task.BackupChain.size(), 1u);
  EXPECT_TRUE(fs::exists(set)) << "the set being restored was not deleted";
}

}  // namespace
}  // namespace velkor
