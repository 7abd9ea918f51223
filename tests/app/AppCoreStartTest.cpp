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
  StartCore({.Hidden = true});
  EXPECT_TRUE(FCore->IsHiddenStart(true));
  EXPECT_FALSE(FCore->IsHiddenStart(false));
  EXPECT_EQ(FView.LogLines,
            (std::vector<std::string>{
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

}  // namespace
}  // namespace velkor
