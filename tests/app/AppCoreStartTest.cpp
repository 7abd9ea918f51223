// Start-up and the settings save of the application core, without any run.
#include <gtest/gtest.h>

#include "AppCoreHarness.h"

namespace velkor {
namespace {

class AppCoreStart : public test::AppCoreHarness {};

TEST_F(AppCoreStart, FirstStartWithoutConfiguration) {
  StartCore();
  ASSERT_EQ(Config().Tasks.size(), 1u) << "one default task to begin with";
  EXPECT_EQ(Config().Tasks[0]->Name, "Yeni Görev");
  EXPECT_TRUE(FCore->StartupComplete());
  EXPECT_EQ(FView.LogLines, std::vector<std::string>{"Program başlatıldı. Görev zamanlayıcı aktif."});
  EXPECT_EQ(FView.Status[1], "Planlanmış görev yok");
  EXPECT_EQ(FView.RunState, TRunUiState{});
  EXPECT_EQ(FView.Capacity->State, "Alan analizi için bir görev seçin.");
  EXPECT_GE(FView.TaskListRefreshes, 1);
  EXPECT_GE(FView.HistoryRefreshes, 1);
  EXPECT_FALSE(std::filesystem::exists(ConfigDir() / "config.json")) << "the default task waits for the next save";
}

TEST_F(AppCoreStart, HiddenStartAndTheStoredPassword) {
  TEncryptionManager(RegistryFile()).SavePasswordToRegistry("kayıtlı");
  {
    TConfigManager manager(ConfigDir(), FClock);
    TBackupConfig config;
    config.StartWithWindows = true;
    config.MinimizeToTray = true;
    manager.SaveConfig(config);
  }
  FLongPaths = &SystemLongPathSwitch();
  StartCore({.Hidden = true, .MinimizeToTray = [this] { FCore->AddLog("tray"); }});
  EXPECT_TRUE(FCore->IsHiddenStart(true));
  EXPECT_FALSE(FCore->IsHiddenStart(false));
  EXPECT_EQ(FView.LogLines,
            (std::vector<std::string>{
                "Windows long path desteği etkin.", "tray",
                "Windows başlangıcında sessiz modda başlatıldı; görev zamanlayıcı arka planda çalışıyor.",
                "Program başlatıldı. Görev zamanlayıcı aktif."}));
  EXPECT_EQ(FCore->EncryptionManager()->GetPassword(), "kayıtlı");

  // Switching the remembered password off forgets it at the save.
  Config().CacheEncryptionPassword = false;
  EXPECT_TRUE(FCore->SaveAllSettings());
  EXPECT_TRUE(FView.Logged("Tüm ayarlar ve görevler kaydedildi."));
  EXPECT_EQ(TEncryptionManager(RegistryFile()).LoadPasswordFromRegistry(), "");
  EXPECT_FALSE(SavedConfig()->CacheEncryptionPassword);
  EXPECT_TRUE(std::filesystem::exists(FDir / "xdg" / "autostart" / "velkor.desktop"));
}

TEST_F(AppCoreStart, AbandonedStartLeavesEveryHandlerHarmless) {
  TAppCoreServices services(FView, FPrompts, FClock, FMain);
  services.ConfigDirectory = ConfigDir();
  FCore = std::make_unique<TAppCore>(services);
  FCore->LoadConfiguration();
  FCore->AbandonStart();
  FCore->Start();
  FCore->Timer1Timer();
  FCore->AddLog("yok");
  FCore->ProcessQueue();
  FCore->CancelBackup();
  EXPECT_TRUE(FCore->AllowClose());
  EXPECT_EQ(FCore->Config(), nullptr);
  EXPECT_TRUE(FView.LogLines.empty());
}

TEST_F(AppCoreStart, TrayStartSwitch) {
  const struct {
    std::vector<std::string> Args;
    bool Tray;
  } cases[] = {
      {{"/TRAY"}, true},   {{"-tray"}, true}, {{"x", "/Tray"}, true}, {{"tray"}, false}, {{"//tray"}, false},
      {{"/trayx"}, false}, {{}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsTrayStartRequested(c.Args), c.Tray) << ::testing::PrintToString(c.Args);
}

TEST_F(AppCoreStart, TheEditorGuardsManualStartsAndSaves) {
  FUseEditor = true;
  StartCore();
  auto task = std::make_unique<TBackupTask>(FClock);
  task->Name = "Düzenlenen";
  TBackupTask& edited = *task;
  Config().Tasks.push_back(std::move(task));
  FCore->SetCurrentTask(&edited);

  FEditor.Valid = false;
  FCore->StartBackupClick();
  EXPECT_TRUE(FView.Logged("ValidateTaskUI false döndü, işlem iptal!"));
  EXPECT_FALSE(FView.Logged("Validasyon başarılı."));
  EXPECT_EQ(FCore->QueueLength(), 0u);
  EXPECT_FALSE(FCore->BackupBusy());
  EXPECT_FALSE(FCore->SaveAllSettings()) << "nothing saved while the editor is invalid";
  EXPECT_FALSE(std::filesystem::exists(ConfigDir() / "config.json"));

  // Valid: the editor's unsaved values go into the task before it is queued (here: no source, so it is refused).
  FEditor.Valid = true;
  FEditor.EditorValues = [](TBackupTask& t) { t.SourceFolders.clear(); };
  FCore->StartBackupClick();
  EXPECT_EQ(FEditor.Saved, std::vector<std::string>{"Düzenlenen"});
  RunUntilIdle();
  ASSERT_EQ(History().size(), 1u);
  EXPECT_EQ(History()[0].Details, "Görev yapılandırması eksik. Kaynak klasör kontrol edilmeli.");

  EXPECT_TRUE(FCore->SaveAllSettings());
  EXPECT_EQ(SavedConfig()->SpeedLimitMBPerSec, 7) << "the settings page's values are saved";

  FEditor.SourceCount = 0;
  FCore->TestBackupClick();
  EXPECT_EQ(FPrompts.Messages.back(),
            std::make_pair(std::string("Test için en az bir kaynak klasör ekleyin!"), amInfo));

  // While the editor fills its controls the space analysis waits.
  FEditor.Loading = true;
  FView.Capacity.reset();
  FCore->AnalyzeDestinationSpace();
  EXPECT_FALSE(FView.Capacity.has_value());
}

}  // namespace
}  // namespace velkor
