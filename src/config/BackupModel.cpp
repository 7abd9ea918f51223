#include "config/BackupModel.h"

#include "util/StringUtils.h"

namespace velkor {

std::string BackupTypeToText(int type) {
  switch (type) {
    case btFull: return "Tam";
    case btDifferential: return "Fark";
    case btIncremental: return "Artımlı";
    default: return "Bilinmiyor";
  }
}

std::string StorageModeToText(int mode) {
  switch (mode) {
    case smLocalDisk: return "Lokal Disk";
    case smCloud: return "Cloud";
    case smHybrid: return "Lokal + Cloud";
    default: return "Bilinmiyor";
  }
}

std::string NormalizeCloudProvider(const std::string& text) {
  std::string trimmed = Trim(text);
  return SameText(trimmed, "MinIO") ? std::string(DefaultCloudProvider) : trimmed;
}

TBackupTask::TBackupTask(IClock& clock) : Schedule(clock) {}

}  // namespace velkor
