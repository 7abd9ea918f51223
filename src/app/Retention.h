#pragma once
// Keeps a task at most MaxBackupsToKeep backup sets (a full backup with the differential and incremental
// backups that joined it), removing whole sets, oldest first: their outputs on disk, their chain items and their
// history entries. Runs after each recorded run; the caller saves the configuration afterwards. Main thread only.
#include <functional>
#include <string>

#include "config/BackupModel.h"
#include "config/ConfigManager.h"
#include "platform/Clock.h"

namespace velkor {

// A failure to delete an output is logged ("Retention silme uyarısı: ", "Retention cloud silme uyarısı: ") and
// does not stop the cleanup; the chain item goes in any case. Cloud objects ("s3://") are never touched, and a
// path that is a file-system root or holds one of the task's source folders is never deleted. Errors of the
// history store reach the caller.
void ApplyRetention(TBackupTask* task, TConfigManager& configManager, IClock& clock,
                    const std::function<void(const std::string&)>& addLog);

}  // namespace velkor
