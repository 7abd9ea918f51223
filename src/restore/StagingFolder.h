#pragma once
// A scratch folder of one restore operation in the user's temporary folder, named with a prefix and the local
// time to the millisecond ("RestoreZip_20240501100000123"), and removed with its contents when the object goes,
// whatever ended the operation.
//
// The folder is created exclusively and private to the user (0700): the temporary folder may be shared, and a
// name that already exists there (a leftover, or something planted to redirect our writes) is never reused; a
// numbered suffix is taken instead. For its whole life the folder is held with a work lock (platform/Leftovers.h),
// so only a folder whose restore was killed is ever taken for a leftover.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "platform/Leftovers.h"

namespace velkor {

// "RestoreZip_", "RestoreMbe_" and "RestoreAnalyze_" folders: a leftover once no restore holds it (Leftovers.h).
bool IsRestoreStagingName(std::string_view name);

class TStagingFolder {
public:
  TStagingFolder(const std::string& prefix, IClock& clock);
  ~TStagingFolder();  // never throws; what cannot be removed stays
  TStagingFolder(const TStagingFolder&) = delete;
  TStagingFolder& operator=(const TStagingFolder&) = delete;

  const std::string& Path() const { return FPath; }
  std::string operator/(const std::string& name) const { return FPath + "/" + name; }

  // Raises when `bytes` more would not fit the free space of the temporary folder's volume, so a restore is refused
  // before it starts instead of failing half-way. An unknown free space lets the work go on.
  static void CheckFreeSpace(int64_t bytes);

private:
  std::string FPath;
  TWorkLock FLock;
};

}  // namespace velkor
