#pragma once
// Restores one backup output into a chosen target folder: an output folder (its files possibly encrypted one by
// one as ".mbe"), a ZIP archive, or a ZIP archive encrypted as one ".mbe" file. A restore covers exactly that
// output; base and parent outputs of a chain are not consulted.
//
// Safety rules, kept by every operation:
// - Every name taken from an archive or an output folder goes through ResolveSafeTargetPath, which raises on a
//   name that could leave the folder it is written to; one unsafe name stops the whole operation.
// - An existing file or folder is never written over: rcRename and rcOverwrite write "name (n).ext", rcSkip
//   leaves it and counts it as skipped.
// - Nothing is written outside the target folder or the operation's staging folders, also not through a link to
//   a folder that already stands inside the target; archive entries never become links.
// - An archive's structure is checked whole before anything of it is used, and each entry's data against its size
//   and CRC while it is unpacked (ZipReader); damage stops the operation before any file of it reaches the target.
// - Files come back with the permission bits their backup kept (a Unix-made archive entry, the ".mbe" file of an
//   encrypted output folder, the copy in a plain one), never with set-id or sticky bits.
// - ZIP archives and decrypted ".mbe" outputs are unpacked into staging folders in the user's temporary folder,
//   which are removed when the operation ends, successfully or not; an archive that would not fit the free space
//   there is refused before anything is unpacked.
// - Any error ends the operation at once with EVelkorError carrying its Turkish message: files restored before
//   it stay, the rest is not processed.
//
// Blocking calls on the caller's thread; no state is kept between calls.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"

namespace velkor {

class TEncryptionManager;
class TTargetGuard;

enum TRestoreConflictAction { rcOverwrite, rcRename, rcSkip };

// Where a name to restore comes from, which decides what separates its parts: "/" and "\" in ZIP entries made on
// DOS or Windows (and older archives of ours), "/" alone in entries made on Unix and in files of an output folder,
// where "\" is an ordinary character of a Linux name.
enum TEntryNameOrigin { noWindowsArchive, noUnixArchive, noFolder };

struct TRestoreAnalysis {
  int32_t TotalFiles = 0;         // file entries a restore would write
  int32_t ConflictCount = 0;      // how many of their target paths already exist (file, folder or anything else)
  std::string FirstConflictPath;  // the first of those in processing order; empty when none
};

// What a restore is busy with, for a progress display. An encrypted archive is first decrypted whole (one report,
// no steps), an archive is then unpacked into its staging folder (steps are bytes), and last the files are placed
// into the target (steps are files, restored or skipped).
enum TRestoreStage { rsDecrypt, rsUnpack, rsPlace };
struct TRestoreProgress {
  TRestoreStage Stage = rsPlace;
  int64_t Done = 0;  // steps of this stage finished
  int64_t Total = 0;
  std::string_view Name;  // the file at hand; valid during the call only
};
// Called on the restore's thread, often (for every block unpacked): keep it cheap.
using TRestoreProgressHandler = std::function<void(const TRestoreProgress&)>;

inline constexpr char RestorePasswordRequiredMessage[] = "Şifreli yedek geri yükleme için parola gerekli.";

class TRestoreManager {
public:
  // The clock names the staging folders.
  explicit TRestoreManager(IClock& clock = SystemClock());
  // Reports the progress of RestoreBackupOutput from now on.
  void SetProgressHandler(TRestoreProgressHandler handler) { FProgress = std::move(handler); }

  // Counts what a restore would write and what of it already exists; writes nothing to the target. A folder's
  // encrypted files need no password here; an ".mbe" output does (it is decrypted to a staging folder).
  TRestoreAnalysis AnalyzeRestore(const std::string& sourcePath, const std::string& targetFolder,
                                  const std::string& password);
  void RestoreBackupOutput(const std::string& sourcePath, const std::string& targetFolder, const std::string& password,
                           TRestoreConflictAction conflictAction, int32_t& restoredCount, int32_t& skippedCount);
  // True for an ".mbe" output and for a folder holding at least one ".mbe" file.
  static bool RestoreRequiresPassword(const std::string& sourcePath);

  // The full path of the folder with a trailing "/".
  static std::string NormalizeTargetRoot(const std::string& targetFolder);
  // Maps an entry name, as stored, into `targetFolder`; leading separators are dropped. nullopt for a folder entry
  // (empty or ending in a separator), which is skipped. Raises with the unsafe-name message on a NUL, on a first
  // part that is "..", on a ".." followed by more parts, and, for archive names, on a drive-rooted first part
  // ("C:"); and with the outside message on a name that resolves to the folder itself or outside it. Parts are
  // judged as text, not by what they contain: "v2..", "..gizli" and "Disk D:" are ordinary names. In archive
  // names "\" counts as a separator for these checks even where it is an ordinary character, so a name that would
  // climb out on Windows is refused everywhere.
  static std::optional<std::string> ResolveSafeTargetPath(const std::string& targetFolder, const std::string& entryName,
                                                          TEntryNameOrigin origin = noWindowsArchive);
  // The path to write for `targetPath`: itself when nothing stands there; else nullopt for rcSkip, or the first
  // free "name (n).ext" for rcRename and rcOverwrite.
  static std::optional<std::string> ResolveConflictTarget(const std::string& targetPath,
                                                          TRestoreConflictAction conflictAction);

private:
  struct TRestoreCounters {
    int32_t Restored = 0;
    int32_t Skipped = 0;
  };
  // Permission bits recorded by archive entries, by the staged file they were unpacked to.
  using TStagedModes = std::map<std::string, uint32_t>;

  void AnalyzeFolder(const std::string& sourceFolder, const std::string& targetFolder, TRestoreAnalysis& analysis);
  void AnalyzeZip(const std::string& zipPath, const std::string& targetFolder, TRestoreAnalysis& analysis);
  static void CountRestoreEntry(const std::string& targetPath, TRestoreAnalysis& analysis);
  // `backupFolder` is true for an output folder, whose ".mbe" files are decrypted, and false for a staging folder
  // of unpacked entries, which are restored as they are (and moved rather than copied where the system allows).
  // `stagedModes` (staging folders only) gives the permission bits the archive recorded.
  void RestoreFolderTree(const std::string& sourceFolder, const std::string& targetFolder,
                         TRestoreConflictAction conflictAction, const std::string& password, bool backupFolder,
                         TRestoreCounters& counters, const TStagedModes* stagedModes = nullptr);
  static void RestorePlainFile(const std::string& sourceFile, const std::string& targetPath,
                               TRestoreConflictAction conflictAction, bool moveAllowed, const uint32_t* mode,
                               TTargetGuard& guard, TRestoreCounters& counters);
  static void RestoreEncryptedFile(const std::string& sourceFile, const std::string& targetPath,
                                   TRestoreConflictAction conflictAction, TEncryptionManager& manager,
                                   TTargetGuard& guard, TRestoreCounters& counters);
  void ExtractZipToFolder(const std::string& zipPath, const std::string& stagingFolder, TStagedModes& stagedModes);
  void RestoreZip(const std::string& zipPath, const std::string& targetFolder, TRestoreConflictAction conflictAction,
                  TRestoreCounters& counters);

  void Report(TRestoreStage stage, int64_t done, int64_t total, std::string_view name) const {
    if (FProgress) FProgress({stage, done, total, name});
  }

  IClock& FClock;
  TRestoreProgressHandler FProgress;
};

}  // namespace velkor
