#pragma once
// A task's backup chain: one item per recorded run, grouped into sets that each begin with a full backup. These
// functions find the bases a new run builds on, decide what a requested type becomes, build the known-file lists
// recorded with each run, and summarise the chain for the editor's card. Main thread only.
//
// Identifiers and paths compare without regard to case. A known-file entry is a source folder's last path
// component, "/", and the file's path inside that folder (Docs/a/b.txt for /data/Docs/a/b.txt backed up from
// /data/Docs), the same key the engine compares against.
#include <string>
#include <string_view>
#include <vector>

#include "app/BackupResultSnapshot.h"
#include "app/IAppView.h"
#include "config/BackupModel.h"
#include "util/FormatSettings.h"

namespace velkor {

// False for a blank path; true for an "s3://" path (cloud objects are never looked up); otherwise whether a file
// or a folder exists there.
bool ChainOutputExists(std::string_view path);

// Removes every item whose output no longer exists (the mirror is not looked at).
void PruneMissingChainItems(TBackupTask& task);

inline constexpr int AnyBackupType = -1;
// The item with the greatest BackupTime among those of `setId` (any set when empty) and of `typeFilter` (an
// effective type, or AnyBackupType) whose output exists; on equal times the earlier item. nullptr when none.
TBackupChainItem* FindLatestChainItem(TBackupTask& task, int typeFilter, std::string_view setId);
// The first item with this BackupId; nullptr for a blank id or none.
TBackupChainItem* FindChainItemById(TBackupTask& task, std::string_view id);

// Sorted, without duplicates (the first spelling wins), blank entries left out.
std::vector<std::string> MergeKnownFiles(const std::vector<std::string>& a, const std::vector<std::string>& b);
// The known-file entries of a run's successful files; a file under none of the task's sources keeps its path.
std::vector<std::string> BuildKnownFiles(const TBackupTask& task, const TBackupResultSnapshot& snapshot);

// What a run of a requested type becomes, and what it is compared against.
struct TRunPlan {
  TBackupType RequestedType = btFull;
  TBackupType EffectiveType = btFull;
  bool FellBackToFull = false;  // differential or incremental asked for, but no full backup to build on
  TDateTime ReferenceBackupTime = 0;
  TDateTime ReferenceFullBackupTime = 0;
  std::vector<std::string> ReferenceFileNames;
  std::string SetId;             // empty for a full run
  std::string BaseFullBackupId;  // empty for a full run
  std::string ParentBackupId;    // empty for a full run
};

// The requested type of a scheduled type number: 1 full, 2 differential, 3 incremental, anything else (a manual
// run) `manualType`.
TBackupType RequestedTypeOf(int scheduledType, TBackupType manualType);

// Prunes the chain, then plans: a full run compares against nothing; a differential run against the newest full
// backup; an incremental run against the newest backup of that full backup's set. Without a full backup to build
// on, the run becomes full.
TRunPlan PlanBackupRun(TBackupTask& task, TBackupType requestedType);

// The "Durum Özeti" card; prunes the chain. A null task gives the "Görev Seçilmedi" card.
TChainCard BuildChainCard(TBackupTask* task, const TFormatSettings& fs = UserFormatSettings());

}  // namespace velkor
