#pragma once
// Keeps the configuration in config.json and the run history in history.json (both in the per-user folder
// "Pardex"), and the start-with-session registration. Main thread only; the engine's worker never touches it.
//
// Both files are replaced atomically. A file that exists but cannot be read is kept beside the original as
// "<name>.damaged-YYYYMMDD-hhnnss" before the first write replaces it, so nothing the user had is lost silently.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "config/BackupModel.h"
#include "config/HistoryItem.h"
#include "config/JsonFormat.h"
#include "platform/Clock.h"

namespace velkor {

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
  void AddHistoryItem(const TBackupHistoryItem& item);
  // Out-of-range indexes leave the file untouched.
  void DeleteHistoryItem(int index);
  // Removes every entry whose OutputPath equals one of `paths` (case-insensitive); nothing for an empty list.
  void DeleteHistoryByOutputPaths(const std::vector<std::string>& paths);
  void ClearHistory();

private:
  enum class TFileState { fsMissing, fsGood, fsDamaged };
  std::vector<TBackupHistoryItem> ReadHistory(TFileState& state);
  void SaveHistory(const std::vector<TBackupHistoryItem>& items, TFileState previousState);

  IClock* FClock;
  std::filesystem::path FConfigFile;
  std::filesystem::path FHistoryFile;
  bool FConfigChecked = false;  // config.json is known to be ours (read fine or written by us)
};

// The task object of config.json (exposed for tests and tools).
void ReadTaskJson(TBackupTask& task, const TJson& obj, IClock& clock);
TJson WriteTaskJson(const TBackupTask& task);
TJson WriteConfigJson(const TBackupConfig& config);

// One history.json entry object, appended to `out` (the store streams entries one by one).
void AppendHistoryItemJson(std::string& out, const TBackupHistoryItem& item);

}  // namespace velkor
