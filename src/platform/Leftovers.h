#pragma once
// Work files and folders of an operation that is still going (staging folders, outputs under construction, the
// temporary file of an atomic write) carry a name pattern of their creator and, for as long as their operation
// lives, an exclusive lock held by it: flock on an open descriptor, which the system drops when the process ends,
// however it ends (kill -9 included). A leftover is an entry whose name matches one of our patterns, that belongs
// to this user and that nobody holds locked: the operation that made it is gone, and it may be removed.
//
// Locks are advisory and only keep our own cleanup away; where the file system has no flock (some network mounts)
// a work entry simply cannot be proven abandoned and stays.
#include <filesystem>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/FileHandle.h"

namespace velkor {

// Work entries inside a user's folder (an output under construction in a backup destination, a backup set taken
// out of view before it is deleted) are hidden and named ".velkor-tmp-" plus six random characters.
inline constexpr std::string_view WorkEntryPrefix = ".velkor-tmp-";
// The template for mkstemp / mkdtemp: `folder` / ".velkor-tmp-XXXXXX".
std::filesystem::path WorkEntryTemplate(const std::filesystem::path& folder);
bool IsWorkEntryName(std::string_view name);

class TWorkLock {
public:
  TWorkLock() = default;
  // Opens `path` (a file or a folder, links not followed) and locks it exclusively. A lock that cannot be taken
  // leaves the object empty: it guards only against cleanup, so its absence must not stop the work.
  explicit TWorkLock(const std::filesystem::path& path);
  TWorkLock(TWorkLock&&) noexcept = default;
  TWorkLock& operator=(TWorkLock&&) noexcept = default;

  bool Held() const { return FHandle.IsOpen(); }
  void Release() { FHandle.Close(); }

private:
  TFileHandle FHandle;
};

// Locks a descriptor its owner keeps open anyway (the temporary file of an atomic write). False when it cannot.
bool LockWorkDescriptor(int fd);

// Removes the entries directly inside `folder` whose names match and that are leftovers (this user's, not locked),
// each while holding its lock, so a living operation never loses its files. Returns the paths removed; what cannot
// be removed completely is not listed. A missing or unreadable folder gives an empty list. Never throws.
std::vector<std::filesystem::path> RemoveAbandonedWork(const std::filesystem::path& folder,
                                                       const std::function<bool(std::string_view)>& nameMatches);

}  // namespace velkor
