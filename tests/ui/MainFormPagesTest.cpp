// The main window's pages at work: a manual run from the start button through to its history row, pausing, the
// history list's rows, pictures and commands, the task list and its editor seam, the logo, and screenshots of every
// page at the usual and at the smallest size.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include "MainFormFixture.h"
#include "app/HistoryList.h"
#include "ui/HistoryStatusImages.h"
#include "ui/TaskCentrePage.h"
#include "ui/TrayIcon.h"

namespace velkor {
namespace {

using test::Find;
using test::SaveShot;

class MainFormPages : public test::MainFormFixture {
protected:
  QTableWidget* History() { return Find<QTableWidget>(Form(), "lvHistory"); }
  void SelectTask(int row) {
    auto* tasks = Find<QTreeWidget>(Form(), "lvTasks");
    Form().TaskCentre().ShowTaskList();
    tasks->setCurrentItem(tasks->topLevelItem(row));
  }
  void Click(const char* button) { QTest::mouseClick(Find<QPushButton>(Form(), button), Qt::LeftButton); }
  QAction* MenuItem(const char* name) { return Find<QMenu>(Form(), "pmHistory")->findChild<QAction*>(name); }
};

TBackupHistoryItem Entry(const std::string& task, bool success, const std::string& details) {
  TBackupHistoryItem item;
  item.BackupTime = EncodeDateTime(2025, 3, 3, 14, 5, 9);
  item.Success = success;
  item.TaskName = task;
  item.Details = details;
  item.StorageModeText = "Lokal Disk";
  item.SourceCount = 1;
  item.TotalSize = 1610612736;
  item.Files = {{"/kaynak/a.txt", 1610612736, true}};
  return item;
}

// An item view takes a double click only on the item the first click pressed.
void DoubleClick(QAbstractItemView* view, const QRect& item) {
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, item.center());
}

bool SamePicture(const QIcon& shown, THistoryPicture picture) {
  return shown.pixmap(24, 24).toImage() == DrawHistoryStatusImage(picture).pixmap(24, 24).toImage();
}

TEST_F(MainFormPages, AManualRunEndsAsAGreenHistoryRowAndPauseTogglesItsCaptions) {
  WriteConfig([this](TBackupConfig& config) { config.Tasks.push_back(NewTask("Belgeler")); });
  Open();
  SelectTask(0);
  ASSERT_EQ(Form().Core().CurrentTask()->Name, "Belgeler");

  Click("btnStartBackup");
  // The worker's completion waits for the event loop, so the run is still on while nothing is processed.
  ASSERT_TRUE(Form().Core().BackupBusy());
  EXPECT_FALSE(Find<QPushButton>(Form(), "btnStartBackup")->isEnabled());
  EXPECT_TRUE(Find<QWidget>(Form(), "imgActivityGear")->isVisible());
  Click("btnPauseBackup");
  EXPECT_EQ(Find<QPushButton>(Form(), "btnPauseBackup")->text(), QStringLiteral("Devam Et"));
  EXPECT_EQ(Form().TrayIcon().mnuPauseBackup->text(), QStringLiteral("Devam Et"));
  EXPECT_EQ(Form().TrayIcon().mnuStatus->text(), QStringLiteral("Durum: Duraklatıldı"));
  EXPECT_EQ(Form().TrayIcon().Hint(), QStringLiteral("Velkor - Duraklatıldı"));
  EXPECT_FALSE(Form().TrayIcon().mnuStartBackup->isEnabled());
  SaveShot(Form(), "main-running-paused");
  Form().TrayIcon().mnuPauseBackup->trigger();  // resumes from the tray
  EXPECT_EQ(Find<QPushButton>(Form(), "btnPauseBackup")->text(), QStringLiteral("Duraklat"));
  RunUntilIdle();

  ASSERT_EQ(History()->rowCount(), 1);
  EXPECT_EQ(History()->item(0, HistoryStatusColumn)->text(), QStringLiteral("Başarılı"));
  EXPECT_EQ(History()->item(0, 1)->text(), QStringLiteral("Belgeler"));
  EXPECT_EQ(History()->item(0, 4)->text(), QStringLiteral("2"));
  EXPECT_EQ(History()->item(0, 0)->foreground().color(), QColor(0, 0x80, 0));
  EXPECT_TRUE(SamePicture(History()->item(0, 0)->icon(), hpSuccess));
  EXPECT_FALSE(Find<QWidget>(Form(), "imgActivityGear")->isVisible());
  EXPECT_TRUE(Find<QPushButton>(Form(), "btnStartBackup")->isEnabled());
  EXPECT_EQ(Find<QProgressBar>(Form(), "ProgressBar1")->value(), 0);
  EXPECT_EQ(Find<QLabel>(Form(), "lblProgress")->text(), QStringLiteral("Hazır"));
  EXPECT_NE(Find<QTreeWidget>(Form(), "lvTasks")->topLevelItem(0)->text(3), QStringLiteral("-"));
  EXPECT_TRUE(Logged("Yedekleme duraklatıldı."));
  EXPECT_TRUE(Logged("Yedekleme devam ettirildi."));
}

// The task's source is on a drive that is not plugged in: the window says so before the run, and the run started
// from the button ends as a red row with the folder as its failed entry, and no set.
TEST_F(MainFormPages, AManualRunWhoseSourceIsGoneEndsAsARedHistoryRowWithoutASet) {
  WriteConfig([this](TBackupConfig& config) { config.Tasks.push_back(NewTask("Belgeler")); });
  const std::filesystem::path source = FDir / "src" / "Belgeler";
  std::filesystem::remove_all(source);
  Open();
  SelectTask(0);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Form().Core().CapacityAnalysisBusy(); }, 60000));
  EXPECT_EQ(Find<QLabel>(Form(), "lblCapacityState")->text(),
            QString::fromStdString("Alan analizi yapılamadı: Kaynak klasör bulunamadı: " + source.string()));

  Click("btnStartBackup");
  RunUntilIdle();
  ASSERT_EQ(History()->rowCount(), 1);
  EXPECT_EQ(History()->item(0, HistoryStatusColumn)->text(), QStringLiteral("Hatalı"));
  EXPECT_EQ(History()->item(0, 5)->text(), QStringLiteral("1"));
  EXPECT_EQ(History()->item(0, 0)->foreground().color(), QColor(0xFF, 0, 0));
  EXPECT_TRUE(SamePicture(History()->item(0, 0)->icon(), hpError));
  const std::string message =
      "Yedekleme hatası: kaynak klasör bulunamadı: " + source.string() + ". Eksik kaynakla yedek oluşturulmadı.";
  EXPECT_EQ(History()->item(0, 8)->text(), QString::fromStdString(message));
  EXPECT_TRUE(Logged("✗ Hata: " + message));
  const TBackupTask& task = *Form().Core().CurrentTask();
  EXPECT_TRUE(task.BackupChain.empty());
  EXPECT_EQ(task.LastSuccessfulBackupTime, 0);
  EXPECT_TRUE(std::filesystem::is_empty(task.DestinationFolder)) << "no empty output in the destination";
  Form().ShowPage(1);
  SaveShot(Form(), "main-history-missing-source");
}

TEST_F(MainFormPages, HistoryRowsAreDrawnAsTheCoreComputesThem) {
  {
    TConfigManager manager(ConfigDir(), FClock);
    TBackupHistoryItem cloud = Entry("Bulut", false, "Yedekleme tamamlandı | Cloud upload hatası");
    cloud.StorageMode = smHybrid;
    cloud.StorageModeText = "Lokal + Cloud";
    cloud.CloudStatus = "Başarısız";
    TBackupHistoryItem failed = cloud;
    failed.Files.push_back({"/kaynak/b.txt (Erişim reddedildi)", 0, false});
    for (const TBackupHistoryItem& item :
         {Entry("Belgeler", true, "Tamamlandı"), Entry("", true, "Değişiklik bulunamadı"), cloud, failed})
      manager.AddHistoryItem(item);
  }
  Open();
  Form().ShowPage(1);
  ASSERT_EQ(History()->rowCount(), 4);
  const struct {
    const char* Status;
    QColor Color;
    THistoryPicture Picture;
  } rows[] = {{"Başarılı", QColor(0, 0x80, 0), hpSuccess},
              {"Bilgi", QColor(0, 0x6B, 0xA8), hpSuccess},
              {"Cloud Hatası", QColor(0xFF, 0x80, 0), hpCloudWarning},
              {"Hatalı", QColor(0xFF, 0, 0), hpError}};
  for (int r = 0; r < 4; ++r) {
    SCOPED_TRACE(r);
    EXPECT_EQ(History()->item(r, HistoryStatusColumn)->text(), QString::fromUtf8(rows[r].Status));
    for (int column = 0; column < HistoryColumnCount; ++column)
      EXPECT_EQ(History()->item(r, column)->foreground().color(), rows[r].Color) << column;
    EXPECT_TRUE(SamePicture(History()->item(r, 0)->icon(), rows[r].Picture));
    EXPECT_EQ(History()->item(r, 6)->text(), QStringLiteral("1.536,00 MB"));
  }
  EXPECT_EQ(History()->item(1, 1)->text(), QStringLiteral("(Bilinmeyen)"));
  for (int column : {4, 5, 6}) {
    EXPECT_TRUE(History()->item(0, column)->textAlignment() & Qt::AlignRight) << column;
    EXPECT_TRUE(History()->horizontalHeaderItem(column)->textAlignment() & Qt::AlignRight) << column;
  }
  EXPECT_EQ(History()->horizontalHeaderItem(0)->text(), QStringLiteral("Tarih/Saat"));
  EXPECT_EQ(History()->columnWidth(1), 140);

  for (const QSize& size : {QSize(1280, 800), Form().minimumSize()}) {
    Form().resize(size);
    SaveShot(Form(), "main-history-" + std::to_string(size.width()));
  }
}

// Records the history commands that open dialogs.
class TRecordedCommands final : public IHistoryCommands {
public:
  std::vector<std::string> Calls;
  void ShowHistoryDetails(std::optional<int> i) override { Record("details", i); }
  void RestoreHistoryItem(std::optional<int> i) override { Record("restore", i); }
  void SendHistoryMail(std::optional<int> i) override { Record("mail", i); }
  void ExportHistoryPdf(std::optional<int> i) override { Record("pdf", i); }
  void VerifyHistoryItem(std::optional<int> i) override { Record("verify", i); }

private:
  void Record(const char* name, std::optional<int> i) {
    Calls.push_back(std::string(name) + ":" + (i ? std::to_string(*i) : "-"));
  }
};

TEST_F(MainFormPages, HistoryCommandsActOnTheSelectedEntry) {
  {
    TConfigManager manager(ConfigDir(), FClock);
    for (const char* name : {"Bir", "İki", "Üç", "Dört"}) manager.AddHistoryItem(Entry(name, true, ""));
  }
  Open();
  Form().ShowPage(1);
  for (const char* item : {"mnuHistoryRestore", "mnuHistorySendMail", "mnuHistoryExportPdf", "mnuHistoryVerify"})
    EXPECT_TRUE(MenuItem(item)->isEnabled()) << item << ": the window's own command";
  TRecordedCommands commands;
  Form().SetHistoryCommands(&commands);
  MenuItem("mnuHistoryRestore")->trigger();  // nothing selected
  History()->selectRow(2);
  for (const char* item : {"mnuHistoryRestore", "mnuHistorySendMail", "mnuHistoryExportPdf", "mnuHistoryVerify"})
    MenuItem(item)->trigger();
  DoubleClick(History(), History()->visualItemRect(History()->item(2, 1)));
  EXPECT_EQ(commands.Calls,
            (std::vector<std::string>{"restore:-", "restore:2", "mail:2", "pdf:2", "verify:2", "details:2"}));

  // Deleting the third row deletes history index 2; the list is rebuilt from the file.
  FPrompts.YesNoAnswers = {true};
  History()->selectRow(2);
  MenuItem("mnuHistoryDelete")->trigger();
  RunUntilIdle();
  ASSERT_EQ(History()->rowCount(), 3);
  EXPECT_EQ(History()->item(2, 1)->text(), QStringLiteral("Dört"));
  EXPECT_EQ(TConfigManager(ConfigDir(), FClock).LoadHistory().size(), 3u);
  EXPECT_EQ(Log().back(), "Seçili history kaydı silindi.");

  FPrompts.YesNoAnswers = {true};
  MenuItem("LogGemiiniTemizle1")->trigger();
  RunUntilIdle();
  EXPECT_EQ(History()->rowCount(), 0);
  EXPECT_EQ(Log().back(), "Geçmiş temizlendi");
  Form().SetHistoryCommands(nullptr);
  EXPECT_FALSE(MenuItem("mnuHistoryRestore")->isEnabled()) << "no commands, nothing to offer";
}

// The task editor panel as the task centre sees it.
class TRecordedEditor final : public ITaskEditorPanel {
public:
  std::vector<std::string> Loaded;
  bool Valid = true;
  bool IsLoading() const override { return false; }
  bool ValidateTaskUI() override { return Valid; }
  void SaveTaskFromUI(TBackupTask& task) override { task.DestinationFolder = "/editordan"; }
  int EditorSourceCount() const override { return 7; }
  void LoadTaskToUI(TBackupTask* task) override { Loaded.push_back(task != nullptr ? task->Name : "-"); }
  void ShowChainCard(const TChainCard&) override {}
  void ShowCapacity(const TCapacityLabels& labels) override { Capacity = labels.State; }
  std::string Capacity;
};

TEST_F(MainFormPages, TaskListFilterCommandsAndTheEditorSeam) {
  WriteConfig([this](TBackupConfig& config) {
    config.Tasks.push_back(NewTask("Belgeler"));
    config.Tasks.push_back(NewTask("Fotoğraflar"));
    config.Tasks.back()->Enabled = false;
  });
  Open();
  Click("btnHomeManage");
  auto* tasks = Find<QTreeWidget>(Form(), "lvTasks");
  auto* filter = Find<QListWidget>(Form(), "lstTasks");
  EXPECT_EQ(tasks->topLevelItemCount(), 2);
  filter->setCurrentRow(2);  // "Pasif Görevler"
  Form().TaskCentre().OnTaskSelected();
  ASSERT_EQ(tasks->topLevelItemCount(), 1);
  EXPECT_EQ(tasks->topLevelItem(0)->text(0), QStringLiteral("❌"));
  filter->setCurrentRow(0);
  Form().TaskCentre().OnTaskSelected();

  // The tool bar's commands act on the selected row.
  FPrompts.Texts = {std::string("Arşiv")};
  SelectTask(1);
  Click("btnRenameTask");
  EXPECT_EQ(tasks->topLevelItem(1)->text(1), QStringLiteral("Arşiv"));
  Click("btnCopyTask");
  EXPECT_EQ(tasks->topLevelItemCount(), 3);
  EXPECT_EQ(Log().back(), "Görev kopyalandı: Arşiv (Kopya)");
  SaveShot(Form(), "main-task-list-1280");

  TRecordedEditor editor;
  auto* panel = new QLabel(QStringLiteral("editör"));
  Form().SetTaskEditor(&editor, panel);
  EXPECT_EQ(panel->parentWidget(), Find<QWidget>(Form(), "pnlTaskDetailsHost"));
  SelectTask(0);
  DoubleClick(tasks, tasks->visualItemRect(tasks->topLevelItem(0)));
  EXPECT_TRUE(Form().TaskCentre().EditorShown());
  EXPECT_EQ(editor.Loaded.back(), "Belgeler");
  EXPECT_EQ(Form().EditorSourceCount(), 7);
  Form().Core().AnalyzeDestinationSpace();
  EXPECT_FALSE(editor.Capacity.empty());
  // Leaving the editor stores it into the task unless it is not valid.
  editor.Valid = false;
  Form().TaskCentre().btnBackToListClick();
  EXPECT_TRUE(Form().TaskCentre().EditorShown());
  editor.Valid = true;
  Form().TaskCentre().btnBackToListClick();
  EXPECT_FALSE(Form().TaskCentre().EditorShown());
  EXPECT_EQ(Form().Core().Config()->Tasks[0]->DestinationFolder, "/editordan");
  Form().SetTaskEditor(nullptr, nullptr);
}

TEST_F(MainFormPages, TheLogoOpensTheWebSite) {
  Open();
  QTest::mouseClick(Find<QLabel>(Form(), "imgLogo"), Qt::LeftButton);
  EXPECT_EQ(FOpenedUrls, std::vector<std::string>{"https://velkor.example"});
  EXPECT_EQ(Log().back(), "Web sitesi açıldı: https://velkor.example");
}

TEST_F(MainFormPages, EveryPageAtTheUsualAndTheSmallestSize) {
  WriteConfig([this](TBackupConfig& config) {
    config.Tasks.push_back(NewTask("Belgeler"));
    config.Tasks.push_back(NewTask("Muhasebe Arşivi"));
  });
  Open();
  for (const QSize& size : {QSize(1280, 800), Form().minimumSize()}) {
    Form().resize(size);
    const std::string suffix = "-" + std::to_string(size.width());
    Form().ShowPage(0);
    Form().TaskCentre().ShowHome();
    SaveShot(Form(), "main-home" + suffix);
    Form().TaskCentre().ShowTaskList();
    SaveShot(Form(), "main-task-list" + suffix);
    Form().ShowPage(2);
    SaveShot(Form(), "main-settings" + suffix);
  }
}

}  // namespace
}  // namespace velkor
