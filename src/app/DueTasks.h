#pragma once
// What the scheduler timer and the two displays of upcoming runs decide, without any window: the due-task scan of
// each minute's tick, the rows of the task list and the one-line next-run status text. The main window shows what
// these return and owns the run queue the scan feeds. Main thread only.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "config/BackupModel.h"
#include "util/FormatSettings.h"

namespace velkor {

// The run queue as the scan sees it. `Enqueue` receives the task and the scheduled type (1 full, 2 differential,
// 3 incremental).
struct TDueTaskQueue {
  std::function<bool(const TBackupTask& task, int scheduledType)> IsRunQueuedOrRunning;
  std::function<void(TBackupTask& task, int scheduledType)> Enqueue;
  std::function<void(const std::string& line)> AddLog;
};

// One tick's scan: for each enabled task in list order, asks its schedule for a due run and enqueues it (after a
// log line) unless the same task and type is already queued or running, which is skipped silently. Does nothing
// without a configuration (start-up, failed login). Returns the number of requests added.
int QueueDueTasks(TBackupConfig* config, const TDueTaskQueue& queue);

enum TTaskFilter { tfAll, tfActive, tfPassive };
// The entries of the task filter list, in order.
inline constexpr const char* TaskFilterTexts[] = {"Tüm Görevler", "Aktif Görevler", "Pasif Görevler"};
// The filter of the selected entry; no selection (empty text) or any other text shows every task.
TTaskFilter TaskFilterFromText(std::string_view selection);

// The task list's column captions, in order.
inline constexpr const char* TaskListColumns[] = {"Durum", "Görev Adı", "Sonraki Calışma", "Son Calışma"};

struct TTaskListRow {
  std::string Status;  // "✅" enabled, "❌" disabled
  std::string Name;
  std::string NextRun;  // "dd.mm.yyyy hh:nn", or "-" when the task will not run on its own
  std::string LastRun;  // last successful backup as "dd.mm.yyyy hh:nn", or "-"
  TBackupTask* Task = nullptr;
};

// The rows of the task list in the configuration's order, filtered.
std::vector<TTaskListRow> TaskListRows(const TBackupConfig& config, TTaskFilter filter,
                                       const TFormatSettings& fs = UserFormatSettings());

// "Sıradaki: <name> (hh:nn)" for the enabled, scheduled task whose next run comes first (the earlier task in the
// list on equal times), or "Planlanmış görev yok".
std::string NextRunStatusText(const TBackupConfig& config, const TFormatSettings& fs = UserFormatSettings());

}  // namespace velkor
