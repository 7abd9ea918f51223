#pragma once
// The cloud step after a successful run of a cloud or hybrid task: the output is uploaded to S3-compatible storage
// or, for the provider "NAS / WebDAV", copied into a folder (a network share or a mounted WebDAV folder). Its outcome
// goes into the run's snapshot (CloudStatus, CloudOutputPath, OutputPath, Message, Success) and the log.
//
// A cloud-only task's output waits in its staging folder (RunDestination.h). While it is being uploaded it sits in
// a locked work entry there, so a run killed mid-upload leaves only a leftover that the next run removes; after a
// successful upload it is deleted, after a failed one it is back under its name for a later restore.
//
// The core runs it on a work thread of its own, so a long upload never holds the window; its progress (percent and
// MB/s) and its log lines go through the context the core lends it. One step at a time per object.
#include <functional>
#include <string>

#include "app/IPostRunSteps.h"
#include "app/RunDestination.h"
#include "cloud/CloudStorage.h"
#include "config/BackupModel.h"
#include "platform/Clock.h"

namespace velkor {

// Uploads `sourcePath` with the task's cloud settings (its secret unprotected; one that cannot be read counts as
// empty, so the fallbacks sign). False without a source path; upload errors, a cancel among them, are thrown.
bool UploadOutputToCloud(const TCloudCopyTarget& target, const std::string& sourcePath, std::string& remotePath,
                         const TUploadProgress& progress = {}, IClock& clock = SystemClock(),
                         const std::function<bool()>& shouldCancel = {});

// Copies a file or a folder output into `targetFolder` (created with its parents); `copiedPath` names the copy.
// A file of the same name is replaced; a folder of the same name gets the files merged into it, each replacing
// its namesake. Each copy is built under a hidden work name in the target folder and only then named, so a copy
// that breaks off never looks complete. False when a path is empty or the source is neither file nor folder;
// copy errors are thrown, and so is a cancel (checked before each file).
bool CopyOutputToFolder(const std::string& sourcePath, const std::string& targetFolder, std::string& copiedPath,
                        const std::function<bool()>& shouldCancel = {});

class TPostRunCloudCopy final : public IPostRunCloudCopy {
public:
  explicit TPostRunCloudCopy(IClock& clock) : FClock(clock) {}

  void PerformPostRunCloudCopy(const TCloudCopyTarget& target, TBackupResultSnapshot& snapshot,
                               const TPostRunContext& context) override;

private:
  void Upload(const TCloudCopyTarget& target, TBackupResultSnapshot& snapshot, const TPostRunContext& context);
  void CopyToFolder(const TCloudCopyTarget& target, TBackupResultSnapshot& snapshot, const TPostRunContext& context);
  void ShowProgress(const TPostRunContext& context, const std::string& fileName, int64_t sent, int64_t total);

  IClock& FClock;
  uint64_t FStartTick = 0;
  uint64_t FLastShownTick = 0;
  int FLastShownPercent = -1;
};

}  // namespace velkor
