// velkor-cli when its surroundings fail: whatever goes wrong ends the command with a message and exit status 1,
// never with an abort or a silent signal.
#include <gtest/gtest.h>

#include <cerrno>

#include "CliHarness.h"
#include "platform/AtomicFile.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

class CliFault : public test::CliHarness {};

TEST_F(CliFault, AConfigurationRootThatIsAFileEndsEveryCommandWithItsMessage) {
  test::WriteFile(FDir / "appdata-file", "not a folder");
  test::TScopedEnv appData("APPDATA", (FDir / "appdata-file").string());
  const std::vector<std::vector<std::string>> commands = {
      {"tasks"},           {"history"},
      {"run", "Belgeler"}, {"restore", "1", (FDir / "geri").string()},
      {"daemon"},          {"decrypt", (FDir / "x.zip.mbe").string()},
  };
  for (const auto& args : commands) {
    const TResult r = RunCli(args);
    EXPECT_EQ(r.Exit, 1) << args[0] << ": " << r.Err;
    EXPECT_NE(r.Err.find("velkor-cli: "), std::string::npos) << args[0] << ": " << r.Err;
    EXPECT_NE(r.Err.find((FDir / "appdata-file").string()), std::string::npos) << args[0] << ": " << r.Err;
    EXPECT_EQ(r.Err.find("terminate called"), std::string::npos) << args[0] << ": " << r.Err;
  }
}

TEST_F(CliFault, AFileSizeLimitFailsTheRunWithAWriteErrorInsteadOfKillingIt) {
  test::WriteFile(FDir / "src" / "Docs" / "big.bin", std::string(1 << 20, 'x'));
  // A folder copy: an archive would hold the megabyte in a few KiB.
  SaveTasks({[this](TBackupTask& task) {
    Task("Belgeler")(task);
    task.CompressBackup = false;
  }});
  std::string output;
  // 256 KiB: the stored files fit, the 1 MiB copy does not.
  const int exit =
      test::RunCommand("ulimit -f 256; exec " + test::ShellQuote(Program().string()) + " run Belgeler", &output);
  EXPECT_EQ(exit, 1) << "not ended by a signal: " << output;
  const auto history = Manager().LoadHistory();
  ASSERT_EQ(history.size(), 1u) << output;
  EXPECT_FALSE(history[0].Success);
  ASSERT_EQ(history[0].Files.size(), 1u);
  EXPECT_FALSE(history[0].Files[0].Success);
  EXPECT_NE(history[0].Files[0].FileName.find("big.bin (" + SystemErrorMessage(EFBIG)), std::string::npos)
      << history[0].Files[0].FileName;
}

// A source on a drive that was unplugged since the last run: the run fails and keeps the only set there is, which
// a "successful" run without the source would have made retention delete.
TEST_F(CliFault, ASourceThatIsGoneFailsTheRunAndRetentionKeepsTheEarlierSet) {
  const fs::path source = FDir / "src" / "Docs";
  test::WriteFile(source / "a.txt", "alfa");
  SaveTasks({[this](TBackupTask& task) {
    Task("Belgeler")(task);
    task.MaxBackupsToKeep = 1;
  }});
  const TResult first = RunCli({"run", "Belgeler"});
  ASSERT_EQ(first.Exit, 0) << first.Out << first.Err;
  const std::string kept = Manager().LoadHistory().at(0).OutputPath;

  fs::remove_all(source);
  const TResult run = RunCli({"run", "Belgeler"});
  EXPECT_EQ(run.Exit, 1) << run.Out << run.Err;
  const std::string message =
      "Yedekleme hatası: kaynak klasör bulunamadı: " + source.string() + ". Eksik kaynakla yedek oluşturulmadı.";
  EXPECT_NE(run.Out.find("] ✗ Hata: " + message), std::string::npos) << run.Out;

  const auto history = Manager().LoadHistory();
  ASSERT_EQ(history.size(), 2u);
  EXPECT_FALSE(history[1].Success);
  EXPECT_EQ(history[1].Details, message);
  ASSERT_EQ(history[1].Files.size(), 1u);
  EXPECT_EQ(history[1].Files[0].FileName, source.string() + " (Kaynak klasör bulunamadı)");
  const std::string listed = RunCli({"history"}).Out;
  EXPECT_NE(listed.find("\tHatalı\tBelgeler\t"), std::string::npos) << listed;

  const auto config = Manager().LoadConfig();
  ASSERT_EQ(config->Tasks.at(0)->BackupChain.size(), 1u);
  EXPECT_EQ(config->Tasks.at(0)->BackupChain[0]->OutputPath, kept);
  std::vector<std::string> destination;
  for (const auto& entry : fs::directory_iterator(FDir / "dest")) destination.push_back(entry.path().string());
  EXPECT_EQ(destination, std::vector<std::string>{kept});
}

}  // namespace
}  // namespace velkor
