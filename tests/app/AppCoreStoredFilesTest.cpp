// The stored files as the window meets them at start-up and across restarts.
#include <gtest/gtest.h>

#include "AppCoreHarness.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

class AppCoreStoredFiles : public test::AppCoreHarness {};

// A file whose name is not UTF-8 is known to the chain after a restart, so an incremental run with nothing new
// copies nothing, instead of copying it again every time.
TEST_F(AppCoreStoredFiles, NameThatIsNotUtf8IsStillKnownAfterARestart) {
  StartCore();
  TBackupTask& task = AddTask("Adlar", {{"a.txt", "alfa"}, {"b\xFF\xC3.txt", "beta"}});
  // Change detection compares file times with the run's time, so the clock is past the files.
  FClock.SetNow(SystemClock().Now() + 1.0 / 24);
  RunManual(task, btFull);
  ASSERT_EQ(task.BackupChain.size(), 1u);
  const std::vector<std::string> known = task.BackupChain[0]->KnownFiles;
  ASSERT_EQ(known, (std::vector<std::string>{"Adlar/a.txt", "Adlar/b\xFF\xC3.txt"}));

  FCore.reset();
  StartCore();
  ASSERT_EQ(Config().Tasks.size(), 2u) << "the start-up's empty task, then ours";
  TBackupTask& reloaded = *Config().Tasks[1];
  ASSERT_EQ(reloaded.Name, "Adlar");
  ASSERT_EQ(reloaded.BackupChain.size(), 1u);
  EXPECT_EQ(reloaded.BackupChain[0]->KnownFiles, known);
  RunManual(reloaded, btIncremental);
  const auto history = History();
  ASSERT_EQ(history.size(), 2u);
  EXPECT_TRUE(history[1].Success);
  EXPECT_TRUE(StartsText("Değişiklik bulunamadı", history[1].Details)) << history[1].Details;
  EXPECT_EQ(reloaded.BackupChain.size(), 1u);
}

// A damaged configuration is named in the activity log with where its copy was kept.
TEST_F(AppCoreStoredFiles, DamagedConfigurationIsLoggedAtStart) {
  fs::create_directories(ConfigDir());
  test::WriteFile(ConfigDir() / "config.json", "{\"Tasks\":[{\"Name\":\"Bel\xFFgeler\"}]}");
  StartCore();
  ASSERT_EQ(Config().Tasks.size(), 1u);
  EXPECT_EQ(Config().Tasks[0]->Name, "Bel\xEF\xBF\xBDgeler");
  const std::vector<std::string> report = FCore->ConfigManager()->DamageReport();
  ASSERT_EQ(report.size(), 1u);
  EXPECT_NE(report[0].find("config.json.damaged-"), std::string::npos) << report[0];
  EXPECT_TRUE(FView.Logged(report[0])) << report[0];
}

}  // namespace
}  // namespace velkor
