// A first headless session as a server user has it, without ever editing config.json: add a task, schedule it, let
// the daemon run it at its minute, read the history, verify the backup, restore it, and notice damage to it. The
// daemon waits for the real clock's minute, so this test takes about a minute.
#include <gtest/gtest.h>

#include <cmath>

#include "CliHarness.h"
#include "config/JsonFormat.h"
#include "platform/Clock.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class CliSession : public test::CliHarness {};

TEST_F(CliSession, AddScheduleDaemonHistoryVerifyRestore) {
  test::WriteTree(FDir / "src" / "Docs", {{"a.txt", "alfa"}, {"alt/b.txt", "beta"}});
  // Relative folders, as typed in a shell: stored absolute, so the daemon finds them from anywhere.
  const TResult added = [&] {
    const fs::path here = fs::current_path();
    fs::current_path(FDir.Path());
    const TResult r = RunCli({"task", "add", "Belgeler", "--source", "src/Docs", "--dest", "dest"});
    fs::current_path(here);
    return r;
  }();
  ASSERT_EQ(added.Exit, 0) << added.Err;
  EXPECT_EQ(added.Out, "Görev oluşturuldu: Belgeler (#1)\n");

  // Far enough from the minute's end that the daemon is up before the schedule falls due.
  if (std::fmod(SystemClock().Now() * MinsPerDay, 1.0) > 45.0 / 60.0) std::this_thread::sleep_for(16s);
  const TDateTime due = std::ceil(SystemClock().Now() * MinsPerDay) / MinsPerDay;
  const char* const dayKeys[] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
  const TCivilDateTime civil = DecodeDateTime(due);
  const std::string at = (civil.Hour < 10 ? "0" : "") + std::to_string(civil.Hour) + ":" +
                         (civil.Minute < 10 ? "0" : "") + std::to_string(civil.Minute);
  const TResult scheduled =
      RunCli({"task", "schedule", "belgeler", "full", "--at", at, "--days", dayKeys[DayOfWeekSun0(due)]});
  ASSERT_EQ(scheduled.Exit, 0) << scheduled.Err;
  EXPECT_NE(scheduled.Out.find("  Tam Yedek: Açık, " + at + ", "), std::string::npos) << scheduled.Out;
  EXPECT_NE(scheduled.Out.find("; sonraki çalışma " + FormatDateTime("dd.mm.yyyy hh:nn", due)), std::string::npos)
      << scheduled.Out;

  {
    test::TCliProcess daemon(Program(), {"daemon"}, FDir.Path());
    ASSERT_TRUE(daemon.WaitForOutput("Program başlatıldı. Görev zamanlayıcı aktif.", 20s)) << daemon.Err();
    // The daemon would write its own copy of the configuration over a change made now.
    const std::string before = test::ReadFile(Manager().ConfigFile());
    const TResult refused = RunCli({"task", "set", "Belgeler", "--folder"});
    EXPECT_EQ(refused.Exit, 1);
    EXPECT_NE(refused.Err.find("Program zaten çalışıyor; değişiklik kaydedilmedi."), std::string::npos) << refused.Err;
    EXPECT_EQ(test::ReadFile(Manager().ConfigFile()), before);

    ASSERT_TRUE(daemon.WaitForOutput("✓ Tamamlandı: ", 100s)) << daemon.Out() << daemon.Err();
    EXPECT_NE(daemon.Out().find("] Görev zamanı geldi (1): Belgeler"), std::string::npos) << daemon.Out();
    daemon.Signal(SIGTERM);
    EXPECT_EQ(daemon.Wait(30s), 0) << daemon.Err();
  }

  const TResult history = RunCli({"history"});
  ASSERT_EQ(history.Exit, 0);
  const auto entries = Manager().LoadHistory();
  ASSERT_EQ(entries.size(), 1u);
  const std::string archive = entries[0].OutputPath;
  EXPECT_EQ(history.Out, "1\t" + FormatDateTime("dd.mm.yyyy hh:nn:ss", entries[0].BackupTime) +
                             "\tBaşarılı\tBelgeler\t" + archive + "\n");
  EXPECT_EQ(fs::path(archive).parent_path(), FDir / "dest");

  const TJson listed = TJson::parse(RunCli({"history", "--json"}).Out);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0]["index"], 1);
  EXPECT_EQ(listed[0]["status"], "Başarılı");
  EXPECT_EQ(listed[0]["success"], true);
  EXPECT_EQ(listed[0]["output"], archive);
  EXPECT_EQ(listed[0]["checksum"], entries[0].Checksum);
  EXPECT_EQ(listed[0]["files"], 2);

  const TResult match = RunCli({"verify", "1"});
  EXPECT_EQ(match.Exit, 0) << match.Out << match.Err;
  EXPECT_EQ(match.Out, "match: " + archive + "\n  SHA-256 " + entries[0].Checksum + "\n");

  const TResult restored = RunCli({"restore", "1", (FDir / "geri").string()});
  EXPECT_EQ(restored.Exit, 0) << restored.Out << restored.Err;
  EXPECT_EQ(test::ReadTree(FDir / "geri"), (test::TFileTree{{"Docs/a.txt", "alfa"}, {"Docs/alt/b.txt", "beta"}}));

  // One byte of the archive changed.
  std::string bytes = test::ReadFile(archive);
  bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x01);
  test::WriteFile(archive, bytes);
  const TResult mismatch = RunCli({"verify", "1"});
  EXPECT_EQ(mismatch.Exit, 1);
  EXPECT_EQ(mismatch.Out.rfind("mismatch: " + archive + "\n  recorded SHA-256 " + entries[0].Checksum + "\n", 0), 0u)
      << mismatch.Out;

  fs::remove(archive);
  const TResult missing = RunCli({"verify", "1"});
  EXPECT_EQ(missing.Exit, 1);
  EXPECT_EQ(missing.Out, "output missing: " + archive + "\n");

  // A folder copy is verified by its manifest, as its run computed it: a file that grew no longer matches.
  ASSERT_EQ(RunCli({"task", "set", "#1", "--folder"}).Exit, 0);
  ASSERT_EQ(RunCli({"run", "#1"}).Exit, 0);
  const std::string folder = Manager().LoadHistory().at(1).OutputPath;
  ASSERT_TRUE(fs::is_directory(folder)) << folder;
  EXPECT_EQ(RunCli({"verify", "2"}).Exit, 0);
  test::WriteFile(fs::path(folder) / "Docs" / "a.txt", "alfa!");
  const TResult grown = RunCli({"verify", "2"});
  EXPECT_EQ(grown.Exit, 1);
  EXPECT_EQ(grown.Out.rfind("mismatch: " + folder, 0), 0u) << grown.Out;
}

}  // namespace
}  // namespace velkor
