#pragma once
// Where a run writes its output: the task's destination folder for local and hybrid tasks, a staging folder in
// the temporary folder for cloud-only tasks (the cloud copy uploads from there).
#include <string>

#include "config/BackupModel.h"

namespace velkor {

// <temporary folder>/QeltBackupCloudStage/<task name>, the name trimmed ("CloudTask" when empty) with every
// character no file name may hold replaced by "_".
std::string GetCloudStagingFolder(const TBackupTask& task);

// DestinationFolder for local disk and hybrid, the staging folder for cloud, empty for any other mode.
std::string ResolveRunDestination(const TBackupTask& task);

}  // namespace velkor
