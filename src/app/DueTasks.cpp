#include "app/DueTasks.h"

namespace velkor {

namespace {

constexpr const char* TaskListTimePicture = "dd.mm.yyyy hh:nn";

// The next run a task will make on its own, or 0 when it will not run by schedule.
TDateTime ScheduledNextRun(const TBackupTask& task) {
  if (!task.Enabled || !task.Schedule.Enabled()) return 0;
  return task.Schedule.NextBackupTime();
}

}  // namespace

int QueueDueTasks(TBackupConfig* config, const TDueTaskQueue& queue) {
  if (config == nullptr) return 0;
  int added = 0;
  for (const std::unique_ptr<TBackupTask>& task : config->Tasks) {
    if (!task->Enabled) continue;
    int scheduledType = stNone;
    // One request per task and tick at most: the schedule names a single type.
    if (!task->Schedule.IsTimeToBackup(scheduledType)) continue;
    // Still waiting or running from an earlier tick; the sub-schedule stays due until its run is dispatched.
    if (queue.IsRunQueuedOrRunning(*task, scheduledType)) continue;
    queue.AddLog("Görev zamanı geldi (" + std::to_string(scheduledType) + "): " + task->Name);
    queue.Enqueue(*task, scheduledType);
    ++added;
  }
  return added;
}

TTaskFilter TaskFilterFromText(std::string_view selection) {
  if (selection == TaskFilterTexts[tfActive]) return tfActive;
  if (selection == TaskFilterTexts[tfPassive]) return tfPassive;
  return tfAll;
}

std::vector<TTaskListRow> TaskListRows(const TBackupConfig& config, TTaskFilter filter, const TFormatSettings& fs) {
  std::vector<TTaskListRow> rows;
  for (const std::unique_ptr<TBackupTask>& task : config.Tasks) {
    if ((filter == tfActive && !task->Enabled) || (filter == tfPassive && task->Enabled)) continue;
    TTaskListRow row;
    row.Status = task->Enabled ? "✅" : "❌";
    row.Name = task->Name;
    const TDateTime next = ScheduledNextRun(*task);
    row.NextRun = next > 0 ? FormatDateTime(TaskListTimePicture, next, fs) : "-";
    row.LastRun = task->LastSuccessfulBackupTime > 0
                      ? FormatDateTime(TaskListTimePicture, task->LastSuccessfulBackupTime, fs)
                      : "-";
    row.Task = task.get();
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string NextRunStatusText(const TBackupConfig& config, const TFormatSettings& fs) {
  const TBackupTask* first = nullptr;
  TDateTime firstRun = 0;
  for (const std::unique_ptr<TBackupTask>& task : config.Tasks) {
    const TDateTime next = ScheduledNextRun(*task);
    if (next > 0 && (first == nullptr || next < firstRun)) {
      first = task.get();
      firstRun = next;
    }
  }
  if (first == nullptr) return "Planlanmış görev yok";
  return "Sıradaki: " + first->Name + " (" + FormatDateTime("hh:nn", firstRun, fs) + ")";
}

}  // namespace velkor
