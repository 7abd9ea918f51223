#pragma once
// Keeps the configuration in config.json and the run history in history.json (both in the per-user folder
// "Pardex"), and the start-with-session registration. Main thread only; the engine's worker never touches it.
//
// Both files are replaced atomically. A file that exists but cannot be read whole (unreadable, not JSON, bytes
// that are not UTF-8, beyond the size or nesting bounds) is copied aside as "<name>.damaged-YYYYMMDD-hhnnss" when
// it is read, and what could be kept of it is used. While no copy can be made the file is never written over:
// the write fails with EVelkorError instead. The notes below tell the caller what was found, for the log.
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/BackupModel.h"
#include "config/HistoryItem.h"
#include "config/JsonFormat.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"

namespace velkor {

// What reading a stored file found. `Problem` is "" when the file read whole or does not exist.
struct TStoredFileNote {
  std::filesystem::path File;
  std::string Problem;             // in Turkish
  std::filesystem::path KeptCopy;  // the copy of the damaged file; empty when none could be made
  bool Damaged() const { return !Problem.empty(); }
};

// An entry as the history list shows it, read without its file list.
struct THistorySummary {
  TBackupHistoryItem Item;  // every field but Files, which stays empty
  // How many files of its list did and did not back up.
  int SuccessfulFiles = 0;
  int FailedFiles = 0;
  bool HasFailedFiles() const { return FailedFiles > 0; }
};

// Where each entry of one version of history.json lies, with its summary row. Built by a pass that read the file
// whole without a problem or by the write that made it; while the file is still that version, reads take the rows
// from here and read one entry's bytes alone.
struct THistoryIndex {
  TFileIdentity File;
  struct TEntry {
    uint64_t Begin = 0;  // of the entry object's '{'
    uint64_t End = 0;    // past its '}'
    THistorySummary Summary;
  };
  std::vector<TEntry> Entries;
};

class TConfigManager {
public:
  // Uses GetConfigDirectory() and creates it when missing.
  explicit TConfigManager(IClock& clock = SystemClock());
  // Uses `directory` instead (tests, the command-line tool's --config-dir).
  explicit TConfigManager(const std::filesystem::path& directory, IClock& clock = SystemClock());

  static std::filesystem::path GetConfigDirectory();
  const std::filesystem::path& ConfigFile() const { return FConfigFile; }
  const std::filesystem::path& HistoryFile() const { return FHistoryFile; }

  // A missing, blank or unreadable file gives the defaults; malformed parts are skipped one by one.
  std::unique_ptr<TBackupConfig> LoadConfig();
  // Writes the whole configuration. Errors reach the caller as EVelkorError.
  void SaveConfig(const TBackupConfig& config);

  // Registers / unregisters the program to start with the session in the tray. Silent on failure.
  void AddToStartup();
  void RemoveFromStartup();

  std::vector<TBackupHistoryItem> LoadHistory();
  // The same entries without their file lists, at a fraction of the time and memory; damage is noted alike. While
  // history.json is the version this manager's index (below) describes, the rows come from the index.
  std::vector<THistorySummary> LoadHistorySummary();
  // The entry LoadHistory would give at `index`, whole; nullopt when the index is outside it. With an index of the
  // file as it is, only that entry's bytes are read (and checked as a whole read checks them); otherwise the
  // summary pass reads the file to its end, so damage anywhere is noted and handled alike, and makes the index.
  std::optional<TBackupHistoryItem> LoadHistoryItem(int index);
  void AddHistoryItem(const TBackupHistoryItem& item);
  // Out-of-range indexes leave the file untouched.
  void DeleteHistoryItem(int index);
  // Removes every entry whose OutputPath equals one of `paths` (case-insensitive); nothing for an empty list.
  void DeleteHistoryByOutputPaths(const std::vector<std::string>& paths);
  void ClearHistory();
  // Every change of history.json on disk (the rename that ends a write, the removal by ClearHistory) runs inside
  // `guard`, which must call the function it is given once. A history writer on another thread uses it to make
  // that change and its own bookkeeping one step for readers that hold the same lock.
  using THistoryCommitGuard = std::function<void(const std::function<void()>& change)>;
  void SetHistoryCommitGuard(THistoryCommitGuard guard);
  // The index of history.json as this manager last wrote it or read it whole (null when it holds none). A manager
  // on another thread hands over the index of each file it writes; one offered again is not taken twice, so the
  // reader's own index, built later, is not replaced by an older one.
  std::shared_ptr<const THistoryIndex> HistoryIndex() const { return FHistoryIndex; }
  void OfferHistoryIndex(const std::shared_ptr<const THistoryIndex>& index);

  // What the last LoadConfig (or the check before a first SaveConfig) and the last history read found.
  const TStoredFileNote& ConfigNote() const { return FConfigNote; }
  const TStoredFileNote& HistoryNote() const { return FHistoryNote; }
  // One activity-log line per damaged file among them; empty when both read whole.
  std::vector<std::string> DamageReport() const;

private:
  TJson ReadConfigDocument();
  std::vector<TBackupHistoryItem> ReadHistory();
  // `storedLast`: the last entry as a read will give it back, when it differs from what is written.
  void SaveHistory(std::vector<TBackupHistoryItem> items, std::optional<TBackupHistoryItem> storedLast = {});
  const THistoryIndex* MatchingHistoryIndex() const;
  // The summary pass, which makes the index when it can. False when the file is missing or no entry is to be trusted.
  bool ReadHistorySummary(std::vector<THistorySummary>& items);
  void ChangeHistoryFile(const std::function<void()>& change);
  void NoteFile(TStoredFileNote& note, const std::filesystem::path& file, std::string problem);
  void EnsureReplaceable(TStoredFileNote& note, const char* what);

  IClock* FClock;
  std::filesystem::path FConfigFile;
  std::filesystem::path FHistoryFile;
  bool FConfigInspected = false;  // FConfigNote describes config.json as it is on disk (read, checked or written)
  TStoredFileNote FConfigNote;
  TStoredFileNote FHistoryNote;
  THistoryCommitGuard FHistoryCommitGuard;
  std::shared_ptr<const THistoryIndex> FHistoryIndex;
  std::shared_ptr<const THistoryIndex> FOfferedIndex;
};

// The task object of config.json (exposed for tests and tools).
void ReadTaskJson(TBackupTask& task, const TJson& obj, IClock& clock);
TJson WriteTaskJson(const TBackupTask& task);
TJson WriteConfigJson(const TBackupConfig& config);

// One history.json entry object, appended to `out` (the store streams entries one by one).
void AppendHistoryItemJson(std::string& out, const TBackupHistoryItem& item);
// `item` as the history list shows it.
THistorySummary HistorySummaryOf(TBackupHistoryItem item);
// `item` as a later read of history.json gives it back once it is stored (times to the second, derived fields).
TBackupHistoryItem HistoryItemAsStored(const TBackupHistoryItem& item, IClock& clock);

}  // namespace velkor
