// The task editor driven as a user drives it, over the real application core and a scratch configuration: filling
// and storing, sources, the schedule's immediate saves, the storage modes with the cloud fields, and the tool bar's
// task commands as the editor sees them. Leaving the editor is the main window's, tested there.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>

#include "TaskEditorHarness.h"
#include "app/DueTasks.h"
#include "app/TaskRules.h"
#include "crypto/SecureStorage.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::SaveShot;
using test::TypeText;

class TaskEditorPanel : public test::TaskEditorHarness {
protected:
  void Retype(const char* field, const QString& text) {
    auto* edit = Control<QLineEdit>(field);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    TypeText(edit, text);
  }
  std::vector<bool> DayChecks(const char* list) {
    std::vector<bool> checks;
    auto* days = Control<QListWidget>(list);
    for (int i = 0; i < days->count(); ++i) checks.push_back(days->item(i)->checkState() == Qt::Checked);
    return checks;
  }
  std::string ConfigBytes() const { return fs::exists(ConfigFile()) ? test::ReadFile(ConfigFile()) : std::string(); }
};

TEST_F(TaskEditorPanel, FillsFromTheTaskAndStoresWhatWasEdited) {
  Start([&](TBackupConfig& config) {
    auto task = MakeTask("Belgeler");
    task->Enabled = false;
    task->BackupType = btDifferential;
    task->CompressBackup = false;
    task->EncryptBackup = true;
    task->MaxBackupsToKeep = 4;
    task->Schedule.SetEnabled(true);
    TSubSchedule& full = task->Schedule.FullSchedule();
    full.SetEnabled(true);
    full.SetIntervalHours(2);
    full.SetIntervalMinutes(30);
    full.SetDays(TScheduleDays(1 << sdSun));
    config.Tasks.push_back(std::move(task));
  });
  TBackupTask& task = Open(0);

  EXPECT_EQ(Control<QListWidget>("lstSources")->item(0)->text().toStdString(), task.SourceFolders[0]);
  EXPECT_FALSE(Control<QCheckBox>("chkTaskActive")->isChecked());
  EXPECT_EQ(Control<QLineEdit>("edtDestination")->text().toStdString(), task.DestinationFolder);
  EXPECT_TRUE(Control<QRadioButton>("rbBackupType1")->isChecked());
  EXPECT_EQ(Control<QRadioButton>("rbBackupType2")->text(), QStringLiteral("Artımlı"));
  EXPECT_FALSE(Control<QCheckBox>("chkCompress")->isChecked());
  EXPECT_TRUE(Control<QCheckBox>("chkEncrypt")->isChecked());
  EXPECT_TRUE(Control<QPushButton>("btnEncryptionSettings")->isEnabled());
  EXPECT_EQ(Control<QLineEdit>("edtMaxBackups")->text(), QStringLiteral("4"));
  EXPECT_TRUE(Control<QCheckBox>("chkEnableSchedule")->isChecked());
  EXPECT_EQ(Control<QComboBox>("cmbSchedFullH")->currentText(), QStringLiteral("02"));
  EXPECT_EQ(Control<QComboBox>("cmbSchedFullM")->currentText(), QStringLiteral("30"));
  EXPECT_EQ(DayChecks("clbSchedFullDays"), (std::vector<bool>{true, false, false, false, false, false, false}));
  EXPECT_FALSE(Control<QListWidget>("clbSchedDiffDays")->isEnabled());
  EXPECT_EQ(Control<QComboBox>("cmbSchedIncM")->count(), 60);

  // "abc" as the number of sets, a destination typed, compression switched on, then back to the list.
  Retype("edtMaxBackups", QStringLiteral("abc"));
  const std::string typed = (FDir / "başka hedef").string();
  Retype("edtDestination", QString::fromStdString(typed));
  Click("chkCompress");
  Click("chkEncrypt");
  EXPECT_FALSE(Control<QPushButton>("btnEncryptionSettings")->isEnabled());
  QSignalSpy left(FPanel, &TTaskEditorPanel::BackToListRequested);
  Click("btnBackToList");
  EXPECT_EQ(left.count(), 1) << "the window checks and stores on its way out";
  EXPECT_EQ(SavedConfig()->Tasks[0]->MaxBackupsToKeep, 4) << "nothing written";

  Click("btnSaveTask");
  EXPECT_EQ(left.count(), 2);
  EXPECT_EQ(task.MaxBackupsToKeep, 10);
  EXPECT_EQ(task.DestinationFolder, typed);
  EXPECT_TRUE(task.CompressBackup);
  EXPECT_FALSE(task.EncryptBackup);
  const auto saved = SavedConfig();
  EXPECT_EQ(saved->Tasks[0]->MaxBackupsToKeep, 10) << "\"Kaydet\" writes the file";
  EXPECT_EQ(saved->Tasks[0]->DestinationFolder, typed);
  EXPECT_EQ(saved->Tasks[0]->Schedule.FullSchedule().IntervalMinutes(), 30);
}

TEST_F(TaskEditorPanel, SourcesAndDestinationFromTheFolderPicker) {
  Start([&](TBackupConfig& config) { config.Tasks.push_back(MakeTask("Belgeler")); });
  TBackupTask& task = Open(0);
  const std::string listed = task.SourceFolders[0];
  const fs::path other = FDir / "src" / "Fotoğraflar";
  fs::create_directories(other);
  QString upper = QString::fromStdString(listed).toUpper();
  FPrompts.Picks = {upper.toStdString(), other.string(), std::nullopt, (FDir / "hedef").string()};

  Click("btnAddSource");
  EXPECT_EQ(task.SourceFolders, std::vector<std::string>{listed}) << "listed already in another letter case";
  Click("btnAddSource");
  EXPECT_EQ(task.SourceFolders, (std::vector<std::string>{listed, other.string()})) << "added to the task at once";
  EXPECT_EQ(FPrompts.Pickers.at(0), (std::vector<std::string>{"Yedeklenecek Klasörü Seçin", ""}));
  Control<QListWidget>("lstSources")->setCurrentRow(0);
  Click("btnRemoveSource");
  EXPECT_EQ(task.SourceFolders, std::vector<std::string>{other.string()}) << "removed from the task at once";

  const std::string destination = task.DestinationFolder;
  Click("btnBrowseDestination");  // cancelled
  EXPECT_EQ(Control<QLineEdit>("edtDestination")->text().toStdString(), destination);
  Click("btnBrowseDestination");
  EXPECT_EQ(FPrompts.Pickers.back(), (std::vector<std::string>{"Yedekleme Hedef Klasörünü Seçin", destination}));
  EXPECT_EQ(Control<QLineEdit>("edtDestination")->text().toStdString(), (FDir / "hedef").string());
  EXPECT_TRUE(FView.Record.Logged("Hedef klasör ayarlandı: " + (FDir / "hedef").string()));
  WaitForCapacity();
  EXPECT_EQ(task.DestinationFolder, (FDir / "hedef").string()) << "the analysis stores the editor first";
  EXPECT_EQ(Control<QLabel>("lblCapacityState")->text(), QStringLiteral("Yedekleme hedefe sığıyor."));
  EXPECT_TRUE(Messages().empty());
}

TEST_F(TaskEditorPanel, ScheduleChangesAreWrittenAtOnce) {
  Start([&](TBackupConfig& config) {
    auto task = MakeTask("Belgeler");
    task->Schedule.SetEnabled(true);
    TSubSchedule& diff = task->Schedule.DiffSchedule();
    diff.SetEnabled(true);
    diff.SetIntervalHours(14);
    diff.SetIntervalMinutes(30);
    diff.SetDays(TScheduleDays((1 << sdMon) | (1 << sdWed)));
    task->Schedule.FullSchedule().SetEnabled(true);
    config.Tasks.push_back(std::move(task));
  });
  TBackupTask& task = Open(0);
  EXPECT_EQ(DayChecks("clbSchedDiffDays"), (std::vector<bool>{false, true, false, true, false, false, false}));
  const int refreshes = FView.Record.TaskListRefreshes;

  Click("chkSchedDiff");
  EXPECT_EQ(DayChecks("clbSchedDiffDays"), std::vector<bool>(7, false));
  EXPECT_EQ(Control<QComboBox>("cmbSchedDiffH")->currentText(), QStringLiteral("00"));
  EXPECT_EQ(Control<QComboBox>("cmbSchedDiffM")->currentText(), QStringLiteral("00"));
  EXPECT_FALSE(Control<QComboBox>("cmbSchedDiffH")->isEnabled());
  const TSubSchedule& savedDiff = SavedConfig()->Tasks[0]->Schedule.DiffSchedule();
  EXPECT_FALSE(savedDiff.Enabled());
  EXPECT_EQ(savedDiff.Days(), TScheduleDays::None());
  EXPECT_EQ(savedDiff.IntervalHours() * 60 + savedDiff.IntervalMinutes(), 0);
  EXPECT_GT(FView.Record.TaskListRefreshes, refreshes);

  // An hour, a minute and a day of the full sub-schedule: each written at once, the next run following.
  Choose("cmbSchedFullH", QStringLiteral("05"));
  Choose("cmbSchedFullM", QStringLiteral("45"));
  Control<QListWidget>("clbSchedFullDays")->item(sdSun)->setCheckState(Qt::Unchecked);
  const TSubSchedule& savedFull = SavedConfig()->Tasks[0]->Schedule.FullSchedule();
  EXPECT_EQ(savedFull.IntervalHours(), 5);
  EXPECT_EQ(savedFull.IntervalMinutes(), 45);
  EXPECT_FALSE(savedFull.Days().Contains(sdSun));
  EXPECT_EQ(SavedConfig()->Tasks[0]->Schedule.Days(), savedFull.Days()) << "the task's days follow the full one";
  EXPECT_EQ(FView.Record.Status[1], NextRunStatusText(Config()));
  EXPECT_EQ(task.Schedule.FullSchedule().NextRun(), EncodeDateTime(2024, 5, 2, 5, 45, 0));

  // The master switch off clears every list.
  Click("chkEnableSchedule");
  EXPECT_EQ(DayChecks("clbSchedFullDays"), std::vector<bool>(7, false));
  EXPECT_FALSE(SavedConfig()->Tasks[0]->Schedule.Enabled());
}

TEST_F(TaskEditorPanel, StorageModesAndTheCloudFields) {
  Start([&](TBackupConfig& config) {
    config.Tasks.push_back(MakeTask("Belgeler"));
    auto unreadable = MakeTask("Eski");
    unreadable->StorageMode = smCloud;
    unreadable->CloudPasswordProtected = "dpapi:QUJD";  // protected by someone else
    config.Tasks.push_back(std::move(unreadable));
  });
  TBackupTask& task = Open(0);
  EXPECT_EQ(Control<QLabel>("lblDestination")->text(), QStringLiteral("Lokal Hedef"));
  EXPECT_FALSE(Control<QLineEdit>("FEdtCloudAccount")->isEnabled()) << "the local disk needs no cloud fields";
  EXPECT_EQ(Control<QComboBox>("FCmbCloudProvider")->currentText(), QStringLiteral("Cloud"));
  WaitForCapacity();
  SaveShot(*FWindow, "task-editor-local");
  Retype("edtDestination", QString());

  Choose("FCmbStorageMode", QStringLiteral("Cloud"));
  EXPECT_EQ(task.StorageMode, smCloud) << "stored at once";
  EXPECT_EQ(Control<QLabel>("lblDestination")->text(), QStringLiteral("Lokal Hedef (pasif)"));
  EXPECT_FALSE(Control<QLineEdit>("edtDestination")->isEnabled());
  EXPECT_FALSE(Control<QPushButton>("btnBrowseDestination")->isEnabled());
  Retype("FEdtCloudAccount", QStringLiteral(" AKIA9 "));
  Retype("FEdtCloudPassword", QStringLiteral("bulut sırrı"));
  Retype("FEdtCloudDestination", QStringLiteral(" s3://arsiv/gunluk "));
  EXPECT_FALSE(Control<QPushButton>("FBtnBrowseCloudDestination")->isEnabled()) << "an upload has no folder";
  WaitForCapacity();
  SaveShot(*FWindow, "task-editor-cloud");
  QSignalSpy left(FPanel, &TTaskEditorPanel::BackToListRequested);
  Click("btnSaveTask");
  EXPECT_EQ(left.count(), 1) << "a cloud task needs no local destination";
  const auto saved = SavedConfig();
  const TBackupTask& stored = *saved->Tasks[0];
  EXPECT_EQ(stored.CloudAccountName, "AKIA9");
  EXPECT_EQ(stored.CloudDestinationFolder, "s3://arsiv/gunluk");
  EXPECT_TRUE(IsProtectedString(stored.CloudPasswordProtected));
  EXPECT_EQ(UnprotectString(stored.CloudPasswordProtected), "bulut sırrı");
  EXPECT_EQ(ConfigBytes().find("bulut sırrı"), std::string::npos) << "never in plain text";
  EXPECT_EQ(Control<QLineEdit>("FEdtCloudPassword")->text(), QStringLiteral("bulut sırrı"));

  // Hybrid with the folder-copy provider: the local destination is needed again, and a folder is picked.
  const std::string secret = task.CloudPasswordProtected;
  Choose("FCmbStorageMode", QStringLiteral("Lokal Disk + Cloud"));
  Choose("FCmbCloudProvider", QStringLiteral("NAS / WebDAV"));
  EXPECT_EQ(task.CloudProvider, "NAS / WebDAV");
  EXPECT_EQ(Control<QLabel>("lblDestination")->text(), QStringLiteral("Lokal Hedef"));
  FPrompts.Picks = {(FDir / "nas").string()};
  Click("FBtnBrowseCloudDestination");
  EXPECT_EQ(Control<QLineEdit>("FEdtCloudDestination")->text().toStdString(), (FDir / "nas").string());
  Click("btnSaveTask");
  EXPECT_EQ(Messages(), std::vector<std::string>{NoLocalDestinationMessage});
  Retype("edtDestination", QString::fromStdString((FDir / "yerel").string()));
  WaitForCapacity();
  SaveShot(*FWindow, "task-editor-hybrid");
  Click("btnSaveTask");
  EXPECT_EQ(left.count(), 2);
  EXPECT_EQ(SavedConfig()->Tasks[0]->CloudDestinationFolder, (FDir / "nas").string());
  EXPECT_EQ(task.CloudPasswordProtected, secret) << "an unchanged secret keeps its stored bytes";

  // A secret that cannot be read shows nothing and survives the save.
  Open(1);
  EXPECT_EQ(Control<QLineEdit>("FEdtCloudPassword")->text(), QString());
  Click("btnSaveTask");
  EXPECT_EQ(SavedConfig()->Tasks[1]->CloudPasswordProtected, "dpapi:QUJD");
}

TEST_F(TaskEditorPanel, TaskCommandsAsTheEditorSeesThem) {
  Start([&](TBackupConfig& config) {
    auto daily = MakeTask("Daily");
    daily->LastSuccessfulBackupTime = daily->LastFullBackupTime = EncodeDateTime(2024, 4, 30, 2, 0, 0);
    auto item = std::make_unique<TBackupChainItem>();
    item->BackupId = item->SetId = item->BaseFullBackupId = "A1B2C3D4-0000-0000-0000-000000000001";
    item->OutputPath = (FDir / "src" / "Daily").string();
    item->BackupTime = daily->LastFullBackupTime;
    daily->BackupChain.push_back(std::move(item));
    config.Tasks.push_back(std::move(daily));
    config.Tasks.push_back(MakeTask("Müzik"));
  });
  FPrompts.Texts = {"   ", "  Günlük  "};
  EXPECT_EQ(FCore->OnNewTask(), nullptr);
  EXPECT_EQ(FPrompts.TextPrompts.at(0), (std::vector<std::string>{"Yeni Görev", "Görev Adı:", "Yeni Görev 3"}));
  EXPECT_EQ(Messages(), std::vector<std::string>{"Görev adı boş olamaz!"});
  TBackupTask* created = FCore->OnNewTask();
  ASSERT_NE(created, nullptr);
  FPanel->LoadTaskToUI(created);
  EXPECT_EQ(created->Name, "  Günlük  ") << "stored as typed";
  EXPECT_EQ(Control<QListWidget>("lstSources")->count(), 0);
  EXPECT_EQ(Control<QLabel>("lblCapacityState")->text(),
            QStringLiteral("Alan analizi için en az bir kaynak klasör ekleyin."));

  TBackupTask& daily = *Config().Tasks[0];
  const std::string before = ConfigBytes();
  FPrompts.Texts = {"Daily"};
  FCore->OnRenameTask(&daily);
  EXPECT_EQ(ConfigBytes(), before) << "the same name writes nothing";

  FCore->OnCopyTask(&daily);
  const auto saved = SavedConfig();
  const TBackupTask& copy = *saved->Tasks.back();
  EXPECT_EQ(copy.Name, "Daily (Kopya)");
  EXPECT_FALSE(copy.Enabled);
  EXPECT_EQ(copy.SourceFolders, daily.SourceFolders);
  EXPECT_TRUE(copy.BackupChain.empty());
  EXPECT_EQ(copy.LastSuccessfulBackupTime, 0);
  EXPECT_EQ(copy.LastFullBackupTime, 0);
  EXPECT_EQ(FCore->CurrentTask(), created) << "the copy is not opened";
}

}  // namespace
}  // namespace velkor
