// The daemon over the real clock: it waits for a schedule's minute, so this test takes about a minute.
#include <gtest/gtest.h>

#include <cmath>

#include "CliHarness.h"
#include "platform/Clock.h"

namespace velkor {
namespace {

using namespace std::chrono_literals;

class CliDaemon : public test::CliHarness {};

TEST_F(CliDaemon, RunsADueTaskAtItsMinuteAndStopsOnSigterm) {
  // Far enough from the minute's end that the daemon is up before the schedule falls due.
  if (std::fmod(SystemClock().Now() * MinsPerDay, 1.0) > 50.0 / 60.0) std::this_thread::sleep_for(12s);
  const TDateTime due = std::ceil(SystemClock().Now() * MinsPerDay) / MinsPerDay;
  const TCivilDateTime at = DecodeDateTime(due);

  test::WriteTree(FDir / "src" / "Docs", {{"a.txt", "alfa"}});
  SaveTasks({[&](TBackupTask& task) {
    Task("Zamanlı")(task);
    task.CompressBackup = false;
    task.Schedule.SetEnabled(true);
    task.Schedule.FullSchedule().SetEnabled(true);
    task.Schedule.FullSchedule().SetIntervalHours(at.Hour);
    task.Schedule.FullSchedule().SetIntervalMinutes(at.Minute);
  }});

  test::TCliProcess daemon(Program(), {"daemon"}, FDir.Path());
  ASSERT_TRUE(daemon.WaitForOutput("Program başlatıldı. Görev zamanlayıcı aktif.", 20s)) << daemon.Err();

  // One instance at a time: a second daemon and a run are refused while this one holds the guard.
  for (const std::vector<std::string>& args : {std::vector<std::string>{"daemon"}, {"run", "Zamanlı"}}) {
    const TResult refused = RunCli(args);
    EXPECT_EQ(refused.Exit, 1) << args[0];
    EXPECT_EQ(refused.Err, "Program zaten çalışıyor.\nİkinci kez açılmasına izin verilmedi.\n");
  }

  ASSERT_TRUE(daemon.WaitForOutput("✓ Tamamlandı: ", 100s)) << daemon.Out() << daemon.Err();
  const std::string out = daemon.Out();
  EXPECT_NE(out.find("] Görev zamanı geldi (1): Zamanlı"), std::string::npos) << out;
  // The log line comes just before the history entry is written.
  std::vector<TBackupHistoryItem> history;
  for (int i = 0; i < 200 && history.empty(); ++i) {
    history = Manager().LoadHistory();
    if (history.empty()) std::this_thread::sleep_for(50ms);
  }
  ASSERT_EQ(history.size(), 1u);
  EXPECT_TRUE(history[0].Success);
  EXPECT_GE(history[0].BackupTime, due);
  EXPECT_LT(history[0].BackupTime, due + 30.0 / SecsPerDay) << "within seconds of its minute";
  EXPECT_NEAR(Manager().LoadConfig()->Tasks.at(0)->Schedule.FullSchedule().LastRun(), due, 30.0 / SecsPerDay);

  daemon.Signal(SIGTERM);
  EXPECT_EQ(daemon.Wait(30s), 0) << daemon.Err();
}

}  // namespace
}  // namespace velkor
