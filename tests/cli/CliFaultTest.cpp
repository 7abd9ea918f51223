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

}  // namespace
}  // namespace velkor
