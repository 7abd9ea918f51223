#include "app/RunDestination.h"

#include <string_view>

#include "platform/AppPaths.h"
#include "util/StringUtils.h"

namespace velkor {

std::string GetCloudStagingFolder(const TBackupTask& task) {
  std::string name = Trim(task.Name);
  if (name.empty()) name = "CloudTask";
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 32 || std::string_view("\"*/:<>?\\|").find(c) != std::string_view::npos)
      c = '_';
  return (GetUserTempDirectory() / "QeltBackupCloudStage" / name).string();
}

std::string ResolveRunDestination(const TBackupTask& task) {
  switch (task.StorageMode) {
    case smLocalDisk:
    case smHybrid: return task.DestinationFolder;
    case smCloud: return GetCloudStagingFolder(task);
    default: return {};
  }
}

}  // namespace velkor
