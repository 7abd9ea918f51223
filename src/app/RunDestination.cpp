#include "app/RunDestination.h"

#include <string_view>
#include <system_error>

#include "platform/AppPaths.h"
#include "util/StringUtils.h"

namespace velkor {

std::string GetCloudStagingFolder(const TBackupTask& task) {
  std::string name = Trim(task.Name);
  if (name.empty()) name = "CloudTask";
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 32 || std::string_view("\"*/:<>?\\|").find(c) != std::string_view::npos)
      c = '_';
  return (GetUserTempDirectory() / CloudStagingFolderName / name).string();
}

std::string ResolveRunDestination(const TBackupTask& task) {
  switch (task.StorageMode) {
    case smLocalDisk:
    case smHybrid: return task.DestinationFolder;
    case smCloud: return GetCloudStagingFolder(task);
    default: return {};
  }
}

bool IsFolderCopyProvider(const std::string& provider) { return SameText(Trim(provider), NasProviderName); }

std::string GetCloudCopyFolder(const TBackupTask& task) {
  const bool usesCloud = task.StorageMode == smCloud || task.StorageMode == smHybrid;
  return usesCloud && IsFolderCopyProvider(task.CloudProvider) ? Trim(task.CloudDestinationFolder) : std::string();
}

std::vector<std::filesystem::path> ListCloudStagingFolders() {
  std::vector<std::filesystem::path> folders;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(GetUserTempDirectory() / CloudStagingFolderName, ec), end;
       !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (it->is_directory(typeError) && !it->is_symlink(typeError)) folders.push_back(it->path());
  }
  return folders;
}

}  // namespace velkor
