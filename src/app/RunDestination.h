#pragma once
// Where a run writes its output: the task's destination folder for local and hybrid tasks, a staging folder in
// the temporary folder for cloud-only tasks (the cloud copy uploads from there).
#include <filesystem>
#include <string>
#include <vector>

#include "config/BackupModel.h"

namespace velkor {

inline constexpr const char* CloudStagingFolderName = "QeltBackupCloudStage";
inline constexpr const char* NasProviderName = "NAS / WebDAV";

// <temporary folder>/QeltBackupCloudStage/<task name>, the name trimmed ("CloudTask" when empty) with every
// character no file name may hold replaced by "_".
std::string GetCloudStagingFolder(const TBackupTask& task);

// DestinationFolder for local disk and hybrid, the staging folder for cloud, empty for any other mode.
std::string ResolveRunDestination(const TBackupTask& task);

// The provider copies into a folder instead of uploading (compared after trimming, letter case ignored).
bool IsFolderCopyProvider(const std::string& provider);

// The folder a cloud or hybrid "NAS / WebDAV" task copies its outputs into; empty for every other task.
std::string GetCloudCopyFolder(const TBackupTask& task);

// The staging folders of every task, those of tasks since renamed or removed included: where a killed cloud run
// may have left work behind.
std::vector<std::filesystem::path> ListCloudStagingFolders();

}  // namespace velkor
