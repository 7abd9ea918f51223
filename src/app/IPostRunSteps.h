#pragma once
// The two steps that follow a finished run outside the application core: the copy of the output to the cloud
// destination and the e-mail report. The core calls them at fixed points of its completion handling; the cloud
// and e-mail front ends implement them. Main thread only.
#include <functional>
#include <string>

#include "app/BackupResultSnapshot.h"
#include "config/BackupModel.h"

namespace velkor {

using TAddLog = std::function<void(const std::string& message)>;

class IPostRunCloudCopy {
public:
  virtual ~IPostRunCloudCopy() = default;
  // Called for a successful run of a running task that wrote at least one file or was a full backup, before the
  // outcome is logged. Does nothing for local-disk tasks. May change the snapshot's Success, Message, OutputPath,
  // CloudOutputPath and CloudStatus; reports its progress through `addLog`; never throws.
  virtual void PerformPostRunCloudCopy(TBackupTask& task, TBackupResultSnapshot& snapshot, const TAddLog& addLog) = 0;
};

class IRunNotification {
public:
  virtual ~IRunNotification() = default;
  // Called for every completion that was not cancelled, after its history entry is written. Copies what it needs
  // and returns at once; its outcome never comes back.
  virtual void StartEmailNotificationAsync(const TBackupResultSnapshot& snapshot) = 0;
};

}  // namespace velkor
