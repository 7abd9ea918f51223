#pragma once
// The outcome of one run as the completion hands it to the history, the cloud copy and the e-mail report. A
// value: copied freely, owned by whoever holds it.
#include <cstdint>
#include <string>
#include <vector>

#include "config/BackupModel.h"
#include "config/HistoryItem.h"
#include "util/DateTime.h"

namespace velkor {

struct TBackupResultSnapshot {
  TDateTime BackupTime = 0;  // when the snapshot was built
  bool Success = false;
  std::string Message;
  std::string TaskName;
  std::string BackupName;
  bool EncryptBackup = false;
  int FileCount = 0;
  int64_t TotalSize = 0;
  std::string OutputPath;
  std::string Checksum;
  bool Verified = false;
  int SourceCount = 0;
  std::string BackupTypeText;  // of the effective type
  TStorageMode StorageMode = smLocalDisk;
  std::string StorageModeText;
  std::string LocalOutputPath;  // OutputPath for local and hybrid tasks
  std::string CloudOutputPath;  // set by the cloud copy
  std::string CloudProvider;
  std::string CloudStatus;  // "Bekliyor" for cloud and hybrid tasks until the cloud copy decides
  std::vector<std::string> SourceFolders;
  std::vector<TBackupFileDetail> SuccessfulFiles;
  std::vector<TBackupFileDetail> FailedFiles;
  bool operator==(const TBackupResultSnapshot&) const = default;
};

}  // namespace velkor
