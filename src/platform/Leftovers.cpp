#include "platform/Leftovers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace velkor {

namespace fs = std::filesystem;

namespace {

int OpenForLock(const fs::path& path) {
  int fd;
  do fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  while (fd < 0 && errno == EINTR);
  return fd;
}

bool TryLock(int fd, bool wait) {
  int result;
  do result = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB));
  while (result != 0 && errno == EINTR);
  return result == 0;
}

}  // namespace

fs::path WorkEntryTemplate(const fs::path& folder) { return folder / (std::string(WorkEntryPrefix) + "XXXXXX"); }

bool IsWorkEntryName(std::string_view name) {
  return name.size() == WorkEntryPrefix.size() + 6 && name.starts_with(WorkEntryPrefix);
}

TWorkLock::TWorkLock(const fs::path& path) {
  TFileHandle handle(OpenForLock(path));
  // The creator takes the lock right after creating the entry, so waiting here is waiting for a cleaner that holds
  // a lock only while it checks.
  if (handle.IsOpen() && TryLock(handle.Get(), true)) FHandle = std::move(handle);
}

bool LockWorkDescriptor(int fd) { return fd >= 0 && TryLock(fd, true); }

std::vector<fs::path> RemoveAbandonedWork(const fs::path& folder,
                                          const std::function<bool(std::string_view)>& nameMatches) {
  std::vector<fs::path> removed;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return removed;
  std::vector<std::string> candidates;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == ".." || !nameMatches(name)) continue;
    candidates.emplace_back(name);
  }
  ::closedir(dir);

  const uid_t self = ::geteuid();
  for (const std::string& name : candidates) {
    const fs::path path = folder / name;
    struct stat st {};
    // Only plain files and folders of this user: a link or someone else's entry is never ours to remove.
    if (::lstat(path.c_str(), &st) != 0 || st.st_uid != self || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) continue;
    TFileHandle handle(OpenForLock(path));
    if (!handle.IsOpen() || !TryLock(handle.Get(), false)) continue;
    std::error_code ec;
    if (S_ISDIR(st.st_mode)) {
      // Folders a backup copied read-only would stop the removal of what they hold.
      fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
      for (auto it = fs::recursive_directory_iterator(path, fs::directory_options::skip_permission_denied, ec);
           !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code statError;
        if (it->is_directory(statError) && !it->is_symlink(statError))
          fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, statError);
      }
      ec.clear();
    }
    fs::remove_all(path, ec);
    if (!ec && !fs::exists(fs::symlink_status(path, ec))) removed.push_back(path);
  }
  return removed;
}

}  // namespace velkor
