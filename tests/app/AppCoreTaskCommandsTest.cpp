// The tool bar's task commands and "Şifre Ayarla" as the window calls them: prompts, messages, saves, log lines.
#include <gtest/gtest.h>

#include "AppCoreHarness.h"
#include "app/TaskRules.h"
#include "crypto/EncryptionCommands.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

class AppCoreTaskCommands : public test::AppCoreHarness {
protected:
  fs::path ConfigFile() const { return ConfigDir() / "config.json"; }
  std::vector<std::string> SavedNames() {
    std::vector<std::string> names;
    const auto saved = SavedConfig();
    for (const auto& task : saved->Tasks) names.push_back(task->Name);
    return names;
  }
  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const auto& [text, kind] : FPrompts.Messages) texts.push_back(text);
    return texts;
  }
};

TEST_F(AppCoreTaskCommands, NewTaskProposesANameAndRefusesBlankOrTakenOnes) {
  StartCore();  // the first start's default task "Yeni Görev"
  FPrompts.Texts = {std::nullopt, "   ", "yeni görev", "Belgeler"};
  EXPECT_EQ(FCore->OnNewTask(), nullptr) << "cancelled";
  EXPECT_EQ(FPrompts.TextPrompts.at(0), (std::vector<std::string>{"Yeni Görev", "Görev Adı:", "Yeni Görev 2"}));
  EXPECT_EQ(FCore->OnNewTask(), nullptr);
  EXPECT_EQ(FCore->OnNewTask(), nullptr);
  EXPECT_EQ(Messages(), (std::vector<std::string>{TaskNameEmptyMessage, TaskNameTakenMessage}));
  EXPECT_EQ(FPrompts.Messages[0].second, amError);
  EXPECT_EQ(Config().Tasks.size(), 1u);
  EXPECT_FALSE(fs::exists(ConfigFile())) << "nothing written for a refused name";

  const int refreshes = FView.TaskListRefreshes;
  TBackupTask* created = FCore->OnNewTask();
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(FCore->CurrentTask(), created);
  EXPECT_EQ(FView.TaskListRefreshes, refreshes + 1);
  EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Yeni Görev", "Belgeler"}));
}

TEST_F(AppCoreTaskCommands, RenameCopyAndDelete) {
  StartCore();
  TBackupTask& docs = AddTask("Belgeler");
  AddTask("Müzik");

  FPrompts.Texts = {std::nullopt, "Belgeler", "MÜZİK", "Evrak"};
  FCore->OnRenameTask(&docs);  // cancelled
  FCore->OnRenameTask(&docs);  // the same name
  EXPECT_EQ(FPrompts.TextPrompts.at(0),
            (std::vector<std::string>{"Görev Adını Değiştir", "Yeni görev adı:", "Belgeler"}));
  EXPECT_FALSE(fs::exists(ConfigFile())) << "neither writes anything";
  FCore->OnRenameTask(&docs);
  EXPECT_EQ(Messages(), std::vector<std::string>{TaskNameTakenMessage});
  FCore->OnRenameTask(&docs);
  EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Yeni Görev", "Evrak", "Müzik"}));

  FCore->OnCopyTask(&docs);
  EXPECT_TRUE(FView.Logged("Görev kopyalandı: Evrak (Kopya)"));
  EXPECT_EQ(SavedNames().back(), "Evrak (Kopya)");
  EXPECT_FALSE(Config().Tasks.back()->Enabled);

  FCore->SetCurrentTask(&docs);
  FPrompts.YesNoAnswers = {false, true};
  FCore->OnDeleteTask(&docs);
  EXPECT_EQ(FPrompts.Questions, std::vector<std::string>{DeleteTaskQuestion});
  EXPECT_EQ(Config().Tasks.size(), 4u);
  FCore->OnDeleteTask(&docs);
  EXPECT_EQ(FCore->CurrentTask(), nullptr);
  EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Yeni Görev", "Müzik", "Evrak (Kopya)"}));
}

TEST_F(AppCoreTaskCommands, ARunningTaskIsNotDeleted) {
  StartCore();
  TBackupTask& docs = AddTask("Belgeler");
  ASSERT_TRUE(FCore->StartManualBackup(docs));
  ASSERT_TRUE(FCore->IsTaskQueuedOrRunning(&docs));
  FPrompts.YesNoAnswers = {true};
  FCore->OnDeleteTask(&docs);
  EXPECT_TRUE(FPrompts.Questions.empty()) << "refused before the question";
  EXPECT_EQ(Messages(), std::vector<std::string>{TaskBusyMessage});
  RunUntilIdle();
  EXPECT_EQ(Config().Tasks.size(), 2u);
  EXPECT_EQ(History().size(), 1u);
}

TEST_F(AppCoreTaskCommands, AFailedSaveIsShownAndLogged) {
  StartCore();
  fs::create_directories(ConfigFile() / "x");  // config.json cannot be replaced
  FPrompts.Texts = {"Belgeler"};
  EXPECT_EQ(FCore->OnNewTask(), nullptr);
  ASSERT_EQ(FPrompts.Messages.size(), 1u);
  EXPECT_EQ(FPrompts.Messages[0].first.rfind("Yapılandırma kaydedilemedi: ", 0), 0u) << FPrompts.Messages[0].first;
  EXPECT_TRUE(FView.Logged(FPrompts.Messages[0].first));
  EXPECT_EQ(Config().Tasks.size(), 1u);
}

TEST_F(AppCoreTaskCommands, SavingTheEditedTaskWritesTheFileOrSaysWhyNot) {
  FUseEditor = true;
  StartCore();
  TBackupTask& docs = AddTask("Belgeler");
  FCore->SetCurrentTask(&docs);
  FEditor.EditorValues = [](TBackupTask& task) { task.MaxBackupsToKeep = 3; };
  FEditor.Valid = false;
  EXPECT_FALSE(FCore->SaveCurrentTask());
  EXPECT_FALSE(fs::exists(ConfigFile())) << "a refused editor saves nothing";

  FEditor.Valid = true;
  EXPECT_TRUE(FCore->SaveCurrentTask());
  EXPECT_EQ(SavedConfig()->Tasks.at(1)->MaxBackupsToKeep, 3);

  fs::remove(ConfigFile());
  fs::create_directories(ConfigFile() / "x");
  EXPECT_FALSE(FCore->SaveCurrentTask());
  ASSERT_FALSE(Messages().empty());
  EXPECT_EQ(Messages().back().rfind("Yapılandırma kaydedilemedi: ", 0), 0u) << Messages().back();
  EXPECT_TRUE(FView.Logged(Messages().back()));
}

TEST_F(AppCoreTaskCommands, SetEncryptionPassword) {
  StartCore();
  bool encrypt = false;
  FPrompts.YesNoAnswers = {false};
  FCore->EncryptionSettingsClick(encrypt, true);
  EXPECT_FALSE(encrypt);
  EXPECT_TRUE(FPrompts.PasswordPrompts.empty()) << "No changes nothing";
  ASSERT_EQ(FPrompts.Questions.size(), 1u);
  EXPECT_EQ(FPrompts.Questions[0], EncryptionOffQuestion);

  FPrompts.YesNoAnswers = {true};
  FPrompts.Passwords = {"kasa parolası"};
  FCore->EncryptionSettingsClick(encrypt, true);
  EXPECT_TRUE(encrypt) << "switched on by the answer";
  EXPECT_EQ(FPrompts.PasswordPrompts.at(0),
            (std::vector<std::string>{"Şifreleme Ayarları", "Yeni şifreyi girin:", "Şifreyi tekrar girin:"}));
  EXPECT_EQ(Messages().back(),
            "Şifreleme şifresi başarıyla kaydedildi!\r\n\r\nArtık yedeklemeler program içi parola koruması ile .mbe "
            "uzantısında saklanacak.");
  EXPECT_EQ(FPrompts.Messages.back().second, amSuccess);
  EXPECT_TRUE(FView.Logged("Şifreleme şifresi güncellendi"));
  EXPECT_EQ(TEncryptionManager(RegistryFile()).LoadPasswordFromRegistry(), "kasa parolası");

  // Not remembered: the stored copy goes, and the one just set with it, so the next encrypted run asks again.
  FPrompts.Passwords = {"başka"};
  FCore->EncryptionSettingsClick(encrypt, false);
  EXPECT_EQ(FPrompts.Questions.size(), 2u) << "the box was ticked: no question";
  EXPECT_EQ(TEncryptionManager(RegistryFile()).LoadPasswordFromRegistry(), "");
  EXPECT_EQ(FCore->EncryptionManager()->GetPassword(), "");
}

TEST_F(AppCoreTaskCommands, DecryptToolRunsOnAWorkerAndReportsWhenDone) {
  StartCore();
  const fs::path plain = FDir / "rapor.zip";
  test::WriteFile(plain, std::string(200000, 'r'));
  const fs::path encrypted = FDir / "rapor.zip.mbe";
  {
    TEncryptionManager writer(RegistryFile());
    writer.SetPassword("doğru");
    writer.EncryptFile(plain, encrypted);
  }
  fs::remove(plain);
  auto waitForDecrypt = [this] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (FCore->DecryptToolBusy()) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the decryption did not end";
      if (FMain.ProcessPending() == 0) FMain.WaitForWork(20);
    }
  };

  // No password entered: nothing more is asked.
  FCore->DecryptToolClick(false);
  EXPECT_EQ(FPrompts.PasswordPrompts.at(0), (std::vector<std::string>{DecryptPasswordTitle, DecryptPasswordPrompt}));
  EXPECT_EQ(Messages(), std::vector<std::string>{"Şifre girilmediği için işlem iptal edildi."});
  EXPECT_TRUE(FPrompts.Pickers.empty());

  // A wrong password: the tool's error with the hint, and no output.
  FPrompts.Passwords = {"yanlış"};
  FPrompts.Picks = {encrypted.string()};
  FCore->DecryptToolClick(false);
  EXPECT_EQ(FPrompts.Pickers.at(0), (std::vector<std::string>{DecryptFileDialogTitle, DecryptFileDialogFilter, ""}));
  waitForDecrypt();
  EXPECT_EQ(Messages().back().rfind("Şifre çözme hatası: ", 0), 0u) << Messages().back();
  EXPECT_NE(Messages().back().find("\r\nLütfen şifrenin doğru olduğundan emin olun."), std::string::npos);
  EXPECT_FALSE(fs::exists(plain));

  // The password held now is used without asking; a second request while one runs is refused.
  FCore->EncryptionManager()->SetPassword("doğru");
  FPrompts.Picks = {encrypted.string()};
  FCore->DecryptToolClick(false);
  EXPECT_TRUE(FView.Logged("Dosya şifresi çözülüyor: rapor.zip.mbe"));
  FCore->DecryptToolClick(false);
  EXPECT_EQ(Messages().back(),
            "Bir dosyanın şifresi şu anda çözülüyor. Yeni bir dosya seçmeden önce işlemin bitmesini bekleyin.");
  waitForDecrypt();
  EXPECT_EQ(FPrompts.PasswordPrompts.size(), 2u);
  EXPECT_EQ(Messages().back(), "Dosya başarıyla çözüldü!\r\nÇözülen dosya: " + plain.string());
  EXPECT_TRUE(FView.Logged("Dosya şifresi çözüldü: rapor.zip.mbe"));
  EXPECT_EQ(test::ReadFile(plain), std::string(200000, 'r'));
}

}  // namespace
}  // namespace velkor
