#pragma once
// The two steps that follow a finished run outside the application core: the copy of the output to the cloud
// destination and the e-mail report. The core calls them at fixed points of its completion handling; the cloud
// and e-mail front ends implement them, and AppComposition puts them together with the core for every front end.
#include <functional>
#include <string>

#include "app/BackupResultSnapshot.h"
#include "config/BackupModel.h"

namespace velkor {

using TAddLog = std::function<void(const std::string& message)>;

// The task's fields the cloud step reads, copied on the main thread: the step runs on a work thread of its own
// while the user may go on editing the task.
struct TCloudCopyTarget {
  std::string TaskName;
  TStorageMode StorageMode = smLocalDisk;
  std::string CloudProvider;
  std::string CloudDestinationFolder;
  std::string CloudAccountName;
  std::string CloudPasswordProtected;  // protected string, unprotected only by the step
};

TCloudCopyTarget CloudCopyTargetOf(const TBackupTask& task);

// How far the cloud step has come, as the window shows it (at most every 150 ms and at 100 %).
struct TCloudCopyProgress {
  int Percent = 0;
  std::string ProgressText;  // "Cloud upload: <file> (<percent>%, <speed> MB/s)"
  std::string StatusText;    // "Cloud upload: <percent>%"
};

// What the core lends the step. Each may be called on the step's thread; the core hands log lines and progress
// to the main thread.
struct TPostRunContext {
  TAddLog AddLog;
  std::function<void(const TCloudCopyProgress& progress)> OnProgress;
  std::function<bool()> ShouldCancel;  // the user cancelled the run: stop as soon as possible
};

inline constexpr char CloudCopyCancelledMessage[] = "Cloud upload iptal edildi.";

class IPostRunCloudCopy {
public:
  virtual ~IPostRunCloudCopy() = default;
  // Called for a successful run of a cloud or hybrid task that wrote at least one file or was a full backup,
  // before the outcome is logged, on a work thread while the main thread goes on; it uses only its arguments.
  // May change the snapshot's Success, Message, OutputPath, CloudOutputPath and CloudStatus; a cancelled copy
  // fails the run with CloudCopyCancelledMessage in its message. Never throws.
  virtual void PerformPostRunCloudCopy(const TCloudCopyTarget& target, TBackupResultSnapshot& snapshot,
                                       const TPostRunContext& context) = 0;
};

class IRunNotification {
public:
  virtual ~IRunNotification() = default;
  // Called for every completion that was not cancelled, after its history entry is written. Copies what it needs
  // and returns at once; its outcome never comes back. Main thread.
  virtual void StartEmailNotificationAsync(const TBackupResultSnapshot& snapshot) = 0;
};

}  // namespace velkor
