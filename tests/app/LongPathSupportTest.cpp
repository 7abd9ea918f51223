// The start-up check of the long-path switch, with a scripted switch and real files in the temporary folder.
#include <gtest/gtest.h>

#include "AppCoreHarness.h"
#include "app/LongPathSupport.h"
#include "platform/AppPaths.h"
#include "util/Error.h"

namespace velkor {
namespace {

class TScriptedSwitch final : public ILongPathSwitch {
public:
  std::optional<bool> Enabled;  // nullopt: reading fails
  bool Starts = false;
  std::vector<std::string> Started;
  std::vector<std::filesystem::path> FilesAtStart;

  bool ReadLongPathsEnabled() override {
    if (!Enabled) throw EVelkorError("Erişim engellendi");
    return *Enabled;
  }
  bool StartElevated(const std::string& program, const std::string& parameters) override {
    Started.push_back(program + " " + parameters);
    for (const auto& entry : std::filesystem::directory_iterator(GetUserTempDirectory()))
      FilesAtStart.push_back(entry.path());
    return Starts;
  }
};

class LongPathSupport : public test::AppCoreHarness {
protected:
  TScriptedSwitch FSwitch;
  std::vector<std::string> FLog;

  void Check() {
    CheckLongPathSupport(FSwitch, FPrompts, FClock, [this](const std::string& line) { FLog.push_back(line); });
  }
  size_t TempEntries() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(FDir / "tmp"), {}));
  }
};

TEST_F(LongPathSupport, SwitchOnIsOneLineAndNoQuestion) {
  FSwitch.Enabled = true;
  Check();
  EXPECT_EQ(FLog, std::vector<std::string>{"Windows long path desteği etkin."});
  EXPECT_TRUE(FPrompts.Questions.empty());
  EXPECT_TRUE(SystemLongPathSwitch().ReadLongPathsEnabled()) << "Linux has no path length switch";
}

TEST_F(LongPathSupport, DeclinedOrUnreadableSwitchIsPutOff) {
  Check();  // unreadable: counts as off
  EXPECT_EQ(FLog, (std::vector<std::string>{"Long path registry durumu okunamadi: Erişim engellendi",
                                            "Windows long path desteği kapalı bulundu.",
                                            "Long path desteği kullanıcı tarafından ertelendi."}));
  ASSERT_EQ(FPrompts.Questions.size(), 1u);
  EXPECT_EQ(FPrompts.Questions[0].rfind("Windows uzun dosya yolu desteği şu anda kapalı.\r\n\r\n", 0), 0u);
  EXPECT_TRUE(FSwitch.Started.empty());
  EXPECT_EQ(TempEntries(), 0u);
}

TEST_F(LongPathSupport, ElevationDeclinedRemovesBothFiles) {
  FSwitch.Enabled = false;
  FPrompts.YesNoAnswers = {true};
  Check();
  ASSERT_EQ(FSwitch.Started.size(), 1u);
  EXPECT_EQ(FSwitch.FilesAtStart.size(), 2u);
  EXPECT_EQ(TempEntries(), 0u);
  EXPECT_EQ(FLog.back(), "Long path registry ayarı için yükseltilmiş komut başlatılamadı.");
  EXPECT_EQ(FPrompts.Messages.back().first,
            "Yönetici komutu başlatılamadı.\r\nLong path registry ayarı otomatik uygulanamadı.");
}

TEST_F(LongPathSupport, StartedImportLeavesItsFilesToTheScript) {
  FSwitch.Enabled = false;
  FSwitch.Starts = true;
  FPrompts.YesNoAnswers = {true};
  Check();
  EXPECT_EQ(FLog.back(), "Long path registry ayarı için yükseltilmiş komut başlatıldı.");
  EXPECT_EQ(FPrompts.Messages.back().first.rfind("Yönetici onayından sonra LongPathsEnabled ayarı", 0), 0u);
  const std::string stamp = FormatDateTime("yyyymmddhhnnsszzz", FClock.Now());
  const std::filesystem::path reg = FDir / "tmp" / ("QeltBackup_LongPaths_" + stamp + ".reg");
  const std::filesystem::path script = FDir / "tmp" / ("QeltBackup_LongPaths_" + stamp + ".cmd");
  const std::string regBytes = test::ReadFile(reg);
  const std::string firstLine = "Windows Registry Editor Version 5.00\r\n";
  ASSERT_GE(regBytes.size(), 2 + 2 * firstLine.size());
  EXPECT_EQ(regBytes.substr(0, 2), "\xFF\xFE");
  for (size_t i = 0; i < firstLine.size(); ++i) {
    EXPECT_EQ(regBytes[2 + 2 * i], firstLine[i]) << i;
    EXPECT_EQ(regBytes[3 + 2 * i], '\0') << i;
  }
  EXPECT_EQ(test::ReadFile(script), "@echo off\r\nreg import \"" + reg.string() +
                                        "\"\r\nset EXITCODE=%ERRORLEVEL%\r\ndel /f /q \"" + reg.string() +
                                        "\" >nul 2>nul\r\ndel /f /q \"%~f0\" >nul 2>nul\r\nexit /b %EXITCODE%\r\n");
  EXPECT_EQ(FSwitch.Started[0], "cmd.exe /c \"" + script.string() + "\"");
}

}  // namespace
}  // namespace velkor
