// The task editor in the main window: opened from the task list, left only when it may be saved, stored unchecked
// when the filter list is clicked, "Kaydet" writing the file, checked while open behind another tab or in the tray,
// the exit with an incomplete editor, and the two encryption tools of the settings page.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include "MainFormFixture.h"
#include "app/GeneralSettings.h"
#include "app/TaskRules.h"
#include "crypto/EncryptionCommands.h"
#include "ui/QtAppPrompts.h"
#include "ui/SettingsPage.h"
#include "ui/TaskCentrePage.h"
#include "ui/TrayIcon.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::Find;
using test::SaveShot;

class MainFormEditor : public test::MainFormFixture {
protected:
  void Click(const char* button) { QTest::mouseClick(Find<QPushButton>(Form(), button), Qt::LeftButton); }
  // A double click on the task's row of the list.
  void OpenTask(int row) {
    Form().TaskCentre().ShowTaskList();
    auto* tasks = Find<QTreeWidget>(Form(), "lvTasks");
    const QRect item = tasks->visualItemRect(tasks->topLevelItem(row));
    QTest::mouseClick(tasks->viewport(), Qt::LeftButton, {}, item.center());
    QTest::mouseDClick(tasks->viewport(), Qt::LeftButton, {}, item.center());
  }
  bool EditorShown() { return Form().TaskCentre().EditorShown(); }
  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const auto& [text, kind] : FPrompts.Messages) texts.push_back(text);
    return texts;
  }
};

TEST_F(MainFormEditor, TheEditorIsLeftOnlyWhenItMayBeSaved) {
  WriteConfig([this](TBackupConfig& config) {
    config.Tasks.push_back(NewTask("Belgeler"));
    config.Tasks.push_back(NewTask("Müzik"));
  });
  Open();
  OpenTask(0);
  ASSERT_TRUE(EditorShown());
  TBackupTask& docs = *Form().Core().Config()->Tasks[0];
  EXPECT_EQ(Form().Core().CurrentTask(), &docs);
  EXPECT_EQ(Find<QListWidget>(Form(), "lstSources")->count(), 1);
  for (const QSize& size : {QSize(1280, 800), Form().minimumSize()}) {
    Form().resize(size);
    SaveShot(Form(), "main-task-editor-" + std::to_string(size.width()));
  }

  // Without a source neither button leaves, and nothing is written.
  const std::string saved = test::ReadFile(ConfigDir() / "config.json");
  Find<QListWidget>(Form(), "lstSources")->setCurrentRow(0);
  Click("btnRemoveSource");
  Click("btnBackToList");
  Click("btnSaveTask");
  EXPECT_TRUE(EditorShown());
  EXPECT_EQ(Messages(), (std::vector<std::string>{NoSourceFolderMessage, NoSourceFolderMessage}));
  EXPECT_EQ(test::ReadFile(ConfigDir() / "config.json"), saved);

  // A click on the filter list stores the editor as it is and shows the list.
  Find<QLineEdit>(Form(), "edtDestination")->setText(QStringLiteral("/yedek/belgeler"));
  Find<QListWidget>(Form(), "lstTasks")->setCurrentRow(1);
  Form().TaskCentre().OnTaskSelected();
  EXPECT_FALSE(EditorShown());
  EXPECT_EQ(docs.DestinationFolder, "/yedek/belgeler");
  EXPECT_TRUE(docs.SourceFolders.empty());

  // Another task, saved with "Kaydet": written, and the list is back.
  Find<QListWidget>(Form(), "lstTasks")->setCurrentRow(0);
  Form().TaskCentre().OnTaskSelected();
  OpenTask(1);
  ASSERT_TRUE(EditorShown());
  EXPECT_EQ(Find<QLineEdit>(Form(), "edtMaxBackups")->text(), QStringLiteral("10"));
  Find<QLineEdit>(Form(), "edtMaxBackups")->setText(QStringLiteral("3"));
  Click("btnSaveTask");
  EXPECT_FALSE(EditorShown());
  EXPECT_EQ(TConfigManager(ConfigDir(), FClock).LoadConfig()->Tasks[1]->MaxBackupsToKeep, 3);
  EXPECT_EQ(Messages().size(), 2u);
}

TEST_F(MainFormEditor, TheSettingsPageCarriesBothEncryptionTools) {
  WriteConfig([this](TBackupConfig& config) { config.Tasks.push_back(NewTask("Belgeler")); });
  Open();
  OpenTask(0);
  Form().ShowPage(2);
  SaveShot(Form(), "main-settings-tools");

  // "Şifre Ayarla" with the editor's box unticked: the question, answered "Hayır".
  Click("btnSettingsEncryption");
  EXPECT_EQ(FPrompts.Questions, std::vector<std::string>{EncryptionOffQuestion});
  EXPECT_TRUE(FPrompts.PasswordPrompts.empty());

  // "Şifre Girişi" without a password held asks for one first.
  Click("btnDecryptTool");
  ASSERT_EQ(FPrompts.PasswordPrompts.size(), 1u);
  EXPECT_EQ(FPrompts.PasswordPrompts[0], (std::vector<std::string>{DecryptPasswordTitle, DecryptPasswordPrompt}));
  EXPECT_EQ(Messages(), std::vector<std::string>{"Şifre girilmediği için işlem iptal edildi."});
}

// An editor left open with a missing destination while another top tab, or the tray, hides it.
TEST_F(MainFormEditor, AnOpenEditorIsCheckedWhicheverPageShows) {
  WriteConfig([this](TBackupConfig& config) { config.Tasks.push_back(NewTask("Belgeler")); });
  Open();
  OpenTask(0);
  ASSERT_TRUE(EditorShown());
  Find<QLineEdit>(Form(), "edtDestination")->clear();
  const std::string saved = test::ReadFile(ConfigDir() / "config.json");
  auto refusedRun = [this](size_t messages) {
    ASSERT_EQ(Messages().size(), messages);
    EXPECT_EQ(Messages().back(), NoLocalDestinationMessage);
    EXPECT_EQ(Log().back(), "ValidateTaskUI false döndü, işlem iptal!");
    EXPECT_EQ(Form().Core().QueueLength(), 0u);
    EXPECT_FALSE(Form().Core().BackupBusy());
  };

  // "Ayarları Kaydet" refuses as it does beside the editor: no general setting, no task.
  Click("tabSettings");
  Find<QLineEdit>(Form(), "edtSpeedLimit")->setText(QStringLiteral("25"));
  Click("btnSaveSettings");
  EXPECT_EQ(Messages(), std::vector<std::string>{NoLocalDestinationMessage});
  EXPECT_FALSE(Logged(SettingsSavedMessage));

  Click("tabHistory");
  Click("btnStartBackup");
  refusedRun(2);

  // The tray button's save refuses too, and a start from the tray menu while the window is hidden.
  Click("btnMinimizeToTray");
  ASSERT_FALSE(Form().isVisible());
  EXPECT_EQ(Messages().size(), 3u);
  Form().TrayIcon().mnuStartBackup->trigger();
  refusedRun(4);

  QApplication::processEvents();
  EXPECT_EQ(test::ReadFile(ConfigDir() / "config.json"), saved);
  EXPECT_TRUE(TConfigManager(ConfigDir(), FClock).LoadHistory().empty());

  // Completed, the editor saves from the settings tab.
  FLoginAnswers = {true};
  Form().Tray().RestoreFromTray();
  Find<QLineEdit>(Form(), "edtDestination")->setText(Qs((FDir / "dest" / "yeni").string()));
  Click("tabSettings");
  Click("btnSaveSettings");
  EXPECT_EQ(Messages().size(), 4u);
  const std::unique_ptr<TBackupConfig> written = TConfigManager(ConfigDir(), FClock).LoadConfig();
  EXPECT_EQ(written->SpeedLimitMBPerSec, 25);
  EXPECT_EQ(written->Tasks[0]->DestinationFolder, (FDir / "dest" / "yeni").string());
}

// Leaving with an incomplete editor: the general settings and the other tasks' unsaved changes are written, the
// editor's edits are not, and the user is told whose they were.
TEST_F(MainFormEditor, ExitWithAnIncompleteEditorKeepsTheRest) {
  WriteConfig([this](TBackupConfig& config) {
    config.Tasks.push_back(NewTask("Belgeler"));
    config.Tasks.push_back(NewTask("Müzik"));
  });
  const std::string musicDestination = (FDir / "dest" / "Müzik").string();
  Open();
  OpenTask(0);
  Find<QLineEdit>(Form(), "edtMaxBackups")->setText(QStringLiteral("3"));
  Find<QListWidget>(Form(), "lstTasks")->setCurrentRow(0);
  Form().TaskCentre().OnTaskSelected();  // stored into the task, not yet written
  OpenTask(1);
  ASSERT_TRUE(EditorShown());
  Find<QLineEdit>(Form(), "edtMaxBackups")->setText(QStringLiteral("5"));
  Find<QLineEdit>(Form(), "edtDestination")->clear();
  Click("tabSettings");
  Find<QLineEdit>(Form(), "edtSpeedLimit")->setText(QStringLiteral("25"));
  Find<QCheckBox>(Form(), "chkShowNotifications")->setChecked(false);

  QSignalSpy closed(&Form(), &TfrmMain::Closed);
  FPrompts.YesNoAnswers = {true};
  Click("btnExit");
  EXPECT_EQ(closed.count(), 1) << "the exit goes on";
  const std::string notice = "'Müzik' görevindeki kaydedilmemiş değişiklikler eksik olduğu için kaydedilmedi.";
  ASSERT_EQ(FPrompts.Messages.size(), 2u);
  EXPECT_EQ(FPrompts.Messages[0].first, NoLocalDestinationMessage);
  EXPECT_EQ(FPrompts.Messages[1],
            std::make_pair(notice + "\r\n\r\nGenel ayarlar ve diğer görevler kaydedildi.", amWarning));
  EXPECT_TRUE(Logged(notice));
  EXPECT_FALSE(Logged(SettingsSavedMessage));

  const std::unique_ptr<TBackupConfig> written = TConfigManager(ConfigDir(), FClock).LoadConfig();
  EXPECT_EQ(written->SpeedLimitMBPerSec, 25);
  EXPECT_FALSE(written->ShowNotifications);
  ASSERT_EQ(written->Tasks.size(), 2u);
  EXPECT_EQ(written->Tasks[0]->MaxBackupsToKeep, 3);
  EXPECT_EQ(written->Tasks[1]->DestinationFolder, musicDestination);
  EXPECT_EQ(written->Tasks[1]->MaxBackupsToKeep, 10);

  // The notice as the user meets it.
  TQtAppPrompts dialogs;
  test::TModalDriver driver;
  driver.Expect(QStringLiteral("frmAppMessage"), [](QWidget& dialog) {
    SaveShot(dialog, "message-exit-edits-not-saved");
    test::ClickButton(dialog, QStringLiteral("Tamam"));
  });
  dialogs.ShowMessage(FPrompts.Messages[1].first, FPrompts.Messages[1].second);
  EXPECT_TRUE(driver.Done());
}

// A password typed into the decrypt tool is kept only once it has decrypted the file; with the remember box off
// it stays in memory only.
TEST_F(MainFormEditor, TheDecryptToolKeepsATypedPasswordOnlyAfterItDecrypted) {
  const fs::path plain = FDir / "rapor.zip";
  const fs::path encrypted = FDir / "rapor.zip.mbe";
  const fs::path registry = FDir / "registry.json";
  auto registryText = [&registry] { return fs::exists(registry) ? test::ReadFile(registry) : std::string(); };
  auto stored = [&registry] { return TEncryptionManager(registry).LoadPasswordFromRegistry(); };
  for (const bool remember : {true, false}) {
    SCOPED_TRACE(remember ? "remembered" : "not remembered");
    fs::remove(registry);
    test::WriteFile(plain, "arşiv");
    {
      TEncryptionManager writer(FDir / "writer-registry.json");
      writer.SetPassword("doğru");
      writer.EncryptFile(plain, encrypted);
    }
    fs::remove(plain);
    Open();
    Click("tabSettings");
    Find<QCheckBox>(Form(), "chkCacheEncryptionPassword")->setChecked(remember);
    auto decrypt = [this, &encrypted](const char* password) {
      FPrompts.Passwords = {std::string(password)};
      FPrompts.Picks = {encrypted.string()};
      const size_t shown = FPrompts.Messages.size();
      Click("btnDecryptTool");
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      while (Form().Core().DecryptToolBusy()) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the decryption did not end";
        QApplication::processEvents();
        QThread::msleep(2);
      }
      ASSERT_EQ(FPrompts.Messages.size(), shown + 1);
    };

    const std::string before = registryText();
    decrypt("yanlış");
    EXPECT_EQ(Messages().back().rfind("Şifre çözme hatası: ", 0), 0u) << Messages().back();
    EXPECT_FALSE(fs::exists(plain));
    EXPECT_EQ(Form().Core().EncryptionManager()->GetPassword(), "");
    EXPECT_EQ(registryText(), before);
    EXPECT_EQ(stored(), "");

    decrypt("doğru");
    EXPECT_EQ(Messages().back(), "Dosya başarıyla çözüldü!\r\nÇözülen dosya: " + plain.string());
    EXPECT_EQ(test::ReadFile(plain), "arşiv");
    EXPECT_EQ(Form().Core().EncryptionManager()->GetPassword(), "doğru");
    EXPECT_EQ(stored(), remember ? "doğru" : "");
    if (!remember) {
      EXPECT_EQ(registryText(), before);
    }

    // Held now, the password is used without asking.
    fs::remove(plain);
    FPrompts.PasswordPrompts.clear();
    decrypt("");
    EXPECT_TRUE(FPrompts.PasswordPrompts.empty());
    EXPECT_EQ(test::ReadFile(plain), "arşiv");
    FPrompts.Messages.clear();
  }
}

}  // namespace
}  // namespace velkor
