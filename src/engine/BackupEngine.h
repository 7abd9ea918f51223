#pragma once
// One backup run at a time, on a worker thread of the engine's own.
//
// The caller (on the main thread) fills the inputs, calls StartBackup, receives zero or more progress events and
// exactly one completion event, and reads the results inside its completion handler. Both events run on the main
// thread through the IMainThread hand-over while the worker waits, so handlers may read and change the engine
// and the task. Inputs are written only between runs; results only by the worker. Cancel and pause are atomic
// flags that the run polls before every file and every block read or copied.
//
// Every time, tick and sleep comes from the injected clock; the speed limit is kept per one-second window and
// background mode adds a 2 ms pause per transfer (per copied block, per archived or encrypted file) on top of a low
// thread priority.
//
// A run walks its sources once: one listing per source folder, one look at each file (LongListFiles), from which
// the capacity estimate, the selection and the output are all made. An archive is built straight from the source
// files: the run's worker reads them in blocks, a pool of compression threads (one per core, at most four, with a
// few MiB of blocks in flight each) deflates the blocks, and the worker appends them in order.
//
// A run writes one output into the destination folder: "<prefix>_<yyyy-mm-dd_hh-nn-ss>.zip" (".mbe" in its place
// when encrypted) or a folder of that name, the time being the run's start, with "_2", "_3", ... added when the
// name is taken. What callers, the cleanup of leftovers and a later run may rely on:
//  1. Nothing appears under a final name before it is complete. The output is built inside a hidden work entry
//     of the destination (".velkor-tmp-XXXXXX", Leftovers.h), locked for as long as the run builds it; a killed
//     run leaves only that entry, unlocked, for the cleanup to take.
//  2. An archive is built in the work entry itself. An encrypted run packs its plaintext archive instead into a
//     private file (0600) of its staging folder "BackupTemp_<yyyymmddhhnnss>" (0700) in the temporary folder,
//     locked for the run's life, and encrypts it from there into the work entry, so the plaintext never reaches
//     the destination; every outcome removes the staging folder.
//  3. Only files the run lists as backed up are in the output: a copy that fails half-way is removed and listed
//     as failed; a file whose reading fails half-way through its archive entry is taken back out (the archive is
//     cut back to where the entry began) and listed as failed, so no archive holds part of a file. A sub-folder
//     that cannot be listed is a failed entry too ("path (reason)").
//  4. Before the output is named, its content is checked (a folder against the files the run copied, by path
//     and size), flushed to the disk and checksummed. A difference, or a run that backed up nothing while
//     files failed, ends the run as a failure with no output. So does a source folder that does not exist (an
//     unplugged drive): it is a failed entry, "path (Kaynak klasör bulunamadı)", and the other sources' files are
//     still read and listed, but a set without a whole source is never named.
//  5. The final name is claimed in one move that never replaces anything (two runs of the same name and second,
//     even from two processes, end with two outputs), and the name itself is flushed to the disk.
//  6. Results and the completion are set from the output as named: its path, the checksum of exactly those
//     bytes; the completion comes only after all of the above. A failed or cancelled run leaves no output in the
//     destination (it may have created the destination folder itself). The one exception: an output already
//     named whose new name cannot be flushed stays, and the run fails saying so.
//  The output folder of a folder run is private (0700) like an archive (0600); the files in it are never more
//  readable than their sources.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "config/BackupModel.h"
#include "engine/LongPathUtils.h"
#include "engine/WorkOutput.h"
#include "platform/Clock.h"
#include "platform/MainThread.h"
#include "util/DateTime.h"
#include "util/StringUtils.h"

namespace velkor {

class TBackupThread;

// The current file (its full path) and the run's percentage, 0 to 100.
using TProgressEvent = std::function<void(const std::string& fileName, int progress)>;
// The one outcome of a run, or the refusal of a start; the message is the Turkish text shown and logged.
using TCompleteEvent = std::function<void(bool success, const std::string& message)>;
// Reference names of the files known to the reference backup; sorted, letter case ignored, no duplicates.
using TReferenceFileNames = std::set<std::string, TTextLess>;

inline constexpr const char* BackupAlreadyRunningMessage = "Yedekleme zaten devam ediyor!";
inline constexpr const char* BackupCancelledMessage = "Yedekleme islemi kullanici tarafindan iptal edildi.";
inline constexpr const char* BackupNoChangeMessage = "Değişiklik bulunamadı. Yeni artımlı/fark yedeği oluşturulmadı.";
// The failed entry of a source folder that does not exist.
inline constexpr const char* MissingSourceReason = "Kaynak klasör bulunamadı";

// The run's private staging folder in the temporary folder: "BackupTemp_<yyyymmddhhnnss>" with "_2", "_3", ... when
// taken; a leftover once no run holds it (Leftovers.h).
bool IsStagingFolderName(std::string_view name);

// The name under which a source file is known across runs (the reference lists of the backup chain): the last
// component of the first source folder that holds the file, "/", and the file's path inside that folder with "/"
// between components, e.g. "Documents/2024/report.docx". A root folder has no last component, so its files are
// known by their path inside it; a file under none of the folders by its file name. Folders are matched without
// regard to letter case.
std::string MakeReferenceName(const std::vector<std::string>& sourceFolders, std::string_view fileName);

class TBackupEngine {
public:
  explicit TBackupEngine(IMainThread& mainThread, IClock& clock = SystemClock());
  // Cancels a running run and waits for its worker, running the worker's main-thread calls meanwhile.
  ~TBackupEngine();
  TBackupEngine(const TBackupEngine&) = delete;
  TBackupEngine& operator=(const TBackupEngine&) = delete;

  // Inputs.
  std::vector<std::string>& SourceFolders() { return FSourceFolders; }
  const std::string& DestinationFolder() const { return FDestinationFolder; }
  void SetDestinationFolder(std::string value) { FDestinationFolder = std::move(value); }
  TBackupType BackupType() const { return FBackupType; }
  void SetBackupType(TBackupType value) { FBackupType = value; }
  bool CompressBackup() const { return FCompressBackup; }
  void SetCompressBackup(bool value) { FCompressBackup = value; }
  bool EncryptBackup() const { return FEncryptBackup; }
  void SetEncryptBackup(bool value) { FEncryptBackup = value; }
  // Encryption happens only when EncryptBackup is set and this is not empty.
  void SetEncryptionPassword(std::string value) { FEncryptionPassword = std::move(value); }
  void SetOnProgress(TProgressEvent handler) { FOnProgress = std::move(handler); }
  void SetOnComplete(TCompleteEvent handler) { FOnComplete = std::move(handler); }
  // The caller sets the task's last successful time before a run; a successful run sets the time it ended.
  TDateTime LastBackupTime() const { return FLastBackupTime; }
  void SetLastBackupTime(TDateTime value) { FLastBackupTime = value; }
  TDateTime ReferenceBackupTime() const { return FReferenceBackupTime; }
  void SetReferenceBackupTime(TDateTime value) { FReferenceBackupTime = value; }
  TDateTime ReferenceFullBackupTime() const { return FReferenceFullBackupTime; }
  void SetReferenceFullBackupTime(TDateTime value) { FReferenceFullBackupTime = value; }
  TReferenceFileNames& ReferenceFileNames() { return FReferenceFileNames; }
  // Copied from the task for the caller's bookkeeping; the engine does not use it.
  int MaxBackupsToKeep() const { return FMaxBackupsToKeep; }
  void SetMaxBackupsToKeep(int value) { FMaxBackupsToKeep = value; }
  bool BackgroundMode() const { return FBackgroundMode; }
  void SetBackgroundMode(bool value) { FBackgroundMode = value; }
  // Bytes per second; 0 = unlimited.
  int64_t SpeedLimitBytesPerSec() const { return FSpeedLimitBytesPerSec; }
  void SetSpeedLimitBytesPerSec(int64_t value) { FSpeedLimitBytesPerSec = value; }
  // The task name; the output is named after it.
  const std::string& BackupNamePrefix() const { return FBackupNamePrefix; }
  void SetBackupNamePrefix(std::string value) { FBackupNamePrefix = std::move(value); }

  // Results of the last run, complete when its completion handler runs.
  int LastBackupFileCount() const { return FLastBackupFileCount; }
  int64_t LastBackupTotalSize() const { return FLastBackupTotalSize; }
  const std::string& LastBackupOutputPath() const { return FLastBackupOutputPath; }
  const std::string& LastBackupChecksum() const { return FLastBackupChecksum; }
  bool LastBackupVerified() const { return FLastBackupVerified; }
  // Full source paths, in processing order.
  const std::vector<std::string>& SuccessfulFiles() const { return FSuccessfulFiles; }
  // "path (error message)" per file that could not be backed up.
  const std::vector<std::string>& FailedFiles() const { return FFailedFiles; }

  // Main thread. While a run is active a start is refused at once, on the calling thread, with the completion
  // (false, BackupAlreadyRunningMessage); the active run goes on.
  void StartBackup();
  // True from StartBackup until the run's completion handler has returned.
  bool IsRunning() const;
  void CancelBackup();
  // Only while a run is active; a later run never starts paused.
  void PauseBackup();
  void ResumeBackup();

  // Whether the destination's volume can hold what a run with the current inputs would write: the estimate of the
  // selected files (plus the archive's and encryption's overhead, at least 64 KiB) against the space available to
  // this user on the nearest existing folder of the destination. Main thread while no run is active, or the
  // worker. Throws EVelkorError when the free space cannot be queried or a source folder is missing or cannot be
  // listed: a run would fail then, so no estimate is given for it.
  bool CheckDestinationCapacity(int64_t& requiredBytes, int64_t& availableBytes);

protected:
  // The building blocks of a run. They run on the worker, or on the main thread while no run is active.

  // Hands progress to the main thread at most once per 150 ms, every change to 100 at once, never the same
  // percentage twice in a row.
  void ReportProgress(const std::string& fileName, int progress);
  void ReportComplete(bool success, const std::string& message);
  bool IsCancelled() const;
  // Sleeps in 100 ms steps while paused; false when the run is cancelled.
  bool WaitWhilePaused();
  // Paces `byteCount` bytes just transferred against the speed limit and background mode.
  void ThrottleTransfer(int64_t byteCount);
  // The same for one part of a transfer: the speed limit for its bytes, and the background pause only once the
  // transfer ends with it.
  void PaceTransfer(int64_t byteCount, bool endOfTransfer);
  // Copies in 1 MiB blocks, pausing, pacing and stopping between blocks; the target is created or replaced.
  // On cancellation the partial target stays and the call returns normally. Returns the bytes copied. Errors throw
  // EVelkorError, and a target that was written only in part is removed first.
  int64_t CopyFileThrottled(const std::string& source, const std::string& target);

  std::string GetReferenceName(const std::string& fileName) const;
  // True when the file belongs in this run: its reference name is missing from a non-empty reference list, or the
  // later of its last-write and creation times is at or after the run's reference time less one second. A full
  // run, or a reference time of 0, takes every file.
  bool ShouldBackupFile(const std::string& fileName);
  // The time rule alone: true when the path's later of last-write and creation time is at or after the run's
  // reference time less one second, and always for a full run or a reference time of 0.
  bool ChangedSinceReference(const std::string& path) const;
  // Bytes the run would write, and in `fileCount` the number of files it would take.
  int64_t EstimateRequiredBytes(int& fileCount);

  // One source folder as the run saw it: its files, each looked at once, and which of them the run takes.
  struct TSourceListing {
    std::string Folder;
    std::vector<TListedFile> Files;
    std::vector<char> Selected;  // per file: ShouldBackupFile
    std::vector<TUnlistedFolder> Unlisted;
  };
  // Every source folder that exists, in order, with the selection made; the folders that do not exist go into
  // `missing`, or throw EVelkorError without it. Throws EVelkorError when one cannot be listed.
  std::vector<TSourceListing> ListSources(std::vector<std::string>* missing = nullptr);
  bool ShouldBackupFile(const TListedFile& file) const;
  bool ChangedSinceReference(const TListedFile& file) const;
  // The folder itself when it exists, else its nearest existing parent, else the root.
  std::string FindExistingAncestor(const std::string& path) const;
  // Packs the selected files of the listings into the archive, each under its reference name, in listing order;
  // when two source folders hold the same name, the later one's file is the entry. False when cancelled or when
  // the archive cannot be written (the caller removes what was written); a file that cannot be read, or whose
  // reading fails half-way, is a failed file and the rest go on. Nothing to pack gives the 22-byte empty archive.
  bool CreateZipArchive(const std::vector<TSourceListing>& sources, const std::string& archivePath);

private:
  friend class TBackupThread;
  friend class TArchiveBuild;

  // What the run has decided so far.
  struct TRunOutcome {
    bool Success = false;
    bool Cancelled = false;
    std::string Message;
    std::string Name;                         // the output's name without extension, from the run's start
    std::optional<TWorkOutput> Output;        // the output while it is built; complete once Success is set
    std::string Extension;                    // of the complete output: ".zip", ".mbe" or none
    std::string Checksum;                     // of the complete output
    int64_t ReportedBytes = 0;                // the size the success message gives
    bool EmptyArchive = false;                // a full compressed run without files
    std::vector<std::string> MissingSources;  // source folders that were not there when the run listed them
  };
  // A source file behind a written file (two sources with the same last component share one).
  struct TCopySource {
    std::string Path;
    int64_t Size = 0;
  };
  // A file the run wrote, into the output folder or the archive, and the sources it holds.
  struct TCopiedFile {
    std::vector<TCopySource> Sources;
    int64_t Size = 0;  // as written (encrypted files are larger than their source)
  };

  // The run, on the worker: exactly one completion whatever happens.
  void ExecuteBackup();
  // Everything between resetting the results and delivering the outcome; errors are left to ExecuteBackup.
  void RunBackupSteps(TRunOutcome& run);
  void ResetResults();

  // False (with the refusal message) when the destination cannot hold the run.
  bool HasRoomForRun(const std::vector<TSourceListing>& sources, std::string& message);
  bool CapacityFor(const std::vector<TSourceListing>& sources, int64_t& requiredBytes, int64_t& availableBytes);
  int64_t EstimateFor(const std::vector<TSourceListing>& sources, int& fileCount) const;
  std::string BuildBackupName() const;
  TWorkFolder CreateStagingFolder();
  void ProduceCompressedOutput(TRunOutcome& run, const std::vector<TSourceListing>& sources);
  void FinishArchive(TRunOutcome& run, const std::string& archive, bool encrypt);
  void ProduceFolderOutput(TRunOutcome& run, const std::vector<TSourceListing>& sources);
  // Empty when the output folder holds exactly the files the run wrote there, with their sizes; else the first
  // path that differs. `manifest` receives the folder's manifest.
  std::string CompareWithCopiedFiles(const std::string& outputFolder, std::string& manifest) const;
  // Gives the complete output its final name and sets the results and the success message from it.
  void PublishOutput(TRunOutcome& run);
  // "%d dosya yedeklendi (%.2f MB) - %s" with `bytes` in MB.
  std::string SuccessMessage(int64_t bytes, const std::string& outputPath) const;
  void ApplySkippedFilesRule(TRunOutcome& run);
  // A run that lacks a source folder fails, whatever it made of the others.
  void ApplyMissingSourcesRule(TRunOutcome& run);
  // Lists a file or sub-folder that could not be backed up ("path (error)").
  void AddFailedFile(const std::string& path, const std::string& error);
  void AddFailedFile(const TListedFile& file, const std::string& error);
  // The 22-byte archive; false when it cannot be written.
  bool WriteEmptyArchive(const std::string& archivePath);
  // Copies the selected files of one source folder into the output folder: plain copies, or each encrypted into
  // its own ".mbe" file there. `outputRoot` is that folder; the source's files go into its sub-folder named after
  // the source, and no folder at or above the root is ever made again, so a destination that vanishes mid-run is
  // not rebuilt somewhere else.
  enum TTreeCopyMode { tcCopy, tcEncrypt };
  bool CopyFolderTree(const TSourceListing& source, const std::string& outputRoot, TTreeCopyMode mode);
  void RecordCopy(const std::string& written, const std::string& source, int64_t sourceSize, int64_t writtenSize);
  // A written file that is not (or no longer) in the output: its sources count as failed, not as backed up.
  // False when the run recorded no such file.
  bool WithdrawCopy(const std::string& written, const std::string& error);

  IMainThread& FMainThread;
  IClock& FClock;

  std::vector<std::string> FSourceFolders;
  std::string FDestinationFolder;
  TBackupType FBackupType = btFull;
  bool FCompressBackup = true;
  bool FEncryptBackup = false;
  std::string FEncryptionPassword;
  TProgressEvent FOnProgress;
  TCompleteEvent FOnComplete;
  int FLastBackupFileCount = 0;
  int64_t FLastBackupTotalSize = 0;
  TDateTime FLastBackupTime = 0;
  std::string FLastBackupOutputPath;
  std::string FLastBackupChecksum;
  bool FLastBackupVerified = false;
  TDateTime FReferenceBackupTime = 0;
  TDateTime FReferenceFullBackupTime = 0;
  TReferenceFileNames FReferenceFileNames;
  int FMaxBackupsToKeep = 0;
  bool FBackgroundMode = false;
  int64_t FSpeedLimitBytesPerSec = 0;
  uint64_t FThrottleWindowStart = 0;
  int64_t FBytesInThrottleWindow = 0;
  std::vector<std::string> FSuccessfulFiles;
  std::vector<std::string> FFailedFiles;
  size_t FUnchangedFailures = 0;                              // failed entries unchanged since the reference run
  std::unordered_map<std::string, TCopiedFile> FCopiedFiles;  // by output path, or by entry name in an archive
  TDateTime FRunTime = 0;  // when the run began: the output's name and its archive entries' time
  std::string FBackupNamePrefix;
  std::unique_ptr<TBackupThread> FBackupThread;
  std::string FCurrentFileName;
  int FCurrentProgress = 0;
  bool FCompletionSuccess = false;
  std::string FCompletionMessage;
  uint32_t FLastProgressTick = 0;
  int FLastProgressValue = -1;
  std::atomic<bool> FCancelRequested{false};
  std::atomic<bool> FPauseRequested{false};
  // Set on the main thread as the completion handler returns: from then on the run counts as ended, so a start
  // requested from within that handler's follow-up is not refused while the worker is still winding down.
  std::atomic<bool> FCompletionDelivered{true};
  bool FDestroying = false;
};

}  // namespace velkor
