#pragma once
// Keeps a task at most MaxBackupsToKeep backup sets (a full backup with the differential and incremental
// backups that joined it), removing whole sets, oldest first: their outputs on disk, their chain items and their
// history entries. Runs after each recorded run. Main thread only.
//
// A removal may be cut short at any moment (the process killed, the machine off), so its steps come in an order
// that never leaves a history entry or a chain item naming a half-deleted output:
//   1. the history entries of the removed sets go (history.json is saved);
//   2. each output is renamed, in one step, to a work entry beside it (".velkor-tmp-XXXXXX", locked while it is
//      deleted): out of view whole, never half;
//   3. the chain items go, and `saveConfig` writes the shortened chain;
//   4. the work entries are deleted.
// Cut after 1, the saved chain still names complete outputs, which a later run removes again. Cut after 2, the
// saved chain names outputs that are no longer there, and the next run's pruning of missing outputs drops those
// items: the only window in which anything names nothing, one configuration save long, and never a history
// entry. Cut in 4, the work entries are leftovers that the next run into that destination removes. The history
// goes first because a history entry that names nothing would stay; a chain item that names nothing goes by itself.
//
// Step 1 rewrites the whole history, so the window hands it to the history writer and carries out steps 2 to 4
// (RemoveRetainedSets) once it has landed; ApplyRetention does all four at once with a store of its own.
#include <functional>
#include <string>
#include <vector>

#include "config/BackupModel.h"
#include "config/ConfigManager.h"
#include "platform/Clock.h"

namespace velkor {

// What a removal takes away: chosen when the run is recorded, carried out after its history change has landed.
struct TRetentionPlan {
  std::vector<std::string> Sets;          // ids of the sets beyond the limit, oldest first
  std::vector<std::string> HistoryPaths;  // the outputs their chain items name: the history entries of step 1
  bool Empty() const { return Sets.empty(); }
};

// Whether a restore or verification reads `output` at this moment.
using TOutputInUse = std::function<bool(const std::string& output)>;

// Drops the chain items whose output is gone, then chooses the sets beyond the limit (none when it is 0). A set with
// an output in use stays this time, with a log line; a later run removes it.
TRetentionPlan PlanRetention(TBackupTask& task, const TOutputInUse& outputInUse = {},
                             const std::function<void(const std::string&)>& addLog = {});

// Steps 2 to 4 of `plan`, whose history entries are gone. A set no longer in the chain (carried out by an earlier
// plan) is passed over. A failure to take out of view or to delete an output is logged ("Retention silme uyarısı: ",
// "Retention cloud silme uyarısı: ") and does not stop the cleanup; the chain item goes in any case. Cloud objects
// ("s3://") are never touched, and a path that is a file-system root or holds one of the task's source folders is
// never deleted. `saveConfig` is called only when a set was removed; the caller saves again afterwards for its own
// changes. A set whose output came into use since the plan was made stays, chain items and all, for a later run.
void RemoveRetainedSets(TBackupTask& task, const TRetentionPlan& plan, IClock& clock,
                        const std::function<void(const std::string&)>& addLog, const std::function<void()>& saveConfig,
                        const TOutputInUse& outputInUse = {});

// All four steps at once. An error of the history store reaches the caller before anything else has changed.
void ApplyRetention(TBackupTask* task, TConfigManager& configManager, IClock& clock,
                    const std::function<void(const std::string&)>& addLog, const std::function<void()>& saveConfig,
                    const TOutputInUse& outputInUse = {});

}  // namespace velkor
