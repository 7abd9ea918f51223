// The task editor in the main window: opened from the task list, left only when it may be saved, stored unchecked
// when the filter list is clicked, "Kaydet" writing the file, and the two encryption tools of the settings page.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "MainFormFixture.h"
#include "app/TaskRules.h"
#include "crypto/EncryptionCommands.h"
#include "ui/SettingsPage.h"
#include "ui/TaskCentrePage.h"

namespace velkor {
namespace {

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

}  // namespace
}  // namespace velkor
