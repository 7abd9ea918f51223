#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "app/DueTasks.h"
#include "support/FakeClock.h"

namespace velkor {
namespace {

using test::TFakeClock;

// 2024-05-01 is a Wednesday.
TDateTime May(int day, int hour, int minute) { return EncodeDateTime(2024, 5, day, hour, minute, 0); }

class DueTasks : public ::testing::Test {
protected:
  TFakeClock FClock{May(1, 0, 0)};
  TBackupConfig FConfig;
  // The run queue as the main window keeps it: waiting requests, oldest first, and the one running.
  std::deque<std::pair<TBackupTask*, int>> FQueue;
  std::pair<TBackupTask*, int> FRunning{nullptr, 0};
  std::vector<std::string> FLog;
  const TFormatSettings FFormat = TurkishFormatSettings();

  // A task whose full sub-schedule runs daily at `hour`:00, with its schedule switched on.
  TBackupTask& AddTask(const std::string& name, int hour, bool enabled = true) {
    auto task = std::make_unique<TBackupTask>(FClock);
    task->Name = name;
    task->Enabled = enabled;
    task->Schedule.SetEnabled(true);
    task->Schedule.FullSchedule().SetIntervalHours(hour);
    FConfig.Tasks.push_back(std::move(task));
    return *FConfig.Tasks.back();
  }

  TDueTaskQueue Queue() {
    return {[this](const TBackupTask& task, int type) {
              if (FRunning.first == &task && FRunning.second == type) return true;
              for (const auto& [queued, queuedType] : FQueue)
                if (queued == &task && queuedType == type) return true;
              return false;
            },
            [this](TBackupTask& task, int type) { FQueue.emplace_back(&task, type); },
            [this](const std::string& line) { FLog.push_back(line); }};
  }

  // One timer tick at `now`.
  int TickAt(TDateTime now) {
    FClock.SetNow(now);
    return QueueDueTasks(&FConfig, Queue());
  }

  // What the dispatcher does with the oldest request: it runs, and its sub-schedule is moved on.
  void Dispatch() {
    ASSERT_FALSE(FQueue.empty());
    FRunning = FQueue.front();
    FQueue.pop_front();
    FRunning.first->Schedule.ResetTimer(FRunning.second);
  }

  std::vector<std::pair<std::string, int>> Queued() const {
    std::vector<std::pair<std::string, int>> result;
    for (const auto& [task, type] : FQueue) result.emplace_back(task->Name, type);
    return result;
  }
};

TEST_F(DueTasks, QueuesDueTasksInListOrderAndNeverADisabledOne) {
  AddTask("Belgeler", 3);
  AddTask("Kapalı", 2, /*enabled=*/false);
  AddTask("Fotoğraflar", 2);
  AddTask("Zamanlama kapalı", 2).Schedule.SetEnabled(false);

  EXPECT_EQ(TickAt(May(1, 1, 59)), 0);
  EXPECT_EQ(TickAt(May(1, 3, 0)), 2);
  EXPECT_EQ(Queued(), (std::vector<std::pair<std::string, int>>{{"Belgeler", 1}, {"Fotoğraflar", 1}}));
  EXPECT_EQ(FLog,
            (std::vector<std::string>{"Görev zamanı geldi (1): Belgeler", "Görev zamanı geldi (1): Fotoğraflar"}));

  // A day of ticks while the two requests wait: nothing more is queued or logged, the disabled task never.
  FLog.clear();
  for (TDateTime t = May(1, 3, 1); t < May(2, 3, 0); t = IncMinute(t, 1)) TickAt(t);
  EXPECT_EQ(Queued().size(), 2u);
  EXPECT_TRUE(FLog.empty());
}

TEST_F(DueTasks, OneRequestPerTaskAndTickFullFirst) {
  TBackupTask& task = AddTask("Sunucu", 3);
  task.Schedule.IncSchedule().SetEnabled(true);
  task.Schedule.IncSchedule().SetIntervalHours(3);

  EXPECT_EQ(TickAt(May(1, 3, 0)), 1);
  EXPECT_EQ(Queued(), (std::vector<std::pair<std::string, int>>{{"Sunucu", 1}}));
  EXPECT_EQ(TickAt(May(1, 3, 1)), 0) << "the queued full run hides the incremental one";

  Dispatch();
  EXPECT_EQ(TickAt(May(1, 3, 2)), 1) << "the full run is running; the incremental one comes next";
  EXPECT_EQ(Queued(), (std::vector<std::pair<std::string, int>>{{"Sunucu", 3}}));
  EXPECT_EQ(TickAt(May(1, 3, 3)), 0);
  Dispatch();
  EXPECT_EQ(TickAt(May(1, 3, 4)), 0);
  EXPECT_EQ(FLog, (std::vector<std::string>{"Görev zamanı geldi (1): Sunucu", "Görev zamanı geldi (3): Sunucu"}));
}

TEST_F(DueTasks, RunStillRunningAtItsNextTimeIsSkippedSilently) {
  TBackupTask& task = AddTask("Sunucu", 3);
  TickAt(May(1, 3, 0));
  Dispatch();
  // The run takes more than a day: its next time comes while it still runs.
  EXPECT_EQ(TickAt(May(2, 3, 0)), 0);
  EXPECT_EQ(TickAt(May(2, 3, 1)), 0);
  EXPECT_EQ(FLog.size(), 1u);
  FRunning = {&task, 0};  // a manual run of the same task does not hide the scheduled one
  EXPECT_EQ(TickAt(May(2, 3, 2)), 1);
  EXPECT_EQ(Queued(), (std::vector<std::pair<std::string, int>>{{"Sunucu", 1}}));
}

TEST_F(DueTasks, NoConfigurationNoScan) {
  AddTask("Belgeler", 3);
  FClock.SetNow(May(1, 3, 0));
  EXPECT_EQ(QueueDueTasks(nullptr, Queue()), 0);
  EXPECT_TRUE(FQueue.empty());
}

TEST_F(DueTasks, TaskListRowsAndFilter) {
  AddTask("Belgeler", 3).LastSuccessfulBackupTime = EncodeDateTime(2024, 4, 30, 22, 15, 0);
  AddTask("Kapalı", 2, /*enabled=*/false).LastSuccessfulBackupTime = EncodeDate(2024, 4, 29);
  AddTask("Zamanlama kapalı", 2).Schedule.SetEnabled(false);
  AddTask("Alt planlar kapalı", 2).Schedule.FullSchedule().SetEnabled(false);

  const auto rows = TaskListRows(FConfig, tfAll, FFormat);
  ASSERT_EQ(rows.size(), 4u);
  auto cells = [](const TTaskListRow& r) { return std::vector<std::string>{r.Status, r.Name, r.NextRun, r.LastRun}; };
  EXPECT_EQ(cells(rows[0]), (std::vector<std::string>{"✅", "Belgeler", "01.05.2024 03:00", "30.04.2024 22:15"}));
  EXPECT_EQ(cells(rows[1]), (std::vector<std::string>{"❌", "Kapalı", "-", "29.04.2024 00:00"}));
  EXPECT_EQ(cells(rows[2]), (std::vector<std::string>{"✅", "Zamanlama kapalı", "-", "-"}));
  EXPECT_EQ(cells(rows[3]), (std::vector<std::string>{"✅", "Alt planlar kapalı", "-", "-"}));
  EXPECT_EQ(rows[1].Task, FConfig.Tasks[1].get());

  struct TCase {
    std::string Selection;
    std::vector<std::string> Names;
  };
  const TCase cases[] = {
      {"Tüm Görevler", {"Belgeler", "Kapalı", "Zamanlama kapalı", "Alt planlar kapalı"}},
      {"", {"Belgeler", "Kapalı", "Zamanlama kapalı", "Alt planlar kapalı"}},
      {"Aktif Görevler", {"Belgeler", "Zamanlama kapalı", "Alt planlar kapalı"}},
      {"Pasif Görevler", {"Kapalı"}},
  };
  for (const TCase& c : cases) {
    std::vector<std::string> names;
    for (const TTaskListRow& row : TaskListRows(FConfig, TaskFilterFromText(c.Selection), FFormat))
      names.push_back(row.Name);
    EXPECT_EQ(names, c.Names) << c.Selection;
  }
}

TEST_F(DueTasks, NextRunStatusText) {
  EXPECT_EQ(NextRunStatusText(FConfig, FFormat), "Planlanmış görev yok");
  AddTask("Kapalı", 1, /*enabled=*/false);
  AddTask("Zamanlama kapalı", 1).Schedule.SetEnabled(false);
  AddTask("Alt planlar kapalı", 1).Schedule.FullSchedule().SetEnabled(false);
  EXPECT_EQ(NextRunStatusText(FConfig, FFormat), "Planlanmış görev yok");

  AddTask("Belgeler", 5);
  TBackupTask& photos = AddTask("Fotoğraflar", 4);
  AddTask("Arşiv", 4);
  EXPECT_EQ(NextRunStatusText(FConfig, FFormat), "Sıradaki: Fotoğraflar (04:00)") << "the earlier task wins a tie";

  photos.Schedule.DiffSchedule().SetEnabled(true);
  photos.Schedule.DiffSchedule().SetIntervalHours(2);
  photos.Schedule.DiffSchedule().SetIntervalMinutes(45);
  EXPECT_EQ(NextRunStatusText(FConfig, FFormat), "Sıradaki: Fotoğraflar (02:45)");
}

}  // namespace
}  // namespace velkor
