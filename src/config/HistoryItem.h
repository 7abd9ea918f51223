#pragma once
// One history entry per finished run, as kept in history.json.
#include <cstdint>
#include <string>
#include <vector>

#include "config/BackupModel.h"
#include "util/DateTime.h"

namespace velkor {

struct TBackupFileDetail {
  std::string FileName;  // full source path, or the "%s (%s)" failure text of a failed file
  int64_t FileSize = 0;  // 0 for failed files
  bool Success = false;
  bool operator==(const TBackupFileDetail&) const = default;
};

struct TBackupHistoryItem {
  TDateTime BackupTime = 0;
  bool Success = false;
  std::string TaskName;
  std::string Details;  // outcome message, then the cloud copy's " | " report when there was one
  TStorageMode StorageMode = smLocalDisk;
  std::string StorageModeText;
  std::string LocalOutputPath;
  std::string CloudOutputPath;
  std::string CloudProvider;
  std::string CloudStatus;  // "Tamamlandı", "Kaydedilmedi", "Başarısız", ...
  std::string OutputPath;   // the key by which retention finds entries
  std::string Checksum;     // SHA-256, 64 lower-case hex digits, or empty
  bool Verified = false;
  std::vector<std::string> SourceFolders;
  int SourceCount = 0;
  int FileCount = 0;
  int64_t TotalSize = 0;
  std::vector<TBackupFileDetail> Files;  // backed-up files, then failed ones
  bool operator==(const TBackupHistoryItem&) const = default;
};

// The cloud path named in a Details text after "Cloud upload: " (or else "Cloud kopyası: "), up to " | ".
std::string ExtractCloudPathFromDetails(const std::string& details);

}  // namespace velkor
