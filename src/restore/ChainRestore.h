#pragma once
// Point-in-time restore: puts a task's folders back as they were at one run of its backup chain.
//
// A differential or incremental output holds only what changed since the backup its run was compared against, so
// the state of such a run is made of several outputs: its set's full backup, then every backup the run was built
// on, then its own output, each newer version of a file replacing the older one. Files deleted from the sources
// between two runs leave no trace in the chain: they come back with the older output that holds them.
//
// Two steps, for the command line and the window's restore wizard alike:
// 1. PlanChainRestore finds the outputs from a history entry and the tasks' chains: the full backup first, the
//    entry's own output last; for a differential the full backup and itself; for an incremental the backups it
//    was built on one by one (each run's parent), which are the incrementals of its set before it, or a
//    differential and the incrementals after it. It refuses, with a Turkish message naming what is wrong, when
//    the entry is not in a chain, when an output is missing, unreadable or of an unknown kind, or when a link of
//    the chain is gone or leads into another set. It reads the chain and looks at the outputs; it writes nothing.
// 2. TChainRestore restores a plan into a target folder. Prepare reads every output (an encrypted archive is
//    decrypted into a staging folder, the password checked for every encrypted output) and decides for each file
//    which output holds its newest version; nothing is written to the target before all of that succeeded.
//    Restore then writes each file once, from that output only: older versions are never unpacked.
//
// The target's own files are never written over: a restored file that meets one is written as "name (n).ext"
// (rcRename, rcOverwrite) or left out (rcSkip), as by TRestoreManager. Since every file of the chain is written
// once, in its newest version, versions replace each other only inside this restore and never meet the user's
// files twice. Names go through TRestoreManager::ResolveSafeTargetPath and the same guard against links.
//
// Crash safety: a file is written into a hidden work folder of the target (".velkor-tmp-XXXXXX", locked while the
// restore lives) and moved to its name in one step that never replaces anything, so a file under its own name is
// always complete. A killed restore leaves the complete files and at most that work folder, which the next
// restore into the same target removes. A successful restore flushes the target's file system before it returns.
//
// Damage inside an archive entry's data is found when the entry is unpacked (its CRC): the restore stops there,
// with the files restored before it complete and checked. Every other refusal comes before the first write.
//
// Threads: blocking calls on the caller's thread, meant for a worker thread; the callbacks run on that thread. One
// object is used by one thread at a time. Errors raise EVelkorError with the Turkish message.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "config/BackupModel.h"
#include "config/HistoryItem.h"
#include "platform/Clock.h"
#include "restore/RestoreManager.h"
#include "util/DateTime.h"

namespace velkor {

class TStagingFolder;

// One output of a plan.
struct TChainRestoreStep {
  std::string BackupId;
  std::string OutputPath;
  TBackupType Type = btFull;  // the effective type of its run
  TDateTime BackupTime = 0;
};

struct TChainRestorePlan {
  std::string TaskName;                  // the task whose chain holds the entry, as named now
  std::vector<TChainRestoreStep> Steps;  // the order of restoring: the full backup first, the entry's output last
  bool RequiresPassword = false;         // some output is encrypted (TRestoreManager::RestoreRequiresPassword)
};

// The plan for `item`, found in the chains of `config`'s tasks by the entry's output path. `history` (the whole
// history list) is only read to name the output of a chain link that is no longer recorded. Raises EVelkorError
// with the refusal; nothing is written.
TChainRestorePlan PlanChainRestore(const TBackupHistoryItem& item, const TBackupConfig& config,
                                   const std::vector<TBackupHistoryItem>& history = {});

struct TChainRestoreProgress {
  enum TPhase { cpReading, cpRestoring };
  TPhase Phase = cpReading;
  int Step = 0;          // index into the plan's steps of the output being read or restored from
  std::string FileName;  // cpRestoring: the file being written, as it lies in the target
  int Percent = 0;       // of the phase: outputs read, or bytes restored
};

struct TChainRestoreCallbacks {
  // At most every 150 ms, and at the start and end of each phase. May be empty.
  std::function<void(const TChainRestoreProgress&)> OnProgress;
  // Polled before each output and file and each block written; true stops the work. May be empty.
  std::function<bool()> ShouldCancel;
};

struct TChainRestoreResult {
  int32_t RestoredCount = 0;
  int32_t SkippedCount = 0;
  bool Cancelled = false;  // stopped by ShouldCancel: the files restored before stay, complete
  // For each step of the plan, how many files were taken from its output (restored or skipped).
  std::vector<int32_t> FilesPerStep;
};

class TChainRestore {
public:
  // `password` serves every encrypted output of the plan. The clock names staging folders and paces progress.
  TChainRestore(TChainRestorePlan plan, std::string targetFolder, std::string password, IClock& clock = SystemClock());
  ~TChainRestore();  // removes the staging folder, wipes the password
  TChainRestore(const TChainRestore&) = delete;
  TChainRestore& operator=(const TChainRestore&) = delete;

  const TChainRestorePlan& Plan() const { return FPlan; }

  // Reads and checks every output of the plan and decides where each file comes from; writes nothing to the
  // target. False when cancelled. Raises on a missing, unreadable, damaged or unsafe output, on encrypted content
  // without a password and on a wrong password.
  bool Prepare(const TChainRestoreCallbacks& callbacks = {});
  // After Prepare: how many files a restore writes, and how many of their names the target already holds.
  const TRestoreAnalysis& Analysis() const { return FAnalysis; }
  // Restores into the target, preparing first when that was not done (again after an earlier Restore). Refuses
  // before writing when the target's volume has no room for the files to write. A cancel returns with Cancelled
  // set.
  TChainRestoreResult Restore(TRestoreConflictAction conflictAction, const TChainRestoreCallbacks& callbacks = {});

private:
  // A file of one output: where it lies in the target and where it comes from.
  struct TSourceFile {
    const std::string* Target;  // the key in FNewest
    std::string FolderFile;     // in a folder output, the file; empty for an archive entry
    uint32_t Entry = 0;         // in an archive, the index of its entry
    bool Encrypted = false;     // an ".mbe" file of a folder output
    int64_t Size = 0;
  };
  struct TOutput {
    std::string ReadPath;  // the output folder, the archive, or the archive decrypted into the staging folder
    bool Archive = false;
    bool Decrypted = false;  // ReadPath is our staging copy
    size_t EntryCount = 0;   // of the archive when it was read
    std::vector<TSourceFile> Files;
  };
  class TWriter;

  void ReadOutput(size_t step, TOutput& output);
  void AddFile(size_t step, TOutput& output, std::string target, TSourceFile file);
  bool IsNewest(size_t step, const TSourceFile& file) const;
  void CheckPasswordOfFolders();
  void ReleaseUnneededCopies();
  void CheckTargetRoom(TRestoreConflictAction conflictAction) const;

  TChainRestorePlan FPlan;
  std::string FTarget;
  std::string FPassword;
  IClock& FClock;
  bool FPrepared = false;
  std::unique_ptr<TStagingFolder> FStaging;
  std::vector<TOutput> FOutputs;
  // Each target path and the step whose output holds its newest version.
  std::unordered_map<std::string, size_t> FNewest;
  TRestoreAnalysis FAnalysis;
  int64_t FBytesToWrite = 0;      // of every file chosen
  int64_t FBytesOfFreeNames = 0;  // of those whose name the target does not hold yet
};

}  // namespace velkor
